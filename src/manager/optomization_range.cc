// The choice of the partitions an optimisation merges.

#include "manager/optomization_range.h"

#include <cstddef>


namespace {

// Span thresholds in bytes: 128 KiB to 64 MiB for little optimisations;
// a little above 256 MiB, 1 GiB and 2 GiB for big ones.
constexpr uint32_t kLittleThresholds[] = {
    0x20000, 0x40000, 0x80000, 0x100000, 0x400000, 0x1000000, 0x4000000};
constexpr uint32_t kBigThresholds[] = {0x10000014, 0x40000000, 0x80000000};

// The span of at least two consecutive partitions with the most partitions
// under the first threshold that any span fits; 1 when there is one.
template <std::size_t N>
int FindOptomizationSpan(const std::vector<PartitionSizeT>& partitions,
                         const uint32_t (&thresholds)[N],
                         OptomizationBoundsT* best) {
  const uint32_t n = static_cast<uint32_t>(partitions.size());
  for (uint32_t threshold : thresholds) {
    best->Reset();
    for (uint32_t start = n; start-- > 0;) {
      uint64_t bytes = partitions[start].Bytes;
      uint32_t records = partitions[start].Records;
      for (uint32_t end = start + 1; end < n; ++end) {
        bytes += partitions[end].Bytes;
        records += partitions[end].Records;
        if (bytes > threshold) break;
        if (end - start + 1 > best->PartitionCount) {
          best->SpanBytes = static_cast<uint32_t>(bytes);
          best->SpanRecords = records;
          best->FirstPartition = start;
          best->LastPartition = end;
          best->PartitionCount = end - start + 1;
        }
      }
    }
    if (best->PartitionCount > 0) return 1;
  }
  return 0;
}

}  // namespace

OptomizationBoundsT ChooseOptomizationRange(
    const std::vector<PartitionSizeT>& partitions, BooleanT big) {
  OptomizationBoundsT span;
  if (!big && FindOptomizationSpan(partitions, kLittleThresholds, &span)) {
    return span;
  }
  for (uint32_t i = 0; i < partitions.size(); ++i) {
    const PartitionSizeT& p = partitions[i];
    if (p.Deleted > p.Records / 10) {
      span.SpanBytes = p.Bytes;
      span.SpanRecords = p.Records;
      span.FirstPartition = span.LastPartition = i;
      span.PartitionCount = 1;
      return span;
    }
  }
  if (big) FindOptomizationSpan(partitions, kBigThresholds, &span);
  return span;
}
