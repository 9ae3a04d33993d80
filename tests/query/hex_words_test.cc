// Hex words: encoding, bounded decoding into keys and patterns, and the
// exported conversions.

#include "query/hex_words.h"

#include <cstring>
#include <string>

#include "gtest/gtest.h"
#include "tarvis/tarvis.h"

namespace {

std::string KeyText(const unsigned char* key) {
  return std::string(reinterpret_cast<const char*>(key + 1), key[0]);
}

TEST(HexWords, EncodeWritesLowercaseDigits) {
  char out[16];
  tvCharWordToHexWord(out, reinterpret_cast<unsigned char*>(const_cast<char*>("cat")), 3);
  EXPECT_STREQ(out, "0x636174");
  const unsigned char bytes[] = {0x00, 0xff, 0x0a};
  BinaryWordToHexWord(out, bytes, 3);
  EXPECT_STREQ(out, "0x00ff0a");
  BinaryWordToHexWord(out, bytes, 0);
  EXPECT_STREQ(out, "0x");
}

TEST(HexWords, DecodeTable) {
  struct {
    const char* word;
    int ok;
    std::string key;
  } const cases[] = {
      {"0x636174", 1, "cat"},
      {"0X6361*", 1, "ca*"},
      {"0x", 1, ""},
      {"636174", 1, "cat"},          // "0x" is optional
      {"0x6A6b", 1, "jk"},           // either case
      {"0x61 & 0x62", 1, "a"},       // ends at the first non-unit
      {"0x61?62", 1, "a?b"},
      {"0x6", 0, ""},                // a single digit at the end
      {"0x616", 0, ""},
  };
  for (const auto& c : cases) {
    unsigned char key[256];
    std::memset(key, 0x55, sizeof key);
    EXPECT_EQ(HexWordToBinaryWord(key, c.word), c.ok) << c.word;
    EXPECT_EQ(KeyText(key), c.key) << c.word;
  }
}

TEST(HexWords, DecodeRefusesMoreThan255Bytes) {
  std::string word = "0x";
  for (int i = 0; i < 255; ++i) word += "41";
  unsigned char key[256];
  ASSERT_EQ(HexWordToBinaryWord(key, word.c_str()), 1);
  EXPECT_EQ(key[0], 255);
  EXPECT_EQ(KeyText(key), std::string(255, 'A'));
  word += "42";
  EXPECT_EQ(HexWordToBinaryWord(key, word.c_str()), 0);
  EXPECT_EQ(key[0], 0);
  // Wildcard units count as bytes too.
  word.resize(word.size() - 2);
  word += '*';
  EXPECT_EQ(HexWordToBinaryWord(key, word.c_str()), 0);
}

TEST(HexWords, PatternEscapesLiteralWildcardBytes) {
  unsigned char pattern[256];
  // Bytes "*", "?" and backslash written in hexadecimal are literal.
  ASSERT_EQ(HexWordToPattern(pattern, "0x2a3f5c61*?"), 1);
  EXPECT_EQ(KeyText(pattern), "\\*\\?\\\\a*?");
  // Escapes count towards the 255 bytes.
  std::string word = "0x";
  for (int i = 0; i < 128; ++i) word += "2a";
  EXPECT_EQ(HexWordToPattern(pattern, word.c_str()), 0);
  EXPECT_EQ(pattern[0], 0);
  word.resize(2 + 2 * 127);
  ASSERT_EQ(HexWordToPattern(pattern, (word + "*").c_str()), 1);
  EXPECT_EQ(pattern[0], 255);
}

TEST(HexWords, ByteAndUnicodeConversions) {
  char two[3] = {0, 0, 0};
  tvCharToHex(0x0a, two);
  EXPECT_STREQ(two, "0a");
  unsigned char byte = 0;
  tvHexToChar(&byte, "0A");
  EXPECT_EQ(byte, 0x0a);
  tvHexToChar(&byte, "0a");
  EXPECT_EQ(byte, 0x0a);
  tvHexToChar(&byte, "g1");  // not a digit: read as 0
  EXPECT_EQ(byte, 0x01);
  char four[5] = {0, 0, 0, 0, 0};
  tvUnicodeCharToHex(0x00e9, four);
  EXPECT_STREQ(four, "00e9");
  unsigned short value = 0;
  tvUnicodeHexToChar(&value, "00E9");
  EXPECT_EQ(value, 0x00e9);
  tvUnicodeHexToChar(&value, "Fe01");
  EXPECT_EQ(value, 0xfe01);
  for (unsigned b = 0; b < 256; ++b) {
    ctohex(static_cast<unsigned char>(b), two);
    EXPECT_EQ(hextoc(two), b);
  }
  for (unsigned v = 0; v < 65536; v += 257) {
    Uctohex(static_cast<uint16_t>(v), four);
    EXPECT_EQ(UHexToC(four), v);
  }
}

TEST(HexWords, ExportedFunctionsIgnoreNullPointers) {
  char out[8] = "x";
  tvCharWordToHexWord(nullptr, nullptr, 3);
  tvCharWordToHexWord(out, nullptr, 3);
  EXPECT_STREQ(out, "x");
  tvCharWordToHexWord(out, nullptr, 0);
  EXPECT_STREQ(out, "0x");
  tvHexToChar(nullptr, "61");
  unsigned char byte = 7;
  tvHexToChar(&byte, nullptr);
  EXPECT_EQ(byte, 7);
  tvCharToHex(1, nullptr);
  tvUnicodeHexToChar(nullptr, "0061");
  tvUnicodeCharToHex(1, nullptr);
}

}  // namespace
