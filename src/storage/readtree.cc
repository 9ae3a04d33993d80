// ReadBTreeT: search, walk and key numbering over a dictionary B-tree.

#include "storage/readtree.h"

#include <climits>
#include <cstring>

#include "storage/allocation.h"
#include "storage/fileclas.h"
#include "storage/writetre.h"

namespace {

constexpr uint32_t kNoPage = ReadBTreeCursorT::kNotPositioned;
constexpr uint32_t kLastKeyOfPage = 0xFFFFFFFFu;
constexpr uint32_t kFirstEntryOffset = 1;  // behind the separator byte

// Decodes the key of the entry at offset (which lies inside the page) into
// key. The first entry of a page holds its whole key; a later one shares a
// prefix with previous, the key decoded before it. Returns the offset behind
// the key bytes, or 0 when the entry runs past the page end or claims more
// of the previous key than there is.
uint32_t DecodeKey(const unsigned char* page, uint32_t pageSize,
                   uint32_t offset, const unsigned char* previous,
                   unsigned char* key) {
  const bool first = offset == kFirstEntryOffset;
  const uint32_t length = page[offset++];
  uint32_t shared = 0;
  if (!first) {
    if (offset >= pageSize) return 0;
    shared = page[offset++];
    if (shared > length || shared > previous[0]) return 0;
  }
  const uint32_t suffix = length - shared;
  if (suffix > pageSize - offset) return 0;
  key[0] = static_cast<unsigned char>(length);
  if (shared > 0) std::memcpy(key + 1, previous + 1, shared);
  std::memcpy(key + 1 + shared, page + offset, suffix);
  return offset + suffix;
}

// Walks the keys of a page in order against one search key. A key is rebuilt
// in place, keeping the bytes it shares with the key before it, and while
// the keys stay below the search key only the bytes from where a key can
// first differ from it are compared: a key that shares more with the one
// before than that one matched of the search key is below it as well.
class PageKeyScanT {
 public:
  explicit PageKeyScanT(const unsigned char* search) : Search(search) {}

  // Decodes the key of the entry at offset (the page's first entry when
  // first is set) and compares it. Only called again while the key before
  // was below the search key. Returns the offset behind the key bytes, or 0
  // as DecodeKey does.
  uint32_t Decode(const unsigned char* page, uint32_t pageSize,
                  uint32_t offset, bool first) {
    const uint32_t length = page[offset++];
    uint32_t shared = 0;
    if (!first) {
      if (offset >= pageSize) return 0;
      shared = page[offset++];
      if (shared > length || shared > Key[0]) return 0;
    }
    const uint32_t suffix = length - shared;
    if (suffix > pageSize - offset) return 0;
    Key[0] = static_cast<unsigned char>(length);
    std::memcpy(Key + 1 + shared, page + offset, suffix);
    Shared = shared;
    if (first || shared <= Matched) Compare(shared);
    return offset + suffix;
  }
  // The key's order against the search key: negative, 0 or positive.
  int Order() const { return KeyOrder; }
  const unsigned char* CurrentKey() const { return Key; }
  uint32_t SharedWithPrevious() const { return Shared; }

 private:
  // The bytes before from are the search key's.
  void Compare(uint32_t from) {
    const uint32_t length = Key[0];
    const uint32_t wanted = Search[0];
    uint32_t i = from;
    while (i < length && i < wanted && Key[1 + i] == Search[1 + i]) ++i;
    Matched = i;
    if (i < length && i < wanted) {
      KeyOrder = Key[1 + i] < Search[1 + i] ? -1 : 1;
    } else {
      KeyOrder = length < wanted ? -1 : (length > wanted ? 1 : 0);
    }
  }

  const unsigned char* Search;
  unsigned char Key[256] = {0};
  uint32_t Matched = 0;  // leading bytes the key shares with the search key
  uint32_t Shared = 0;
  int KeyOrder = 0;
};

// Fetching a key out: the caller's buffer gets the bytes, length their count.
int ReturnKey(const ReadBTreeCursorT* cursor, unsigned char* key,
              uint32_t& length) {
  length = cursor->Key()[0];
  std::memcpy(key, cursor->Key() + 1, length);
  return 1;
}

}  // namespace

