// IndexCompressorT: turns what an indexing session left behind into the
// content of a partition file. This header holds the whole class; its
// operations are spread over several files by concern:
//   icmp_rec.cc        — construction (the working buffers are allocated
//                        once) and coding one term's postings in the three
//                        index modes: the segment coders and the readers of
//                        the temporary index file.
//   compressor.cc      — the driver: the per-term loop that stores every
//                        term's dictionary entry with its postings inline or
//                        in the posting data area, and the partition file
//                        (header, areas, clean-up of the session's files).
//   weight_segments.cc — the compressed document weights.
//
// A session: CompressIndex with the session's files (the compressor owns
// them from then on), WriteBlankHeader with the partition file (before or
// after CompressIndex), CopyDataToDataFile, WriteFullHeader. Every file the
// compressor was given or made is gone once CopyDataToDataFile has run, when
// the session turned out empty, or after a failure; the destructor removes
// whatever is left.
//
// Postings of one term go through BeginTermPostings, one Add…Posting call per
// posting in ascending order, and EndTermPostings; the three readers of the
// temporary index file are thin callers of that sequence, and the optimiser
// feeds it from decoded postings. The coded stream goes to PostingStream,
// which the caller has started before the term and flushes after it.
//
// Every operation returns 1 for success and 0 for failure (a failed read or
// write, or postings out of order); the caller turns a 0 into a status.

#ifndef TARVIS_FORMAT_COMPRESSOR_H_
#define TARVIS_FORMAT_COMPRESSOR_H_

#include <cstdint>
#include <memory>

#include "format/encode.h"
#include "format/partition_header.h"
#include "format/weight_segments.h"
#include "format/word_info.h"
#include "storage/word_rec.h"
#include "storage/writetre.h"
#include "tarvis/tarvis.h"

class FileClassT;

// A record-mode segment buffer holds 16 RecordOutT, an IDF one 16
// IdfOutTotalT: entry 0 is the last record of the previous segment (0 before
// the first), entries 1..15 the segment's records.
struct RecordOutT {
  uint32_t RecordNum;
};
struct IdfOutTotalT {
  uint32_t RecordNum;
  uint32_t TermCount;
};

// A word-mode posting. The buffer of one index segment holds a sentinel
// (0, 0) in entry 0 and the postings in entries 1..4096. Weight is not coded.
struct WeightedWordOutT {
  uint32_t RecordNum;
  uint32_t WordNum;
  uint8_t Weight;
};

constexpr uint32_t kRecordSegmentRecords = 15;
constexpr uint32_t kWordSegmentPostings = 16;
constexpr uint32_t kIndexSegmentPostings = 4096;
constexpr uint32_t kIndexSegmentSegments =
    kIndexSegmentPostings / kWordSegmentPostings;
// Skip levels 0..4: blocks of 1, 4, 16, 64 and 256 segments.
constexpr uint32_t kWordSkipLevels = 5;

// One skip level of one block: its last posting, the length of its bodies
// and of its header chain, in bits.
struct WordSkipEntryT {
  uint32_t RecordNum;
  uint32_t WordNum;
  uint32_t BodyBits;
  uint32_t HeaderBits;
};

// The skip information of one index segment: one row per full segment,
// the entries of level L filled in the rows where a complete level-L block
// starts and zero elsewhere. Room for six levels, five used.
struct WordSkipCompressionTableT {
  WordSkipEntryT Row[kIndexSegmentSegments][6];
};

// The compression request of one session. Every file may be null.
struct IndexCompressDataInfoT {
  FileClassT* TempIndexFile = nullptr;  // the merged temporary index file
  FileClassT* WeightFileB = nullptr;    // word counts, a Long per record
  FileClassT* WeightFileA = nullptr;    // weights, a Float per record
  FileClassT* RecordDataPointerFile = nullptr;
  FileClassT* RecordDataFile = nullptr;
  FileClassT* RecordIdPointerFile = nullptr;
  FileClassT* RecordIdDataFile = nullptr;
  // A session whose three flags are all 0 is empty.
  uint32_t WordsIndexed = 0;
  uint32_t FurtherFlags[2] = {};
  uint32_t FixedRecordIdLength = 0;
  // The records of the session; the weight files hold one entry for each.
  uint32_t RecordCount = 0;
  uint32_t FixedRecordDataLength = 0;
  float SmallestWeight = 0;
  float LargestWeight = 0;
  uint32_t Options[kPartitionOptionWords] = {};
  uint32_t IndexMode = 0;  // 1, 2 or 3
};

