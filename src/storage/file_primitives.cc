// The operating-system calls of FileClassT. Compiled twice: plain for the
// shared library, and with TARVIS_FAULT_INJECTION for the archive the tests
// link, where every call is counted and may be made to fail.

#include "storage/file_primitives.h"

#include <fcntl.h>
#include <stdio_ext.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#ifdef TARVIS_FAULT_INJECTION
#include "storage/fault_injection.h"
#define TV_IO_FAILS(kind, stream, name, count) \
  IoCallFails(kind, stream, name, count)
#define TV_IO_NOTE(call) call
#define TV_IO_SYNC_TO_DISK() IoSyncToDisk()
#else
#define TV_IO_FAILS(kind, stream, name, count) 0
#define TV_IO_NOTE(call) static_cast<void>(0)
#define TV_IO_SYNC_TO_DISK() 1
#endif

namespace {

constexpr uint64_t kMaxOffset = 0xFFFFFFFFu;

// Makes a rename into the directory of `name` durable. Best effort: the
// rename itself has happened and stays reported as done; a file system that
// cannot sync a directory loses only the durability across a power cut.
void SyncDirectoryOf(const std::string& name) {
  const size_t slash = name.rfind('/');
  const std::string dir = slash == std::string::npos ? std::string(".")
                          : slash == 0              ? std::string("/")
                                                    : name.substr(0, slash);
  const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  static_cast<void>(fsync(fd));
  close(fd);
}

}  // namespace

FILE* OsOpen(const std::string& name, const char* mode) {
  if (TV_IO_FAILS(kIoOpen, nullptr, &name, 0)) {
    errno = EIO;
    return nullptr;
  }
  FILE* stream = std::fopen(name.c_str(), mode);
  if (stream != nullptr) TV_IO_NOTE(IoStreamOpened(stream, name));
  return stream;
}

FILE* OsCreateExclusive(const std::string& name, int* exists) {
  *exists = 0;
  if (TV_IO_FAILS(kIoOpen, nullptr, &name, 0)) {
    errno = EIO;
    return nullptr;
  }
  const int fd =
      open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    *exists = errno == EEXIST;
    return nullptr;
  }
  FILE* stream = fdopen(fd, "w+b");
  if (stream == nullptr) {
    close(fd);
    unlink(name.c_str());
    return nullptr;
  }
  TV_IO_NOTE(IoStreamOpened(stream, name));
  return stream;
}

size_t OsRead(FILE* stream, void* buffer, size_t count) {
  if (TV_IO_FAILS(kIoRead, stream, nullptr, count)) {
    errno = EIO;
    return 0;
  }
  const size_t got = std::fread(buffer, 1, count, stream);
  TV_IO_NOTE(IoStreamAdvanced(stream, got));
  return got;
}

