// Test support: a partition made by an indexing session from records of
// words (word positions 1, 2, ... within each record), opened with a reader.

#ifndef TARVIS_TESTS_SUPPORT_INDEXED_PARTITION_H_
#define TARVIS_TESTS_SUPPORT_INDEXED_PARTITION_H_

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "indexing/indexer.h"
#include "query/partition_reader.h"
#include "storage/fileclas.h"

using RecordsT = std::vector<std::vector<std::string>>;

// A length-prefixed key.
inline std::string Key(const std::string& word) {
  return std::string(1, static_cast<char>(word.size())) + word;
}
inline const unsigned char* Bytes(const std::string& text) {
  return reinterpret_cast<const unsigned char*>(text.data());
}
inline std::string KeyText(const unsigned char* key) {
  return std::string(reinterpret_cast<const char*>(key + 1), key[0]);
}

// Writes the partition of the records into path.
inline void IndexRecords(const std::string& path, uint32_t mode,
                         const RecordsT& records) {
  StatusCodeT status = StatusNoError;
  IndexerT indexer(&status);
  uint32_t block[kOptionBlockWords] = {};
  IndexingOptionsT options = MakeIndexingOptions(mode, block, 0, 0);
  indexer.StartTextIndexingSession(&options, &status);
  for (const auto& record : records) {
    for (const std::string& text : record) {
      WordTypeT word = {};
      std::memcpy(word.Word, text.data(), text.size());
      word.WordLength = static_cast<uint8_t>(text.size());
      indexer.IndexWord(&word, &status);
    }
    indexer.IncrementRecord(nullptr, &status);
  }
  ASSERT_EQ(status, StatusNoError);
  indexer.SetFinalPositionAndFileName(path.c_str(), &status);
  indexer.EndIndexingSession(nullptr, &status);
  ASSERT_EQ(status, StatusNoError);
}

// The partition file of path opened read-only, with its reader.
struct OpenPartitionT {
  explicit OpenPartitionT(const std::string& path, uint32_t number = 0)
      : File(path.c_str()), Reader(number) {
    StatusCodeT status = StatusNoError;
    Ok = File.Open(kFileReadOnly) && Reader.ReadHeader(&File, &status);
  }
  FileClassT File;
  PartitionReaderT Reader;
  int Ok = 0;
};

#endif  // TARVIS_TESTS_SUPPORT_INDEXED_PARTITION_H_
