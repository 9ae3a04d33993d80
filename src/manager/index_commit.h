// IndexCommitT: commits. Any number of managers, in this process and
// others, may open one index and write to it. Every change to the index file
// is a commit made under the writer lock (WriterLockT): the header write at
// the start of a session, appending or registering a partition, writing back
// deletions, the end of an optimisation, changes to the location table. Only
// the commit holds the lock; building a partition or merging partitions
// happens before it, without it.
//
// A manager remembers the header, the deleted-record list and the partitions
// as they were when it read them. Another manager may have committed since:
// appended partitions, written deletions, or put an optimised index file in
// place of the old one. Writing the remembered header or list would undo that
// work, so a commit first catches up with the file as it is now: it reads the
// header and the deleted-record list again, loads the partitions other
// writers added when partitions are kept loaded, and applies this manager's
// own deletions and undeletions onto the list read, never onto a list
// remembered from before.
//
// An optimisation renumbers records and puts a new index file in place of
// the old. A manager that finds its file replaced takes the new one; its own
// deletions and undeletions not yet written, numbered as before, are dropped
// rather than applied to other records (IndexFileT::DeletionsLost).

#ifndef TARVIS_MANAGER_INDEX_COMMIT_H_
#define TARVIS_MANAGER_INDEX_COMMIT_H_

#include <cstdint>

#include "storage/file_primitives.h"
#include "tarvis/tarvis.h"

class IndexFileT;
class LoadedPartitionsT;
class WriterLockT;

class IndexCommitT {
 public:
  IndexCommitT(IndexFileT* index, LoadedPartitionsT* partitions)
      : Index(index), Partitions(partitions) {}
  IndexCommitT(const IndexCommitT&) = delete;
  IndexCommitT& operator=(const IndexCommitT&) = delete;

  // The longest a commit waits for another writer's commit to end before it
  // gives up with StatusIndexLocked, in milliseconds; 0 tries once.
  void SetLockTimeout(uint32_t milliseconds) { LockTimeoutMs = milliseconds; }
  uint32_t LockTimeout() const { return LockTimeoutMs; }
  static constexpr uint32_t kDefaultLockTimeoutMs = 5000;

  // Takes the writer lock for a commit and catches up with the index file;
  // 1, or 0 with the status and no lock held.
  int Begin(WriterLockT* lock, StatusCodeT* status);
  // Loads every partition of the index, taking the file that replaced the
  // one held when its partitions cannot be loaded any more.
  int LoadCurrentPartitions(StatusCodeT* status);

 private:
  // Reads header and deleted-record list again from the file on disk, whose
  // identity is onDisk, loads the partitions added since when partitions
  // are kept loaded, and applies the own deletion changes to the list read.
  // On failure everything is as it was, unless the file had been replaced.
  int CatchUpWithIndexFile(const FileIdentityT& onDisk, StatusCodeT* status);
  // Takes the index file that replaced the one held, and loads its
  // partitions when the old ones were kept loaded.
  int AdoptReplacedIndexFile(StatusCodeT* status);
  // The same without loading partitions.
  int TakeReplacedIndexFile(StatusCodeT* status);

  IndexFileT* Index;
  LoadedPartitionsT* Partitions;
  uint32_t LockTimeoutMs = kDefaultLockTimeoutMs;
};

#endif  // TARVIS_MANAGER_INDEX_COMMIT_H_
