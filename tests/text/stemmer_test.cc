// The stemmer against stems derived from its rule tables: the classic
// examples, a word list kept next to this file, words it must leave alone,
// and the bound on what it writes.

#include "text/stemmer.h"

#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "gtest/gtest.h"
#include "tarvis/tarvis.h"

namespace {

// Stems word through the exported function into a buffer of exactly
// strlen(word) + 1 bytes followed by guard bytes, and checks that the guard
// is untouched.
std::string StemChecked(const std::string& word, int* result) {
  const size_t size = word.size() + 1;
  std::vector<char> buffer(size + 16, '\x5a');
  *result = tvStemEnglishWord(buffer.data(), word.c_str());
  for (size_t i = size; i < buffer.size(); ++i) {
    EXPECT_EQ(buffer[i], '\x5a') << "wrote past the word for " << word;
  }
  EXPECT_LE(std::strlen(buffer.data()), word.size());
  return std::string(buffer.data());
}

using StemTableT = std::vector<std::pair<const char*, const char*>>;

// Every word of the table stems to its partner with the given result.
void CheckStems(const StemTableT& table, int expected) {
  for (const auto& row : table) {
    int result = -1;
    EXPECT_EQ(StemChecked(row.first, &result), row.second) << row.first;
    EXPECT_EQ(result, expected) << row.first;
  }
}

TEST(Stemmer, ClassicExamples) {
  CheckStems({
      {"caresses", "caress"},   {"ponies", "poni"},
      {"caress", "caress"},     {"cats", "cat"},
      {"feed", "fe"},           {"plastered", "plaster"},
      {"bled", "bled"},         {"motoring", "motor"},
      {"sing", "sing"},         {"hopping", "hop"},
      {"falling", "fall"},      {"filing", "file"},
      {"hoping", "hope"},       {"happy", "happi"},
      {"relational", "relat"},  {"generalizations", "gener"},
      {"oscillators", "oscill"}, {"hopefulness", "hopeful"},
      {"controll", "controll"}, {"Running", "run"},
      {"", ""},                 {"s", ""},
      {"SKY", "sky"},
  }, 1);
}

TEST(Stemmer, WordList) {
  std::string path = __FILE__;
  path = path.substr(0, path.find_last_of('/') + 1) + "stemmer_words.txt";
  std::ifstream in(path);
  ASSERT_TRUE(in) << path;
  std::string line;
  int words = 0;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    size_t blank = line.find(' ');
    ASSERT_NE(blank, std::string::npos) << line;
    std::string word = line.substr(0, blank);
    int result = -1;
    EXPECT_EQ(StemChecked(word, &result), line.substr(blank + 1)) << word;
    EXPECT_EQ(result, 1);
    ++words;
  }
  EXPECT_GT(words, 500);
}

TEST(Stemmer, WordsWithOtherCharactersAreLeftAlone) {
  CheckStems({
      {"don't", "don't"},
      {"Don't", "don't"},          // letters before the apostrophe lowercased
      {"ABC1ING", "abc1ING"},      // and nothing after it
      {"caf\xc3\xa9s", "caf\xc3\xa9s"},
      {"two words", "two words"},
      {"-ing", "-ing"},
  }, 0);
}

TEST(Stemmer, StemsInPlaceAndRefusesNull) {
  char word[] = "Generalizations";
  EXPECT_EQ(tvStemEnglishWord(word, word), 1);
  EXPECT_STREQ(word, "gener");

  unsigned char raw[] = "hopping";
  EXPECT_EQ(Stem(raw), 1);
  EXPECT_STREQ(reinterpret_cast<char*>(raw), "hop");

  char buffer[8] = "keep";
  EXPECT_EQ(tvStemEnglishWord(buffer, nullptr), 0);
  EXPECT_STREQ(buffer, "keep");
  EXPECT_EQ(tvStemEnglishWord(nullptr, "word"), 0);
}

}  // namespace
