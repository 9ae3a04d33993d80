// IndexDecompressorT: starting a term and decoding its postings.

#include "format/decoder.h"

#include <cstring>

#include "format/compressor.h"
#include "storage/allocation.h"
#include "storage/fileclas.h"

namespace {

constexpr uint32_t kMaxU32 = 0xFFFFFFFFu;
constexpr uint32_t kMaxCount = 0xFFFFu;

// (r1, w1) < (r2, w2) in hit order.
inline bool Before(uint32_t r1, uint32_t w1, uint32_t r2, uint32_t w2) {
  return r1 < r2 || (r1 == r2 && w1 < w2);
}

}  // namespace

IndexDecompressorT::IndexDecompressorT() = default;

IndexDecompressorT::~IndexDecompressorT() { delete PrivateFile; }

// ---- Starting a term --------------------------------------------------------

void IndexDecompressorT::ResetTermState(const WordIndexInfoT& info) {
  IndexMode = info.IndexMode;
  ItemCount = info.ItemCount;
  ItemsDelivered = 0;
  SegmentPosition = 0;
  FullSegment = 0;
  LastRecord = 0;
  CurrentRecord = 0;
  CurrentWord = 0;
  GroupRecord = 0;
  PostingsLeftInRecord = 0;
  SegmentIndex = 0;
  BodySize = 0;
  SingleRecordBody = 0;
  HeadersReadAt = kMaxU32;
  for (SkipLevelT& level : Levels) level = {kMaxU32, kMaxU32, 0, 0};
}

// Short inline postings are copied, so that the decoder does not depend on
// the dictionary reader keeping its entry.
int IndexDecompressorT::StartInline(const WordIndexInfoT& info) {
  if (info.InlineLength > kMaxCopiedInline) {
    Stream.StartReading(info.InlineData, info.InlineLength);
  } else {
    std::memcpy(ReadBuffer, info.InlineData, info.InlineLength);
    Stream.StartReading(ReadBuffer, info.InlineLength);
  }
  ResetTermState(info);
  return 1;
}

int IndexDecompressorT::StartDecompression(FileClassT* file,
                                           const WordIndexInfoT& info) {
  Started = 1;
  if (info.IndexMode < RECORD_MODE || info.IndexMode > IDF_MODE) return 0;
  if (info.InlineData != nullptr) return StartInline(info);
  delete PrivateFile;
  PrivateFile = nullptr;
  if (file == nullptr) return 0;
  FileClassT* view = NewOrNull<FileClassT>(file, kReadBufferBytes);
  if (view == nullptr) return 0;
  if (!view->Seek(info.DataOffset)) {
    delete view;
    return 0;
  }
  PrivateFile = view;
  Stream.StartReading(PrivateFile, ReadBuffer, kReadBufferBytes);
  ResetTermState(info);
  return 1;
}

int IndexDecompressorT::StartNextDiskIndex(const WordIndexInfoT& info) {
  if (info.IndexMode < RECORD_MODE || info.IndexMode > IDF_MODE) return 0;
  if (info.InlineData != nullptr) return StartInline(info);
  if (PrivateFile == nullptr) return 0;
  // After inline data the read buffer no longer holds a window of the file.
  if (Stream.AttachedFile() != PrivateFile) {
    Stream.StartReading(PrivateFile, ReadBuffer, kReadBufferBytes);
  }
  if (!BIO_SeekToByte(&Stream, info.DataOffset)) return 0;
  ResetTermState(info);
  return 1;
}

// ---- Record and IDF modes ---------------------------------------------------

int IndexDecompressorT::GetRecordRM(TermInstanceT& instance) {
  return NextRecord(instance, 0);
}

int IndexDecompressorT::GetRecordStartingAtRM(TermInstanceT& instance,
                                              uint32_t record, uint32_t) {
  int result = NextRecord(instance, record);
  while (result == kDecodeDelivered && instance.RecordNumber < record) {
    result = NextRecord(instance, record);
  }
  return result;
}

