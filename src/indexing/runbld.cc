// RunBuilderT: the in-memory hash table of a run and its spill.

#include "indexing/runbld.h"

#include <algorithm>
#include <cstring>

#include "storage/allocation.h"
#include "storage/check.h"
#include "storage/file_status.h"
#include "storage/key_order.h"
#include "storage/run_file.h"
#include "storage/word_rec.h"

namespace {

constexpr uint32_t kOwnBufferSize = 60000;
constexpr uint32_t kOutputBlockSize = 4096;
constexpr uint32_t kLastNarrowRecord = 65535;
constexpr uint32_t kLastWideRecord = UINT32_MAX - 1;
// Per-record occurrences an IDF posting counts up to.
constexpr uint16_t kMaxIdfCount = 49152;

// Word entry in the word store. Entries start at offset 1 so that a hash slot
// of 0 can mean empty. Every count and index is 32 bits wide: a frequent word
// easily occurs more than 65535 times in one run.
constexpr uint32_t kPostingCountAt = 0;
constexpr uint32_t kOccurrencesAt = 4;
constexpr uint32_t kFirstPostingAt = 8;
constexpr uint32_t kLastPostingAt = 12;
constexpr uint32_t kLengthAt = 16;  // the length-prefixed word
constexpr uint32_t kEntryHeader = 17;
// Room for one more entry of any length.
constexpr uint32_t kLargestEntry = 16 + 256;

// Posting entries by index mode, the relative record first. Narrow entries
// chain every posting of a word to the next: a 16-bit record; word mode keeps
// the position (32 bits) at 4, IDF mode the per-record count (16 bits) at 2;
// the 16-bit link follows. Wide entries have no link: a 32-bit record, then
// word mode's position or IDF mode's count at 4.
struct PostingLayoutT {
  uint32_t Size[4];
  uint32_t NextAt[4];
  uint32_t CountAt;
};
constexpr PostingLayoutT kNarrowPostings = {{0, 4, 12, 6}, {0, 2, 8, 4}, 2};
constexpr PostingLayoutT kWidePostings = {{0, 4, 8, 6}, {0, 0, 0, 0}, 4};
constexpr uint32_t kPositionAt = 4;

// Wide postings of a word lie in blocks of consecutive entries, so that a
// spill reads them in order rather than chasing one link per posting through
// a large array: blocks of 2, 4, 8 ... up to kMaxBlock entries, each behind
// one entry-sized place holding the index of the word's next block.
constexpr uint32_t kFirstBlock = 2;
constexpr uint32_t kMaxBlock = 256;

// The largest power of two not above x (x > 0).
inline uint32_t PowerOfTwoBelow(uint32_t x) {
  return uint32_t{1} << (31 - __builtin_clz(x));
}

inline uint16_t Get16(const unsigned char* p) {
  uint16_t v;
  std::memcpy(&v, p, sizeof(v));
  return v;
}
inline uint32_t Get32(const unsigned char* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof(v));
  return v;
}
inline void Put16(unsigned char* p, uint32_t v) {
  uint16_t narrow = static_cast<uint16_t>(v);
  std::memcpy(p, &narrow, sizeof(narrow));
}
inline void Put32(unsigned char* p, uint32_t v) {
  std::memcpy(p, &v, sizeof(v));
}

// The first byte takes no part, so a word of one byte hashes to 0.
inline uint32_t WordHash(const unsigned char* word, uint32_t length) {
  uint32_t h = 0;
  for (uint32_t i = 1; i < length; ++i) h = h * 4 + (word[i] - 1u);
  return h;
}

// The hash of a wide builder, whose tables are large: every byte stirs every
// bit (FNV-1a, then a final mix for the low bits the table uses). Where a
// word lands in the table never shows in a run, which is sorted.
inline uint32_t WideWordHash(const unsigned char* word, uint32_t length) {
  uint32_t h = 2166136261u;
  for (uint32_t i = 0; i < length; ++i) h = (h ^ word[i]) * 16777619u;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  return h ^ (h >> 12);
}

}  // namespace

