// tarvis index: creates the index when it does not exist and adds the files
// found under the paths given as one indexing session (one partition).
//
// Records are fed whole: a record's words, then its record data and ID,
// then the record increment; a record without words (an empty file, a
// blank line) is not a record. Ctrl-C is noticed between files: the session
// then ends normally, so the files indexed so far form a complete partition
// and every earlier session stays as it was; indexing only whole files
// keeps a file from being half in the index. A second Ctrl-C ends the
// process at once.

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "args.h"
#include "commands.h"
#include "file_walker.h"
#include "index_handle.h"
#include "indexing_session.h"
#include "progress.h"
#include "record_key.h"
#include "scratch_dir.h"
#include "settings.h"
#include "tokenizer.h"
#include "tool_error.h"

namespace {

const char kIndexHelp[] =
    "usage: tarvis index [options] INDEX PATH...\n"
    "\n"
    "Adds the files under each PATH to INDEX, creating it when it does not\n"
    "exist. Directories are walked, binary files skipped. Each run is one\n"
    "indexing session; Ctrl-C ends it early, keeping the files done so far.\n"
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
    "  --wait SECONDS           wait up to SECONDS for other writers of the\n"
    "                           index (default 600; 0 fails at once)\n"
    "  -q, --quiet              no summary line\n"
    "\n"
    "The tokenizer options are kept beside the index in INDEX.settings, so\n"
    "later runs and searches use them without repeating them.\n";

volatile std::sig_atomic_t gInterrupted = 0;

void OnInterrupt(int) { gInterrupted = 1; }

// Notices Ctrl-C while installed; the second one takes the default action.
class InterruptGuardT {
 public:
  InterruptGuardT() {
    gInterrupted = 0;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnInterrupt;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previous_);
  }
  ~InterruptGuardT() { sigaction(SIGINT, &previous_, nullptr); }

 private:
  struct sigaction previous_;
};

bool FileExists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

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

// Reads a whole file; false with errno set when it cannot be read.
bool ReadFile(const std::string& path, std::string* content) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  content->clear();
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    content->append(buffer, n);
  }
  bool good = !std::ferror(file);
  int error = errno;
  std::fclose(file);
  errno = error;
  return good;
}

bool LooksBinary(const std::string& content) {
  size_t probe = std::min<size_t>(content.size(), 8192);
  return std::memchr(content.data(), '\0', probe) != nullptr;
}

class SessionT {
 public:
  SessionT(IndexHandleT* index, const IndexSettingsT& settings,
           StopListT* stop, bool update)
      : index_(index),
        session_(index),
        tokenizer_(settings.Stem, stop),
        split_(settings.Split),
        update_(update && index->Records() > 0) {}

  // Indexes one file; false when it was skipped as binary.
  bool AddFile(const std::string& path, const std::string& content) {
    if (LooksBinary(content)) return false;
    if (update_) {
      for (const HitT& hit : index_->Query("", FileRecordsQuery(path))) {
        replaced_.push_back(hit.Record);
      }
    }
    const unsigned char* text =
        reinterpret_cast<const unsigned char*>(content.data());
    RecordKeyT key;
    key.Path = path;
    if (split_ == "none") {
      AddRecord(text, content.size(), key);
    } else if (split_ == "lines") {
      key.Kind = ':';
      size_t start = 0;
      while (start < content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string::npos) end = content.size();
        ++key.Number;
        AddRecord(text + start, end - start, key);
        start = end + 1;
      }
    } else {
      key.Kind = '@';
      AddParagraphs(content, &key);
    }
    return true;
  }

  // Ends the session; the partition joins the index, and the replaced
  // records are deleted only now that their successors are in.
  void End() {
    session_.End();
    if (!replaced_.empty()) {
      std::sort(replaced_.begin(), replaced_.end());
      replaced_.erase(std::unique(replaced_.begin(), replaced_.end()),
                      replaced_.end());
      StatusCodeT status = 0;
      tvDeleteRecordNums(index_->Manager(), replaced_.data(),
                         replaced_.size(), &status);
      index_->Check(status, "deleting replaced records");
    }
  }

  uint64_t Records() const { return session_.Records(); }
  uint64_t Words() const { return session_.Words(); }
  uint64_t Replaced() const { return replaced_.size(); }

 private:
  void AddParagraphs(const std::string& content, RecordKeyT* key) {
    const unsigned char* text =
        reinterpret_cast<const unsigned char*>(content.data());
    size_t start = 0;      // start of the current line
    size_t paragraph = 0;  // start of the current paragraph
    bool inParagraph = false;
    while (start <= content.size()) {
      size_t end = content.find('\n', start);
      if (end == std::string::npos) end = content.size();
      bool blank = true;
      for (size_t i = start; i < end && blank; ++i) {
        blank = content[i] == ' ' || content[i] == '\t' || content[i] == '\r';
      }
      if (!blank && !inParagraph) {
        paragraph = start;
        inParagraph = true;
      } else if (blank && inParagraph) {
        key->Number = paragraph;
        AddRecord(text + paragraph, start - paragraph, *key);
        inParagraph = false;
      }
      if (end == content.size()) break;
      start = end + 1;
    }
    if (inParagraph) {
      key->Number = paragraph;
      AddRecord(text + paragraph, content.size() - paragraph, *key);
    }
  }

  // A record without words (an empty file, a blank line) is no record.
  void AddRecord(const unsigned char* text, size_t length,
                 const RecordKeyT& key) {
    if (session_.AddText(tokenizer_, text, length) == 0) return;
    std::string data = RecordDataOf(key);
    std::string id = RecordIdOf(key);
    session_.EndRecord(&data, &id);
  }

  IndexHandleT* index_;
  IndexingSessionT session_;
  TokenizerT tokenizer_;
  std::string split_;
  bool update_;
  std::vector<unsigned long> replaced_;
};

}  // namespace

