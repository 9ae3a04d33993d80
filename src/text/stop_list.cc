// The stop list's hash table, its growth, and the word-file reader.

#include "text/stop_list.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace {

// Slots and filter bits per word at each growth, and the number of words
// the first tables are made for.
constexpr uint64_t kSlotsPerWord = 4;
constexpr uint64_t kFilterBitsPerWord = 200;
constexpr uint64_t kFirstTableWords = 512;
// Growth beyond the load asks for stops at this many slots per word; a pair
// that still finds no slot then goes to the overflow area.
constexpr uint64_t kMaxSlotsPerWord = 16;
constexpr uint64_t kMaxSlotCount = uint64_t{1} << 31;
constexpr uint64_t kMaxFilterBits = uint64_t{1} << 31;

uint64_t PowerOfTwoAtLeast(uint64_t n) {
  uint64_t power = 1;
  while (power < n) power <<= 1;
  return power;
}

}  // namespace

StopListT::StopListT()
    : Slots(nullptr),
      SlotCount(0),
      WordsAdded(0),
      Filter(nullptr),
      FilterBits(0),
      Overflow(nullptr),
      OverflowCount(0),
      OverflowCapacity(0) {}

StopListT::~StopListT() {
  delete[] Slots;
  delete[] Filter;
  delete[] Overflow;
}

StopListT::SlotT StopListT::PairOf(WordHashT hash) {
  SlotT pair{hash.First, hash.Second};
  if (IsEmpty(pair)) pair.Second = 1;
  return pair;
}

StopListT::SlotT* StopListT::FindSlot(SlotT* slots, uint32_t slotCount,
                                      SlotT pair) {
  uint32_t mask = slotCount - 1;
  uint32_t slot = pair.First & mask;
  for (uint32_t i = 0; i < kProbeLimit; ++i) {
    SlotT& candidate = slots[slot];
    if (IsEmpty(candidate) ||
        (candidate.First == pair.First && candidate.Second == pair.Second)) {
      return &candidate;
    }
    slot = (slot + i * i) & mask;
  }
  return nullptr;
}

bool StopListT::InOverflow(SlotT pair) const {
  for (uint32_t i = 0; i < OverflowCount; ++i) {
    if (Overflow[i].First == pair.First && Overflow[i].Second == pair.Second) {
      return true;
    }
  }
  return false;
}

bool StopListT::AddOverflow(SlotT pair) {
  if (OverflowCount == OverflowCapacity) {
    uint32_t capacity = OverflowCapacity == 0 ? 16 : 2 * OverflowCapacity;
    SlotT* grown = new (std::nothrow) SlotT[capacity];
    if (grown == nullptr) return false;
    if (OverflowCount != 0) {
      std::memcpy(grown, Overflow, OverflowCount * sizeof(SlotT));
    }
    delete[] Overflow;
    Overflow = grown;
    OverflowCapacity = capacity;
  }
  Overflow[OverflowCount++] = pair;
  return true;
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
      // A repeated word is counted but needs no second slot: it could only
      // lengthen the probe sequences of the words after it.
      *slot = pair;
      break;
    }
    if (SlotCount < GrowthLimit()) {
      uint32_t before = SlotCount;
      ExpandStopList(status);
      if (SlotCount == before) return;
      continue;
    }
    if (!InOverflow(pair) && !AddOverflow(pair)) {
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
  uint64_t limit = GrowthLimit();
  if (slotCount > limit) slotCount = limit;
  uint64_t filterBits = kFilterBitsPerWord * words;
  if (filterBits > kMaxFilterBits) filterBits = kMaxFilterBits;
  uint32_t overflowBefore = OverflowCount;

  for (;;) {
    SlotT* slots = new (std::nothrow) SlotT[slotCount]();
    uint8_t* filter = new (std::nothrow) uint8_t[filterBits / 8 + 1]();
    if (slots == nullptr || filter == nullptr) {
      delete[] slots;
      delete[] filter;
      OverflowCount = overflowBefore;
      *status = StatusNotEnoughMemory;
      return;
    }
    // Re-place every stored pair. A pair that finds no slot makes the table
    // double again; at the limit it joins the overflow area instead, so no
    // pair is ever lost.
    bool replaced = true;
    for (uint32_t i = 0; i < SlotCount; ++i) {
      const SlotT& old = Slots[i];
      if (IsEmpty(old)) continue;
      SlotT* slot = FindSlot(slots, static_cast<uint32_t>(slotCount), old);
      if (slot != nullptr) {
        *slot = old;
      } else if (slotCount < limit) {
        replaced = false;
        break;
      } else if (!AddOverflow(old)) {
        delete[] slots;
        delete[] filter;
        OverflowCount = overflowBefore;
        *status = StatusNotEnoughMemory;
        return;
      }
      SetFilterBit(filter, static_cast<uint32_t>(filterBits), old.First);
    }
    if (!replaced) {
      delete[] slots;
      delete[] filter;
      OverflowCount = overflowBefore;
      slotCount *= 2;
      continue;
    }
    for (uint32_t i = 0; i < overflowBefore; ++i) {
      SetFilterBit(filter, static_cast<uint32_t>(filterBits),
                   Overflow[i].First);
    }
    delete[] Slots;
    delete[] Filter;
    Slots = slots;
    SlotCount = static_cast<uint32_t>(slotCount);
    Filter = filter;
    FilterBits = static_cast<uint32_t>(filterBits);
    return;
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
  if (slot != nullptr && !IsEmpty(*slot)) return 1;
  return InOverflow(pair) ? 1 : 0;
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
