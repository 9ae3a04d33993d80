// Compiling wildcard patterns and matching keys against them: the matcher
// table, escapes, the literal prefix, length limits and reads bounded by
// the key.

#include "text/wildcard_pattern.h"

#include <cstring>
#include <memory>
#include <string>

#include "gtest/gtest.h"

namespace {

WildCardPatternT Compile(const std::string& pattern) {
  WildCardPatternT compiled;
  EXPECT_EQ(compiled.ProcessWildCardPattern(
                reinterpret_cast<const unsigned char*>(pattern.data()),
                static_cast<uint32_t>(pattern.size())),
            1)
      << pattern;
  return compiled;
}

// Matches a copy of key in a heap block of exactly its size, so that a read
// beyond the key is caught by the address sanitizer.
int Matches(const WildCardPatternT& pattern, const std::string& key) {
  std::unique_ptr<unsigned char[]> copy(new unsigned char[key.size()]);
  if (!key.empty()) std::memcpy(copy.get(), key.data(), key.size());
  return pattern.WildCardMatch(copy.get(), static_cast<uint32_t>(key.size()));
}

TEST(WildCardPattern, MatchTable) {
  struct {
    const char* pattern;
    const char* key;
    int match;
  } const table[] = {
      {"ab*", "ab", 1},     {"ab*", "abc", 1},    {"ab*", "abzz", 1},
      {"ab*", "a", 0},      {"ab*", "ac", 0},     {"ab*", "", 0},
      {"a?c", "abc", 1},    {"a?c", "a?c", 1},    {"a?c", "ac", 0},
      {"a?c", "abcd", 0},   {"a?c", "abd", 0},    {"a\\*", "a*", 1},
      {"a\\*", "a", 0},     {"a\\*", "ab", 0},    {"a\\*", "a*b", 0},
      {"a*c", "a", 1},      {"a*c", "abc", 1},    {"a*c", "axy", 1},
      {"a*c", "b", 0},      {"a\\?c", "a?c", 1},  {"a\\?c", "abc", 0},
      {"a\\\\", "a\\", 1},  {"a\\\\", "a", 0},    {"a\\", "a\\", 1},
      {"*", "", 1},         {"*", "anything", 1}, {"?", "", 0},
      {"?", "x", 1},        {"??", "x", 0},       {"", "", 1},
      {"", "a", 0},         {"run", "run", 1},    {"run", "runs", 0},
      {"run", "Run", 0},    {"?*", "", 0},        {"?*", "xyz", 1},
  };
  for (const auto& row : table) {
    EXPECT_EQ(Matches(Compile(row.pattern), row.key), row.match)
        << "'" << row.pattern << "' against '" << row.key << "'";
  }
  // Any byte value is a literal, NUL included.
  const std::string withNul("a\0\xff", 3);
  EXPECT_EQ(Matches(Compile(withNul), withNul), 1);
  EXPECT_EQ(Matches(Compile(withNul), std::string("a\0\xfe", 3)), 0);
}

TEST(WildCardPattern, PrefixIsTheLiteralsBeforeTheFirstWildcard) {
  struct {
    const char* pattern;
    const char* prefix;
    uint32_t compiledLength;
  } const table[] = {
      {"abc*", "abc", 4},    {"ab?d*", "ab", 5},  {"a\\*b*", "a*b", 4},
      {"plain", "plain", 5}, {"*abc", "", 4},     {"", "", 0},
      {"a\\?\\\\?", "a?\\", 4},
  };
  for (const auto& row : table) {
    WildCardPatternT pattern = Compile(row.pattern);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(pattern.Prefix()),
                          pattern.PrefixLength()),
              row.prefix)
        << row.pattern;
    EXPECT_EQ(pattern.CompiledLength(), row.compiledLength) << row.pattern;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(pattern.RawPattern()),
                          pattern.RawPatternLength()),
              row.pattern);
  }
}

TEST(WildCardPattern, LongPatternsAreBoundedByTheState) {
  std::string longest(WildCardPatternT::kMaxPatternLength, 'x');
  WildCardPatternT pattern = Compile(longest);
  EXPECT_EQ(Matches(pattern, longest), 1);
  EXPECT_EQ(Matches(pattern, longest + "x"), 0);

  // Escapes count as given: 256 bytes compile to 128 escaped stars.
  std::string escaped;
  for (int i = 0; i < 128; ++i) escaped += "\\*";
  EXPECT_EQ(Compile(escaped).CompiledLength(), 128u);

  // One byte more is refused and the compiled pattern stays as it was.
  std::string tooLong = longest + "*";
  EXPECT_EQ(pattern.ProcessWildCardPattern(
                reinterpret_cast<const unsigned char*>(tooLong.data()),
                static_cast<uint32_t>(tooLong.size())),
            0);
  EXPECT_EQ(Matches(pattern, longest), 1);
  EXPECT_EQ(pattern.PrefixLength(), WildCardPatternT::kMaxPatternLength);
}

TEST(WildCardPattern, RecompilingReplacesTheOldPattern) {
  WildCardPatternT pattern = Compile("abc*");
  const unsigned char next[] = "x?";
  ASSERT_EQ(pattern.ProcessWildCardPattern(next, 2), 1);
  EXPECT_EQ(Matches(pattern, "abcd"), 0);
  EXPECT_EQ(Matches(pattern, "xy"), 1);
  EXPECT_EQ(pattern.PrefixLength(), 1u);
}

}  // namespace
