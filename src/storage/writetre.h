// WriteBTreeT: builds the read-only B-tree that holds a dictionary (the terms
// of a partition, the words of a statistics file) from keys that arrive in
// ascending order. Leaf pages are filled one after another in a temporary
// page file; the internal levels are then built bottom-up from the first key
// of every page of the level below, until a single page, the root, remains.
// Finally the whole tree is appended to the destination file behind a 36-byte
// header.
//
// Tree data: the pages, numbered from 0, each exactly one page size long and
// zero-filled behind its last entry (leaf pages in key order, then internal
// level 1, level 2, ...; the root is the last page), followed by one 16-bit
// big-endian key count per leaf page. A leaf page starts with a separator
// byte, then holds entries of key length, prefix length shared with the
// previous key (not on the first entry), key suffix, data length and data. An
// internal page has the same shape, with the complete first key of a child
// page and that child's page number (4 bytes, least significant first) in
// place of the data.
//
// Keys are length-prefixed byte strings of 1 to 255 bytes, ordered by
// unsigned bytes, the shorter first when one is a prefix of the other.
//
// Calling order: StartSession, StartInsertions(4096), TreeInsert... (on 3:
// NextPage, then the same key again), EndInsertions, CopyDataToDataFile,
// WriteFullHeader, EndSession (which may come right after EndInsertions).
// WriteBlankHeader with the destination comes at any time before the copy,
// also before StartSession.

#ifndef TARVIS_STORAGE_WRITETRE_H_
#define TARVIS_STORAGE_WRITETRE_H_

#include <cstdint>

class FileClassT;

// The header in front of every tree, as it is stored (big-endian; the two
// offsets as 8-byte offsets of which the high half is zero).
struct BTreeHeaderT {
  uint32_t Magic = 0;
  uint32_t DataOffset = 0;      // tree data, relative to the header's position
  uint32_t PageAreaLength = 0;  // bytes of pages = offset of the key counts
  uint32_t RootPage = 0;
  uint32_t LeafPages = 0;
  uint32_t PageSize = 0;
  uint32_t Levels = 0;          // internal levels, at least 1
};

constexpr uint32_t kBTreeMagic = 96969696u;  // 05 C7 A3 E0
constexpr uint32_t kBTreeHeaderSize = 36;
constexpr uint32_t kBTreeDefaultPageSize = 4096;
// Page sizes are powers of two in this range: the smallest still lets every
// internal page hold three entries of the longest key, so each level is
// smaller than the one below it.
constexpr uint32_t kBTreeMinPageSize = 1024;
constexpr uint32_t kBTreeMaxPageSize = 65536;
// A tree of the smallest pages over 2^32 leaves has fewer levels than this.
constexpr uint32_t kBTreeMaxLevels = 32;

inline bool IsUsableBTreePageSize(uint32_t pageSize) {
  return pageSize >= kBTreeMinPageSize && pageSize <= kBTreeMaxPageSize &&
         (pageSize & (pageSize - 1)) == 0;
}

class WriteBTreeT {
 public:
  WriteBTreeT();
  // Closes and deletes whatever temporary files remain.
  ~WriteBTreeT();
  WriteBTreeT(const WriteBTreeT&) = delete;
  WriteBTreeT& operator=(const WriteBTreeT&) = delete;

  // Drops whatever an earlier tree left (but not the destination and header
  // position) and starts afresh.
  void StartSession();
  // Allocates the page buffer and creates the temporary page and key-count
  // files. 0 on failure or for a page size outside the usable range.
  int StartInsertions(uint32_t pageSize);
  // Appends a length-prefixed key with its data (0 to 255 bytes) to the
  // current leaf page. 1 on success; 3 when the entry does not fit (call
  // NextPage and insert the same key again); 0 on failure, which includes a
  // key of length 0 and a key not greater than the one inserted before.
  int TreeInsert(const unsigned char* key, const unsigned char* data,
                 uint32_t dataLength);
  // Writes the current leaf page (if it holds keys) and starts an empty one.
  int NextPage();
  // Writes the last leaf page and builds the internal levels. A tree needs at
  // least one key: without any this fails.
  int EndInsertions();
  // Remembers the destination and its position, and writes a zero header
  // there.
  int WriteBlankHeader(FileClassT* destination);
  // Appends the tree data at the destination's position and closes and
  // deletes the temporary files.
  int CopyDataToDataFile();
  // Rewrites the header in place; the destination is left just behind it.
  int WriteFullHeader();
  // Frees the page buffers.
  void EndSession();

  // Length of the prefix shared by two length-prefixed keys; at most either
  // length, 0 when the first key is empty.
  static uint32_t CountNumCharsTheSame(const unsigned char* key1,
                                       const unsigned char* key2);
  // Stores a 32-bit value least significant byte first.
  static void WriteLongToBuff(unsigned char* buffer, uint32_t value);

 private:
  int CreateTemporaryFile(FileClassT** file);
  int ReleaseTemporaryFiles();
  void FreeBuffers();
  int RoomForAnotherPage(uint32_t pagesPending) const;
  int AppendToPageFile(FileClassT* source, uint32_t length);
  int BuildNewLevel(uint32_t firstPage);
  int InsertKeyIntoInternalPage(const unsigned char* key, uint32_t childPage);
  int WriteInternalPage();

  unsigned char PreviousKey[256];  // the key inserted last, for prefixes
  unsigned char* LeafPage = nullptr;
  unsigned char* InternalPage = nullptr;
  uint32_t LeafPagePtr = 0;       // write offset in the leaf page
  uint32_t InternalPagePtr = 0;   // write offset in the internal page
  uint32_t PageSize = 0;
  uint32_t KeysInLeafPage = 0;
  uint32_t PagesInLevel = 0;      // pages of the internal level being built
  uint32_t LeafPages = 0;
  uint32_t TotalPages = 0;        // pages in the page file
  uint32_t Levels = 0;
  uint32_t RootPage = 0;
  int FirstPageOfLevel = 0;
  int TreeBuilt = 0;              // EndInsertions succeeded
  int DataCopied = 0;             // CopyDataToDataFile succeeded
  FileClassT* PageFile = nullptr;
  FileClassT* LevelFile = nullptr;
  FileClassT* KeyCountFile = nullptr;
  FileClassT* Destination = nullptr;
  uint32_t HeaderPosition = 0;
  uint32_t TreeDataPosition = 0;
  uint32_t PageAreaLength = 0;
};

#endif  // TARVIS_STORAGE_WRITETRE_H_
