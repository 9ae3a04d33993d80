// tarvis optimize: merges partitions into one, dropping deleted records and
// numbering the rest anew. Without options the library picks a run of
// small partitions; --big lets it take large ones too; --partitions N
// merges the last N.

#include "args.h"
#include "commands.h"
#include "index_handle.h"
#include "tool_error.h"

namespace {

const char kOptimizeHelp[] =
    "usage: tarvis optimize [--big | --partitions N] [--wait SECONDS] INDEX\n"
    "\n"
    "Merges partitions of INDEX (one is added by every indexing session),\n"
    "removing deleted records; record numbers change afterwards.\n"
    "\n"
    "options:\n"
    "  --big           also merge large partitions\n"
    "  --partitions N  merge the last N partitions (at least 2)\n"
    TARVIS_WAIT_HELP;

}  // namespace

int RunOptimizeCommand(const CommandArgsT& arguments) {
  ArgsT args({{"big", 0, false}, {"partitions", 0, true}, {"wait", 0, true}},
             arguments);
  if (args.HelpRequested()) return PrintHelp(kOptimizeHelp);
  args.ExpectPositional(1, 1, "INDEX");
  if (args.Has("big") && args.Has("partitions")) {
    UsageError("--big and --partitions exclude each other");
  }
  unsigned long partitions = args.Number("partitions", 0, 2, 2048);
  IndexHandleT handle(args.Positional()[0]);
  handle.SetLockWait(args.Number("wait", kDefaultLockWaitSeconds, 0, 86400));
  handle.OpenForRetrieval();
  StatusCodeT status = 0;
  if (partitions != 0) {
    tvOptomizeIndex(handle.Manager(), partitions, &status);
  } else {
    tvPerformOptomization(handle.Manager(), args.Has("big") ? 1 : 0, &status);
  }
  handle.Check(status, "optimize");
  tvEndOptomization(handle.Manager(), nullptr, 0, &status);
  handle.Check(status, "optimize");
  handle.Close();
  return kExitSuccess;
}
