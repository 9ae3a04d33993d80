// IndexManagerT and partitions: adding partition files to an index, the
// location table of a distributed index (writing, changing and replacing
// its entries), loading distributed partitions for retrieval, and measuring
// loaded partitions.

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "manager/index_manager.h"
#include "manager/record_deleter.h"
#include "query/partition_reader.h"
#include "storage/fileclas.h"
#include "storage/writer_lock.h"

namespace {

// The length of a location that fits an entry (1 to 255 bytes), else 0.
size_t LocationLength(const char* path) {
  if (path == nullptr) return 0;
  const size_t length = strnlen(path, 256);
  return length < 256 ? length : 0;
}

// Closes and destroys a file object, leaving the file on disk.
void ReleaseFile(FileClassT*& file) {
  if (file == nullptr) return;
  file->Close();
  delete file;
  file = nullptr;
}

// A file object for a name, not yet open; null with the status set.
FileClassT* NewNamedFile(const char* name, StatusCodeT* status) {
  FileClassT* file = new (std::nothrow) FileClassT(name);
  if (file == nullptr || !file->IsValid()) {
    delete file;
    *status = StatusNotEnoughMemory;
    return nullptr;
  }
  return file;
}

}  // namespace

// ---- Checks -----------------------------------------------------------------

int IndexManagerT::RequireDistributed(StatusCodeT* status) const {
  if (!RequireIndex(status)) return 0;
  if (CurrentHeader->IsDistributed()) return 1;
  *status = StatusMalformedParameter;
  return 0;
}

int IndexManagerT::RequireWritableDistributed(StatusCodeT* status) const {
  if (!RequireDistributed(status)) return 0;
  if (!ReadOnly) return 1;
  *status = StatusFileReadOnly;
  return 0;
}

int IndexManagerT::CheckPartitionFile(FileClassT* file, StatusCodeT* status) {
  if (!file->IsOpen() && !file->Open(kFileReadOnly)) {
    *status = StatusCannotOpenFile;
    return 0;
  }
  std::unique_ptr<PartitionReaderT> reader(NewReader(NumPartitions()));
  if (reader == nullptr) {
    *status = StatusNotEnoughMemory;
    return 0;
  }
  StatusCodeT s = StatusNoError;
  if (!file->Seek(0)) {
    s = StatusSeekError;
  } else if (!reader->ReadHeader(file, &s)) {
    if (s == StatusNoError) s = StatusReadError;
  } else if (reader->IndexMode() != CurrentHeader->IndexMode) {
    s = StatusMalformedParameter;
  }
  if (s < 0) {
    *status = s;
    return 0;
  }
  return 1;
}

// ---- Adding partitions --------------------------------------------------------

void IndexManagerT::AddPartitionToIndex(const char* fileName,
                                        StatusCodeT* status) {
  if (!RequireIndex(status)) return;
  if (CurrentHeader->IsDistributed()) {
    AddPartitionToDistributedIndex(nullptr, fileName, status);
    return;
  }
  if (fileName == nullptr || fileName[0] == '\0') {
    *status = StatusMalformedParameter;
    return;
  }
  if (ReadOnly) {
    *status = StatusFileReadOnly;
    return;
  }
  FileClassT* partition = NewNamedFile(fileName, status);
  if (partition == nullptr) return;
  StatusCodeT s = StatusNoError;
  if (CheckPartitionFile(partition, &s)) CopyPartitionIntoIndex(partition, &s);
  // Copied, the file has served; otherwise it stays for another try.
  if (s == StatusNoError && !partition->Delete()) s = StatusCannotDeleteFile;
  ReleaseFile(partition);
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
    partition = NewNamedFile(fileName, status);
    if (partition == nullptr) return;
  }

  StatusCodeT s = StatusNoError;
  WriterLockT lock;
  if (RequireWritableDistributed(&s)) {
    if (LocationLength(location.c_str()) == 0) {
      s = StatusMalformedParameter;
    } else if (CheckPartitionFile(partition, &s) && BeginCommit(&lock, &s) &&
               NumPartitions() >= kMaxPartitions) {
      s = StatusGeneralError;
    }
  }
  if (!hostNamed && s < 0) partition->Delete();
  ReleaseFile(partition);
  if (s < 0) {
    *status = s;
    return;
  }

  // Under the lock, the entry goes after those other writers added.
  const uint32_t n = NumPartitions();
  IndexHeaderInfoT& h = *CurrentHeader;
  // What the header on disk says; the one in memory goes back to it when
  // a step fails.
  IndexHeaderInfoT onDisk = h;
  const uint32_t tableEnd = LocationPosition(n) + kLocationBytes;
  // The new entry may take the place of the list the header points to.
  const bool listFirst = MoveDeletedListBeyond(tableEnd, &onDisk, &s);
  if (s == StatusNoError) WriteLocationEntry(n, location.c_str(), &s);
  if (s == StatusNoError && !listFirst) PlaceDeletedList(tableEnd, &s);
  if (s == StatusNoError && !IndexFile->Sync()) s = StatusWriteError;

  // Only now, with the entry on disk, does the header count it.
  if (s == StatusNoError) {
    h.FirstPartitionPosition = h.LastPartitionPosition = 0;
    h.AppendPosition = tableEnd;
    ++h.PartitionCount;
    h.HeaderState = kHeaderSettled;
    h.ModificationTime = Now();
    if (!WriteFullHeader() || !IndexFile->Flush()) s = StatusWriteError;
  }
  if (s < 0) {
    h = onDisk;
    *status = s;
    return;
  }
  OwnDeletionsWritten();
  if (RetrievalSession && LoadedPartitionCount == n) {
    LoadDistributedPartition(n, status);
  }
}

