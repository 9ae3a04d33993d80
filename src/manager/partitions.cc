// IndexManagerT and partitions: adding partition files to an index, loading
// the partitions of a distributed index, and the commits that change its
// location table (location_table.h). Loading and measuring are the loaded
// partitions' (loaded_partitions.h).

#include <memory>
#include <string>

#include "manager/index_manager.h"
#include "query/partition_reader.h"
#include "storage/allocation.h"
#include "storage/file_status.h"
#include "storage/fileclas.h"
#include "storage/writer_lock.h"

int IndexManagerT::CheckPartitionFile(FileClassT* file, StatusCodeT* status) {
  if (!FileCall(file->IsOpen() || file->Open(kFileReadOnly),
                StatusCannotOpenFile, status)) {
    return 0;
  }
  std::unique_ptr<PartitionReaderT> reader(NewReader(NumPartitions()));
  if (reader == nullptr) {
    *status = StatusNotEnoughMemory;
    return 0;
  }
  StatusCodeT s = StatusNoError;
  if (FileCall(file->Seek(0), StatusSeekError, &s)) {
    if (!reader->ReadHeader(file, &s)) {
      if (s == StatusNoError) s = StatusReadError;
    } else if (reader->IndexMode() != Index.Header().IndexMode) {
      s = StatusMalformedParameter;
    }
  }
  if (s < 0) {
    *status = s;
    return 0;
  }
  return 1;
}

// ---- Adding partitions ------------------------------------------------------

void IndexManagerT::AddPartitionToIndex(const char* fileName,
                                        StatusCodeT* status) {
  if (!RequireIndex(status)) return;
  if (Index.Header().IsDistributed()) {
    AddPartitionToDistributedIndex(nullptr, fileName, status);
    return;
  }
  if (fileName == nullptr || fileName[0] == '\0') {
    *status = StatusMalformedParameter;
    return;
  }
  if (Index.IsReadOnly()) {
    *status = StatusFileReadOnly;
    return;
  }
  FileClassT* partition = NewOrStatus<FileClassT>(status, fileName);
  if (partition == nullptr) return;
  StatusCodeT s = StatusNoError;
  if (CheckPartitionFile(partition, &s)) CopyPartitionIntoIndex(partition, &s);
  // Copied, the file has served; otherwise it stays for another try.
  if (s == StatusNoError)
    FileCall(partition->Delete(), StatusCannotDeleteFile, &s);
  partition->Close();
  delete partition;
  if (s < 0) *status = s;
}

void IndexManagerT::AddPartitionToDistributedIndex(IndexerT* indexer,
                                                   const char* fileName,
                                                   StatusCodeT* status) {
  std::string location = fileName != nullptr ? fileName : "";
  FileClassT* partition = nullptr;
  // A partition made under a temporary name is removed when it cannot be
  // registered; one the host named stays.
  int hostNamed = 1;
  if (indexer != nullptr) {
    if (!TakeSessionPartition(indexer, &partition, &hostNamed, status)) return;
    location = partition->Name();
  } else if (fileName == nullptr) {
    *status = StatusMalformedParameter;
    return;
  } else {
    partition = NewOrStatus<FileClassT>(status, fileName);
    if (partition == nullptr) return;
  }

  StatusCodeT s = StatusNoError;
  WriterLockT lock;
  if (RequireWritableDistributed(&s)) {
    if (LocationTableT::LocationLength(location.c_str()) == 0) {
      s = StatusMalformedParameter;
    } else if (CheckPartitionFile(partition, &s) && BeginCommit(&lock, &s) &&
               NumPartitions() >= kMaxPartitions) {
      s = StatusGeneralError;
    }
  }
  if (!hostNamed && s < 0) partition->Delete();
  partition->Close();
  delete partition;
  if (s < 0) {
    *status = s;
    return;
  }
  Locations.Append(location.c_str(), &s);
  if (s < 0) {
    *status = s;
    return;
  }
  if (Loaded.Retrieving()) Loaded.LoadAdded(status);
}

// ---- Loading distributed partitions -----------------------------------------

void IndexManagerT::LoadDistributedIndexForRetrieval(uint32_t first,
                                                     StatusCodeT* status) {
  if (!RequireDistributed(status)) return;
  Loaded.LoadDistributed(first, status);
}

void IndexManagerT::LoadDistributedPartition(uint32_t i, StatusCodeT* status) {
  if (!RequireDistributed(status)) return;
  Loaded.LoadDistributedPartition(i, status);
}

void IndexManagerT::ReloadDistributedPartition(uint32_t i,
                                               StatusCodeT* status) {
  if (!RequireDistributed(status)) return;
  if (i >= Loaded.PartitionCount()) {
    *status = StatusPartitionNotFound;
    return;
  }
  Loaded.LoadDistributedPartition(i, status);
}

// ---- The location table -----------------------------------------------------

void IndexManagerT::ReadPartitionLocation(uint32_t i, char* path,
                                          StatusCodeT* status) {
  path[0] = '\0';
  if (!RequireDistributed(status)) return;
  Locations.Read(i, path, status);
}

void IndexManagerT::WritePartitionLocation(uint32_t i, const char* path,
                                           StatusCodeT* status) {
  if (!RequireWritableDistributed(status)) return;
  WriterLockT lock;
  if (!BeginCommit(&lock, status)) return;
  Locations.Rewrite(i, path, status);
}

void IndexManagerT::ChangePartitionLocation(uint32_t* i, const char* newPath,
                                            const char* oldPath,
                                            StatusCodeT* status) {
  if (!RequireWritableDistributed(status)) return;
  if (LocationTableT::LocationLength(newPath) == 0 || oldPath == nullptr ||
      i == nullptr) {
    *status = StatusMalformedParameter;
    return;
  }
  WriterLockT lock;
  if (!BeginCommit(&lock, status)) return;
  Locations.Change(i, newPath, oldPath, status);
}

void IndexManagerT::ReplacePartitions(const char* path, uint32_t first,
                                      uint32_t count, BooleanT readFirst,
                                      StatusCodeT* status) {
  if (!RequireWritableDistributed(status)) return;
  WriterLockT lock;
  if (!BeginCommit(&lock, status)) return;
  Locations.Replace(path, first, count, readFirst, status);
}

// ---- Measuring --------------------------------------------------------------

void IndexManagerT::GetPartitionLength(uint32_t* bytes, uint32_t* records,
                                       uint32_t i) const {
  Loaded.GetPartitionLength(bytes, records, i);
}

void IndexManagerT::GetPartitionSpanLength(uint32_t* bytes, uint32_t* records,
                                           uint32_t first,
                                           uint32_t last) const {
  Loaded.GetPartitionSpanLength(bytes, records, first, last);
}
