// The run builder: posting shapes by mode, run order, the per-record cap of
// IDF counts, record roll-over, the special flags, and what it answers when
// its table or memory is full.

#include "indexing/runbld.h"

#include <gtest/gtest.h>

#include <map>

#include "support/run_test_util.h"

namespace {

constexpr uint32_t kBig = 65000;

// Words and postings of all runs, keyed by word, postings appended run by run.
std::map<std::string, std::vector<PostingT>> PostingsByWord(
    const std::vector<std::vector<RunWordT>>& runs) {
  std::map<std::string, std::vector<PostingT>> all;
  for (const auto& run : runs) {
    for (const RunWordT& w : run) {
      auto& list = all[w.Word];
      list.insert(list.end(), w.Postings.begin(), w.Postings.end());
    }
  }
  return all;
}

TEST(RunBuilderTest, PostingsTakeTheShapeOfTheMode) {
  struct CaseT {
    int Mode;
    std::vector<PostingT> W;
  } cases[] = {
      {RECORD_MODE, {{1, 0}, {2, 0}}},
      {WORD_MODE, {{1, 1}, {1, 2}, {1, 3}, {2, 1}}},
      {IDF_MODE, {{1, 3}, {2, 1}}},
  };
  for (const CaseT& c : cases) {
    SCOPED_TRACE(c.Mode);
    ScopedTempDirT dir;
    BuilderSessionT s(c.Mode, kBig, kBig, kBig);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(s.Index("w"), kRunBuilderStored);
    s.Index("x");
    s.NextRecord();
    s.Index("w");
    s.End();
    auto runs = s.TakeParsedRuns();
    ASSERT_EQ(runs.size(), 1u);
    ASSERT_EQ(runs[0].size(), 2u);
    const RunWordT& w = runs[0][0];
    EXPECT_EQ(w.Word, "w");
    EXPECT_EQ(w.Rec.OccurrenceCount, 4u);
    EXPECT_EQ(w.Postings, c.W);
    std::vector<PostingT> x = {{1, c.Mode == WORD_MODE ? 4u : 1u}};
    if (c.Mode == RECORD_MODE) x[0].Detail = 0;
    EXPECT_EQ(runs[0][1].Postings, x);
    EXPECT_TRUE(dir.Files().empty());
  }
}

TEST(RunBuilderTest, RunIsInUnsignedByteOrderShorterFirst) {
  ScopedTempDirT dir;
  BuilderSessionT s(RECORD_MODE, kBig, kBig, kBig);
  // Long words share prefixes and differ inside and after 8-byte chunks.
  const std::string p(16, 'p');
  const std::vector<std::string> sorted = {
      "",
      Bytes({0}),
      Bytes({0, 0}),
      "Z",
      "a",
      "ab",
      "abc",
      "b",
      p.substr(0, 9) + Bytes({0x01}),
      p.substr(0, 11) + Bytes({0x00, 0xFF}),
      p,
      p + Bytes({0}),
      p.substr(0, 11) + Bytes({0x7F}),
      p.substr(0, 11) + Bytes({0xFF}),
      p.substr(0, 9) + Bytes({0x80}),
      "q",
      Bytes({0xC1})};
  for (auto it = sorted.rbegin(); it != sorted.rend(); ++it) s.Index(*it);
  s.End();
  auto runs = s.TakeParsedRuns();
  ASSERT_EQ(runs.size(), 1u);
  std::vector<std::string> words;
  for (const RunWordT& w : runs[0]) words.push_back(w.Word);
  EXPECT_EQ(words, sorted);
}

TEST(RunBuilderTest, OccurrenceCountsGoPastSixteenBits) {
  ScopedTempDirT dir;
  for (int mode : {RECORD_MODE, IDF_MODE}) {
    BuilderSessionT s(mode, kBig, kBig, kBig);
    for (int i = 0; i < 70000; ++i) s.Index("the");
    s.End();
    auto runs = s.TakeParsedRuns();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0][0].Rec.OccurrenceCount, 70000u);
    ASSERT_EQ(runs[0][0].Postings.size(), 1u);
    // A record's own count stops at 49152.
    EXPECT_EQ(runs[0][0].Postings[0].Detail, mode == IDF_MODE ? 49152u : 0u);
  }
}

