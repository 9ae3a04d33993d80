// Stop word lists: a set of words a host leaves out of indexing. Words are
// kept only as two 32-bit hashes each, in an open-addressing table guarded
// by a bit filter, so most lookups of ordinary words cost one hash and one
// bit test. Words are byte strings compared exactly (no case folding).

#ifndef TARVIS_TEXT_STOP_LIST_H_
#define TARVIS_TEXT_STOP_LIST_H_

#include <cstdint>

#include "tarvis/tarvis.h"

class StopListT {
 public:
  StopListT();
  ~StopListT();
  StopListT(const StopListT&) = delete;
  StopListT& operator=(const StopListT&) = delete;

  // Adds one word. An empty word is skipped (it could never be found). A word
  // already present is counted again but not stored twice. On allocation
  // failure status holds StatusNotEnoughMemory and the list is unchanged.
  void AddStopWord(const unsigned char* word, unsigned long length,
                   StatusCodeT* status);

  // Adds the words of a text file, one per line: each line is cut at its
  // first LF, CR or TAB, lines beginning with "#" are comments, and empty
  // words are skipped. Lines may be of any length and hold any bytes; the
  // last line needs no line break. StatusCannotOpenFile when the file cannot
  // be opened, StatusReadError when reading it fails; the words read before
  // a failure stay in the list.
  void AddTextStopWordList(const char* fileName, StatusCodeT* status);

  // 1 when buffer[start .. end - 1] is a stop word, else 0 (also when start
  // is not below end).
  int IsStopWord(unsigned long start, const unsigned char* buffer,
                 unsigned long end) const;

  // The number of words added, repeats included.
  uint32_t NumStopWordsInserted() const { return WordsAdded; }

 private:
  // The two hashes of a word, fed one byte at a time.
  struct WordHashT {
    uint32_t First = 0;
    uint32_t Second = 0;
    void Add(unsigned char c) {
      First = 4 * First + (static_cast<uint32_t>(c) - 1);
      Second = (Second >> 31) ^ ((Second << 5) + c);
    }
  };

  struct SlotT {
    uint32_t First;
    uint32_t Second;
  };

  // A growable array of pairs, allocated without exceptions.
  class PairArrayT {
   public:
    PairArrayT() = default;
    ~PairArrayT() { delete[] Items; }
    PairArrayT(const PairArrayT&) = delete;
    PairArrayT& operator=(const PairArrayT&) = delete;
    void Swap(PairArrayT& other);
    // false when memory runs out.
    bool Push(SlotT pair);
    bool Contains(SlotT pair) const;
    uint32_t Size() const { return Count; }
    const SlotT& operator[](uint32_t i) const { return Items[i]; }

   private:
    SlotT* Items = nullptr;
    uint32_t Count = 0;
    uint32_t Capacity = 0;
  };

  // The pair a word is stored as. Both hashes 0 marks an empty slot, so a
  // word hashing to (0, 0) is stored as (0, 1).
  static SlotT PairOf(WordHashT hash);
  static bool IsEmpty(const SlotT& slot) {
    return slot.First == 0 && slot.Second == 0;
  }
  // The slot of a table of slotCount (a power of two) slots that holds the
  // pair, or else the slot where it goes: the first empty one of its probe
  // sequences. Null when both sequences are full of other pairs.
  static SlotT* FindSlot(SlotT* slots, uint32_t slotCount, SlotT pair);
  static void SetFilterBit(uint8_t* filter, uint32_t filterBits,
                           uint32_t first) {
    uint32_t bit = first % filterBits;
    filter[bit >> 3] |= static_cast<uint8_t>(1u << (bit & 7));
  }
  // The largest slot count growth may reach for the current number of words.
  uint32_t GrowthLimit() const;

  // Adds a word given by its hashes.
  void AddHashedWord(WordHashT hash, StatusCodeT* status);
  // Replaces the tables by larger ones holding every stored pair.
  void ExpandStopList(StatusCodeT* status);

  SlotT* Slots;
  uint32_t SlotCount;
  uint32_t WordsAdded;
  uint8_t* Filter;
  uint32_t FilterBits;
  // Pairs for which neither probe sequence had room even in the largest
  // table growth allows. A pair is here or in the second sequence only while
  // its first sequence is full, so a lookup that meets an empty slot there
  // is over.
  PairArrayT Overflow;
};

#endif  // TARVIS_TEXT_STOP_LIST_H_