RunBuilderT::RunBuilderT(uint32_t tableSize, int indexMode, void* buffer1,
                         uint32_t size1, void* buffer2, uint32_t size2,
                         void* buffer3, uint32_t size3, int wide)
    : Wide(wide) {
  int allocated = 1;
  int owned = 0;
  auto allocate = [&](uint32_t size) -> unsigned char* {
    unsigned char* area = NewArrayOrNull<unsigned char>(size);
    if (area == nullptr) {
      allocated = 0;
    } else {
      Owned[owned++] = area;
    }
    return area;
  };

  struct AreaT {
    unsigned char* Data;
    uint32_t Size;
  } areas[3] = {{static_cast<unsigned char*>(buffer1), size1},
                {static_cast<unsigned char*>(buffer2), size2},
                {static_cast<unsigned char*>(buffer3), size3}};
  for (AreaT& area : areas) {
    if (area.Data == nullptr || area.Size == 0) {
      area.Data = allocate(kOwnBufferSize);
      area.Size = area.Data != nullptr ? kOwnBufferSize : 0;
    }
  }
  std::stable_sort(areas, areas + 3, [](const AreaT& a, const AreaT& b) {
    return a.Size > b.Size;
  });

  IndexMode = indexMode;
  TableSize = MaxTableSize = tableSize;
  if (indexMode < RECORD_MODE || indexMode > IDF_MODE || tableSize == 0 ||
      (tableSize & (tableSize - 1)) != 0 || !allocated) {
    return;
  }
  const PostingLayoutT& layout = Wide ? kWidePostings : kNarrowPostings;
  EntrySize = layout.Size[indexMode];
  NextField = layout.NextAt[indexMode];
  CountField = layout.CountAt;
  LastRelativeRecord = Wide ? kLastWideRecord : kLastNarrowRecord;
  // A wide builder keeps room for the largest block it may need next.
  PostingReserve = Wide ? kMaxBlock : 0;
  if (Wide) TableSize = std::min(tableSize, kDefaultTableSize);

  Postings = areas[0].Data;
  uint32_t entries = areas[0].Size / EntrySize;
  PostingCapacity = entries <= 2 ? 0
                    : Wide       ? entries - 2
                                 : std::min<uint32_t>(entries - 2, 65535);
  WordStore = areas[1].Data;
  WordStoreSize = areas[1].Size;

  // The hash table goes into the smallest buffer when it fits there (and
  // that buffer is aligned for it); the output block takes what is behind
  // it, or the whole buffer when the table is elsewhere.
  unsigned char* smallest = areas[2].Data;
  uint32_t smallestSize = areas[2].Size;
  uint32_t tableBytes = MaxTableSize * uint32_t{sizeof(uint32_t)};
  bool aligned = reinterpret_cast<uintptr_t>(smallest) % alignof(uint32_t) == 0;
  unsigned char* tableArea = nullptr;
  if (aligned && smallestSize >= tableBytes + kOutputBlockSize) {
    tableArea = smallest;
    OutputBlock = smallest + tableBytes;
  } else if (aligned && smallestSize >= tableBytes) {
    tableArea = smallest;
    OutputBlock = allocate(kOutputBlockSize);
  } else {
    tableArea = allocate(tableBytes);
    OutputBlock = smallestSize >= kOutputBlockSize ? smallest
                                                   : allocate(kOutputBlockSize);
  }
  if (!allocated || PostingCapacity < PostingReserve + 2 ||
      WordStoreSize <= kLargestEntry) {
    return;
  }
  // The store and the posting array are written before they are read:
  // leaving them alone keeps the pages a session never reaches untouched.
  Table = reinterpret_cast<uint32_t*>(tableArea);
  std::memset(Table, 0, TableSize * sizeof(uint32_t));
  Valid = 1;
}

RunBuilderT::~RunBuilderT() {
  for (unsigned char* area : Owned) delete[] area;
}

