// FileClassT: buffered file with views, temporary names and big-endian typed
// I/O (the page cache is in page_cache.cc).
//
// A root owns the stdio stream and tracks its offset (Position), so that it
// seeks only when an operation needs another offset. A view owns a buffer in
// one of three states (writing, reading, empty) and reaches the disk only
// through its root: it reads at an offset and writes after seeking the root;
// reads and writes that fit in the buffer are a plain memory copy. Everything
// that touches the operating system goes through the Os* primitives
// (file_primitives.h).

#include "storage/fileclas.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "storage/allocation.h"
#include "storage/check.h"
#include "storage/file_primitives.h"

char TempTempFileNamePosition[1024] = "";
std::atomic<uint32_t> TempFileNameCounter{0};

namespace {

// Guards the location: a host may set it while other threads name files.
std::mutex& LocationMutex() {
  static std::mutex* mutex = new std::mutex;
  return *mutex;
}

}  // namespace

int SetTemporaryFileLocation(const char* location) {
  std::lock_guard<std::mutex> guard(LocationMutex());
  if (location == nullptr) {
    TempTempFileNamePosition[0] = '\0';
    return 1;
  }
  size_t length = strnlen(location, sizeof(TempTempFileNamePosition));
  if (length >= sizeof(TempTempFileNamePosition)) return 0;
  std::memcpy(TempTempFileNamePosition, location, length + 1);
  return 1;
}

void CopyTemporaryFileLocation(char* out) {
  std::lock_guard<std::mutex> guard(LocationMutex());
  std::memcpy(out, TempTempFileNamePosition,
              strnlen(TempTempFileNamePosition,
                      sizeof(TempTempFileNamePosition) - 1) + 1);
}

namespace {

constexpr uint32_t kMaxPosition = 0xFFFFFFFFu;
constexpr uint32_t kDefaultBufferSize = 4096;
constexpr uint32_t kCopyChunk = 2048;
constexpr uint32_t kCopyAllChunk = 128;

// ---- Helpers ----------------------------------------------------------------

const char* OpenModeString(int mode) {
  switch (mode) {
    case kFileCreate: return "wb+";
    case kFileReadWrite: return "rb+";
    case kFileReadOnly: return "rb";
    default: return nullptr;
  }
}

void PutBigEndian32(unsigned char* out, uint32_t value) {
  out[0] = static_cast<unsigned char>(value >> 24);
  out[1] = static_cast<unsigned char>(value >> 16);
  out[2] = static_cast<unsigned char>(value >> 8);
  out[3] = static_cast<unsigned char>(value);
}

uint32_t GetBigEndian32(const unsigned char* in) {
  return (static_cast<uint32_t>(in[0]) << 24) |
         (static_cast<uint32_t>(in[1]) << 16) |
         (static_cast<uint32_t>(in[2]) << 8) | static_cast<uint32_t>(in[3]);
}

// "<location>T<process>_<counter>.tmp": the process id keeps processes
// sharing a location apart, the atomic counter the threads of one. A name
// left by a process that died under the same id is passed over here when
// it exists, and by the exclusive creation in Open when it appears between.
std::string NextTemporaryName() {
  std::string prefix;
  {
    std::lock_guard<std::mutex> guard(LocationMutex());
    prefix.assign(TempTempFileNamePosition,
                  strnlen(TempTempFileNamePosition,
                          sizeof(TempTempFileNamePosition)));
  }
  const std::string process = "T" + std::to_string(getpid()) + "_";
  for (;;) {
    std::string name = prefix + process +
                       std::to_string(TempFileNameCounter.fetch_add(1)) +
                       ".tmp";
    if (!OsExists(name)) return name;
  }
}

}  // namespace

// ---- Construction and destruction -------------------------------------------

FileClassT::FileClassT() : Valid(1), OwnerId(this) {}

FileClassT::FileClassT(const char* name)
    : Valid(1), OwnerId(this), TemporaryName(name == nullptr) {
  FileName = name != nullptr ? std::string(name) : NextTemporaryName();
}

