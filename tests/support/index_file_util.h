// Helpers for tests of index files: reading and patching the big-endian
// fields of an index file's header copies, and feeding sessions of words.

#ifndef TARVIS_TESTS_SUPPORT_INDEX_FILE_UTIL_H_
#define TARVIS_TESTS_SUPPORT_INDEX_FILE_UTIL_H_

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "support/temp_dir.h"
#include "tarvis/tarvis.h"

// Offsets within the index file.
constexpr size_t kFirstCopy = 4100;
constexpr size_t kSecondCopy = 4340;
// Offsets within a header copy (offsets: the low word of the 8 bytes).
enum : size_t {
  kStamp = 0,
  kPartitionCount = 4,
  kFirstPartition = 12,
  kLastPartition = 20,
  kAppend = 28,
  kDeletedList = 36,
  kEnd = 44,
  kDeletedCount = 48,
  kState = 52,
  kMode = 56,
  kCreated = 60,
  kModified = 64,
  kBlock = 68,
  kFixedData = 228,
  kFixedID = 232,
  kTrailingStamp = 236,
};

inline uint32_t GetBE32(const std::string& bytes, size_t offset) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) {
    v = (v << 8) | static_cast<uint8_t>(bytes.at(offset + i));
  }
  return v;
}

inline void PutBE32(std::string* bytes, size_t offset, uint32_t v) {
  for (size_t i = 0; i < 4; ++i) {
    (*bytes).at(offset + i) = static_cast<char>(v >> (24 - 8 * i));
  }
}

// A field of both header copies.
inline void PutBothCopies(std::string* bytes, size_t field, uint32_t v) {
  PutBE32(bytes, kFirstCopy + field, v);
  PutBE32(bytes, kSecondCopy + field, v);
}

inline WordTypeT MakeWord(const std::string& text) {
  WordTypeT word = {};
  std::memcpy(word.Word, text.data(), text.size());
  word.WordLength = static_cast<uint8_t>(text.size());
  return word;
}

// Creation parameters (owned by the caller) for an index of the given layout
// and mode with variable record data and record IDs, and a document weight in
// word mode (log sum) and idf mode (maximum frequency).
inline IndexCreationParametersT* FullIndexParams(const std::string& path,
                                                 uint32_t mode,
                                                 bool distributed) {
  StatusCodeT status = StatusNoError;
  IndexCreationParametersT* params = tvCreateIndexCreationParams(&status);
  tvSetIndexCreationParams(
      params, distributed ? IndexParamDistributed : IndexParamSingleFile,
      nullptr);
  tvSetIndexCreationParams(params, IndexParamIndexMode, &mode);
  tvSetIndexCreationParams(params, IndexParamFileName,
                           const_cast<char*>(path.c_str()));
  for (long id : {IndexParamVariableRecordData, IndexParamRecordData32,
                  IndexParamVariableRecordID, IndexParamRecordID32}) {
    tvSetIndexCreationParams(params, id, nullptr);
  }
  if (mode == WORD_MODE) {
    tvSetIndexCreationParams(params, IndexParamWeightLogSum, nullptr);
  } else if (mode == IDF_MODE) {
    tvSetIndexCreationParams(params, IndexParamWeightMaxFrequency, nullptr);
  }
  return params;
}

// Feeds records of words into a session: each record's words, then
// tvIncrementRecord, except after the last record when closeLast is false.
inline StatusCodeT FeedRecords(
    IndexerT* indexer, const std::vector<std::vector<std::string>>& records,
    bool closeLast) {
  StatusCodeT status = StatusNoError;
  for (size_t r = 0; r < records.size(); ++r) {
    for (const std::string& text : records[r]) {
      WordTypeT word = MakeWord(text);
      tvIndexWord(indexer, &word, &status);
      if (status != StatusNoError) return status;
    }
    if (r + 1 < records.size() || closeLast) {
      tvIncrementRecord(indexer, nullptr, &status);
      if (status != StatusNoError) return status;
    }
  }
  return status;
}

// A fresh index manager handle and a scratch directory with the index file's
// path in it.
class IndexFileTest : public testing::Test {
 protected:
  void SetUp() override {
    manager_ = tvCreateIndexManager(&status_);
    ASSERT_NE(nullptr, manager_);
  }
  void TearDown() override {
    tvCloseIndex(manager_, &status_);
    tvDeleteIndexManager(manager_, &status_);
  }

  void CreateIndex(unsigned long mode) {
    tvCreateIndex(manager_, Path(), mode, &status_);
    ASSERT_EQ(StatusNoError, status_);
  }
  StatusCodeT Open() {
    tvOpenIndex(manager_, Path(), &status_);
    return status_;
  }
  char* Path() { return const_cast<char*>(path_.c_str()); }
  std::string Bytes() const { return ReadWholeFile(path_); }

  ScopedTempDirT dir_;
  std::string path_ = dir_.File("index.tvx");
  IndexManagerT* manager_ = nullptr;
  StatusCodeT status_ = 99;
};

#endif  // TARVIS_TESTS_SUPPORT_INDEX_FILE_UTIL_H_
