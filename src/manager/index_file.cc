// IndexFileT: attaching an index file, its header copies and stamps, the
// deleted-record list and where it goes, and the commits that write the
// file's own parts (an appended partition, the own deletions).

#include "manager/index_file.h"

#include <algorithm>
#include <memory>

#include "manager/record_deleter.h"
#include "storage/allocation.h"
#include "storage/file_primitives.h"
#include "storage/file_status.h"
#include "storage/fileclas.h"

namespace {

// Reads of the header and the deleted-record list an attach makes when
// writers keep committing meanwhile.
constexpr int kAttachAttempts = 8;

}  // namespace

IndexFileT::IndexFileT() { Reset(); }

IndexFileT::~IndexFileT() {
  delete OpenFile;
  delete DeletedSet;
}

int IndexFileT::Reset() {
  delete OpenFile;
  OpenFile = nullptr;
  delete DeletedSet;
  DeletedSet = NewOrNull<TarvisRecordDeleterT>();
  ReadOnly = 0;
  Copies[0] = Copies[1] = IndexHeaderInfoT{};
  Current = &Copies[0];
  Other = &Copies[1];
  HeaderAt = kIndexHeaderPosition;
  HeaderEndAt = kIndexHeaderEnd;
  ResetTime = Now();
  LastStamp = 0;
  OwnChanges.clear();
  ChangesLost = 0;
  return DeletedSet != nullptr;
}

int IndexFileT::Attach(FileClassT* file, StatusCodeT* status) {
  OpenFile = file;
  ReadOnly = file->IsReadOnly();
  HeaderAt = file->GetPosition();
  StatusCodeT s = StatusNoError;
  ReadHeader(&s);
  // Attaching takes no lock: a writer may commit between the header and the
  // list, and a later commit may reuse the place of the list the header
  // read points to. When the header on disk has moved on, both are read
  // again.
  for (int attempt = 0; s == StatusNoError; ++attempt) {
    if (Current->DeletedRecordCount == 0) break;
    if (FileCall(file->Seek(Current->DeletedListPosition), StatusSeekError,
                 &s)) {
      DeletedSet->ReadInDeletedRecordNums(file, &s);
    }
    const uint32_t stamp = Current->WriteStamp;
    if (s == StatusNoError || attempt == kAttachAttempts - 1 ||
        !file->DiscardReadAhead()) {
      break;
    }
    StatusCodeT again = StatusNoError;
    ReadHeader(&again);
    if (again < 0 || Current->WriteStamp == stamp) break;
    s = StatusNoError;
    delete DeletedSet;
    DeletedSet = NewOrStatus<TarvisRecordDeleterT>(&s);
  }
  if (s < 0) {
    OpenFile = nullptr;
    *status = s;
    return 0;
  }
  return 1;
}

void IndexFileT::Replace(FileClassT* file) {
  delete OpenFile;
  OpenFile = file;
  if (!OwnChanges.empty()) ChangesLost = 1;
  OwnChanges.clear();
}

void IndexFileT::Install(FileClassT* file, IndexHeaderInfoT header,
                         uint32_t stamp, TarvisRecordDeleterT* deleted) {
  delete OpenFile;
  OpenFile = file;
  header.WriteStamp = header.TrailingStamp = stamp;
  RestoreHeader(header);
  delete DeletedSet;
  DeletedSet = deleted;
  OwnDeletionsWritten();
}

int IndexFileT::Replaced() {
  FileIdentityT held;
  FileIdentityT named;
  return OpenFile->Identity(&held) &&
         OsNameIdentity(OpenFile->Name(), &named) && held != named;
}

// ---- The header -------------------------------------------------------------

