// IndexManagerT and commits: taking the writer lock and catching up with
// the index file as other writers left it, before a change is written.
//
// A manager remembers the header, the deleted-record list and the
// partitions as they were when it read them. Another manager, in this
// process or another, may have committed since: appended partitions,
// written deletions, or put an optimised index file in place of the old
// one. Writing the remembered header or list would undo that work, so every
// commit first reads both again under the lock, and writes only this
// manager's own change on top of what it read.

#include <memory>
#include <new>

#include "manager/index_manager.h"
#include "manager/record_deleter.h"
#include "query/partition_reader.h"
#include "storage/fileclas.h"
#include "storage/writer_lock.h"

namespace {

// Loads of the partitions made while other writers' optimisations keep
// replacing the index file.
constexpr int kLoadAttempts = 8;

}  // namespace

int IndexManagerT::BeginCommit(WriterLockT* lock, StatusCodeT* status) {
  switch (lock->Acquire(IndexFile->Name(), LockTimeoutMs)) {
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

int IndexManagerT::CatchUpWithIndexFile(const FileIdentityT& onDisk,
                                        StatusCodeT* status) {
  FileIdentityT held;
  if (!IndexFile->Identity(&held)) {
    *status = StatusReadError;
    return 0;
  }
  if (held != onDisk) return AdoptReplacedIndexFile(status);

  // The same file: what the stream read ahead may predate other commits.
  if (!IndexFile->DiscardReadAhead()) {
    *status = StatusReadError;
    return 0;
  }
  const IndexHeaderInfoT before = *CurrentHeader;
  const uint32_t loadedBefore = LoadedPartitionCount;
  const int wereLoaded = PartitionsLoaded;
  StatusCodeT s = StatusNoError;
  ReadHeader(&s);
  const IndexHeaderInfoT& now = *CurrentHeader;
  // Partitions leave a file in place only when a host rewrites a distributed
  // location table: its records are renumbered as by an optimisation.
  if (s == StatusNoError && (now.PartitionCount < before.PartitionCount ||
                             now.IndexMode != before.IndexMode)) {
    return AdoptReplacedIndexFile(status);
  }
  if (s == StatusNoError) LoadAddedPartitions(&s);
  if (s == StatusNoError) ReloadDeletedRecords(&s);
  if (s < 0) {
    if (LoadedPartitionCount > loadedBefore) {
      UnloadPartitionsFrom(loadedBefore);
      PartitionsLoaded = wereLoaded;
    }
    Headers[0] = Headers[1] = before;
    CurrentHeader = &Headers[0];
    OtherHeader = &Headers[1];
    *status = s;
    return 0;
  }
  return 1;
}

int IndexManagerT::IndexFileReplaced() {
  FileIdentityT held;
  FileIdentityT named;
  return IndexFile->Identity(&held) &&
         OsNameIdentity(IndexFile->Name(), &named) && held != named;
}

int IndexManagerT::AdoptReplacedIndexFile(StatusCodeT* status) {
  const bool reload = PartitionsLoaded || RetrievalSession;
  return TakeReplacedIndexFile(status) &&
         (!reload || LoadCurrentPartitions(status));
}

int IndexManagerT::LoadCurrentPartitions(StatusCodeT* status) {
  for (int attempt = 1; CurrentHeader->PartitionCount > 0; ++attempt) {
    StatusCodeT s = StatusNoError;
    if (LoadAllPartitions(&s)) return 1;
    // Another writer's optimisation may have replaced the index file and
    // removed the partition files the old one named: the index is the new
    // file then.
    if (attempt == kLoadAttempts || !IndexFileReplaced()) {
      *status = s;
      return 0;
    }
    if (!TakeReplacedIndexFile(status)) return 0;
  }
  return 1;
}

int IndexManagerT::TakeReplacedIndexFile(StatusCodeT* status) {
  std::unique_ptr<FileClassT> file(new (std::nothrow)
                                       FileClassT(IndexFile->Name()));
  if (file == nullptr || !file->IsValid()) {
    *status = StatusNotEnoughMemory;
    return 0;
  }
  if (!file->Open(kFileReadWrite)) {
    *status = StatusCannotOpenFile;
    return 0;
  }
  file->SetBuff(nullptr, 4096);
  // The partitions loaded belong to the old numbering, and so do the own
  // changes not yet written: neither can be carried over.
  UnloadPartitions();
  delete IndexFile;
  IndexFile = file.release();
  if (!OwnDeletions.empty()) DeletionsLost = 1;
  OwnDeletions.clear();
  StatusCodeT s = StatusNoError;
  ReadHeader(&s);
  if (s == StatusNoError) ReloadDeletedRecords(&s);
  if (s < 0) {
    *status = s;
    return 0;
  }
  return 1;
}

void IndexManagerT::LoadAddedPartitions(StatusCodeT* status) {
  const uint32_t count = CurrentHeader->PartitionCount;
  const uint32_t loaded = LoadedPartitionCount;
  // A retrieval session begun on an index without partitions has none
  // loaded, and answers from those it gains.
  if (!(PartitionsLoaded || RetrievalSession) || loaded >= count) return;
  StatusCodeT s = StatusNoError;
  if (CurrentHeader->IsDistributed()) {
    for (uint32_t i = loaded; i < count && s == StatusNoError; ++i) {
      LoadDistributedPartition(i, &s);
    }
  } else {
    // Partitions are appended back to back after the last one loaded.
    uint32_t position =
        loaded == 0 ? CurrentHeader->FirstPartitionPosition
                    : PartitionPositions[loaded - 1] +
                          Readers[loaded - 1]->PartitionLength();
    for (uint32_t i = loaded; i < count && s == StatusNoError; ++i) {
      LoadPartition(position, &s);
      if (s == StatusNoError) position += Readers[i]->PartitionLength();
    }
    if (s == StatusNoError &&
        PartitionPositions[count - 1] != CurrentHeader->LastPartitionPosition) {
      s = StatusNotIndexFile;
    }
  }
  if (s < 0) {
    const int wereLoaded = PartitionsLoaded;
    UnloadPartitionsFrom(loaded);
    PartitionsLoaded = wereLoaded;
    *status = s;
    return;
  }
  CountRecsBeforePartitions();
  PartitionsLoaded = 1;
}

void IndexManagerT::ReloadDeletedRecords(StatusCodeT* status) {
  std::unique_ptr<TarvisRecordDeleterT> fresh(new (std::nothrow)
                                                  TarvisRecordDeleterT);
  if (fresh == nullptr) {
    *status = StatusNotEnoughMemory;
    return;
  }
  fresh->BringRecordsOnLine(TotalRecordCount);
  const IndexHeaderInfoT& h = *CurrentHeader;
  StatusCodeT s = StatusNoError;
  if (h.DeletedRecordCount > 0) {
    if (!IndexFile->Seek(h.DeletedListPosition)) {
      s = StatusSeekError;
    } else {
      fresh->ReadInDeletedRecordNums(IndexFile, &s);
    }
  }
  for (const auto& change : OwnDeletions) {
    if (s < 0) break;
    if (change.second) {
      fresh->DeleteRecordNum(change.first, &s);
    } else {
      fresh->UnDeleteRecordNum(change.first, &s);
    }
  }
  if (s < 0) {
    *status = s;
    return;
  }
  delete DeletedRecords;
  DeletedRecords = fresh.release();
}
