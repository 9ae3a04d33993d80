// WordRecT: the 12 bytes behind every word of a run and of the temporary
// index file. Run files are private to one session, so the record is written
// as a raw image in the machine's byte order.

#ifndef TARVIS_STORAGE_WORD_REC_H_
#define TARVIS_STORAGE_WORD_REC_H_

#include <cstdint>

struct WordRecT {
  uint32_t OccurrenceCount;  // occurrences of the word (summed over runs)
  uint32_t PostingBytes;     // byte length of the posting area that follows
  uint32_t PostingCount;     // number of posting entries in that area
};
static_assert(sizeof(WordRecT) == 12, "WordRecT is a 12-byte raw image");

// Posting entries in run files, by index mode: mode 1 a 32-bit record number;
// mode 2 record number and 1-based word position; mode 3 record number, a
// 16-bit occurrence count and two zero bytes.
constexpr uint32_t kRunEntrySize[4] = {0, 4, 8, 8};

#endif  // TARVIS_STORAGE_WORD_REC_H_
