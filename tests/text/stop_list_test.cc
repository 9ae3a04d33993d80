// Stop word lists: lookups by offsets, growth, words the table cannot
// separate, and reading word files of any shape.

#include "text/stop_list.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "support/temp_dir.h"
#include "tarvis/tarvis.h"

namespace {

unsigned char* Bytes(const std::string& text) {
  return reinterpret_cast<unsigned char*>(const_cast<char*>(text.data()));
}

class StopListTest : public ::testing::Test {
 protected:
  void SetUp() override { list_ = tvCreateStopWordList(); }
  void TearDown() override { tvDeleteStopWordList(list_); }

  StatusCodeT Add(const std::string& word) {
    StatusCodeT status = 99;
    tvAddStopWord(list_, Bytes(word), word.size(), &status);
    return status;
  }
  int Is(const std::string& word) {
    return tvIsStopWord(list_, 0, Bytes(word), word.size());
  }
  StatusCodeT AddFile(const std::string& contents) {
    WriteWholeFile(dir_.File("words.txt"), contents);
    std::string name = dir_.File("words.txt");
    StatusCodeT status = 99;
    tvAddStopWordList(list_, &name[0], &status);
    return status;
  }

  ScopedTempDirT dir_;
  StopListT* list_ = nullptr;
};

std::vector<std::string> MakeWords(const std::string& stem, int count) {
  std::vector<std::string> words;
  for (int i = 0; i < count; ++i) words.push_back(stem + std::to_string(i));
  return words;
}

TEST_F(StopListTest, NewListHoldsNothing) {
  ASSERT_NE(list_, nullptr);
  EXPECT_EQ(tvNumStopWords(list_), 0u);
  EXPECT_EQ(Is("the"), 0);
  EXPECT_EQ(Is("a"), 0);
}

TEST_F(StopListTest, WordsAreFoundByOffsetsInsideABuffer) {
  ASSERT_EQ(Add("the"), StatusNoError);
  std::string buffer = "bathe";
  EXPECT_EQ(tvIsStopWord(list_, 2, Bytes(buffer), 5), 1);
  EXPECT_EQ(tvIsStopWord(list_, 1, Bytes(buffer), 5), 0);
  EXPECT_EQ(tvIsStopWord(list_, 2, Bytes(buffer), 4), 0);
  EXPECT_EQ(tvIsStopWord(list_, 5, Bytes(buffer), 2), 0);
  EXPECT_EQ(Is("The"), 0);

  ASSERT_EQ(Add("of"), StatusNoError);
  std::string text = "some of the words";
  EXPECT_EQ(tvIsStopWord(list_, 5, Bytes(text), 7), 1);
  EXPECT_EQ(tvIsStopWord(list_, 8, Bytes(text), 11), 1);
  EXPECT_EQ(tvIsStopWord(list_, 0, Bytes(text), 4), 0);
}

TEST_F(StopListTest, RepeatsAreCountedAndEmptyWordsSkipped) {
  EXPECT_EQ(Add("and"), StatusNoError);
  EXPECT_EQ(Add("and"), StatusNoError);
  EXPECT_EQ(tvNumStopWords(list_), 2u);
  EXPECT_EQ(Add(""), StatusNoError);
  EXPECT_EQ(tvNumStopWords(list_), 2u);
  EXPECT_EQ(Is(""), 0);

  // Any number of repeats: they share one probe sequence, which would never
  // hold them all.
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(Add("or"), StatusNoError);
  EXPECT_EQ(tvNumStopWords(list_), 1002u);
  EXPECT_EQ(Is("or"), 1);
  EXPECT_EQ(Is("and"), 1);
}

TEST_F(StopListTest, GrowthKeepsEveryWord) {
  // 600 words outgrow the first tables (made for 512); 20000 grow them
  // several times over.
  for (int count : {600, 20000}) {
    TearDown();
    SetUp();
    std::vector<std::string> words = MakeWords("word", count);
    for (const std::string& word : words) ASSERT_EQ(Add(word), StatusNoError);
    EXPECT_EQ(tvNumStopWords(list_), static_cast<unsigned long>(count));
    int found = 0;
    for (const std::string& word : words) found += Is(word);
    EXPECT_EQ(found, count);
    int strangers = 0;
    for (const std::string& word : MakeWords("other", count)) {
      strangers += Is(word);
    }
    EXPECT_EQ(strangers, 0);
  }
}

TEST_F(StopListTest, WordsSharingTheirFirstHashAreAllKept) {
  // The first hash depends on the last 16 bytes only, so these words begin
  // their probe sequences at the same slot in a table of any size; their
  // second hashes take 14 values, more than one probe sequence can hold.
  std::vector<std::string> words;
  for (int i = 1; i < 200; ++i) {
    words.push_back(std::string(i, 'w') + "-sixteen-byte-tl");
  }
  for (const std::string& word : words) ASSERT_EQ(Add(word), StatusNoError);
  for (const std::string& word : MakeWords("ordinary", 3000)) {
    ASSERT_EQ(Add(word), StatusNoError);
  }
  for (const std::string& word : words) EXPECT_EQ(Is(word), 1) << word;
  EXPECT_EQ(Is("ordinary2999"), 1);
  EXPECT_EQ(Is("ordinary3000"), 0);
  EXPECT_EQ(tvNumStopWords(list_), 3199u);
}

TEST_F(StopListTest, WordFileWithCommentsAndCuts) {
  EXPECT_EQ(AddFile("# comment\nand\nor\n"), StatusNoError);
  EXPECT_EQ(tvNumStopWords(list_), 2u);
  EXPECT_EQ(Is("and"), 1);
  EXPECT_EQ(Is("or"), 1);
  EXPECT_EQ(Is("# comment"), 0);

  // CR, LF and TAB end a word; what follows a CR or TAB on its line is
  // dropped; empty lines add nothing; "#" only starts a comment at the
  // beginning of a line.
  EXPECT_EQ(AddFile("dos\r\nwith\tnote\n\n\r\n\tindented\nc#\nlast"),
            StatusNoError);
  EXPECT_EQ(tvNumStopWords(list_), 6u);
  for (const char* word : {"dos", "with", "c#", "last"}) {
    EXPECT_EQ(Is(word), 1) << word;
  }
  for (const char* word : {"note", "indented", "dos\r", "with\tnote"}) {
    EXPECT_EQ(Is(word), 0) << word;
  }
}

TEST_F(StopListTest, WordFileOfAnyShape) {
  // A line far longer than any read, a NUL byte inside a word, and a last
  // line without a line break.
  std::string longWord(10000, 'x');
  longWord += "end";
  std::string withNul("nul\0byte", 8);
  EXPECT_EQ(AddFile(longWord + "\n" + withNul + "\nfinal"), StatusNoError);
  EXPECT_EQ(tvNumStopWords(list_), 3u);
  EXPECT_EQ(Is(longWord), 1);
  EXPECT_EQ(Is(longWord.substr(0, 259)), 0);
  EXPECT_EQ(Is(withNul), 1);
  EXPECT_EQ(Is("nul"), 0);
  EXPECT_EQ(Is("final"), 1);

  EXPECT_EQ(AddFile(""), StatusNoError);
  EXPECT_EQ(tvNumStopWords(list_), 3u);
}

TEST_F(StopListTest, UnreadableWordFiles) {
  std::string missing = dir_.File("missing.txt");
  StatusCodeT status = 99;
  tvAddStopWordList(list_, &missing[0], &status);
  EXPECT_EQ(status, StatusCannotOpenFile);

  std::string directory = dir_.Path();
  tvAddStopWordList(list_, &directory[0], &status);
  EXPECT_EQ(status, StatusReadError);
  EXPECT_EQ(tvNumStopWords(list_), 0u);
}

}  // namespace
