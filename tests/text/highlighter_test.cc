// The highlight matcher through its exported functions: words against the
// loaded patterns, the patterns it refuses, and its status reports.

#include "text/highlighter.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tarvis/tarvis.h"

namespace {

unsigned char* Bytes(const std::string& text) {
  return reinterpret_cast<unsigned char*>(const_cast<char*>(text.data()));
}

class HighlighterTest : public ::testing::Test {
 protected:
  void SetUp() override { matcher_ = Create(); }
  void TearDown() override { tvDeleteHighlightMatcher(matcher_); }

  static WordHighlighterT* Create() {
    StatusCodeT status = 99;
    WordHighlighterT* matcher = tvCreateHighlightMatcher(&status);
    EXPECT_NE(matcher, nullptr);
    EXPECT_EQ(status, StatusNoError);
    return matcher;
  }
  StatusCodeT Add(const std::string& pattern) {
    StatusCodeT status = 99;
    tvAddWildCardPatternToHighlightMatcher(matcher_, Bytes(pattern),
                                           pattern.size(), &status);
    return status;
  }
  int Match(const std::string& word) {
    return tvHighlightMatcherMatch(matcher_, Bytes(word), word.size());
  }

  WordHighlighterT* matcher_ = nullptr;
};

TEST_F(HighlighterTest, EmptyMatcherMatchesNothing) {
  EXPECT_EQ(Match("house"), 0);
  EXPECT_EQ(Match(""), 0);
}

TEST_F(HighlighterTest, PatternCases) {
  struct {
    const char* pattern;
    std::vector<const char*> matching;
    std::vector<const char*> notMatching;
  } const table[] = {
      {"hous*", {"house", "household", "hous"}, {"hose", "hou", "House"}},
      {"m?n", {"man", "men", "m?n"}, {"mean", "mn", "main"}},
      {"run", {"run"}, {"runs", "ru", "RUN"}},
      {"a\\*", {"a*"}, {"a", "ab", "a*b"}},
  };
  for (const auto& row : table) {
    TearDown();
    SetUp();
    ASSERT_EQ(Add(row.pattern), StatusNoError);
    for (const char* word : row.matching) {
      EXPECT_EQ(Match(word), 1) << row.pattern << " / " << word;
    }
    for (const char* word : row.notMatching) {
      EXPECT_EQ(Match(word), 0) << row.pattern << " / " << word;
    }
  }
}

TEST_F(HighlighterTest, EveryPatternAddedIsTried) {
  EXPECT_EQ(Add("cat"), StatusNoError);
  EXPECT_EQ(Add("dog"), StatusNoError);
  EXPECT_EQ(Add("bird?"), StatusNoError);
  EXPECT_EQ(Match("cat"), 1);
  EXPECT_EQ(Match("dog"), 1);
  EXPECT_EQ(Match("birds"), 1);
  EXPECT_EQ(Match("bird"), 0);
  EXPECT_EQ(Match("cow"), 0);
}

TEST_F(HighlighterTest, OverlongPatternIsRefusedAndReported) {
  EXPECT_EQ(Add(std::string(257, 'a')), StatusBadKeyLength);
  EXPECT_EQ(Match(std::string(257, 'a')), 0);
  EXPECT_EQ(Add(std::string(256, 'a')), StatusNoError);
  EXPECT_EQ(Match(std::string(256, 'a')), 1);
  EXPECT_EQ(Match(std::string(255, 'a')), 0);
}

TEST_F(HighlighterTest, WordsLongerThanAnyKeyAreMatchedSafely) {
  ASSERT_EQ(Add("long*"), StatusNoError);
  std::string word = "long" + std::string(100000, 'x');
  EXPECT_EQ(Match(word), 1);
  WordHighlighterT direct;
  StatusCodeT status = StatusNoError;
  direct.AddWildcard(reinterpret_cast<const unsigned char*>("x"), 1, &status);
  EXPECT_EQ(direct.Match(reinterpret_cast<const unsigned char*>("x"), 1), 1);
  EXPECT_EQ(direct.Match(reinterpret_cast<const unsigned char*>("x"),
                         (1UL << 32) + 1),
            0);
}

}  // namespace
