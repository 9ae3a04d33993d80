// The exported text functions refuse null, foreign and destroyed handles and
// null pointers instead of touching them, and write 0 into the status of a
// call that succeeds.

#include <string>

#include "gtest/gtest.h"
#include "tarvis/tarvis.h"

namespace {

TEST(TextExports, StopListRefusesBadHandlesAndPointers) {
  StopListT* list = tvCreateStopWordList();
  ASSERT_NE(list, nullptr);
  unsigned char word[] = "the";
  StatusCodeT status = 99;
  tvAddStopWord(list, word, 3, &status);
  EXPECT_EQ(status, StatusNoError);
  tvAddStopWord(list, nullptr, 3, &status);
  EXPECT_EQ(status, StatusMalformedParameter);
  tvAddStopWordList(list, nullptr, &status);
  EXPECT_EQ(status, StatusCannotOpenFile);
  EXPECT_EQ(tvIsStopWord(list, 0, nullptr, 3), 0);
  tvAddStopWord(list, word, 3, nullptr);  // a null status is tolerated
  EXPECT_EQ(tvNumStopWords(list), 2u);

  StatusCodeT robotsStatus;
  RobotsT* robots = tvCreateRobotsTxtParser(&robotsStatus);
  auto* foreign = reinterpret_cast<StopListT*>(robots);
  for (StopListT* bad : {static_cast<StopListT*>(nullptr), foreign}) {
    tvAddStopWord(bad, word, 3, &status);
    EXPECT_EQ(status, StatusMalformedParameter);
    char name[] = "words.txt";
    tvAddStopWordList(bad, name, &status);
    EXPECT_EQ(status, StatusMalformedParameter);
    EXPECT_EQ(tvIsStopWord(bad, 0, word, 3), 0);
    EXPECT_EQ(tvNumStopWords(bad), 0u);
    tvDeleteStopWordList(bad);
  }
  EXPECT_EQ(tvRobotsPermissionGranted(robots, "/"), 1);  // not destroyed
  tvDeleteRobotsTxtParser(robots);

  tvDeleteStopWordList(list);
  tvAddStopWord(list, word, 3, &status);
  EXPECT_EQ(status, StatusMalformedParameter);
  EXPECT_EQ(tvNumStopWords(list), 0u);
  tvDeleteStopWordList(list);  // a second delete is refused
}

TEST(TextExports, HighlightMatcherRefusesBadHandlesAndPointers) {
  StatusCodeT status = 99;
  WordHighlighterT* matcher = tvCreateHighlightMatcher(&status);
  ASSERT_NE(matcher, nullptr);
  unsigned char pattern[] = "a*";
  tvAddWildCardPatternToHighlightMatcher(matcher, nullptr, 2, &status);
  EXPECT_EQ(status, StatusMalformedParameter);
  EXPECT_EQ(tvHighlightMatcherMatch(matcher, nullptr, 0), 0);
  tvAddWildCardPatternToHighlightMatcher(matcher, pattern, 2, &status);
  EXPECT_EQ(status, StatusNoError);
  EXPECT_EQ(tvHighlightMatcherMatch(matcher, pattern, 2), 1);

  StopListT* list = tvCreateStopWordList();
  auto* foreign = reinterpret_cast<WordHighlighterT*>(list);
  for (WordHighlighterT* bad : {static_cast<WordHighlighterT*>(nullptr),
                                foreign}) {
    tvAddWildCardPatternToHighlightMatcher(bad, pattern, 2, &status);
    EXPECT_EQ(status, StatusMalformedParameter);
    EXPECT_EQ(tvHighlightMatcherMatch(bad, pattern, 2), 0);
    tvDeleteHighlightMatcher(bad);
  }
  tvDeleteStopWordList(list);

  tvDeleteHighlightMatcher(matcher);
  EXPECT_EQ(tvHighlightMatcherMatch(matcher, pattern, 2), 0);

  matcher = tvCreateHighlightMatcher(nullptr);  // a null status is tolerated
  EXPECT_NE(matcher, nullptr);
  tvDeleteHighlightMatcher(matcher);
}

TEST(TextExports, RobotsParserRefusesBadHandlesAndPointers) {
  StatusCodeT status = 99;
  RobotsT* robots = tvCreateRobotsTxtParser(&status);
  ASSERT_NE(robots, nullptr);
  EXPECT_EQ(status, StatusNoError);
  tvSetRobotName(robots, nullptr, 5);
  tvParseRobotsTxt(robots, nullptr);
  EXPECT_EQ(tvRobotsPermissionGranted(robots, nullptr), 0);
  EXPECT_EQ(tvRobotsPermissionGrantedFullURL(robots, nullptr), 0);
  tvOutputCompactRobotsTxt(robots, nullptr);
  EXPECT_EQ(tvRobotsTxtLength(robots), 14u);

  StopListT* list = tvCreateStopWordList();
  auto* foreign = reinterpret_cast<RobotsT*>(list);
  char text[] = "User-Agent: *\nDisallow: /\n";
  char url[] = "http://host/";
  char buffer[64] = "untouched";
  for (RobotsT* bad : {static_cast<RobotsT*>(nullptr), foreign}) {
    tvSetRobotName(bad, "bot", 3);
    tvParseRobotsTxt(bad, text);
    EXPECT_EQ(tvRobotsPermissionGranted(bad, "/"), 0);
    EXPECT_EQ(tvRobotsPermissionGrantedFullURL(bad, url), 0);
    EXPECT_EQ(tvRobotsTxtLength(bad), 0u);
    tvOutputCompactRobotsTxt(bad, buffer);
    EXPECT_STREQ(buffer, "untouched");
    tvDeleteRobotsTxtParser(bad);
  }
  EXPECT_EQ(tvNumStopWords(list), 0u);
  tvDeleteStopWordList(list);
  tvDeleteRobotsTxtParser(robots);
  EXPECT_EQ(tvRobotsTxtLength(robots), 0u);
}

}  // namespace