void IndexFileT::ReadHeader(StatusCodeT* status) {
  uint32_t magic = 0;
  if (!FileCall(OpenFile->Seek(HeaderAt), StatusSeekError, status) ||
      !FileCall(OpenFile->ReadLong(&magic), StatusReadError, status)) {
    return;
  }
  if (magic != kIndexMagic) {
    *status = StatusNotIndexFile;
    return;
  }
  if (!FileCall(ReadIndexHeader(OpenFile, &Copies[0]) &&
                    ReadIndexHeader(OpenFile, &Copies[1]),
                StatusReadError, status)) {
    return;
  }
  HeaderEndAt = OpenFile->GetPosition();
  const uint32_t length = OpenFile->GetLength();
  // The first intact copy is current; when neither is intact, the second.
  // A copy that does not fit the file is passed over.
  IndexHeaderInfoT* candidates[2] = {};
  int count = 0;
  for (IndexHeaderInfoT& copy : Copies) {
    if (copy.IsIntact()) candidates[count++] = &copy;
  }
  if (count == 0) candidates[count++] = &Copies[1];
  for (int i = 0; i < count; ++i) {
    if (IndexHeaderIsPlausible(*candidates[i], HeaderEndAt, length)) {
      Current = candidates[i];
      Other = Current == &Copies[0] ? &Copies[1] : &Copies[0];
      for (const IndexHeaderInfoT& copy : Copies) {
        LastStamp = std::max({LastStamp, copy.WriteStamp, copy.TrailingStamp});
      }
      return;
    }
  }
  *status = StatusNotIndexFile;
}

uint32_t IndexFileT::NextWriteStamp() {
  // Strictly rising stamps: a copy torn between an old and a new write can
  // never show two equal stamps.
  uint32_t stamp = std::max({Now(), ResetTime + 1, LastStamp + 1});
  LastStamp = stamp;
  return stamp;
}

int IndexFileT::WriteHeaderAt(uint32_t position) {
  uint32_t stamp = NextWriteStamp();
  if (!OpenFile->Seek(position) ||
      !WriteIndexHeaderBlock(OpenFile, *Current, stamp)) {
    return 0;
  }
  Current->WriteStamp = Current->TrailingStamp = stamp;
  *Other = *Current;
  HeaderAt = position;
  HeaderEndAt = OpenFile->GetPosition();
  return 1;
}

int IndexFileT::WriteFullHeader() {
  return OpenFile != nullptr && WriteHeaderAt(HeaderAt);
}

int IndexFileT::WriteBlankHeader() {
  return OpenFile != nullptr && WriteHeaderAt(OpenFile->GetPosition());
}

void IndexFileT::RestoreHeader(const IndexHeaderInfoT& header) {
  Copies[0] = Copies[1] = header;
  Current = &Copies[0];
  Other = &Copies[1];
}

// ---- The deleted-record list ------------------------------------------------

void IndexFileT::WriteDeletedList(uint32_t position, StatusCodeT* status) {
  if (!FileCall(OpenFile->Seek(position), StatusSeekError, status)) return;
  StatusCodeT s = StatusNoError;
  DeletedSet->WriteOutDeletedRecordNums(OpenFile, &s);
  if (s < 0) {
    *status = s;
    return;
  }
  Current->DeletedListPosition = position;
  Current->DeletedRecordCount = DeletedSet->GetNumberOfRecordsDeleted();
  Current->EndPosition = OpenFile->GetPosition();
}

void IndexFileT::PlaceDeletedList(uint32_t base, StatusCodeT* status) {
  // A list the header on disk counts records in stays whole until the
  // header points elsewhere: an interrupted write leaves it readable. An
  // empty one is never read.
  const IndexHeaderInfoT& h = *Current;
  const uint64_t listEnd =
      uint64_t{base} + 12 +
      uint64_t{4} * DeletedSet->GetNumberOfRecordsDeleted();
  uint32_t position = base;
  if (h.DeletedRecordCount > 0 && base < h.EndPosition &&
      listEnd > h.DeletedListPosition) {
    position = h.EndPosition;
  }
  WriteDeletedList(position, status);
}

bool IndexFileT::MoveDeletedListBeyond(uint32_t end, IndexHeaderInfoT* onDisk,
                                       StatusCodeT* status) {
  IndexHeaderInfoT& h = *Current;
  if (h.DeletedRecordCount == 0 || h.DeletedListPosition >= end) return false;
  StatusCodeT s = StatusNoError;
  WriteDeletedList(std::max(end, h.EndPosition), &s);
  if (s == StatusNoError) {
    FileCall(OpenFile->Sync() && WriteFullHeader() && OpenFile->Flush(),
             StatusWriteError, &s);
  }
  if (s == StatusNoError) {
    *onDisk = h;
  } else {
    *status = s;
  }
  return true;
}

