// tarvis index: creates the index when it does not exist and adds the files
// found under the paths given, as one indexing session (one partition) per
// job.
//
// With several jobs the files are cut into consecutive shares of about
// equal bytes; each job indexes its share on a thread of its own, with an
// index manager and a session of its own, and finishes its partition
// without touching the index. The partitions are then committed in the
// order of the shares, so that records are numbered in the order in which
// the files were found, as with one job. The working memory given is the
// whole run's, shared by the jobs.
//
// Ctrl-C is noticed between files: the sessions then end normally, so the
// files indexed so far form complete partitions and every earlier session
// stays as it was; indexing only whole files keeps a file from being half
// in the index. A second Ctrl-C ends the process at once. A job that fails
// leaves the index as it was: no partition is committed.

#include <algorithm>
#include <cstdio>
#include <memory>

#include "args.h"
#include "commands.h"
#include "file_records.h"
#include "file_walker.h"
#include "index_handle.h"
#include "indexing_session.h"
#include "interrupt.h"
#include "jobs.h"
#include "progress.h"
#include "scratch_dir.h"
#include "settings.h"
#include "tool_error.h"

namespace {

const char kIndexHelp[] =
    "usage: tarvis index [options] INDEX [PATH...]\n"
    "\n"
    "Adds the files under each PATH to INDEX, creating it when it does not\n"
    "exist (with no PATH, only creates it, e.g. for add-partitions).\n"
    "Directories are walked, binary files skipped. Each job of a run is one\n"
    "indexing session; Ctrl-C ends them early, keeping the files done so\n"
    "far.\n"
    "\n"
    "options:\n"
    "  --mode record|word|idf   what a new index keeps: the records of a word,\n"
    "                           every word position (default), or counts\n"
    "  --split none|lines|paragraphs\n"
    "                           one record per file, per line or per paragraph\n"
    "                           (default: as when the index was created)\n"
    "  --stem                   index English stems (new index only)\n"
    "  --stop english|FILE      leave out stop words: the built-in English list\n"
    "                           or the words of FILE (new index only)\n"
    "  --update                 delete the earlier records of every file\n"
    "                           indexed again\n"
    "  --max-bytes N            stop taking files once they reach N bytes\n"
    "  --memory SIZE            working memory of the run, shared by its jobs\n"
    "                           (default 64M; a number of bytes, or one with\n"
    "                           K, M or G; 260536 bytes at least a job)\n"
    "  --jobs N                 build up to N partitions at once, from\n"
    "                           consecutive shares of the files; records are\n"
    "                           numbered as with one (default: the cores,\n"
    "                           but one job per 8 MiB of files at most)\n"
    "  --wait SECONDS           wait up to SECONDS for other writers of the\n"
    "                           index (default 600; 0 fails at once)\n"
    "  -q, --quiet              no summary line\n"
    "\n"
    "The tokenizer options are kept beside the index in INDEX.settings, so\n"
    "later runs and searches use them without repeating them.\n";

// The index's settings: those stored with it, or for a new index those of
// the options. Tokenizer options that contradict an existing index are
// usage errors, since its words were made otherwise.
IndexSettingsT ChooseSettings(const ArgsT& args, const std::string& index,
                              bool exists) {
  IndexSettingsT settings;
  if (exists) {
    LoadSettings(index, &settings);
    if (args.Has("mode") &&
        ModeFromName(args.Value("mode")) != settings.Mode) {
      UsageError("" + index + " is a " + ModeName(settings.Mode) +
                 "-mode index; --mode applies when an index is created");
    }
    if (args.Has("stem") && !settings.Stem) {
      UsageError("" + index +
                 " was built without --stem; its words cannot change");
    }
    if (args.Has("stop")) {
      std::string stop = args.Value("stop");
      bool same = stop == "english"
                      ? settings.Stop == "english"
                      : settings.Stop == "list" &&
                            ReadStopWordFile(stop) == settings.StopWords;
      if (!same) {
        UsageError("" + index + " was built with another stop list (" +
                   settings.Stop + "); its words cannot change");
      }
    }
  } else {
    if (args.Has("mode")) {
      settings.Mode = ModeFromName(args.Value("mode"));
      if (settings.Mode == 0) {
        UsageError("--mode must be record, word or idf");
      }
    }
    settings.Stem = args.Has("stem");
    if (args.Has("stop")) ChooseStopList(args.Value("stop"), &settings);
  }
  if (args.Has("split")) {
    std::string split = args.Value("split");
    if (split != "none" && split != "lines" && split != "paragraphs") {
      UsageError("--split must be none, lines or paragraphs");
    }
    settings.Split = split;
  }
  return settings;
}

// Without --jobs, the least bytes of files that make a job of their own.
constexpr uint64_t kDefaultShareBytes = 8ul << 20;

// One share of the files: its own index manager, session and records.
struct IndexJobT {
  std::unique_ptr<IndexHandleT> Handle;
  std::unique_ptr<StopWordsT> StopWords;
  std::unique_ptr<IndexingSessionT> Session;
  std::unique_ptr<FileRecordsT> Records;
  size_t Begin = 0, End = 0, Taken = 0;
};

}  // namespace

