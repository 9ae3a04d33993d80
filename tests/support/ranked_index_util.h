// Test support for ranked retrieval: an index built from sessions of records
// through the exported functions, searched in a retrieval session, and hex
// words for the query texts.

#ifndef TARVIS_TESTS_SUPPORT_RANKED_INDEX_UTIL_H_
#define TARVIS_TESTS_SUPPORT_RANKED_INDEX_UTIL_H_

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "manager/index_manager.h"
#include "query/hex_words.h"
#include "query/uncompressed_vector.h"
#include "support/index_file_util.h"
#include "support/temp_dir.h"

using Records = std::vector<std::vector<std::string>>;

// "0x" and the word's bytes in hexadecimal.
inline std::string Hex(const std::string& word) {
  std::string out(2 * word.size() + 3, '\0');
  BinaryWordToHexWord(&out[0], reinterpret_cast<const unsigned char*>(word.data()),
                      word.size());
  out.resize(out.size() - 1);
  return out;
}

inline const unsigned char* Text(const std::string& text) {
  return reinterpret_cast<const unsigned char*>(text.c_str());
}

// Records and scores of a ranked vector, best first, or the hits of any
// vector; the vector is walked from its first hit.
inline std::vector<std::pair<uint32_t, float>> Walk(QueryVectorBaseT* vector) {
  std::vector<std::pair<uint32_t, float>> hits;
  StatusCodeT status = StatusNoError;
  vector->Rewind(&status);
  EXPECT_EQ(StatusNoError, status);
  if (!vector->IsPositioned()) return hits;
  do {
    hits.emplace_back(vector->CurrentRecord(), vector->CurrentHit().Weight);
    vector->NextHit(&status);
  } while (status == StatusNoError);
  EXPECT_EQ(StatusEndOfVector, status);
  return hits;
}

// An index file in a scratch directory, built session by session, then
// opened for retrieval.
class RankedIndexT {
 public:
  // weightParam: 0 (no document weight), IndexParamWeightLogSum or
  // IndexParamWeightMaxFrequency.
  RankedIndexT(uint32_t mode, long weightParam) {
    StatusCodeT status = StatusNoError;
    Manager = tvCreateIndexManager(&status);
    IndexCreationParametersT* params = tvCreateIndexCreationParams(&status);
    tvSetIndexCreationParams(params, IndexParamSingleFile, nullptr);
    tvSetIndexCreationParams(params, IndexParamIndexMode, &mode);
    tvSetIndexCreationParams(params, IndexParamFileName, &Path[0]);
    if (weightParam != 0) tvSetIndexCreationParams(params, weightParam, nullptr);
    tvCreateIndexEx(Manager, params, &status);
    EXPECT_EQ(StatusNoError, status);
    tvDeleteIndexCreationParams(params);
    tvOpenIndex(Manager, &Path[0], &status);
    EXPECT_EQ(StatusNoError, status);
  }
  ~RankedIndexT() {
    StatusCodeT status = StatusNoError;
    tvCloseIndex(Manager, &status);
    tvDeleteIndexManager(Manager, &status);
  }
  RankedIndexT(const RankedIndexT&) = delete;
  RankedIndexT& operator=(const RankedIndexT&) = delete;

  // One session per element; then a retrieval session.
  void Build(const std::vector<Records>& sessions) {
    StatusCodeT status = StatusNoError;
    for (const Records& records : sessions) {
      IndexerT* indexer = tvStartIndexingSession(Manager, &status);
      ASSERT_EQ(StatusNoError, status);
      ASSERT_EQ(StatusNoError, FeedRecords(indexer, records, false));
      tvEndIndexingSession(Manager, indexer, nullptr, &status);
      ASSERT_EQ(StatusNoError, status);
    }
    tvStartRetrievalSession(Manager, &status);
    ASSERT_EQ(StatusNoError, status);
  }

  // The ranked vector of a query (null when it failed; status in *status).
  std::vector<std::pair<uint32_t, float>> Ranked(const std::string& ranked,
                                                 const std::string& boolean,
                                                 StatusCodeT* status) {
    QueryVectorBaseT* vector = Manager->ProcessRankedQuery(
        ranked.empty() ? nullptr : Text(ranked),
        boolean.empty() ? nullptr : Text(boolean), status);
    std::vector<std::pair<uint32_t, float>> hits;
    if (vector != nullptr) {
      EXPECT_TRUE(static_cast<UncompressedQueryVectorT*>(vector)->Ranked);
      hits = Walk(vector);
    }
    delete vector;
    return hits;
  }

  ScopedTempDirT Dir;
  std::string Path = Dir.File("ranked.tvx");
  IndexManagerT* Manager = nullptr;
};

#endif  // TARVIS_TESTS_SUPPORT_RANKED_INDEX_UTIL_H_