ReadBTreeT::ReadBTreeT(uint32_t cachePages) : CachePagesRequested(cachePages) {}

ReadBTreeT::~ReadBTreeT() { ResetTree(); }

void ReadBTreeT::ResetTree() {
  if (File != nullptr) ReduceBuffers(CachePagesAdded);
  delete CountView;
  CountView = nullptr;
  delete[] RootPage;
  RootPage = nullptr;
  File = nullptr;
  TreeDataPosition = KeyCountPosition = 0;
  LeafPages = RootPageNumber = PageSize = Levels = 0;
  CachePagesAdded = 0;
  ResetNthKeyScan();
}

void ReadBTreeT::ResetNthKeyScan() {
  NthViewPosition = KeyCountPosition;
  NthKeysThrough = NthKeysBefore = 0;
  NthPage = kNoPage;
}

int ReadBTreeT::ReadHeader(FileClassT* file) {
  ResetTree();
  if (file == nullptr) return 0;
  const uint32_t headerPosition = file->GetPosition();
  BTreeHeaderT header;
  if (!file->ReadLong(&header.Magic) || !file->ReadOffset(&header.DataOffset) ||
      !file->ReadOffset(&header.PageAreaLength) ||
      !file->ReadLong(&header.RootPage) || !file->ReadLong(&header.LeafPages) ||
      !file->ReadLong(&header.PageSize) || !file->ReadLong(&header.Levels)) {
    return 0;
  }
  // Every later access relies on these checks: the pages, the root and the
  // key counts lie inside the file, every level holds at least one page and
  // the root is the last page, as the writer lays them out.
  if (header.Magic != kBTreeMagic || !IsUsableBTreePageSize(header.PageSize) ||
      header.DataOffset < kBTreeHeaderSize || header.LeafPages == 0 ||
      header.PageAreaLength % header.PageSize != 0) {
    return 0;
  }
  const uint32_t pages = header.PageAreaLength / header.PageSize;
  if (pages <= header.LeafPages || header.RootPage != pages - 1 ||
      header.Levels == 0 || header.Levels > kBTreeMaxLevels ||
      header.Levels > pages - header.LeafPages) {
    return 0;
  }
  const uint64_t treeEnd = static_cast<uint64_t>(headerPosition) +
                           header.DataOffset + header.PageAreaLength +
                           2ull * header.LeafPages;
  if (treeEnd > file->GetLength()) return 0;

  File = file;
  TreeDataPosition = headerPosition + header.DataOffset;
  KeyCountPosition = TreeDataPosition + header.PageAreaLength;
  LeafPages = header.LeafPages;
  RootPageNumber = header.RootPage;
  PageSize = header.PageSize;
  Levels = header.Levels;
  ResetNthKeyScan();
  return AddBuffers(CachePagesRequested);
}

int ReadBTreeT::LoadTree() {
  if (File == nullptr) return 0;
  delete[] RootPage;
  RootPage = NewArrayOrNull<unsigned char>(PageSize);
  if (RootPage != nullptr &&
      File->Seek(TreeDataPosition + RootPageNumber * PageSize) &&
      File->Read(RootPage, PageSize)) {
    return 1;
  }
  delete[] RootPage;
  RootPage = nullptr;
  return 0;
}

const unsigned char* ReadBTreeT::FetchPage(uint32_t page) {
  return File->GetBuffer(TreeDataPosition + page * PageSize, PageSize);
}

bool ReadBTreeT::AtPageEnd(const unsigned char* page, uint32_t offset) const {
  return offset >= PageSize || page[offset] == 0;
}

