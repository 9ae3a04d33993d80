// The exported result vector interface: running queries, walking results
// both ways, counts, vectors built by the host, the vector operators, and
// handles that are not live result vectors.

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "query/uncompressed_vector.h"
#include "support/ranked_index_util.h"
#include "tarvis/tarvis.h"

namespace {

// A hit as the host sees it, and the status of the call that reported it.
struct SeenT {
  unsigned long record = 99, word = 99, count = 99;
  float weight = -1;
  StatusCodeT status = 99;
  bool operator==(const SeenT& o) const {
    return std::tie(record, word, count, weight, status) ==
           std::tie(o.record, o.word, o.count, o.weight, o.status);
  }
};

std::ostream& operator<<(std::ostream& out, const SeenT& s) {
  return out << "(" << s.record << "," << s.word << " c" << s.count << " w"
             << s.weight << " s" << s.status << ")";
}

using MoveT = void (*)(QueryVectorBaseT*, unsigned long*, unsigned long*,
                       unsigned long*, float*, StatusCodeT*);

SeenT Call(MoveT move, QueryVectorBaseT* vector) {
  SeenT seen;
  move(vector, &seen.record, &seen.word, &seen.count, &seen.weight,
       &seen.status);
  return seen;
}

SeenT Hit(unsigned long record, unsigned long word, StatusCodeT status,
          float weight = 1.0f) {
  SeenT seen;
  seen.record = record;
  seen.word = word;
  seen.count = 1;
  seen.weight = weight;
  seen.status = status;
  return seen;
}

// Every hit from the current one on, through tvVectorNextHit.
std::vector<std::pair<unsigned long, unsigned long>> Rest(
    QueryVectorBaseT* vector) {
  std::vector<std::pair<unsigned long, unsigned long>> hits;
  SeenT seen = Call(tvVectorCurrentHit, vector);
  if (seen.record == 0) return hits;
  while (seen.status == StatusNoError) {
    hits.emplace_back(seen.record, seen.word);
    seen = Call(tvVectorNextHit, vector);
  }
  EXPECT_EQ(StatusEndOfVector, seen.status);
  return hits;
}

QueryVectorBaseT* Built(
    const std::vector<std::pair<unsigned long, unsigned long>>& hits) {
  StatusCodeT status = 99;
  QueryVectorBaseT* vector = tvCreateResultVector(&status);
  EXPECT_EQ(StatusNoError, status);
  for (const auto& hit : hits) {
    tvVectorAddHit(vector, hit.first, hit.second, 1.0f, &status);
    EXPECT_EQ(StatusNoError, status);
  }
  tvVectorRewind(vector, &status);
  EXPECT_EQ(StatusNoError, status);
  return vector;
}

void Delete(QueryVectorBaseT* vector) {
  StatusCodeT status = 99;
  tvDeleteResultVector(vector, &status);
  EXPECT_EQ(StatusNoError, status);
}

class QueryResultTest : public testing::Test {
 protected:
  void SetUp() override {
    index_.Build({{{"a", "b", "a"}, {"b"}, {"a", "c", "a", "a"}},
                  {{"c"}, {"a", "x"}}});
  }
  QueryVectorBaseT* Query(const std::string& ranked,
                          const std::string& boolean) {
    std::string r = ranked, b = boolean;
    return tvProcessQuery(
        index_.Manager,
        ranked.empty() ? nullptr : reinterpret_cast<unsigned char*>(&r[0]),
        boolean.empty() ? nullptr : reinterpret_cast<unsigned char*>(&b[0]),
        &status_);
  }

