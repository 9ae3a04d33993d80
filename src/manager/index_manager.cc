// IndexManagerT lifecycle: construction, creating, opening, reading the
// header, closing and reloading an index file.

#include "manager/index_manager.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "manager/creation_params.h"
#include "manager/record_deleter.h"
#include "query/partition_reader.h"
#include "query/vector_buffer_pool.h"
#include "storage/fileclas.h"
#include "storage/writer_lock.h"

namespace {

constexpr unsigned kScratchBufferSize = 4096;
// Reads of the header and the deleted-record list an open makes when
// writers keep committing meanwhile.
constexpr int kOpenAttempts = 8;

}  // namespace

IndexManagerT::IndexManagerT() { Reset(); }

IndexManagerT::~IndexManagerT() {
  if (RetrievalSession) CloseVectorBufferPool();
  DiscardOptomization();
  UnloadPartitions();
  delete IndexFile;
  delete DeletedRecords;
  delete[] ScratchBuffer;
  ValidityMarker = 0;
}

void IndexManagerT::Reset() {
  DiscardOptomization();
  UnloadPartitions();
  delete IndexFile;
  IndexFile = nullptr;
  delete DeletedRecords;
  DeletedRecords = new (std::nothrow) TarvisRecordDeleterT;
  delete[] ScratchBuffer;
  ScratchBuffer = new (std::nothrow) unsigned char[kScratchBufferSize];
  ConstructionFlag = ScratchBuffer != nullptr && DeletedRecords != nullptr;
  ValidityMarker = kValidityMarker;
  ReadOnly = 0;
  if (RetrievalSession) CloseVectorBufferPool();
  RetrievalSession = 0;
  CurrentIndexer = nullptr;
  IndexMode = 0;
  Headers[0] = Headers[1] = IndexHeaderInfoT{};
  CurrentHeader = &Headers[0];
  OtherHeader = &Headers[1];
  HeaderPosition = kIndexHeaderPosition;
  HeaderEndPosition = kIndexHeaderEnd;
  ResetTime = Now();
  LastStamp = 0;
  OwnDeletions.clear();
  DeletionsLost = 0;
}

IndexManagerT::StateT IndexManagerT::State() const {
  if (IndexFile == nullptr) return kIdle;
  return RetrievalSession ? kRetrieving : kOpen;
}

int IndexManagerT::RequireIndex(StatusCodeT* status) const {
  if (IndexFile != nullptr) return 1;
  *status = StatusIndexNotLoaded;
  return 0;
}

uint32_t IndexManagerT::NextWriteStamp() {
  // Strictly rising stamps: a copy torn between an old and a new write can
  // never show two equal stamps.
  uint32_t stamp = std::max({Now(), ResetTime + 1, LastStamp + 1});
  LastStamp = stamp;
  return stamp;
}

int IndexManagerT::WriteHeaderAt(uint32_t position) {
  uint32_t stamp = NextWriteStamp();
  if (!IndexFile->Seek(position) ||
      !WriteIndexHeaderBlock(IndexFile, *CurrentHeader, stamp)) {
    return 0;
  }
  CurrentHeader->WriteStamp = CurrentHeader->TrailingStamp = stamp;
  *OtherHeader = *CurrentHeader;
  HeaderPosition = position;
  HeaderEndPosition = IndexFile->GetPosition();
  return 1;
}

int IndexManagerT::WriteFullHeader() {
  return IndexFile != nullptr && WriteHeaderAt(HeaderPosition);
}

int IndexManagerT::WriteBlankHeader() {
  return IndexFile != nullptr && WriteHeaderAt(IndexFile->GetPosition());
}

