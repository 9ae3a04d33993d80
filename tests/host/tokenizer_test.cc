// The tokenizer: which words a text gives, folded, stemmed and stopped.

#include "tokenizer.h"

#include <gtest/gtest.h>

#include <string>

#include "english_stop_words.h"
#include "settings.h"

namespace {

std::string Words(const std::string& text, const TokenizerT& tokenizer) {
  std::string words;
  tokenizer.Scan(reinterpret_cast<const unsigned char*>(text.data()),
                 text.size(),
                 [&](const unsigned char* word, size_t length, size_t, size_t) {
                   if (!words.empty()) words += " ";
                   words.append(reinterpret_cast<const char*>(word), length);
                 });
  return words;
}

struct CaseT {
  const char* Text;
  const char* Plain;    // no stemming, no stop list
  const char* Stemmed;  // stemmed, English stop list
};

TEST(Tokenizer, MakesTheIndexedWordsOfText) {
  const std::string longRun(256, 'a');
  const CaseT cases[] = {
      {"Hello, World!", "hello world", "hello world"},
      {"The foxes were running", "the foxes were running", "fox run"},
      {"e-mail don't", "e mail don t", "e mail don"},
      {"\xc3\x86r\xc3\xb8 Caf\xc3\xa9", "\xc3\xa6r\xc3\xb8 cafe",
       "\xc3\xa6r\xc3\xb8 cafe"},
      {"caf\xe9 na\xefve", "cafe naive", "cafe naiv"},  // Latin-1 bytes
      {"x2 42 \xe2\x80\x94 y", "x2 42 y", "x2 42 y"},   // a dash is no word
      {"\xce\x9b\xce\x8c\xce\x93\xce\x9f\xce\xa3", "\xce\xbb\xce\xbf\xce\xb3"
       "\xce\xbf\xcf\x83", "\xce\xbb\xce\xbf\xce\xb3\xce\xbf\xcf\x83"},
      {"\xe2\x80", "a", ""},  // a cut sequence is read as Latin-1
  };
  TokenizerT plain(false, nullptr);
  IndexSettingsT settings;
  settings.Stop = "english";
  StopWordsT stop(settings);
  TokenizerT stemmed(true, stop.List());
  for (const CaseT& c : cases) {
    EXPECT_EQ(Words(c.Text, plain), c.Plain) << c.Text;
    EXPECT_EQ(Words(c.Text, stemmed), c.Stemmed) << c.Text;
  }
  // A run longer than a term may be is skipped whole, not cut.
  EXPECT_EQ(Words("ok " + longRun + " fine", plain), "ok fine");
  EXPECT_EQ(Words("ok " + longRun.substr(1) + " fine", plain),
            "ok " + longRun.substr(1) + " fine");
}

TEST(Tokenizer, ReportsWhereEachWordStands) {
  const std::string text = "  Fox!\xc3\x89t\xc3\xa9";
  std::string spans;
  TokenizerT(false, nullptr)
      .Scan(reinterpret_cast<const unsigned char*>(text.data()), text.size(),
            [&](const unsigned char*, size_t, size_t begin, size_t end) {
              spans += std::to_string(begin) + "-" + std::to_string(end) + " ";
            });
  EXPECT_EQ(spans, "2-5 6-11 ");
}

TEST(Tokenizer, FoldTextKeepsWhatIsNoLetter) {
  EXPECT_EQ(FoldText("A-B \xc3\x89 *?"), "a-b e *?");
  EXPECT_EQ(FoldText("\xff"), "y");  // a stray byte, as Latin-1 "ÿ"
}

TEST(EnglishStopWords, AreFoldedWordsTheTokenizerMakes) {
  TokenizerT plain(false, nullptr);
  for (const std::string& word : EnglishStopWords()) {
    EXPECT_EQ(Words(word, plain), word);
  }
}

}  // namespace