// An object whose construction fails stays a closed root without a name,
// on which every operation fails.
FileClassT::FileClassT(FileClassT* other, uint32_t bufferSize)
    : OwnerId(this) {
  if (other == nullptr || !other->Valid) return;
  if (!other->IsView && !other->MakeViewInPlace()) return;
  if (!AllocateNewBuffer(bufferSize)) return;
  IsView = 1;
  OpenFlag = other->OpenFlag;
  ReadOnly = other->ReadOnly;
  Mode = other->Mode;
  LinkView(other->Root);
  Valid = 1;
}

FileClassT::FileClassT(const char* name, uint32_t blockSize,
                       uint32_t bufferSize)
    : OwnerId(this) {
  FileClassT* root = NewOrNull<FileClassT>(name);
  if (root == nullptr) return;
  if (!AllocateNewBuffer(bufferSize)) {
    delete root;
    return;
  }
  if (blockSize != 0) root->StdioBlockSize = blockSize;
  root->ViewCount = 0;
  IsView = 1;
  LinkView(root);
  Valid = 1;
}

FileClassT::~FileClassT() {
  if (IsView) {
    // Pending bytes are written even when other views remain.
    if (OpenFlag && StreamBuffer.BufferState == FileClassBufferT::kWriting) {
      BufferWrite();
    }
    FileClassT** link = &Root->NextView;
    while (*link != this) link = &(*link)->NextView;
    *link = NextView;
    if (--Root->ViewCount == 0) delete Root;
  } else {
    CloseStream();
    FreeAllPages();
  }
  delete[] StreamBuffer.Data;
}

int FileClassT::AllocateNewBuffer(uint32_t size) {
  if (size == 0) size = kDefaultBufferSize;
  FileClassBufferT& b = StreamBuffer;
  b.Data = NewArrayOrNull<unsigned char>(size);
  if (b.Data == nullptr) return 0;
  b.Allocated = 1;
  b.Capacity = size;
  ViewBufferSize = size;
  ResetBuffer(FileClassBufferT::kEmpty, Position);
  return 1;
}

// Turns this root into a view of a new root that takes over its stream,
// name and page cache, so that pointers held to this object stay good.
int FileClassT::MakeViewInPlace() {
  FileClassT* root = NewOrNull<FileClassT>();
  if (root == nullptr) return 0;
  if (!AllocateNewBuffer(StdioBlockSize)) {
    delete root;
    return 0;
  }
  root->OpenFlag = OpenFlag;
  root->Mode = Mode;
  root->PageCount = PageCount;
  root->MaximumPages = MaximumPages;
  root->OwnerId = OwnerId;
  root->PageList = PageList;
  root->StdioBlockSize = StdioBlockSize;
  root->ReadOnly = ReadOnly;
  root->FileName = std::move(FileName);
  root->Stream = Stream;
  root->Position = Position;
  root->LastOp = LastOp;
  root->StdioBuffer = StdioBuffer;
  root->ViewCount = 0;
  PageCount = 0;
  PageList = nullptr;
  FileName.clear();
  Stream = nullptr;
  StdioBuffer = nullptr;
  IsView = 1;
  LinkView(root);
  return 1;
}

void FileClassT::LinkView(FileClassT* root) {
  Root = root;
  NextView = root->NextView;
  root->NextView = this;
  ++root->ViewCount;
}

void FileClassT::ResetBuffer(int state, uint32_t start) {
  FileClassBufferT& b = StreamBuffer;
  b.BufferState = state;
  b.Start = start;
  b.DirtyCount = 0;
  b.ValidCount = 0;
  BufferOffset = 0;
}

// ---- Root stream primitives ---------------------------------------------------

int FileClassT::StreamSeek(uint32_t offset) {
  if (Stream == nullptr) return 0;
  if (offset == Position && LastOp != kUnsure) return 1;
  if (!OsSeek(Stream, offset)) {
    LastOp = kUnsure;
    return 0;
  }
  Position = offset;
  LastOp = kSeeked;
  return 1;
}

// A read after a write or a write after a read needs a seek in between,
// and after a short transfer a seek re-establishes the stream's offset.
int FileClassT::PrepareTransfer(int op) {
  if (LastOp == op || LastOp == kNoOp || LastOp == kSeeked) return 1;
  if (OsSeek(Stream, Position)) return 1;
  LastOp = kUnsure;
  return 0;
}