int RunBuilderT::IndexWord(const unsigned char* word, uint8_t length,
                           uint32_t flags, int* found) {
  if (!Valid) return kRunBuilderNotValid;
  // A caller that did not spill after kRunBuilderFull is told to do so now.
  if (Full) return kRunBuilderNoSlot;
  // The position is taken only when the word is stored: a word refused for
  // want of a slot is offered again after the spill.
  uint32_t position = WordPosition + 1;
  if (flags & kIndexNoPosition) position = WordPosition == 0 ? 1 : WordPosition;

  uint32_t slot = 0;
  if (!FindSlot(word, length, &slot)) return kRunBuilderNoSlot;
  WordPosition = position;
  uint32_t offset = Table[slot];
  if (found != nullptr) *found = offset != 0;
  if (offset != 0) return NewOccurrence(offset, flags, position);
  int result = NewWord(slot, word, length, flags, position);
  GrowTable();
  return result;
}

int RunBuilderT::FindSlot(const unsigned char* word, uint8_t length,
                          uint32_t* slot) const {
  uint32_t mask = TableSize - 1;
  uint32_t at =
      (Wide ? WideWordHash(word, length) : WordHash(word, length)) & mask;
  uint32_t probes = (TableSize + 1) / 2;
  for (uint32_t k = 0; k < probes; ++k) {
    uint32_t offset = Table[at];
    if (offset == 0 ||
        (WordStore[offset + kLengthAt] == length &&
         std::memcmp(WordStore + offset + kEntryHeader, word, length) == 0)) {
      *slot = at;
      return 1;
    }
    at = (k * k + at) & mask;
  }
  return 0;
}

void RunBuilderT::GrowTable() {
  while (DistinctWords * 2 > TableSize && TableSize < MaxTableSize) {
    const uint32_t size = TableSize;
    if (!Rehash(size * 2)) {
      // Words that crowd one probe path in the larger table keep the
      // smaller one: placed again in their order, they take the same slots.
      TV_CHECK(Rehash(size));
      MaxTableSize = size;
    }
  }
}

int RunBuilderT::Rehash(uint32_t size) {
  TableSize = size;
  std::memset(Table, 0, TableSize * sizeof(uint32_t));
  for (uint32_t offset = 1; offset < FreeOffset;) {
    const unsigned char* entry = WordStore + offset;
    uint32_t slot = 0;
    if (!FindSlot(entry + kEntryHeader, entry[kLengthAt], &slot)) return 0;
    Table[slot] = offset;
    offset += kEntryHeader + entry[kLengthAt];
  }
  return 1;
}

uint32_t RunBuilderT::RecordOf(const unsigned char* posting) const {
  return Wide ? Get32(posting) : Get16(posting);
}

unsigned char* RunBuilderT::PostingAt(uint32_t index) const {
  return Postings + size_t{index} * EntrySize;
}

// The block holding a wide word's posting number count (from 1): how many
// postings it holds up to that one, and how many it can hold.
RunBuilderT::BlockT RunBuilderT::BlockOf(uint32_t count) {
  constexpr uint32_t kGrowing = 2 * kMaxBlock - kFirstBlock;  // 2 + 4 ... 256
  if (count <= kGrowing) {
    uint32_t capacity = PowerOfTwoBelow(count + 1);
    return {count - (capacity - kFirstBlock), capacity};
  }
  return {(count - kGrowing - 1) % kMaxBlock + 1, kMaxBlock};
}

uint32_t RunBuilderT::PlacePosting(uint32_t last, uint32_t count) {
  if (!Wide) {
    uint32_t index = PostingsUsed++;
    if (count > 0) Put16(PostingAt(last) + NextField, index);
    Put16(PostingAt(index) + NextField, 0);
    return index;
  }
  uint32_t size = kFirstBlock;
  if (count > 0) {
    BlockT block = BlockOf(count);
    if (block.Filled < block.Capacity) return last + 1;
    size = std::min(2 * block.Capacity, kMaxBlock);
    Put32(PostingAt(last - block.Filled), PostingsUsed);
  }
  uint32_t start = PostingsUsed;
  PostingsUsed += 1 + size;
  return start + 1;
}

