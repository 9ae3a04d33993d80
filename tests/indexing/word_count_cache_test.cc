// The word-count cache: summing, a word hashing to 0, and a full table.

#include "indexing/word_count_cache.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct CacheT {
  WordCountCacheT Cache;
  StatusCodeT Status = 0;

  void Add(const std::string& w, uint32_t first, uint32_t second) {
    Cache.AddWordCount(reinterpret_cast<const unsigned char*>(w.data()),
                       static_cast<uint32_t>(w.size()), first, second, &Status);
  }
  std::pair<uint32_t, uint32_t> Get(const std::string& w) {
    uint32_t first = 7, second = 7;
    Cache.GetWordCount(reinterpret_cast<const unsigned char*>(w.data()),
                       static_cast<uint32_t>(w.size()), &first, &second,
                       &Status);
    return {first, second};
  }
};

using Counts = std::pair<uint32_t, uint32_t>;

TEST(WordCountCacheTest, CountsAddUpPerWord) {
  CacheT c;
  EXPECT_EQ(c.Get("a"), Counts(0, 0));  // no table yet
  c.Cache.SetCacheSize(100, &c.Status);
  c.Add("alpha", 3, 4);
  c.Add("beta", 1, 1);
  c.Add("alpha", 1, 10);
  EXPECT_EQ(c.Get("alpha"), Counts(4, 14));
  EXPECT_EQ(c.Get("beta"), Counts(1, 1));
  EXPECT_EQ(c.Get("gamma"), Counts(0, 0));
  EXPECT_EQ(c.Status, 0);
  c.Cache.Reset();
  EXPECT_EQ(c.Get("alpha"), Counts(0, 0));
  c.Add("alpha", 1, 1);
  c.Cache.SetCacheSize(10, &c.Status);
  EXPECT_EQ(c.Get("alpha"), Counts(0, 0));
  EXPECT_EQ(c.Status, 0);
}

TEST(WordCountCacheTest, WordHashingToZeroKeepsItsCounts) {
  CacheT c;
  c.Cache.SetCacheSize(4, &c.Status);
  c.Add("\x01", 3, 4);    // hash 0: it must not look like an empty entry
  c.Add("\x05", 10, 20);  // hash 4, home entry 0
  EXPECT_EQ(c.Get("\x01"), Counts(3, 4));
  EXPECT_EQ(c.Get("\x05"), Counts(10, 20));
  EXPECT_EQ(c.Status, 0);
}

TEST(WordCountCacheTest, FullTableAnswersFull) {
  CacheT c;
  c.Cache.SetCacheSize(4, &c.Status);
  // Hashes 4, 8, 12 share home entry 0; its probes reach entries 0, 1, 0.
  c.Add("\x05", 1, 1);
  c.Add("\x09", 2, 2);
  EXPECT_EQ(c.Status, 0);
  c.Add("\x0d", 3, 3);
  EXPECT_EQ(c.Status, StatusFull);
  c.Status = 0;
  EXPECT_EQ(c.Get("\x0d"), Counts(0, 0));
  EXPECT_EQ(c.Status, StatusFull);
  c.Status = 0;
  EXPECT_EQ(c.Get("\x09"), Counts(2, 2));
  EXPECT_EQ(c.Get("\x03"), Counts(0, 0));  // hash 2: an empty entry
  EXPECT_EQ(c.Status, 0);
}

}  // namespace