// A file the compressor owns: released (closed, removed from disk and
// destroyed) when it has been copied into the partition or is not needed,
// after a failure, and at the latest with the compressor.
class SessionFileT {
 public:
  SessionFileT() = default;
  ~SessionFileT() { Release(); }
  SessionFileT(const SessionFileT&) = delete;
  SessionFileT& operator=(const SessionFileT&) = delete;

  FileClassT* Get() const { return File; }
  // Takes file over, releasing the one held before.
  void Reset(FileClassT* file) {
    Release();
    File = file;
  }
  // 1 when no file was held or it was removed from disk.
  int Release();

 private:
  FileClassT* File = nullptr;
};

// Results of IndexCompressorT::ReadWord besides 0 (a failed read).
enum : int {
  kNoMoreWords = 20,
  kWordRead = 21,
};

class IndexCompressorT {
 public:
  // Sizes of the working buffers.
  static constexpr uint32_t kPostingBufferBytes = 200;
  static constexpr uint32_t kWordInfoBufferBytes = 256;
  static constexpr uint32_t kTempReadBufferBytes = 1200;

  IndexCompressorT();
  ~IndexCompressorT();
  IndexCompressorT(const IndexCompressorT&) = delete;
  IndexCompressorT& operator=(const IndexCompressorT&) = delete;

  // ---- One term's postings (icmp_rec.cc) ---------------------------------

  // Read the current term's postings from TempIndexFile, positioned just
  // after the term's WordRecT (CurrentWordRec), and code them.
  int CompressRecordModeIndex();
  int CompressIdfModeIndex();
  int CompressWordModeIndex();

  // Starts a term in the given index mode; P becomes occurrenceCount.
  void BeginTermPostings(uint32_t indexMode, uint32_t occurrenceCount);
  // One posting each, in ascending order. In record mode a record equal to
  // the last one is dropped; in IDF mode its count is added to the last one.
  int AddRecordPosting(uint32_t record);
  int AddIdfPosting(uint32_t record, uint32_t count);
  int AddWordPosting(uint32_t record, uint32_t word);
  // Codes what is left; TermRecordCount then holds R.
  int EndTermPostings();

  // Segment coders. count records (0..15) of a record or IDF segment buffer;
  // a full segment moves its last record to entry 0.
  int CompressRecordSegment(BioT* bio, RecordOutT* segment, uint32_t count);
  int CompressIdfSegment(BioT* bio, IdfOutTotalT* segment, uint32_t count);
  // An index segment of count (1..4096) postings in buffer[1..count].
  int CompressWordIndexSegment(const WeightedWordOutT* buffer, uint32_t count);
  // Fills table for the count postings of buffer[1..count].
  void CalculateSkipInformation(WordSkipCompressionTableT* table,
                                const WeightedWordOutT* buffer,
                                uint32_t count);
  // The length in bits of the body that CompressWordSegment(postings, m + 1)
  // writes.
  static uint32_t MeasureWordSegment(const WeightedWordOutT* postings,
                                     uint32_t m);
  // Codes the body of the first n - 1 postings (nothing when n is 1).
  int CompressWordSegment(const WeightedWordOutT* postings, uint32_t n);

  // Codes the word information record of the term just coded into
  // WordInfoBuffer from TermRecordCount, TermPostingCount, TermIndexMode,
  // TermLocation and TermPostingStart; returns its length, 0 on failure.
  uint32_t CompressWordInfo();

  // ---- The driver (compressor.cc) ------------------------------------------

