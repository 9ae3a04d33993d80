// IndexCompressorT: turns what an indexing session left behind into the
// content of a partition file. This header holds the whole class; its
// operations are spread over several files by concern:
//   icmp_rec.cc — construction (the working buffers are allocated once) and
//                 coding one term's postings in the three index modes: the
//                 segment coders and the readers of the temporary index file.
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

#include "format/encode.h"
#include "format/word_info.h"
#include "storage/word_rec.h"

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

  // ---- State -------------------------------------------------------------

  // 1 when every working buffer was allocated.
  int ConstructedCorrectly = 0;

  // Files.
  FileClassT* TempIndexFile = nullptr;   // the merged temporary index file
  FileClassT* PostingDataFile = nullptr;  // spilled posting streams

  // Working buffers, allocated once by the constructor.
  unsigned char* TempReadBuffer = nullptr;   // kTempReadBufferBytes
  unsigned char* WordInfoBuffer = nullptr;   // kWordInfoBufferBytes
  WeightedWordOutT* WordSegment = nullptr;   // 1 + kIndexSegmentPostings
  WordSkipCompressionTableT* SkipTable = nullptr;
  unsigned char PostingBuffer[kPostingBufferBytes];
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

 private:
  // Reads the current term's entries of the given mode from TempIndexFile in
  // blocks and hands each entry's bytes to add, between BeginTermPostings and
  // EndTermPostings.
  template <class AddT>
  int CodeTermEntries(uint32_t indexMode, AddT add);
};

#endif  // TARVIS_FORMAT_COMPRESSOR_H_