// ---- Loading distributed partitions ------------------------------------------

void IndexManagerT::LoadDistributedIndexForRetrieval(uint32_t first,
                                                     StatusCodeT* status) {
  if (!RequireDistributed(status)) return;
  if (first > LoadedPartitionCount) {
    *status = StatusMalformedParameter;
    return;
  }
  UnloadPartitionsFrom(first);
  for (uint32_t i = first; i < NumPartitions(); ++i) {
    StatusCodeT s = StatusNoError;
    LoadDistributedPartition(i, &s);
    if (s < 0) {
      *status = s;
      return;
    }
  }
  CountRecsBeforePartitions();
  PartitionsLoaded = 1;
}

int IndexManagerT::OpenDistributedPartition(uint32_t i, const char* path,
                                            PartitionReaderT** reader,
                                            FileClassT** file,
                                            StatusCodeT* status) {
  FileClassT* opened = NewNamedFile(path, status);
  if (opened == nullptr) return 0;
  if (!opened->Open(kFileReadOnly)) {
    delete opened;
    *status = StatusCannotOpenFile;
    return 0;
  }
  opened->SetBuff(nullptr, 8192);
  PartitionReaderT* loaded = NewReader(i);
  StatusCodeT s = StatusNoError;
  if (loaded == nullptr) {
    s = StatusNotEnoughMemory;
  } else if (!opened->Seek(0)) {
    s = StatusSeekError;
  } else if (!loaded->ReadHeader(opened, &s)) {
    if (s == StatusNoError) s = StatusReadError;
  } else if (loaded->IndexMode() != CurrentHeader->IndexMode) {
    s = StatusNotIndexFile;
  }
  if (s < 0) {
    delete loaded;
    ReleaseFile(opened);
    *status = s;
    return 0;
  }
  *reader = loaded;
  *file = opened;
  return 1;
}

void IndexManagerT::LoadDistributedPartition(uint32_t i, StatusCodeT* status) {
  if (!RequireDistributed(status)) return;
  if (i >= NumPartitions() || i > LoadedPartitionCount) {
    *status = StatusPartitionNotFound;
    return;
  }
  char path[kLocationBytes];
  StatusCodeT s = StatusNoError;
  ReadPartitionLocation(i, path, &s);
  PartitionReaderT* reader = nullptr;
  FileClassT* file = nullptr;
  if (s < 0 || !OpenDistributedPartition(i, path, &reader, &file, &s)) {
    *status = s;
    return;
  }
  const bool replacing = i < LoadedPartitionCount;
  const uint64_t others =
      TotalRecordCount - (replacing ? Readers[i]->RecordCount() : 0);
  if (others + reader->RecordCount() > UINT32_MAX) {
    delete reader;
    ReleaseFile(file);
    *status = StatusNotIndexFile;
    return;
  }
  if (replacing) {
    delete Readers[i];
    ReleaseFile(PartitionFiles[i]);
  } else {
    LoadedPartitionCount = i + 1;
  }
  Readers[i] = reader;
  PartitionFiles[i] = file;
  PartitionPositions[i] = 0;
  TotalRecordCount = static_cast<uint32_t>(others + reader->RecordCount());
  CountRecsBeforePartitions();
  const uint32_t onLine = DeletedRecords->RecordsOnLine();
  if (TotalRecordCount > onLine) {
    DeletedRecords->BringRecordsOnLine(TotalRecordCount - onLine);
  }
}

