// Files made into the records of an indexing session, as an index's
// settings split them: a record per file, per line or per paragraph, each
// with the record data and ID of its key (record_key.h), so that a search
// names the file and place of every hit. Records are fed whole: a record's
// words, then its data and ID; a record without words (an empty file, a
// blank line) is no record. Binary files are skipped, unreadable ones
// reported and passed over; both are counted.

#ifndef TARVIS_TOOLS_FILE_RECORDS_H_
#define TARVIS_TOOLS_FILE_RECORDS_H_

#include <atomic>
#include <csignal>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "file_walker.h"
#include "index_handle.h"
#include "indexing_session.h"
#include "record_key.h"
#include "settings.h"
#include "tokenizer.h"

// What the files done so far came to; one tally may be shared by sessions
// running at once and read while they run.
struct FileTallyT {
  std::atomic<uint64_t> Files{0};       // read, skipped or unreadable
  std::atomic<uint64_t> Bytes{0};       // their sizes as found
  std::atomic<uint64_t> Words{0};
  std::atomic<uint64_t> Binary{0};
  std::atomic<uint64_t> Unreadable{0};
};

// The files under the paths given, as a command that indexes them finds
// them: its own files left out, the walk stopped by Ctrl-C (interrupt.h),
// every problem printed on stderr ("tarvis: COMMAND: ...").
struct FilesToIndexT {
  std::vector<FoundFileT> Files;
  uint64_t Bytes = 0;     // their sizes
  bool Problems = false;  // some path could not be walked whole
};
FilesToIndexT FindFilesToIndex(const char* command,
                               const std::vector<std::string>& paths,
                               const std::vector<std::string>& own,
                               uint64_t maxBytes);

// The figures of a summary line: "N files (B, R records, W words)", and
// ", skipped K binary" when there were any.
std::string TallyText(const FileTallyT& tally, uint64_t records);

class FileRecordsT {
 public:
  // Feeds session. With updateFrom, the records that index holds of every
  // file indexed again are collected (Replaced) for the host to delete
  // once the session's records are in.
  FileRecordsT(IndexingSessionT* session, const IndexSettingsT& settings,
               StopListT* stop, const IndexHandleT* updateFrom);

  // Indexes the files in order, stopping before the next file once
  // interrupted is nonzero; every unreadable file is told to report as one
  // line. Returns the number of files taken.
  size_t AddFiles(const std::vector<FoundFileT>& files, size_t begin,
                  size_t end, const volatile std::sig_atomic_t* interrupted,
                  FileTallyT* tally,
                  const std::function<void(const std::string&)>& report);

  // The earlier records of the files indexed again, ascending.
  std::vector<unsigned long> Replaced() const;

 private:
  bool AddFile(const std::string& path, const std::string& content);
  void AddParagraphs(const std::string& content, RecordKeyT* key);
  void AddRecord(const unsigned char* text, size_t length,
                 const RecordKeyT& key);

  IndexingSessionT* session_;
  TokenizerT tokenizer_;
  std::string split_;
  const IndexHandleT* updateFrom_;
  std::vector<unsigned long> replaced_;
};

#endif  // TARVIS_TOOLS_FILE_RECORDS_H_