TEST(RunBuilderTest, RecordNumbersRollOverIntoANewRun) {
  ScopedTempDirT dir;
  BuilderSessionT s(IDF_MODE, kBig, kBig, kBig);
  s.Index("a");
  for (int i = 1; i < 65535; ++i) s.NextRecord();
  s.Index("b");  // record 65535, the last of the first base
  s.NextRecord();
  s.Index("a");
  s.NextRecord();
  s.Index("a");
  s.End();
  EXPECT_EQ(s.Spills, 0);
  auto runs = s.TakeParsedRuns();
  ASSERT_EQ(runs.size(), 2u);
  auto all = PostingsByWord(runs);
  EXPECT_EQ(all["a"], (std::vector<PostingT>{{1, 1}, {65536, 1}, {65537, 1}}));
  EXPECT_EQ(all["b"], (std::vector<PostingT>{{65535, 1}}));
}

TEST(RunBuilderTest, OncePerRunWordTakesTheRecordTheRunBeganIn) {
  ScopedTempDirT dir;
  for (int mode : {RECORD_MODE, WORD_MODE, IDF_MODE}) {
    SCOPED_TRACE(mode);
    BuilderSessionT s(mode, kBig, kBig, kBig);
    for (int record = 1; record <= 14; ++record) {
      s.Index("w");
      if (record == 5 || record == 9 || record == 14) {
        s.Index("m", kIndexOncePerRun);
      }
      if (record == 12) s.Spill();  // the next run begins inside record 12
      if (record < 14) s.NextRecord();
    }
    s.End();
    auto runs = s.TakeParsedRuns();
    ASSERT_EQ(runs.size(), 2u);
    uint32_t detail = mode == RECORD_MODE ? 0 : 1;
    ASSERT_EQ(runs[0][0].Word, "m");
    EXPECT_EQ(runs[0][0].Postings, (std::vector<PostingT>{{1, detail}}));
    EXPECT_EQ(runs[0][0].Rec.OccurrenceCount, 1u);
    ASSERT_EQ(runs[1][0].Word, "m");
    EXPECT_EQ(runs[1][0].Postings, (std::vector<PostingT>{{12, detail}}));
  }
}

TEST(RunBuilderTest, WordWithoutPositionSharesThePreviousOne) {
  ScopedTempDirT dir;
  BuilderSessionT s(WORD_MODE, kBig, kBig, kBig);
  s.Index("t", kIndexNoPosition);  // first in its record: position 1
  s.Index("a");                    // 2
  s.Index("b");                    // 3
  s.Index("t", kIndexNoPosition);  // 3
  s.Index("t", kIndexNoPosition);  // 3 again: the same occurrence
  s.Index("c");                    // 4
  s.NextRecord();
  s.Index("a");
  s.Index("t", kIndexNoPosition);
  s.End();
  auto runs = s.TakeParsedRuns();
  auto all = PostingsByWord(runs);
  EXPECT_EQ(all["t"], (std::vector<PostingT>{{1, 1}, {1, 3}, {2, 1}}));
  EXPECT_EQ(all["a"], (std::vector<PostingT>{{1, 2}, {2, 1}}));
  EXPECT_EQ(all["c"], (std::vector<PostingT>{{1, 4}}));
  // In word mode every occurrence counted is a posting.
  for (const RunWordT& w : runs[0]) {
    EXPECT_EQ(w.Rec.OccurrenceCount, w.Rec.PostingCount) << w.Word;
  }
}

