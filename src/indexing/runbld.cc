// RunBuilderT: the in-memory hash table of a run and its spill.

#include "indexing/runbld.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "storage/check.h"
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

// Posting entries by index mode, the relative record first and the link to
// the word's next posting after the mode's detail. Narrow entries: a 16-bit
// record; word mode keeps the position (32 bits) at 4, IDF mode the
// per-record count (16 bits) at 2; a 16-bit link. Wide entries: a 32-bit
// record and link; word mode's position at 4, IDF mode's count at 8.
struct PostingLayoutT {
  uint32_t Size[4];
  uint32_t NextAt[4];
  uint32_t CountAt;
};
constexpr PostingLayoutT kNarrowPostings = {{0, 4, 12, 6}, {0, 2, 8, 4}, 2};
constexpr PostingLayoutT kWidePostings = {{0, 8, 12, 10}, {0, 4, 8, 4}, 8};
constexpr uint32_t kPositionAt = 4;

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

}  // namespace

RunBuilderT::RunBuilderT(uint32_t tableSize, int indexMode, void* buffer1,
                         uint32_t size1, void* buffer2, uint32_t size2,
                         void* buffer3, uint32_t size3, int wide)
    : Wide(wide) {
  int allocated = 1;
  int owned = 0;
  auto allocate = [&](uint32_t size) -> unsigned char* {
    unsigned char* area = new (std::nothrow) unsigned char[size];
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
  if (!allocated || PostingCapacity < 2 || WordStoreSize <= kLargestEntry) {
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
  uint32_t at = WordHash(word, length) & mask;
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

uint32_t RunBuilderT::LinkOf(const unsigned char* posting) const {
  return Wide ? Get32(posting + NextField) : Get16(posting + NextField);
}

void RunBuilderT::SetLink(unsigned char* posting, uint32_t index) const {
  if (Wide) {
    Put32(posting + NextField, index);
  } else {
    Put16(posting + NextField, index);
  }
}

uint32_t RunBuilderT::AddPosting(uint32_t record, uint32_t position) {
  uint32_t index = PostingsUsed++;
  unsigned char* posting = Postings + size_t{index} * EntrySize;
  if (Wide) {
    Put32(posting, record);
  } else {
    Put16(posting, record);
  }
  if (IndexMode == WORD_MODE) Put32(posting + kPositionAt, position);
  if (IndexMode == IDF_MODE) Put16(posting + CountField, 1);
  SetLink(posting, 0);
  return index;
}

int RunBuilderT::NewWord(uint32_t slot, const unsigned char* word,
                         uint8_t length, uint32_t flags, uint32_t position) {
  bool once = (flags & kIndexOncePerRun) != 0;
  uint32_t posting =
      AddPosting(once ? RunFirstRecord : CurrentRecord, once ? 1 : position);
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
  if (FreeOffset + kLargestEntry > WordStoreSize ||
      PostingsUsed >= PostingCapacity) {
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
  unsigned char* last =
      Postings + size_t{Get32(entry + kLastPostingAt)} * EntrySize;
  if (RecordOf(last) == CurrentRecord) {
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
  uint32_t posting = AddPosting(CurrentRecord, position);
  SetLink(last, posting);
  Put32(entry + kLastPostingAt, posting);
  Put32(entry + kPostingCountAt, Get32(entry + kPostingCountAt) + 1);
  Put32(entry + kOccurrencesAt, occurrences + 1);
  if (PostingsUsed >= PostingCapacity) {
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
  if (!RunFile->Close()) *status = StatusCannotCloseFile;
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
  if (!written) {
    *status = StatusWriteError;
    return 0;
  }
  return 1;
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
    uint32_t next = Get32(entry + kFirstPostingAt);
    uint32_t left = count;
    while (left > 0) {
      uint32_t bytes = FillOutputBuffer(&next, &left);
      if (!RunFile->Write(OutputBlock, bytes)) return 0;
    }
  }
  return 1;
}

uint32_t RunBuilderT::FillOutputBuffer(uint32_t* next, uint32_t* left) {
  uint32_t outSize = kRunEntrySize[IndexMode];
  uint32_t count = std::min(*left, kOutputBlockSize / outSize);
  unsigned char* out = OutputBlock;
  for (uint32_t i = 0; i < count; ++i, out += outSize) {
    TV_CHECK(*next != 0);
    const unsigned char* posting = Postings + size_t{*next} * EntrySize;
    Put32(out, RunBase + RecordOf(posting));
    if (IndexMode == WORD_MODE) {
      Put32(out + 4, Get32(posting + kPositionAt));
    } else if (IndexMode == IDF_MODE) {
      Put16(out + 4, Get16(posting + CountField));
      Put16(out + 6, 0);
    }
    *next = LinkOf(posting);
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