uint32_t FileClassT::StreamRead(void* buffer, uint32_t count) {
  if (Stream == nullptr) return 0;
  count = std::min(count, kMaxPosition - Position);
  if (!PrepareTransfer(kReadOp)) return 0;
  uint32_t got = static_cast<uint32_t>(OsRead(Stream, buffer, count));
  Position += got;
  // After a short read the stream's end-of-file mark is set; the next
  // transfer seeks, which clears it.
  LastOp = got == count ? kReadOp : kUnsure;
  return got;
}

// Views fill their buffers at scattered offsets: one positioned read does
// what a seek and a buffered read (which stdio splits at its block
// boundaries) take two or three system calls for. The stream may hold
// written bytes not yet handed to the system only when the last transfer was
// a write (a seek hands them over) or its state is unsure; then the bytes
// are read through the stream, which sees them.
uint32_t FileClassT::StreamReadAt(uint32_t offset, void* buffer,
                                  uint32_t count) {
  if (Stream == nullptr) return 0;
  if (LastOp == kWriteOp || LastOp == kUnsure) {
    return StreamSeek(offset) ? StreamRead(buffer, count) : 0;
  }
  count = std::min(count, kMaxPosition - offset);
  return static_cast<uint32_t>(OsReadAt(Stream, buffer, count, offset));
}

int FileClassT::StreamWrite(const void* buffer, uint32_t count) {
  if (Stream == nullptr || ReadOnly || count > kMaxPosition - Position) {
    return 0;
  }
  if (!PrepareTransfer(kWriteOp)) return 0;
  uint32_t put = static_cast<uint32_t>(OsWrite(Stream, buffer, count));
  Position += put;
  LastOp = put == count ? kWriteOp : kUnsure;
  return put == count;
}

int FileClassT::CloseStream() {
  if (Stream == nullptr) {
    OpenFlag = 0;
    return 1;
  }
  int ok = FlushBuffers();
  if (!OsClose(Stream)) ok = 0;
  Stream = nullptr;
  OpenFlag = 0;
  delete[] StdioBuffer;
  StdioBuffer = nullptr;
  return ok;
}

// Gives the stream a buffer of StdioBlockSize bytes owned by this root.
int FileClassT::ApplyStdioBuffer() {
  if (LastOp != kNoOp && !OsFlush(Stream)) return 0;
  char* buffer = NewArrayOrNull<char>(StdioBlockSize);
  if (buffer == nullptr) return 0;
  if (!OsSetBuffer(Stream, buffer, StdioBlockSize)) {
    delete[] buffer;
    return 0;
  }
  delete[] StdioBuffer;
  StdioBuffer = buffer;
  return 1;
}

int FileClassT::MeasureLength(uint32_t* length) {
  if (IsView) {
    if (!Root->MeasureLength(length)) return 0;
    *length = std::max(*length, Root->PendingEnd());
    return 1;
  }
  if (Stream == nullptr) {
    FILE* probe = OsOpen(FileName, "rb");
    if (probe == nullptr) return 0;
    int ok = OsSeekEnd(probe, length);
    OsClose(probe);
    return ok;
  }
  int ok = OsSeekEnd(Stream, length);
  LastOp = kUnsure;  // the stream is away from Position now
  return StreamSeek(Position) && ok;
}

// ---- File operations -------------------------------------------------------

int FileClassT::Open(int mode) {
  const char* modeString = OpenModeString(mode);
  if (modeString == nullptr || !Valid) return 0;
  if (OpenFlag) return 1;
  if (IsView) {
    if (!Root->Open(mode)) return 0;
    for (FileClassT* v = Root->NextView; v != nullptr; v = v->NextView) {
      if (v->OpenFlag) continue;
      v->OpenFlag = 1;
      v->Mode = mode;
      v->ReadOnly = Root->ReadOnly;
      if (v->PositionSaved) {
        v->Position = v->SavedPosition;
        v->PositionSaved = 0;
      }
      v->ResetBuffer(FileClassBufferT::kEmpty, Position);
    }
    return 1;
  }
  if (Stream == nullptr) {
    Stream = TemporaryName && mode == kFileCreate ? CreateTemporary()
                                                   : OsOpen(FileName, modeString);
    if (Stream == nullptr) return 0;
    Position = 0;
    LastOp = kNoOp;
    // Buffering is only an optimisation: the default one serves if the
    // requested buffer cannot be had.
    ApplyStdioBuffer();
  }
  OpenFlag = 1;
  Mode = mode;
  ReadOnly = mode == kFileReadOnly;
  return 1;
}