TEST(RunBuilderTest, FullHashTableIsAnsweredBySpillAndRetry) {
  ScopedTempDirT dir;
  // Four slots: one-byte words all hash to slot 0, which is probed twice.
  BuilderSessionT s(WORD_MODE, kBig, kBig, kBig, 4);
  EXPECT_EQ(s.Index("a"), kRunBuilderStored);
  EXPECT_EQ(s.Index("a"), kRunBuilderStored);
  EXPECT_EQ(s.Index("b"), kRunBuilderNoSlot);  // spilled, then stored
  EXPECT_EQ(s.Spills, 1);
  EXPECT_EQ(s.Index("c"), kRunBuilderNoSlot);
  s.End();
  auto runs = s.TakeParsedRuns();
  ASSERT_EQ(runs.size(), 3u);
  // The refused words keep the positions they were given: 3 and 4.
  EXPECT_EQ(runs[1][0].Postings, (std::vector<PostingT>{{1, 3}}));
  EXPECT_EQ(runs[2][0].Postings, (std::vector<PostingT>{{1, 4}}));
}

TEST(RunBuilderTest, FullMemoryAsksForASpillAndRefusesMoreUntilThen) {
  ScopedTempDirT dir;
  {
    // A 300-byte word store holds one entry plus room for the largest.
    BuilderSessionT s(RECORD_MODE, kBig, 300, 200);
    int found = -1;
    auto word = reinterpret_cast<const unsigned char*>("aaaa");
    EXPECT_EQ(s.Builder.IndexWord(word, 4, 0, &found), kRunBuilderStored);
    EXPECT_EQ(found, 0);
    EXPECT_EQ(s.Builder.IndexWord(word + 1, 3, 0, &found), kRunBuilderFull);
    EXPECT_EQ(s.Builder.IndexWord(word, 4, 0, &found), kRunBuilderNoSlot);
    s.Spill();
    EXPECT_EQ(s.Builder.IndexWord(word, 4, 0, &found), kRunBuilderStored);
    s.End();
    EXPECT_EQ(s.TakeParsedRuns().size(), 2u);
  }
  {
    // 400 bytes of 12-byte word-mode postings: 31 usable.
    BuilderSessionT s(WORD_MODE, 400, 300, 200);
    for (int i = 1; i < 30; ++i) ASSERT_EQ(s.Index("a"), kRunBuilderStored);
    EXPECT_EQ(s.Index("a"), kRunBuilderFull);
    s.End();
    auto runs = s.TakeParsedRuns();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0][0].Postings.size(), 30u);
    EXPECT_EQ(runs[0][0].Postings.back(), (PostingT{1, 30}));
  }
}

TEST(RunBuilderTest, BuilderThatCannotWorkSaysSo) {
  struct CaseT {
    uint16_t TableSize;
    int Mode;
    uint32_t Size;
  } cases[] = {
      {16384, 0, kBig},       {16384, 4, kBig},          {3, RECORD_MODE, kBig},
      {0, RECORD_MODE, kBig}, {16384, RECORD_MODE, 200},
  };
  for (const CaseT& c : cases) {
    std::vector<unsigned char> a(c.Size), b(c.Size), d(c.Size);
    RunBuilderT builder(c.TableSize, c.Mode, a.data(), c.Size, b.data(), c.Size,
                        d.data(), c.Size);
    EXPECT_EQ(builder.IsValid(), 0);
    auto word = reinterpret_cast<const unsigned char*>("a");
    EXPECT_EQ(builder.IndexWord(word, 1, 0, nullptr), kRunBuilderNotValid);
    StatusCodeT status = 0;
    builder.EndIndexing(nullptr, &status);
    EXPECT_LT(status, 0);
  }
}

TEST(RunBuilderTest, LargePostingArrayStaysWithinSixteenBitLinks) {
  ScopedTempDirT dir;
  // A million bytes would hold 250000 record-mode postings; links are 16
  // bits, so the builder reports full before they could wrap.
  BuilderSessionT s(RECORD_MODE, 1000000, kBig, kBig);
  for (int record = 1; record <= 100; ++record) {
    for (int w = 0; w < 700; ++w) s.Index("w" + std::to_string(w));
    s.NextRecord();
  }
  s.End();
  EXPECT_EQ(s.Spills, 1);
  auto all = PostingsByWord(s.TakeParsedRuns());
  ASSERT_EQ(all.size(), 700u);
  for (const auto& [word, postings] : all) {
    ASSERT_EQ(postings.size(), 100u) << word;
    for (uint32_t i = 0; i < 100; ++i) ASSERT_EQ(postings[i].Record, i + 1);
  }
}

