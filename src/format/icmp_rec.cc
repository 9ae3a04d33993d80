// IndexCompressorT: coding one term's postings.
//
// Record and IDF modes cut the records into segments of 15. A full segment
// starts with a 1 bit, the length in bits of its first 14 gap codes, and its
// 15th record coded absolutely (with its count in IDF mode); a partial
// segment (the term's last) starts with a 0 bit. Gaps are delta-coded, counts
// gamma-coded.
//
// Word mode cuts the postings into index segments of 4096 and those into
// segments of 16. Every full segment is preceded by skip headers: for each
// level whose block (1, 4, 16, 64 or 256 segments) starts there, the block's
// last posting and the length of its bodies, so that a reader can pass over
// the whole block. The 16th posting of a segment lives only in its level-0
// header; the body codes the first 15, grouped by record.

#include <cstring>
#include <type_traits>

#include "format/compressor.h"
#include "storage/allocation.h"
#include "storage/check.h"
#include "storage/fileclas.h"

namespace {

constexpr uint32_t kMaxU32 = 0xFFFFFFFFu;

// Walks the body of m >= 1 word postings and hands every code to a sink. The
// writer and the measurer share it, so a measured length is always the
// length written.
template <class SinkT>
void WalkWordSegment(const WeightedWordOutT* postings, uint32_t m,
                     SinkT& sink) {
  const bool single = postings[0].RecordNum == postings[m - 1].RecordNum;
  sink.Bit(single ? 1 : 0);
  uint32_t previousRecord = 0;
  for (uint32_t i = 0; i < m;) {
    const uint32_t record = postings[i].RecordNum;
    uint32_t end = i + 1;
    while (end < m && postings[end].RecordNum == record) ++end;
    sink.Delta(record - previousRecord);  // the first record absolutely
    if (!single) sink.Gamma(end - i);
    uint32_t previousWord = 0;
    for (; i < end; ++i) {
      sink.Delta(postings[i].WordNum - previousWord);
      previousWord = postings[i].WordNum;
    }
    previousRecord = record;
  }
}

struct BitSinkT {
  BioT* Bio;
  void Bit(uint32_t bit) { Bio->PutBit(bit); }
  void Delta(uint32_t x) { Bio->PutDelta(x); }
  void Gamma(uint32_t x) { Bio->PutGamma(x); }
};

struct LengthSinkT {
  uint32_t Bits = 0;
  void Bit(uint32_t) { ++Bits; }
  void Delta(uint32_t x) { Bits += DeltaLength(x); }
  void Gamma(uint32_t x) { Bits += GammaLength(x); }
};

// Codes count records of a record or IDF segment buffer (entry 0 the base).
template <class EntryT>
int CodeRecordSegment(BioT* bio, EntryT* segment, uint32_t count) {
  constexpr bool kCounts = std::is_same<EntryT, IdfOutTotalT>::value;
  TV_CHECK(count <= kRecordSegmentRecords);
  for (uint32_t i = 1; i <= count; ++i) {
    if (segment[i].RecordNum <= segment[i - 1].RecordNum) return 0;
    if constexpr (kCounts) {
      if (segment[i].TermCount == 0) return 0;
    }
  }
  // The codes of records 1..last.
  auto codeRecords = [&](uint32_t last) {
    for (uint32_t i = 1; i <= last; ++i) {
      bio->PutDelta(segment[i].RecordNum - segment[i - 1].RecordNum);
      if constexpr (kCounts) bio->PutGamma(segment[i].TermCount);
    }
  };
  if (count < kRecordSegmentRecords) {
    bio->PutBit(0);
    codeRecords(count);
  } else {
    const uint32_t last = kRecordSegmentRecords;
    uint32_t bodyBits = 0;
    for (uint32_t i = 1; i < last; ++i) {
      bodyBits += DeltaLength(segment[i].RecordNum - segment[i - 1].RecordNum);
      if constexpr (kCounts) bodyBits += GammaLength(segment[i].TermCount);
    }
    bio->PutBit(1);
    bio->PutDelta(bodyBits);
    bio->PutDelta(segment[last].RecordNum);
    if constexpr (kCounts) bio->PutGamma(segment[last].TermCount);
    codeRecords(last - 1);
    segment[0] = segment[last];
  }
  return !bio->WriteFailed();
}

}  // namespace