FILE* FileClassT::CreateTemporary() {
  // A name taken meanwhile by another process or thread is given up for
  // the next one; once created, the file is this object's.
  for (int tries = 0; tries < 1000; ++tries) {
    int exists = 0;
    FILE* stream = OsCreateExclusive(FileName, &exists);
    if (stream != nullptr) {
      TemporaryName = 0;
      return stream;
    }
    if (!exists) return nullptr;
    FileName = NextTemporaryName();
  }
  return nullptr;
}

int FileClassT::Close() {
  if (!OpenFlag) return 1;
  if (!IsView) return CloseStream();
  int ok = 1;
  for (FileClassT* v = Root->NextView; v != nullptr; v = v->NextView) {
    if (v->StreamBuffer.BufferState == FileClassBufferT::kWriting &&
        !v->BufferWrite()) {
      ok = 0;
    }
    v->SavedPosition = v->Position;
    v->PositionSaved = 1;
    v->OpenFlag = 0;
    v->ResetBuffer(FileClassBufferT::kEmpty, Position);
  }
  if (!Root->CloseStream()) ok = 0;
  return ok;
}

int FileClassT::Exists() {
  return IsView ? Root->Exists() : OsExists(FileName);
}

int FileClassT::Delete() {
  Close();
  if (IsView) return Root->Delete();
  return OsRemove(FileName);
}

int FileClassT::MoveTo(const char* newName) {
  if (newName == nullptr) return 0;
  if (IsView) return Flush() && Root->MoveTo(newName);
  if (!FlushViews() || !Flush() || !OsRename(FileName, newName)) return 0;
  FileName = newName;
  return 1;
}

int FileClassT::Rename(const char* newName) {
  if (newName == nullptr) return 0;
  Close();
  if (IsView) return Root->Rename(newName);
  if (!OsRename(FileName, newName)) return 0;
  FileName = newName;
  return 1;
}

int FileClassT::IsOpen() { return OpenFlag; }

const char* FileClassT::Name() {
  return IsView ? Root->FileName.c_str() : FileName.c_str();
}

int FileClassT::HoldOpenFile() {
  FILE* stream = RootOf()->Stream;
  return stream != nullptr ? OsHoldOpenFile(stream) : -1;
}

uint32_t FileClassT::GetLength() {
  uint32_t length = 0;
  return MeasureLength(&length) ? length : 0;
}

// ---- Views -------------------------------------------------------------------

int FileClassT::BufferRead(uint32_t fillOffset) {
  FileClassBufferT& b = StreamBuffer;
  ResetBuffer(FileClassBufferT::kReading, fillOffset);
  uint32_t want = std::min(b.Capacity, kMaxPosition - fillOffset);
  if (want == 0) return 0;
  b.ValidCount = Root->StreamReadAt(fillOffset, b.Data, want);
  return b.ValidCount != 0;
}

int FileClassT::BufferWrite() {
  FileClassBufferT& b = StreamBuffer;
  if (b.DirtyCount != 0 &&
      (!Root->StreamSeek(b.Start) || !Root->StreamWrite(b.Data, b.DirtyCount))) {
    return 0;
  }
  ResetBuffer(FileClassBufferT::kWriting, Position);
  return 1;
}