TEST(RunBuilderTest, WideBuilderHoldsRunsBeyondSixteenBits) {
  ScopedTempDirT dir;
  // 70000 records and more postings in one run, in every mode: 1,000,000
  // bytes hold some 120000 wide entries of word mode's 8 bytes in blocks,
  // more than 16-bit links and record numbers reach.
  for (int mode : {RECORD_MODE, WORD_MODE, IDF_MODE}) {
    SCOPED_TRACE(mode);
    BuilderSessionT s(mode, 1000000, kBig, kBig, RunBuilderT::kDefaultTableSize,
                      1);
    for (int record = 1; record <= 70000; ++record) {
      s.Index("a");
      if (record % 1000 == 0) s.Index("a");
      s.NextRecord();
    }
    s.End();
    EXPECT_EQ(s.Spills, 0);
    auto runs = s.TakeParsedRuns();
    ASSERT_EQ(runs.size(), 1u);
    const std::vector<PostingT>& postings = runs[0][0].Postings;
    EXPECT_EQ(runs[0][0].Rec.OccurrenceCount, 70070u);
    ASSERT_EQ(postings.size(), mode == WORD_MODE ? 70070u : 70000u);
    // Record 70000 (the last) was given "a" twice, at positions 1 and 2.
    const uint32_t detail[4] = {0, 0, 2, 2};
    EXPECT_EQ(postings.back(), (PostingT{70000, detail[mode]}));
    EXPECT_EQ(postings[mode == WORD_MODE ? 65600 : 65535].Record, 65536u);
  }
}

TEST(RunBuilderTest, WideBuilderGrowsItsTableAsWordsArrive) {
  ScopedTempDirT dir;
  // 60000 distinct words: far more than the first 16384 slots hold, all in
  // one run of a table that may grow to 131072 slots.
  const uint32_t slots = 131072;
  BuilderSessionT s(RECORD_MODE, 3000000, 2000000, slots * 4 + 4096, slots, 1);
  EXPECT_EQ(s.Builder.TableSlots(), RunBuilderT::kDefaultTableSize);
  for (int w = 0; w < 60000; ++w) {
    s.Index("w" + std::to_string(w * 7919 % 60000));
    if (w % 100 == 99) s.NextRecord();
  }
  EXPECT_EQ(s.Builder.TableSlots(), slots);
  for (int w = 0; w < 60000; w += 600) s.Index("w" + std::to_string(w));
  s.End();
  EXPECT_EQ(s.Refusals, 0);
  EXPECT_EQ(s.Spills, 0);
  auto runs = s.TakeParsedRuns();
  ASSERT_EQ(runs.size(), 1u);
  ASSERT_EQ(runs[0].size(), 60000u);
  auto all = PostingsByWord(runs);
  EXPECT_EQ(all["w0"], (std::vector<PostingT>{{1, 0}, {601, 0}}));
}

TEST(RunBuilderTest, SpillCarriesTheRunTagsIntoTheLog) {
  ScopedTempDirT dir;
  BuilderSessionT s(RECORD_MODE, kBig, kBig, kBig);
  s.Index("a");
  s.Tags.RunTags[0] = 7;
  s.Tags.RunTags[3] = 9;
  s.Spill();
  EXPECT_EQ(s.Builder.GetDiskSpaceUsage(), 1u + 1 + 12 + 4);
  s.Index("b");
  s.Tags.RunTags[0] = 11;
  s.End();
  std::string log = ReadWholeFile(s.Runs->GetLogFile()->Name());
  RunLogRecordT first, second;
  std::memcpy(&first, log.data() + 48, 28);
  std::memcpy(&second, log.data() + 76, 28);
  EXPECT_EQ(first.Tags[0], 7u);
  EXPECT_EQ(first.Tags[3], 9u);
  EXPECT_EQ(first.WordCount, 1u);
  EXPECT_EQ(second.Offset, 18u);
  EXPECT_EQ(second.Tags[0], 11u);
  EXPECT_EQ(s.Runs->Delete(), 1);
}

}  // namespace
