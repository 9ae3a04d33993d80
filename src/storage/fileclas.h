// FileClassT: the one file abstraction of the library. Every index file, run
// file, temporary file and B-tree file is a FileClassT. On top of a buffered
// stream it offers big-endian typed reads and writes, views (several
// independently positioned and buffered cursors over one open file), a small
// least-recently-used page cache, and the naming of temporary files.
//
// Every operation returns 1 for success and 0 for failure (GetLength,
// GetPosition, Name and ReadN return values instead); callers map a 0 to
// their own status code. File positions are 32-bit, as in the file formats.

#ifndef TARVIS_STORAGE_FILECLAS_H_
#define TARVIS_STORAGE_FILECLAS_H_

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>

#include "storage/file_primitives.h"

// Open modes.
enum : int {
  kFileCreate = 1,    // "wb+": create or truncate, read and write
  kFileReadWrite = 2, // "rb+": existing file, read and write
  kFileReadOnly = 4,  // "rb": existing file, read only
};

// The process-wide prefix of temporary file names (empty at load) and the
// counter that numbers them (never reset). Threads may name files at once;
// the prefix is read and set only through the functions below.
extern char TempTempFileNamePosition[1024];
extern std::atomic<uint32_t> TempFileNameCounter;

// Sets the prefix; null empties it. A location of 1024 bytes or more does not
// fit and is refused (0), leaving the prefix as it was.
int SetTemporaryFileLocation(const char* location);
// Copies the prefix, with its terminating NUL, into out (1024 bytes).
void CopyTemporaryFileLocation(char* out);

// A lock carried by every file object; no file operation takes it and it
// locks nothing. Callers that share file objects between threads serialise
// them themselves.
class MutexT {
 public:
  int GetMutex() { return 1; }
  int ReleaseMutex() { return 1; }
};

// A view's private stream buffer.
struct FileClassBufferT {
  enum State : int { kWriting = 1, kReading = 2, kEmpty = 3 };
  int Allocated = 0;
  unsigned char* Data = nullptr;
  uint32_t Capacity = 0;
  int BufferState = kEmpty;
  uint32_t DirtyCount = 0;  // bytes written into the buffer, not yet on disk
  uint32_t ValidCount = 0;  // bytes read into the buffer
  uint32_t Start = 0;       // file offset of Data[0]
};

// One page of the page cache.
struct BufferHeaderT {
  uint32_t Offset = 0;
  uint32_t Size = 0;
  uint8_t AllocatedFlag = 0;
  uint8_t Dirty = 0;
  unsigned char* Data = nullptr;
  BufferHeaderT* Next = nullptr;
  const void* Owner = nullptr;
};

class FileClassT {
 public:
  // A root for the given name; null makes a fresh temporary name from the
  // prefix, the process id and the counter ("%sT%u_%u.tmp", skipping names
  // that exist). Not opened; opening a temporary name with kFileCreate
  // creates the file exclusively, moving to a fresh name when another
  // process or thread has made a file of that name meanwhile.
  explicit FileClassT(const char* name);
  // A root with no name.
  FileClassT();
  // A view over other's stream with a private buffer of bufferSize bytes
  // (0 means 4096), positioned at 0. When other is a root, it is turned into
  // a view in place (pointers held to it stay good, and it keeps its
  // position) and a new root takes over its stream, name and page cache.
  FileClassT(FileClassT* other, uint32_t bufferSize);
  // A view over a new root of that name (null: a temporary name). The root's
  // stdio buffer has blockSize bytes, this view's buffer bufferSize bytes.
  FileClassT(const char* name, uint32_t blockSize, uint32_t bufferSize);
  // A view writes its buffer; the last view of a root closes and destroys
  // the root. A root writes back its dirty pages and closes its stream.
  virtual ~FileClassT();

  FileClassT(const FileClassT&) = delete;
  FileClassT& operator=(const FileClassT&) = delete;

  // 1 when construction succeeded; callers check it after constructing. An
  // object that is not valid is inert: every operation on it fails.
  int IsValid() const { return Valid; }

