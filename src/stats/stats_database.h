// StatsDatabaseT: writes a statistics file, a B-tree whose keys are words in
// ascending key order and whose data is two counts per word (for the words
// of an index: the records and the postings that hold them).
//
// File layout: the 36-byte B-tree header at offset 0, then the tree data
// (pages of 4096 bytes). Each entry's data is the first count and then the
// second as Elias delta codes in one bit string, most significant bit first,
// padded with 0 bits to a whole byte; a count of 0 is stored as 1. Counts
// (1, 1) are the byte C0, (3, 2) the byte 54.
//
// Calling order: Create, StartAdditions, AddKey for each word, EndAdditions.
// A database destroyed before EndAdditions leaves an incomplete file behind.
// StatsReaderT reads a file back: the B-tree reader from offset 0 and
// DecodeWordInfo on each entry.

#ifndef TARVIS_STATS_STATS_DATABASE_H_
#define TARVIS_STATS_STATS_DATABASE_H_

#include <cstdint>
#include <memory>

#include "storage/fileclas.h"
#include "storage/readtree.h"
#include "storage/writetre.h"
#include "tarvis/tarvis.h"

// The longest encoded pair: two delta codes of 42 bits.
constexpr uint32_t kStatsDataMaxBytes = 11;
constexpr uint32_t kStatsPageSize = 4096;

class StatsDatabaseT {
 public:
  StatsDatabaseT() = default;
  ~StatsDatabaseT();
  StatsDatabaseT(const StatsDatabaseT&) = delete;
  StatsDatabaseT& operator=(const StatsDatabaseT&) = delete;

  // Creates (or truncates) the file. StatusCannotOpenFile, or
  // StatusNotEnoughMemory when the file object cannot be made;
  // StatusGeneralError when a file is already being written.
  void Create(const char* fileName, StatusCodeT* status);
  // StatusGeneralError when the tree cannot be started.
  void StartAdditions(StatusCodeT* status);
  // Adds a length-prefixed word, greater than the one added before, with its
  // counts. StatusWriteError when it cannot be added (an empty word, a word
  // out of order, a failed write).
  void AddKey(const unsigned char* word, uint32_t first, uint32_t second,
              StatusCodeT* status);
  // Finishes the tree and writes its header, then closes the file.
  // StatusGeneralError when no word was added, StatusWriteError when the
  // file cannot be written.
  void EndAdditions(StatusCodeT* status);

  // Codes the two counts into buffer (kStatsDataMaxBytes); length receives
  // the bytes written. 1, or 0 when they could not be coded.
  static int EncodeWordInfo(unsigned char* buffer, uint32_t* length,
                            uint32_t first, uint32_t second);
  // Decodes the counts of the entry at the cursor. 1, or 0 when its data is
  // not two delta codes.
  static int DecodeWordInfo(const ReadBTreeCursorT* cursor, uint32_t* first,
                            uint32_t* second);

 private:
  void CloseDestination();

  FileClassT* Destination = nullptr;
  WriteBTreeT Tree;
};

class StatsReaderT {
 public:
  StatsReaderT() : Tree(kCachePages) {}

  // Opens the file read-only. 1 when it holds a usable tree.
  int Open(const char* fileName);
  // The next word (the first one on the first call), length-prefixed into
  // 256 bytes, with its counts. 1, 0 after the last word, -1 when the file
  // cannot be read or an entry is damaged.
  int Next(unsigned char* word, uint32_t* first, uint32_t* second);

 private:
  static constexpr uint32_t kCachePages = 5;

  std::unique_ptr<FileClassT> File;  // outlives the tree, which uses it
  ReadBTreeT Tree;
  ReadBTreeCursorT Cursor;
  int Started = 0;
};

#endif  // TARVIS_STATS_STATS_DATABASE_H_
