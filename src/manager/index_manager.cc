// IndexManagerT lifecycle: construction, creating, opening, reading the
// header, closing and reloading an index file, and the checks the other
// operations open with.

#include "manager/index_manager.h"

#include <cstring>
#include <string>

#include "manager/creation_params.h"
#include "manager/record_deleter.h"
#include "query/partition_reader.h"
#include "query/vector_buffer_pool.h"
#include "storage/allocation.h"
#include "storage/file_status.h"
#include "storage/fileclas.h"
#include "storage/writer_lock.h"

namespace {

constexpr unsigned kScratchBufferSize = 4096;

}  // namespace

IndexManagerT::IndexManagerT() { Reset(); }

IndexManagerT::~IndexManagerT() {
  if (Loaded.Retrieving()) CloseVectorBufferPool();
  delete[] ScratchBuffer;
  Marker = 0;
}

void IndexManagerT::Reset() {
  Optomization.Discard();
  Loaded.Unload();
  if (Loaded.Retrieving()) CloseVectorBufferPool();
  Loaded.SetRetrieving(0);
  const int indexReset = Index.Reset();
  delete[] ScratchBuffer;
  ScratchBuffer = NewArrayOrNull<unsigned char>(kScratchBufferSize);
  Constructed = ScratchBuffer != nullptr && indexReset;
  Marker = kValidityMarker;
  CurrentIndexer = nullptr;
}

IndexManagerT::StateT IndexManagerT::State() const {
  if (!Index.IsOpen()) return kIdle;
  return Loaded.Retrieving() ? kRetrieving : kOpen;
}

// ---- Checks -----------------------------------------------------------------

int IndexManagerT::RequireIndex(StatusCodeT* status) const {
  if (Index.IsOpen()) return 1;
  *status = StatusIndexNotLoaded;
  return 0;
}

int IndexManagerT::RequireRetrieval(StatusCodeT* status) const {
  if (Index.IsOpen() && Loaded.Retrieving()) return 1;
  *status = StatusNotInitializedForSearching;
  return 0;
}

int IndexManagerT::RequireLoadedPartitions(StatusCodeT* status) const {
  if (Index.IsOpen() && Loaded.Retrieving() && Loaded.PartitionCount() > 0)
    return 1;
  *status = StatusNotInitializedForSearching;
  return 0;
}

int IndexManagerT::RequireDistributed(StatusCodeT* status) const {
  if (!RequireIndex(status)) return 0;
  if (Index.Header().IsDistributed()) return 1;
  *status = StatusMalformedParameter;
  return 0;
}

int IndexManagerT::RequireWritableDistributed(StatusCodeT* status) const {
  if (!RequireDistributed(status)) return 0;
  if (!Index.IsReadOnly()) return 1;
  *status = StatusFileReadOnly;
  return 0;
}

int IndexManagerT::RecordInRange(unsigned long record,
                                 StatusCodeT* status) const {
  if (record != 0 && record <= Loaded.RecordCount()) return 1;
  *status = StatusMalformedParameter;
  return 0;
}

int IndexManagerT::BeginCommit(WriterLockT* lock, StatusCodeT* status) {
  return Commits.Begin(lock, status);
}

// ---- The index file ---------------------------------------------------------

int IndexManagerT::WriteFullHeader() { return Index.WriteFullHeader(); }

int IndexManagerT::WriteBlankHeader() { return Index.WriteBlankHeader(); }

void IndexManagerT::Create(const IndexCreationParametersT* params,
                           StatusCodeT* status) {
  if (Index.IsOpen()) {
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
  FileClassT* file = NewOpenFile(params->IndexFileName, kFileCreate,
                                 StatusCannotOpenFile, status);
  if (file == nullptr) return;
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
  if (FileCall(file->Write(ScratchBuffer, kIndexReservedBytes) &&
                   WriteIndexHeaderBlock(file, header, Index.NextWriteStamp()),
               StatusWriteError, &s)) {
    FileCall(file->Close(), StatusCannotCloseFile, &s);
  }
  // A half-made index file is of no use to anyone.
  if (s < 0) {
    file->Delete();
    *status = s;
  }
  delete file;
}

void IndexManagerT::Open(const char* fileName, StatusCodeT* status) {
  if (Index.IsOpen()) {
    *status = StatusIndexLocked;
    return;
  }
  if (fileName == nullptr || fileName[0] == '\0') {
    *status = StatusFileNotFound;
    return;
  }
  FileClassT* file = NewOrStatus<FileClassT>(status, fileName);
  if (file == nullptr) return;
  if (!FileCall(file->Open(kFileReadWrite) || file->Open(kFileReadOnly),
                StatusFileNotFound, status)) {
    delete file;
    return;
  }
  file->SetBuff(nullptr, 4096);
  StatusCodeT s = StatusNoError;
  if (FileCall(file->Seek(kIndexHeaderPosition), StatusSeekError, &s)) {
    AttachIndexFile(file, &s);
  }
  if (s < 0) {
    delete file;
    *status = s;
  }
}

void IndexManagerT::LoadIndex(FileClassT* file, StatusCodeT* status) {
  if (Index.IsOpen()) {
    *status = StatusIndexLocked;
    return;
  }
  if (file == nullptr || !file->IsOpen()) {
    *status = StatusMalformedParameter;
    return;
  }
  AttachIndexFile(file, status);
}

void IndexManagerT::AttachIndexFile(FileClassT* file, StatusCodeT* status) {
  if (!Constructed) {
    *status = StatusNotEnoughMemory;
    return;
  }
  // On failure the file goes back to the caller; the manager stays Idle.
  if (!Index.Attach(file, status)) Reset();
}

void IndexManagerT::ReadHeader(StatusCodeT* status) {
  if (!RequireIndex(status)) return;
  Index.ReadHeader(status);
}

void IndexManagerT::Close(StatusCodeT* status) {
  if (!Index.IsOpen()) return;
  if (Index.HasOwnChanges() && !Index.IsReadOnly()) {
    // The commit of Close: the list with the own changes, and the header.
    StatusCodeT s = StatusNoError;
    WriterLockT lock;
    if (BeginCommit(&lock, &s)) Index.WriteOwnDeletions(&s);
    // The index stays open for another try, unless the changes cannot be
    // made any more.
    if (s < 0) {
      *status = s;
      return;
    }
  }
  const int lost = Index.DeletionsLost();
  Loaded.Unload();
  // A stream whose close failed is closed all the same: the manager lets go
  // of it either way.
  FileCall(Index.File()->Close(), StatusCannotCloseFile, status);
  Reset();
  if (lost) *status = StatusIndexChanged;
}

void IndexManagerT::ReloadIndex(StatusCodeT* status) {
  if (!RequireIndex(status)) return;
  std::string name = Index.File()->Name();
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

// ---- Replaceable operations -------------------------------------------------

IndexerT* IndexManagerT::CreateIndexer(StatusCodeT* status) {
  StatusCodeT s = StatusNoError;
  IndexerT* indexer = NewOrNull<IndexerT>(&s);
  if (indexer != nullptr && s < 0) {
    delete indexer;
    indexer = nullptr;
  }
  if (indexer == nullptr) *status = s < 0 ? s : StatusNotEnoughMemory;
  return indexer;
}

PartitionReaderT* IndexManagerT::NewReader(uint32_t partitionNumber) {
  return NewOrNull<PartitionReaderT>(partitionNumber);
}
