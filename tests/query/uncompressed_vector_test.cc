#include "query/uncompressed_vector.h"

#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

#include "storage/fileclas.h"
#include "support/temp_dir.h"

namespace {

using Hit = std::pair<uint32_t, uint32_t>;

TermInstanceT Instance(uint32_t record, uint32_t word) {
  TermInstanceT instance;
  instance.RecordNumber = record;
  instance.WordPosition = word;
  return instance;
}

void Fill(UncompressedQueryVectorT* vector, const std::vector<Hit>& hits) {
  for (const Hit& hit : hits) {
    TermInstanceT instance = Instance(hit.first, hit.second);
    StatusCodeT status = 0;
    vector->AddInstance(&instance, &status);
    ASSERT_EQ(status, 0);
    // A vector being filled stands on its newest hit, also after its window
    // grew.
    ASSERT_EQ(vector->CurrentRecord(), hit.first);
    ASSERT_EQ(vector->CurrentWord(), hit.second);
  }
}

Hit At(const QueryVectorBaseT& vector) {
  return {vector.CurrentRecord(), vector.CurrentWord()};
}

// Every hit from the first, by NextHit.
std::vector<Hit> Walk(UncompressedQueryVectorT* vector) {
  std::vector<Hit> walked;
  StatusCodeT status = 0;
  vector->Rewind(&status);
  EXPECT_EQ(status, 0);
  do {
    walked.push_back(At(*vector));
    vector->NextHit(&status);
  } while (status == 0);
  EXPECT_EQ(status, StatusEndOfVector);
  return walked;
}

std::vector<Hit> RandomHits(std::mt19937* random, int count) {
  std::vector<Hit> hits;
  uint32_t record = 1;
  uint32_t word = 0;
  for (int i = 0; i < count; ++i) {
    if ((*random)() % 3 == 0) {
      record += 1 + (*random)() % 4;
      word = 0;
    }
    word += 1 + (*random)() % 5;
    hits.push_back({record, word});
  }
  return hits;
}

TEST(UncompressedVectorTest, EmptyVector) {
  ScopedTempDirT dir;
  StatusCodeT status = 0;
  UncompressedQueryVectorT vector(kWorkVectorBytes, &status);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(vector.EntryCapacity(), 6400u);
  EXPECT_EQ(vector.KindTag, kUncompressedVectorKind);
  vector.Rewind(&status);
  EXPECT_EQ(status, 0);
  EXPECT_FALSE(vector.IsPositioned());
  vector.NextHit(&status);
  EXPECT_EQ(status, StatusEndOfVector);
  vector.NextHit(5, 1, &status);
  EXPECT_EQ(status, StatusEndOfVector);
  HitRecT hit;
  vector.Current(&hit, &status);
  EXPECT_EQ(status, StatusNoCurrentHit);
  vector.PreviousHit(&hit, &status);
  EXPECT_EQ(status, StatusEndOfVector);
}

// The worked examples, with windows of one entry up to all of them.
TEST(UncompressedVectorTest, TargetsAndRecordSteps) {
  ScopedTempDirT dir;
  const std::vector<Hit> hits = {{5, 3}, {7, 1}, {7, 4}, {9, 2}};
  for (uint32_t entries : {1u, 2u, 3u, 256u}) {
    SCOPED_TRACE(entries);
    StatusCodeT status = 0;
    UncompressedQueryVectorT vector(entries * 16, &status);
    Fill(&vector, hits);
    // Filled and not rewound, the vector stands at its end.
    vector.NextHit(&status);
    EXPECT_EQ(status, StatusEndOfVector);
    EXPECT_EQ(At(vector), Hit(9, 2));

    vector.Rewind(&status);
    vector.NextHit(7, 4, &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(At(vector), Hit(7, 4));
    vector.Rewind(&status);
    vector.NextHit(7, 5, &status);
    EXPECT_EQ(At(vector), Hit(9, 2));
    vector.NextHit(9, 3, &status);
    EXPECT_EQ(status, StatusEndOfVector);
    EXPECT_EQ(At(vector), Hit(9, 2));

    vector.Rewind(&status);
    vector.NextHit(7, 4, &status);
    vector.PreviousRecord(&status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(At(vector), Hit(5, 3));
    vector.NextRecord(&status);
    EXPECT_EQ(At(vector), Hit(7, 1));
    vector.NextRecord(&status);
    EXPECT_EQ(At(vector), Hit(9, 2));
    vector.NextRecord(&status);
    EXPECT_EQ(status, StatusEndOfVector);

    HitRecT hit;
    vector.Rewind(&status);
    vector.PreviousHit(&hit, &status);
    EXPECT_EQ(status, StatusEndOfVector);
    EXPECT_EQ(Hit(hit.RecordNumber, hit.WordPosition), Hit(5, 3));
    vector.Current(&hit, &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Hit(hit.RecordNumber, hit.WordPosition), Hit(5, 3));

    EXPECT_EQ(vector.InstanceCount, 4u);
    EXPECT_EQ(vector.RecordCount, 3u);
    EXPECT_EQ(vector.HitCount, 4u);
    EXPECT_EQ(vector.HitKind, kWordHits);
    EXPECT_EQ(vector.HasSpillFile() != 0, entries < 4);
  }
  EXPECT_TRUE(dir.Files().empty()) << "spill files outlived their vectors";
}

TEST(UncompressedVectorTest, OneHitVectorStaysOnItsHit) {
  StatusCodeT status = 0;
  UncompressedQueryVectorT vector(kScratchVectorBytes, &status);
  Fill(&vector, {{4, 1}});
  vector.Rewind(&status);
  vector.NextHit(&status);
  EXPECT_EQ(status, StatusEndOfVector);
  EXPECT_EQ(At(vector), Hit(4, 1));
  EXPECT_EQ(vector.HitKind, kRecordHits);
}

// Windows of 7 entries, and of 300, which the vector reaches by growing its
// buffer before it spills.
class SpilledVectorTest : public testing::TestWithParam<uint32_t> {};
INSTANTIATE_TEST_SUITE_P(Windows, SpilledVectorTest, testing::Values(7u, 300u));

TEST_P(SpilledVectorTest, WalksBothWays) {
  ScopedTempDirT dir;
  std::mt19937 random(3);
  const std::vector<Hit> hits = RandomHits(&random, 1000);
  StatusCodeT status = 0;
  UncompressedQueryVectorT vector(GetParam() * 16, &status);
  EXPECT_EQ(vector.EntryCapacity(), GetParam());
  Fill(&vector, hits);
  ASSERT_TRUE(vector.HasSpillFile());

  EXPECT_EQ(Walk(&vector), hits);

  std::vector<Hit> backward = {At(vector)};
  HitRecT hit;
  for (;;) {
    vector.PreviousHit(&hit, &status);
    if (status != 0) break;
    backward.push_back({hit.RecordNumber, hit.WordPosition});
    ASSERT_EQ(backward.back(), At(vector));
  }
  ASSERT_EQ(status, StatusEndOfVector);
  EXPECT_EQ(Hit(hit.RecordNumber, hit.WordPosition), hits.front());
  EXPECT_EQ(std::vector<Hit>(backward.rbegin(), backward.rend()), hits);

  // Random moves against the index they should reach.
  size_t at = 0;
  for (int move = 0; move < 3000; ++move) {
    switch (random() % 4) {
      case 0:
        vector.NextHit(&status);
        ASSERT_EQ(status, at + 1 < hits.size() ? 0 : StatusEndOfVector);
        if (at + 1 < hits.size()) ++at;
        break;
      case 1:
        vector.PreviousHit(&hit, &status);
        ASSERT_EQ(status, at > 0 ? 0 : StatusEndOfVector);
        if (at > 0) --at;
        break;
      case 2: {
        Hit target = hits[random() % hits.size()];
        target.second += random() % 3;
        vector.NextHit(target.first, target.second, &status);
        size_t next = at + 1;
        while (next < hits.size() && hits[next] < target) ++next;
        ASSERT_EQ(status, next < hits.size() ? 0 : StatusEndOfVector);
        at = next < hits.size() ? next : hits.size() - 1;
        break;
      }
      default:
        vector.Rewind(&status);
        ASSERT_EQ(status, 0);
        at = 0;
    }
    ASSERT_EQ(At(vector), hits[at]) << "move " << move;
  }
}

TEST(UncompressedVectorTest, AddingAfterWalkingBackAppendsAtTheEnd) {
  ScopedTempDirT dir;
  StatusCodeT status = 0;
  UncompressedQueryVectorT vector(3 * 16, &status);
  std::vector<Hit> hits;
  for (uint32_t r = 1; r <= 10; ++r) hits.push_back({r, 1});
  Fill(&vector, hits);
  vector.Rewind(&status);
  vector.NextHit(&status);
  Fill(&vector, {{11, 1}});
  hits.push_back({11, 1});
  EXPECT_EQ(Walk(&vector), hits);
}

TEST(UncompressedVectorTest, AppendAddsTheRecordOffset) {
  ScopedTempDirT dir;
  StatusCodeT status = 0;
  UncompressedQueryVectorT source(2 * 16, &status);
  Fill(&source, {{3, 1}, {3, 8}, {4, 2}, {9, 1}});
  UncompressedQueryVectorT target(kResultVectorBytes, &status);
  Fill(&target, {{1, 1}});
  target.Append(&source, 1000, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(Walk(&target), (std::vector<Hit>{
                        {1, 1}, {1003, 1}, {1003, 8}, {1004, 2}, {1009, 1}}));
  EXPECT_EQ(target.RecordCount, 4u);

  UncompressedQueryVectorT empty(kScratchVectorBytes, &status);
  target.Append(&empty, 5, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(target.InstanceCount, 5u);
}

TEST(UncompressedVectorTest, SpillFileThatCannotBeOpened) {
  ScopedTempDirT dir;
  tvSetLocationForTemporaryFiles((dir.Path() + "/missing/").c_str());
  StatusCodeT status = 0;
  UncompressedQueryVectorT vector(2 * 16, &status);
  Fill(&vector, {{1, 1}, {2, 1}});
  TermInstanceT third = Instance(3, 1);
  vector.AddInstance(&third, &status);
  EXPECT_EQ(status, StatusCannotOpenFile);
  EXPECT_EQ(vector.InstanceCount, 2u);
  EXPECT_EQ(vector.RecordCount, 2u);
  vector.Rewind(&status);
  EXPECT_EQ(At(vector), Hit(1, 1));
  vector.NextHit(&status);
  EXPECT_EQ(At(vector), Hit(2, 1));
}

TEST(UncompressedVectorTest, ComparisonsAndMatchCounter) {
  StatusCodeT status = 0;
  UncompressedQueryVectorT a(kScratchVectorBytes, &status);
  UncompressedQueryVectorT b(kScratchVectorBytes, &status);
  Fill(&a, {{2, 4}, {3, 1}});
  Fill(&b, {{2, 4}, {2, 6}});
  a.Rewind(&status);
  b.Rewind(&status);
  EXPECT_TRUE(a < b);
  EXPECT_TRUE(a > b);
  EXPECT_EQ(a.MatchCounter, 2u);
  b.NextHit(&status);
  EXPECT_TRUE(a < b);
  EXPECT_FALSE(a > b);
  EXPECT_EQ(a.MatchCounter, 3u);
  a.NextHit(&status);
  EXPECT_EQ(a.MatchCounter, 1u);
  EXPECT_FALSE(a < b);
  EXPECT_EQ(a.MatchCounter, 1u);
}

}  // namespace
