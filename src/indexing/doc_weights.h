// DocWeightCalculatorT: counts, while a record is being indexed, how often
// each distinct word occurs in it, and when the record ends computes its
// document weight and appends the weight (a float) and the record's word
// count (32 bits) to two temporary files, one entry per record, in record
// order. The compressor turns those files into document weight segments.
//
// Words are told apart by a 32-bit hash only (two words with one hash count
// as one), kept in a fixed table cleared slot by slot at the end of each
// record, so a record costs in proportion to its distinct words.

#ifndef TARVIS_INDEXING_DOC_WEIGHTS_H_
#define TARVIS_INDEXING_DOC_WEIGHTS_H_

#include <cstdint>

#include "tarvis/tarvis.h"

class FileClassT;

// Weight methods of an index.
enum : int {
  kWeightNone = 0,          // every weight is 0
  kWeightLogSum = 1,        // sqrt of the sum of (ln count + 1)^2
  kWeightMaxFrequency = 2,  // the count of the most frequent word
};

class DocWeightCalculatorT {
 public:
  // Slots the indexer gives the table.
  static constexpr uint32_t kDefaultCapacity = 2000;

  // A table of capacity slots. When it cannot be allocated the status is
  // StatusNotEnoughMemory and every record weighs as an empty one.
  DocWeightCalculatorT(uint32_t capacity, StatusCodeT* status);
  ~DocWeightCalculatorT();

  DocWeightCalculatorT(const DocWeightCalculatorT&) = delete;
  DocWeightCalculatorT& operator=(const DocWeightCalculatorT&) = delete;

  // Starts afresh: no words, extremes at their starting values.
  void Reset();
  // Either file may be null; the caller keeps ownership.
  void SetOutputFiles(FileClassT* weightFile, FileClassT* wordCountFile);

  // Counts one occurrence in the current record. When no slot is found
  // within the probe limit the occurrence is dropped.
  void AddWordForDocumentWeight(const unsigned char* word, uint32_t length);

  // Ends the current record: computes its weight by method, writes the
  // weight and the word count (at least 1) to the files present, and returns
  // the weight and the raw word count through the pointers that are not
  // null. A failed write gives StatusWriteError.
  void CalculateDocumentWeight(float* weight, uint32_t* wordCount, int method,
                               StatusCodeT* status);

  // The extremes of the weights computed since the last Reset: the smallest
  // normal float and the largest float while there were none.
  float LargestWeight() const { return Largest; }
  float SmallestWeight() const { return Smallest; }

 private:
  // The hash that tells words apart; never 0, which marks an empty slot.
  static uint32_t Hash(const unsigned char* word, uint32_t length);

  struct SlotT {
    uint32_t Hash;   // 0 when the slot is empty
    uint32_t Count;  // occurrences in the current record
    uint32_t Next;   // next used slot of the record, kNoSlot at the end
  };
  static constexpr uint32_t kNoSlot = 0xFFFFFFFF;

  uint32_t Words = 0;
  uint32_t Capacity = 0;
  uint32_t Head = kNoSlot;
  uint32_t ProbeLimit = 0;
  SlotT* Table = nullptr;
  float Largest = 0;
  float Smallest = 0;
  FileClassT* WeightFile = nullptr;
  FileClassT* WordCountFile = nullptr;
};

#endif  // TARVIS_INDEXING_DOC_WEIGHTS_H_
