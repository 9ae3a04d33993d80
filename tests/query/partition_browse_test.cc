// PartitionReaderT browsing over partitions made by indexing sessions: the
// wildcard walk over the dictionary, the dictionary position and its ends,
// the vector of the key at the position, and damaged dictionaries.

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "format/partition_header.h"
#include "query/compressed_vector.h"
#include "storage/dictionary_functions.h"
#include "support/indexed_partition.h"
#include "support/temp_dir.h"

namespace {

// Every key the walk returns for the pattern, in order, and the status that
// ended it.
std::pair<std::vector<std::string>, StatusCodeT> Walk(
    DictionaryFunctionsT* dictionary, const std::string& pattern,
    void* cursor = nullptr) {
  std::vector<std::string> keys;
  EXPECT_EQ(dictionary->ProcessWildCardPattern(Bytes(pattern),
                                               static_cast<uint32_t>(pattern.size())),
            1);
  unsigned char key[256];
  uint32_t length = 0;
  StatusCodeT status = 99;
  for (dictionary->GetFirstMatch(cursor, key, length, &status);
       status == StatusFound && keys.size() < 100000;
       dictionary->GetNextMatch(cursor, key, length, &status)) {
    keys.emplace_back(reinterpret_cast<const char*>(key), length);
  }
  return {keys, status};
}

std::string Numbered(int i) {
  char word[8];
  std::snprintf(word, sizeof word, "n%04d", i);
  return word;
}

// A few short keys around the wildcard characters, and enough numbered keys
// to fill several dictionary pages.
RecordsT WildcardRecords() {
  RecordsT records = {{"a", "a*", "a?", "a*c", "ab", "abc"},
                      {"abcd", "abzz", "ac", "b", "bc"}};
  for (int i = 0; i < 3000; ++i) {
    if (i % 50 == 0) records.emplace_back();
    records.back().push_back(Numbered(i));
  }
  return records;
}

TEST(PartitionBrowse, WildcardPatternsWalkTheMatchingKeysInOrder) {
  ScopedTempDirT dir;
  IndexRecords(dir.File("p"), WORD_MODE, WildcardRecords());
  OpenPartitionT p(dir.File("p"));
  ASSERT_TRUE(p.Ok);

  std::vector<std::string> all = {"a",  "a*", "a*c", "a?", "ab", "abc",
                                  "abcd", "abzz", "ac", "b",  "bc"};
  std::vector<std::string> numbered;
  for (int i = 0; i < 3000; ++i) numbered.push_back(Numbered(i));
  std::vector<std::string> everything = all;
  everything.insert(everything.end(), numbered.begin(), numbered.end());
  std::vector<std::string> thousands(numbered.begin() + 1000,
                                     numbered.begin() + 2000);
  std::vector<std::string> nines;
  for (int i = 0; i < 3000; ++i) {
    if (i / 10 % 100 == 99) nines.push_back(Numbered(i));
  }

  const struct {
    const char* pattern;
    std::vector<std::string> keys;
  } cases[] = {
      {"ab*", {"ab", "abc", "abcd", "abzz"}},
      {"a?c", {"a*c", "abc"}},
      {"a\\*", {"a*"}},
      {"a\\?", {"a?"}},
      {"a\\*c", {"a*c"}},
      {"a*c", {"a", "a*", "a*c", "a?", "ab", "abc", "abcd", "abzz", "ac"}},
      {"?", {"a", "b"}},
      {"b", {"b"}},
      {"bc", {"bc"}},
      {"", {}},
      // Prefixes held by no key: between keys, before all, after all.
      {"aa*", {}},
      {"0*", {}},
      {"zz*", {}},
      {"abcde*", {}},
      // Over several dictionary pages.
      {"n1*", thousands},
      {"n?99?", nines},
      {"*", everything},
  };
  for (const auto& c : cases) {
    auto walked = Walk(&p.Reader, c.pattern);
    EXPECT_EQ(walked.first, c.keys) << c.pattern;
    EXPECT_EQ(walked.second, StatusNotFound) << c.pattern;
  }

  // A cursor of the caller's own leaves the reader's position alone.
  BooleanT found = 0;
  uint32_t records = 0;
  uint32_t hits = 0;
  StatusCodeT status = StatusNoError;
  ASSERT_EQ(p.Reader.FindKey(Bytes(Key("b")), found, records, hits, &status), 1);
  ReadBTreeCursorT own;
  EXPECT_EQ(Walk(&p.Reader, "ab*", &own).first.size(), 4u);
  unsigned char key[256];
  ASSERT_EQ(p.Reader.CurrentKey(key, records, hits, &status), 1);
  EXPECT_EQ(KeyText(key), "b");
}

TEST(PartitionBrowse, WalksEndOnDictionariesWithoutKeysAndOtherPatterns) {
  DictionaryFunctionsT empty;
  EXPECT_EQ(Walk(&empty, "*"), std::make_pair(std::vector<std::string>{},
                                              StatusCodeT{StatusNotFound}));
  // A pattern too long to compile leaves the last one in force.
  std::string tooLong(300, 'x');
  EXPECT_EQ(empty.ProcessWildCardPattern(Bytes(tooLong), 300), 0);
  EXPECT_EQ(empty.CompiledPattern().RawPatternLength(), 1u);

  ScopedTempDirT dir;
  IndexRecords(dir.File("p"), RECORD_MODE, {{"ab", "abc"}});
  OpenPartitionT p(dir.File("p"));
  ASSERT_TRUE(p.Ok);
  // A pattern of another kind matches nothing.
  ASSERT_EQ(p.Reader.ProcessPattern(Bytes("ab*"), 3, 1), 1);
  unsigned char key[256];
  uint32_t length = 0;
  StatusCodeT status = StatusNoError;
  p.Reader.GetFirstMatch(nullptr, key, length, &status);
  EXPECT_EQ(status, StatusNotFound);
  // A prefix of 256 literal bytes is longer than any key.
  std::string longest(256, 'a');
  EXPECT_EQ(Walk(&p.Reader, longest).second, StatusNotFound);
}

// The hits of a compressed vector, from where it stands.
std::vector<std::pair<uint32_t, uint32_t>> Hits(QueryVectorBaseT* vector) {
  std::vector<std::pair<uint32_t, uint32_t>> hits;
  StatusCodeT status = StatusNoError;
  while (vector->IsPositioned() && status == StatusNoError) {
    hits.emplace_back(vector->CurrentRecord(), vector->CurrentWord());
    vector->NextHit(&status);
  }
  EXPECT_EQ(status, StatusEndOfVector);
  return hits;
}

TEST(PartitionBrowse, ThePositionStepsThroughTheKeysAndStaysAtEitherEnd) {
  for (uint32_t mode : {RECORD_MODE, WORD_MODE, IDF_MODE}) {
    SCOPED_TRACE(mode);
    ScopedTempDirT dir;
    IndexRecords(dir.File("p"), mode,
                 {{"kiwi", "apple", "kiwi"}, {"pear"}, {"apple"}});
    OpenPartitionT p(dir.File("p"));
    ASSERT_TRUE(p.Ok);
    PartitionReaderT& r = p.Reader;
    unsigned char key[256];
    uint32_t records = 0;
    uint32_t hits = 0;
    BooleanT found = 0;
    StatusCodeT status = StatusNoError;
    auto at = [&](const char* word, uint32_t wantRecords, uint32_t wantHits) {
      EXPECT_EQ(KeyText(key), word);
      EXPECT_EQ(records, wantRecords) << word;
      EXPECT_EQ(hits, wantHits) << word;
    };

    // Nothing to step from before a lookup.
    EXPECT_EQ(r.CurrentKey(key, records, hits, &status), 0);
    EXPECT_EQ(status, StatusNoCurrentKey);
    EXPECT_EQ(r.NextKey(key, records, hits, &status), 0);
    EXPECT_EQ(status, StatusNoCurrentKey);
    EXPECT_EQ(r.GetCurrentQueryVector(&status), nullptr);
    EXPECT_EQ(status, StatusNoCurrentKey);

    status = StatusNoError;
    ASSERT_EQ(r.FindKey(Bytes(Key("apple")), found, records, hits, &status), 1);
    EXPECT_EQ(found, 1);
    EXPECT_EQ(std::make_pair(records, hits), std::make_pair(2u, 2u));
    // Missing: the position rests on the next key.
    ASSERT_EQ(r.FindKey(Bytes(Key("b")), found, records, hits, &status), 1);
    EXPECT_EQ(found, 0);
    ASSERT_EQ(r.CurrentKey(key, records, hits, &status), 1);
    at("kiwi", 1, 2);
    ASSERT_EQ(r.NextKey(key, records, hits, &status), 1);
    at("pear", 1, 1);
    EXPECT_EQ(r.NextKey(key, records, hits, &status), 0);
    EXPECT_EQ(status, StatusEndOfWordList);
    ASSERT_EQ(r.CurrentKey(key, records, hits, &status), 1);
    at("pear", 1, 1);
    ASSERT_EQ(r.PreviousKey(key, records, hits, &status), 1);
    ASSERT_EQ(r.PreviousKey(key, records, hits, &status), 1);
    at("apple", 2, 2);
    EXPECT_EQ(r.PreviousKey(key, records, hits, &status), 0);
    EXPECT_EQ(status, StatusEndOfWordList);
    ASSERT_EQ(r.CurrentKey(key, records, hits, &status), 1);
    at("apple", 2, 2);
    // Beyond every key: the position rests on the last one.
    ASSERT_EQ(r.FindKey(Bytes(Key("zz")), found, records, hits, &status), 1);
    EXPECT_EQ(found, 0);
    ASSERT_EQ(r.CurrentKey(key, records, hits, &status), 1);
    at("pear", 1, 1);

    ASSERT_EQ(r.FindNthKey(3, key, records, hits, &status), 1);
    at("pear", 1, 1);
    ASSERT_EQ(r.FindNthKey(1, key, records, hits, &status), 1);
    at("apple", 2, 2);
    for (uint32_t n : {0u, 4u}) {
      status = StatusNoError;
      EXPECT_EQ(r.FindNthKey(n, key, records, hits, &status), 0);
      EXPECT_EQ(status, StatusEndOfWordList);
    }

    // The dictionary interface, on the reader's position.
    uint32_t length = 1;
    unsigned char k[1] = {'k'};
    r.DF_FindKey(nullptr, k, length, &status);
    EXPECT_EQ(status, StatusNoError);
    r.DF_CurrentKey(nullptr, key, length, &status);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(key), length), "kiwi");
    r.DF_NextKey(nullptr, key, length, &status);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(key), length), "pear");
    r.DF_NextKey(nullptr, key, length, &status);
    EXPECT_EQ(status, StatusEndOfWordList);
    r.DF_PreviousKey(nullptr, key, length, &status);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(key), length), "kiwi");

    // The vector of the key at the position stands on its first hit.
    std::unique_ptr<CompressedQueryVectorT> vector(r.GetCurrentQueryVector(&status));
    ASSERT_NE(vector, nullptr);
    using HitsT = std::vector<std::pair<uint32_t, uint32_t>>;
    EXPECT_EQ(Hits(vector.get()),
              mode == WORD_MODE ? (HitsT{{1, 1}, {1, 3}}) : (HitsT{{1, 1}}));
  }
}