int IndexDecompressorT::NextRecord(TermInstanceT& instance, uint32_t target) {
  if (IndexMode != RECORD_MODE && IndexMode != IDF_MODE) return kDecodeFailed;
  if (ItemsDelivered >= ItemCount) return kDecodeEnd;
  const bool idf = IndexMode == IDF_MODE;
  const uint32_t fullRecords = kRecordSegmentRecords;
  uint32_t record;
  uint32_t count = 1;

  if (SegmentPosition == 0) {
    uint32_t flag;
    if (!Stream.GetBit(&flag)) return kDecodeFailed;
    FullSegment = static_cast<int>(flag);
    if (FullSegment) {
      if (!Stream.GetDelta(&SegmentBodyBits) ||
          !Stream.GetDelta(&SegmentLastRecord)) {
        return kDecodeFailed;
      }
      SegmentLastCount = 1;
      if (idf && !Stream.GetGamma(&SegmentLastCount)) return kDecodeFailed;
      // 15 records of the term, each above the one before.
      if (ItemCount - ItemsDelivered < fullRecords ||
          SegmentLastRecord <= LastRecord ||
          SegmentLastRecord - LastRecord < fullRecords) {
        return kDecodeFailed;
      }
    }
  }

  if (SegmentPosition == 0 && FullSegment && SegmentLastRecord < target) {
    // The whole segment lies below the target: pass over its 14 coded
    // records and take the 15th.
    if (!Stream.SkipBits(SegmentBodyBits)) return kDecodeFailed;
    ItemsDelivered += fullRecords - 1;
    record = SegmentLastRecord;
    count = SegmentLastCount;
  } else if (FullSegment && SegmentPosition == fullRecords - 1) {
    record = SegmentLastRecord;
    count = SegmentLastCount;
    if (record <= LastRecord) return kDecodeFailed;
    SegmentPosition = 0;
  } else {
    // A partial segment is the term's last and holds at most 14 records.
    if (SegmentPosition == fullRecords - 1) return kDecodeFailed;
    uint32_t gap;
    if (!Stream.GetDelta(&gap) || gap > kMaxU32 - LastRecord) {
      return kDecodeFailed;
    }
    record = LastRecord + gap;
    if (idf && !Stream.GetGamma(&count)) return kDecodeFailed;
    if (FullSegment && record >= SegmentLastRecord) return kDecodeFailed;
    ++SegmentPosition;
  }
  ++ItemsDelivered;
  LastRecord = record;
  instance.RecordNumber = record;
  instance.WordPosition = 1;
  instance.Weight = 1.0f;
  instance.Count = !idf ? 1 : count < kMaxCount ? static_cast<uint16_t>(count)
                                                : static_cast<uint16_t>(kMaxCount);
  return kDecodeDelivered;
}

// ---- Word mode --------------------------------------------------------------

int IndexDecompressorT::NextWordHit(TermInstanceT* instance, uint32_t record,
                                    uint32_t word) {
  if (IndexMode != WORD_MODE) return kDecodeFailed;
  const bool targeted = record != 0;
  for (;;) {
    if (targeted && !Before(CurrentRecord, CurrentWord, record, word)) {
      return kDecodeDelivered;
    }
    if (ItemsDelivered >= ItemCount) return kDecodeEnd;
    if (SegmentIndex == 0 && ItemsDelivered % kWordSegmentPostings == 0 &&
        ItemCount - ItemsDelivered >= kWordSegmentPostings &&
        HeadersReadAt != ItemsDelivered) {
      if (!ReadSegmentHeaders()) return kDecodeFailed;
      HeadersReadAt = ItemsDelivered;
    }
    if (targeted && ItemsDelivered < Levels[0].EndItem &&
        Before(Levels[0].Record, Levels[0].Word, record, word)) {
      // Blocks nest, so the highest level whose open block ends before the
      // target passes over the most.
      uint32_t level = kSkipLevels - 1;
      while (!(ItemsDelivered < Levels[level].EndItem &&
               Before(Levels[level].Record, Levels[level].Word, record, word))) {
        --level;
      }
      if (!SkipBlock(level, instance)) return kDecodeFailed;
      continue;
    }
    if (!DecodeWordPosting()) return kDecodeFailed;
    instance->RecordNumber = CurrentRecord;
    instance->WordPosition = CurrentWord;
    if (!targeted) return kDecodeDelivered;
  }
}