IndexCompressorT::IndexCompressorT() {
  TempReadBuffer = NewArrayOrNull<unsigned char>(kTempReadBufferBytes);
  WordInfoBuffer = NewArrayOrNull<unsigned char>(kWordInfoBufferBytes);
  WordSegment = NewArrayOrNull<WeightedWordOutT>(1 + kIndexSegmentPostings);
  SkipTable = NewOrNull<WordSkipCompressionTableT>();
  ConstructedCorrectly = TempReadBuffer != nullptr &&
                         WordInfoBuffer != nullptr && WordSegment != nullptr &&
                         SkipTable != nullptr;
}

IndexCompressorT::~IndexCompressorT() {
  delete[] TempReadBuffer;
  delete[] WordInfoBuffer;
  delete[] WordSegment;
  delete SkipTable;
}

// ---- Reading the temporary index file ---------------------------------------

template <class AddT>
int IndexCompressorT::CodeTermEntries(uint32_t indexMode, AddT add) {
  const uint32_t entrySize = kRunEntrySize[indexMode];
  const uint32_t perBlock = kTempReadBufferBytes / entrySize;
  if (TempIndexFile == nullptr) return 0;
  // A posting area that does not hold whole entries is not the run merge's.
  if (static_cast<uint64_t>(CurrentWordRec.PostingCount) * entrySize !=
      CurrentWordRec.PostingBytes) {
    return 0;
  }
  BeginTermPostings(indexMode, CurrentWordRec.OccurrenceCount);
  for (uint32_t left = CurrentWordRec.PostingCount; left > 0;) {
    const uint32_t block = left < perBlock ? left : perBlock;
    if (!TempIndexFile->Read(TempReadBuffer, block * entrySize)) return 0;
    for (uint32_t i = 0; i < block; ++i) {
      if (!add(TempReadBuffer + i * entrySize)) return 0;
    }
    left -= block;
  }
  return EndTermPostings();
}

int IndexCompressorT::CompressRecordModeIndex() {
  return CodeTermEntries(RECORD_MODE, [this](const unsigned char* entry) {
    uint32_t record;
    std::memcpy(&record, entry, sizeof(record));
    return AddRecordPosting(record);
  });
}

int IndexCompressorT::CompressIdfModeIndex() {
  return CodeTermEntries(IDF_MODE, [this](const unsigned char* entry) {
    uint32_t record;
    uint16_t count;
    std::memcpy(&record, entry, sizeof(record));
    std::memcpy(&count, entry + 4, sizeof(count));
    return AddIdfPosting(record, count);
  });
}

int IndexCompressorT::CompressWordModeIndex() {
  return CodeTermEntries(WORD_MODE, [this](const unsigned char* entry) {
    uint32_t record, word;
    std::memcpy(&record, entry, sizeof(record));
    std::memcpy(&word, entry + 4, sizeof(word));
    return AddWordPosting(record, word);
  });
}

// ---- Cutting a term into segments -------------------------------------------

void IndexCompressorT::BeginTermPostings(uint32_t indexMode,
                                         uint32_t occurrenceCount) {
  TV_CHECK(indexMode >= RECORD_MODE && indexMode <= IDF_MODE);
  TermIndexMode = indexMode;
  TermPostingCount = occurrenceCount;
  TermRecordCount = 0;
  SegmentFill = 0;
  SegmentPending = 0;
  WordFill = 0;
  LastWordRecord = 0;
  LastWordPosition = 0;
  RecordSegment[0] = {0};
  IdfSegment[0] = {0, 0};
  WordSegment[0] = {0, 0, 0};
}

