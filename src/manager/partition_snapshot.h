// PartitionSnapshotT: the partitions a query ran on, kept so that the query's
// hits can be produced after it answered with its records (LazyHitsVectorT).
// It holds every partition file open once more, as an open file of its own
// (FileClassT::OpenFileAlias), and reads it with readers of its own: it
// reads the files the query read whatever happens to the index afterwards (a
// reload, another writer's commit, an optimisation that replaces the file,
// the manager's deletion), it never moves a dictionary position the host may
// be browsing with, and it shares nothing with the manager, so that the
// vector holding it may be walked on any thread.
//
// Open files are limited: the snapshots of the process hold at most
// kMaximumSnapshotFiles together. A query that would need more, or whose
// files cannot be opened again, is answered with its hits at once.

#ifndef TARVIS_MANAGER_PARTITION_SNAPSHOT_H_
#define TARVIS_MANAGER_PARTITION_SNAPSHOT_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "query/lazy_hits_vector.h"

class FileClassT;
class LoadedPartitionsT;

class PartitionSnapshotT final : public HitEvaluatorT {
 public:
  static constexpr uint32_t kMaximumSnapshotFiles = 128;

  // A snapshot of the loaded partitions for query, or null when none can be
  // taken.
  static std::unique_ptr<PartitionSnapshotT> Take(
      const LoadedPartitionsT& partitions, const unsigned char* query);
  // An empty snapshot of query; Take fills it.
  explicit PartitionSnapshotT(const unsigned char* query);
  ~PartitionSnapshotT() override;
  PartitionSnapshotT(const PartitionSnapshotT&) = delete;
  PartitionSnapshotT& operator=(const PartitionSnapshotT&) = delete;

  // The query over the kept partitions in records first to last, with no
  // record left out.
  UncompressedQueryVectorT* EvaluateHits(uint32_t first, uint32_t last,
                                         StatusCodeT* status) override;

  // Files the snapshots of the process hold open now.
  static uint32_t FilesHeld();

 private:
  struct PartT {
    uint32_t File = 0;  // index into Files
    uint32_t Number = 0;
    uint32_t HeaderPosition = 0;
    uint32_t RecordsBefore = 0;
  };

  std::string Query;
  std::vector<PartT> Parts;
  std::vector<FileClassT*> Files;
  // Files counted against kMaximumSnapshotFiles.
  uint32_t Reserved = 0;
};

#endif  // TARVIS_MANAGER_PARTITION_SNAPSHOT_H_
