// HeldPartitionsT: the partition files of one load of an index's partitions,
// held (FileClassT::HoldOpenFile), with where each partition lies in them.
// The results whose hits are produced later (partition_snapshot.h) share it:
// it is made once for a load, when the first such query runs, and released
// when the load and the last of those results are gone. Holding a file keeps
// it reachable however the index changes afterwards (a reload, another
// writer's commit, an optimisation that replaces the file).
//
// Descriptors are limited: the held sets of the process hold at most
// kMaximumHeldFiles files together; a load whose files cannot be held gets
// no set, and its queries produce their hits at once.

#ifndef TARVIS_MANAGER_HELD_PARTITIONS_H_
#define TARVIS_MANAGER_HELD_PARTITIONS_H_

#include <cstdint>
#include <memory>
#include <vector>

class LoadedPartitionsT;

class HeldPartitionsT {
 public:
  static constexpr uint32_t kMaximumHeldFiles = 128;

  // Where a partition lies: which held file, and what its reader needs.
  struct PartT {
    uint32_t File = 0;  // index into Held
    uint32_t Number = 0;
    uint32_t HeaderPosition = 0;
    uint32_t RecordsBefore = 0;
  };

  // The held set of the loaded partitions, or null when it cannot be made.
  static std::shared_ptr<HeldPartitionsT> Hold(
      const LoadedPartitionsT& partitions);
  HeldPartitionsT() = default;
  ~HeldPartitionsT();
  HeldPartitionsT(const HeldPartitionsT&) = delete;
  HeldPartitionsT& operator=(const HeldPartitionsT&) = delete;

  const std::vector<PartT>& Parts() const { return PartList; }
  // The held descriptors, by file.
  const std::vector<int>& Files() const { return Held; }

  // Files the held sets of the process hold now.
  static uint32_t FilesHeld();

 private:
  std::vector<PartT> PartList;
  std::vector<int> Held;
  // Files counted against kMaximumHeldFiles.
  uint32_t Reserved = 0;
};

#endif  // TARVIS_MANAGER_HELD_PARTITIONS_H_