// A full segment is coded as soon as its 15th record arrives. Later repeats
// of that record (a record that two runs share) add nothing, so the coded
// term does not depend on where the runs were cut.
int IndexCompressorT::AddRecordPosting(uint32_t record) {
  TV_CHECK(TermIndexMode == RECORD_MODE);
  const uint32_t last = RecordSegment[SegmentFill].RecordNum;
  if (record == 0 || record < last) return 0;
  if (record == last) return 1;
  SegmentPending = 1;
  RecordSegment[++SegmentFill].RecordNum = record;
  ++TermRecordCount;
  if (SegmentFill == kRecordSegmentRecords) {
    if (!CompressRecordSegment(&PostingStream, RecordSegment, SegmentFill)) {
      return 0;
    }
    SegmentFill = 0;
    SegmentPending = 0;
  }
  return 1;
}

// A full segment waits for the next record before it is coded, so that the
// counts of a repeated 15th record still reach it.
int IndexCompressorT::AddIdfPosting(uint32_t record, uint32_t count) {
  TV_CHECK(TermIndexMode == IDF_MODE);
  if (record == 0 || count == 0) return 0;
  IdfOutTotalT& last = IdfSegment[SegmentFill];
  if (SegmentFill > 0 && record == last.RecordNum) {
    last.TermCount = count > kMaxU32 - last.TermCount ? kMaxU32
                                                      : last.TermCount + count;
    return 1;
  }
  if (record <= last.RecordNum) return 0;
  if (SegmentFill == kRecordSegmentRecords) {
    if (!CompressIdfSegment(&PostingStream, IdfSegment, SegmentFill)) return 0;
    SegmentFill = 0;
  }
  IdfSegment[++SegmentFill] = {record, count};
  ++TermRecordCount;
  return 1;
}

// An index segment of 4096 is coded when the 4097th posting arrives, so the
// term's last index segment holds 1..4096 postings.
int IndexCompressorT::AddWordPosting(uint32_t record, uint32_t word) {
  TV_CHECK(TermIndexMode == WORD_MODE);
  if (record == 0 || record == kMaxU32 || word == 0) return 0;
  if (record < LastWordRecord ||
      (record == LastWordRecord && word <= LastWordPosition)) {
    return 0;
  }
  if (record > LastWordRecord) ++TermRecordCount;
  LastWordRecord = record;
  LastWordPosition = word;
  if (WordFill == kIndexSegmentPostings) {
    if (!CompressWordIndexSegment(WordSegment, WordFill)) return 0;
    WordFill = 0;
  }
  WordSegment[++WordFill] = {record, word, 0};
  return 1;
}

int IndexCompressorT::EndTermPostings() {
  switch (TermIndexMode) {
    case RECORD_MODE:
      if (SegmentPending &&
          !CompressRecordSegment(&PostingStream, RecordSegment, SegmentFill)) {
        return 0;
      }
      break;
    case IDF_MODE:
      if (SegmentFill > 0 &&
          !CompressIdfSegment(&PostingStream, IdfSegment, SegmentFill)) {
        return 0;
      }
      break;
    default:
      if (WordFill > 0 && !CompressWordIndexSegment(WordSegment, WordFill)) {
        return 0;
      }
      break;
  }
  SegmentFill = 0;
  SegmentPending = 0;
  WordFill = 0;
  return 1;
}

// ---- Segment coders ---------------------------------------------------------

int IndexCompressorT::CompressRecordSegment(BioT* bio, RecordOutT* segment,
                                            uint32_t count) {
  return CodeRecordSegment(bio, segment, count);
}

int IndexCompressorT::CompressIdfSegment(BioT* bio, IdfOutTotalT* segment,
                                         uint32_t count) {
  return CodeRecordSegment(bio, segment, count);
}

uint32_t IndexCompressorT::MeasureWordSegment(const WeightedWordOutT* postings,
                                              uint32_t m) {
  if (m == 0) return 0;
  LengthSinkT sink;
  WalkWordSegment(postings, m, sink);
  return sink.Bits;
}

