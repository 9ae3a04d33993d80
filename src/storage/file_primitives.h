// The calls through which FileClassT reaches the operating system: opening,
// reading, writing, seeking, flushing, syncing and closing a stream, and
// renaming, removing and probing a file by name. Nothing else in the library
// touches a file, so these few functions are where the test build injects
// I/O faults (storage/fault_injection.h); the shared library's copy of them
// is plain.

#ifndef TARVIS_STORAGE_FILE_PRIMITIVES_H_
#define TARVIS_STORAGE_FILE_PRIMITIVES_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

FILE* OsOpen(const std::string& name, const char* mode);
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

#endif  // TARVIS_STORAGE_FILE_PRIMITIVES_H_