void IndexManagerT::Create(const IndexCreationParametersT* params,
                           StatusCodeT* status) {
  if (IndexFile != nullptr) {
    *status = StatusIndexLocked;
    return;
  }
  if (ScratchBuffer == nullptr) {
    *status = StatusNotEnoughMemory;
    return;
  }
  // The name must be the one the host gave, whole, and the mode one that
  // sessions can index in.
  if (params == nullptr || params->FileNameRefused ||
      params->IndexFileName[0] == '\0' || params->IndexMode < RECORD_MODE ||
      params->IndexMode > IDF_MODE) {
    *status = StatusMalformedParameter;
    return;
  }
  FileClassT* file = new (std::nothrow) FileClassT(params->IndexFileName);
  if (file == nullptr || !file->IsValid()) {
    delete file;
    *status = StatusNotEnoughMemory;
    return;
  }
  if (!file->Open(kFileCreate)) {
    delete file;
    *status = StatusCannotOpenFile;
    return;
  }
  IndexHeaderInfoT header = {};
  header.HeaderState = kHeaderNew;
  header.IndexMode = params->IndexMode;
  header.CreationTime = header.ModificationTime = Now();
  std::memcpy(header.OptionBlock, params->OptionBlock,
              sizeof(header.OptionBlock));
  header.FixedRecordDataLength = params->FixedRecordDataLength;
  header.FixedRecordIDLength = params->FixedRecordIDLength;

  std::memset(ScratchBuffer, ' ', kIndexReservedBytes);
  StatusCodeT s = StatusNoError;
  if (!file->Write(ScratchBuffer, kIndexReservedBytes) ||
      !WriteIndexHeaderBlock(file, header, NextWriteStamp())) {
    s = StatusWriteError;
  } else if (!file->Close()) {
    s = StatusCannotCloseFile;
  }
  // A half-made index file is of no use to anyone.
  if (s < 0) {
    file->Delete();
    *status = s;
  }
  delete file;
}

void IndexManagerT::Open(const char* fileName, StatusCodeT* status) {
  if (IndexFile != nullptr) {
    *status = StatusIndexLocked;
    return;
  }
  if (fileName == nullptr || fileName[0] == '\0') {
    *status = StatusFileNotFound;
    return;
  }
  TotalRecordCount = 0;
  FileClassT* file = new (std::nothrow) FileClassT(fileName);
  if (file == nullptr || !file->IsValid()) {
    delete file;
    *status = StatusNotEnoughMemory;
    return;
  }
  if (!file->Open(kFileReadWrite) && !file->Open(kFileReadOnly)) {
    delete file;
    *status = StatusFileNotFound;
    return;
  }
  file->SetBuff(nullptr, 4096);
  StatusCodeT s = StatusNoError;
  if (!file->Seek(kIndexHeaderPosition)) s = StatusSeekError;
  if (s == StatusNoError) AttachIndexFile(file, &s);
  if (s < 0) {
    delete file;
    *status = s;
  }
}

void IndexManagerT::LoadIndex(FileClassT* file, StatusCodeT* status) {
  if (IndexFile != nullptr) {
    *status = StatusIndexLocked;
    return;
  }
  if (file == nullptr || !file->IsOpen()) {
    *status = StatusMalformedParameter;
    return;
  }
  TotalRecordCount = 0;
  AttachIndexFile(file, status);
}

void IndexManagerT::AttachIndexFile(FileClassT* file, StatusCodeT* status) {
  if (!ConstructionFlag) {
    *status = StatusNotEnoughMemory;
    return;
  }
  IndexFile = file;
  ReadOnly = file->IsReadOnly();
  HeaderPosition = file->GetPosition();
  StatusCodeT s = StatusNoError;
  ReadHeader(&s);
  // Opening takes no lock: a writer may commit between the header and the
  // list, and a later commit may reuse the place of the list the header
  // read points to. When the header on disk has moved on, both are read
  // again.
  for (int attempt = 0; s == StatusNoError; ++attempt) {
    if (CurrentHeader->DeletedRecordCount == 0) break;
    if (!file->Seek(CurrentHeader->DeletedListPosition)) {
      s = StatusSeekError;
    } else {
      DeletedRecords->ReadInDeletedRecordNums(file, &s);
    }
    const uint32_t stamp = CurrentHeader->WriteStamp;
    if (s == StatusNoError || attempt == kOpenAttempts - 1 ||
        !file->DiscardReadAhead()) {
      break;
    }
    StatusCodeT again = StatusNoError;
    ReadHeader(&again);
    if (again < 0 || CurrentHeader->WriteStamp == stamp) break;
    s = StatusNoError;
    delete DeletedRecords;
    DeletedRecords = new (std::nothrow) TarvisRecordDeleterT;
    if (DeletedRecords == nullptr) s = StatusNotEnoughMemory;
  }
  if (s < 0) {
    // The file goes back to the caller; the manager stays Idle.
    IndexFile = nullptr;
    Reset();
    *status = s;
    return;
  }
  IndexMode = CurrentHeader->IndexMode;
}

