// WriteBTreeT: bulk writer of the dictionary B-tree.

#include "storage/writetre.h"

#include <cstring>

#include "storage/allocation.h"
#include "storage/check.h"
#include "storage/fileclas.h"

namespace {

// Byte 0 of a page: how many leading bytes of its first key tell it apart
// from the key before it.
unsigned char SeparatorLength(uint32_t shared, uint32_t keyLength) {
  return static_cast<unsigned char>(shared + 1 <= keyLength ? shared + 1
                                                            : shared);
}

// Closes, deletes and destroys a temporary file; 1 when it was removed.
int DiscardFile(FileClassT** file) {
  if (*file == nullptr) return 1;
  const int deleted = (*file)->Delete();
  delete *file;
  *file = nullptr;
  return deleted;
}

// Writes a header in its stored form at the file's position.
int WriteBTreeHeader(FileClassT* file, const BTreeHeaderT& header) {
  return file->WriteLong(header.Magic) && file->WriteOffset(header.DataOffset) &&
         file->WriteOffset(header.PageAreaLength) &&
         file->WriteLong(header.RootPage) && file->WriteLong(header.LeafPages) &&
         file->WriteLong(header.PageSize) && file->WriteLong(header.Levels);
}

}  // namespace

WriteBTreeT::WriteBTreeT() { PreviousKey[0] = 0; }

WriteBTreeT::~WriteBTreeT() {
  ReleaseTemporaryFiles();
  FreeBuffers();
}

void WriteBTreeT::StartSession() {
  // The destination and the header position stay: the header may be
  // written before the keys arrive.
  ReleaseTemporaryFiles();
  FreeBuffers();
  PreviousKey[0] = 0;
  LeafPagePtr = InternalPagePtr = PageSize = KeysInLeafPage = 0;
  PagesInLevel = LeafPages = TotalPages = Levels = RootPage = 0;
  FirstPageOfLevel = TreeBuilt = DataCopied = 0;
  TreeDataPosition = PageAreaLength = 0;
}

int WriteBTreeT::StartInsertions(uint32_t pageSize) {
  StartSession();
  if (!IsUsableBTreePageSize(pageSize)) return 0;
  PageSize = pageSize;
  LeafPage = NewZeroedArrayOrNull<unsigned char>(pageSize);
  InternalPage = NewZeroedArrayOrNull<unsigned char>(pageSize);
  if (LeafPage != nullptr && InternalPage != nullptr &&
      CreateTemporaryFile(&PageFile) && CreateTemporaryFile(&KeyCountFile) &&
      CreateTemporaryFile(&LevelFile)) {
    return 1;
  }
  ReleaseTemporaryFiles();
  FreeBuffers();
  return 0;
}

int WriteBTreeT::CreateTemporaryFile(FileClassT** file) {
  *file = NewOrNull<FileClassT>(nullptr);
  if (*file == nullptr) return 0;
  return (*file)->Open(kFileCreate);
}

int WriteBTreeT::ReleaseTemporaryFiles() {
  int page = DiscardFile(&PageFile);
  int level = DiscardFile(&LevelFile);
  int counts = DiscardFile(&KeyCountFile);
  return page && level && counts;
}

void WriteBTreeT::FreeBuffers() {
  delete[] LeafPage;
  delete[] InternalPage;
  LeafPage = InternalPage = nullptr;
}

uint32_t WriteBTreeT::CountNumCharsTheSame(const unsigned char* key1,
                                           const unsigned char* key2) {
  uint32_t limit = key1[0] < key2[0] ? key1[0] : key2[0];
  uint32_t shared = 0;
  while (shared < limit && key1[shared + 1] == key2[shared + 1]) ++shared;
  return shared;
}

void WriteBTreeT::WriteLongToBuff(unsigned char* buffer, uint32_t value) {
  buffer[0] = static_cast<unsigned char>(value);
  buffer[1] = static_cast<unsigned char>(value >> 8);
  buffer[2] = static_cast<unsigned char>(value >> 16);
  buffer[3] = static_cast<unsigned char>(value >> 24);
}

