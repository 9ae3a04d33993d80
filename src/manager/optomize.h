// IndexOptomizerT: merges a run of consecutive partitions into one new
// partition file. Deleted records are left out and the records that remain
// are numbered densely in their old order; everything a record owns follows
// it: its postings in every term, its record data and record ID, its word
// count and its exact document weight.
//
// One merge reads at most kMaxInputs partitions, each through a file object
// of its own: ranges inside a single-file index (LoadIndexFile) or partition
// files (AddIndexPartition). The index manager splits longer ranges into
// several passes. A merge only reads its inputs; the index stays as it is
// until the manager puts the output in place.
//
// Use: LoadIndexFile / AddIndexPartition, StartOptomizationSession,
// Optomize, then GetOptomizedIndexFile for the output (null when no record
// survived), CloseAllPartitions when the inputs are no longer needed.
// Every operation returns 1, or 0 with a negative status; after a 0 the
// optimiser is only fit to be destroyed, which removes its files.
//
// The postings are re-coded with the compressor's own coders, term by term:
// the inputs' dictionaries are merged through a heap of readers ordered by
// their current term, each input decoding its postings with one decoder that
// moves from term to term without allocating.

#ifndef TARVIS_MANAGER_OPTOMIZE_H_
#define TARVIS_MANAGER_OPTOMIZE_H_

#include <cstdint>
#include <memory>

#include "format/compressor.h"
#include "format/decoder.h"
#include "query/deleted_records.h"
#include "query/partition_reader.h"
#include "tarvis/tarvis.h"

class FileClassT;

// The deleted records of a range of global record numbers, copied from the
// deleted-record set when an optimisation starts. The optimiser drops
// exactly these records, and ending the optimisation renumbers the set by
// them, whatever the host deleted or undeleted in between.
class RecordRangeSnapshotT : public DeletedRecordSetT {
 public:
  // Copies the state of records first .. first + count - 1. 1, or 0 when
  // the memory cannot be had.
  int Take(const DeletedRecordSetT& deleted, uint32_t first, uint32_t count);
  // Records outside the range are not deleted.
  int IsRecordDeleted(uint32_t record) const override;
  uint32_t First() const { return FirstRecord; }
  uint32_t Count() const { return Records; }

 private:
  uint32_t FirstRecord = 0;
  uint32_t Records = 0;
  std::unique_ptr<uint8_t[]> Bits;
};

// A partition reader that walks its dictionary for the merge: the term at
// its position and the term's word information, decoded once per term.
class OptomizeReaderT : public PartitionReaderT {
 public:
  using PartitionReaderT::PartitionReaderT;
  // Puts the position on the first term. 1; 0 with the status untouched
  // when the partition has no terms, with StatusGeneralError when the
  // dictionary cannot be read.
  int FirstTerm(StatusCodeT* status);
  // Moves to the next term: 1; 0 with the status untouched at the last
  // term, with StatusGeneralError when the dictionary cannot be read.
  int NextTerm(StatusCodeT* status);
  // The term at the position, length-prefixed; valid until it moves.
  const unsigned char* Term() const { return Cursor.Key(); }
  // The word information of the term at the position; 1, or 0 when it is
  // damaged.
  int TermInfo(WordIndexInfoT* info) const {
    return DecodeWordInformation(info);
  }
};

class IndexOptomizerT : public IndexCompressorT {
 public:
  // The inputs of one merge: as many readers as the heap holds.
  static constexpr uint32_t kMaxInputs = 128;

  IndexOptomizerT();
  // Closes the inputs and removes the output file unless it was taken.
  ~IndexOptomizerT();

  // ---- Inputs ---------------------------------------------------------------

  // Opens count consecutive partitions of a single-file index, the first at
  // position, each next one right behind the one before.
  // StatusCannotOpenFile, StatusSeekError, StatusNotEnoughMemory, the
  // header's StatusReadError or StatusNotIndexFile; StatusMalformedParameter
  // beyond kMaxInputs.
  int LoadIndexFile(const char* indexFile, uint32_t position, uint32_t count,
                    StatusCodeT* status);
  // Opens the partition in a file of its own that starts at position.
  int AddIndexPartition(const char* partitionFile, uint32_t position,
                        StatusCodeT* status);

  // ---- The merge ------------------------------------------------------------

  // options: the index's 40-word option block (null: all zero), which
  // decides the record tables of the output. deleted (null: none) is asked
  // for global record numbers; the first input record is firstRecord.
  // The inputs must share one index mode (StatusNotIndexFile otherwise).
  int StartOptomizationSession(const uint32_t* options,
                               const DeletedRecordSetT* deleted,
                               uint32_t firstRecord, StatusCodeT* status);
  // Writes the output partition. Status StatusNoDataAfterOptomization when
  // no record survived: there is no output then.
  int Optomize(StatusCodeT* status);
  // The output partition file, open, for the caller to own; null when there
  // is none or it was taken.
  FileClassT* GetOptomizedIndexFile();
  int HasOptomizedIndexFile() const { return Output != nullptr; }
  // Closes every input.
  void CloseAllPartitions();

  // ---- Records --------------------------------------------------------------