void IndexManagerT::ReloadDistributedPartition(uint32_t i,
                                               StatusCodeT* status) {
  if (!RequireDistributed(status)) return;
  if (i >= LoadedPartitionCount) {
    *status = StatusPartitionNotFound;
    return;
  }
  LoadDistributedPartition(i, status);
}

// ---- The location table -----------------------------------------------------

void IndexManagerT::ReadPartitionLocation(uint32_t i, char* path,
                                          StatusCodeT* status) {
  path[0] = '\0';
  if (!RequireDistributed(status)) return;
  if (i >= NumPartitions()) {
    *status = StatusPartitionNotFound;
    return;
  }
  if (!IndexFile->Seek(LocationPosition(i))) {
    *status = StatusSeekError;
    return;
  }
  if (!IndexFile->Read(path, kLocationBytes)) {
    path[0] = '\0';
    *status = StatusReadError;
    return;
  }
  if (LocationLength(path) == 0) {
    path[0] = '\0';
    *status = StatusNotIndexFile;
  }
}

void IndexManagerT::WriteLocationEntry(uint32_t i, const char* path,
                                       StatusCodeT* status) {
  const size_t length = LocationLength(path);
  if (length == 0) {
    *status = StatusMalformedParameter;
    return;
  }
  char entry[kLocationBytes] = {};
  std::memcpy(entry, path, length);
  if (!IndexFile->Seek(LocationPosition(i))) {
    *status = StatusSeekError;
  } else if (!IndexFile->Write(entry, kLocationBytes)) {
    *status = StatusWriteError;
  }
}

void IndexManagerT::WritePartitionLocation(uint32_t i, const char* path,
                                           StatusCodeT* status) {
  if (!RequireWritableDistributed(status)) return;
  WriterLockT lock;
  if (!BeginCommit(&lock, status)) return;
  if (i >= NumPartitions()) {
    *status = StatusPartitionNotFound;
    return;
  }
  StatusCodeT s = StatusNoError;
  WriteLocationEntry(i, path, &s);
  if (s == StatusNoError && !IndexFile->Flush()) s = StatusWriteError;
  if (s < 0) *status = s;
}

void IndexManagerT::ChangePartitionLocation(uint32_t* i, const char* newPath,
                                            const char* oldPath,
                                            StatusCodeT* status) {
  if (!RequireWritableDistributed(status)) return;
  if (LocationLength(newPath) == 0 || oldPath == nullptr || i == nullptr) {
    *status = StatusMalformedParameter;
    return;
  }
  const size_t oldLength = strlen(oldPath);
  WriterLockT lock;
  if (!BeginCommit(&lock, status)) return;
  if (!IndexFile->Seek(LocationPosition(0))) {
    *status = StatusSeekError;
    return;
  }
  char entry[kLocationBytes];
  for (uint32_t j = 0; j < NumPartitions(); ++j) {
    if (!IndexFile->Read(entry, kLocationBytes)) {
      *status = StatusReadError;
      return;
    }
    // A damaged entry (no NUL) equals no path.
    if (LocationLength(entry) != oldLength ||
        std::memcmp(entry, oldPath, oldLength) != 0) {
      continue;
    }
    StatusCodeT s = StatusNoError;
    WriteLocationEntry(j, newPath, &s);
    if (s == StatusNoError && !IndexFile->Flush()) s = StatusWriteError;
    if (s < 0) {
      *status = s;
    } else {
      *i = j;
    }
    return;
  }
  *status = StatusPartitionNotFound;
}

