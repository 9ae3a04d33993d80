// MFileT: the pair of temporary files that holds an indexing session's sorted
// runs. The run file keeps the runs back to back; the log records, per run,
// where it starts, how long it is, how many words it holds and the four run
// tags the host passed when it was closed. The run builder appends runs, the
// merger reads them back through the log, and the last merged run file is the
// temporary index file.
//
// Run record, one per word (the runs are sequences of them):
//   length byte L, L word bytes, a WordRecT (12 bytes), then the word's
//   posting area (WordRecT::PostingBytes bytes, kRunEntrySize bytes a posting).
// Log: 48 reserved bytes, then one 28-byte RunLogRecordT per run. A new log is
// filled with 400 bytes of "Bob " first.
//
// Both files are private to one session, so everything in them is a raw image
// in the machine's byte order. Operations return 1 for success and 0 for
// failure (Open also -2 for a missing file).
//
// Writes to the run file are gathered in a block of the object's own and
// reach the file when it is full, when a run is closed, and before the run
// file is read, sought, closed or handed over; a failed write shows then.

#ifndef TARVIS_STORAGE_RUN_FILE_H_
#define TARVIS_STORAGE_RUN_FILE_H_

#include <cstdint>
#include <cstring>

#include "storage/word_rec.h"

class FileClassT;

// One run of the run file, as the log records it.
struct RunLogRecordT {
  uint32_t Offset;     // of the run's first byte in the run file
  uint32_t Length;     // of the run in bytes
  uint32_t WordCount;  // run records in the run
  uint32_t Tags[4];    // the host's run tags; 0 for merged runs
};
static_assert(sizeof(RunLogRecordT) == 28, "a run-log record is 28 bytes");

// Offset of the first run-log record; the bytes before it stay reserved.
constexpr uint32_t kRunLogStart = 48;
// Bytes of "Bob " filler written into a new log.
constexpr uint32_t kRunLogFillerBytes = 400;

// stdio buffer for a run file being written. Runs are written front to back,
// so a large buffer saves system calls (one per page otherwise); a run file
// being read jumps between runs and is better served by a page.
constexpr uint32_t kRunWriteStreamBytes = 65536;

// Open modes of MFileT::Open.
enum : int {
  kRunFileOpenExisting = 1,  // reopen the pair for reading and writing
  kRunFileCreate = 2,        // create (or truncate) both files
};

class MFileT {
 public:
  // Names both files as temporary files; opens nothing.
  MFileT();
  // Closes and destroys the log and, unless handed over, the run file.
  ~MFileT();

  MFileT(const MFileT&) = delete;
  MFileT& operator=(const MFileT&) = delete;

  // 1 when both file objects could be made.
  int IsValid() const { return Valid; }

  // Opens (kRunFileOpenExisting) or creates (any other mode) the pair. The
  // run file gets the stdio buffer given (4096 bytes, allocated by the
  // runtime, when both arguments are 0). Returns 1, 0 on failure, -2 when
  // reopening and a file is missing.
  int Open(int mode, unsigned char* buffer, uint32_t size);

  // Starts a run at the end of the last one.
  void BeginIndexRun();
  // Writes a length-prefixed word and counts one word of the run.
  int WriteWord(const unsigned char* word) {
    if (!Write(word, uint32_t{word[0]} + 1)) return 0;
    ++RunWords;
    return 1;
  }
  int WriteWordRec(const WordRecT* record) {
    return Write(record, sizeof(WordRecT));
  }
  int Write(const void* data, uint32_t count) {
    if (RunFile == nullptr) return 0;
    if (count <= kGatherSize - Gathered) {
      std::memcpy(Gather + Gathered, data, count);
      Gathered += count;
      return 1;
    }
    return WriteThrough(data, count);
  }
  // Closes the current run and appends its record to the log.
  int EndIndexRun(const uint32_t tags[4]);

  // Reading the run file back.
  int Read(void* data, uint32_t count);
  int Seek(uint32_t offset);

  // Makes run-log record n the current one.
  int ReadIndexRunInfo(uint32_t n);
  // Makes the next run-log record the current one.
  int ReadNextRunInfo();
  uint32_t OffsetOfRun() const { return Current.Offset; }
  uint32_t LengthOfRun() const { return Current.Length; }
  const RunLogRecordT& CurrentRunInfo() const { return Current; }
  uint32_t GetCurrentRunNumber() const { return CurrentRunNumber; }
  // Runs closed since the pair was created.
  uint32_t RunCount() const { return RunsClosed; }

  // Bytes written to the run file so far (where the next byte goes).
  uint32_t GetDataFileLength();
  // Hands the run file over to the caller, who then owns it.
  FileClassT* GetRunFile();
  FileClassT* GetLogFile() { return LogFile; }

  // Closes both files; 1 only if both closes succeed.
  int Close();
  // Closes, deletes and destroys both files; 1 only if every step succeeded.
  int Delete();
  // Closes, deletes and destroys the log only.
  int DeleteLogFileOnly();

 private:
  static constexpr uint32_t kGatherSize = 4096;

  // Writes the gathered bytes, then data.
  int WriteThrough(const void* data, uint32_t count);
  int FlushGathered();

  RunLogRecordT Current = {};
  uint32_t CurrentRunNumber = 0;
  FileClassT* RunFile = nullptr;
  FileClassT* LogFile = nullptr;
  int Valid = 0;
  uint32_t RunsClosed = 0;
  uint32_t RunStart = 0;
  uint32_t LastRunEnd = 0;
  uint32_t RunWords = 0;
  uint32_t Gathered = 0;
  unsigned char Gather[kGatherSize];
};

#endif  // TARVIS_STORAGE_RUN_FILE_H_
