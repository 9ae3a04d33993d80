// The settings file beside an index: written and read back, and refused
// when it is malformed.

#include "settings.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "host_error.h"

namespace {

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tarvis_settings_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    index_ = dir_ + "/notes.idx";
  }
  void TearDown() override {
    std::remove(SettingsPath(index_).c_str());
    std::remove((dir_ + "/stop.txt").c_str());
    rmdir(dir_.c_str());
  }
  void WriteSettings(const std::string& text) {
    std::ofstream(SettingsPath(index_)) << text;
  }

  std::string dir_;
  std::string index_;
};

TEST_F(SettingsTest, ReadBackAsWritten) {
  IndexSettingsT loaded;
  EXPECT_FALSE(LoadSettings(index_, &loaded));  // none yet: the defaults
  EXPECT_EQ(loaded.Mode, static_cast<unsigned long>(WORD_MODE));
  EXPECT_EQ(loaded.Stop, "none");

  std::ofstream(dir_ + "/stop.txt") << "# words\nThe Caf\xc3\xa9\n\nof\n";
  IndexSettingsT settings;
  settings.Mode = IDF_MODE;
  settings.Split = "paragraphs";
  settings.Stem = true;
  ChooseStopList(dir_ + "/stop.txt", &settings);
  EXPECT_EQ(settings.StopWords,
            std::vector<std::string>({"the", "cafe", "of"}));
  SaveSettings(index_, settings);
  ASSERT_TRUE(LoadSettings(index_, &loaded));
  EXPECT_EQ(loaded.Mode, settings.Mode);
  EXPECT_EQ(loaded.Split, settings.Split);
  EXPECT_EQ(loaded.Stem, settings.Stem);
  EXPECT_EQ(loaded.Stop, "list");
  EXPECT_EQ(loaded.StopWords, settings.StopWords);

  StopWordsT stop(loaded);
  unsigned char cafe[] = "cafe";
  EXPECT_EQ(tvIsStopWord(stop.List(), 0, cafe, 4), 1);
  ChooseStopList("english", &settings);
  EXPECT_TRUE(settings.StopWords.empty());
  EXPECT_EQ(StopWordsT(settings).List() != nullptr, true);
}

TEST_F(SettingsTest, MalformedFilesFailNamingTheLine) {
  const char* bad[] = {"mode fast\n",  "split words\n", "stem maybe\n",
                       "stop some\n",  "colour red\n",  "mode\n",
                       "stem yes extra-is-fine\nword\n"};
  for (const char* text : bad) {
    WriteSettings(std::string("# tarvis index settings\n") + text);
    IndexSettingsT settings;
    try {
      LoadSettings(index_, &settings);
      ADD_FAILURE() << "accepted: " << text;
    } catch (const HostErrorT& error) {
      EXPECT_EQ(error.Status, StatusMalformedParameter);
      EXPECT_NE(error.Message.find("notes.idx.settings:"), std::string::npos)
          << error.Message;
    }
  }
  try {
    ReadStopWordFile(dir_ + "/missing");
    ADD_FAILURE() << "a missing stop word file was read";
  } catch (const HostErrorT& error) {
    EXPECT_EQ(error.Status, StatusCannotOpenFile);
  }
}

TEST_F(SettingsTest, AnUnwritableSettingsFileFails) {
  IndexSettingsT settings;
  try {
    SaveSettings(dir_ + "/no/such/dir/x.idx", settings);
    ADD_FAILURE() << "saved into a missing directory";
  } catch (const HostErrorT& error) {
    EXPECT_EQ(error.Status, StatusWriteError);
  }
}

}  // namespace