void IndexManagerT::ReplacePartitions(const char* path, uint32_t first,
                                      uint32_t count, BooleanT readFirst,
                                      StatusCodeT* status) {
  if (!RequireWritableDistributed(status)) return;
  WriterLockT lock;
  if (!BeginCommit(&lock, status)) return;
  const uint32_t n = NumPartitions();
  if (count == 0 || first > n || count > n - first ||
      (path != nullptr && LocationLength(path) == 0)) {
    *status = StatusMalformedParameter;
    return;
  }
  // Every entry after the range moves down behind it (or behind path),
  // however many there are.
  StatusCodeT s = StatusNoError;
  char entry[kLocationBytes];
  uint32_t target = first + (path != nullptr ? 1 : 0);
  for (uint32_t source = first + count; source < n && s == StatusNoError;
       ++source, ++target) {
    if (readFirst &&
        (!IndexFile->Seek(LocationPosition(target)) ||
         !IndexFile->Read(entry, kLocationBytes))) {
      s = StatusReadError;
    } else if (!IndexFile->Seek(LocationPosition(source))) {
      s = StatusSeekError;
    } else if (!IndexFile->Read(entry, kLocationBytes)) {
      s = StatusReadError;
    } else if (!IndexFile->Seek(LocationPosition(target))) {
      s = StatusSeekError;
    } else if (!IndexFile->Write(entry, kLocationBytes)) {
      s = StatusWriteError;
    }
  }
  if (s == StatusNoError && path != nullptr) {
    WriteLocationEntry(first, path, &s);
  }
  IndexHeaderInfoT& h = *CurrentHeader;
  const IndexHeaderInfoT before = h;
  const uint32_t tableEnd = LocationPosition(target);
  if (s == StatusNoError) PlaceDeletedList(tableEnd, &s);
  if (s == StatusNoError) {
    h.PartitionCount = target;
    h.AppendPosition = tableEnd;
    h.ModificationTime = Now();
    if (!IndexFile->Flush() || !WriteFullHeader() || !IndexFile->Flush()) {
      s = StatusWriteError;
    }
  }
  if (s < 0) {
    h = before;
    *status = s;
    return;
  }
  OwnDeletionsWritten();
}

bool IndexManagerT::MoveDeletedListBeyond(uint32_t end,
                                          IndexHeaderInfoT* onDisk,
                                          StatusCodeT* status) {
  IndexHeaderInfoT& h = *CurrentHeader;
  if (h.DeletedRecordCount == 0 || h.DeletedListPosition >= end) return false;
  StatusCodeT s = StatusNoError;
  WriteDeletedList(std::max(end, h.EndPosition), &s);
  if (s == StatusNoError &&
      (!IndexFile->Sync() || !WriteFullHeader() || !IndexFile->Flush())) {
    s = StatusWriteError;
  }
  if (s == StatusNoError) {
    *onDisk = h;
  } else {
    *status = s;
  }
  return true;
}

void IndexManagerT::PlaceDeletedList(uint32_t base, StatusCodeT* status) {
  // A list the header on disk counts records in stays whole until the
  // header points elsewhere: an interrupted write leaves it readable. An
  // empty one is never read.
  const IndexHeaderInfoT& h = *CurrentHeader;
  const uint64_t listEnd =
      uint64_t{base} + 12 +
      uint64_t{4} * DeletedRecords->GetNumberOfRecordsDeleted();
  uint32_t position = base;
  if (h.DeletedRecordCount > 0 && base < h.EndPosition &&
      listEnd > h.DeletedListPosition) {
    position = h.EndPosition;
  }
  WriteDeletedList(position, status);
}

// ---- Measuring ----------------------------------------------------------------

void IndexManagerT::GetPartitionLength(uint32_t* bytes, uint32_t* records,
                                       uint32_t i) const {
  const PartitionReaderT* reader = Reader(i);
  *bytes = reader != nullptr ? reader->PartitionLength() : 0;
  *records = reader != nullptr ? reader->RecordCount() : 0;
}

void IndexManagerT::GetPartitionSpanLength(uint32_t* bytes, uint32_t* records,
                                           uint32_t first,
                                           uint32_t last) const {
  *bytes = 0;
  *records = 0;
  uint64_t total = 0;
  for (uint32_t i = first; i <= last && i < LoadedPartitionCount; ++i) {
    total += Readers[i]->PartitionLength();
    if (total > kMaxPartitionSpan) {
      *bytes = UINT32_MAX;
      return;
    }
    *bytes = static_cast<uint32_t>(total);
    *records += Readers[i]->RecordCount();
  }
}
