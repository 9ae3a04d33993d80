// DocWeightCalculatorT: per-record document weights.

#include "indexing/doc_weights.h"

#include <cfloat>
#include <cmath>

#include "storage/allocation.h"
#include "storage/file_status.h"
#include "storage/fileclas.h"

DocWeightCalculatorT::DocWeightCalculatorT(uint32_t capacity,
                                           StatusCodeT* status) {
  if (capacity > 0) {
    Table = NewArrayOrStatus<SlotT>(capacity, status);
    if (Table != nullptr) Capacity = capacity;
  }
  ProbeLimit = (Capacity + 1) / 2;
  Reset();
}

DocWeightCalculatorT::~DocWeightCalculatorT() { delete[] Table; }

void DocWeightCalculatorT::Reset() {
  Words = 0;
  Head = kNoSlot;
  Largest = FLT_MIN;
  Smallest = FLT_MAX;
  for (uint32_t i = 0; i < Capacity; ++i) Table[i] = SlotT{0, 0, kNoSlot};
}

void DocWeightCalculatorT::SetOutputFiles(FileClassT* weightFile,
                                          FileClassT* wordCountFile) {
  WeightFile = weightFile;
  WordCountFile = wordCountFile;
}

uint32_t DocWeightCalculatorT::Hash(const unsigned char* word,
                                    uint32_t length) {
  uint32_t h = 0;
  for (uint32_t i = 0; i < length; ++i) {
    uint32_t x = (word[i] + i) ^ (h >> 24);
    h = h * 256 + x - 1;
  }
  return h == 0 ? 1 : h;
}

void DocWeightCalculatorT::AddWordForDocumentWeight(const unsigned char* word,
                                                    uint32_t length) {
  if (Capacity == 0) return;
  uint32_t h = Hash(word, length);
  uint32_t slot = h % Capacity;
  for (uint64_t k = 0; k < ProbeLimit; ++k) {
    SlotT& s = Table[slot];
    if (s.Hash == h) {
      ++s.Count;
      ++Words;
      return;
    }
    if (s.Hash == 0) {
      s = SlotT{h, 1, Head};
      Head = slot;
      ++Words;
      return;
    }
    slot = static_cast<uint32_t>((k * k + slot) % Capacity);
  }
}

void DocWeightCalculatorT::CalculateDocumentWeight(float* weight,
                                                   uint32_t* wordCount,
                                                   int method,
                                                   StatusCodeT* status) {
  double sum = 0;
  uint32_t largestCount = 0;
  for (uint32_t slot = Head; slot != kNoSlot;) {
    SlotT& s = Table[slot];
    if (method == kWeightLogSum) {
      float w = static_cast<float>(std::log(static_cast<double>(s.Count)) + 1);
      sum += static_cast<double>(w) * w;
    }
    if (s.Count > largestCount) largestCount = s.Count;
    slot = s.Next;
    s = SlotT{0, 0, kNoSlot};
  }
  // A record without words weighs as one word occurring once.
  if (Head == kNoSlot) {
    sum = 1;
    largestCount = 1;
  }

  float result = 0;
  if (method == kWeightLogSum) result = static_cast<float>(std::sqrt(sum));
  if (method == kWeightMaxFrequency) result = static_cast<float>(largestCount);
  if (result < Smallest) Smallest = result;
  if (result > Largest) Largest = result;
  if (weight != nullptr) *weight = result;
  if (wordCount != nullptr) *wordCount = Words;

  FileCall((WordCountFile == nullptr ||
            WordCountFile->WriteLong(Words > 0 ? Words : 1)) &&
               (WeightFile == nullptr || WeightFile->WriteFloat(result)),
           StatusWriteError, status);
  Words = 0;
  Head = kNoSlot;
}
