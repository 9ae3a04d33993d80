// tarvis build-partition: builds one partition file from files and
// directories without any index, with the settings of the index it is
// meant for, to be added to that index later by add-partitions, in the
// order the host chooses. Many of these may run at once, on one machine or
// many (GNU parallel), each with its own share of the files.
//
// The partition file is made by a session apart from any index; beside it
// goes its record (partition_record.h). A run that is interrupted or fails
// leaves neither: a partition of only some of its files must not be taken
// for a whole one.

#include <cstdio>

#include "args.h"
#include "commands.h"
#include "file_records.h"
#include "file_walker.h"
#include "indexing_session.h"
#include "interrupt.h"
#include "jobs.h"
#include "partition_record.h"
#include "progress.h"
#include "scratch_dir.h"
#include "settings.h"
#include "tool_error.h"

namespace {

const char kBuildPartitionHelp[] =
    "usage: tarvis build-partition --settings INDEX.settings [options]\n"
    "                              OUT.part PATH...\n"
    "\n"
    "Builds the partition file OUT.part from the files under each PATH,\n"
    "without an index, making words and records as the index whose\n"
    "settings file is given does. OUT.part.settings, written beside it,\n"
    "records those settings; \"tarvis add-partitions INDEX OUT.part\" then\n"
    "adds the partition to the index. Ctrl-C or a failure leaves no\n"
    "partition behind.\n"
    "\n"
    "options:\n"
    "  --settings FILE   the settings file of the index (INDEX.settings)\n"
    "  --memory SIZE     working memory (default 64M; a number of bytes, or\n"
    "                    one with K, M or G; 260536 bytes at least)\n"
    "  --max-bytes N     stop taking files once they reach N bytes\n"
    "  -q, --quiet       no summary line\n";

}  // namespace

int RunBuildPartitionCommand(const CommandArgsT& arguments) {
  ArgsT args({{"settings", 0, true},
              {"memory", 0, true},
              {"max-bytes", 0, true},
              {"quiet", 'q', false}},
             arguments);
  if (args.HelpRequested()) return PrintHelp(kBuildPartitionHelp);
  if (!args.Has("settings")) UsageError("missing --settings INDEX.settings");
  args.ExpectPositional(2, static_cast<size_t>(-1), "OUT.part and PATH");
  const std::string partition = args.Positional()[0];
  std::vector<std::string> paths(args.Positional().begin() + 1,
                                 args.Positional().end());
  unsigned long memory = MemoryOption(args);
  IndexSettingsT settings;
  const std::string settingsFile = args.Value("settings");
  if (!ReadSettingsFile(settingsFile, &settings, nullptr)) {
    Fail(settingsFile + ": cannot read the settings file");
  }
  if (FileExists(partition)) {
    Fail(partition + ": exists; a partition file is never overwritten");
  }
  InterruptGuardT interruptGuard;

  FilesToIndexT found = FindFilesToIndex(
      "build-partition", paths, {partition, SettingsPath(partition)},
      args.Number("max-bytes", 0, 0, static_cast<unsigned long>(-1)));
  const std::vector<FoundFileT>& files = found.Files;
  if (gInterrupted) {
    std::fprintf(stderr, "tarvis: build-partition: interrupted\n");
    return kExitInterrupted;
  }

  ScratchDirT scratch(partition + ".tmp");
  StopWordsT stopWords(settings);
  IndexingSessionT session(partition, settings.Mode, memory);
  FileRecordsT records(&session, settings, stopWords.List(), nullptr);
  FileTallyT tally;
  ProgressT progress(files.size(), found.Bytes);
  size_t taken = 0;
  try {
    RunJobs(1, "build-partition", tally, &progress,
            [&](size_t,
                const std::function<void(const std::string&)>& report) {
              taken = records.AddFiles(files, 0, files.size(), &gInterrupted,
                                       &tally, report);
            });
    if (taken < files.size()) {
      session.Discard();
      std::fprintf(stderr,
                   "tarvis: build-partition: interrupted; no partition "
                   "written\n");
      return kExitInterrupted;
    }
    session.End();
    // A session without records leaves no file; an empty one stands for
    // its partition, so that every share of a parallel run has an output.
    if (!FileExists(partition)) {
      std::FILE* file = std::fopen(partition.c_str(), "wb");
      if (file == nullptr || std::fclose(file) != 0) {
        Fail(partition + ": cannot write the partition file");
      }
    }
    WritePartitionRecord(partition, settings);
  } catch (...) {
    if (session.Active()) session.Discard();
    std::remove(partition.c_str());
    throw;
  }

  if (!args.Has("quiet")) {
    std::string line =
        "built " + partition + " of " + TallyText(tally, session.Records());
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, " in %.1f s", progress.Seconds());
    std::fprintf(stderr, "%s%s\n", line.c_str(), seconds);
  }
  return !found.Problems && tally.Unreadable == 0 ? kExitSuccess
                                                  : kExitFailure;
}