int RunIndexCommand(const CommandArgsT& arguments) {
  ArgsT args({{"mode", 0, true},
              {"split", 0, true},
              {"stem", 0, false},
              {"stop", 0, true},
              {"update", 0, false},
              {"max-bytes", 0, true},
              {"wait", 0, true},
              {"quiet", 'q', false}},
             arguments);
  if (args.HelpRequested()) return PrintHelp(kIndexHelp);
  args.ExpectPositional(2, static_cast<size_t>(-1), "INDEX and PATH");
  const std::string index = args.Positional()[0];
  std::vector<std::string> paths(args.Positional().begin() + 1,
                                 args.Positional().end());
  bool exists = FileExists(index);
  IndexSettingsT settings = ChooseSettings(args, index, exists);
  StopWordsT stopWords(settings);
  InterruptGuardT interruptGuard;

  WalkOptionsT walk;
  walk.Exclude = {AbsolutePath(index), AbsolutePath(SettingsPath(index))};
  walk.MaxBytes = args.Number("max-bytes", 0, 0, static_cast<unsigned long>(-1));
  walk.Interrupted = &gInterrupted;
  std::vector<std::string> problems;
  std::vector<FoundFileT> files = FindFiles(paths, walk, &problems);
  for (const std::string& problem : problems) {
    std::fprintf(stderr, "tarvis: index: %s\n", problem.c_str());
  }
  if (gInterrupted) {
    std::fprintf(stderr, "tarvis: index: interrupted before indexing\n");
    return kExitInterrupted;
  }
  uint64_t totalBytes = 0;
  for (const FoundFileT& file : files) totalBytes += file.Size;

  IndexHandleT handle(index);
  handle.SetLockWait(args.Number("wait", kDefaultLockWaitSeconds, 0, 86400));
  if (!exists) {
    handle.Create(settings.Mode);
  }
  if (!exists) SaveSettings(index, settings);
  ScratchDirT scratch(index + ".tmp");
  handle.OpenForRetrieval();

  SessionT session(&handle, settings, stopWords.List(), args.Has("update"));
  ProgressT progress(files.size(), totalBytes);
  uint64_t filesDone = 0, bytesDone = 0, binary = 0, unreadable = 0;
  std::string content;
  for (const FoundFileT& file : files) {
    if (gInterrupted) break;
    if (!ReadFile(file.Path, &content)) {
      progress.Finish();
      std::fprintf(stderr, "tarvis: index: %s: %s\n", file.Path.c_str(),
                   std::strerror(errno));
      ++unreadable;
    } else if (!session.AddFile(file.Path, content)) {
      ++binary;
    }
    ++filesDone;
    bytesDone += file.Size;
    progress.Update(filesDone, bytesDone, session.Words());
  }
  progress.Finish();
  bool stoppedEarly = filesDone < files.size();
  session.End();
  handle.Close();

  if (!args.Has("quiet")) {
    std::string line = "indexed " + std::to_string(filesDone - binary -
                                                   unreadable) +
                       " files (" + FormatBytes(bytesDone) + ", " +
                       std::to_string(session.Records()) + " records, " +
                       std::to_string(session.Words()) + " words)";
    if (binary != 0) line += ", skipped " + std::to_string(binary) + " binary";
    if (session.Replaced() != 0) {
      line += ", replaced " + std::to_string(session.Replaced()) + " records";
    }
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, " in %.1f s", progress.Seconds());
    line += seconds;
    if (stoppedEarly) line += "; interrupted, the files indexed are kept";
    std::fprintf(stderr, "%s\n", line.c_str());
  }
  if (stoppedEarly) return kExitInterrupted;
  return problems.empty() && unreadable == 0 ? kExitSuccess : kExitFailure;
}
