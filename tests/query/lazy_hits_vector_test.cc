#include "query/lazy_hits_vector.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

namespace {

using Hit = std::pair<uint32_t, uint32_t>;

// A whole evaluation: every record's hits, records deleted since the query
// (2 and 6) included.
const std::vector<Hit> kAllHits = {{1, 3}, {1, 7}, {2, 1}, {4, 2}, {4, 5},
                                   {4, 9}, {6, 4}, {8, 1}, {8, 6}};
// The result's records.
const std::vector<uint32_t> kRecords = {1, 4, 8};

std::unique_ptr<UncompressedQueryVectorT> Filled(const std::vector<Hit>& hits) {
  StatusCodeT status = StatusNoError;
  auto vector = std::make_unique<UncompressedQueryVectorT>(kResultVectorBytes,
                                                           &status);
  for (const Hit& hit : hits) {
    TermInstanceT instance;
    instance.RecordNumber = hit.first;
    instance.WordPosition = hit.second;
    vector->AddInstance(&instance, &status);
  }
  vector->Rewind(&status);
  return vector;
}

// Hands out kAllHits, or fails with the status given.
class FakeEvaluatorT : public HitEvaluatorT {
 public:
  FakeEvaluatorT(int* calls, const StatusCodeT* failure,
                 std::vector<Hit> hits = kAllHits)
      : Calls(calls), Failure(failure), Hits(std::move(hits)) {}
  UncompressedQueryVectorT* EvaluateHits(StatusCodeT* status) override {
    ++*Calls;
    if (*Failure < 0) {
      *status = *Failure;
      return nullptr;
    }
    return Filled(Hits).release();
  }
  int* Calls;
  const StatusCodeT* Failure;
  std::vector<Hit> Hits;
};

class LazyHitsVectorTest : public testing::Test {
 protected:
  std::unique_ptr<LazyHitsVectorT> Make(std::vector<Hit> all = kAllHits) {
    std::vector<Hit> records;
    for (uint32_t record : kRecords) records.push_back({record, 1});
    auto filled = Filled(records);
    StatusCodeT status = StatusNoError;
    auto vector = std::make_unique<LazyHitsVectorT>(
        filled.get(),
        std::make_unique<FakeEvaluatorT>(&calls_, &failure_, std::move(all)),
        &status);
    EXPECT_EQ(status, StatusNoError);
    return vector;
  }
  static Hit At(const QueryVectorBaseT& v) {
    return {v.CurrentRecord(), v.CurrentWord()};
  }

  int calls_ = 0;
  StatusCodeT failure_ = StatusNoError;
};

TEST_F(LazyHitsVectorTest, RecordWalksProduceNoHits) {
  auto vector = Make();
  EXPECT_EQ(vector->RecordCount, 3u);
  StatusCodeT status = StatusNoError;
  std::vector<uint32_t> forward = {vector->CurrentRecord()};
  for (vector->NextRecord(&status); status == StatusNoError;
       vector->NextRecord(&status)) {
    forward.push_back(vector->CurrentRecord());
  }
  EXPECT_EQ(status, StatusEndOfVector);
  EXPECT_EQ(forward, kRecords);
  vector->PreviousRecord(&status);
  EXPECT_EQ(vector->CurrentRecord(), 4u);
  EXPECT_EQ(calls_, 0);
  EXPECT_TRUE(vector->HitsPending());
}

// Once produced, the vector stands where the same moves would have left a
// vector holding its hits from the start: a forward move by record on the
// record's first hit, a backward one on its last, a forward move past the end
// on the last hit, a backward one before the start on the first.
TEST_F(LazyHitsVectorTest, HitsStandWhereTheRecordMovesLeftTheVector) {
  struct CaseT {
    const char* moves;  // n: NextRecord, p: PreviousRecord
    Hit expected;
  };
  const CaseT cases[] = {
      {"", {1, 3}},    {"n", {4, 2}},    {"nn", {8, 1}},  {"nnn", {8, 6}},
      {"nnp", {4, 9}}, {"nnpp", {1, 7}}, {"np", {1, 7}},  {"p", {1, 3}},
      {"npp", {1, 3}}, {"nnnp", {4, 9}},
  };
  for (const CaseT& c : cases) {
    SCOPED_TRACE(c.moves);
    auto lazy = Make();
    auto eager = Filled({{1, 3}, {1, 7}, {4, 2}, {4, 5}, {4, 9}, {8, 1}, {8, 6}});
    StatusCodeT status = StatusNoError;
    StatusCodeT eagerStatus = StatusNoError;
    for (const char* m = c.moves; *m != 0; ++m) {
      if (*m == 'n') {
        lazy->NextRecord(&status);
        eager->NextRecord(&eagerStatus);
      } else {
        lazy->PreviousRecord(&status);
        eager->PreviousRecord(&eagerStatus);
      }
      EXPECT_EQ(status, eagerStatus);
    }
    lazy->ProduceHits(&status);
    ASSERT_EQ(status, StatusNoError);
    EXPECT_EQ(At(*lazy), c.expected);
    EXPECT_EQ(At(*eager), c.expected);
  }
}

TEST_F(LazyHitsVectorTest, HitLevelCallsProduceTheResultsHitsOnce) {
  auto vector = Make();
  StatusCodeT status = StatusNoError;
  vector->NextRecord(&status);
  vector->NextHit(&status);  // from the first hit of record 4
  EXPECT_EQ(At(*vector), Hit(4, 5));
  EXPECT_EQ(calls_, 1);
  EXPECT_FALSE(vector->HitsPending());
  // Deleted records 2 and 6 are not the result's.
  EXPECT_EQ(vector->RecordCount, 3u);
  EXPECT_EQ(vector->HitCount, 7u);
  std::vector<Hit> walked;
  vector->Rewind(&status);
  for (; status == StatusNoError; vector->NextHit(&status)) {
    walked.push_back(At(*vector));
  }
  EXPECT_EQ(walked, std::vector<Hit>({{1, 3}, {1, 7}, {4, 2}, {4, 5}, {4, 9},
                                      {8, 1}, {8, 6}}));
  HitRecT hit;
  vector->PreviousHit(&hit, &status);
  EXPECT_EQ(Hit(hit.RecordNumber, hit.WordPosition), Hit(8, 1));
  EXPECT_EQ(calls_, 1);
}

TEST_F(LazyHitsVectorTest, AFailedProductionLeavesTheRecordsToTryAgain) {
  auto vector = Make();
  StatusCodeT status = StatusNoError;
  vector->NextRecord(&status);
  failure_ = StatusReadError;
  vector->NextHit(&status);
  EXPECT_EQ(status, StatusReadError);
  EXPECT_TRUE(vector->HitsPending());
  EXPECT_EQ(At(*vector), Hit(4, 1));
  failure_ = StatusNoError;
  vector->NextHit(&status);
  EXPECT_EQ(status, StatusNoError);
  EXPECT_EQ(At(*vector), Hit(4, 5));
}

// An evaluation that lacks a record of the result read other partitions
// than the query: an error, never a result that lost records.
TEST_F(LazyHitsVectorTest, AnEvaluationMissingARecordIsAnError) {
  auto vector = Make({{1, 3}, {8, 1}});
  StatusCodeT status = StatusNoError;
  vector->ProduceHits(&status);
  EXPECT_EQ(status, StatusGeneralError);
  EXPECT_TRUE(vector->HitsPending());
  EXPECT_EQ(vector->RecordCount, 3u);
  EXPECT_EQ(At(*vector), Hit(1, 1));
}

}  // namespace
