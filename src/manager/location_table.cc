// LocationTableT: reading and writing the entries of a distributed index's
// location table, and the commits that change it.

#include "manager/location_table.h"

#include <cstring>

#include "manager/index_file.h"
#include "storage/file_status.h"
#include "storage/fileclas.h"

size_t LocationTableT::LocationLength(const char* path) {
  if (path == nullptr) return 0;
  const size_t length = strnlen(path, kLocationBytes);
  return length < kLocationBytes ? length : 0;
}

uint32_t LocationTableT::Position(uint32_t i) const {
  return Index->HeaderEnd() + kLocationBytes * i;
}

void LocationTableT::Read(uint32_t i, char* path, StatusCodeT* status) {
  path[0] = '\0';
  if (i >= Index->Header().PartitionCount) {
    *status = StatusPartitionNotFound;
    return;
  }
  FileClassT* file = Index->File();
  if (!FileCall(file->Seek(Position(i)), StatusSeekError, status)) return;
  if (!FileCall(file->Read(path, kLocationBytes), StatusReadError, status)) {
    path[0] = '\0';
    return;
  }
  if (LocationLength(path) == 0) {
    path[0] = '\0';
    *status = StatusNotIndexFile;
  }
}

void LocationTableT::WriteEntry(uint32_t i, const char* path,
                                StatusCodeT* status) {
  const size_t length = LocationLength(path);
  if (length == 0) {
    *status = StatusMalformedParameter;
    return;
  }
  char entry[kLocationBytes] = {};
  std::memcpy(entry, path, length);
  FileClassT* file = Index->File();
  if (FileCall(file->Seek(Position(i)), StatusSeekError, status)) {
    FileCall(file->Write(entry, kLocationBytes), StatusWriteError, status);
  }
}

void LocationTableT::Append(const char* path, StatusCodeT* status) {
  FileClassT* file = Index->File();
  IndexHeaderInfoT& h = Index->EditHeader();
  // The entry goes after those other writers added.
  const uint32_t n = h.PartitionCount;
  // What the header on disk says; the one in memory goes back to it when
  // a step fails.
  IndexHeaderInfoT onDisk = h;
  const uint32_t tableEnd = Position(n) + kLocationBytes;
  StatusCodeT s = StatusNoError;
  // The new entry may take the place of the list the header points to.
  const bool listFirst = Index->MoveDeletedListBeyond(tableEnd, &onDisk, &s);
  if (s == StatusNoError) WriteEntry(n, path, &s);
  if (s == StatusNoError && !listFirst) Index->PlaceDeletedList(tableEnd, &s);
  if (s == StatusNoError) FileCall(file->Sync(), StatusWriteError, &s);

  // Only now, with the entry on disk, does the header count it.
  if (s == StatusNoError) {
    h.FirstPartitionPosition = h.LastPartitionPosition = 0;
    h.AppendPosition = tableEnd;
    ++h.PartitionCount;
    h.HeaderState = kHeaderSettled;
    h.ModificationTime = Now();
    FileCall(Index->WriteFullHeader() && file->Flush(), StatusWriteError, &s);
  }
  if (s < 0) {
    h = onDisk;
    *status = s;
    return;
  }
  Index->OwnDeletionsWritten();
}

void LocationTableT::Rewrite(uint32_t i, const char* path,
                             StatusCodeT* status) {
  if (i >= Index->Header().PartitionCount) {
    *status = StatusPartitionNotFound;
    return;
  }
  StatusCodeT s = StatusNoError;
  WriteEntry(i, path, &s);
  if (s == StatusNoError) {
    FileCall(Index->File()->Flush(), StatusWriteError, &s);
  }
  if (s < 0) *status = s;
}

void LocationTableT::Change(uint32_t* i, const char* newPath,
                            const char* oldPath, StatusCodeT* status) {
  const size_t oldLength = strlen(oldPath);
  FileClassT* file = Index->File();
  if (!FileCall(file->Seek(Position(0)), StatusSeekError, status)) return;
  char entry[kLocationBytes];
  for (uint32_t j = 0; j < Index->Header().PartitionCount; ++j) {
    if (!FileCall(file->Read(entry, kLocationBytes), StatusReadError, status)) {
      return;
    }
    // A damaged entry (no NUL) equals no path.
    if (LocationLength(entry) != oldLength ||
        std::memcmp(entry, oldPath, oldLength) != 0) {
      continue;
    }
    StatusCodeT s = StatusNoError;
    WriteEntry(j, newPath, &s);
    if (s == StatusNoError) FileCall(file->Flush(), StatusWriteError, &s);
    if (s < 0) {
      *status = s;
    } else {
      *i = j;
    }
    return;
  }
  *status = StatusPartitionNotFound;
}

void LocationTableT::Replace(const char* path, uint32_t first, uint32_t count,
                             BooleanT readFirst, StatusCodeT* status) {
  const uint32_t n = Index->Header().PartitionCount;
  if (count == 0 || first > n || count > n - first ||
      (path != nullptr && LocationLength(path) == 0)) {
    *status = StatusMalformedParameter;
    return;
  }
  // Every entry after the range moves down behind it (or behind path),
  // however many there are.
  FileClassT* file = Index->File();
  StatusCodeT s = StatusNoError;
  char entry[kLocationBytes];
  uint32_t target = first + (path != nullptr ? 1 : 0);
  for (uint32_t source = first + count; source < n && s == StatusNoError;
       ++source, ++target) {
    if ((!readFirst || FileCall(file->Seek(Position(target)) &&
                                    file->Read(entry, kLocationBytes),
                                StatusReadError, &s)) &&
        FileCall(file->Seek(Position(source)), StatusSeekError, &s) &&
        FileCall(file->Read(entry, kLocationBytes), StatusReadError, &s) &&
        FileCall(file->Seek(Position(target)), StatusSeekError, &s)) {
      FileCall(file->Write(entry, kLocationBytes), StatusWriteError, &s);
    }
  }
  if (s == StatusNoError && path != nullptr) WriteEntry(first, path, &s);
  IndexHeaderInfoT& h = Index->EditHeader();
  const IndexHeaderInfoT before = h;
  const uint32_t tableEnd = Position(target);
  if (s == StatusNoError) Index->PlaceDeletedList(tableEnd, &s);
  if (s == StatusNoError) {
    h.PartitionCount = target;
    h.AppendPosition = tableEnd;
    h.ModificationTime = Now();
    FileCall(file->Flush() && Index->WriteFullHeader() && file->Flush(),
             StatusWriteError, &s);
  }
  if (s < 0) {
    h = before;
    *status = s;
    return;
  }
  Index->OwnDeletionsWritten();
}
