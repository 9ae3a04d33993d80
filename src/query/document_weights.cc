// DocumentWeightTableT: random access to a partition's plain weight table
// through a private view. Ranking asks for records in ascending order, so
// most reads are served from the view's buffer.

#include "query/document_weights.h"

#include <cmath>

#include "query/partition_reader.h"
#include "storage/allocation.h"
#include "storage/fileclas.h"

namespace {
// The weights of 16,384 consecutive records. The records a ranked query
// scores are spread over the whole partition; with a small buffer nearly
// every one of them cost a seek and a read of its own.
constexpr uint32_t kWeightViewBytes = 65536;
}  // namespace

DocumentWeightTableT::DocumentWeightTableT() = default;
DocumentWeightTableT::~DocumentWeightTableT() = default;

int DocumentWeightTableT::Open(const PartitionReaderT& reader,
                               StatusCodeT* status) {
  View.reset();
  const PartitionHeaderT& header = reader.Header();
  if (!header.DocWeightFlag || reader.File() == nullptr) return 1;
  View.reset(NewOrStatus<FileClassT>(status, reader.File(), kWeightViewBytes));
  if (View == nullptr) return 0;
  TableStart = reader.HeaderPosition() + header.WeightTableOffset;
  Records = header.RecordCount;
  return 1;
}

int DocumentWeightTableT::Weight(uint32_t record, float* weight,
                                 StatusCodeT* status) {
  float value = 0;
  if (View == nullptr || record == 0 || record > Records ||
      !View->Seek(TableStart + 4 * (record - 1)) || !View->ReadFloat(&value) ||
      !(value > 0) || !std::isfinite(value)) {
    *status = StatusReadError;
    return 0;
  }
  *weight = value;
  return 1;
}
