// RunBuilderT: collects the words of an indexing session in a fixed amount of
// memory and spills them, whenever that memory fills, as a sorted run into
// the run file (MFileT). Each run holds every distinct word seen since the
// previous spill with its counts and its postings in the shape of the index
// mode. The runs are merged later (MergeT) into the temporary index file.
//
// Memory is the caller's: three buffers, sorted by size. The largest holds
// the posting array (entries chained by 16-bit indices), the middle one the
// word store, the smallest the output block of a spill and, when it is large
// enough, the hash table too. Nothing is allocated while indexing.
//
// Record numbers inside the builder are 16-bit and relative to a run base;
// after 65535 records the run is spilled and the base moves on by 65535.
//
// A wide builder (the one a memory budget asks for) numbers records in 32
// bits and keeps each word's postings in blocks of consecutive entries
// linked by 32-bit indices, so that only its memory bounds a run and a spill
// reads a large posting array in order; its hash table starts at
// kDefaultTableSize slots (or fewer, when that is all it has) and doubles up
// to the size given whenever it is half full, so that a small session leaves
// most of it untouched.

#ifndef TARVIS_INDEXING_RUNBLD_H_
#define TARVIS_INDEXING_RUNBLD_H_

#include <cstdint>

#include "tarvis/tarvis.h"

class MFileT;

// Results of RunBuilderT::IndexWord.
enum : int {
  kRunBuilderNoSlot = 5,    // no free hash slot within the probe limit (or
                            // the builder is full); nothing stored: spill
                            // the run and offer the word again
  kRunBuilderStored = 6,    // stored
  kRunBuilderNotValid = 7,  // the builder could not be set up; nothing stored
  kRunBuilderFull = 8,      // stored; the run must be spilled before the
                            // next word
};

// Flags of RunBuilderT::IndexWord.
enum : uint32_t {
  // The word is stored at most once per run, as a posting of the record
  // current when the run began (word position 1 in word mode).
  kIndexOncePerRun = 1,
  // The word takes no word position of its own: it shares the position of
  // the word before it (1 when it comes first in its record).
  kIndexNoPosition = 2,
};

class RunBuilderT {
 public:
  // Slots of the hash table in the indexer's configuration.
  static constexpr uint32_t kDefaultTableSize = 16384;

  // tableSize must be a power of two. A null or empty buffer is replaced by
  // a 60000-byte one of the builder's own. The builder is not valid when an
  // allocation failed or the memory cannot hold one word of every length (a
  // wide one also needs room for a block of the largest size). wide: 1 for
  // the wide builder described above.
  RunBuilderT(uint32_t tableSize, int indexMode, void* buffer1, uint32_t size1,
              void* buffer2, uint32_t size2, void* buffer3, uint32_t size3,
              int wide = 0);
  ~RunBuilderT();

  RunBuilderT(const RunBuilderT&) = delete;
  RunBuilderT& operator=(const RunBuilderT&) = delete;

  int IsValid() const { return Valid; }

  // The run file (created and opened by the caller) that receives the runs.
  void SetOutput(MFileT* runFile) { RunFile = runFile; }

  // Stores one occurrence of the word (length bytes, 0 to 255) in the
  // current record. Returns one of the results above; *found (when not null)
  // becomes 1 when the word was already in this run, 0 when it was added.
  int IndexWord(const unsigned char* word, uint8_t length, uint32_t flags,
                int* found);

  // Moves to the next record. Record 65535 of a base ends the run (spilled
  // with word's run tags) and the numbering goes on in a new base.
  void IncrementRecord(const WordTypeT* word, StatusCodeT* status);
  // Spills the current run (with word's run tags; null gives tags of 0) and
  // starts a new one. The current record goes on in the new run.
  void EndIndexRun(const WordTypeT* word, StatusCodeT* status);
  // Spills the last run and closes the run file.
  void EndIndexing(const WordTypeT* word, StatusCodeT* status);

  // Bytes written to the run file so far.
  uint32_t GetDiskSpaceUsage();
  // Slots of the hash table now.
  uint32_t TableSlots() const { return TableSize; }

 private:
  int NewWord(uint32_t slot, const unsigned char* word, uint8_t length,
              uint32_t flags, uint32_t position);
  int NewOccurrence(uint32_t entryOffset, uint32_t flags, uint32_t position);
  // Reading a word's postings in order: the next entry, and for wide memory
  // what is left of the current block and its size.
  struct PostingCursorT {
    uint32_t Next;
    uint32_t BlockLeft;
    uint32_t Capacity;
  };
  struct BlockT {
    uint32_t Filled;
    uint32_t Capacity;
  };
  static BlockT BlockOf(uint32_t count);
  unsigned char* PostingAt(uint32_t index) const;
  // The index where the next posting of a word goes, given its last posting
  // and its posting count (0 for a new word): a new entry linked behind the
  // last one, or in wide memory the next place of the word's block or the
  // first of a new block.
  uint32_t PlacePosting(uint32_t last, uint32_t count);
  uint32_t AddPosting(uint32_t last, uint32_t count, uint32_t record,
                      uint32_t position);
  int PostingsFull() const;
  const unsigned char* NextPosting(PostingCursorT* cursor) const;
  // The slot holding the word, or the empty slot where it belongs; 0 when
  // the probe limit is reached first.
  int FindSlot(const unsigned char* word, uint8_t length, uint32_t* slot) const;
  // Doubles a wide builder's table while the words fill half of it.
  void GrowTable();
  // Places every word of the store in a table of size slots; 0 when one
  // found no slot.
  int Rehash(uint32_t size);
  // The 16- or 32-bit record of a posting entry.
  uint32_t RecordOf(const unsigned char* posting) const;
  int Spill(const WordTypeT* word, StatusCodeT* status);
  void SortIndex();
  int WriteIndex();
  uint32_t FillOutputBuffer(PostingCursorT* cursor, uint32_t* left);
  void ResetInternalIndex();

  int Valid = 0;
  int IndexMode = 0;
  int Wide = 0;
  uint32_t EntrySize = 0;  // bytes of a posting entry
  uint32_t NextField = 0;  // offset of the next index inside an entry
  uint32_t CountField = 0;  // offset of the IDF count inside an entry
  uint32_t LastRelativeRecord = 0;
  // Entries kept free in case the next posting needs a new block.
  uint32_t PostingReserve = 0;

  uint32_t TableSize = 0;
  uint32_t MaxTableSize = 0;
  uint32_t* Table = nullptr;  // word-store offsets; 0 is an empty slot
  unsigned char* WordStore = nullptr;
  uint32_t WordStoreSize = 0;
  unsigned char* Postings = nullptr;
  uint32_t PostingCapacity = 0;
  unsigned char* OutputBlock = nullptr;  // kOutputBlockSize bytes

  uint32_t DistinctWords = 0;
  uint32_t PostingsUsed = 1;
  uint32_t FreeOffset = 1;
  uint32_t CurrentRecord = 1;
  uint32_t RunFirstRecord = 1;
  uint32_t RunBase = 0;
  uint32_t WordPosition = 0;
  int Full = 0;

  MFileT* RunFile = nullptr;
  unsigned char* Owned[4] = {};  // areas the builder allocated itself
};

#endif  // TARVIS_INDEXING_RUNBLD_H_