int ReadBTreeT::ReadKey(const unsigned char* page, uint32_t pageNumber,
                        uint32_t offset, ReadBTreeCursorT* cursor) {
  // The key is built in the spare buffer, so that a damaged entry leaves
  // the cursor as it was.
  unsigned char* key = cursor->Words[cursor->CurrentWord ^ 1];
  uint32_t next = DecodeKey(page, PageSize, offset, cursor->Key(), key);
  if (next == 0 || next >= PageSize) return 0;
  const uint32_t dataLength = page[next++];
  if (dataLength > PageSize - next) return 0;

  cursor->SwapWords();
  cursor->Data[0] = static_cast<unsigned char>(dataLength);
  std::memcpy(cursor->Data + 1, page + next, dataLength);
  cursor->KeyIndex = offset == kFirstEntryOffset ? 0 : cursor->KeyIndex + 1;
  cursor->LeafPage = pageNumber;
  cursor->ReadOffset = next + dataLength;
  cursor->AtLastKey = AtPageEnd(page, cursor->ReadOffset);
  return 1;
}

int ReadBTreeT::ReadKeysTo(const unsigned char* page, uint32_t pageNumber,
                           uint32_t keyIndex, ReadBTreeCursorT* cursor) {
  // Prefix compression runs forwards only: every key is rebuilt from the
  // start of the page.
  ReadBTreeCursorT scan;
  if (AtPageEnd(page, kFirstEntryOffset) ||
      !ReadKey(page, pageNumber, kFirstEntryOffset, &scan)) {
    return 0;
  }
  while (scan.KeyIndex != keyIndex && !scan.AtLastKey) {
    if (!ReadKey(page, pageNumber, scan.ReadOffset, &scan)) return 0;
  }
  if (keyIndex != kLastKeyOfPage && scan.KeyIndex != keyIndex) return 0;
  *cursor = scan;
  return 1;
}

uint32_t ReadBTreeT::FindKeyInInteriorPage(const unsigned char* page,
                                           const unsigned char* key) {
  if (AtPageEnd(page, kFirstEntryOffset)) return kNoPage;
  // The child of the last entry whose key is not greater than the key, or
  // the first entry's when its key is not smaller.
  PageKeyScanT scan(key);
  uint32_t child = kNoPage;
  for (uint32_t offset = kFirstEntryOffset; !AtPageEnd(page, offset);) {
    const bool first = offset == kFirstEntryOffset;
    offset = scan.Decode(page, PageSize, offset, first);
    if (offset == 0 || PageSize - offset < 4) return kNoPage;
    if (first) {
      CharToLong(&child, page + offset);
      if (scan.Order() >= 0) break;
    } else {
      if (scan.Order() > 0) break;
      CharToLong(&child, page + offset);
      if (scan.Order() == 0) break;
    }
    offset += 4;
  }
  return child;
}

int ReadBTreeT::FindKeyInLeafPage(const unsigned char* page,
                                  uint32_t pageNumber, const unsigned char* key,
                                  ReadBTreeCursorT* cursor) {
  if (AtPageEnd(page, kFirstEntryOffset)) return 0;
  // The first key not below the key, or the page's last.
  PageKeyScanT scan(key);
  uint32_t entry = kFirstEntryOffset;
  uint32_t index = 0;
  for (uint32_t offset = kFirstEntryOffset;; ++index) {
    entry = offset;
    uint32_t next = scan.Decode(page, PageSize, offset, index == 0);
    if (next == 0 || next >= PageSize) return 0;
    const uint32_t dataLength = page[next++];
    if (dataLength > PageSize - next) return 0;
    offset = next + dataLength;
    if (scan.Order() >= 0 || AtPageEnd(page, offset)) break;
  }
  // The cursor reads that entry itself, from a previous key that holds the
  // bytes the entry shares with it.
  ReadBTreeCursorT found;
  if (index > 0) {
    unsigned char* previous = found.Words[found.CurrentWord];
    std::memcpy(previous, scan.CurrentKey(), scan.CurrentKey()[0] + 1u);
    previous[0] = static_cast<unsigned char>(scan.SharedWithPrevious());
    found.KeyIndex = index - 1;
  }
  if (!ReadKey(page, pageNumber, entry, &found)) return 0;
  int order = scan.Order();
  // Every key of the page is smaller: the next greater key, if there is
  // one, starts the next page.
  if (order < 0 && pageNumber + 1 < LeafPages) {
    const unsigned char* next = FetchPage(pageNumber + 1);
    if (next == nullptr || AtPageEnd(next, kFirstEntryOffset) ||
        !ReadKey(next, pageNumber + 1, kFirstEntryOffset, &found)) {
      return 0;
    }
    order = PStrCmp(found.Key(), key);
  }
  *cursor = found;
  return order == 0 ? kBTreeFound : kBTreeNotFound;
}