// Delivers up to count bytes at the position; returns how many.
uint32_t FileClassT::ViewRead(unsigned char* out, uint32_t count) {
  if (!OpenFlag) return 0;
  FileClassBufferT& b = StreamBuffer;
  uint32_t done = 0;
  while (done < count) {
    if (b.BufferState != FileClassBufferT::kReading ||
        BufferOffset == b.ValidCount) {
      if (b.BufferState == FileClassBufferT::kWriting && !BufferWrite()) break;
      uint32_t rest = count - done;
      if (rest >= b.Capacity) {
        // A large read bypasses the buffer.
        uint32_t got = Root->StreamReadAt(Position, out + done, rest);
        Position += got;
        done += got;
        ResetBuffer(FileClassBufferT::kEmpty, Position);
        break;
      }
      // Refilling at the position (rather than treating a short buffer as
      // the end) also sees bytes other views appended since.
      if (!BufferRead(Position)) break;
    }
    uint32_t n = std::min(count - done, b.ValidCount - BufferOffset);
    std::memcpy(out + done, b.Data + BufferOffset, n);
    BufferOffset += n;
    Position += n;
    done += n;
  }
  return done;
}

int FileClassT::ViewWrite(const unsigned char* in, uint32_t count) {
  if (!OpenFlag || ReadOnly || count > kMaxPosition - Position) return 0;
  FileClassBufferT& b = StreamBuffer;
  if (b.BufferState != FileClassBufferT::kWriting) {
    ResetBuffer(FileClassBufferT::kWriting, Position);
  }
  while (count != 0) {
    if (BufferOffset == b.Capacity && !BufferWrite()) return 0;
    if (BufferOffset == 0 && count >= b.Capacity) {
      // A large write bypasses the buffer.
      if (!Root->StreamSeek(Position) || !Root->StreamWrite(in, count)) {
        return 0;
      }
      Position += count;
      b.Start = Position;
      return 1;
    }
    uint32_t n = std::min(count, b.Capacity - BufferOffset);
    std::memcpy(b.Data + BufferOffset, in, n);
    BufferOffset += n;
    b.DirtyCount = BufferOffset;
    Position += n;
    in += n;
    count -= n;
  }
  TV_CHECK(BufferOffset <= b.Capacity);
  return 1;
}

int FileClassT::ViewSeek(uint32_t offset) {
  if (!OpenFlag) return 0;
  FileClassBufferT& b = StreamBuffer;
  if (b.BufferState == FileClassBufferT::kWriting && !BufferWrite()) return 0;
  // The lower bound is strict: seeking to the buffer's very start reloads it.
  if (b.BufferState == FileClassBufferT::kReading && offset > b.Start &&
      offset - b.Start < b.ValidCount) {
    BufferOffset = offset - b.Start;
    Position = offset;
    return 1;
  }
  Position = offset;
  ResetBuffer(FileClassBufferT::kEmpty, Position);
  return 1;
}

int FileClassT::FlushViews() {
  int ok = 1;
  for (FileClassT* v = NextView; v != nullptr; v = v->NextView) {
    if (v->StreamBuffer.DirtyCount != 0 && !v->BufferWrite()) ok = 0;
  }
  return ok;
}

uint32_t FileClassT::PendingEnd() {
  uint32_t end = 0;
  for (FileClassT* v = NextView; v != nullptr; v = v->NextView) {
    const FileClassBufferT& b = v->StreamBuffer;
    if (b.DirtyCount != 0) end = std::max(end, b.Start + b.DirtyCount);
  }
  return end;
}

// ---- Byte transfer -------------------------------------------------------------

int FileClassT::Read(void* buffer, uint32_t count) {
  if (IsView) {
    FileClassBufferT& b = StreamBuffer;
    if (b.BufferState == FileClassBufferT::kReading &&
        count <= b.ValidCount - BufferOffset) {
      std::memcpy(buffer, b.Data + BufferOffset, count);
      BufferOffset += count;
      Position += count;
      return 1;
    }
    return ViewRead(static_cast<unsigned char*>(buffer), count) == count;
  }
  return OpenFlag && StreamRead(buffer, count) == count;
}

uint32_t FileClassT::ReadN(void* buffer, uint32_t itemSize,
                           uint32_t itemCount) {
  if (itemSize == 0) return 0;
  uint64_t wanted = static_cast<uint64_t>(itemSize) * itemCount;
  uint32_t count = static_cast<uint32_t>(
      std::min<uint64_t>(wanted, kMaxPosition / itemSize * itemSize));
  uint32_t got = 0;
  if (IsView) {
    got = ViewRead(static_cast<unsigned char*>(buffer), count);
  } else if (OpenFlag) {
    got = StreamRead(buffer, count);
  }
  return got / itemSize;
}

