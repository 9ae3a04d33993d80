// tarvis stats: writes the index's word statistics file, a B-tree of every
// word with its two counts summed over the partitions.

#include "args.h"
#include "commands.h"
#include "index_handle.h"
#include "tool_error.h"

namespace {

const char kStatsHelp[] =
    "usage: tarvis stats INDEX OUT\n"
    "\n"
    "Writes the statistics file of INDEX to OUT: every word of the index\n"
    "with the number of records holding it and its number of hits.\n";

}  // namespace

int RunStatsCommand(const CommandArgsT& arguments) {
  ArgsT args({}, arguments);
  if (args.HelpRequested()) return PrintHelp(kStatsHelp);
  args.ExpectPositional(2, 2, "INDEX and OUT");
  IndexHandleT handle(args.Positional()[0]);
  handle.OpenForRetrieval();
  if (handle.Records() == 0) {
    handle.Check(StatusIndexEmpty, "");
  }
  std::string out = args.Positional()[1];
  StatusCodeT status = 0;
  tvOutputStatsFile(handle.Manager(),
                    reinterpret_cast<unsigned char*>(&out[0]), &status);
  CheckStatus(status, out);
  handle.Close();
  return kExitSuccess;
}