int ReadBTreeT::FindKey(ReadBTreeCursorT* cursor, const unsigned char* key) {
  if (RootPage == nullptr || cursor == nullptr || key == nullptr) return 0;
  const unsigned char* page = RootPage;
  uint32_t pageNumber = RootPageNumber;
  for (uint32_t level = Levels; level > 0; --level) {
    const uint32_t child = FindKeyInInteriorPage(page, key);
    // Children lie in the level below: leaves under level 1, internal pages
    // written before this one otherwise. Descending to ever smaller page
    // numbers also bounds every walk through a damaged tree.
    const bool inLevelBelow = level == 1
                                  ? child < LeafPages
                                  : child >= LeafPages && child < pageNumber;
    if (!inLevelBelow) return 0;
    page = FetchPage(child);
    if (page == nullptr) return 0;
    pageNumber = child;
  }
  return FindKeyInLeafPage(page, pageNumber, key, cursor);
}

int ReadBTreeT::NextKey(ReadBTreeCursorT* cursor) {
  if (RootPage == nullptr || cursor == nullptr ||
      cursor->LeafPage >= LeafPages || cursor->ReadOffset > PageSize) {
    return 0;
  }
  const unsigned char* page = FetchPage(cursor->LeafPage);
  if (page == nullptr) return 0;
  if (!AtPageEnd(page, cursor->ReadOffset)) {
    return ReadKey(page, cursor->LeafPage, cursor->ReadOffset, cursor);
  }
  if (cursor->LeafPage + 1 >= LeafPages) return kBTreeAtLastKey;
  page = FetchPage(cursor->LeafPage + 1);
  if (page == nullptr || AtPageEnd(page, kFirstEntryOffset)) return 0;
  return ReadKey(page, cursor->LeafPage + 1, kFirstEntryOffset, cursor);
}

int ReadBTreeT::PreviousKey(ReadBTreeCursorT* cursor) {
  if (RootPage == nullptr || cursor == nullptr ||
      cursor->LeafPage >= LeafPages) {
    return 0;
  }
  uint32_t pageNumber = cursor->LeafPage;
  uint32_t keyIndex = cursor->KeyIndex - 1;
  if (cursor->KeyIndex == 0) {
    if (pageNumber == 0) return kBTreeAtFirstKey;
    --pageNumber;
    keyIndex = kLastKeyOfPage;
  }
  const unsigned char* page = FetchPage(pageNumber);
  return page != nullptr && ReadKeysTo(page, pageNumber, keyIndex, cursor);
}

int ReadBTreeT::GetNthKeyInPage(ReadBTreeCursorT* cursor,
                                const unsigned char* page, uint32_t pageNumber,
                                uint32_t n) {
  if (cursor == nullptr || page == nullptr || PageSize == 0 || n == 0 ||
      pageNumber >= LeafPages) {
    return 0;
  }
  return ReadKeysTo(page, pageNumber, n - 1, cursor);
}

