#include "query/lazy_hits_vector.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <utility>
#include <vector>

#include "support/hit_vector.h"

namespace {

using Hit = HitPairT;

// A whole evaluation's hits (deleted records included), handed out a range
// of records at a time; or a failure with the status given.
class FakeEvaluatorT : public HitEvaluatorT {
 public:
  FakeEvaluatorT(std::vector<Hit> hits, std::vector<Hit>* ranges,
                 const StatusCodeT* failure)
      : Hits(std::move(hits)), Ranges(ranges), Failure(failure) {}
  UncompressedQueryVectorT* EvaluateHits(uint32_t first, uint32_t last,
                                         StatusCodeT* status) override {
    Ranges->push_back({first, last});
    if (*Failure < 0) {
      *status = *Failure;
      return nullptr;
    }
    std::vector<Hit> inside;
    for (const Hit& hit : Hits) {
      if (hit.first >= first && hit.first <= last) inside.push_back(hit);
    }
    return VectorOfHits(inside).release();
  }
  std::vector<Hit> Hits;
  std::vector<Hit>* Ranges;
  const StatusCodeT* Failure;
};

// A result of `records` records, every third one left out of it (deleted
// since the query) but present in the evaluation, each with 1 to 4 hits.
class LazyHitsVectorTest : public testing::Test {
 protected:
  void Build(uint32_t records, std::vector<Hit> evaluated = {}) {
    std::mt19937 random(records);
    std::vector<Hit> recordHits;
    result_.clear();
    for (uint32_t r = 1; r <= records; ++r) {
      const uint32_t hits = 1 + random() % 4;
      uint32_t word = 0;
      for (uint32_t i = 0; i < hits; ++i) {
        word += 1 + random() % 5;
        all_.push_back({r, word});
        if (r % 3 != 0) result_.push_back({r, word});
      }
      if (r % 3 != 0) recordHits.push_back({r, 1});
    }
    auto filled = VectorOfHits(recordHits);
    StatusCodeT status = StatusNoError;
    lazy_ = std::make_unique<LazyHitsVectorT>(
        filled.get(),
        std::make_unique<FakeEvaluatorT>(evaluated.empty() ? all_ : evaluated,
                                         &ranges_, &failure_),
        &status);
    ASSERT_EQ(status, StatusNoError);
    eager_ = VectorOfHits(result_);
  }
  static Hit At(const QueryVectorBaseT& v) {
    return {v.CurrentRecord(), v.CurrentWord()};
  }

