// ChooseOptomizationRange: which consecutive partitions an optimisation
// merges, chosen from nothing but the partitions' sizes and deletion counts,
// so that the rule can be reasoned about (and tested) apart from any index.
//
// Spans of at least two consecutive partitions are measured against rising
// byte thresholds; the first threshold some span fits decides, and the span
// with the most partitions under it is taken (the later one among equals).
// Little (big 0): the thresholds 128 KiB to 64 MiB; then the first partition
// with more than a tenth of its records deleted, alone; then, for big only,
// the thresholds a little above 256 MiB, 1 GiB and 2 GiB.

#ifndef TARVIS_MANAGER_OPTOMIZATION_RANGE_H_
#define TARVIS_MANAGER_OPTOMIZATION_RANGE_H_

#include <cstdint>
#include <vector>

#include "tarvis/tarvis.h"

// What the choice knows of one partition.
struct PartitionSizeT {
  uint32_t Bytes;
  uint32_t Records;
  uint32_t Deleted;  // of its records
};

// One candidate range of partitions; PartitionCount 0 when there is none.
struct OptomizationBoundsT {
  uint32_t SpanBytes = 0;
  uint32_t SpanRecords = 0;
  uint32_t FirstPartition = 0;
  uint32_t LastPartition = 0;
  uint32_t PartitionCount = 0;
  void Reset() { *this = OptomizationBoundsT(); }
};

// The range to merge among partitions, in partition order.
OptomizationBoundsT ChooseOptomizationRange(
    const std::vector<PartitionSizeT>& partitions, BooleanT big);

#endif  // TARVIS_MANAGER_OPTOMIZATION_RANGE_H_
