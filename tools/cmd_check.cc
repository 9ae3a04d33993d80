// tarvis check: the integrity check of an index file. Prints every problem
// found, one per line; nothing is written to the index.

#include <cstdio>
#include <vector>

#include "args.h"
#include "commands.h"
#include "tool_error.h"

namespace {

const char kCheckHelp[] =
    "usage: tarvis check INDEX\n"
    "\n"
    "Walks the index file and every partition (header copies, dictionaries,\n"
    "every word's postings, document weights, record data and IDs, deleted\n"
    "records) and prints each problem found. Exit status 0 when the index is\n"
    "sound, 1 when problems were found or the file cannot be read.\n";

// Room for the longest report the library gives (about a hundred lines).
constexpr unsigned long kReportBytes = 1 << 17;

}  // namespace

int RunCheckCommand(const CommandArgsT& arguments) {
  ArgsT args({}, arguments);
  if (args.HelpRequested()) return PrintHelp(kCheckHelp);
  args.ExpectPositional(1, 1, "INDEX");
  std::string index = args.Positional()[0];
  std::vector<char> report(kReportBytes);
  StatusCodeT status = 0;
  unsigned long problems =
      tvCheckIndex(&index[0], report.data(), report.size(), &status);
  CheckStatus(status, index);
  if (problems == 0) {
    std::printf("%s: no problems found\n", index.c_str());
    return kExitSuccess;
  }
  std::fputs(report.data(), stdout);
  std::printf("%s: %lu problem%s found\n", index.c_str(), problems,
              problems == 1 ? "" : "s");
  return kExitFailure;
}
