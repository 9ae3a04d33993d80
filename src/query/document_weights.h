// DocumentWeightTableT: the exact document weights of one partition, read
// from its plain weight table (one big-endian float per record, in record
// order). Ranking reads these rather than the 8-bit levels of the compressed
// weight area: the levels are quantised on each partition's own scale, so a
// record's score would depend on how the index happened to be cut into
// partitions, and the same record would score differently before and after
// an optimisation.

#ifndef TARVIS_QUERY_DOCUMENT_WEIGHTS_H_
#define TARVIS_QUERY_DOCUMENT_WEIGHTS_H_

#include <cstdint>
#include <memory>

#include "tarvis/tarvis.h"

class FileClassT;
class PartitionReaderT;

class DocumentWeightTableT {
 public:
  DocumentWeightTableT();
  ~DocumentWeightTableT();
  DocumentWeightTableT(const DocumentWeightTableT&) = delete;
  DocumentWeightTableT& operator=(const DocumentWeightTableT&) = delete;

  // Attaches to a partition. A partition that keeps no document weights
  // attaches without a table (HasWeights() is then false). 1, or 0 with
  // StatusNotEnoughMemory when the private view cannot be made.
  int Open(const PartitionReaderT& reader, StatusCodeT* status);
  bool HasWeights() const { return View != nullptr; }
  // The weight of record (1-based within the partition): 1, or 0 with
  // StatusReadError when the record is outside the table, the table cannot
  // be read, or the weight stored is not a positive finite number.
  int Weight(uint32_t record, float* weight, StatusCodeT* status);

 private:
  std::unique_ptr<FileClassT> View;  // a private view on the partition file
  uint32_t TableStart = 0;
  uint32_t Records = 0;
};

#endif  // TARVIS_QUERY_DOCUMENT_WEIGHTS_H_