  std::vector<Hit> all_;
  std::vector<Hit> result_;
  std::vector<Hit> ranges_;
  StatusCodeT failure_ = StatusNoError;
  std::unique_ptr<LazyHitsVectorT> lazy_;
  std::unique_ptr<UncompressedQueryVectorT> eager_;
};

TEST_F(LazyHitsVectorTest, RecordWalksProduceNoHits) {
  Build(9);
  StatusCodeT status = StatusNoError;
  std::vector<uint32_t> forward = {lazy_->CurrentRecord()};
  for (lazy_->NextRecord(&status); status == StatusNoError;
       lazy_->NextRecord(&status)) {
    forward.push_back(lazy_->CurrentRecord());
  }
  EXPECT_EQ(status, StatusEndOfVector);
  EXPECT_EQ(forward, std::vector<uint32_t>({1, 2, 4, 5, 7, 8}));
  lazy_->PreviousRecord(&status);
  EXPECT_EQ(lazy_->CurrentRecord(), 7u);
  EXPECT_EQ(lazy_->RecordCount, 6u);
  EXPECT_TRUE(ranges_.empty());
  EXPECT_TRUE(lazy_->HitsPending());
}

// Walking the hits from the first evaluates stretches of 16, 32, 64...
// records of the result, each from the record after the last one produced.
TEST_F(LazyHitsVectorTest, AHitWalkProducesStretchesOfGrowingLength) {
  Build(200);
  StatusCodeT status = StatusNoError;
  std::vector<Hit> walked;
  for (lazy_->Rewind(&status); status == StatusNoError; lazy_->NextHit(&status)) {
    if (walked.empty()) {
      HitRecT hit;
      lazy_->Current(&hit, &status);  // the first hit's word
      ASSERT_EQ(status, StatusNoError);
      EXPECT_EQ(ranges_.size(), 1u);
    }
    walked.push_back(At(*lazy_));
  }
  EXPECT_EQ(status, StatusEndOfVector);
  EXPECT_EQ(walked, result_);
  // Records 1..200 less every third: the 16th is 23, the 48th 71, the 112th
  // 167.
  EXPECT_EQ(ranges_, std::vector<Hit>({{1, 23}, {24, 71}, {72, 167},
                                       {168, UINT32_MAX}}));
  EXPECT_FALSE(lazy_->HitsPending());
  EXPECT_EQ(lazy_->HitCount, result_.size());
}

// Any sequence of moves leaves the vector where a vector holding its hits
// from the start stands: by record on the same record, by hit on the same
// hit, and once the hits are there, on the same hit in every case.
TEST_F(LazyHitsVectorTest, MovesAgreeWithAResultHoldingItsHits) {
  for (uint32_t seed = 1; seed <= 8; ++seed) {
    SCOPED_TRACE(seed);
    all_.clear();
    ranges_.clear();
    Build(600 + seed * 13);
    std::mt19937 random(seed);
    for (int step = 0; step < 1500; ++step) {
      StatusCodeT a = StatusNoError;
      StatusCodeT b = StatusNoError;
      HitRecT hit;
      // Moves by record outnumber the others, so that the vector often
      // stands in records whose hits are not there yet; a rewind is rare.
      uint32_t move = random() % 12;
      if (move >= 7) move = move % 2;
      if (move == 5 && random() % 4 != 0) move = 0;
      switch (move) {
        case 0: lazy_->NextRecord(&a); eager_->NextRecord(&b); break;
        case 1: lazy_->PreviousRecord(&a); eager_->PreviousRecord(&b); break;
        case 2: lazy_->NextHit(&a); eager_->NextHit(&b); break;
        case 3: lazy_->PreviousHit(&hit, &a); eager_->PreviousHit(&hit, &b); break;
        case 4: {
          const uint32_t record = lazy_->CurrentRecord() + random() % 6;
          const uint32_t word = random() % 8;
          lazy_->NextHit(record, word, &a);
          eager_->NextHit(record, word, &b);
          break;
        }
        case 5: lazy_->Rewind(&a); eager_->Rewind(&b); break;
        default: lazy_->Current(&hit, &a); break;
      }
      ASSERT_EQ(a, b) << "step " << step << " move " << move;
      ASSERT_EQ(lazy_->CurrentRecord(), eager_->CurrentRecord()) << "step " << step;
      if (move >= 2 && move != 5) {
        ASSERT_EQ(At(*lazy_), At(*eager_))
            << "step " << step << " move " << move << " stretches "
            << testing::PrintToString(ranges_);
      }
    }
    lazy_->ProduceHits(lazy_->CurrentRecord(), &failure_);
    EXPECT_EQ(At(*lazy_), At(*eager_));
  }
}

TEST_F(LazyHitsVectorTest, AFailedProductionLeavesTheRecordsToTryAgain) {
  Build(9);
  StatusCodeT status = StatusNoError;
  lazy_->NextRecord(&status);
  failure_ = StatusReadError;
  lazy_->NextHit(&status);
  EXPECT_EQ(status, StatusReadError);
  EXPECT_TRUE(lazy_->HitsPending());
  EXPECT_EQ(At(*lazy_), Hit(2, 1));
  failure_ = StatusNoError;
  lazy_->NextHit(&status);
  EXPECT_EQ(status, StatusNoError);
  eager_->NextRecord(&status);
  eager_->NextHit(&status);
  EXPECT_EQ(At(*lazy_), At(*eager_));
}

// An evaluation that lacks a record of the result read other partitions
// than the query: an error, never a result that lost records.
TEST_F(LazyHitsVectorTest, AnEvaluationMissingARecordIsAnError) {
  Build(9, {{1, 3}, {4, 2}});
  StatusCodeT status = StatusNoError;
  lazy_->ProduceHits(UINT32_MAX, &status);
  EXPECT_EQ(status, StatusGeneralError);
  EXPECT_TRUE(lazy_->HitsPending());
  EXPECT_EQ(lazy_->RecordCount, 6u);
  EXPECT_EQ(At(*lazy_), Hit(1, 1));
}

}  // namespace
