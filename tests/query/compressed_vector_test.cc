#include "query/compressed_vector.h"

#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

#include "query/uncompressed_vector.h"
#include "support/posting_file.h"
#include "support/temp_dir.h"

namespace {

using Hit = std::pair<uint32_t, uint32_t>;

Hit At(const QueryVectorBaseT& vector) {
  return {vector.CurrentRecord(), vector.CurrentWord()};
}

TEST(CompressedVectorTest, UnhookedVectorIsEmpty) {
  StatusCodeT status = 0;
  CompressedQueryVectorT vector(&status);
  EXPECT_EQ(vector.KindTag, kCompressedVectorKind);
  EXPECT_FALSE(vector.IsPositioned());
  vector.NextHit(&status);
  EXPECT_EQ(status, StatusEndOfVector);
  vector.NextHit(3, 1, &status);
  EXPECT_EQ(status, StatusEndOfVector);
  vector.Rewind(&status);
  EXPECT_EQ(status, 0);
}

// The worked examples in word mode, and the same records in the two
// record-level modes, where every hit stands at word 1.
TEST(CompressedVectorTest, TargetsInEveryMode) {
  ScopedTempDirT dir;
  PostingFileT file(dir.File("postings"));
  const std::vector<Hit> hits = {{5, 3}, {7, 1}, {7, 4}, {9, 2}};
  WordIndexInfoT word = file.Add(hits, WORD_MODE);
  WordIndexInfoT record = file.Add({{5, 1}, {7, 1}, {9, 1}}, RECORD_MODE);
  WordIndexInfoT idf = file.Add({{5, 1}, {7, 1}, {9, 1}}, IDF_MODE);
  StatusCodeT status = 0;

  auto vector = file.Hook(word);
  EXPECT_EQ(vector->RecordCount, 3u);
  EXPECT_EQ(vector->HitCount, 4u);
  EXPECT_EQ(At(*vector), Hit(5, 3));  // a hooked vector stands on its first hit
  vector->NextHit(7, 4, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(At(*vector), Hit(7, 4));
  vector->NextHit(7, 4, &status);  // at the target already: still one step
  EXPECT_EQ(At(*vector), Hit(9, 2));
  vector->NextHit(&status);
  EXPECT_EQ(status, StatusEndOfVector);
  EXPECT_EQ(At(*vector), Hit(9, 2));

  vector = file.Hook(word);
  vector->NextHit(7, 5, &status);
  EXPECT_EQ(At(*vector), Hit(9, 2));

  for (const WordIndexInfoT& info : {record, idf}) {
    vector = file.Hook(info);
    EXPECT_EQ(At(*vector), Hit(5, 1));
    vector->NextHit(7, 1, &status);
    EXPECT_EQ(At(*vector), Hit(7, 1));
    EXPECT_EQ(vector->CurrentHit().Count, info.IndexMode == IDF_MODE ? 2 : 1);
    vector = file.Hook(info);
    vector->NextHit(5, 2, &status);  // nothing after word 1 in record 5
    EXPECT_EQ(status, 0);
    EXPECT_EQ(At(*vector), Hit(7, 1));
    vector->NextHit(9, 2, &status);
    EXPECT_EQ(status, StatusEndOfVector);
  }
}

// A long word-mode list walked by random targets gives what an uncompressed
// copy of it gives, and appends into an uncompressed vector whole.
TEST(CompressedVectorTest, LongListFollowsTargetsAndAppends) {
  ScopedTempDirT dir;
  std::mt19937 random(5);
  std::vector<Hit> hits;
  uint32_t record = 1;
  uint32_t word = 0;
  for (int i = 0; i < 20000; ++i) {
    if (random() % 4 == 0) {
      record += 1 + random() % 3;
      word = 0;
    }
    word += 1 + random() % 4;
    hits.push_back({record, word});
  }
  PostingFileT file(dir.File("postings"));
  WordIndexInfoT info = file.Add(hits, WORD_MODE);

  StatusCodeT status = 0;
  auto vector = file.Hook(info);
  size_t at = 0;
  for (;;) {
    Hit target = hits[std::min(hits.size() - 1, at + random() % 600)];
    target.second += random() % 2;
    vector->NextHit(target.first, target.second, &status);
    size_t next = at + 1;
    while (next < hits.size() && hits[next] < target) ++next;
    if (next >= hits.size()) {
      ASSERT_EQ(status, StatusEndOfVector);
      break;
    }
    ASSERT_EQ(status, 0);
    at = next;
    ASSERT_EQ(At(*vector), hits[at]);
  }

  UncompressedQueryVectorT copy(kWorkVectorBytes, &status);
  copy.Append(file.Hook(info).get(), 1000, &status);
  EXPECT_EQ(status, 0);
  ASSERT_EQ(copy.InstanceCount, hits.size());
  copy.Rewind(&status);
  for (const Hit& hit : hits) {
    ASSERT_EQ(At(copy), Hit(hit.first + 1000, hit.second));
    copy.NextHit(&status);
  }
  EXPECT_EQ(copy.RecordCount, vector->RecordCount);
}

// A record's hits counted while passing it: short records between segments,
// and records long enough that whole skip blocks of every level, and the
// term's end, lie inside them. The uncompressed vector, which counts hit by
// hit, must agree.
TEST(CompressedVectorTest, PassRecordCountsTheRecordsHits) {
  ScopedTempDirT dir;
  const std::vector<uint32_t> perRecord = {1, 3, 15, 16, 17, 2, 300, 1, 5000,
                                           64, 1, 1100, 2, 20000};
  std::vector<Hit> hits;
  for (uint32_t r = 0; r < perRecord.size(); ++r) {
    for (uint32_t w = 1; w <= perRecord[r]; ++w) hits.push_back({3 * r + 2, 2 * w});
  }
  PostingFileT file(dir.File("postings"));
  WordIndexInfoT info = file.Add(hits, WORD_MODE);
  StatusCodeT status = 0;
  UncompressedQueryVectorT copy(kWorkVectorBytes, &status);
  copy.Append(file.Hook(info).get(), 0, &status);
  copy.Rewind(&status);
  auto vector = file.Hook(info);
  for (QueryVectorBaseT* walked : {static_cast<QueryVectorBaseT*>(vector.get()),
                                   static_cast<QueryVectorBaseT*>(&copy)}) {
    for (uint32_t r = 0; r < perRecord.size(); ++r) {
      ASSERT_EQ(walked->CurrentRecord(), 3 * r + 2);
      uint32_t count = 0;
      walked->PassRecord(&count, &status);
      EXPECT_EQ(count, perRecord[r]) << "record " << 3 * r + 2;
      EXPECT_EQ(status, r + 1 < perRecord.size() ? 0 : StatusEndOfVector);
    }
  }
}

}  // namespace