  // Modes kFileCreate, kFileReadWrite, kFileReadOnly; any other fails. On a
  // view, opening reopens the root and restores the positions every view of
  // it had when it was closed.
  virtual int Open(int mode);
  // A view writes out the buffers of every view of its root, remembers their
  // positions and closes the root. 0 when a write or the close failed (the
  // stream is closed all the same). Closing a closed file succeeds.
  virtual int Close();
  virtual int Exists();
  // Closes, then removes the file.
  virtual int Delete();
  // Closes, then renames the file on disk; the object takes the new name.
  virtual int Rename(const char* newName);
  // Renames the file on disk while it stays open, its buffered bytes
  // written first; the object takes the new name.
  int MoveTo(const char* newName);
  virtual int IsOpen();
  virtual const char* Name();
  // Holds the file this object has open (OsHoldOpenFile): a descriptor that
  // keeps it reachable, however it is renamed or removed, until
  // OsReleaseHeld; -1 when no stream is open or the call fails.
  int HoldOpenFile();
  // Includes the bytes views hold in their buffers and have not yet written.
  // 0 on failure.
  virtual uint32_t GetLength();
  // The same, telling a failure (0) from an empty file.
  int MeasureLength(uint32_t* length);

  // Reads exactly count bytes; 0 when fewer were available (those are
  // delivered and the position advances over them).
  virtual int Read(void* buffer, uint32_t count);
  // Reads up to itemSize * itemCount bytes; returns the whole items read.
  virtual uint32_t ReadN(void* buffer, uint32_t itemSize, uint32_t itemCount);
  virtual int ReadLong(uint32_t* value);
  virtual int ReadFloat(float* value);
  virtual int ReadShort(uint16_t* value);
  // Reads 8 bytes and keeps the low 4.
  virtual int ReadOffset(uint32_t* value);
  virtual int GetCh(char* c);

  // Fails, writing nothing, when the position would pass 0xFFFFFFFF or the
  // file is read-only.
  virtual int Write(const void* buffer, uint32_t count);
  virtual int WriteLong(uint32_t value);
  virtual int WriteFloat(float value);
  virtual int WriteShort(uint16_t value);
  // Writes four zero bytes, then the 32-bit value.
  virtual int WriteOffset(uint32_t value);
  virtual int PutCh(char c);

  // 0 when the file is not open.
  virtual uint32_t GetPosition();
  // On a view, seeking strictly inside the read buffer keeps the buffer;
  // anything else (its exact start included) empties it. No disk access
  // happens until the next read or write.
  virtual int Seek(uint32_t offset);
  virtual int SeekBeginning();
  virtual int SeekEnd();

  // Writes count bytes of source, from its offset start, at this object's
  // position, in chunks of 2048 bytes; overlapping ranges of one file are
  // copied correctly. Afterwards the position is just past the copy.
  virtual int Copy(FileClassT* source, uint32_t start, uint32_t count);
  // Writes everything of source from offset start to its end (as measured
  // when the copy begins) here, in chunks of 128 bytes.
  virtual int CopyAll(FileClassT* source, uint32_t start);
  // A view writes its buffer; then the stream is flushed.
  virtual int Flush();
  // Makes the root's stdio buffer size bytes (fully buffered). The file
  // allocates and owns that buffer, so `buffer` need not outlive the call;
  // it is not used. On a closed file the size applies from the next Open.
  virtual int SetBuff(char* buffer, uint32_t size);

  // Flush, then force the file's bytes to the disk (before a rename puts
  // the file in place of another).
  int Sync();
  // Forgets every byte read ahead, in the stream and in the views' read
  // buffers, so that the next reads see what another process wrote since
  // (the page cache is kept: it holds only bytes that never change under a
  // reader). Bytes waiting to be written are written first.
  int DiscardReadAhead();
  // The file this object has open; 0 when it is closed.
  int Identity(FileIdentityT* identity);

