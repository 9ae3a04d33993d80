// Test support for queries and browsing over an index: sessions of records
// added one partition each, and the hits of a result vector.

#ifndef TARVIS_TESTS_SUPPORT_SESSION_RECORDS_H_
#define TARVIS_TESTS_SUPPORT_SESSION_RECORDS_H_

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "query/query_vector.h"
#include "support/hit_set_model.h"
#include "support/index_file_util.h"
#include "tarvis/tarvis.h"

using RecordsT = std::vector<std::vector<std::string>>;

// One indexing session per element: each adds a partition.
inline void AddSessions(IndexManagerT* manager,
                        const std::vector<RecordsT>& sessions) {
  for (const RecordsT& records : sessions) {
    StatusCodeT status = StatusNoError;
    IndexerT* indexer = tvStartIndexingSession(manager, &status);
    ASSERT_NE(indexer, nullptr);
    ASSERT_EQ(FeedRecords(indexer, records, true), StatusNoError);
    tvEndIndexingSession(manager, indexer, nullptr, &status);
    ASSERT_EQ(status, StatusNoError);
  }
}

// The hits of a vector from where it stands, checked to come in order.
inline HitSet Walk(QueryVectorBaseT* vector) {
  HitSet hits;
  std::pair<uint32_t, uint32_t> last(0, 0);
  StatusCodeT status = StatusNoError;
  while (vector->IsPositioned() && status == StatusNoError) {
    std::pair<uint32_t, uint32_t> hit(vector->CurrentRecord(),
                                      vector->CurrentWord());
    EXPECT_LT(last, hit) << "hits out of order";
    last = hit;
    hits.insert(hit);
    vector->NextHit(&status);
  }
  // A walk ends at the last hit; an empty vector has none to walk.
  EXPECT_EQ(status, hits.empty() ? StatusNoError : StatusEndOfVector);
  return hits;
}

#endif  // TARVIS_TESTS_SUPPORT_SESSION_RECORDS_H_