void IndexManagerT::ReadHeader(StatusCodeT* status) {
  if (!RequireIndex(status)) return;
  uint32_t magic = 0;
  if (!IndexFile->Seek(HeaderPosition)) {
    *status = StatusSeekError;
    return;
  }
  if (!IndexFile->ReadLong(&magic)) {
    *status = StatusReadError;
    return;
  }
  if (magic != kIndexMagic) {
    *status = StatusNotIndexFile;
    return;
  }
  if (!ReadIndexHeader(IndexFile, &Headers[0]) ||
      !ReadIndexHeader(IndexFile, &Headers[1])) {
    *status = StatusReadError;
    return;
  }
  HeaderEndPosition = IndexFile->GetPosition();
  const uint32_t length = IndexFile->GetLength();
  // The first intact copy is current; when neither is intact, the second.
  // A copy that does not fit the file is passed over.
  IndexHeaderInfoT* candidates[2] = {};
  int count = 0;
  for (IndexHeaderInfoT& copy : Headers) {
    if (copy.IsIntact()) candidates[count++] = &copy;
  }
  if (count == 0) candidates[count++] = &Headers[1];
  for (int i = 0; i < count; ++i) {
    if (IndexHeaderIsPlausible(*candidates[i], HeaderEndPosition, length)) {
      CurrentHeader = candidates[i];
      OtherHeader = CurrentHeader == &Headers[0] ? &Headers[1] : &Headers[0];
      for (const IndexHeaderInfoT& copy : Headers) {
        LastStamp = std::max({LastStamp, copy.WriteStamp, copy.TrailingStamp});
      }
      return;
    }
  }
  *status = StatusNotIndexFile;
}

void IndexManagerT::Close(StatusCodeT* status) {
  if (IndexFile == nullptr) return;
  if (!OwnDeletions.empty() && !ReadOnly) {
    StatusCodeT s = StatusNoError;
    WriteBackDeletions(&s);
    // The index stays open for another try, unless the changes cannot be
    // made any more.
    if (s < 0) {
      *status = s;
      return;
    }
  }
  const int lost = DeletionsLost;
  UnloadPartitions();
  // A stream whose close failed is closed all the same: the manager lets go
  // of it either way.
  if (!IndexFile->Close()) *status = StatusCannotCloseFile;
  Reset();
  if (lost) *status = StatusIndexChanged;
}

void IndexManagerT::WriteBackDeletions(StatusCodeT* status) {
  WriterLockT lock;
  if (!BeginCommit(&lock, status) || OwnDeletions.empty()) return;
  IndexHeaderInfoT& h = *CurrentHeader;
  const IndexHeaderInfoT before = h;
  uint32_t position = h.DeletedListPosition;
  if (position == 0) {
    position = h.AppendPosition != 0 ? h.AppendPosition : HeaderEndPosition;
  }
  StatusCodeT s = StatusNoError;
  PlaceDeletedList(position, &s);
  if (s == StatusNoError &&
      (!IndexFile->Sync() || !WriteFullHeader() || !IndexFile->Flush())) {
    s = StatusWriteError;
  }
  if (s < 0) {
    h = before;
    *status = s;
    return;
  }
  OwnDeletionsWritten();
}

void IndexManagerT::ReloadIndex(StatusCodeT* status) {
  if (!RequireIndex(status)) return;
  std::string name = IndexFile->Name();
  StatusCodeT s = StatusNoError;
  Close(&s);
  // Changes dropped for renumbered records are reported; the index is
  // loaded again all the same.
  if (s < 0 && s != StatusIndexChanged) {
    *status = s;
    return;
  }
  Open(name.c_str(), status);
  if (*status >= 0 && s < 0) *status = s;
}

void IndexManagerT::WriteDeletedList(uint32_t position, StatusCodeT* status) {
  if (!IndexFile->Seek(position)) {
    *status = StatusSeekError;
    return;
  }
  StatusCodeT s = StatusNoError;
  DeletedRecords->WriteOutDeletedRecordNums(IndexFile, &s);
  if (s < 0) {
    *status = s;
    return;
  }
  CurrentHeader->DeletedListPosition = position;
  CurrentHeader->DeletedRecordCount =
      DeletedRecords->GetNumberOfRecordsDeleted();
  CurrentHeader->EndPosition = IndexFile->GetPosition();
}

IndexerT* IndexManagerT::CreateIndexer(StatusCodeT* status) {
  StatusCodeT s = StatusNoError;
  IndexerT* indexer = new (std::nothrow) IndexerT(&s);
  if (indexer != nullptr && s < 0) {
    delete indexer;
    indexer = nullptr;
  }
  if (indexer == nullptr) *status = s < 0 ? s : StatusNotEnoughMemory;
  return indexer;
}

PartitionReaderT* IndexManagerT::NewReader(uint32_t partitionNumber) {
  return new (std::nothrow) PartitionReaderT(partitionNumber);
}
