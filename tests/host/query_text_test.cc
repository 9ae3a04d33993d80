// Typed queries into the engine's short form, as the index's words were
// made: the table compares with the long form the converter should have
// written, put through the library's own converter.

#include "query_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host_error.h"
#include "settings.h"

namespace {

std::string Squeezed(std::string text) {
  std::string out;
  for (char c : text) {
    if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
    out += c;
  }
  if (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// The short form of a query already in the converter's long form.
std::string ShortForm(const std::string& longForm) {
  std::vector<unsigned char> in(longForm.begin(), longForm.end());
  in.push_back(0);
  std::vector<unsigned char> out(TV_CONVERTED_QUERY_SIZE(longForm.size()));
  tvConvertQuery(in.data(), out.data());
  return Squeezed(reinterpret_cast<char*>(out.data()));
}

class QueryTextTest : public ::testing::Test {
 protected:
  QueryTextTest() : stop_(English()), tokenizer_(true, stop_.List()) {}

  static IndexSettingsT English() {
    IndexSettingsT settings;
    settings.Stop = "english";
    return settings;
  }

  StopWordsT stop_;
  TokenizerT tokenizer_;
};

TEST_F(QueryTextTest, ConvertsTypedQueriesAsTheWordsWereIndexed) {
  const struct {
    const char* Typed;
    const char* LongForm;
  } cases[] = {
      {"Cats AND dogs", "cat & dog"},
      {"cat dog", "cat dog"},
      {"cats OR the", "cat"},            // a stop word leaves with its OR
      {"(the) AND cats", "cat"},         // and an empty group with it
      {"\"the cat\"", "\" cat \""},
      {"e-mail", "\" e mail \""},        // split as the tokenizer split it
      {"running NEAR dogs", "run w:5 dog"},
      {"fox W/3 hound", "fox w/3 hound"},
      {"fox | dog & !cat", "fox | dog & ! cat"},
      {"Hous* wom?n", "hous* wom?n"},    // patterns folded, never stemmed
      {"Apples - Apricots", "apples - apricots"},  // range ends only folded
      {"\xc3\x89t\xc3\xa9s", "et"},   // folded "etes", stemmed
      {"The - Them", "the - them"},      // stop words too
      {"cat AND !dog", "cat & ! dog"},
  };
  for (const auto& c : cases) {
    QueryTextT query = ConvertUserQuery(c.Typed, tokenizer_, 5);
    EXPECT_EQ(Squeezed(query.ShortForm), ShortForm(c.LongForm)) << c.Typed;
  }
}

TEST_F(QueryTextTest, SortsTermsExcludedTermsAndRanges) {
  QueryTextT query = ConvertUserQuery(
      "cats NOT (dog OR fish W/2 bird) AND ant - bee", tokenizer_, 5);
  EXPECT_EQ(query.Terms, std::vector<std::string>({"cat"}));
  EXPECT_EQ(query.Excluded, std::vector<std::string>({"dog", "fish", "bird"}));
  ASSERT_EQ(query.Ranges.size(), 1u);
  EXPECT_EQ(query.Ranges[0].first, "ant");
  EXPECT_EQ(query.Ranges[0].second, "bee");
  EXPECT_TRUE(query.HasOr);
  EXPECT_EQ(RankedQueryFromTerms(query),
            HexTerm("cat") + " -" + HexTerm("dog") + " -" + HexTerm("fish") +
                " -" + HexTerm("bird"));
  QueryTextT plain = ConvertUserQuery("cats dogs", tokenizer_, 5);
  EXPECT_EQ(RankedQueryFromTerms(plain),
            "+" + HexTerm("cat") + " +" + HexTerm("dog"));
}

TEST_F(QueryTextTest, RankedTermsKeepTheirSigns) {
  QueryTextT ranked = ConvertRankedTerms("+Cats -the dogs* -birds", tokenizer_);
  EXPECT_EQ(ranked.ShortForm, "+" + HexTerm("cat") + " " + HexTerm("dogs*") +
                                  " -" + HexTerm("bird"));
  EXPECT_EQ(ranked.Terms, std::vector<std::string>({"cat", "dogs*"}));
  EXPECT_EQ(ranked.Excluded, std::vector<std::string>({"bird"}));
}

TEST_F(QueryTextTest, MalformedQueriesFailWithTheirStatus) {
  const std::string longWord(256, 'x');
  const struct {
    std::string Typed;
    StatusCodeT Status;
  } cases[] = {
      {"", StatusQuerySyntaxError},
      {"the AND of", StatusQuerySyntaxError},
      {"- b", StatusQuerySyntaxError},
      {"a -", StatusQuerySyntaxError},
      {"cat - dog*", StatusQuerySyntaxError},
      {"x* - y", StatusQuerySyntaxError},
      {"(a) - b", StatusQuerySyntaxError},
      {"a - (b)", StatusQuerySyntaxError},
      {"red - e-mail", StatusQuerySyntaxError},
      {longWord, StatusBadKeyLength},
      {longWord + "*", StatusBadKeyLength},
  };
  for (const auto& c : cases) {
    try {
      ConvertUserQuery(c.Typed, tokenizer_, 5);
      ADD_FAILURE() << "no failure for '" << c.Typed << "'";
    } catch (const HostErrorT& error) {
      EXPECT_EQ(error.Status, c.Status) << c.Typed;
      EXPECT_EQ(error.Message.compare(0, 7, "query: "), 0) << error.Message;
    }
  }
  EXPECT_THROW(ConvertRankedTerms("the of -a", tokenizer_), HostErrorT);
}

}  // namespace
