// I/O fault injection, for the tests. The test build of the file primitives
// (storage/file_primitives.h) counts every call that reaches the operating
// system, keeps a trace of them, and can be armed to fail the Nth call of
// one kind or of any kind, once or from then on. A failed open, read, write,
// seek, flush, rename or remove does nothing; a failed close still releases
// the stream, as a real one does.
//
// A sync in the test build hands the bytes to the operating system but does
// not wait for the disk unless SetIoSyncToDisk(true): no test can tell (a
// killed process loses nothing the system holds), and a disk shared by many
// test runs is spared thousands of forced writes.
//
// Only the static archive the tests link holds this seam; the shared library
// is built from a plain copy of the primitives, in which none of it exists.

#ifndef TARVIS_STORAGE_FAULT_INJECTION_H_
#define TARVIS_STORAGE_FAULT_INJECTION_H_

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

enum IoCallKindT : int {
  kIoOpen,
  kIoRead,
  kIoWrite,
  kIoSeek,   // a seek, also to the end
  kIoFlush,  // a flush, also a sync to the disk
  kIoClose,
  kIoRename,
  kIoRemove,
  kIoLock,   // an attempt at a writer lock, or opening a file to lock it
  kIoKinds,
  kIoAnyKind = kIoKinds,
};

// The name of a kind, for messages.
const char* IoCallKindName(IoCallKindT kind);

// One call as the trace keeps it.
struct IoCallT {
  IoCallKindT Kind;
  // The stream's file, the file opened or removed, or the name a rename
  // gives.
  std::string File;
  // Reads and writes: where the stream stood and the bytes asked for. Seeks:
  // the offset sought (to the end: UINT64_MAX).
  uint64_t Offset;
  uint64_t Count;
};

// ---- For the tests ----------------------------------------------------------

// Zeroes the counts, empties the trace and disarms any fault. The trace is
// kept only while tracing is on.
void ResetIoCalls();
void SetIoTracing(bool on);
// Whether syncs wait for the disk (off at start).
void SetIoSyncToDisk(bool on);
int IoSyncToDisk();
// Calls since the last reset, of one kind or of all.
uint64_t IoCallCount(IoCallKindT kind = kIoAnyKind);
const std::vector<IoCallT>& IoCallTrace();
// Makes the nth call (1-based, counted from now) of the kind fail; with
// persistent, every call of the kind after it fails too, as on a disk that
// has gone away.
void ArmIoFault(uint64_t n, IoCallKindT kind = kIoAnyKind,
                bool persistent = false);
void DisarmIoFault();
// 1 when the armed fault has struck since it was armed.
int IoFaultStruck();

// ---- For the primitives -----------------------------------------------------

// Counts a call (stream for calls on a stream, else the name) and tells
// whether it must fail.
int IoCallFails(IoCallKindT kind, FILE* stream, const std::string* name,
                uint64_t count);
// Where a stream stands, so that the trace can tell where transfers go.
void IoStreamOpened(FILE* stream, const std::string& name);
void IoStreamMoved(FILE* stream, uint64_t offset);
void IoStreamAdvanced(FILE* stream, uint64_t bytes);
void IoStreamClosed(FILE* stream);

#endif  // TARVIS_STORAGE_FAULT_INJECTION_H_
