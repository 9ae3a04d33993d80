// tarvis add-partitions: adds partition files made by build-partition to an
// index, in the order given: copied into a single-file index (the file is
// then removed), registered by absolute path in a distributed one. Every
// file is checked against its record and the index's settings before the
// first is added, so that a file that is not such a partition, or one of
// another mode or other settings, is refused with the index unchanged. An
// empty partition file (of a share without records) adds nothing and is
// removed.

#include <cstdio>
#include <set>

#include "args.h"
#include "commands.h"
#include "file_walker.h"
#include "index_handle.h"
#include "partition_record.h"
#include "settings.h"
#include "tool_error.h"

namespace {

const char kAddPartitionsHelp[] =
    "usage: tarvis add-partitions [options] INDEX PART...\n"
    "\n"
    "Adds partition files made by \"tarvis build-partition\" to INDEX, in\n"
    "the order given, so that their records follow the index's records in\n"
    "that order. A single-file index takes a copy of each partition and the\n"
    "file is removed; a distributed index registers the file where it is.\n"
    "A file that is not such a partition, or was built for another mode or\n"
    "with other settings than INDEX.settings, is refused and nothing is\n"
    "added.\n"
    "\n"
    "options:\n" TARVIS_WAIT_HELP
    "  -q, --quiet     no summary line\n";

}  // namespace

int RunAddPartitionsCommand(const CommandArgsT& arguments) {
  ArgsT args({{"wait", 0, true}, {"quiet", 'q', false}}, arguments);
  if (args.HelpRequested()) return PrintHelp(kAddPartitionsHelp);
  args.ExpectPositional(2, static_cast<size_t>(-1), "INDEX and PART");
  const std::string index = args.Positional()[0];
  std::vector<std::string> parts(args.Positional().begin() + 1,
                                 args.Positional().end());
  unsigned long lockWait =
      args.Number("wait", kDefaultLockWaitSeconds, 0, 86400);
  if (!FileExists(index)) Fail(index + ": no such index");
  IndexSettingsT settings;
  if (!LoadSettings(index, &settings)) {
    Fail(index + ": no settings file (" + SettingsPath(index) +
         "); partitions can only be checked against one");
  }
  // Checked, every file by its absolute path, since a distributed index
  // keeps the location as given; an empty one has nothing to add.
  std::set<std::string> seen;
  std::vector<std::string> locations;
  std::vector<std::string> empty;
  for (const std::string& part : parts) {
    std::string location = AbsolutePath(part);
    if (!seen.insert(location).second) Fail(part + ": named twice");
    if (CheckPartitionRecord(part, settings, index)) {
      locations.push_back(location);
    } else {
      empty.push_back(part);
    }
  }

  IndexHandleT handle(index);
  handle.SetLockWait(lockWait);
  handle.Open();
  for (const std::string& location : locations) {
    handle.AddPartitionFile(location);
    RemovePartitionRecord(location);
  }
  handle.Close();
  for (const std::string& part : empty) {
    std::remove(part.c_str());
    RemovePartitionRecord(part);
  }
  if (!args.Has("quiet")) {
    std::fprintf(stderr, "added %zu partition%s to %s\n", locations.size(),
                 locations.size() == 1 ? "" : "s", index.c_str());
  }
  return kExitSuccess;
}
