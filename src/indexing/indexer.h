// IndexerT: one indexing session, from its start to a finished partition
// file. The host feeds words record by record; the indexer forwards each word
// to the run builder, which spills sorted runs into a run file, and each
// record boundary to the document weight calculator, and writes record data
// and record IDs to side files. At the end it merges the runs, hands
// everything to the compressor and leaves a partition file that the index
// manager takes over (GetIndexFile).
//
// The session's record count is the number of records the host fed. A host
// may close every record with IncrementRecord, or leave the last one to the
// end of the session: a trailing record that received nothing since the last
// IncrementRecord is not counted, and a last record that did receive
// something is closed (its document weight computed) by the end of the
// session. Either way the weight files and the record tables hold exactly one
// entry per counted record.
//
// Record data and record IDs. Every record gets exactly one entry in each
// record table the index keeps, whichever store calls the host made: a record
// closed without data or without an ID gets an empty entry (a pointer to the
// current end of the area, or a fixed-length entry of zeros), so that entry i
// always belongs to record i + 1. Data given more than once for a record
// extends it: in the variable layout the bytes are appended, in the fixed
// layout they fill what the earlier calls left of the record's entry and the
// rest is dropped. A fixed-length entry takes at most its length from the
// caller and is padded with zeros; nothing beyond the caller's length is
// read. A record keeps the first ID stored for it; variable-length IDs are
// cut to 128 bytes.
//
// Temporary files are the indexer's until the partition file is handed over;
// whatever it still holds when it is destroyed is removed from the disk,
// except a partition file the host named itself (SetFinalPositionAndFileName).

#ifndef TARVIS_INDEXING_INDEXER_H_
#define TARVIS_INDEXING_INDEXER_H_

#include <cstdint>

#include "format/compressor.h"
#include "format/option_flags.h"
#include "tarvis/tarvis.h"

class DocWeightCalculatorT;
class FileClassT;
class MFileT;
class MergeT;
class RunBuilderT;

// The marker every live index manager and indexer carries.
constexpr uint32_t kValidityMarker = 0x7B89C641u;

// The choices of one session, taken from the index header.
struct IndexingOptionsT {
  uint32_t IndexMode;     // 1 record, 2 word, 3 IDF
  uint32_t WeightMethod;  // 0 none, 1 log sum, 2 largest frequency
  uint32_t FixedRecordDataLength;
  uint32_t OptionBlock[kOptionBlockWords];  // word 0: the option flags
  uint32_t FixedRecordIDLength;
  // Bytes of working memory (work_memory.h); 0 for the default.
  uint64_t WorkMemory;
};

// Builds the options of a session from an index's settings.
IndexingOptionsT MakeIndexingOptions(uint32_t indexMode,
                                     const uint32_t* optionBlock,
                                     uint32_t fixedRecordDataLength,
                                     uint32_t fixedRecordIDLength);

class IndexerT {
 public:
  // Longest field name and longest indexed record ID.
  static constexpr unsigned long kMaxFieldName = 120;
  static constexpr uint32_t kMaxIndexedRecordID = 120;
  // Bytes of a variable-length record ID that are kept.
  static constexpr uint32_t kMaxStoredRecordID = kMaxStoredRecordIDBytes;

  // StatusNotEnoughMemory when the document weight table cannot be had.
  explicit IndexerT(StatusCodeT* status);
  virtual ~IndexerT();
  IndexerT(const IndexerT&) = delete;
  IndexerT& operator=(const IndexerT&) = delete;

  // The compressor's partition header calls: a 0 result becomes
  // StatusWriteError (headers) or StatusGeneralError (the data copy).
  virtual void WriteBlankHeader(FileClassT* file, StatusCodeT* status);
  virtual void WriteFullHeader(StatusCodeT* status);
  virtual void CopyDataToDataFile(StatusCodeT* status);
  // Closes the current record and opens the next one. word (may be null)
  // gives the run tags of a run that this closes.
  virtual void IncrementRecord(const WordTypeT* word, StatusCodeT* status);
  // Record data and record IDs of the current record. Without the option
  // that stores them they do nothing and report 0; a write failure is
  // StatusWriteError. StoreRecordData starts the record's data and
  // StoreMoreRecordData extends it (either one does what the other would
  // when its case applies). A second ID for one record is refused with
  // StatusMalformedParameter.
  virtual void StoreRecordData(const unsigned char* data, unsigned long length,
                               StatusCodeT* status);
  virtual void StoreMoreRecordData(const unsigned char* data,
                                   unsigned long length, StatusCodeT* status);
  virtual void StoreRecordID(const unsigned char* id, unsigned long length,
                             StatusCodeT* status);
  // Indexes "m" + id as a word of the current record, without a word
  // position. An id of 0 or more than 120 bytes gets StatusBadKeyLength.
  virtual void IndexRecordID(const unsigned char* id, unsigned long length,
                             StatusCodeT* status);

  // Sets up the run builder, merger, run file and side files of a session.
  // A working memory that IndexingMemoryIsValid refuses gets
  // StatusMalformedParameter.
  void StartTextIndexingSession(const IndexingOptionsT* options,
                                StatusCodeT* status);
  // A word of length 0 is ignored.
  void IndexWord(const WordTypeT* word, StatusCodeT* status);
  // As IndexWord with the run builder's flags (kIndexOncePerRun,
  // kIndexNoPosition); a flagged word takes no part in the document weight.
  // Returns the run builder's result code.
  int IndexWordSpecial(const WordTypeT* word, unsigned long flags,
                       unsigned long value, StatusCodeT* status);
  // A name of 1 to 120 bytes is indexed as an ordinary word (without
  // document weight and not counted as an indexed word); other lengths are
  // ignored.
  void StartField(const unsigned char* name, unsigned long length,
                  StatusCodeT* status);
  void EndField(const unsigned char* name, unsigned long length,
                StatusCodeT* status);