size_t OsReadAt(FILE* stream, void* buffer, size_t count, uint32_t offset) {
  if (TV_IO_FAILS(kIoRead, stream, nullptr, count)) {
    errno = EIO;
    return 0;
  }
  const int fd = fileno(stream);
  size_t done = 0;
  while (done < count) {
    const ssize_t got =
        pread(fd, static_cast<char*>(buffer) + done, count - done,
              static_cast<off_t>(offset) + static_cast<off_t>(done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  return done;
}

size_t OsWrite(FILE* stream, const void* buffer, size_t count) {
  if (TV_IO_FAILS(kIoWrite, stream, nullptr, count)) {
    errno = EIO;
    return 0;
  }
  const size_t put = std::fwrite(buffer, 1, count, stream);
  TV_IO_NOTE(IoStreamAdvanced(stream, put));
  return put;
}

int OsSeek(FILE* stream, uint32_t offset) {
  if (TV_IO_FAILS(kIoSeek, stream, nullptr, offset)) {
    errno = EIO;
    return 0;
  }
  if (fseeko(stream, static_cast<off_t>(offset), SEEK_SET) != 0) return 0;
  TV_IO_NOTE(IoStreamMoved(stream, offset));
  return 1;
}

int OsSeekEnd(FILE* stream, uint32_t* offset) {
  if (TV_IO_FAILS(kIoSeek, stream, nullptr, UINT64_MAX)) {
    errno = EIO;
    return 0;
  }
  if (fseeko(stream, 0, SEEK_END) != 0) return 0;
  const off_t end = ftello(stream);
  if (end < 0 || static_cast<uint64_t>(end) > kMaxOffset) return 0;
  TV_IO_NOTE(IoStreamMoved(stream, static_cast<uint64_t>(end)));
  *offset = static_cast<uint32_t>(end);
  return 1;
}

int OsFlush(FILE* stream) {
  if (TV_IO_FAILS(kIoFlush, stream, nullptr, 0)) {
    errno = EIO;
    return 0;
  }
  return std::fflush(stream) != EOF;
}

int OsSync(FILE* stream) {
  if (TV_IO_FAILS(kIoFlush, stream, nullptr, 0)) {
    errno = EIO;
    return 0;
  }
  if (std::fflush(stream) == EOF) return 0;
  return !TV_IO_SYNC_TO_DISK() || fsync(fileno(stream)) == 0;
}

int OsClose(FILE* stream) {
  // A close that fails has released the stream all the same, and the bytes
  // it held may not have reached the file.
  const int failed = TV_IO_FAILS(kIoClose, stream, nullptr, 0);
  TV_IO_NOTE(IoStreamClosed(stream));
  if (failed) __fpurge(stream);
  const int closed = std::fclose(stream) == 0;
  if (failed) errno = EIO;
  return closed && !failed;
}

int OsSetBuffer(FILE* stream, char* buffer, uint32_t size) {
  return std::setvbuf(stream, buffer, _IOFBF, size) == 0;
}

int OsRemove(const std::string& name) {
  if (TV_IO_FAILS(kIoRemove, nullptr, &name, 0)) {
    errno = EIO;
    return 0;
  }
  return std::remove(name.c_str()) == 0;
}

int OsRename(const std::string& from, const std::string& to) {
  if (TV_IO_FAILS(kIoRename, nullptr, &to, 0)) {
    errno = EIO;
    return 0;
  }
  if (std::rename(from.c_str(), to.c_str()) != 0) return 0;
  if (TV_IO_SYNC_TO_DISK()) SyncDirectoryOf(to);
  return 1;
}

int OsExists(const std::string& name) {
  return !name.empty() && access(name.c_str(), F_OK) == 0;
}

int OsDiscardReadAhead(FILE* stream) {
  if (TV_IO_FAILS(kIoFlush, stream, nullptr, 0)) {
    errno = EIO;
    return 0;
  }
  if (std::fflush(stream) == EOF) return 0;
  __fpurge(stream);
  return 1;
}

namespace {

int IdentityOf(const struct stat& info, FileIdentityT* identity) {
  identity->Device = static_cast<uint64_t>(info.st_dev);
  identity->Inode = static_cast<uint64_t>(info.st_ino);
  return 1;
}

}  // namespace

int OsStreamIdentity(FILE* stream, FileIdentityT* identity) {
  return stream != nullptr && OsDescriptorIdentity(fileno(stream), identity);
}

int OsDescriptorIdentity(int fd, FileIdentityT* identity) {
  struct stat info;
  return fstat(fd, &info) == 0 && IdentityOf(info, identity);
}

int OsNameIdentity(const std::string& name, FileIdentityT* identity) {
  struct stat info;
  return stat(name.c_str(), &info) == 0 && IdentityOf(info, identity);
}

int OsHoldOpenFile(FILE* stream) {
  if (TV_IO_FAILS(kIoOpen, stream, nullptr, 0)) {
    errno = EIO;
    return -1;
  }
  return stream != nullptr ? fcntl(fileno(stream), F_DUPFD_CLOEXEC, 0) : -1;
}

std::string OsHeldFileName(int fd) {
  return "/proc/self/fd/" + std::to_string(fd);
}

void OsReleaseHeld(int fd) {
  if (fd >= 0) close(fd);
}

int OsOpenForLock(const std::string& name) {
  if (TV_IO_FAILS(kIoLock, nullptr, &name, 0)) {
    errno = EIO;
    return -1;
  }
  // A write lock needs a descriptor open for writing; a read-only index is
  // refused before any lock is sought.
  return open(name.c_str(), O_RDWR | O_CLOEXEC);
}

int OsTryLock(int fd) {
  if (TV_IO_FAILS(kIoLock, nullptr, nullptr, 0)) {
    errno = EIO;
    return -1;
  }
  struct flock lock = {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 1;
  for (;;) {
    if (fcntl(fd, F_OFD_SETLK, &lock) == 0) return 1;
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EACCES ? 0 : -1;
  }
}

void OsCloseLock(int fd) {
  if (fd >= 0) close(fd);
}
