// PartitionSnapshotT: the partitions a query ran on, kept so that the query's
// hits can be produced after it answered with its records (LazyHitsVectorT).
// It shares the held files of the load the query ran on (held_partitions.h);
// when hits are first produced it opens them once more, as open files of its
// own, and reads them with readers of its own, kept for the later stretches
// of the result. So it reads the files the
// query read whatever happens to the index afterwards, it never moves a
// dictionary position the host may be browsing with, and it shares no open
// file with the manager or another result: the vector holding it may be
// walked on any thread.

#ifndef TARVIS_MANAGER_PARTITION_SNAPSHOT_H_
#define TARVIS_MANAGER_PARTITION_SNAPSHOT_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "manager/held_partitions.h"
#include "query/lazy_hits_vector.h"

class FileClassT;
class PartitionReaderT;

class PartitionSnapshotT final : public HitEvaluatorT {
 public:
  PartitionSnapshotT(std::shared_ptr<const HeldPartitionsT> held,
                     const unsigned char* query);
  ~PartitionSnapshotT() override;
  PartitionSnapshotT(const PartitionSnapshotT&) = delete;
  PartitionSnapshotT& operator=(const PartitionSnapshotT&) = delete;

  // The query over the kept partitions in records first to last, with no
  // record left out.
  UncompressedQueryVectorT* EvaluateHits(uint32_t first, uint32_t last,
                                         StatusCodeT* status) override;

 private:
  // Opens the held files and reads the partitions' headers, once; 0 with a
  // status when that fails (nothing is kept then).
  int OpenPartitions(StatusCodeT* status);

  std::shared_ptr<const HeldPartitionsT> Held;
  std::string Query;
  // The files opened from the held ones and a reader per partition (empty
  // until the first evaluation).
  std::vector<FileClassT*> Files;
  std::vector<std::unique_ptr<PartitionReaderT>> Readers;
};

#endif  // TARVIS_MANAGER_PARTITION_SNAPSHOT_H_
