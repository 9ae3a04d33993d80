// IndexManagerT and optimisation: the checks an optimisation starts with,
// the range it merges (optomization_range.h, fed with the loaded partitions'
// sizes and deletions), and the hand-over to the pending optimisation
// (index_optomization.h).

#include <vector>

#include "manager/index_manager.h"
#include "manager/optomization_range.h"
#include "manager/record_deleter.h"
#include "query/partition_reader.h"

int IndexManagerT::RequireOptomizable(StatusCodeT* status) const {
  if (!RequireIndex(status)) return 0;
  if (Index.IsReadOnly()) {
    *status = StatusFileReadOnly;
    return 0;
  }
  if (Optomization.IsPending()) {
    *status = StatusIndexLocked;
    return 0;
  }
  return 1;
}

void IndexManagerT::Optomize(unsigned long partitions, StatusCodeT* status) {
  if (!RequireOptomizable(status)) return;
  const uint32_t count = NumPartitions();
  if (partitions == 0 || partitions > count) {
    *status = StatusMalformedParameter;
    return;
  }
  if (!Loaded.LoadAllUnlessLoaded(status)) return;
  Optomization.Run(count - static_cast<uint32_t>(partitions), count - 1,
                   status);
}

void IndexManagerT::PerformOptomization(BooleanT big, StatusCodeT* status) {
  if (!RequireOptomizable(status) || !Loaded.LoadAllUnlessLoaded(status)) {
    return;
  }
  int first = -1;
  int last = -1;
  GetOptomizationBounds(&first, &last, big);
  if (first < 0) return;
  Optomization.Run(static_cast<uint32_t>(first), static_cast<uint32_t>(last),
                   status);
}

void IndexManagerT::EndOptomization(const char* fileName, unsigned long flags,
                                    StatusCodeT* status) {
  if (!RequireIndex(status)) return;
  Optomization.End(fileName, flags, status);
}

void IndexManagerT::GetOptomizationBounds(int* first, int* last, BooleanT big) {
  std::vector<PartitionSizeT> sizes(Loaded.PartitionCount());
  for (uint32_t i = 0; i < Loaded.PartitionCount(); ++i) {
    const PartitionReaderT* reader = Loaded.Reader(i);
    PartitionSizeT& size = sizes[i];
    size.Bytes = reader->PartitionLength();
    size.Records = reader->RecordCount();
    size.Deleted = 0;
    Index.Deleted()->GetDeletedRecordCount(
        &size.Deleted, reader->RecordsBefore() + 1,
        reader->RecordsBefore() + size.Records + 1);
  }
  const OptomizationBoundsT range = ChooseOptomizationRange(sizes, big);
  const bool found = range.PartitionCount > 0;
  *first = found ? static_cast<int>(range.FirstPartition) : -1;
  *last = found ? static_cast<int>(range.LastPartition) : -1;
}

long IndexManagerT::IndexNeedsLittleOptomization(StatusCodeT* status) {
  return IndexNeedsOptomization(0, status);
}

long IndexManagerT::IndexNeedsBigOptomization(StatusCodeT* status) {
  return IndexNeedsOptomization(1, status);
}

long IndexManagerT::IndexNeedsOptomization(BooleanT big, StatusCodeT* status) {
  if (!RequireRetrieval(status)) return 0;
  if (Loaded.PartitionCount() == 0) {
    *status = StatusIndexEmpty;
    return 0;
  }
  // PerformOptomization would refuse to start.
  if (Index.IsReadOnly() || Optomization.IsPending()) return 0;
  int first = -1;
  int last = -1;
  GetOptomizationBounds(&first, &last, big);
  return first >= 0 ? 1 : 0;
}

uint32_t IndexManagerT::NumberOfUnoptomizedInsertions() const {
  if (!Index.IsOpen() || NumPartitions() == 0) return 0;
  return NumPartitions() - 1;
}
