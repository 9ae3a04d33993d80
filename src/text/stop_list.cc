// The stop list's hash table, its growth, and the word-file reader.

#include "text/stop_list.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

namespace {

// Slots and filter bits per word at each growth, and the number of words
// the first tables are made for.
constexpr uint64_t kSlotsPerWord = 4;
constexpr uint64_t kFilterBitsPerWord = 200;
constexpr uint64_t kFirstTableWords = 512;
// Growth beyond what the load asks for stops at this many slots per word; a
// pair that still finds no slot then goes to the overflow area.
constexpr uint64_t kMaxSlotsPerWord = 16;
constexpr uint64_t kMaxSlotCount = uint64_t{1} << 31;
constexpr uint64_t kMaxFilterBits = uint64_t{1} << 31;
// Slots tried per probe sequence.
constexpr uint32_t kProbeLimit = 10;

uint64_t PowerOfTwoAtLeast(uint64_t n) {
  uint64_t power = 1;
  while (power < n) power <<= 1;
  return power;
}

}  // namespace

StopListT::StopListT()
    : Slots(nullptr), SlotCount(0), WordsAdded(0), Filter(nullptr),
      FilterBits(0) {}

StopListT::~StopListT() {
  delete[] Slots;
  delete[] Filter;
}

void StopListT::PairArrayT::Swap(PairArrayT& other) {
  std::swap(Items, other.Items);
  std::swap(Count, other.Count);
  std::swap(Capacity, other.Capacity);
}

bool StopListT::PairArrayT::Push(SlotT pair) {
  if (Count == Capacity) {
    uint32_t capacity = Capacity == 0 ? 16 : 2 * Capacity;
    SlotT* grown = new (std::nothrow) SlotT[capacity];
    if (grown == nullptr) return false;
    if (Count != 0) std::memcpy(grown, Items, Count * sizeof(SlotT));
    delete[] Items;
    Items = grown;
    Capacity = capacity;
  }
  Items[Count++] = pair;
  return true;
}

bool StopListT::PairArrayT::Contains(SlotT pair) const {
  for (uint32_t i = 0; i < Count; ++i) {
    if (Items[i].First == pair.First && Items[i].Second == pair.Second) {
      return true;
    }
  }
  return false;
}

StopListT::SlotT StopListT::PairOf(WordHashT hash) {
  SlotT pair{hash.First, hash.Second};
  if (IsEmpty(pair)) pair.Second = 1;
  return pair;
}

StopListT::SlotT* StopListT::FindSlot(SlotT* slots, uint32_t slotCount,
                                      SlotT pair) {
  // The first sequence starts from the first hash. Words that share it
  // (the first hash depends only on a word's last 16 bytes, and often
  // repeats among words built alike) share that sequence in a table of any
  // size, so a full one is followed by a second sequence started from the
  // mixed second hash.
  uint32_t mask = slotCount - 1;
  uint32_t mixed = pair.Second * 0x9E3779B1u;
  const uint32_t starts[2] = {pair.First, mixed ^ (mixed >> 15)};
  for (uint32_t start : starts) {
    uint32_t slot = start & mask;
    for (uint32_t i = 0; i < kProbeLimit; ++i) {
      SlotT& candidate = slots[slot];
      if (IsEmpty(candidate) ||
          (candidate.First == pair.First && candidate.Second == pair.Second)) {
        return &candidate;
      }
      slot = (slot + i * i) & mask;
    }
  }
  return nullptr;
}

uint32_t StopListT::GrowthLimit() const {
  uint64_t words = WordsAdded + uint64_t{1};
  if (words < kFirstTableWords) words = kFirstTableWords;
  uint64_t limit = PowerOfTwoAtLeast(kMaxSlotsPerWord * words);
  return static_cast<uint32_t>(limit < kMaxSlotCount ? limit : kMaxSlotCount);
}

void StopListT::AddStopWord(const unsigned char* word, unsigned long length,
                            StatusCodeT* status) {
  if (length == 0) return;
  WordHashT hash;
  for (unsigned long i = 0; i < length; ++i) hash.Add(word[i]);
  AddHashedWord(hash, status);
}

void StopListT::AddHashedWord(WordHashT hash, StatusCodeT* status) {
  SlotT pair = PairOf(hash);
  if (Slots == nullptr) {
    ExpandStopList(status);
    if (Slots == nullptr) return;
  }
  for (;;) {
    SlotT* slot = FindSlot(Slots, SlotCount, pair);
    if (slot != nullptr) {
      // A repeated word is counted but needs no second slot.
      *slot = pair;
      break;
    }
    if (Overflow.Contains(pair)) break;
    if (SlotCount < GrowthLimit()) {
      uint32_t before = SlotCount;
      ExpandStopList(status);
      if (SlotCount == before) return;
      continue;
    }
    if (!Overflow.Push(pair)) {
      *status = StatusNotEnoughMemory;
      return;
    }
    break;
  }
  SetFilterBit(Filter, FilterBits, pair.First);
  ++WordsAdded;
}