uint32_t RunBuilderT::AddPosting(uint32_t last, uint32_t count,
                                 uint32_t record, uint32_t position) {
  uint32_t index = PlacePosting(last, count);
  unsigned char* posting = PostingAt(index);
  if (Wide) {
    Put32(posting, record);
  } else {
    Put16(posting, record);
  }
  if (IndexMode == WORD_MODE) Put32(posting + kPositionAt, position);
  if (IndexMode == IDF_MODE) Put16(posting + CountField, 1);
  return index;
}

int RunBuilderT::PostingsFull() const {
  return PostingsUsed + PostingReserve >= PostingCapacity;
}

const unsigned char* RunBuilderT::NextPosting(PostingCursorT* cursor) const {
  if (!Wide) {
    TV_CHECK(cursor->Next != 0);
    const unsigned char* posting = PostingAt(cursor->Next);
    cursor->Next = Get16(posting + NextField);
    return posting;
  }
  if (cursor->BlockLeft == 0) {
    // The block just read ends at Next; its link is in front of it.
    const uint32_t start = cursor->Next - cursor->Capacity - 1;
    cursor->Next = Get32(PostingAt(start)) + 1;
    cursor->Capacity = std::min(2 * cursor->Capacity, kMaxBlock);
    cursor->BlockLeft = cursor->Capacity;
  }
  --cursor->BlockLeft;
  return PostingAt(cursor->Next++);
}

int RunBuilderT::NewWord(uint32_t slot, const unsigned char* word,
                         uint8_t length, uint32_t flags, uint32_t position) {
  bool once = (flags & kIndexOncePerRun) != 0;
  uint32_t posting = AddPosting(0, 0, once ? RunFirstRecord : CurrentRecord,
                                once ? 1 : position);
  unsigned char* entry = WordStore + FreeOffset;
  Put32(entry + kPostingCountAt, 1);
  Put32(entry + kOccurrencesAt, 1);
  Put32(entry + kFirstPostingAt, posting);
  Put32(entry + kLastPostingAt, posting);
  entry[kLengthAt] = length;
  std::memcpy(entry + kEntryHeader, word, length);
  Table[slot] = FreeOffset;
  FreeOffset += kEntryHeader + length;
  ++DistinctWords;
  if (FreeOffset + kLargestEntry > WordStoreSize || PostingsFull()) {
    Full = 1;
    return kRunBuilderFull;
  }
  return kRunBuilderStored;
}

int RunBuilderT::NewOccurrence(uint32_t entryOffset, uint32_t flags,
                               uint32_t position) {
  if (flags & kIndexOncePerRun) return kRunBuilderStored;
  unsigned char* entry = WordStore + entryOffset;
  uint32_t occurrences = Get32(entry + kOccurrencesAt);
  const uint32_t lastIndex = Get32(entry + kLastPostingAt);
  unsigned char* last = PostingAt(lastIndex);
  // A word-mode word with a position of its own always takes a new posting:
  // its position is beyond every other of the record. Not reading the last
  // posting then spares a wide builder a cache miss on most words.
  const bool appends = IndexMode == WORD_MODE && !(flags & kIndexNoPosition);
  if (!appends && RecordOf(last) == CurrentRecord) {
    if (IndexMode == RECORD_MODE) {
      Put32(entry + kOccurrencesAt, occurrences + 1);
      return kRunBuilderStored;
    }
    if (IndexMode == IDF_MODE) {
      uint16_t count = Get16(last + CountField);
      if (count < kMaxIdfCount) Put16(last + CountField, count + 1);
      Put32(entry + kOccurrencesAt, occurrences + 1);
      return kRunBuilderStored;
    }
    // Word mode: a word without a position of its own, given twice at one
    // place, is one occurrence; positions stay strictly increasing.
    if (Get32(last + kPositionAt) == position) return kRunBuilderStored;
  }
  const uint32_t count = Get32(entry + kPostingCountAt);
  uint32_t posting = AddPosting(lastIndex, count, CurrentRecord, position);
  Put32(entry + kLastPostingAt, posting);
  Put32(entry + kPostingCountAt, count + 1);
  Put32(entry + kOccurrencesAt, occurrences + 1);
  if (PostingsFull()) {
    Full = 1;
    return kRunBuilderFull;
  }
  return kRunBuilderStored;
}