  // Input records are numbered from 1 over the whole range, in input order.
  uint32_t MergedRecordCount() const { return MergedRecords; }
  uint32_t OutputRecordCount() const { return OutputRecords; }
  // Fills the record-number table from the deleted-record set.
  int SetUpRecordNumCompressorTable(StatusCodeT* status);
  // The output number of input record r: 0 when it is dropped (or not a
  // record of the range), else the records kept among 1 .. r.
  uint32_t GetNewRecordNumber(uint32_t r) const {
    if (r == 0 || r > MergedRecords) return 0;
    const uint32_t i = r - 1;
    if ((DroppedBits[i >> 3] >> (i & 7)) & 1) return 0;
    return BlockBase[i >> 8] + PairCount[i >> 1] + (i & 1);
  }
  int IsRecordDeleted(uint32_t r) const {
    return r != 0 && r <= MergedRecords && GetNewRecordNumber(r) == 0;
  }

 private:
  struct InputT {
    std::unique_ptr<FileClassT> File;
    std::unique_ptr<OptomizeReaderT> Reader;
    std::unique_ptr<IndexDecompressorT> Postings;
    uint32_t Position = 0;       // where the partition starts in its file
    uint32_t RecordsBefore = 0;  // input records of the inputs before it
    int PostingsOnFile = 0;      // the decoder has its view of the file
  };

  // Opens one input at position of a new file object on fileName.
  int OpenInput(const char* fileName, uint32_t position, StatusCodeT* status);
  const PartitionHeaderT& InputHeader(uint32_t i) const {
    return Inputs[i]->Reader->Header();
  }

  // The word index: the heap of inputs by current term, range order among
  // equal terms.
  int OptomizeWordIndex(StatusCodeT* status);
  int IndexReaderCompare(uint32_t a, uint32_t b) const;
  void Insert(uint32_t input);
  uint32_t DeleteMin();
  // Codes and stores the term the given inputs (range order) stand on.
  int ProcessWord(const uint32_t* inputs, uint32_t count, StatusCodeT* status);
  // The merged postings of one term; 0 also when no posting survived
  // (TermDropped is then set).
  int CodeMergedPostings(const uint32_t* inputs, uint32_t count,
                         StatusCodeT* status);
  int StartTermPostings(InputT& input, const WordIndexInfoT& info);
  // Moves the inputs past the term and back into the heap.
  int EndWord(const uint32_t* inputs, uint32_t count, StatusCodeT* status);

  // The record tables, word counts and document weights of the survivors.
  int OptomizeRecordData(StatusCodeT* status);
  int OptomizeRecordIDs(StatusCodeT* status);
  int OptomizeWordCounts(StatusCodeT* status);
  int OptomizeDocumentWeightTable(float* smallest, float* largest,
                                  StatusCodeT* status);
  int CompressDocumentWeights(StatusCodeT* status);
  // The record data (ids 0) or record ID table (ids 1) of the kept
  // records: those of one input; one kept record's entry, its length bytes
  // read from source; more bytes of the entry.
  struct RecordTableT;
  int CopyRecordTable(int ids, StatusCodeT* status);
  int CopyInputRecords(RecordTableT& table, uint32_t input,
                       StatusCodeT* status);
  int StoreRecordData(RecordTableT& table, FileClassT* source, uint32_t length,
                      StatusCodeT* status);
  int StoreMoreRecordData(RecordTableT& table, const unsigned char* bytes,
                          uint32_t count);
  // Reads one value per record of an input's plain table (word counts or
  // weights) and writes those of the kept records to out.
  int CopyRecordValues(uint32_t input, uint32_t areaOffset, SessionFileT* out,
                       float* smallest, float* largest, StatusCodeT* status);
  // Writes the output partition file from what was built.
  int WriteOutput(StatusCodeT* status);

  std::unique_ptr<InputT> Inputs[kMaxInputs];
  uint32_t InputCount = 0;
  uint32_t Options[kPartitionOptionWords] = {};
  const DeletedRecordSetT* Deleted = nullptr;
  uint32_t FirstRecord = 1;
  uint32_t Mode = 0;
  int SessionStarted = 0;
  int Optomized = 0;

  uint32_t MergedRecords = 0;
  uint32_t OutputRecords = 0;
  // The record-number table: per 256 input records the records kept before
  // them; per pair of records those kept from the block's start through the
  // pair's first; a bit per dropped record.
  std::unique_ptr<uint32_t[]> BlockBase;
  std::unique_ptr<uint8_t[]> PairCount;
  std::unique_ptr<uint8_t[]> DroppedBits;

  uint32_t Heap[kMaxInputs] = {};
  uint32_t HeapSize = 0;
  uint32_t TermInputs[kMaxInputs] = {};
  unsigned char LastTerm[256] = {};  // the term being merged
  int TermDropped = 0;

  // Record data and record IDs pass through here.
  static constexpr uint32_t kRecordBufferBytes = 8192;
  unsigned char RecordBuffer[kRecordBufferBytes];

  FileClassT* Output = nullptr;  // owned until taken
};

#endif  // TARVIS_MANAGER_OPTOMIZE_H_
