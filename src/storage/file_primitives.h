// The calls through which the library reaches the operating system: opening,
// reading, writing, seeking, flushing, syncing and closing a stream;
// renaming, removing and probing a file by name; and the advisory writer
// lock on an index file. Nothing else in the library touches a file, so
// these few functions are where the test build injects I/O faults
// (storage/fault_injection.h); the shared library's copy of them is plain.

#ifndef TARVIS_STORAGE_FILE_PRIMITIVES_H_
#define TARVIS_STORAGE_FILE_PRIMITIVES_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

FILE* OsOpen(const std::string& name, const char* mode);
// Creates the file for reading and writing, failing when a file of that
// name exists already (*exists then 1): no two objects, threads or
// processes ever write one new file believing it their own.
FILE* OsCreateExclusive(const std::string& name, int* exists);
size_t OsRead(FILE* stream, void* buffer, size_t count);
size_t OsWrite(FILE* stream, const void* buffer, size_t count);
// Reads at offset without moving the stream's offset or touching its buffer;
// short only at the end of the file or on an error.
size_t OsReadAt(FILE* stream, void* buffer, size_t count, uint32_t offset);
// 1 when the stream now stands at offset.
int OsSeek(FILE* stream, uint32_t offset);
// Seeks to the end and reports the offset there; fails beyond 32 bits.
int OsSeekEnd(FILE* stream, uint32_t* offset);
// Hands the stream's buffered bytes to the operating system.
int OsFlush(FILE* stream);
// Flushes, then forces the file's data to the disk.
int OsSync(FILE* stream);
// The stream is released whatever the outcome.
int OsClose(FILE* stream);
int OsSetBuffer(FILE* stream, char* buffer, uint32_t size);
int OsRemove(const std::string& name);
int OsRename(const std::string& from, const std::string& to);
int OsExists(const std::string& name);
// Drops whatever the stream has read ahead, so that the next read sees what
// another process wrote since; bytes waiting to be written are written
// first. 1 on success.
int OsDiscardReadAhead(FILE* stream);

// Which file an open stream or descriptor, or a name, stands for.
struct FileIdentityT {
  uint64_t Device = 0;
  uint64_t Inode = 0;
  bool operator==(const FileIdentityT& other) const {
    return Device == other.Device && Inode == other.Inode;
  }
  bool operator!=(const FileIdentityT& other) const {
    return !(*this == other);
  }
};
int OsStreamIdentity(FILE* stream, FileIdentityT* identity);
int OsDescriptorIdentity(int fd, FileIdentityT* identity);
int OsNameIdentity(const std::string& name, FileIdentityT* identity);

// Holding an open file: a second descriptor of the stream's open file
// (counted as an open), which keeps the file reachable after it was renamed
// or removed; -1 on failure. The name under which the held file opens once
// more as a stream of its own (its own position); and the release.
int OsHoldOpenFile(FILE* stream);
std::string OsHeldFileName(int fd);
void OsReleaseHeld(int fd);

// The writer lock: an open-file-description lock on the first byte of a
// file, which the kernel releases when the descriptor is closed or the
// process dies, and which two descriptors of one process (two threads, two
// managers) hold against each other. Readers take no lock.
//
// Opens the file to lock it: a descriptor, or -1.
int OsOpenForLock(const std::string& name);
// One attempt at the lock: 1 taken, 0 held by another description, -1 on
// an error.
int OsTryLock(int fd);
// Releases the lock with the descriptor.
void OsCloseLock(int fd);

#endif  // TARVIS_STORAGE_FILE_PRIMITIVES_H_