void RunBuilderT::IncrementRecord(const WordTypeT* word, StatusCodeT* status) {
  WordPosition = 0;
  if (CurrentRecord < LastRelativeRecord) {
    ++CurrentRecord;
    return;
  }
  if (!Spill(word, status)) return;
  RunBase += LastRelativeRecord;
  CurrentRecord = RunFirstRecord = 1;
  RunFile->BeginIndexRun();
}

void RunBuilderT::EndIndexRun(const WordTypeT* word, StatusCodeT* status) {
  if (!Spill(word, status)) return;
  RunFile->BeginIndexRun();
  RunFirstRecord = CurrentRecord;
}

void RunBuilderT::EndIndexing(const WordTypeT* word, StatusCodeT* status) {
  if (!Spill(word, status)) return;
  FileCall(RunFile->Close(), StatusCannotCloseFile, status);
}

uint32_t RunBuilderT::GetDiskSpaceUsage() {
  return RunFile != nullptr ? RunFile->GetDataFileLength() : 0;
}

int RunBuilderT::Spill(const WordTypeT* word, StatusCodeT* status) {
  if (!Valid || RunFile == nullptr) {
    *status = StatusGeneralError;
    return 0;
  }
  static const uint32_t kNoTags[4] = {0, 0, 0, 0};
  SortIndex();
  int written = WriteIndex() &&
                RunFile->EndIndexRun(word != nullptr ? word->RunTags : kNoTags);
  ResetInternalIndex();
  return FileCall(written, StatusWriteError, status);
}

void RunBuilderT::SortIndex() {
  uint32_t used = 0;
  for (uint32_t slot = 0; slot < TableSize; ++slot) {
    if (Table[slot] != 0) Table[used++] = Table[slot];
  }
  const unsigned char* store = WordStore;
  std::sort(Table, Table + used, [store](uint32_t a, uint32_t b) {
    return PStrCmpH(store + a + kLengthAt, store + b + kLengthAt) < 0;
  });
}

int RunBuilderT::WriteIndex() {
  for (uint32_t i = 0; i < DistinctWords; ++i) {
    const unsigned char* entry = WordStore + Table[i];
    uint32_t count = Get32(entry + kPostingCountAt);
    WordRecT record = {Get32(entry + kOccurrencesAt),
                       count * kRunEntrySize[IndexMode], count};
    if (!RunFile->WriteWord(entry + kLengthAt) ||
        !RunFile->WriteWordRec(&record)) {
      return 0;
    }
    PostingCursorT cursor = {Get32(entry + kFirstPostingAt), kFirstBlock,
                             kFirstBlock};
    uint32_t left = count;
    while (left > 0) {
      uint32_t bytes = FillOutputBuffer(&cursor, &left);
      if (!RunFile->Write(OutputBlock, bytes)) return 0;
    }
  }
  return 1;
}

uint32_t RunBuilderT::FillOutputBuffer(PostingCursorT* cursor,
                                       uint32_t* left) {
  uint32_t outSize = kRunEntrySize[IndexMode];
  uint32_t count = std::min(*left, kOutputBlockSize / outSize);
  unsigned char* out = OutputBlock;
  for (uint32_t i = 0; i < count; ++i, out += outSize) {
    const unsigned char* posting = NextPosting(cursor);
    Put32(out, RunBase + RecordOf(posting));
    if (IndexMode == WORD_MODE) {
      Put32(out + 4, Get32(posting + kPositionAt));
    } else if (IndexMode == IDF_MODE) {
      Put16(out + 4, Get16(posting + CountField));
      Put16(out + 6, 0);
    }
  }
  *left -= count;
  return count * outSize;
}

void RunBuilderT::ResetInternalIndex() {
  std::memset(Table, 0, TableSize * sizeof(uint32_t));
  FreeOffset = 1;
  DistinctWords = 0;
  PostingsUsed = 1;
  Full = 0;
}