int IndexCompressorT::CompressWordSegment(const WeightedWordOutT* postings,
                                          uint32_t n) {
  if (n > 1) {
    BitSinkT sink{&PostingStream};
    WalkWordSegment(postings, n - 1, sink);
  }
  return !PostingStream.WriteFailed();
}

void IndexCompressorT::CalculateSkipInformation(
    WordSkipCompressionTableT* table, const WeightedWordOutT* buffer,
    uint32_t count) {
  const uint32_t segments = count / kWordSegmentPostings;
  std::memset(table->Row, 0, segments * sizeof(table->Row[0]));
  auto headerBits = [](const WordSkipEntryT& e) {
    return DeltaLength(e.BodyBits) + DeltaLength(e.RecordNum + 1) +
           DeltaLength(e.WordNum);
  };
  for (uint32_t g = 0; g < segments; ++g) {
    const WeightedWordOutT* first = buffer + 1 + g * kWordSegmentPostings;
    WordSkipEntryT& e = table->Row[g][0];
    e.RecordNum = first[kWordSegmentPostings - 1].RecordNum;
    e.WordNum = first[kWordSegmentPostings - 1].WordNum;
    e.BodyBits = MeasureWordSegment(first, kWordSegmentPostings - 1);
    e.HeaderBits = headerBits(e);
  }
  for (uint32_t level = 1; level < kWordSkipLevels; ++level) {
    const uint32_t stride = 1u << (2 * level);
    const uint32_t sub = stride / 4;
    for (uint32_t b = 0; b + stride <= segments; b += stride) {
      const WordSkipEntryT& last = table->Row[b + stride - 1][0];
      WordSkipEntryT& e = table->Row[b][level];
      e.RecordNum = last.RecordNum;
      e.WordNum = last.WordNum;
      e.BodyBits = 0;
      for (uint32_t j = 0; j < 4; ++j) {
        const WordSkipEntryT& part = table->Row[b + j * sub][level - 1];
        e.BodyBits += part.BodyBits + (j > 0 ? part.HeaderBits : 0);
      }
      e.HeaderBits = table->Row[b][level - 1].HeaderBits + headerBits(e);
    }
  }
}

int IndexCompressorT::CompressWordIndexSegment(const WeightedWordOutT* buffer,
                                               uint32_t count) {
  TV_CHECK(count >= 1 && count <= kIndexSegmentPostings);
  for (uint32_t i = 1; i <= count; ++i) {
    const WeightedWordOutT& p = buffer[i];
    const WeightedWordOutT& q = buffer[i - 1];
    if (p.RecordNum == 0 || p.RecordNum == kMaxU32 || p.WordNum == 0) return 0;
    if (i > 1 && (p.RecordNum < q.RecordNum ||
                  (p.RecordNum == q.RecordNum && p.WordNum <= q.WordNum))) {
      return 0;
    }
  }
  const uint32_t segments = count / kWordSegmentPostings;
  if (segments > 0) CalculateSkipInformation(SkipTable, buffer, count);
  for (uint32_t g = 0; g < segments; ++g) {
    for (uint32_t level = kWordSkipLevels; level-- > 0;) {
      if (level > 0 && g % (1u << (2 * level)) != 0) continue;
      // Record 0 in the table: no complete block of this level starts here.
      const WordSkipEntryT& e = SkipTable->Row[g][level];
      PostingStream.PutDelta(e.RecordNum + 1);
      if (e.RecordNum != 0) {
        PostingStream.PutDelta(e.WordNum);
        PostingStream.PutDelta(e.BodyBits);
      }
    }
    CompressWordSegment(buffer + 1 + g * kWordSegmentPostings,
                        kWordSegmentPostings);
  }
  const uint32_t rest = count - segments * kWordSegmentPostings;
  if (rest > 0) {
    CompressWordSegment(buffer + 1 + segments * kWordSegmentPostings, rest + 1);
  }
  return !PostingStream.WriteFailed();
}

uint32_t IndexCompressorT::CompressWordInfo() {
  return EncodeWordInformation(TermRecordCount, TermPostingCount, TermIndexMode,
                               TermLocation, TermPostingStart, WordInfoBuffer);
}
