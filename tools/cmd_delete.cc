// tarvis delete and undelete: marks records deleted, or takes the mark
// away. Deleted records drop out of every query; optimize removes them for
// good.

#include <cstdlib>

#include "args.h"
#include "commands.h"
#include "index_handle.h"
#include "tool_error.h"

namespace {

const char kDeleteHelp[] =
    "usage: tarvis delete [--wait SECONDS] INDEX RECORD...\n"
    "\n"
    "Deletes records by number (as search prints them). Deleted records are\n"
    "left out of every search until undeleted; optimize removes them.\n"
    "\n"
    "options:\n" TARVIS_WAIT_HELP;

const char kUndeleteHelp[] =
    "usage: tarvis undelete [--wait SECONDS] INDEX RECORD...\n"
    "\n"
    "Brings deleted records back, until an optimization has removed them.\n"
    "\n"
    "options:\n" TARVIS_WAIT_HELP;

int Run(const CommandArgsT& arguments, bool remove) {
  ArgsT args({{"wait", 0, true}}, arguments);
  if (args.HelpRequested()) {
    return PrintHelp(remove ? kDeleteHelp : kUndeleteHelp);
  }
  args.ExpectPositional(2, static_cast<size_t>(-1), "INDEX and RECORD");
  std::vector<unsigned long> records;
  for (size_t i = 1; i < args.Positional().size(); ++i) {
    const std::string& text = args.Positional()[i];
    char* end = nullptr;
    unsigned long record = std::strtoul(text.c_str(), &end, 10);
    if (text.empty() || text[0] < '0' || text[0] > '9' || *end != '\0') {
      UsageError("not a record number: '" + text + "'");
    }
    records.push_back(record);
  }
  IndexHandleT handle(args.Positional()[0]);
  handle.SetLockWait(args.Number("wait", kDefaultLockWaitSeconds, 0, 86400));
  handle.OpenForRetrieval();
  handle.MarkDeleted(records, remove);
  handle.Close();
  return kExitSuccess;
}

}  // namespace

int RunDeleteCommand(const CommandArgsT& args) { return Run(args, true); }

int RunUndeleteCommand(const CommandArgsT& args) { return Run(args, false); }
