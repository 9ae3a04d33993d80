// The working memory of an indexing session: how many bytes a host may give
// it, and how those bytes are cut into the run builder's areas. The merge
// works in the same three areas once the builder is done with them, so the
// budget covers both.
//
// Without a budget a session works exactly as it always has: three buffers
// of 65,000 bytes (posting array, word store, output block) and a separate
// word table of 16,384 slots, 260,536 bytes in all. Its postings are linked
// by 16-bit indices and carry 16-bit record numbers, so a run holds at most
// 65,535 postings and 65,535 records.
//
// A larger budget B (up to 2 GiB) switches the builder to 32-bit record
// numbers and to postings kept in per-word blocks linked by 32-bit indices,
// so that a run is bounded by memory alone, and splits B:
//   word table    B/16 rounded down to a power of two of 4-byte slots, at
//                 least 16 KiB; the table starts small and doubles as the
//                 run's words fill it, so a small session does not touch it;
//                 the 4096-byte output block of a spill sits behind it;
//   word store    a quarter of what is left: word entries of 17 bytes plus
//                 the word, about 26 bytes for a typical word;
//   posting array the other three quarters, roughly 0.7 B: 4 bytes a
//                 posting in record mode, 6 in IDF mode, 8 in word mode,
//                 plus the unused tail of each word's last block (blocks
//                 double from 2 to 256 postings) and one link a block.
// The store and the posting array are written front to back and never
// cleared, so their pages are only touched as far as the session gets.
// The merge cuts all three areas into read blocks, one per run of a group.

#ifndef TARVIS_INDEXING_WORK_MEMORY_H_
#define TARVIS_INDEXING_WORK_MEMORY_H_

#include <cstdint>

// The budget of a session that was given none, and the smallest a host may
// set: the three fixed buffers and the fixed word table.
constexpr uint64_t kDefaultIndexingMemory = 3 * 65000 + 16384 * 4;
constexpr uint64_t kMaxIndexingMemory = uint64_t{1} << 31;

struct WorkMemoryPlanT {
  // Sizes of the three buffers, largest first: posting array, word store,
  // and the area holding the word table and the output block.
  uint32_t PostingBytes;
  uint32_t WordStoreBytes;
  uint32_t TableAreaBytes;
  // Slots of the word table (at most, with wide links).
  uint32_t TableSlots;
  // 1 for blocked postings, 32-bit record numbers and a growing table.
  int WideLinks;
};

// 1 when a host may set bytes as a budget: 0 (the default again) or a size
// from kDefaultIndexingMemory to kMaxIndexingMemory.
int IndexingMemoryIsValid(uint64_t bytes);

// The plan for a valid budget; 0 and kDefaultIndexingMemory give the
// default session's.
WorkMemoryPlanT PlanWorkMemory(uint64_t bytes);

#endif  // TARVIS_INDEXING_WORK_MEMORY_H_
