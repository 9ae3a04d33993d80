// IndexCommitT: taking the writer lock and catching up with the index file
// as other writers left it, before a change is written.

#include "manager/index_commit.h"

#include <memory>

#include "manager/index_file.h"
#include "manager/loaded_partitions.h"
#include "storage/file_status.h"
#include "storage/fileclas.h"
#include "storage/writer_lock.h"

namespace {

// Loads of the partitions made while other writers' optimisations keep
// replacing the index file.
constexpr int kLoadAttempts = 8;

}  // namespace

int IndexCommitT::Begin(WriterLockT* lock, StatusCodeT* status) {
  switch (lock->Acquire(Index->File()->Name(), LockTimeoutMs)) {
    case WriterLockT::kLocked:
      break;
    case WriterLockT::kTimedOut:
      *status = StatusIndexLocked;
      return 0;
    case WriterLockT::kFailed:
      *status = StatusCannotOpenFile;
      return 0;
  }
  if (!CatchUpWithIndexFile(lock->Identity(), status)) {
    lock->Release();
    return 0;
  }
  return 1;
}

int IndexCommitT::CatchUpWithIndexFile(const FileIdentityT& onDisk,
                                       StatusCodeT* status) {
  FileClassT* file = Index->File();
  FileIdentityT held;
  if (!FileCall(file->Identity(&held), StatusReadError, status)) return 0;
  if (held != onDisk) return AdoptReplacedIndexFile(status);

  // The same file: what the stream read ahead may predate other commits.
  if (!FileCall(file->DiscardReadAhead(), StatusReadError, status)) return 0;
  const IndexHeaderInfoT before = Index->Header();
  const uint32_t loadedBefore = Partitions->PartitionCount();
  const int wereLoaded = Partitions->AreLoaded();
  StatusCodeT s = StatusNoError;
  Index->ReadHeader(&s);
  const IndexHeaderInfoT& now = Index->Header();
  // Partitions leave a file in place only when a host rewrites a distributed
  // location table: its records are renumbered as by an optimisation.
  if (s == StatusNoError && (now.PartitionCount < before.PartitionCount ||
                             now.IndexMode != before.IndexMode)) {
    return AdoptReplacedIndexFile(status);
  }
  if (s == StatusNoError) Partitions->LoadAdded(&s);
  if (s == StatusNoError) {
    Index->ReloadDeletedRecords(Partitions->RecordCount(), &s);
  }
  if (s < 0) {
    if (Partitions->PartitionCount() > loadedBefore) {
      Partitions->RollBack(loadedBefore, wereLoaded);
    }
    Index->RestoreHeader(before);
    *status = s;
    return 0;
  }
  return 1;
}

int IndexCommitT::AdoptReplacedIndexFile(StatusCodeT* status) {
  const bool reload = Partitions->AreLoaded() || Partitions->Retrieving();
  return TakeReplacedIndexFile(status) &&
         (!reload || LoadCurrentPartitions(status));
}

int IndexCommitT::LoadCurrentPartitions(StatusCodeT* status) {
  for (int attempt = 1; Index->Header().PartitionCount > 0; ++attempt) {
    StatusCodeT s = StatusNoError;
    if (Partitions->LoadAll(&s)) return 1;
    // Another writer's optimisation may have replaced the index file and
    // removed the partition files the old one named: the index is the new
    // file then.
    if (attempt == kLoadAttempts || !Index->Replaced()) {
      *status = s;
      return 0;
    }
    if (!TakeReplacedIndexFile(status)) return 0;
  }
  return 1;
}

int IndexCommitT::TakeReplacedIndexFile(StatusCodeT* status) {
  std::unique_ptr<FileClassT> file(NewOpenFile(
      Index->File()->Name(), kFileReadWrite, StatusCannotOpenFile, status));
  if (file == nullptr) return 0;
  file->SetBuff(nullptr, 4096);
  // The partitions loaded belong to the old numbering, and so do the own
  // changes not yet written: neither can be carried over.
  Partitions->Unload();
  Index->Replace(file.release());
  StatusCodeT s = StatusNoError;
  Index->ReadHeader(&s);
  if (s == StatusNoError) {
    Index->ReloadDeletedRecords(Partitions->RecordCount(), &s);
  }
  if (s < 0) {
    *status = s;
    return 0;
  }
  return 1;
}
