#include "query/record_view.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "support/hit_vector.h"

namespace {

using Hit = HitPairT;

RecordViewVectorT* ViewOf(const std::vector<Hit>& hits) {
  return new RecordViewVectorT(VectorOfHits(hits).release());
}

const std::vector<Hit> kHits = {{1, 2}, {1, 5}, {3, 1}, {3, 4},
                                {3, 9}, {7, 2}, {9, 3}};

TEST(RecordViewTest, StepsOneHitPerRecordAtWordOne) {
  std::unique_ptr<RecordViewVectorT> view(ViewOf(kHits));
  EXPECT_TRUE(view->HoldsRecordHitsOnly());
  EXPECT_EQ(view->RecordCount, 4u);
  std::vector<Hit> walked;
  StatusCodeT status = StatusNoError;
  for (; status == StatusNoError; view->NextHit(&status)) {
    walked.push_back({view->CurrentRecord(), view->CurrentWord()});
  }
  EXPECT_EQ(status, StatusEndOfVector);
  EXPECT_EQ(walked, std::vector<Hit>({{1, 1}, {3, 1}, {7, 1}, {9, 1}}));
  // At the end it keeps standing on its last record.
  EXPECT_EQ(view->CurrentRecord(), 9u);
  std::unique_ptr<RecordViewVectorT> empty(ViewOf({}));
  EXPECT_FALSE(empty->IsPositioned());
  empty->NextHit(&status);
  EXPECT_EQ(status, StatusEndOfVector);
}

// A targeted step goes to the first record hit after the current one at or
// after (record, word): a word past 1 lies in the next record.
TEST(RecordViewTest, TargetedStepsMoveAsOverRecordHits) {
  struct CaseT {
    uint32_t record, word;
    StatusCodeT status;
    uint32_t lands;
  };
  const CaseT cases[] = {
      {1, 1, StatusNoError, 3},      {1, 9, StatusNoError, 3},
      {3, 1, StatusNoError, 3},      {3, 2, StatusNoError, 7},
      {4, 1, StatusNoError, 7},      {9, 1, StatusNoError, 9},
      {9, 2, StatusEndOfVector, 1},  {UINT32_MAX, 2, StatusEndOfVector, 1},
  };
  for (const CaseT& c : cases) {
    SCOPED_TRACE(testing::Message() << c.record << "," << c.word);
    std::unique_ptr<RecordViewVectorT> view(ViewOf(kHits));
    StatusCodeT status = StatusNoError;
    view->NextHit(c.record, c.word, &status);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(view->CurrentRecord(), c.lands);
    EXPECT_EQ(view->CurrentWord(), 1u);
  }
}

}  // namespace