int WriteBTreeT::TreeInsert(const unsigned char* key, const unsigned char* data,
                            uint32_t dataLength) {
  if (LeafPage == nullptr || TreeBuilt || key == nullptr) return 0;
  const uint32_t length = key[0];
  if (length == 0 || dataLength > 255 || (dataLength > 0 && data == nullptr)) {
    return 0;
  }
  // The tree is searched as if ordered: a key must be greater than the one
  // before it. Past the shared prefix the keys either differ in one byte or
  // one of them has ended.
  const uint32_t shared = CountNumCharsTheSame(key, PreviousKey);
  const bool ascending = shared == PreviousKey[0]
                             ? length > shared
                             : shared < length &&
                                   key[shared + 1] > PreviousKey[shared + 1];
  if (!ascending) return 0;

  const bool firstEntry = KeysInLeafPage == 0;
  const uint32_t entryLength =
      (firstEntry ? length : length - shared) + dataLength + 3;
  if (entryLength > PageSize - LeafPagePtr) return 3;

  unsigned char* out = LeafPage + LeafPagePtr;
  if (firstEntry) {
    *out++ = SeparatorLength(shared, length);
    *out++ = static_cast<unsigned char>(length);
    std::memcpy(out, key + 1, length);
    out += length;
  } else {
    *out++ = static_cast<unsigned char>(length);
    *out++ = static_cast<unsigned char>(shared);
    std::memcpy(out, key + 1 + shared, length - shared);
    out += length - shared;
  }
  *out++ = static_cast<unsigned char>(dataLength);
  if (dataLength > 0) std::memcpy(out, data, dataLength);
  LeafPagePtr += entryLength;
  TV_CHECK(LeafPagePtr <= PageSize);
  ++KeysInLeafPage;
  std::memcpy(PreviousKey, key, length + 1);
  return 1;
}

int WriteBTreeT::RoomForAnotherPage(uint32_t pagesPending) const {
  // Positions in the tree data are 32-bit.
  return (static_cast<uint64_t>(TotalPages) + pagesPending + 1) * PageSize <=
         UINT32_MAX;
}

int WriteBTreeT::NextPage() {
  if (LeafPage == nullptr || TreeBuilt) return 0;
  if (KeysInLeafPage == 0) return 1;
  if (!RoomForAnotherPage(0) || !PageFile->Write(LeafPage, PageSize) ||
      !KeyCountFile->WriteShort(static_cast<uint16_t>(KeysInLeafPage))) {
    return 0;
  }
  std::memset(LeafPage, 0, PageSize);
  LeafPagePtr = 0;
  KeysInLeafPage = 0;
  ++LeafPages;
  ++TotalPages;
  return 1;
}

int WriteBTreeT::EndInsertions() {
  if (Levels > 0 || !NextPage() || LeafPages == 0) return 0;
  uint32_t levelBelow = 0;  // first page of the level below
  do {
    ++Levels;
    const uint32_t levelStart = TotalPages;
    // The level file restarts empty for every level.
    if (!LevelFile->Close() || !LevelFile->Open(kFileCreate) ||
        !BuildNewLevel(levelBelow) ||
        !AppendToPageFile(LevelFile, PagesInLevel * PageSize)) {
      return 0;
    }
    TotalPages += PagesInLevel;
    levelBelow = levelStart;
  } while (PagesInLevel > 1);
  RootPage = TotalPages - 1;
  PageAreaLength = TotalPages * PageSize;
  if (!AppendToPageFile(KeyCountFile, LeafPages * 2)) return 0;
  TreeBuilt = 1;
  return 1;
}

int WriteBTreeT::AppendToPageFile(FileClassT* source, uint32_t length) {
  // Reopening the page file puts everything written so far on disk and
  // leaves a stream that may be written after having been read.
  return PageFile->Close() && PageFile->Open(kFileReadWrite) &&
         PageFile->SeekEnd() && PageFile->Copy(source, 0, length);
}

