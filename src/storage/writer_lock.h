// WriterLockT: the lock a writer holds while it commits a change to an index
// file. Only commits take it, for as long as they write; the long work
// before (building a partition, merging partitions) runs without it, and
// readers never take it.
//
// The lock is the kernel's advisory lock on the index file itself, so a
// crashed writer leaves nothing behind: the lock goes with the process. An
// index file can be replaced by another (the end of an optimisation renames
// a new file over the old one); a lock on the old file would guard nothing,
// so once the lock is taken the file locked is compared with the file the
// name now stands for, and the lock is taken again on the new one when they
// differ.

#ifndef TARVIS_STORAGE_WRITER_LOCK_H_
#define TARVIS_STORAGE_WRITER_LOCK_H_

#include <cstdint>
#include <string>

#include "storage/file_primitives.h"

class WriterLockT {
 public:
  enum ResultT { kLocked, kTimedOut, kFailed };

  WriterLockT() = default;
  ~WriterLockT() { Release(); }
  WriterLockT(const WriterLockT&) = delete;
  WriterLockT& operator=(const WriterLockT&) = delete;

  // Takes the lock on the file now named name, trying for up to timeoutMs
  // milliseconds (0: one try). kFailed when the file cannot be opened for
  // writing or locked at all.
  ResultT Acquire(const std::string& name, uint32_t timeoutMs);
  void Release();
  int IsHeld() const { return Fd >= 0; }
  // The file locked, while the lock is held.
  const FileIdentityT& Identity() const { return Locked; }

 private:
  int Fd = -1;
  FileIdentityT Locked;
};

#endif  // TARVIS_STORAGE_WRITER_LOCK_H_