void IndexFileT::ReloadDeletedRecords(uint32_t records, StatusCodeT* status) {
  std::unique_ptr<TarvisRecordDeleterT> fresh(
      NewOrStatus<TarvisRecordDeleterT>(status));
  if (fresh == nullptr) return;
  fresh->BringRecordsOnLine(records);
  const IndexHeaderInfoT& h = *Current;
  StatusCodeT s = StatusNoError;
  if (h.DeletedRecordCount > 0) {
    if (FileCall(OpenFile->Seek(h.DeletedListPosition), StatusSeekError, &s)) {
      fresh->ReadInDeletedRecordNums(OpenFile, &s);
    }
  }
  for (const auto& change : OwnChanges) {
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
  delete DeletedSet;
  DeletedSet = fresh.release();
}

// ---- Commits ----------------------------------------------------------------

uint32_t IndexFileT::AppendPartition(FileClassT* partition, uint32_t length,
                                     StatusCodeT* status) {
  IndexHeaderInfoT& h = *Current;
  if (h.PartitionCount >= kMaxPartitions) {
    *status = StatusGeneralError;
    return 0;
  }
  const uint32_t start = h.AppendPosition != 0 ? h.AppendPosition : HeaderEndAt;
  // The index file must stay within 32-bit positions, list included.
  const uint64_t listBytes =
      12 + uint64_t{4} * DeletedSet->GetNumberOfRecordsDeleted();
  const uint64_t fileEnd =
      std::max<uint64_t>(uint64_t{start} + length, h.EndPosition) + listBytes;
  if (fileEnd > UINT32_MAX) {
    *status = StatusWriteError;
    return 0;
  }
  const uint32_t end = start + length;

  // What the header on disk says; the one in memory goes back to it when a
  // step fails.
  IndexHeaderInfoT onDisk = h;
  StatusCodeT s = StatusNoError;
  const bool listFirst = MoveDeletedListBeyond(end, &onDisk, &s);
  if (s == StatusNoError &&
      FileCall(OpenFile->Seek(start), StatusSeekError, &s)) {
    FileCall(OpenFile->Copy(partition, 0, length), StatusWriteError, &s);
  }
  if (s == StatusNoError && !listFirst) PlaceDeletedList(end, &s);
  // The header takes the partition only once its bytes are on the disk.
  if (s == StatusNoError) FileCall(OpenFile->Sync(), StatusWriteError, &s);
  if (s < 0) {
    h = onDisk;
    *status = s;
    return 0;
  }
  const IndexHeaderInfoT before = h;
  if (h.PartitionCount == 0) h.FirstPartitionPosition = start;
  h.LastPartitionPosition = start;
  h.AppendPosition = end;
  ++h.PartitionCount;
  h.HeaderState = kHeaderSettled;
  h.ModificationTime = Now();
  if (!FileCall(WriteFullHeader() && OpenFile->Flush(), StatusWriteError,
                status)) {
    h = before;
    return 0;
  }
  OwnDeletionsWritten();
  return start;
}

void IndexFileT::WriteOwnDeletions(StatusCodeT* status) {
  if (OwnChanges.empty()) return;
  IndexHeaderInfoT& h = *Current;
  const IndexHeaderInfoT before = h;
  uint32_t position = h.DeletedListPosition;
  if (position == 0) {
    position = h.AppendPosition != 0 ? h.AppendPosition : HeaderEndAt;
  }
  StatusCodeT s = StatusNoError;
  PlaceDeletedList(position, &s);
  if (s == StatusNoError) {
    FileCall(OpenFile->Sync() && WriteFullHeader() && OpenFile->Flush(),
             StatusWriteError, &s);
  }
  if (s < 0) {
    h = before;
    *status = s;
    return;
  }
  OwnDeletionsWritten();
}