  uint32_t BlockSize() const { return 2048; }
  int IsReadOnly() const { return ReadOnly; }

  // Page cache, always kept on the root.
  // Raises the page capacity by count; never below 15.
  int AddBuffers(int count);
  // Evicts min(count, pages held) least recently used pages.
  int ReduceBuffers(uint32_t count);
  // The data of the page at (offset, size), read through the cache; null on
  // failure. Valid until the page is evicted.
  unsigned char* GetBuffer(uint32_t offset, uint32_t size);
  // Stores the bytes for (offset, size) as a dirty page; a dirty page is
  // written back when it is evicted, flushed or the file closed.
  int WriteBuffer(uint32_t offset, uint32_t size, const unsigned char* data);
  int FlushBuffers();

 protected:
  // View buffer transfer: fill from fillOffset (1 when bytes arrived), and
  // write out the dirty bytes, leaving an empty write buffer at the position.
  int BufferRead(uint32_t fillOffset);
  int BufferWrite();
  // Root page list: evict the tail, writing it back first when dirty.
  int RemoveLastBuffer();
  BufferHeaderT* ReadInBuffer(uint32_t offset, uint32_t size);
  FileClassT* RootOf() { return IsView ? Root : this; }

  int Valid = 0;
  int OpenFlag = 0;
  int Mode = 0;
  uint32_t PageCount = 0;
  uint32_t MaximumPages = 0;
  const void* OwnerId = nullptr;
  BufferHeaderT* PageList = nullptr;
  int IsView = 0;
  FileClassBufferT StreamBuffer;  // views only
  uint32_t StdioBlockSize = 4096;
  uint32_t BufferOffset = 0;
  uint32_t ViewCount = 1;
  FileClassT* Root = nullptr;
  FileClassT* NextView = nullptr;
  uint32_t ViewBufferSize = 0;
  uint32_t SavedPosition = 0;
  int PositionSaved = 0;
  int ReadOnly = 0;
  std::string FileName;
  FILE* Stream = nullptr;
  uint32_t Position = 0;
  MutexT Lock;

 private:
  // What the root's stream did last: stdio needs a seek between a read and
  // a write, and after a short transfer the real offset is re-established.
  enum StreamOp : int { kNoOp, kSeeked, kReadOp, kWriteOp, kUnsure };

  // Root stream primitives; they keep Position and LastOp in step.
  int StreamSeek(uint32_t offset);
  int PrepareTransfer(int op);
  uint32_t StreamRead(void* buffer, uint32_t count);
  // Reads at offset; Position and LastOp move only when the bytes have to
  // come through the stream (see the definition).
  uint32_t StreamReadAt(uint32_t offset, void* buffer, uint32_t count);
  int StreamWrite(const void* buffer, uint32_t count);
  int CloseStream();
  int ApplyStdioBuffer();

  // Views.
  int AllocateNewBuffer(uint32_t size);
  int MakeViewInPlace();
  void LinkView(FileClassT* root);
  void ResetBuffer(int state, uint32_t start);
  uint32_t ViewRead(unsigned char* out, uint32_t count);
  int ViewWrite(const unsigned char* in, uint32_t count);
  int ViewSeek(uint32_t offset);
  // For a root: write every view's pending bytes; the furthest end of bytes
  // views hold unwritten.
  int FlushViews();
  uint32_t PendingEnd();

  // Pages.
  BufferHeaderT* FindPage(uint32_t offset, uint32_t size);
  BufferHeaderT* NewPage(uint32_t size);
  void PushPage(BufferHeaderT* page);
  int WritePage(const BufferHeaderT* page);
  void FreeAllPages();

  int CopyWithinFile(uint32_t start, uint32_t count);

  // Creates the temporary file exclusively (see the constructor).
  FILE* CreateTemporary();

  int LastOp = kNoOp;
  char* StdioBuffer = nullptr;  // owned; given to the stream by setvbuf
  int TemporaryName = 0;  // a temporary name not yet created
};

#endif  // TARVIS_STORAGE_FILECLAS_H_
