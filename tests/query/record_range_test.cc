#include "query/record_range.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/hit_vector.h"

namespace {

using Hit = HitPairT;

// Walked by steps and by targets, a range shows the viewed hits inside it
// and ends on the last of them.
TEST(RecordRangeTest, ShowsTheHitsOfItsRecordsOnly) {
  const std::vector<Hit> hits = {{1, 2}, {3, 1}, {3, 4}, {5, 2}, {8, 1}, {8, 3}};
  const struct {
    uint32_t first, last;
    std::vector<Hit> inside;
  } cases[] = {
      {1, UINT32_MAX, hits},
      {3, 5, {{3, 1}, {3, 4}, {5, 2}}},
      {4, 7, {{5, 2}}},
      {6, 7, {}},
      {8, 8, {{8, 1}, {8, 3}}},
      {9, 20, {}},
      {2, 1, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.first << ".." << c.last);
    StatusCodeT status = StatusNoError;
    RecordRangeVectorT range(VectorOfHits(hits).release(), c.first, c.last,
                             &status);
    ASSERT_EQ(status, StatusNoError);
    std::vector<Hit> walked;
    while (range.IsPositioned() && status == StatusNoError) {
      walked.push_back({range.CurrentRecord(), range.CurrentWord()});
      range.NextHit(&status);
    }
    EXPECT_EQ(walked, c.inside);
    if (!walked.empty()) {
      EXPECT_EQ(status, StatusEndOfVector);
      EXPECT_EQ(Hit(range.CurrentRecord(), range.CurrentWord()), walked.back());
    }
    // A target beyond the range ends it where it stands.
    range.Rewind(&status);
    range.NextHit(c.last == UINT32_MAX ? 8 : c.last + 1, 1, &status);
    if (c.last != UINT32_MAX && !c.inside.empty()) {
      EXPECT_EQ(status, StatusEndOfVector);
      EXPECT_EQ(Hit(range.CurrentRecord(), range.CurrentWord()), c.inside.front());
    }
  }
}

}  // namespace