int FileClassT::GetCh(char* c) {
  FileClassBufferT& b = StreamBuffer;
  if (IsView && b.BufferState == FileClassBufferT::kReading &&
      BufferOffset < b.ValidCount) {
    *c = static_cast<char>(b.Data[BufferOffset++]);
    ++Position;
    return 1;
  }
  return Read(c, 1);
}

int FileClassT::ReadLong(uint32_t* value) {
  unsigned char bytes[4];
  if (!Read(bytes, 4)) return 0;
  *value = GetBigEndian32(bytes);
  return 1;
}

int FileClassT::ReadFloat(float* value) {
  uint32_t bits;
  if (!ReadLong(&bits)) return 0;
  std::memcpy(value, &bits, sizeof(bits));
  return 1;
}

int FileClassT::ReadShort(uint16_t* value) {
  unsigned char bytes[2];
  if (!Read(bytes, 2)) return 0;
  *value = static_cast<uint16_t>((bytes[0] << 8) | bytes[1]);
  return 1;
}

int FileClassT::ReadOffset(uint32_t* value) {
  unsigned char bytes[8];
  if (!Read(bytes, 8)) return 0;
  *value = GetBigEndian32(bytes + 4);
  return 1;
}

int FileClassT::Write(const void* buffer, uint32_t count) {
  if (IsView) {
    FileClassBufferT& b = StreamBuffer;
    if (b.BufferState == FileClassBufferT::kWriting &&
        count <= b.Capacity - BufferOffset &&
        count <= kMaxPosition - Position) {
      std::memcpy(b.Data + BufferOffset, buffer, count);
      BufferOffset += count;
      b.DirtyCount = BufferOffset;
      Position += count;
      return 1;
    }
    return ViewWrite(static_cast<const unsigned char*>(buffer), count);
  }
  return OpenFlag && StreamWrite(buffer, count);
}

int FileClassT::WriteLong(uint32_t value) {
  unsigned char bytes[4];
  PutBigEndian32(bytes, value);
  return Write(bytes, 4);
}

int FileClassT::WriteFloat(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof(bits));
  return WriteLong(bits);
}

int FileClassT::WriteShort(uint16_t value) {
  unsigned char bytes[2] = {static_cast<unsigned char>(value >> 8),
                            static_cast<unsigned char>(value)};
  return Write(bytes, 2);
}

int FileClassT::WriteOffset(uint32_t value) {
  unsigned char bytes[8] = {0, 0, 0, 0};
  PutBigEndian32(bytes + 4, value);
  return Write(bytes, 8);
}

int FileClassT::PutCh(char c) { return Write(&c, 1); }

uint32_t FileClassT::GetPosition() {
  if (IsView) return OpenFlag ? Position : 0;
  return Stream != nullptr ? Position : 0;
}

int FileClassT::Seek(uint32_t offset) {
  return IsView ? ViewSeek(offset) : StreamSeek(offset);
}

int FileClassT::SeekBeginning() { return Seek(0); }

int FileClassT::SeekEnd() {
  if (!IsView) {
    if (Stream == nullptr) return 0;
    uint32_t end;
    if (!OsSeekEnd(Stream, &end)) {
      LastOp = kUnsure;
      return 0;
    }
    Position = end;
    LastOp = kSeeked;
    return 1;
  }
  if (!OpenFlag) return 0;
  if (StreamBuffer.BufferState == FileClassBufferT::kWriting &&
      !BufferWrite()) {
    return 0;
  }
  if (!Root->SeekEnd()) return 0;
  // Bytes other views hold unwritten count as part of the file.
  Position = std::max(Root->Position, Root->PendingEnd());
  ResetBuffer(FileClassBufferT::kEmpty, Position);
  return 1;
}

