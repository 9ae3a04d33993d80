// IndexManagerT and indexing sessions: starting a session on the open index
// and appending the partition it produced. Both write the index file as
// commits, under the writer lock (index_commit.h); the session itself runs
// without it.

#include "manager/index_manager.h"
#include "manager/record_deleter.h"
#include "query/partition_reader.h"
#include "storage/file_status.h"
#include "storage/fileclas.h"
#include "storage/writer_lock.h"

IndexerT* IndexManagerT::IMStartIndexingSession(StatusCodeT* status) {
  if (!RequireIndex(status)) return nullptr;
  if (Index.IsReadOnly()) {
    *status = StatusFileReadOnly;
    return nullptr;
  }
  {
    WriterLockT lock;
    if (!BeginCommit(&lock, status)) return nullptr;
    IndexHeaderInfoT& h = Index.EditHeader();
    // A full index takes no partition: refused before the host feeds a
    // session that could not be added.
    if (h.PartitionCount >= kMaxPartitions) {
      *status = StatusGeneralError;
      return nullptr;
    }
    const IndexHeaderInfoT before = h;
    if (h.HeaderState != kHeaderNew) h.HeaderState = kHeaderSessionOpen;
    h.ModificationTime = Now();
    if (!FileCall(Index.WriteFullHeader() && Index.File()->Flush(),
                  StatusWriteError, status)) {
      h = before;
      return nullptr;
    }
  }
  const IndexHeaderInfoT& h = Index.Header();
  IndexerT* indexer = CreateIndexer(status);
  if (indexer == nullptr) return nullptr;
  IndexingOptionsT options =
      MakeIndexingOptions(h.IndexMode, h.OptionBlock, h.FixedRecordDataLength,
                          h.FixedRecordIDLength);
  options.WorkMemory = SessionMemory;
  StatusCodeT s = StatusNoError;
  indexer->StartTextIndexingSession(&options, &s);
  if (s < 0) {
    delete indexer;
    *status = s;
    return nullptr;
  }
  CurrentIndexer = indexer;
  return indexer;
}

void IndexManagerT::DiscardIndexer(IndexerT* indexer) {
  if (indexer == CurrentIndexer) CurrentIndexer = nullptr;
  delete indexer;
}

void IndexManagerT::AddIndexingDataToIndex(IndexerT* indexer,
                                           StatusCodeT* status) {
  if (indexer == nullptr) return;
  // Partitions of a distributed index are registered by location, not
  // copied.
  if (Index.IsOpen() && Index.Header().IsDistributed()) {
    AddPartitionToDistributedIndex(indexer, nullptr, status);
    return;
  }
  FileClassT* partition = nullptr;
  int hostNamed = 0;
  if (!TakeSessionPartition(indexer, &partition, &hostNamed, status)) return;
  StatusCodeT s = StatusNoError;
  CopyPartitionIntoIndex(partition, &s);
  if (s == StatusNoError || !hostNamed) {
    // Once copied the partition file has served; a temporary one that could
    // not be copied is of no use either. A file the host named stays when
    // the copy failed, so that the host can add it later.
    if (!partition->Delete() && s == StatusNoError) s = StatusCannotDeleteFile;
  } else {
    partition->Close();
  }
  delete partition;
  if (s < 0) *status = s;
}

int IndexManagerT::TakeSessionPartition(IndexerT* indexer,
                                        FileClassT** partition, int* hostNamed,
                                        StatusCodeT* status) {
  if (indexer->IsEnded() && indexer->IsEmptySession()) {
    DiscardIndexer(indexer);
    return 0;
  }
  StatusCodeT s = StatusNoError;
  if (!indexer->IsEnded()) {
    s = StatusNotInitializedForIndexing;
  } else if (!Index.IsOpen()) {
    s = StatusIndexNotLoaded;
  } else if (Index.IsReadOnly()) {
    s = StatusFileReadOnly;
  } else if (indexer->IndexMode() != Index.Header().IndexMode) {
    s = StatusMalformedParameter;
  }
  if (s < 0) {
    // The indexer removes a temporary partition file with itself.
    DiscardIndexer(indexer);
    *status = s;
    return 0;
  }
  *hostNamed = indexer->HasFinalName();
  *partition = indexer->GetIndexFile();
  DiscardIndexer(indexer);
  if (*partition == nullptr) {
    *status = StatusGeneralError;
    return 0;
  }
  return 1;
}

void IndexManagerT::CopyPartitionIntoIndex(FileClassT* partition,
                                           StatusCodeT* status) {
  partition->Close();
  if (!FileCall(partition->Open(kFileReadOnly), StatusFileNotFound, status)) {
    return;
  }
  partition->SetBuff(nullptr, 8192);

  // The partition's own header gives its length; a file that is not a
  // whole partition is not copied.
  StatusCodeT s = StatusNoError;
  uint32_t length = 0;
  {
    PartitionReaderT* check = NewReader(NumPartitions());
    if (check == nullptr) {
      *status = StatusNotEnoughMemory;
      return;
    }
    if (!partition->Seek(0) || !check->ReadHeader(partition, &s) || s < 0) {
      s = s < 0 ? s : StatusReadError;
    } else {
      length = check->PartitionLength();
      if (length == 0 || length > partition->GetLength()) {
        s = StatusNotIndexFile;
      }
    }
    delete check;
  }
  if (s < 0) {
    *status = s;
    return;
  }

  // From here on the index file is written: under the lock, after whatever
  // other writers appended meanwhile.
  WriterLockT lock;
  if (!BeginCommit(&lock, status)) return;
  if (Index.AppendPartition(partition, length, status) != 0 &&
      Loaded.Retrieving()) {
    Loaded.LoadAdded(status);
  }
}
