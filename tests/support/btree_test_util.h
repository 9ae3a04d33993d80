// Helpers of the B-tree tests: key sets, writing a tree into a file the way a
// partition holds it, and opening it for reading.

#ifndef TARVIS_TESTS_SUPPORT_BTREE_TEST_UTIL_H_
#define TARVIS_TESTS_SUPPORT_BTREE_TEST_UTIL_H_

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "storage/fileclas.h"
#include "storage/readtree.h"
#include "storage/writetre.h"

struct TreeEntryT {
  std::string Key;
  std::string Data;
};

// Length-prefixed form of a key.
inline std::string Prefixed(const std::string& key) {
  return std::string(1, static_cast<char>(key.size())) + key;
}

inline const unsigned char* Bytes(const std::string& s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}

// std::string orders by unsigned bytes with the shorter string first, which
// is the tree's key order. Keys share prefixes: most extend a prefix of an
// earlier key by random bytes of the whole byte range.
inline std::vector<TreeEntryT> RandomEntries(std::mt19937& rng, size_t count,
                                             size_t maxKeyLength,
                                             size_t maxDataLength) {
  std::vector<std::string> keys;
  keys.reserve(count);
  auto byte = [&rng] { return static_cast<char>(rng() & 0xFF); };
  while (keys.size() < count) {
    for (size_t missing = count - keys.size(); missing > 0; --missing) {
      std::string key;
      if (!keys.empty() && rng() % 4 != 0) {
        const std::string& base = keys[rng() % keys.size()];
        key.assign(base, 0, rng() % (base.size() + 1));
      }
      const size_t target =
          std::min(maxKeyLength, key.size() + 1 + rng() % maxKeyLength);
      while (key.size() < target) key.push_back(byte());
      keys.push_back(std::move(key));
    }
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
  }
  std::vector<TreeEntryT> entries(count);
  for (size_t i = 0; i < count; ++i) {
    entries[i].Key = std::move(keys[i]);
    entries[i].Data.resize(rng() % (maxDataLength + 1));
    for (char& c : entries[i].Data) c = byte();
  }
  return entries;
}

// How the tree sits in its file: other bytes before the header, between the
// header and the tree data, and behind the tree; and its page size.
struct TreeLayoutT {
  uint32_t PageSize = kBTreeDefaultPageSize;
  std::string Leading;
  std::string Middle;
  std::string Trailing;
};

// Writes the entries (ascending) as a tree, in the calling order of the
// index compressor, and returns the header's position.
inline uint32_t WriteTreeFile(const std::string& path,
                              const std::vector<TreeEntryT>& entries,
                              const TreeLayoutT& layout = TreeLayoutT()) {
  FileClassT file(path.c_str());
  EXPECT_EQ(1, file.Open(kFileCreate));
  EXPECT_EQ(1, file.Write(layout.Leading.data(),
                          static_cast<uint32_t>(layout.Leading.size())));
  const uint32_t headerPosition = file.GetPosition();
  WriteBTreeT writer;
  EXPECT_EQ(1, writer.WriteBlankHeader(&file));
  writer.StartSession();
  EXPECT_EQ(1, writer.StartInsertions(layout.PageSize));
  EXPECT_EQ(1, file.Write(layout.Middle.data(),
                          static_cast<uint32_t>(layout.Middle.size())));
  for (const TreeEntryT& entry : entries) {
    const std::string key = Prefixed(entry.Key);
    const uint32_t length = static_cast<uint32_t>(entry.Data.size());
    int result = writer.TreeInsert(Bytes(key), Bytes(entry.Data), length);
    if (result == 3) {
      EXPECT_EQ(1, writer.NextPage());
      result = writer.TreeInsert(Bytes(key), Bytes(entry.Data), length);
    }
    EXPECT_EQ(1, result);
  }
  EXPECT_EQ(1, writer.EndInsertions());
  writer.EndSession();
  EXPECT_EQ(1, writer.CopyDataToDataFile());
  EXPECT_EQ(1, file.Write(layout.Trailing.data(),
                          static_cast<uint32_t>(layout.Trailing.size())));
  EXPECT_EQ(1, writer.WriteFullHeader());
  EXPECT_EQ(1, file.Close());
  return headerPosition;
}

// A tree opened for reading: the file and the reader over it.
struct OpenTreeT {
  // Opens the tree whose header is at headerPosition, through a root or (as
  // a partition reader does) through a buffered view; Ready() tells whether
  // the header was accepted and the root loaded.
  OpenTreeT(const std::string& path, uint32_t headerPosition,
            bool throughView = false)
      : File(throughView ? new FileClassT(path.c_str(), 4096, 8192)
                         : new FileClassT(path.c_str())),
        Tree(new ReadBTreeT(5)) {
    ready_ = File->Open(kFileReadOnly) && File->Seek(headerPosition) &&
             Tree->ReadHeader(File.get()) && Tree->LoadTree();
  }
  ~OpenTreeT() {
    Tree.reset();  // the reader gives its cache pages back to the file
    File->Close();
  }
  bool Ready() const { return ready_; }

  std::unique_ptr<FileClassT> File;
  std::unique_ptr<ReadBTreeT> Tree;

 private:
  bool ready_ = false;
};

inline std::string CursorKey(const ReadBTreeCursorT& cursor) {
  return std::string(reinterpret_cast<const char*>(cursor.Key() + 1),
                     cursor.Key()[0]);
}

inline std::string CursorData(const ReadBTreeCursorT& cursor) {
  return std::string(reinterpret_cast<const char*>(cursor.DataBytes()),
                     cursor.DataLength());
}

#endif  // TARVIS_TESTS_SUPPORT_BTREE_TEST_UTIL_H_
