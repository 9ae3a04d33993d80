// DocumentWeightTableT: random access to a partition's plain weight table
// through a small private view. Ranking asks for records in ascending order,
// so most reads are served from the view's buffer.

#include "query/document_weights.h"

#include <cmath>
#include <new>

#include "query/partition_reader.h"
#include "storage/fileclas.h"

namespace {
// Big enough to hold the weights of 256 consecutive records.
constexpr uint32_t kWeightViewBytes = 1024;
}  // namespace

DocumentWeightTableT::DocumentWeightTableT() = default;
DocumentWeightTableT::~DocumentWeightTableT() = default;

int DocumentWeightTableT::Open(const PartitionReaderT& reader,
                               StatusCodeT* status) {
  View.reset();
  const PartitionHeaderT& header = reader.Header();
  if (!header.DocWeightFlag || reader.File() == nullptr) return 1;
  auto* view = new (std::nothrow) FileClassT(reader.File(), kWeightViewBytes);
  if (view == nullptr || !view->IsValid()) {
    delete view;
    *status = StatusNotEnoughMemory;
    return 0;
  }
  View.reset(view);
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