// Garbage in the dictionary pages: every browsing operation, walk and
// expansion ends with a status, never runs off or loops.
TEST(PartitionBrowse, DamagedDictionariesGiveStatuses) {
  ScopedTempDirT dir;
  IndexRecords(dir.File("p"), WORD_MODE, WildcardRecords());
  std::string sound = ReadWholeFile(dir.File("p"));
  PartitionHeaderT header;
  {
    OpenPartitionT p(dir.File("p"));
    ASSERT_TRUE(p.Ok);
    header = p.Reader.Header();
  }
  const uint32_t pages =
      kPartitionDictionaryHeaderOffset + header.Dictionary.DataOffset;
  std::mt19937 random(7);
  const std::set<StatusCodeT> allowed = {StatusNoError, StatusEndOfWordList,
                                         StatusGeneralError, StatusReadError};
  int failures = 0;
  for (int round = 0; round < 30; ++round) {
    std::string bytes = sound;
    for (int i = 0; i < 40; ++i) {
      bytes[pages + random() % header.Dictionary.PageAreaLength] =
          static_cast<char>(random());
    }
    WriteWholeFile(dir.File("p"), bytes);
    OpenPartitionT p(dir.File("p"));
    ASSERT_TRUE(p.Ok);
    PartitionReaderT& r = p.Reader;
    unsigned char key[256];
    uint32_t records = 0;
    uint32_t hits = 0;
    BooleanT found = 0;
    StatusCodeT status = StatusNoError;
    int steps = 0;
    if (r.FindKey(Bytes(Key("")), found, records, hits, &status)) {
      while (r.NextKey(key, records, hits, &status) && ++steps < 10000) {
      }
    }
    EXPECT_LT(steps, 10000);
    EXPECT_TRUE(allowed.count(status)) << status;
    failures += status < 0 && status != StatusEndOfWordList;
    status = StatusNoError;
    while (r.PreviousKey(key, records, hits, &status) && ++steps < 20000) {
    }
    EXPECT_LT(steps, 20000);
    auto walked = Walk(&r, "n1*");
    EXPECT_TRUE(walked.second == StatusNotFound || walked.second < 0);
    status = StatusNoError;
    std::unique_ptr<QueryVectorBaseT> expanded(
        r.ProcessWildCard(Bytes(Key("*")), LeafViewT(), &status));
    EXPECT_EQ(expanded == nullptr, status < 0);
    status = StatusNoError;
    r.FindNthKey(1 + random() % 3000, key, records, hits, &status);
    EXPECT_TRUE(allowed.count(status)) << status;
  }
  // The damage is met, not only walked around.
  EXPECT_GT(failures, 10);
}

}  // namespace