int ReadBTreeT::GetNthKey(ReadBTreeCursorT* cursor, uint32_t n) {
  if (RootPage == nullptr || cursor == nullptr || n == 0) return 0;
  if (CountView == nullptr) {
    CountView = NewOrNull<FileClassT>(File, uint32_t{1024});
    if (CountView == nullptr) return 0;
    ResetNthKeyScan();
  }
  const bool inPageFoundLast =
      NthPage != kNoPage && NthKeysBefore < n && n <= NthKeysThrough;
  if (!inPageFoundLast) {
    // Counts are summed page by page; a number before the page found last
    // starts the sum again from the first page.
    if (NthPage == kNoPage || n <= NthKeysBefore ||
        CountView->GetPosition() != NthViewPosition) {
      ResetNthKeyScan();
      if (!CountView->Seek(KeyCountPosition)) return 0;
    }
    while (NthKeysThrough < n) {
      const uint32_t page = NthPage == kNoPage ? 0 : NthPage + 1;
      if (page >= LeafPages) return 0;
      uint16_t count;
      // The writer never writes an empty page.
      if (!CountView->ReadShort(&count) || count == 0) {
        ResetNthKeyScan();
        return 0;
      }
      NthViewPosition += 2;
      NthPage = page;
      NthKeysBefore = NthKeysThrough;
      NthKeysThrough += count;
    }
  }
  const unsigned char* page = FetchPage(NthPage);
  return page != nullptr &&
         GetNthKeyInPage(cursor, page, NthPage,
                         static_cast<uint32_t>(n - NthKeysBefore));
}

int ReadBTreeT::FindKey(ReadBTreeCursorT* cursor, const unsigned char* key,
                        uint32_t length) {
  if (length > 255 || (length > 0 && key == nullptr)) return 0;
  unsigned char search[256];
  search[0] = static_cast<unsigned char>(length);
  if (length > 0) std::memcpy(search + 1, key, length);
  return FindKey(cursor, search);
}

int ReadBTreeT::NextKey(ReadBTreeCursorT* cursor, unsigned char* key,
                        uint32_t& length) {
  if (key == nullptr) return 0;
  const int result = NextKey(cursor);
  return result == 1 ? ReturnKey(cursor, key, length) : result;
}

int ReadBTreeT::PreviousKey(ReadBTreeCursorT* cursor, unsigned char* key,
                            uint32_t& length) {
  if (key == nullptr) return 0;
  const int result = PreviousKey(cursor);
  return result == 1 ? ReturnKey(cursor, key, length) : result;
}

int ReadBTreeT::CurrentKey(ReadBTreeCursorT* cursor, unsigned char* key,
                           uint32_t& length) {
  if (cursor == nullptr || key == nullptr || !cursor->IsPositioned()) return 0;
  return ReturnKey(cursor, key, length);
}

int ReadBTreeT::PStrCmp(const unsigned char* key1, const unsigned char* key2) {
  const uint32_t length1 = key1[0];
  const uint32_t length2 = key2[0];
  const int order =
      std::memcmp(key1 + 1, key2 + 1, length1 < length2 ? length1 : length2);
  if (order != 0) return order < 0 ? -1 : 1;
  return (length1 > length2) - (length1 < length2);
}

void ReadBTreeT::CharToLong(uint32_t* value, const unsigned char* bytes) {
  *value = static_cast<uint32_t>(bytes[0]) |
           static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 |
           static_cast<uint32_t>(bytes[3]) << 24;
}

int ReadBTreeT::SetNumBuffers(uint32_t count) {
  return count >= CachePagesAdded ? AddBuffers(count - CachePagesAdded)
                                  : ReduceBuffers(CachePagesAdded - count);
}

int ReadBTreeT::AddBuffers(uint32_t count) {
  if (File == nullptr || count > INT_MAX - CachePagesAdded) return 0;
  if (count == 0) return 1;
  if (!File->AddBuffers(static_cast<int>(count))) return 0;
  CachePagesAdded += count;
  return 1;
}

int ReadBTreeT::ReduceBuffers(uint32_t count) {
  if (File == nullptr) return 0;
  if (count > CachePagesAdded) count = CachePagesAdded;
  if (count == 0) return 1;
  CachePagesAdded -= count;
  return File->ReduceBuffers(count);
}