int FileClassT::Copy(FileClassT* source, uint32_t start, uint32_t count) {
  if (count == 0) return 1;
  if (source == nullptr || !source->Valid || count > kMaxPosition - start) {
    return 0;
  }
  FileClassT* from = source->RootOf();
  // Reading goes to the disk, so bytes views still hold must be there first.
  if (!from->FlushViews()) return 0;
  if (from == RootOf()) return CopyWithinFile(start, count);
  if (!from->Seek(start)) return 0;
  unsigned char chunk[kCopyChunk];
  while (count != 0) {
    uint32_t n = std::min(count, kCopyChunk);
    if (!from->Read(chunk, n) || !Write(chunk, n)) return 0;
    count -= n;
  }
  return 1;
}

// Copies through this object, seeking between source and destination for
// every chunk. When the destination overlaps the source from above, the
// chunks go last to first so that no source byte is overwritten before it
// is read.
int FileClassT::CopyWithinFile(uint32_t start, uint32_t count) {
  if (count == 0) return 1;
  uint32_t destination = GetPosition();
  if (count > kMaxPosition - destination) return 0;
  uint32_t chunks = count / kCopyChunk + (count % kCopyChunk != 0);
  bool backwards = destination > start && destination - start < count;
  unsigned char chunk[kCopyChunk];
  for (uint32_t i = 0; i < chunks; ++i) {
    uint32_t index = backwards ? chunks - 1 - i : i;
    uint32_t offset = index * kCopyChunk;
    uint32_t n = std::min(count - offset, kCopyChunk);
    if (!Seek(start + offset) || !Read(chunk, n) ||
        !Seek(destination + offset) || !Write(chunk, n)) {
      return 0;
    }
  }
  return !backwards || Seek(destination + count);
}

int FileClassT::CopyAll(FileClassT* source, uint32_t start) {
  if (source == nullptr || !source->Valid) return 0;
  // The end is fixed first: a copy onto the end of its own file would
  // otherwise chase the bytes it appends.
  uint32_t length;
  if (!source->RootOf()->FlushViews() || !source->MeasureLength(&length)) {
    return 0;
  }
  uint32_t remaining = length > start ? length - start : 0;
  if (source->RootOf() == RootOf()) return CopyWithinFile(start, remaining);
  if (!source->Seek(start)) return 0;
  unsigned char chunk[kCopyAllChunk];
  while (remaining != 0) {
    uint32_t got =
        source->ReadN(chunk, 1, std::min(remaining, kCopyAllChunk));
    if (got == 0 || !Write(chunk, got)) return 0;
    remaining -= got;
  }
  return 1;
}

int FileClassT::Flush() {
  if (IsView) {
    if (StreamBuffer.BufferState == FileClassBufferT::kWriting &&
        !BufferWrite()) {
      return 0;
    }
    return Root->Flush();
  }
  return Stream == nullptr || OsFlush(Stream);
}

int FileClassT::Sync() {
  if (IsView) {
    if (StreamBuffer.BufferState == FileClassBufferT::kWriting &&
        !BufferWrite()) {
      return 0;
    }
    return Root->Sync();
  }
  return Stream != nullptr && OsSync(Stream);
}

int FileClassT::DiscardReadAhead() {
  if (IsView) return Root->DiscardReadAhead();
  if (Stream == nullptr || !FlushViews() || !OsDiscardReadAhead(Stream)) {
    return 0;
  }
  // The stream's offset is the operating system's again, not Position.
  LastOp = kUnsure;
  for (FileClassT* v = NextView; v != nullptr; v = v->NextView) {
    if (v->StreamBuffer.BufferState == FileClassBufferT::kReading) {
      v->ResetBuffer(FileClassBufferT::kEmpty, v->Position);
    }
  }
  return 1;
}

int FileClassT::Identity(FileIdentityT* identity) {
  const FileClassT* root = RootOf();
  return root->Stream != nullptr && OsStreamIdentity(root->Stream, identity);
}

int FileClassT::SetBuff(char* /*buffer*/, uint32_t size) {
  if (IsView) return Root->SetBuff(nullptr, size);
  if (size == 0 || !Valid) return 0;
  StdioBlockSize = size;
  return Stream == nullptr || ApplyStdioBuffer();
}
