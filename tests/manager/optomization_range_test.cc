// The choice of the range an optimisation merges, from partition sizes and
// deletion counts alone: the thresholds little and big spans must fit, the
// preference for the longest span (the later among equals), and the
// partitions with more than a tenth of their records deleted.

#include "manager/optomization_range.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

constexpr uint32_t kLarge = 0x3000000;  // no two of them fit 64 MiB
constexpr std::pair<int, int> kNone{-1, -1};

// Partitions of the given byte lengths, of `records` records each, none of
// them deleted.
std::vector<PartitionSizeT> Sized(const std::vector<uint32_t>& lengths,
                                  uint32_t records = 1) {
  std::vector<PartitionSizeT> sizes;
  for (uint32_t bytes : lengths) sizes.push_back({bytes, records, 0});
  return sizes;
}

std::vector<PartitionSizeT> WithDeleted(std::vector<PartitionSizeT> sizes,
                                        size_t partition, uint32_t deleted) {
  sizes[partition].Deleted = deleted;
  return sizes;
}

std::pair<int, int> Range(const std::vector<PartitionSizeT>& sizes,
                          BooleanT big) {
  const OptomizationBoundsT range = ChooseOptomizationRange(sizes, big);
  if (range.PartitionCount == 0) return kNone;
  EXPECT_EQ(range.LastPartition - range.FirstPartition + 1,
            range.PartitionCount);
  return {static_cast<int>(range.FirstPartition),
          static_cast<int>(range.LastPartition)};
}

TEST(OptomizationRangeTest, LittleSpansFitTheFirstThresholdThatHoldsOne) {
  struct CaseT {
    std::vector<uint32_t> Lengths;
    std::pair<int, int> Little;
  } const cases[] = {
      // 150000 bytes pass 128 KiB, not 256 KiB.
      {{kLarge, kLarge, kLarge, 70000, 80000}, {3, 4}},
      // 256 KiB takes the last two; all three (350000) would need 512 KiB.
      {{kLarge, kLarge, 200000, 70000, 80000}, {3, 4}},
      // The most partitions under 128 KiB; the later of equal spans.
      {{60000, 30000, 30000, 60000, 140000}, {1, 3}},
      {{60000, 60000, 140000, 60000, 60000}, {3, 4}},
      {{kLarge, kLarge, kLarge, kLarge, kLarge}, kNone},
      // A threshold holds a span of exactly its size.
      {{0x10000, 0x10000}, {0, 1}},
      {{0x10000, 0x10001}, {0, 1}},
      // A single partition is never a span.
      {{100}, kNone},
      {{}, kNone},
  };
  for (const CaseT& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.Lengths));
    EXPECT_EQ(c.Little, Range(Sized(c.Lengths), 0));
  }
  // The range found carries its size.
  const OptomizationBoundsT range =
      ChooseOptomizationRange(Sized({kLarge, 70000, 80000}, 7), 0);
  EXPECT_EQ(150000u, range.SpanBytes);
  EXPECT_EQ(14u, range.SpanRecords);
}

TEST(OptomizationRangeTest, PartitionsWithATenthDeletedAndBigSpans) {
  const std::vector<PartitionSizeT> large = Sized({kLarge, kLarge, kLarge}, 100);
  struct CaseT {
    const char* Name;
    std::vector<PartitionSizeT> Sizes;
    std::pair<int, int> Little;
    std::pair<int, int> Big;
  } const cases[] = {
      // Too large for any little span; all three fit 256 MiB.
      {"large", large, kNone, {0, 2}},
      // Ten deleted of a hundred are not more than a tenth; eleven are.
      {"a tenth deleted", WithDeleted(large, 1, 10), kNone, {0, 2}},
      {"more than a tenth", WithDeleted(large, 1, 11), {1, 1}, {1, 1}},
      {"the first of two", WithDeleted(WithDeleted(large, 2, 11), 1, 11),
       {1, 1}, {1, 1}},
      {"records rounded down", WithDeleted(Sized({kLarge}, 19), 0, 2), {0, 0},
       {0, 0}},
      // Little spans come before deletions, deletions before big spans.
      {"little span first", WithDeleted(Sized({100, 100}, 10), 0, 5), {0, 1},
       {0, 0}},
      // Beyond 2 GiB together, big spans take what fits.
      {"beyond 2 GiB", Sized({0x60000000, 0x40000000, 0x30000000}, 100), kNone,
       {1, 2}},
      {"nothing fits", Sized({0x7F000000, 0x7F000000, 0x7F000000}, 100), kNone,
       kNone},
  };
  for (const CaseT& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(c.Little, Range(c.Sizes, 0));
    EXPECT_EQ(c.Big, Range(c.Sizes, 1));
  }
}

}  // namespace