  RankedIndexT index_{WORD_MODE, IndexParamWeightMaxFrequency};
  StatusCodeT status_ = 99;
};

TEST_F(QueryResultTest, WalksABooleanResultBothWays) {
  QueryVectorBaseT* v = Query("", Hex("a"));
  ASSERT_NE(nullptr, v);
  EXPECT_EQ(StatusNoError, status_);
  // Rewound: the first hit is current, and going back stays on it.
  EXPECT_EQ(Hit(1, 1, StatusNoError), Call(tvVectorCurrentHit, v));
  EXPECT_EQ(Hit(1, 1, StatusEndOfVector), Call(tvVectorPreviousHit, v));
  EXPECT_EQ(Hit(1, 3, StatusNoError), Call(tvVectorNextHit, v));
  EXPECT_EQ(Hit(3, 1, StatusNoError), Call(tvVectorNextRecord, v));
  EXPECT_EQ(Hit(5, 1, StatusNoError), Call(tvVectorNextRecord, v));
  EXPECT_EQ(Hit(5, 1, StatusEndOfVector), Call(tvVectorNextHit, v));
  EXPECT_EQ(Hit(5, 1, StatusEndOfVector), Call(tvVectorNextRecord, v));
  EXPECT_EQ(Hit(3, 4, StatusNoError), Call(tvVectorPreviousRecord, v));
  EXPECT_EQ(Hit(3, 3, StatusNoError), Call(tvVectorPreviousHit, v));
  EXPECT_EQ(Hit(1, 3, StatusNoError), Call(tvVectorPreviousRecord, v));
  EXPECT_EQ(Hit(1, 1, StatusEndOfVector), Call(tvVectorPreviousRecord, v));
  unsigned long total = 0, records = 0, hits = 0;
  tvNumHits(v, &total, &records, &hits, &status_);
  EXPECT_EQ(StatusNoError, status_);
  EXPECT_EQ(3ul, records);
  EXPECT_EQ(6ul, hits);
  EXPECT_EQ(6ul, total);
  Delete(v);
}

TEST_F(QueryResultTest, WalksARankedResultBestFirst) {
  QueryVectorBaseT* v = Query(Hex("a") + " " + Hex("x"), "");
  ASSERT_NE(nullptr, v);
  std::vector<unsigned long> order;
  SeenT seen = Call(tvVectorCurrentHit, v);
  float last = seen.weight;
  for (; seen.status == StatusNoError; seen = Call(tvVectorNextHit, v)) {
    order.push_back(seen.record);
    EXPECT_EQ(1ul, seen.word);
    EXPECT_LE(seen.weight, last);
    last = seen.weight;
  }
  EXPECT_EQ((std::vector<unsigned long>{5, 3, 1}), order);
  EXPECT_EQ(3ul, Call(tvVectorPreviousRecord, v).record);
  unsigned long total = 0, records = 0, hits = 0;
  tvNumHits(v, &total, &records, &hits, &status_);
  EXPECT_EQ(3ul, total);
  EXPECT_EQ(3ul, records);
  EXPECT_EQ(3ul, hits);
  Delete(v);
}

TEST_F(QueryResultTest, ARankedLimitKeepsTheBestRecordsOnly) {
  for (unsigned long refused : {0ul, TV_MAXIMUM_RANKED_RESULTS + 1ul}) {
    tvSetRankedResultLimit(index_.Manager, refused, &status_);
    EXPECT_EQ(StatusMalformedParameter, status_) << refused;
  }
  tvSetRankedResultLimit(nullptr, 2, &status_);
  EXPECT_EQ(StatusNotIndexFile, status_);
  tvSetRankedResultLimit(index_.Manager, 2, &status_);
  ASSERT_EQ(StatusNoError, status_);
  QueryVectorBaseT* v = Query(Hex("a") + " " + Hex("x"), "");
  ASSERT_NE(nullptr, v);
  std::vector<unsigned long> order;
  for (SeenT seen = Call(tvVectorCurrentHit, v); seen.status == StatusNoError;
       seen = Call(tvVectorNextHit, v)) {
    order.push_back(seen.record);
  }
  EXPECT_EQ((std::vector<unsigned long>{5, 3}), order);
  Delete(v);
}

TEST_F(QueryResultTest, OneHitAndNoQuery) {
  QueryVectorBaseT* v = Query("", Hex("x"));
  ASSERT_NE(nullptr, v);
  EXPECT_EQ(Hit(5, 2, StatusEndOfVector), Call(tvVectorNextHit, v));
  Delete(v);
  v = Query(Hex("x"), "");
  ASSERT_NE(nullptr, v);
  SeenT seen = Call(tvVectorNextHit, v);
  EXPECT_EQ(StatusEndOfVector, seen.status);
  EXPECT_EQ(5ul, seen.record);
  EXPECT_GT(seen.weight, 0.4f);
  Delete(v);

  EXPECT_EQ(nullptr, Query("", ""));
  EXPECT_EQ(StatusNoError, status_);
  EXPECT_EQ(nullptr, Query("0x61 +", ""));
  EXPECT_EQ(StatusHexTermExpected, status_);
  EXPECT_EQ(nullptr, tvProcessQuery(nullptr, nullptr, nullptr, &status_));
  EXPECT_EQ(StatusNotIndexFile, status_);
  tvEndRetrievalSession(index_.Manager, &status_);
  EXPECT_EQ(nullptr, Query(Hex("a"), ""));
  EXPECT_EQ(StatusNotInitializedForSearching, status_);
}

TEST(ResultVectorTest, CountsOfEveryKind) {
  StatusCodeT status = 99;
  unsigned long total = 9, records = 9, hits = 9;
  tvNumHits(nullptr, &total, &records, &hits, &status);
  EXPECT_EQ(StatusNoError, status);
  EXPECT_EQ(0ul, total + records + hits);

  QueryVectorBaseT* words =
      Built({{1, 2}, {1, 5}, {2, 1}, {2, 2}, {2, 9}, {7, 3}, {7, 4}});
  tvNumHits(words, &total, &records, &hits, &status);
  EXPECT_EQ(3ul, records);
  EXPECT_EQ(7ul, hits);
  EXPECT_EQ(7ul, total);

  // A record-level vector whose hits were never counted.
  QueryVectorBaseT* plain = Built({{1, 1}, {4, 1}, {6, 1}});
  static_cast<UncompressedQueryVectorT*>(plain)->HitCount = 0;
  tvNumHits(plain, &total, &records, &hits, &status);
  EXPECT_EQ(3ul, records);
  EXPECT_EQ(0ul, hits);
  EXPECT_EQ(3ul, total);
  Delete(words);
  Delete(plain);
}

TEST(ResultVectorTest, HostBuiltVectorsKeepTheirOrder) {
  StatusCodeT status = 99;
  QueryVectorBaseT* v = tvCreateResultVector(&status);
  ASSERT_NE(nullptr, v);
  // A vector without hits: every move reports the end and no record.
  const SeenT none = Hit(0, 0, StatusEndOfVector);
  for (MoveT move : {tvVectorNextHit, tvVectorPreviousHit, tvVectorNextRecord,
                     tvVectorPreviousRecord}) {
    EXPECT_EQ(none, Call(move, v));
  }
  EXPECT_EQ(Hit(0, 0, StatusNoError), Call(tvVectorCurrentHit, v));

  tvVectorAddHit(v, 5, 2, 0.5f, &status);
  EXPECT_EQ(StatusNoError, status);
  const std::pair<unsigned long, unsigned long> refused[] = {
      {0, 1}, {5, 2}, {5, 1}, {4, 9}, {6, 0}, {1ul << 33, 1}, {6, 1ul << 33}};
  for (const auto& hit : refused) {
    tvVectorAddHit(v, hit.first, hit.second, 1.0f, &status);
    EXPECT_EQ(StatusMalformedParameter, status) << hit.first << "," << hit.second;
  }
  tvVectorAddHit(v, 5, 3, 1.0f, &status);
  EXPECT_EQ(StatusNoError, status);
  tvVectorRewind(v, &status);
  EXPECT_EQ(Hit(5, 2, StatusNoError, 0.5f), Call(tvVectorCurrentHit, v));
  EXPECT_EQ(Hit(5, 3, StatusNoError), Call(tvVectorNextHit, v));
  Delete(v);
}

TEST(ResultVectorTest, WalksBackAcrossSpilledWindows) {
  std::vector<std::pair<unsigned long, unsigned long>> hits;
  for (unsigned long r = 1; r <= 300; ++r) {
    hits.emplace_back(r, 1);
    hits.emplace_back(r, 2);
  }
  QueryVectorBaseT* v = Built(hits);
  EXPECT_EQ(hits, Rest(v));
  for (size_t i = hits.size() - 1; i-- > 0;) {
    SeenT seen = Call(tvVectorPreviousHit, v);
    ASSERT_EQ(Hit(hits[i].first, hits[i].second, StatusNoError), seen);
  }
  EXPECT_EQ(Hit(1, 1, StatusEndOfVector), Call(tvVectorPreviousHit, v));
  Delete(v);
}

TEST(ResultVectorTest, Operators) {
  const std::vector<std::pair<unsigned long, unsigned long>> a = {
      {1, 1}, {2, 3}, {4, 1}, {4, 6}};
  const std::vector<std::pair<unsigned long, unsigned long>> b = {
      {2, 1}, {4, 6}, {5, 1}};
  using Hits = std::vector<std::pair<unsigned long, unsigned long>>;
  struct CaseT {
    QueryVectorBaseT* (*op)(QueryVectorBaseT*, QueryVectorBaseT*, StatusCodeT*);
    bool same;
    Hits expected;
  } cases[] = {
      {tvVectorAnd, false, {{2, 1}, {2, 3}, {4, 1}, {4, 6}}},
      {tvVectorOr, false, {{1, 1}, {2, 1}, {2, 3}, {4, 1}, {4, 6}, {5, 1}}},
      {tvVectorNot, false, {{1, 1}}},
      {tvVectorAnd, true, a},
      {tvVectorOr, true, a},
      {tvVectorNot, true, {}},
  };
  for (const CaseT& c : cases) {
    QueryVectorBaseT* left = Built(a);
    QueryVectorBaseT* right = c.same ? left : Built(b);
    StatusCodeT status = 99;
    QueryVectorBaseT* result = c.op(left, right, &status);
    ASSERT_NE(nullptr, result);
    EXPECT_EQ(StatusNoError, status);
    tvVectorRewind(result, &status);
    EXPECT_EQ(c.expected, Rest(result)) << c.same;
    Delete(result);
    if (right != left) Delete(right);
    Delete(left);
  }
}

TEST(ResultVectorTest, HandlesThatAreNotLiveVectors) {
  StatusCodeT status = 99;
  tvDeleteResultVector(nullptr, &status);
  EXPECT_EQ(StatusNoError, status);
  QueryVectorBaseT* live = Built({{1, 1}});
  QueryVectorBaseT* gone = tvCreateResultVector(&status);
  tvDeleteResultVector(gone, &status);
  int local = 0;
  auto* foreign = reinterpret_cast<QueryVectorBaseT*>(&local);
  for (QueryVectorBaseT* bad : {gone, foreign, static_cast<QueryVectorBaseT*>(nullptr)}) {
    EXPECT_EQ(StatusNotIndexFile, Call(tvVectorNextHit, bad).status);
    EXPECT_EQ(StatusNotIndexFile, Call(tvVectorPreviousRecord, bad).status);
    EXPECT_EQ(StatusNotIndexFile, Call(tvVectorCurrentHit, bad).status);
    tvVectorAddHit(bad, 1, 1, 1.0f, &status);
    EXPECT_EQ(StatusNotIndexFile, status);
    tvVectorRewind(bad, &status);
    EXPECT_EQ(StatusNotIndexFile, status);
    EXPECT_EQ(nullptr, tvVectorOr(live, bad, &status));
    EXPECT_EQ(StatusNotIndexFile, status);
    if (bad != nullptr) {
      tvDeleteResultVector(bad, &status);
      EXPECT_EQ(StatusNotIndexFile, status);
      unsigned long total = 0;
      tvNumHits(bad, &total, nullptr, nullptr, &status);
      EXPECT_EQ(StatusNotIndexFile, status);
    }
  }
  // A null status and null outputs are tolerated.
  tvVectorNextHit(live, nullptr, nullptr, nullptr, nullptr, nullptr);
  Delete(live);
}

}  // namespace