// Where a level-L block starts, the headers of levels L..0 stand back to back;
// each level's body length counts from the end of that chain to the end of
// the block. Levels above L keep their open blocks.
int IndexDecompressorT::ReadSegmentHeaders() {
  uint32_t bodyBits[kSkipLevels];
  bool read[kSkipLevels] = {};
  for (uint32_t level = kSkipLevels; level-- > 0;) {
    const uint32_t blockItems = kWordSegmentPostings << (2 * level);
    if (ItemsDelivered % blockItems != 0) continue;
    uint32_t x;
    if (!Stream.GetDelta(&x)) return 0;
    SkipLevelT& l = Levels[level];
    if (x == 1) {
      // No complete block of this level starts here; every full segment has
      // a level-0 block.
      if (level == 0) return 0;
      l = {kMaxU32, kMaxU32, 0, 0};
      continue;
    }
    const uint64_t end = static_cast<uint64_t>(ItemsDelivered) + blockItems;
    if (end > ItemCount) return 0;
    if (!Stream.GetDelta(&l.Word) || !Stream.GetDelta(&bodyBits[level])) {
      return 0;
    }
    l.Record = x - 1;
    l.EndItem = static_cast<uint32_t>(end);
    read[level] = true;
  }
  const uint64_t position = Stream.BitsConsumed();
  for (uint32_t level = 0; level < kSkipLevels; ++level) {
    if (read[level]) Levels[level].EndBit = position + bodyBits[level];
  }
  return 1;
}

int IndexDecompressorT::SkipBlock(uint32_t level, TermInstanceT* instance) {
  const SkipLevelT& l = Levels[level];
  const uint64_t position = Stream.BitsConsumed();
  if (l.EndBit < position ||
      !Before(CurrentRecord, CurrentWord, l.Record, l.Word)) {
    return 0;
  }
  if (!Stream.SkipBits(l.EndBit - position)) return 0;
  ItemsDelivered = l.EndItem;
  CurrentRecord = l.Record;
  CurrentWord = l.Word;
  SegmentIndex = 0;
  PostingsLeftInRecord = 0;
  instance->RecordNumber = CurrentRecord;
  instance->WordPosition = CurrentWord;
  return 1;
}

int IndexDecompressorT::DecodeWordPosting() {
  uint32_t record, word;
  if (SegmentIndex == kWordSegmentPostings - 1) {
    // The 16th posting of a full segment is the level-0 header's.
    if (Levels[0].EndItem != ItemsDelivered + 1) return 0;
    record = Levels[0].Record;
    word = Levels[0].Word;
    SegmentIndex = 0;
  } else {
    if (SegmentIndex == 0) {
      uint32_t flag;
      if (!Stream.GetBit(&flag)) return 0;
      SingleRecordBody = static_cast<int>(flag);
      GroupRecord = 0;
      PostingsLeftInRecord = 0;
      const uint32_t left = ItemCount - ItemsDelivered;
      BodySize = left < kWordSegmentPostings ? left : kWordSegmentPostings - 1;
    }
    uint32_t gap;
    if (!Stream.GetDelta(&gap)) return 0;
    if (PostingsLeftInRecord > 0) {
      if (gap > kMaxU32 - CurrentWord) return 0;
      record = CurrentRecord;
      word = CurrentWord + gap;
      --PostingsLeftInRecord;
    } else {
      if (gap > kMaxU32 - GroupRecord) return 0;
      record = GroupRecord + gap;
      GroupRecord = record;
      uint32_t postings = BodySize - SegmentIndex;  // left in the body
      if (!SingleRecordBody) {
        uint32_t coded;
        if (!Stream.GetGamma(&coded) || coded > postings) return 0;
        postings = coded;
      }
      if (!Stream.GetDelta(&word)) return 0;
      PostingsLeftInRecord = postings - 1;
    }
    ++SegmentIndex;
  }
  if (!Before(CurrentRecord, CurrentWord, record, word)) return 0;
  CurrentRecord = record;
  CurrentWord = word;
  ++ItemsDelivered;
  return 1;
}
