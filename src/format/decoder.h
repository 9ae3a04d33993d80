// IndexDecompressorT: reads one term's posting stream back, one posting per
// call, for a compressed query vector or for the optimiser. The stream is
// either inline (a copy of the dictionary entry's bytes, or the caller's
// bytes read in place when they are long) or in the partition file, read
// through a private view of the file so that any number of decoders can walk
// terms of one open partition in interleaved order.
//
// Results: 1 a posting was delivered, 5 the term has no further posting,
// 0 the stream cannot be read (a failed read, or damaged data: codes running
// past the data, a gap overflowing the record or word number, postings out of
// order, counts the segment cannot hold). After a 0 the decoder is not used
// again for that term.
//
// Target-driven calls pass over whole blocks whose last posting lies before
// the target, using the block lengths stored in the stream; they deliver the
// same postings as decoding forward.
//
// This header holds the whole class; the document weight reader is defined
// in its own file (weight_decoder.cc) on top of the same stream: started
// with StartDecompression on an info whose data offset is the compressed
// weight area, whose item count is the partition's record count and whose
// index mode is the partition's, then given the quantisation.

#ifndef TARVIS_FORMAT_DECODER_H_
#define TARVIS_FORMAT_DECODER_H_

#include <cstdint>

#include "format/encode.h"
#include "format/term_instance.h"
#include "format/word_info.h"

class FileClassT;

enum : int {
  kDecodeFailed = 0,
  kDecodeDelivered = 1,
  kDecodeEnd = 5,
};

class IndexDecompressorT {
 public:
  // Inline postings up to this length are copied into the decoder.
  static constexpr uint32_t kMaxCopiedInline = 1023;
  static constexpr uint32_t kReadBufferBytes = 4096;

  IndexDecompressorT();
  virtual ~IndexDecompressorT();
  IndexDecompressorT(const IndexDecompressorT&) = delete;
  IndexDecompressorT& operator=(const IndexDecompressorT&) = delete;

  // Prepares to decode the term described by info, whose data-area postings
  // are in the open file. 1, or 0 for an unknown index mode or when the
  // private view cannot be made or positioned.
  int StartDecompression(FileClassT* file, const WordIndexInfoT& info);
  // Re-aims the decoder at another term of the same file, reusing its view
  // and its read buffer. 1, or 0 when the decoder has no view of a file (and
  // the term is not inline) or the seek fails.
  int StartNextDiskIndex(const WordIndexInfoT& info);
  int DecoderStarted() const { return Started; }

  // Record and IDF modes: the next record. The instance gets the record,
  // word position 1, weight 1.0 and the count (IDF mode; 1 otherwise,
  // counts above 65535 delivered as 65535).
  int GetRecordRM(TermInstanceT& instance);
  // Advances at least once, then on until the record reaches the target
  // record; the word target is ignored.
  int GetRecordStartingAtRM(TermInstanceT& instance, uint32_t record,
                            uint32_t word);

  // Word mode. Record 0: the next posting. Otherwise the first posting at or
  // after (record, word); when the instance's current posting is already
  // there, it is returned again without decoding. Record and word are written
  // into the instance; weight and count are left as they are.
  int NextWordHit(TermInstanceT* instance, uint32_t record, uint32_t word);

  // Document weights: the partition's largest and smallest weight and the
  // ratio between two weight levels, as the partition header holds them
  // (level k stands for smallest * ratio^k; the largest is not needed).
  void SetDocumentWeightInfo(float largest, float smallest, float ratio);
  // The weight and word count of record (1-based: record r is entry r - 1
  // of the area), passing over whole blocks before it; record 0 asks for
  // the next entry. Asking again for the entry delivered last delivers it
  // again; an earlier entry cannot be reached (the reader only moves
  // forward) and gives 0. 1, 5 beyond the last entry, 0 when the area
  // cannot be read or is damaged.
  int NextDocWeight(float* weight, uint32_t* wordCount, uint32_t record);

 protected:
  // One skip level of word mode: the open block's last posting, the item
  // number and stream bit position at which it ends. A level without an open
  // block has record and word all ones and end item 0.
  struct SkipLevelT {
    uint32_t Record;
    uint32_t Word;
    uint32_t EndItem;
    uint64_t EndBit;
  };
  static constexpr uint32_t kSkipLevels = 5;

  int StartInline(const WordIndexInfoT& info);
  void ResetTermState(const WordIndexInfoT& info);
  // Record and IDF modes: the next record, passing over whole segments whose
  // last record lies below target (0: no target).
  int NextRecord(TermInstanceT& instance, uint32_t target);
  // Word mode: the headers at the start of a full segment.
  int ReadSegmentHeaders();
  // Word mode: passes over the rest of the open block of the given level.
  int SkipBlock(uint32_t level, TermInstanceT* instance);
  // Word mode: decodes the next posting into CurrentRecord, CurrentWord.
  int DecodeWordPosting();
  // Document weights: the skip headers in front of a full segment, passing
  // over the rest of the open block of a level, decoding the next entry.
  int ReadDocWeightSegmentHeaders();
  int SkipDocWeightBlock(uint32_t level);
  int DecodeDocWeight();

  // ---- The term being decoded ----
  uint32_t IndexMode = 0;
  uint32_t ItemCount = 0;
  uint32_t ItemsDelivered = 0;

  // ---- Record and IDF modes ----
  uint32_t SegmentPosition = 0;  // records taken from the segment; 0 at start
  int FullSegment = 0;
  uint32_t LastRecord = 0;
  uint32_t SegmentBodyBits = 0;  // header of a full segment
  uint32_t SegmentLastRecord = 0;
  uint32_t SegmentLastCount = 0;

  // ---- Word mode ----
  uint32_t CurrentRecord = 0;  // the last posting delivered
  uint32_t CurrentWord = 0;
  uint32_t GroupRecord = 0;  // the body's current record group (0 at start)
  uint32_t PostingsLeftInRecord = 0;
  uint32_t SegmentIndex = 0;  // postings taken from the segment, 0..15
  uint32_t BodySize = 0;      // postings coded in the current body
  int SingleRecordBody = 0;
  uint32_t HeadersReadAt = 0;  // item number of the last header chain read
  SkipLevelT Levels[kSkipLevels] = {};  // also the document weights' levels

  // ---- Document weights (items are the area's entries) ----
  float WeightBase = 0;   // L
  float WeightRatio = 1;  // q
  uint32_t LastWeightLevel = 0;  // the entry delivered last
  uint32_t LastWordCount = 0;

  // ---- Stream ----
  BioT Stream;
  FileClassT* PrivateFile = nullptr;  // owned view; null for inline data
  int Started = 0;
  unsigned char ReadBuffer[kReadBufferBytes];
};

#endif  // TARVIS_FORMAT_DECODER_H_