  // The whole compression of one session: document weights, then the
  // dictionary and postings. Takes every file of the request over (its
  // pointers are cleared) and releases the files of an empty session at
  // once. Status 0, or StatusNotEnoughMemory, StatusCannotOpenFile,
  // StatusCannotCloseFile or StatusGeneralError; after a failure every
  // session file is gone and the partition cannot be written.
  int CompressIndex(IndexCompressDataInfoT* info, StatusCodeT* status);
  // 1 when the last CompressIndex found nothing to compress.
  int IsEmptySession() const { return EmptySession; }
  // Releases every file named in the request and clears its pointers.
  void CleanUpFilesFromEmptySession(IndexCompressDataInfoT* info);

  // The per-term loop over TempIndexFile, between StartWordIndex and
  // EndWordIndex. 1, or 0 on any failure.
  int ProcessTemporaryIndexFile();
  // Reads the next term of TempIndexFile into KeyBuffer (length-prefixed)
  // and CurrentWordRec. kWordRead, kNoMoreWords when the file ends before a
  // term, 0 when it ends inside one or a read fails.
  int ReadWord();

  // Building a word index, term by term in ascending key order (the driver
  // reads the terms from the temporary index file; the optimiser merges
  // them from partitions). StartWordIndex makes the posting data file and
  // starts the dictionary (StatusNotEnoughMemory, StatusCannotOpenFile or
  // StatusGeneralError on failure). CompressTerm codes one term's postings
  // with code, which runs BeginTermPostings … EndTermPostings (or one of the
  // Compress…ModeIndex readers) and returns 1 or 0, then stores the term's
  // dictionary entry: the word information record followed by the postings
  // when they take at most kPostingBufferBytes, else the record alone with
  // the postings in the posting data area. EndWordIndex finishes the
  // dictionary; a word index without terms has none.
  int StartWordIndex(StatusCodeT* status);
  template <class CodeT>
  int CompressTerm(const unsigned char* key, CodeT code);
  int EndWordIndex();
  // Moves the postings of a term coded inline to the posting data area and
  // recodes its word information record, whose length it returns (0 on
  // failure); for an entry that does not fit an empty dictionary page.
  uint32_t MoveTermToDataArea();

  // Stores the weight quantisation for the header.
  void SetDocumentWeightInfo(float smallest, float largest, float ratio);

  // The partition file (not owned): the header at the file's position with
  // what is known so far; the areas behind it; the header again with the
  // final values, after which the file is left at the partition's end. Each
  // returns 1, or 0 on failure (a failed copy also releases the session's
  // files).
  int WriteBlankHeader(FileClassT* partitionFile);
  int CopyDataToDataFile();
  int WriteFullHeader();

  // ---- Document weights (weight_segments.cc) -------------------------------

  // Codes the entries of wordCounts (weight file B) and weights (weight file
  // A) into CompressedWeightFile with the scale of smallest and largest,
  // whose ratio is returned. The input ends with wordCounts. 1, or 0 with
  // status StatusCannotOpenFile or StatusCannotCloseFile when a weight file
  // cannot be reopened, unchanged on any other failure (a failed read of
  // weights, a failed write or allocation).
  int CompressTermFrequencyFile(FileClassT* wordCounts, FileClassT* weights,
                                float smallest, float largest, float& ratio,
                                StatusCodeT* status);
  // One index segment of count (1..4096) entries. 1 or 0.
  int CompressDocWeightIndexSegment(const DocWeightInfoT* entries,
                                    uint32_t count, float ratio, float base);
  // Fills table for the full segments of count entries.
  void CalculateDocWeightSkipInformation(DocWeightCompressionTableT* table,
                                         const DocWeightInfoT* entries,
                                         uint32_t count);
  // Codes count entries (16 for a full segment). 1 or 0.
  int CompressDocWeightSegment(const DocWeightInfoT* entries, float ratio,
                               float base, uint32_t count);

  // ---- State -------------------------------------------------------------

  // 1 when every working buffer was allocated.
  int ConstructedCorrectly = 0;

