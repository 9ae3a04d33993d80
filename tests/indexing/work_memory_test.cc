// The working memory of a session: which budgets a host may set, and how a
// budget is cut into the run builder's areas.

#include "indexing/work_memory.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

TEST(WorkMemoryTest, BudgetsOutsideTheLimitsAreRefused) {
  const struct {
    uint64_t Bytes;
    int Valid;
  } cases[] = {
      {0, 1},
      {1, 0},
      {kDefaultIndexingMemory - 1, 0},
      {kDefaultIndexingMemory, 1},
      {uint64_t{1} << 30, 1},
      {kMaxIndexingMemory, 1},
      {kMaxIndexingMemory + 1, 0},
      {UINT64_MAX, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.Valid, IndexingMemoryIsValid(c.Bytes)) << c.Bytes;
  }
}

TEST(WorkMemoryTest, DefaultIsTheFixedBuffers) {
  for (uint64_t bytes : {uint64_t{0}, kDefaultIndexingMemory}) {
    const WorkMemoryPlanT plan = PlanWorkMemory(bytes);
    EXPECT_EQ(65000u, plan.PostingBytes);
    EXPECT_EQ(65000u, plan.WordStoreBytes);
    EXPECT_EQ(65000u, plan.TableAreaBytes);
    EXPECT_EQ(16384u, plan.TableSlots);
    EXPECT_EQ(0, plan.WideLinks);
  }
}

TEST(WorkMemoryTest, LargerBudgetsAreSplitWithinThemselves) {
  for (uint64_t bytes :
       {kDefaultIndexingMemory + 1, uint64_t{1} << 20, uint64_t{64} << 20,
        uint64_t{100000007}, kMaxIndexingMemory}) {
    SCOPED_TRACE(bytes);
    const WorkMemoryPlanT plan = PlanWorkMemory(bytes);
    EXPECT_EQ(1, plan.WideLinks);
    // The run builder takes the largest buffer for its postings and the
    // smallest for the table, which must hold it and the output block.
    EXPECT_GT(plan.PostingBytes, plan.WordStoreBytes);
    EXPECT_GT(plan.WordStoreBytes, plan.TableAreaBytes);
    EXPECT_EQ(uint64_t{plan.TableSlots} * 4 + 4096, plan.TableAreaBytes);
    EXPECT_EQ(0u, plan.TableSlots & (plan.TableSlots - 1));
    EXPECT_GE(plan.TableSlots, 4096u);
    EXPECT_LE(uint64_t{plan.TableSlots} * 4,
              std::max<uint64_t>(bytes / 16, 16384));
    const uint64_t total = uint64_t{plan.PostingBytes} + plan.WordStoreBytes +
                           plan.TableAreaBytes;
    EXPECT_EQ(bytes, total);
  }
}

}  // namespace
