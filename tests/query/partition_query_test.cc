// PartitionReaderT as the query parser's term source, over partitions made by
// indexing sessions: term vectors, wildcard and range expansions with their
// limits, and whole queries with the partition's record offset.

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "query/deleted_records.h"
#include "query/query_convert.h"
#include "support/indexed_partition.h"
#include "support/temp_dir.h"

namespace {

using HitSet = std::set<std::pair<uint32_t, uint32_t>>;

HitSet Walk(QueryVectorBaseT* vector) {
  HitSet hits;
  StatusCodeT status = StatusNoError;
  while (vector->IsPositioned() && status == StatusNoError) {
    hits.insert({vector->CurrentRecord(), vector->CurrentWord()});
    vector->NextHit(&status);
  }
  EXPECT_GE(status, 0);
  return hits;
}

std::string Numbered(int i) {
  char word[8];
  std::snprintf(word, sizeof word, "n%04d", i);
  return word;
}

// Record r (from 1) holds the numbered words 50 (r - 1) to 50 r - 1, each
// at its own word position, and "odd" or "even" after them.
class PartitionQueryTest : public testing::Test {
 protected:
  void SetUp() override {
    RecordsT records(60);
    for (int i = 0; i < 3000; ++i) records[i / 50].push_back(Numbered(i));
    for (size_t r = 0; r < records.size(); ++r) {
      records[r].push_back(r % 2 ? "even" : "odd");
    }
    IndexRecords(dir_.File("p"), WORD_MODE, records);
    partition_ = std::make_unique<OpenPartitionT>(dir_.File("p"));
    ASSERT_TRUE(partition_->Ok);
  }
  // The hits of the numbered words first to last.
  static HitSet Numbers(int first, int last) {
    HitSet hits;
    for (int i = first; i <= last; ++i) {
      hits.insert({static_cast<uint32_t>(i / 50 + 1), static_cast<uint32_t>(i % 50 + 1)});
    }
    return hits;
  }

  ScopedTempDirT dir_;
  std::unique_ptr<OpenPartitionT> partition_;
};

TEST_F(PartitionQueryTest, TermsAreHookedOrEmpty) {
  PartitionReaderT& r = partition_->Reader;
  StatusCodeT status = StatusNoError;
  std::unique_ptr<CompressedQueryVectorT> term(
      r.TokentoVector(Bytes(Key("n0120")), &status));
  ASSERT_NE(term, nullptr);
  EXPECT_EQ(term->TermRecordCount, 1u);
  EXPECT_EQ(Walk(term.get()), Numbers(120, 120));
  for (const char* missing : {"n", "zzz", ""}) {
    term.reset(r.TokentoVector(Bytes(Key(missing)), &status));
    ASSERT_NE(term, nullptr);
    EXPECT_EQ(status, StatusNoError);
    EXPECT_FALSE(term->IsPositioned()) << missing;
  }
}

TEST_F(PartitionQueryTest, WildcardsTakeEveryMatchAndRangesTheFirstKeys) {
  PartitionReaderT& r = partition_->Reader;
  StatusCodeT status = StatusNoError;
  // 3000 matches: far more than one processor takes at once.
  std::unique_ptr<QueryVectorBaseT> vector(
      r.ProcessWildCard(Bytes(Key("n*")), LeafViewT(), &status));
  ASSERT_NE(vector, nullptr);
  EXPECT_EQ(Walk(vector.get()), Numbers(0, 2999));
  vector.reset(r.ProcessWildCard(Bytes(Key("n1?00")), LeafViewT(), &status));
  ASSERT_NE(vector, nullptr);
  HitSet hundreds;
  for (int i = 1000; i < 2000; i += 100) {
    HitSet one = Numbers(i, i);
    hundreds.insert(one.begin(), one.end());
  }
  EXPECT_EQ(Walk(vector.get()), hundreds);
  vector.reset(r.ProcessWildCard(Bytes(Key("q*")), LeafViewT(), &status));
  ASSERT_NE(vector, nullptr);
  EXPECT_EQ(Walk(vector.get()), HitSet());

  const struct {
    const char* low;
    const char* high;
    uint32_t limit;
    HitSet hits;
  } ranges[] = {
      {"n0000", "n2999", 100, Numbers(0, 99)},
      {"n0500", "n0509", 100, Numbers(500, 509)},
      {"n05", "n0509", 100, Numbers(500, 509)},  // ends held by no key
      {"n0500", "n0500", 100, Numbers(500, 500)},
      {"n2990", "zzz", 3, Numbers(2990, 2992)},
      {"n0500", "n0500x", 100, Numbers(500, 500)},
      {"n0500x", "n0500y", 100, {}},
      {"zzz", "zzzz", 100, {}},  // beyond every key
      {"a", "b", 100, {}},       // before every key
  };
  for (const auto& range : ranges) {
    vector.reset(r.ProcessRange(Bytes(Key(range.low)), Bytes(Key(range.high)),
                                range.limit, LeafViewT(), &status));
    ASSERT_NE(vector, nullptr) << range.low;
    EXPECT_EQ(Walk(vector.get()), range.hits) << range.low << "-" << range.high;
  }
}

class DeletedSetT : public DeletedRecordSetT {
 public:
  int IsRecordDeleted(uint32_t record) const override {
    return Records.count(record) != 0;
  }
  std::set<uint32_t> Records;
};

std::string ShortForm(const std::string& longForm) {
  std::vector<unsigned char> text(longForm.begin(), longForm.end());
  text.push_back('\0');
  LongQueryToShortQuery(text.data(), 5);
  std::vector<unsigned char> out(ConvertedQueryBytes(longForm.size()));
  QueryConvert(text.data(), out.data());
  return reinterpret_cast<const char*>(out.data());
}

TEST_F(PartitionQueryTest, QueriesAskForDeletedRecordsWithTheRecordOffset) {
  PartitionReaderT& r = partition_->Reader;
  r.SetRecordsBefore(100);
  DeletedSetT deleted;
  deleted.Records = {102, 3};  // record 2 of this partition, and another's
  StatusCodeT status = StatusNoError;
  std::string query = ShortForm("n00* OR odd");
  std::unique_ptr<UncompressedQueryVectorT> result(r.ProcessQuery(
      nullptr, reinterpret_cast<unsigned char*>(&query[0]), nullptr, &deleted,
      &status));
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(status, StatusNoError);
  // n0000 to n0099 lie in records 1 and 2, "odd" in records 1, 3, 5, ...
  HitSet expected = Numbers(0, 49);
  for (uint32_t record = 1; record <= 60; record += 2) expected.insert({record, 51});
  EXPECT_EQ(Walk(result.get()), expected);

  unsigned char malformed[] = "0x6";
  EXPECT_EQ(r.ProcessQuery(nullptr, malformed, nullptr, &deleted, &status), nullptr);
  EXPECT_EQ(status, StatusHexTermExpected);
}

}  // namespace