  // Files. TempIndexFile is the file the Compress…ModeIndex readers read;
  // the driver points it at TempIndex.
  FileClassT* TempIndexFile = nullptr;
  SessionFileT TempIndex;             // the merged temporary index file
  SessionFileT WordCountFile;         // weight file B
  SessionFileT WeightFile;            // weight file A
  SessionFileT RecordDataPointerFile;
  SessionFileT RecordDataFile;
  SessionFileT RecordIdPointerFile;
  SessionFileT RecordIdDataFile;
  SessionFileT PostingDataFile;       // spilled posting streams
  SessionFileT CompressedWeightFile;  // compressed document weights

  // The partition being written.
  PartitionHeaderT Header;
  FileClassT* PartitionFile = nullptr;  // not owned
  uint32_t HeaderPosition = 0;
  int EmptySession = 0;
  int DictionaryBuilt = 0;
  WriteBTreeT Dictionary;
  uint32_t DocWeightEntries = 0;  // entries coded by the last weight run
  std::unique_ptr<DocWeightCompressionTableT> DocWeightTable;

  // Working buffers, allocated once by the constructor.
  unsigned char* TempReadBuffer = nullptr;   // kTempReadBufferBytes
  unsigned char* WordInfoBuffer = nullptr;   // kWordInfoBufferBytes
  WeightedWordOutT* WordSegment = nullptr;   // 1 + kIndexSegmentPostings
  WordSkipCompressionTableT* SkipTable = nullptr;
  unsigned char PostingBuffer[kPostingBufferBytes];
  unsigned char KeyBuffer[256];  // the current term, length-prefixed
  unsigned char EntryBuffer[kWordInfoMaxBytes + kPostingBufferBytes];
  RecordOutT RecordSegment[kRecordSegmentRecords + 1];
  IdfOutTotalT IdfSegment[kRecordSegmentRecords + 1];

  // The posting stream of the current term.
  BioT PostingStream;

  // The current term.
  WordRecT CurrentWordRec = {0, 0, 0};  // as read from TempIndexFile
  uint32_t TermIndexMode = 0;
  uint32_t TermRecordCount = 0;   // R
  uint32_t TermPostingCount = 0;  // P
  uint32_t TermLocation = kPostingsInline;
  uint32_t TermPostingStart = 0;  // offset in PostingDataFile

  // Cutting the current term into segments.
  uint32_t SegmentFill = 0;     // records in RecordSegment / IdfSegment
  int SegmentPending = 0;       // record mode: entries since the last segment
  uint32_t WordFill = 0;        // postings in WordSegment
  uint32_t LastWordRecord = 0;  // word mode: the last posting added
  uint32_t LastWordPosition = 0;

 protected:
  // Gives file the largest stdio buffer it accepts, from largest down to
  // 1024 bytes; one that accepts none keeps its default buffering.
  static void SetLargestBuffer(FileClassT* file, uint32_t largest);
  // Makes a temporary file in file, opened for writing. 1, or 0 with status
  // StatusNotEnoughMemory or StatusCannotOpenFile.
  static int CreateSessionFile(SessionFileT* file, StatusCodeT* status);

 private:
  // Takes the request's files over and clears its pointers.
  void TakeRequestFiles(IndexCompressDataInfoT* info);
  // The halves of CompressTerm.
  void StartTermStream();
  int StoreTermEntry(const unsigned char* key);
  // Releases every session file and the dictionary's temporary files.
  void ReleaseSessionFiles();
  // Copies a session file to the partition file's position and releases it;
  // the area's offset from the header (and length) are returned.
  int AppendArea(SessionFileT* area, uint32_t* offset, uint32_t* length);
  // Writes the encoded header at the partition file's position, the
  // dictionary's own header in its blank or full form.
  int WriteHeaderBytes(const unsigned char* bytes, bool full);

  // Reads the current term's entries of the given mode from TempIndexFile in
  // blocks and hands each entry's bytes to add, between BeginTermPostings and
  // EndTermPostings.
  template <class AddT>
  int CodeTermEntries(uint32_t indexMode, AddT add);
};

template <class CodeT>
int IndexCompressorT::CompressTerm(const unsigned char* key, CodeT code) {
  StartTermStream();
  return code() && StoreTermEntry(key);
}

#endif  // TARVIS_FORMAT_COMPRESSOR_H_