int RunIndexCommand(const CommandArgsT& arguments) {
  ArgsT args({{"mode", 0, true},
              {"split", 0, true},
              {"stem", 0, false},
              {"stop", 0, true},
              {"update", 0, false},
              {"max-bytes", 0, true},
              {"memory", 0, true},
              {"jobs", 0, true},
              {"wait", 0, true},
              {"quiet", 'q', false}},
             arguments);
  if (args.HelpRequested()) return PrintHelp(kIndexHelp);
  args.ExpectPositional(1, static_cast<size_t>(-1), "INDEX");
  const std::string index = args.Positional()[0];
  std::vector<std::string> paths(args.Positional().begin() + 1,
                                 args.Positional().end());
  unsigned long memory = MemoryOption(args);
  unsigned long lockWait =
      args.Number("wait", kDefaultLockWaitSeconds, 0, 86400);
  bool exists = FileExists(index);
  IndexSettingsT settings = ChooseSettings(args, index, exists);
  InterruptGuardT interruptGuard;

  FilesToIndexT found =
      FindFilesToIndex("index", paths, {index, SettingsPath(index)},
                       args.Number("max-bytes", 0, 0,
                                   static_cast<unsigned long>(-1)));
  const std::vector<FoundFileT>& files = found.Files;
  if (gInterrupted) {
    std::fprintf(stderr, "tarvis: index: interrupted before indexing\n");
    return kExitInterrupted;
  }

  if (!exists) {
    IndexHandleT handle(index);
    handle.Create(settings.Mode);
    SaveSettings(index, settings);
  }
  ScratchDirT scratch(index + ".tmp");

  // Unless told, a job per core, but none for less than a share's worth of
  // bytes: a small run stays one partition, which queries read faster.
  // Every job has at least the library's smallest working memory.
  unsigned long jobs = args.Number(
      "jobs",
      std::min<uint64_t>(CoreCount(), 1 + found.Bytes / kDefaultShareBytes),
      1, 256);
  if (jobs > memory / TV_MIN_INDEXING_MEMORY) {
    jobs = memory / TV_MIN_INDEXING_MEMORY;
  }
  std::vector<size_t> bounds = ShareFiles(files, jobs);
  std::vector<IndexJobT> shares(bounds.size() - 1);
  for (size_t k = 0; k < shares.size(); ++k) {
    IndexJobT& job = shares[k];
    job.Begin = bounds[k];
    job.End = bounds[k + 1];
    job.Handle = std::make_unique<IndexHandleT>(index);
    job.Handle->SetLockWait(lockWait);
    job.Handle->SetIndexingMemory(memory / shares.size());
    job.Handle->OpenForRetrieval();
    job.StopWords = std::make_unique<StopWordsT>(settings);
    job.Session = std::make_unique<IndexingSessionT>(job.Handle.get());
    job.Records = std::make_unique<FileRecordsT>(
        job.Session.get(), settings, job.StopWords->List(),
        args.Has("update") ? job.Handle.get() : nullptr);
  }

  FileTallyT tally;
  ProgressT progress(files.size(), found.Bytes);
  RunJobs(shares.size(), "index", tally, &progress,
          [&](size_t k, const std::function<void(const std::string&)>& report) {
            IndexJobT& job = shares[k];
            job.Taken = job.Records->AddFiles(files, job.Begin, job.End,
                                              &gInterrupted, &tally, report);
            job.Session->Finish();
          });
  // The partitions join the index in the order of their shares; only then
  // are the records they replace deleted.
  bool stoppedEarly = false;
  uint64_t records = 0, replaced = 0;
  for (IndexJobT& job : shares) {
    job.Session->Commit();
    stoppedEarly = stoppedEarly || job.Taken < job.End - job.Begin;
    records += job.Session->Records();
  }
  for (IndexJobT& job : shares) {
    std::vector<unsigned long> old = job.Records->Replaced();
    job.Handle->MarkDeleted(old, true);
    replaced += old.size();
    job.Handle->Close();
  }

  if (!args.Has("quiet")) {
    std::string line = "indexed " + TallyText(tally, records);
    if (replaced != 0) {
      line += ", replaced " + std::to_string(replaced) + " records";
    }
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, " in %.1f s", progress.Seconds());
    line += seconds;
    if (stoppedEarly) line += "; interrupted, the files indexed are kept";
    std::fprintf(stderr, "%s\n", line.c_str());
  }
  if (stoppedEarly) return kExitInterrupted;
  return !found.Problems && tally.Unreadable == 0 ? kExitSuccess
                                                  : kExitFailure;
}
