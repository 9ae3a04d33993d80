// RankedSourceT: what ranked retrieval needs of an index, and no more: its
// loaded partitions in partition order (each reader carries its
// records-before number, which turns its record numbers into the index's),
// the records of the index and its deleted records. The index manager's
// loaded partitions provide it, so that the query layer needs nothing of the
// manager.

#ifndef TARVIS_QUERY_RANKED_SOURCE_H_
#define TARVIS_QUERY_RANKED_SOURCE_H_

#include <cstdint>

class DeletedRecordSetT;
class PartitionReaderT;

class RankedSourceT {
 public:
  virtual ~RankedSourceT() = default;
  virtual uint32_t PartitionCount() const = 0;
  // Partition i, below PartitionCount().
  virtual PartitionReaderT* Reader(uint32_t i) const = 0;
  // The records of all partitions.
  virtual uint32_t RecordCount() const = 0;
  virtual const DeletedRecordSetT* DeletedRecords() const = 0;
};

#endif  // TARVIS_QUERY_RANKED_SOURCE_H_