void StopListT::ExpandStopList(StatusCodeT* status) {
  uint64_t words = WordsAdded;
  if (Slots == nullptr || words < kFirstTableWords) words = kFirstTableWords;
  // A power of two, so that masking with slotCount - 1 reaches every slot;
  // at least double the old table, since growth is also asked for when
  // probe sequences crowd at a low load.
  uint64_t slotCount = PowerOfTwoAtLeast(kSlotsPerWord * words);
  if (slotCount < 2 * uint64_t{SlotCount}) slotCount = 2 * uint64_t{SlotCount};
  const uint64_t limit = GrowthLimit();
  if (slotCount > limit) slotCount = limit;
  uint64_t filterBits = kFilterBitsPerWord * words;
  if (filterBits > kMaxFilterBits) filterBits = kMaxFilterBits;

  for (;;) {
    SlotT* slots = new (std::nothrow) SlotT[slotCount]();
    uint8_t* filter = new (std::nothrow) uint8_t[filterBits / 8 + 1]();
    PairArrayT overflow;
    // Re-places a stored pair: 1 when it found room, 0 when the table must
    // double first, -1 when memory ran out. Only at the limit does a pair
    // without room go to the overflow area, so no pair is ever lost.
    auto replace = [&](SlotT pair) {
      SlotT* slot = FindSlot(slots, static_cast<uint32_t>(slotCount), pair);
      if (slot != nullptr) {
        *slot = pair;
      } else if (slotCount < limit) {
        return 0;
      } else if (!overflow.Push(pair)) {
        return -1;
      }
      SetFilterBit(filter, static_cast<uint32_t>(filterBits), pair.First);
      return 1;
    };
    int result = slots != nullptr && filter != nullptr ? 1 : -1;
    for (uint32_t i = 0; i < SlotCount && result == 1; ++i) {
      if (!IsEmpty(Slots[i])) result = replace(Slots[i]);
    }
    for (uint32_t i = 0; i < Overflow.Size() && result == 1; ++i) {
      result = replace(Overflow[i]);
    }
    if (result == 1) {
      delete[] Slots;
      delete[] Filter;
      Slots = slots;
      SlotCount = static_cast<uint32_t>(slotCount);
      Filter = filter;
      FilterBits = static_cast<uint32_t>(filterBits);
      Overflow.Swap(overflow);
      return;
    }
    delete[] slots;
    delete[] filter;
    if (result < 0) {
      *status = StatusNotEnoughMemory;
      return;
    }
    slotCount *= 2;
  }
}

int StopListT::IsStopWord(unsigned long start, const unsigned char* buffer,
                          unsigned long end) const {
  if (start >= end || Slots == nullptr) return 0;
  WordHashT hash;
  for (unsigned long i = start; i < end; ++i) hash.Add(buffer[i]);
  SlotT pair = PairOf(hash);
  uint32_t bit = pair.First % FilterBits;
  if ((Filter[bit >> 3] & (1u << (bit & 7))) == 0) return 0;
  const SlotT* slot = FindSlot(Slots, SlotCount, pair);
  if (slot != nullptr) return IsEmpty(*slot) ? 0 : 1;
  return Overflow.Contains(pair) ? 1 : 0;
}

void StopListT::AddTextStopWordList(const char* fileName, StatusCodeT* status) {
  std::FILE* file = std::fopen(fileName, "rb");
  if (file == nullptr) {
    *status = StatusCannotOpenFile;
    return;
  }
  // The file is read as a stream of bytes, and each word is hashed as its
  // bytes go by: a line of any length costs no copy and no allocation.
  enum { kLineStart, kInWord, kSkipToLineEnd } state = kLineStart;
  WordHashT hash;
  unsigned long length = 0;
  auto finishWord = [&] {
    if (length != 0) AddHashedWord(hash, status);
    hash = WordHashT();
    length = 0;
  };
  unsigned char buffer[4096];
  size_t got;
  while (*status >= 0 &&
         (got = std::fread(buffer, 1, sizeof buffer, file)) != 0) {
    for (size_t i = 0; i < got && *status >= 0; ++i) {
      unsigned char c = buffer[i];
      if (c == '\n') {
        finishWord();
        state = kLineStart;
      } else if (state == kSkipToLineEnd) {
        continue;
      } else if (c == '\r' || c == '\t') {
        finishWord();
        state = kSkipToLineEnd;
      } else if (state == kLineStart && c == '#') {
        state = kSkipToLineEnd;
      } else {
        hash.Add(c);
        ++length;
        state = kInWord;
      }
    }
  }
  if (*status >= 0) {
    if (std::ferror(file)) {
      *status = StatusReadError;
    } else {
      finishWord();
    }
  }
  std::fclose(file);
}
