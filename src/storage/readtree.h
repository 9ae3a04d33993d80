// ReadBTreeT: searches and walks a dictionary B-tree (as WriteBTreeT writes
// it) inside an open file, typically a partition file. The root page is held
// in memory; every other page comes through the file's page cache, so a
// search reads at most one page per level below the root and repeated
// searches hit the cache. A ReadBTreeCursorT holds a position in the leaf
// pages with the key and data found there; several cursors can walk one tree.
//
// The file may be damaged. The header is checked against the file's length
// when it is read, and every page is decoded with bounds checks: a damaged
// tree makes the operation that meets the damage fail (0); it never reads
// outside a page, never loops and never stops the program.
//
// The file must outlive the reader.

#ifndef TARVIS_STORAGE_READTREE_H_
#define TARVIS_STORAGE_READTREE_H_

#include <cstdint>

#include "storage/dictionary_functions.h"

class FileClassT;

// Results of the reader's operations besides 0 (failure) and 1 (moved).
enum : int {
  kBTreeNotFound = 6,     // cursor on the smallest greater key (or the last)
  kBTreeFound = 7,
  kBTreeAtLastKey = 8,    // NextKey on the last key of the tree
  kBTreeAtFirstKey = 9,   // PreviousKey on the first key of the tree
};

struct ReadBTreeCursorT {
  static constexpr uint32_t kNotPositioned = 0xFFFFFFFFu;

  // The current key, length-prefixed.
  const unsigned char* Key() const { return Words[CurrentWord]; }
  // The current key's data: Data[0] bytes from Data + 1.
  uint32_t DataLength() const { return Data[0]; }
  const unsigned char* DataBytes() const { return Data + 1; }
  bool IsPositioned() const { return LeafPage != kNotPositioned; }
  void SwapWords() { CurrentWord ^= 1; }

  int AtLastKey = 0;                  // the key is the last of its page
  uint32_t LeafPage = kNotPositioned;
  uint32_t KeyIndex = 0;              // 0 for the first key of the page
  uint32_t ReadOffset = 0;            // offset of the entry after the key
  unsigned char Words[2][256] = {};   // current key and the one decoded before
  unsigned char Data[256] = {};
  uint32_t CurrentWord = 0;           // which of Words is current
};

class ReadBTreeT : public DictionaryFunctionsT {
 public:
  // cachePages: pages to add to the file's page cache once the header is read.
  explicit ReadBTreeT(uint32_t cachePages);
  // Gives back the cache pages and destroys the private view.
  ~ReadBTreeT() override;

  // Reads the 36-byte header at the file's position and checks it: the magic,
  // a usable page size, and counts and positions that describe a tree lying
  // inside the file. 1 when the tree is usable.
  int ReadHeader(FileClassT* file);
  // Reads the root page into memory. 1 on success; no search works before.
  int LoadTree();

  // Key operations; the key is length-prefixed. On a result of 0 the cursor
  // is left as it was.
  // 7 found; 6 not found, the cursor on the smallest greater key (on the last
  // key when every key is smaller); 0 on failure.
  int FindKey(ReadBTreeCursorT* cursor, const unsigned char* key);
  // 1 moved; 8 the cursor was on the last key; 0 on failure.
  int NextKey(ReadBTreeCursorT* cursor);
  // 1 moved; 9 the cursor was on the first key; 0 on failure.
  int PreviousKey(ReadBTreeCursorT* cursor);
  // Puts the cursor on key n of the tree (1 is the first). 1 on success, 0
  // when n is 0 or beyond the last key, or on failure.
  int GetNthKey(ReadBTreeCursorT* cursor, uint32_t n);
  // Puts the cursor on key n (1-based) of the given leaf page, held in memory.
  int GetNthKeyInPage(ReadBTreeCursorT* cursor, const unsigned char* page,
                      uint32_t pageNumber, uint32_t n);

  // The same with keys as bytes plus length (at most 255 bytes); keys are
  // returned into a buffer of at least 255 bytes, left alone unless the
  // result is 1.
  int FindKey(ReadBTreeCursorT* cursor, const unsigned char* key,
              uint32_t length);
  int NextKey(ReadBTreeCursorT* cursor, unsigned char* key, uint32_t& length);
  int PreviousKey(ReadBTreeCursorT* cursor, unsigned char* key,
                  uint32_t& length);
  // 1 with the cursor's key; 0 when the cursor is not positioned.
  int CurrentKey(ReadBTreeCursorT* cursor, unsigned char* key,
                 uint32_t& length);

  // The key order: unsigned bytes, the shorter key first when one is a
  // prefix of the other.
  static int PStrCmp(const unsigned char* key1, const unsigned char* key2);
  // A child page number, least significant byte first.
  static void CharToLong(uint32_t* value, const unsigned char* bytes);

  // The cache pages this reader accounts for in the file.
  int SetNumBuffers(uint32_t count);
  int AddBuffers(uint32_t count);
  int ReduceBuffers(uint32_t count);

  uint32_t LeafPageCount() const { return LeafPages; }
  uint32_t LevelCount() const { return Levels; }

 private:
  void ResetTree();
  void ResetNthKeyScan();
  const unsigned char* FetchPage(uint32_t page);
  int ReadKey(const unsigned char* page, uint32_t pageNumber, uint32_t offset,
              ReadBTreeCursorT* cursor);
  int ReadKeysTo(const unsigned char* page, uint32_t pageNumber,
                 uint32_t keyIndex, ReadBTreeCursorT* cursor);
  uint32_t FindKeyInInteriorPage(const unsigned char* page,
                                 const unsigned char* key);
  int FindKeyInLeafPage(const unsigned char* page, uint32_t pageNumber,
                        const unsigned char* key, ReadBTreeCursorT* cursor);
  bool AtPageEnd(const unsigned char* page, uint32_t offset) const;

  unsigned char* RootPage = nullptr;
  FileClassT* File = nullptr;
  FileClassT* CountView = nullptr;   // reads the key counts for GetNthKey
  uint32_t TreeDataPosition = 0;
  uint32_t KeyCountPosition = 0;
  uint32_t LeafPages = 0;
  uint32_t RootPageNumber = 0;
  uint32_t PageSize = 0;
  uint32_t Levels = 0;
  uint32_t CachePagesRequested = 0;
  uint32_t CachePagesAdded = 0;
  // GetNthKey remembers the leaf page it found last, so that rising numbers
  // read the key counts only once.
  uint32_t NthViewPosition = 0;
  uint64_t NthKeysThrough = 0;   // keys up to and including NthPage
  uint32_t NthPage = ReadBTreeCursorT::kNotPositioned;
  uint64_t NthKeysBefore = 0;    // keys before NthPage
};

#endif  // TARVIS_STORAGE_READTREE_H_
