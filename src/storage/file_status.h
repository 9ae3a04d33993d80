// From a file's answer to the caller's status. FileClassT and the storage
// routines built on it answer 1 or 0 and know no status codes: which code a
// failure becomes is the caller's to say (a failed seek is a seek error to
// one caller and a read error to another, a failed open "cannot open" to a
// writer and "not found" to a reader). FileCall is that one step, and
// NewOpenFile (NewTemporaryFile for session files) the step every file a
// session or an index makes begins with.

#ifndef TARVIS_STORAGE_FILE_STATUS_H_
#define TARVIS_STORAGE_FILE_STATUS_H_

#include "storage/fileclas.h"
#include "tarvis/tarvis.h"

// Answers result, the 1 or 0 of a file call (or of several joined by &&);
// when it is 0, status takes failure.
inline int FileCall(int result, StatusCodeT failure, StatusCodeT* status) {
  if (!result) *status = failure;
  return result;
}

// A file object for name (null: a fresh temporary name), opened in mode; the
// caller owns it. Null with status StatusNotEnoughMemory when the object
// cannot be made, or openFailure when it cannot be opened (the object is
// destroyed then).
FileClassT* NewOpenFile(const char* name, int mode, StatusCodeT openFailure,
                        StatusCodeT* status);

// A fresh temporary file, created: NewOpenFile with a temporary name, mode
// kFileCreate and StatusCannotOpenFile.
FileClassT* NewTemporaryFile(StatusCodeT* status);

#endif  // TARVIS_STORAGE_FILE_STATUS_H_
