// Browsing the words of an index of several partitions as one list, through
// the exported functions: lookups, steps and their ends, summed counts, the
// vector of a word, the statistics file, bad arguments and damaged
// dictionaries.

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "format/partition_header.h"
#include "interface/live_handles.h"
#include "manager/index_manager.h"
#include "query/uncompressed_vector.h"
#include "stats/stats_database.h"
#include "support/session_records.h"

namespace {

std::string KeyText(const unsigned char* key) {
  return std::string(reinterpret_cast<const char*>(key + 1), key[0]);
}

// A key buffer holding word.
struct KeyT {
  explicit KeyT(const std::string& word = "") {
    Bytes[0] = static_cast<unsigned char>(word.size());
    std::copy(word.begin(), word.end(), Bytes + 1);
  }
  std::string Text() const { return KeyText(Bytes); }
  unsigned char Bytes[256] = {};
};

// A word with its counts, as a browsing step reports it.
using StepT = std::tuple<std::string, unsigned long, unsigned long>;

// Two partitions: "apple" in 3 records of the first (4 times) and 4 of the
// second (5 times).
const std::vector<RecordsT> kTwoPartitions = {
    {{"apple", "pear", "apple"}, {"apple", "kiwi"}, {"apple"}},
    {{"apple", "banana"}, {"apple"}, {"zebra", "apple"}, {"apple", "apple"}}};

class BrowseTest : public IndexFileTest {
 protected:
  void Build(uint32_t mode, const std::vector<RecordsT>& sessions) {
    CreateIndex(mode);
    ASSERT_EQ(Open(), StatusNoError);
    AddSessions(manager_, sessions);
    tvStartRetrievalSession(manager_, &status_);
    ASSERT_EQ(status_, StatusNoError);
  }
  // A step through the exported functions; the key reported, or the status.
  template <typename Step>
  StepT Take(Step step, DictionaryCursorT* cursor) {
    KeyT key;
    unsigned long records = 99;
    unsigned long hits = 99;
    step(manager_, cursor, key.Bytes, &records, &hits, &status_);
    if (status_ != StatusNoError) return StepT("status", status_, 0);
    return StepT(key.Text(), records, hits);
  }
  StepT Next(DictionaryCursorT* c) { return Take(tvNextKey, c); }
  StepT Previous(DictionaryCursorT* c) { return Take(tvPreviousKey, c); }
  StepT Current(DictionaryCursorT* c) { return Take(tvCurrentKey, c); }
  StepT Find(DictionaryCursorT* c, const std::string& word, BooleanT* found) {
    KeyT key(word);
    unsigned long records = 99;
    unsigned long hits = 99;
    tvFindKey(manager_, c, key.Bytes, found, &records, &hits, &status_);
    if (status_ != StatusNoError) return StepT("status", status_, 0);
    return StepT(key.Text(), records, hits);
  }
  static StepT Failed(StatusCodeT status) { return StepT("status", status, 0); }
};

TEST_F(BrowseTest, FindAndStepThroughTheMergedWordList) {
  Build(WORD_MODE, kTwoPartitions);
  DictionaryCursorT cursor = {};
  BooleanT found = 7;
  EXPECT_EQ(Find(&cursor, "apple", &found), StepT("apple", 7, 9));
  EXPECT_EQ(found, 1);
  EXPECT_EQ(cursor.State, 1u);
  EXPECT_EQ(std::make_pair(cursor.Records, cursor.Hits), std::make_pair(7u, 9u));
  // Missing: the key comes back as the next word, with that word's counts.
  EXPECT_EQ(Find(&cursor, "b", &found), StepT("banana", 1, 1));
  EXPECT_EQ(found, 0);
  EXPECT_EQ(Current(&cursor), StepT("banana", 1, 1));
  EXPECT_EQ(Next(&cursor), StepT("kiwi", 1, 1));
  EXPECT_EQ(Next(&cursor), StepT("pear", 1, 1));
  EXPECT_EQ(Next(&cursor), StepT("zebra", 1, 1));
  EXPECT_EQ(Next(&cursor), Failed(StatusEndOfWordList));
  EXPECT_EQ(Current(&cursor), StepT("zebra", 1, 1));
  EXPECT_EQ(Previous(&cursor), StepT("pear", 1, 1));
  EXPECT_EQ(Previous(&cursor), StepT("kiwi", 1, 1));
  EXPECT_EQ(Previous(&cursor), StepT("banana", 1, 1));
  EXPECT_EQ(Previous(&cursor), StepT("apple", 7, 9));
  EXPECT_EQ(Previous(&cursor), Failed(StatusEndOfWordList));
  EXPECT_EQ(Current(&cursor), StepT("apple", 7, 9));

  // Beyond the last word: nothing follows, and the cursor holds no word.
  EXPECT_EQ(Find(&cursor, "zz", &found), Failed(StatusEndOfWordList));
  EXPECT_EQ(found, 0);
  EXPECT_EQ(Current(&cursor), Failed(StatusNoCurrentKey));
  EXPECT_EQ(Previous(&cursor), StepT("zebra", 1, 1));
  // Between words of different partitions, in both directions.
  EXPECT_EQ(Find(&cursor, "l", &found), StepT("pear", 1, 1));
  cursor = {};
  cursor.Key[0] = 1;
  cursor.Key[1] = 'l';
  EXPECT_EQ(Previous(&cursor), StepT("kiwi", 1, 1));

  // A zeroed cursor stands before the first word.
  cursor = {};
  EXPECT_EQ(Previous(&cursor), Failed(StatusEndOfWordList));
  EXPECT_EQ(Next(&cursor), StepT("apple", 7, 9));
  // The cursor's own key may serve as the key buffer.
  tvNextKey(manager_, &cursor, cursor.Key, nullptr, nullptr, &status_);
  EXPECT_EQ(status_, StatusNoError);
  EXPECT_EQ(KeyText(cursor.Key), "banana");
}

// Every word of random partitions, forward and backward, with the records
// and occurrences that hold it across the index; words that begin others
// and bytes above 127 test the order.
TEST_F(BrowseTest, WalksVisitEveryWordWithItsSummedCounts) {
  for (uint32_t mode : {RECORD_MODE, WORD_MODE, IDF_MODE}) {
    SCOPED_TRACE(mode);
    tvCloseIndex(manager_, &status_);
    std::remove(Path());
    std::mt19937 random(mode);
    const std::vector<std::string> vocabulary = {
        "a", "ab", "abc", "b", std::string("\x00", 1), "\x7f", "\x80", "\xff",
        "\xff\xff", "zz", "w1", "w10", "w2"};
    std::vector<RecordsT> sessions(3);
    std::map<std::string, std::pair<std::set<int>, unsigned long>> model;
    int record = 0;
    for (RecordsT& session : sessions) {
      for (int r = 0; r < 20; ++r) {
        ++record;
        session.emplace_back();
        for (uint32_t i = 1 + random() % 5; i > 0; --i) {
          const std::string& word = vocabulary[random() % vocabulary.size()];
          session.back().push_back(word);
          model[word].first.insert(record);
          ++model[word].second;
        }
      }
    }
    Build(mode, sessions);
    std::vector<StepT> expected;
    for (const auto& word : model) {
      expected.emplace_back(word.first, word.second.first.size(), word.second.second);
    }
    DictionaryCursorT cursor = {};
    std::vector<StepT> forward;
    for (StepT step; std::get<0>(step = Next(&cursor)) != "status";) forward.push_back(step);
    EXPECT_EQ(status_, StatusEndOfWordList);
    EXPECT_EQ(forward, expected);
    std::vector<StepT> backward = {Current(&cursor)};
    for (StepT step; std::get<0>(step = Previous(&cursor)) != "status";) backward.push_back(step);
    EXPECT_EQ(status_, StatusEndOfWordList);
    EXPECT_EQ(std::vector<StepT>(backward.rbegin(), backward.rend()), expected);
  }
}

TEST_F(BrowseTest, TheVectorOfAWordSpansThePartitionsWithoutDeletedRecords) {
  Build(WORD_MODE, kTwoPartitions);
  tvDeleteRecordNum(manager_, 5, &status_);
  ASSERT_EQ(status_, StatusNoError);
  DictionaryCursorT cursor = {};
  EXPECT_EQ(tvGetCurrentQueryVector(manager_, &cursor, &status_), nullptr);
  EXPECT_EQ(status_, StatusNoCurrentKey);
  BooleanT found = 0;
  Find(&cursor, "apple", &found);
  QueryVectorBaseT* vector = tvGetCurrentQueryVector(manager_, &cursor, &status_);
  ASSERT_NE(vector, nullptr);
  EXPECT_EQ(status_, StatusNoError);
  EXPECT_TRUE(IsLiveHandle(vector, HandleKind::kResultVector));
  // Rewound: it stands on its first hit.
  EXPECT_EQ(Walk(vector), (HitSet{{1, 1}, {1, 3}, {2, 1}, {3, 1}, {4, 1},
                                  {6, 2}, {7, 1}, {7, 2}}));
  tvDeleteResultVector(vector, &status_);
  EXPECT_EQ(status_, StatusNoError);
  EXPECT_FALSE(IsLiveHandle(vector, HandleKind::kResultVector));
}

TEST_F(BrowseTest, TheStatisticsFileHoldsEveryWordWithItsCounts) {
  Build(WORD_MODE, kTwoPartitions);
  const std::string path = dir_.File("stats");
  std::vector<unsigned char> name(path.begin(), path.end());
  name.push_back('\0');
  tvOutputStatsFile(manager_, name.data(), &status_);
  ASSERT_EQ(status_, StatusNoError);
  EXPECT_EQ(ReadWholeFile(path).substr(0, 4), "\x05\xC7\xA3\xE0");
  StatsReaderT reader;
  ASSERT_EQ(reader.Open(path.c_str()), 1);
  std::vector<StepT> entries;
  unsigned char word[256];
  uint32_t records = 0;
  uint32_t hits = 0;
  while (reader.Next(word, &records, &hits) == 1) {
    entries.emplace_back(KeyText(word), records, hits);
  }
  EXPECT_EQ(entries, (std::vector<StepT>{{"apple", 7, 9}, {"banana", 1, 1},
                                         {"kiwi", 1, 1}, {"pear", 1, 1},
                                         {"zebra", 1, 1}}));

  // A file that cannot be made; an index without words writes nothing.
  std::string missing = dir_.File("none/stats");
  tvOutputStatsFile(manager_, reinterpret_cast<unsigned char*>(&missing[0]), &status_);
  EXPECT_EQ(status_, StatusCannotOpenFile);
  tvEndRetrievalSession(manager_, &status_);
  tvOutputStatsFile(manager_, name.data(), &status_);
  EXPECT_EQ(status_, StatusNotInitializedForSearching);
  tvCloseIndex(manager_, &status_);
  std::remove(Path());
  std::remove(path.c_str());
  Build(WORD_MODE, {});
  tvOutputStatsFile(manager_, name.data(), &status_);
  EXPECT_EQ(status_, StatusIndexEmpty);
  EXPECT_EQ(ReadWholeFile(path), "");
}

TEST_F(BrowseTest, BadArgumentsAndStatesGetStatuses) {
  CreateIndex(WORD_MODE);
  ASSERT_EQ(Open(), StatusNoError);
  AddSessions(manager_, kTwoPartitions);
  DictionaryCursorT cursor = {};
  KeyT key("apple");
  BooleanT found = 0;
  // Outside a retrieval session.
  tvFindKey(manager_, &cursor, key.Bytes, &found, nullptr, nullptr, &status_);
  EXPECT_EQ(status_, StatusNotInitializedForSearching);
  EXPECT_EQ(Next(&cursor), Failed(StatusNotInitializedForSearching));
  EXPECT_EQ(tvGetCurrentQueryVector(manager_, &cursor, &status_), nullptr);
  EXPECT_EQ(status_, StatusNotInitializedForSearching);

  tvStartRetrievalSession(manager_, &status_);
  tvFindKey(manager_, nullptr, key.Bytes, &found, nullptr, nullptr, &status_);
  EXPECT_EQ(status_, StatusMalformedParameter);
  tvFindKey(manager_, &cursor, nullptr, &found, nullptr, nullptr, &status_);
  EXPECT_EQ(status_, StatusMalformedParameter);
  for (auto step : {tvNextKey, tvPreviousKey, tvCurrentKey}) {
    step(manager_, nullptr, key.Bytes, nullptr, nullptr, &status_);
    EXPECT_EQ(status_, StatusMalformedParameter);
    step(manager_, &cursor, nullptr, nullptr, nullptr, &status_);
    EXPECT_EQ(status_, StatusMalformedParameter);
    step(reinterpret_cast<IndexManagerT*>(&cursor), &cursor, key.Bytes, nullptr,
         nullptr, &status_);
    EXPECT_EQ(status_, StatusNotIndexFile);
  }
  EXPECT_EQ(tvGetCurrentQueryVector(manager_, nullptr, &status_), nullptr);
  EXPECT_EQ(status_, StatusMalformedParameter);
  tvOutputStatsFile(manager_, nullptr, &status_);
  EXPECT_EQ(status_, StatusCannotOpenFile);
  tvOutputStatsFile(nullptr, key.Bytes, &status_);
  EXPECT_EQ(status_, StatusNotIndexFile);
  // Null outputs are simply not written; a null status is tolerated.
  tvFindKey(manager_, &cursor, key.Bytes, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(cursor.Records, 7u);
}

// Garbage in the dictionary pages of the first partition: walks over the
// word list end with a status, never loop, and the statistics file is
// written or refused with a status.
TEST_F(BrowseTest, DamagedDictionariesEndWalksWithAStatus) {
  std::vector<RecordsT> sessions(2);
  for (int i = 0; i < 3000; ++i) {
    char word[8];
    std::snprintf(word, sizeof word, "n%04d", i);
    if (i / 2 % 40 == 0) sessions[i % 2].emplace_back();
    sessions[i % 2].back().push_back(word);
  }
  Build(WORD_MODE, sessions);
  tvCloseIndex(manager_, &status_);
  const std::string sound = Bytes();
  PartitionHeaderT header;
  DecodePartitionHeader(reinterpret_cast<const unsigned char*>(sound.data()) + 4580,
                        &header);
  const uint32_t pages =
      4580 + kPartitionDictionaryHeaderOffset + header.Dictionary.DataOffset;
  ASSERT_GT(header.Dictionary.PageAreaLength, 4096u);
  std::mt19937 random(11);
  int failures = 0;
  for (int round = 0; round < 20; ++round) {
    std::string bytes = sound;
    for (int i = 0; i < 40; ++i) {
      bytes[pages + random() % header.Dictionary.PageAreaLength] =
          static_cast<char>(random());
    }
    WriteWholeFile(path_, bytes);
    ASSERT_EQ(Open(), StatusNoError);
    tvStartRetrievalSession(manager_, &status_);
    ASSERT_EQ(status_, StatusNoError);
    DictionaryCursorT cursor = {};
    int steps = 0;
    while (std::get<0>(Next(&cursor)) != "status" && ++steps < 10000) {
    }
    EXPECT_LT(steps, 10000);
    EXPECT_LT(status_, 0);
    failures += status_ != StatusEndOfWordList;
    while (std::get<0>(Previous(&cursor)) != "status" && ++steps < 20000) {
    }
    EXPECT_LT(steps, 20000);
    std::string stats = dir_.File("stats");
    tvOutputStatsFile(manager_, reinterpret_cast<unsigned char*>(&stats[0]), &status_);
    EXPECT_LE(status_, 0);
    tvCloseIndex(manager_, &status_);
  }
  EXPECT_GT(failures, 5);
}

}  // namespace
