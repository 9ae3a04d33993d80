// Making a file object and opening it, with the caller's status.

#include "storage/file_status.h"

#include <memory>

#include "storage/allocation.h"

FileClassT* NewOpenFile(const char* name, int mode, StatusCodeT openFailure,
                        StatusCodeT* status) {
  std::unique_ptr<FileClassT> file(NewOrStatus<FileClassT>(status, name));
  if (file == nullptr ||
      !FileCall(file->Open(mode), openFailure, status)) {
    return nullptr;
  }
  return file.release();
}

FileClassT* NewTemporaryFile(StatusCodeT* status) {
  return NewOpenFile(nullptr, kFileCreate, StatusCannotOpenFile, status);
}