  // Bytes of temporary disk space in use.
  uint32_t GetDiskSpaceUsage();
  // The name under which the partition file is made (at most 255 bytes);
  // without one it gets a temporary name.
  void SetFinalPositionAndFileName(const char* fileName, StatusCodeT* status);
  // Ends the session: the runs are merged and compressed into the partition
  // file (closed). A session that indexed no word makes none and leaves no
  // file behind (IsEmptySession). word (may be null) gives the run tags of
  // the last run.
  void EndIndexingSession(const WordTypeT* word, StatusCodeT* status);
  // Hands the partition file over; the caller owns it then.
  FileClassT* GetIndexFile();

  int IsEmptySession() const { return EmptySession; }
  int HasFinalName() const { return FinalNameSet; }
  int IsStarted() const { return Started; }
  int IsEnded() const { return Ended; }
  uint32_t IndexMode() const { return Options.IndexMode; }
  // The records of the session: during it, the record being fed; after it,
  // the records counted.
  uint32_t RecordCount() const { return Records; }
  uint32_t WordsIndexed() const { return WordCount; }
  // After the session: the runs the run builder wrote and the merge passes
  // that made one of them.
  uint32_t RunsWritten() const { return Runs; }
  uint32_t MergePasses() const { return Passes; }

  uint32_t ValidityMarker = kValidityMarker;

 private:
  // Hands a word to the run builder, spilling the run when it is full or
  // has no slot for the word; returns the run builder's result.
  int FeedRunBuilder(const unsigned char* bytes, uint8_t length, uint32_t flags,
                     const WordTypeT* tags, StatusCodeT* status);
  // Computes and writes the document weight of the current record.
  void WeighRecord(StatusCodeT* status);
  int SessionReady(StatusCodeT* status) const;
  int HasWeightFiles() const { return Options.IndexMode != RECORD_MODE; }
  uint32_t Flags() const { return Options.OptionBlock[0]; }
  // Gives the record being closed its empty entries in the tables where it
  // has none yet.
  void CompleteRecordEntries(StatusCodeT* status);
  // Writes more bytes into the fixed-length data entry of the current
  // record, as far as it has room.
  void FillFixedEntry(const unsigned char* data, unsigned long length,
                      StatusCodeT* status);
  // Appends the closing pointer to the record data and record ID tables.
  void CloseRecordTables(StatusCodeT* status);
  void WriteRecordPointer(FileClassT* table, uint32_t value, int asOffset,
                          StatusCodeT* status);
  // One entry of a record table: a fixed-length entry (no area), or a
  // pointer to the area's end followed by the bytes in the area.
  void StoreEntry(FileClassT* table, FileClassT* area, uint32_t fixedLength,
                  int asOffset, const unsigned char* bytes,
                  unsigned long length, StatusCodeT* status);
  void AppendToArea(FileClassT* area, const unsigned char* bytes,
                    unsigned long length, StatusCodeT* status);
  // Pointer widths (RecordDataPointerBytes, RecordIDPointerBytes).
  int DataPointersAreOffsets() const {
    return RecordDataPointerBytes(Flags()) == 8;
  }
  int IDPointersAreOffsets() const { return RecordIDPointerBytes(Flags()) == 8; }
  int MakePartitionFile(StatusCodeT* status);
  // Removes every file of the session still held, and its objects.
  void DiscardSession();

  int EmptySession = 0;
  int Started = 0;
  int Ended = 0;
  IndexingOptionsT Options = {};

  MFileT* RunFile = nullptr;
  MergeT* Merger = nullptr;
  RunBuilderT* RunBuilder = nullptr;
  IndexCompressorT Compressor;
  DocWeightCalculatorT* DocWeights = nullptr;

  uint32_t Records = 1;
  // 1 once the current record received a word, field, record data or ID.
  int RecordTouched = 0;
  // 1 once the current record has its entry in the data or ID table.
  int RecordHasData = 0;
  int RecordHasID = 0;
  // The current record's fixed-length data entry: where it starts in the
  // table and how many of its bytes came from the host.
  uint32_t FixedEntryStart = 0;
  uint32_t FixedEntryFilled = 0;
  uint32_t WordCount = 0;

  FileClassT* WeightFileA = nullptr;  // one float weight per record
  FileClassT* WeightFileB = nullptr;  // one word count per record
  FileClassT* TempIndexFile = nullptr;
  FileClassT* RecordDataPointers = nullptr;
  FileClassT* RecordData = nullptr;
  FileClassT* RecordIDPointers = nullptr;
  FileClassT* RecordIDs = nullptr;
  FileClassT* PartitionFile = nullptr;
  int OwnsPartitionFile = 0;

  // The buffers shared by the run builder and the merger.
  unsigned char* WorkBuffer[3] = {};
  uint32_t WorkBufferSize[3] = {};
  uint32_t Runs = 0;
  uint32_t Passes = 0;
  char FinalName[256] = {};
  int FinalNameSet = 0;
  WordTypeT FieldWord = {};
};

#endif  // TARVIS_INDEXING_INDEXER_H_