int WriteBTreeT::BuildNewLevel(uint32_t firstPage) {
  TV_CHECK(InternalPage != nullptr && firstPage < TotalPages);
  PagesInLevel = 0;
  InternalPagePtr = 0;
  FirstPageOfLevel = 1;
  PreviousKey[0] = 0;
  if (!PageFile->Seek(firstPage * PageSize)) return 0;
  // The level below is the last part of the page file; the leaf buffer is
  // free by now and holds each page in turn.
  for (uint32_t page = firstPage; page < TotalPages; ++page) {
    if (!PageFile->Read(LeafPage, PageSize)) return 0;
    const unsigned char* firstKey = LeafPage + 1;
    if (firstKey[0] == 0 || !InsertKeyIntoInternalPage(firstKey, page)) {
      return 0;
    }
  }
  return InternalPagePtr == 0 || WriteInternalPage();
}

int WriteBTreeT::InsertKeyIntoInternalPage(const unsigned char* key,
                                           uint32_t childPage) {
  const uint32_t length = key[0];
  const uint32_t shared = CountNumCharsTheSame(key, PreviousKey);
  if (InternalPagePtr > 0 && length - shared + 6 > PageSize - InternalPagePtr) {
    if (!WriteInternalPage()) return 0;
  }
  unsigned char* out = InternalPage + InternalPagePtr;
  if (InternalPagePtr == 0) {
    *out++ = FirstPageOfLevel ? 0 : SeparatorLength(shared, length);
    *out++ = static_cast<unsigned char>(length);
    std::memcpy(out, key + 1, length);
    out += length;
  } else {
    *out++ = static_cast<unsigned char>(length);
    *out++ = static_cast<unsigned char>(shared);
    std::memcpy(out, key + 1 + shared, length - shared);
    out += length - shared;
  }
  WriteLongToBuff(out, childPage);
  out += 4;
  InternalPagePtr = static_cast<uint32_t>(out - InternalPage);
  TV_CHECK(InternalPagePtr <= PageSize);
  std::memcpy(PreviousKey, key, length + 1);
  if (InternalPagePtr == PageSize) {
    if (!WriteInternalPage()) return 0;
    PreviousKey[0] = 0;
  }
  return 1;
}

int WriteBTreeT::WriteInternalPage() {
  if (!RoomForAnotherPage(PagesInLevel) ||
      !LevelFile->Write(InternalPage, PageSize)) {
    return 0;
  }
  std::memset(InternalPage, 0, PageSize);
  InternalPagePtr = 0;
  ++PagesInLevel;
  FirstPageOfLevel = 0;
  return 1;
}

int WriteBTreeT::WriteBlankHeader(FileClassT* destination) {
  if (destination == nullptr) return 0;
  Destination = destination;
  HeaderPosition = destination->GetPosition();
  return WriteBTreeHeader(destination, BTreeHeaderT());
}

int WriteBTreeT::CopyDataToDataFile() {
  if (!TreeBuilt || Destination == nullptr || PageFile == nullptr) return 0;
  TreeDataPosition = Destination->GetPosition();
  const uint32_t length = PageAreaLength + LeafPages * 2;
  const bool fits =
      TreeDataPosition >= HeaderPosition + kBTreeHeaderSize &&
      static_cast<uint64_t>(TreeDataPosition) + length <= UINT32_MAX;
  const int copied = fits && PageFile->Close() &&
                     PageFile->Open(kFileReadWrite) &&
                     Destination->Copy(PageFile, 0, length);
  // The temporary files go whether or not the copy succeeded.
  const int released = ReleaseTemporaryFiles();
  DataCopied = copied && released;
  return DataCopied;
}

int WriteBTreeT::WriteFullHeader() {
  if (!DataCopied || !Destination->Seek(HeaderPosition)) return 0;
  BTreeHeaderT header;
  header.Magic = kBTreeMagic;
  header.DataOffset = TreeDataPosition - HeaderPosition;
  header.PageAreaLength = PageAreaLength;
  header.RootPage = RootPage;
  header.LeafPages = LeafPages;
  header.PageSize = PageSize;
  header.Levels = Levels;
  return WriteBTreeHeader(Destination, header);
}

void WriteBTreeT::EndSession() { FreeBuffers(); }
