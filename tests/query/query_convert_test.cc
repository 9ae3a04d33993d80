// The long-form to short-form converters.

#include "query/query_convert.h"

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tarvis/tarvis.h"

namespace {

std::string Shorten(std::string query, unsigned long nearDistance) {
  std::vector<unsigned char> text(query.begin(), query.end());
  text.push_back('\0');
  tvLongQueryFormToShortQueryForm(text.data(), nearDistance);
  return reinterpret_cast<const char*>(text.data());
}

// Converts into a buffer of exactly the documented size, so that a write
// past it shows under the address sanitizer.
std::string Convert(const std::string& query) {
  std::vector<unsigned char> in(query.begin(), query.end());
  in.push_back('\0');
  std::vector<unsigned char> before = in;
  std::vector<unsigned char> out(TV_CONVERTED_QUERY_SIZE(query.size()));
  tvConvertQuery(in.data(), out.data());
  EXPECT_EQ(in, before) << "the input changed";
  EXPECT_LT(std::strlen(reinterpret_cast<const char*>(out.data())), out.size());
  return reinterpret_cast<const char*>(out.data());
}

TEST(LongQueryToShortQuery, Table) {
  struct {
    const char* in;
    unsigned long near;
    const char* out;
  } const cases[] = {
      {"a AND b OR c NOT d", 5, "a & b | c ! d"},
      {"cat AND dog*", 5, "cat & dog*"},
      {"a NEAR b", 150, "a w:99 b"},
      {"a NEAR b", 5, "a w:5 b"},
      {"a NEAR b", 12, "a w:12 b"},
      {"a\tAND\nb\rOR c", 5, "a & b | c"},
      {"a AND AND b", 5, "a & & b"},
      {"a W/3 b", 5, "a w/3 b"},
      {"a W/x b", 5, "a W/x b"},          // no digit: left alone
      {"a and b or c", 5, "a and b or c"},  // case-sensitive
      {"AND a ANDb", 5, "AND a ANDb"},      // needs a space on each side
      {"a    b ", 5, "a b "},
      {"", 5, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Shorten(c.in, c.near), c.out) << c.in;
  tvLongQueryFormToShortQueryForm(nullptr, 1);
}

TEST(QueryConvert, Table) {
  struct {
    const char* in;
    const char* out;
  } const cases[] = {
      {"cat &   dog*", "0x636174 &   0x646f67*"},
      {"a & b | c ! d", "0x61 & 0x62 | 0x63 ! 0x64"},
      {"(a|b)^\"c d\"", "(0x61|0x62)^\"0x63 0x64\""},
      {"a - c", "0x61 - 0x63"},
      {"*a?", "0x*61?"},
      // Parameters are copied: one letter and the digits after ":".
      {"a:1 & b:w5 c:f12", "0x61:1 & 0x62:w5 0x63:f12"},
      // Proximity, as the keyword converter writes it and as typed.
      {"a w:5 b", "0x61 w:5 0x62"},
      {"a w/12 b", "0x61 w:12 0x62"},
      {"(a)w/3(b)", "(0x61)w:3(0x62)"},
      {"saw/5", "0x7361772f35"},         // inside a word: part of it
      {"w/o", "0x772f6f"},               // no digits
      {"w/5x", "0x772f3578"},            // digits not ending the word
      // The member operator standing alone; elsewhere "M" is a letter.
      {"a M b", "0x61 M 0x62"},
      {"(a)M<b>", "(0x61)M<0x62>"},
      {"M a", "0x4d 0x61"},
      {"a Mb", "0x61 0x4d62"},
      {"a N U", "0x61 0x4e 0x55"},
      // Backslash: the next character is a byte of the word.
      {"\\*a\\&", "0x2a6126"},
      {"a\\", "0x615c"},
      {"\xe9t\xc3\xa9", "0xe974c3a9"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Convert(c.in), c.out) << c.in;
  unsigned char out[4] = "x";
  tvConvertQuery(nullptr, out);
  tvConvertQuery2(out, nullptr);
  EXPECT_STREQ(reinterpret_cast<char*>(out), "x");
  unsigned char in[] = "ab";
  unsigned char twice[16];
  tvConvertQuery2(twice, in);
  EXPECT_STREQ(reinterpret_cast<char*>(twice), "0x6162");
}

TEST(QueryConvert, OutputSizeIsTheWorstCase) {
  EXPECT_EQ(TV_CONVERTED_QUERY_SIZE(7u), ConvertedQueryBytes(7));
  // One-character words with one delimiter between them reach the bound.
  for (size_t words = 1; words < 6; ++words) {
    std::string query = "a";
    for (size_t i = 1; i < words; ++i) query += " a";
    EXPECT_EQ(Convert(query).size() + 1, ConvertedQueryBytes(query.size()));
  }
  EXPECT_EQ(Convert("ab").size() + 1, ConvertedQueryBytes(2));
  // Random text over the characters the converter treats specially.
  const char alphabet[] = "aMNwx/:\\*?! \"&()+-;<>^|0159\t\xff";
  std::mt19937 random(7);
  for (int round = 0; round < 3000; ++round) {
    std::string query;
    size_t length = random() % 40;
    for (size_t i = 0; i < length; ++i) {
      query += alphabet[random() % (sizeof alphabet - 1)];
    }
    Convert(query);
  }
}

}  // namespace
