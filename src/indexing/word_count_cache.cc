// WordCountCacheT: a fixed table of two counts per word.

#include "indexing/word_count_cache.h"

#include "storage/allocation.h"

WordCountCacheT::~WordCountCacheT() { delete[] Table; }

void WordCountCacheT::SetCacheSize(uint32_t capacity, StatusCodeT* status) {
  EntryT* table = NewArrayOrStatus<EntryT>(capacity > 0 ? capacity : 1, status);
  if (table == nullptr) return;
  delete[] Table;
  Table = table;
  Capacity = capacity;
  Reset();
}

void WordCountCacheT::Reset() {
  ProbeLimit = Capacity / 2;
  for (uint32_t i = 0; i < Capacity; ++i) Table[i] = EntryT{0, 0, 0};
}

void WordCountCacheT::HashWord(const unsigned char* word, uint32_t length,
                               uint32_t* hash, uint32_t* second) {
  uint32_t h = 0;
  uint32_t g = 0;
  for (uint32_t i = 0; i < length; ++i) {
    h = h * 4 + word[i] - 1;
    uint32_t mixed = word[i] ^ g;
    g = (mixed ^ (mixed >> 23)) << 4;
  }
  // 0 marks an empty entry: a word hashing to 0 would look like one and be
  // overwritten by the next word probing through its place.
  *hash = h == 0 ? 1 : h;
  *second = g;
}

WordCountCacheT::EntryT* WordCountCacheT::Find(uint32_t hash) {
  if (Capacity == 0) return nullptr;
  // The home entry, then at most ProbeLimit more at squared distances.
  for (uint64_t k = 0; k <= ProbeLimit; ++k) {
    EntryT* entry = &Table[(hash + k * k) % Capacity];
    if (entry->Hash == hash || entry->Hash == 0) return entry;
  }
  return nullptr;
}

void WordCountCacheT::AddWordCount(const unsigned char* word, uint32_t length,
                                   uint32_t first, uint32_t second,
                                   StatusCodeT* status) {
  uint32_t hash, unused;
  HashWord(word, length, &hash, &unused);
  EntryT* entry = Find(hash);
  if (entry == nullptr) {
    *status = StatusFull;
    return;
  }
  entry->Hash = hash;
  entry->First += first;
  entry->Second += second;
}

void WordCountCacheT::GetWordCount(const unsigned char* word, uint32_t length,
                                   uint32_t* first, uint32_t* second,
                                   StatusCodeT* status) {
  uint32_t hash, unused;
  HashWord(word, length, &hash, &unused);
  EntryT* entry = Find(hash);
  // Without a table nothing is held; no search went past its limit.
  if (entry == nullptr && Capacity != 0) *status = StatusFull;
  *first = entry != nullptr ? entry->First : 0;
  *second = entry != nullptr ? entry->Second : 0;
}
