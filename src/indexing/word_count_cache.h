// WordCountCacheT: two counts per word in a fixed-size table, for ranked
// retrieval (a term's record count and hit count over all partitions). Words
// are told apart by a 32-bit hash only; the table is open-addressed with
// quadratic probing and answers StatusFull beyond its probe limit.

#ifndef TARVIS_INDEXING_WORD_COUNT_CACHE_H_
#define TARVIS_INDEXING_WORD_COUNT_CACHE_H_

#include <cstdint>

#include "tarvis/tarvis.h"

class WordCountCacheT {
 public:
  WordCountCacheT() = default;
  ~WordCountCacheT();

  WordCountCacheT(const WordCountCacheT&) = delete;
  WordCountCacheT& operator=(const WordCountCacheT&) = delete;

  // Replaces the table by an empty one of capacity entries. When it cannot
  // be allocated the status is StatusNotEnoughMemory and the old table stays.
  void SetCacheSize(uint32_t capacity, StatusCodeT* status);
  // Empties the table.
  void Reset();

  // Adds the two values to the word's entry, creating it when needed.
  // StatusFull, and nothing stored, when no place is found.
  void AddWordCount(const unsigned char* word, uint32_t length, uint32_t first,
                    uint32_t second, StatusCodeT* status);
  // The word's two counts; 0 and 0 when it has none (with StatusFull when
  // the search went past the probe limit).
  void GetWordCount(const unsigned char* word, uint32_t length, uint32_t* first,
                    uint32_t* second, StatusCodeT* status);

  // The table's hash of a word (never 0, which marks an empty entry) and a
  // second, independent hash of it.
  static void HashWord(const unsigned char* word, uint32_t length,
                       uint32_t* hash, uint32_t* second);

 private:
  struct EntryT {
    uint32_t Hash;  // 0 when the entry is empty
    uint32_t First;
    uint32_t Second;
  };
  // The entry holding hash, or the empty entry where it belongs; null past
  // the probe limit.
  EntryT* Find(uint32_t hash);

  EntryT* Table = nullptr;
  uint32_t Capacity = 0;
  uint32_t ProbeLimit = 0;
};

#endif  // TARVIS_INDEXING_WORD_COUNT_CACHE_H_
