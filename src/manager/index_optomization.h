// IndexOptomizationT: the optimisation of an index, from the merge of a
// range of loaded partitions to the index file that holds the result.
//
// An optimisation merges a range of consecutive partitions into one new
// partition, leaving out the deleted records and numbering the rest densely;
// the partitions after the range keep their records, which move down. It is
// pending from Run (status 0, or StatusNoDataAfterOptomization when no record
// of the range survives) until End puts the merged partition in place of the
// range; meanwhile the index and its loaded partitions stay as they were and
// answer queries. Ranges of more than kMaxMergeInputs partitions are merged
// in several passes. The deleted records dropped are those deleted when the
// optimisation started; deletions made while it is pending follow their
// records to their new numbers.
//
// End replaces the index file as a whole: the new file is written beside the
// old one (its name with kOptomizedSuffix), flushed and renamed over it, so
// that either the old or the new file is complete at every moment; a failure
// before the rename removes the new file and leaves the index as it was. A
// distributed index gets the merged partition in a file of the host's
// naming, which must not be the index file or one of its partitions
// (StatusFileExists), and its location in place of the range's; with bit 0
// of the flags the range's old partition files are deleted. During a
// retrieval session the partitions are loaded again at once.
//
// The end is a commit (index_commit.h) against the index as it is then,
// with the partitions other writers added since the start kept after the
// merged one. When another writer changed the range meanwhile the end fails
// with StatusIndexChanged; when the lock's timeout passes while another
// writer commits it fails with StatusIndexLocked and stays pending for
// another try. Any other end drops the pending optimisation.

#ifndef TARVIS_MANAGER_INDEX_OPTOMIZATION_H_
#define TARVIS_MANAGER_INDEX_OPTOMIZATION_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "manager/index_header.h"
#include "storage/file_primitives.h"
#include "tarvis/tarvis.h"

class DeletedRecordSetT;
class FileClassT;
class IndexCommitT;
class IndexFileT;
class IndexOptomizerT;
class LoadedPartitionsT;
class LocationTableT;
class RecordRangeSnapshotT;
class TarvisRecordDeleterT;

class IndexOptomizationT {
 public:
  IndexOptomizationT(IndexFileT* index, LoadedPartitionsT* partitions,
                     LocationTableT* locations, IndexCommitT* commit)
      : Index(index),
        Partitions(partitions),
        Locations(locations),
        Commit(commit) {}
  ~IndexOptomizationT() { Discard(); }
  IndexOptomizationT(const IndexOptomizationT&) = delete;
  IndexOptomizationT& operator=(const IndexOptomizationT&) = delete;

  static constexpr uint32_t kMaxMergeInputs = 128;
  static constexpr const char* kOptomizedSuffix = ".optimised";

  int IsPending() const { return Optomizer != nullptr; }
  // Merges loaded partitions first to last into a pending optimisation.
  void Run(uint32_t first, uint32_t last, StatusCodeT* status);
  // Puts the pending optimisation's partition in place of its range, in
  // the file fileName for a distributed index (see above).
  void End(const char* fileName, unsigned long flags, StatusCodeT* status);
  // Forgets the pending optimisation and removes its files.
  void Discard();

 private:
  static constexpr uint32_t kNoOptomization = 0xFFFFFFFFu;

  // One merge of loaded partitions first to last (at most kMaxMergeInputs).
  IndexOptomizerT* MergePartitions(uint32_t first, uint32_t last,
                                   const DeletedRecordSetT* deleted,
                                   StatusCodeT* status);
  // 1 when the pending optimisation's range is as it was when it started.
  int RangeIntact(StatusCodeT* status);
  // The deleted-record set as it is once the range has been replaced.
  TarvisRecordDeleterT* RenumberedDeletedRecords(StatusCodeT* status);
  void EndSingleFile(FileClassT* merged, TarvisRecordDeleterT* renumbered,
                     StatusCodeT* status);
  void EndDistributed(FileClassT* merged, const char* fileName,
                      unsigned long flags, TarvisRecordDeleterT* renumbered,
                      StatusCodeT* status);
  // Writes a new index file beside the old one: the reserved area, the
  // header, what body writes (the partitions or their locations; it sets the
  // header's partition fields), the deleted-record list renumbered (owned
  // from here); makes it durable and renames it over the old file, which
  // is then let go, the partitions unloaded. 1 on success; on failure the
  // new file is removed and the index is as it was.
  int RewriteIndexFile(
      TarvisRecordDeleterT* renumbered,
      const std::function<int(FileClassT*, IndexHeaderInfoT*)>& body,
      StatusCodeT* status);
  // 1 when path names the index file or one of its partition files.
  int IsIndexFile(const char* path);

  IndexFileT* Index;
  LoadedPartitionsT* Partitions;
  LocationTableT* Locations;
  IndexCommitT* Commit;
  // The last merge of the pending optimisation, holding its output.
  IndexOptomizerT* Optomizer = nullptr;
  // The records the pending optimisation drops.
  RecordRangeSnapshotT* Dropped = nullptr;
  uint32_t First = kNoOptomization;
  uint32_t Last = kNoOptomization;
  // The index file and, for a distributed index, the locations of the
  // range, as they were when the pending optimisation started.
  FileIdentityT Base;
  std::vector<std::string> RangeLocations;
};

#endif  // TARVIS_MANAGER_INDEX_OPTOMIZATION_H_
