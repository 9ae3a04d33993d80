// The tokens of the short query form and the tokenizer's errors.

#include "query/query_tokenizer.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace {

// The tokens of text written as "type[:number]" (terms as "t<units>", a
// wildcard term with "*"), up to the end or the first error, which is
// written as "!<status>".
std::string Tokens(const std::string& text) {
  QueryTokenizerT tokenizer(reinterpret_cast<const unsigned char*>(text.c_str()));
  std::string out;
  for (;;) {
    QueryTokenT token;
    StatusCodeT status = StatusNoError;
    uint32_t type = tokenizer.GetNextToken(&token, &status);
    if (!out.empty()) out += ' ';
    if (status < 0) return out + "!" + std::to_string(status);
    if (type == kTokenEnd) return out + "end";
    switch (type) {
      case kTokenTerm:
        out += "t" + std::to_string(token.Units) + (token.Wildcard ? "*" : "");
        break;
      case kTokenParameter:
        out += ":" + std::to_string(token.ParameterKind) + "=" +
               std::to_string(token.Number);
        break;
      case kTokenProximity:
        out += "w" + std::to_string(token.Number);
        break;
      case kTokenMember:
        out += "M";
        break;
      default:
        out += static_cast<char>(type);
        break;
    }
  }
}

TEST(QueryTokenizer, Tokens) {
  struct {
    const char* text;
    const char* tokens;
  } const cases[] = {
      {"", "end"},
      {"  \t+;/", "end"},  // filler only
      {"0x61 & (0x6263 | 0X64)", "t1 & ( t2 | t1 ) end"},
      {"<0x61>!0x62^\"0x63\"-", "< t1 > ! t1 ^ \" t1 \" - end"},
      {"0x* 0x61?62 0x", "t1* t3* t0 end"},
      {"0x61w5 0x62", "t1 w5 t1 end"},
      {"w/12 w:3 w : 4 wz7", "w12 w3 w4 w7 end"},
      {"0x61 M 0x62 :m 0x63", "t1 M t1 M t1 end"},
      {":7 :w5 :W 6 :f12 : F3", ":0=7 :6=5 :6=6 :5=12 :5=3 end"},
      {"w99999999999", "w2147483647 end"},  // saturated
  };
  for (const auto& c : cases) EXPECT_EQ(Tokens(c.text), c.tokens) << c.text;
}

TEST(QueryTokenizer, Errors) {
  std::string longest = "0x";
  for (int i = 0; i < 255; ++i) longest += "41";
  struct {
    std::string text;
    const char* tokens;
  } const cases[] = {
      {"0x6", "!-31"},         // odd number of digits
      {"0x61 0x6 ", "t1 !-31"},
      {"0x61 w", "t1 !-20"},   // proximity without a distance
      {"w & 3", "!-20"},
      {":", "!-20"},
      {": x", "!-20"},
      {":w", "!-20"},
      {"0y61", "!-31"},
      {"1", "!-31"},
      {"a", "!-31"},
      {"X", "!-31"},
      {"U", "!-31"},
      {"N", "!-31"},
      {"*", "!-31"},
      {longest, "t255 end"},
      {longest + "41", "!-45"},  // longer than any key
      {longest + "*", "!-45"},
  };
  for (const auto& c : cases) EXPECT_EQ(Tokens(c.text), c.tokens) << c.text;
}

TEST(QueryTokenizer, PositionsAndPeeking) {
  const unsigned char text[] = "  0x61 -0x62";
  QueryTokenizerT tokenizer(text);
  QueryTokenT token;
  StatusCodeT status = StatusNoError;
  ASSERT_EQ(tokenizer.GetNextToken(&token, &status), kTokenTerm);
  EXPECT_EQ(token.Position, 2u);
  uint32_t resume = tokenizer.ScanPosition();
  ASSERT_EQ(tokenizer.GetNextToken(&token, &status), static_cast<uint32_t>('-'));
  EXPECT_EQ(token.Position, 7u);
  tokenizer.SetScanPosition(resume);
  ASSERT_EQ(tokenizer.GetNextToken(&token, &status), static_cast<uint32_t>('-'));
  ASSERT_EQ(tokenizer.GetNextToken(&token, &status), kTokenTerm);
  EXPECT_EQ(token.Position, 8u);
}

}  // namespace
