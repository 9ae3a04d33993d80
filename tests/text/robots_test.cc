// The robots exclusion parser through its exported functions: which records
// apply to the robot, permission for paths and URLs, the compact output, and
// text of awkward shapes.

#include "text/robots.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tarvis/tarvis.h"

namespace {

class RobotsTest : public ::testing::Test {
 protected:
  void SetUp() override { robots_ = Create("MyBot"); }
  void TearDown() override { tvDeleteRobotsTxtParser(robots_); }

  static RobotsT* Create(const std::string& name) {
    StatusCodeT status = 99;
    RobotsT* robots = tvCreateRobotsTxtParser(&status);
    EXPECT_NE(robots, nullptr);
    EXPECT_EQ(status, StatusNoError);
    tvSetRobotName(robots, name.c_str(), name.size());
    return robots;
  }
  void Parse(std::string text) { tvParseRobotsTxt(robots_, &text[0]); }
  int Granted(const char* path) {
    return tvRobotsPermissionGranted(robots_, path);
  }
  int GrantedUrl(std::string url) {
    return tvRobotsPermissionGrantedFullURL(robots_, &url[0]);
  }
  std::string Compact() { return CompactOf(robots_); }
  static std::string CompactOf(RobotsT* robots) {
    unsigned long length = tvRobotsTxtLength(robots);
    std::vector<char> buffer(length, '\x7f');
    tvOutputCompactRobotsTxt(robots, buffer.data());
    std::string text(buffer.data());
    EXPECT_LT(text.size(), length);
    return text;
  }

  RobotsT* robots_ = nullptr;
};

TEST_F(RobotsTest, OwnRecordReplacesTheAsteriskRecord) {
  Parse("User-Agent: *\r\nDisallow: /tmp\r\nUser-Agent: mybot\r\n"
        "Disallow: /private\r\n");
  EXPECT_EQ(Compact(), "User-Agent: MyBot\nDisallow: /private");
  EXPECT_EQ(Granted("/tmp/x"), 1);
  EXPECT_EQ(Granted("/private/a"), 0);
  EXPECT_EQ(Granted("/Private/a"), 1);
}

TEST_F(RobotsTest, AsteriskRecordAppliesToAnyRobot) {
  for (const char* name : {"MyBot", "other", ""}) {
    RobotsT* robots = Create(name);
    std::string text = "User-agent: *\nDisallow: /cgi-bin\n";
    tvParseRobotsTxt(robots, &text[0]);
    EXPECT_EQ(tvRobotsPermissionGranted(robots, "/cgi-bin/test"), 0) << name;
    EXPECT_EQ(tvRobotsPermissionGranted(robots, "/index.html"), 1) << name;
    tvDeleteRobotsTxtParser(robots);
  }
}

TEST_F(RobotsTest, EmptyDisallowTakenLastGrantsEverything) {
  Parse("User-Agent: MyBot\nDisallow: /a\nDisallow:\n");
  EXPECT_EQ(Granted("/a/b"), 1);
  EXPECT_EQ(Compact(), "User-Agent: MyBot\nDisallow: \nDisallow: /a");
}

TEST_F(RobotsTest, CommentLineEndsTheRecord) {
  Parse("User-Agent: MyBot\nDisallow: /a\n# note\nDisallow: /b\n");
  EXPECT_EQ(Granted("/a"), 0);
  EXPECT_EQ(Granted("/b"), 1);
  // A "#" among the first three characters makes a comment line.
  Parse("User-Agent: MyBot\n  #x\nDisallow: /c\n");
  EXPECT_EQ(Granted("/c"), 1);
}

TEST_F(RobotsTest, FinalLineWithoutLineBreakIsTaken) {
  Parse("User-Agent: MyBot\nDisallow: /last");
  EXPECT_EQ(Granted("/last/x"), 0);
}

TEST_F(RobotsTest, FullUrlsAreJudgedOnTheirPath) {
  Parse("User-Agent: *\nDisallow: /private\n");
  EXPECT_EQ(GrantedUrl("http://example.com/private/x"), 0);
  EXPECT_EQ(GrantedUrl("http://example.com/public/x"), 1);
  EXPECT_EQ(GrantedUrl("example.com/private"), 0);
  TearDown();
  robots_ = Create("MyBot");
  Parse("User-Agent: *\nDisallow: /\n");
  EXPECT_EQ(GrantedUrl("http://example.com"), 0);
  TearDown();
  robots_ = Create("MyBot");
  Parse("User-Agent: *\nDisallow: /x\n");
  EXPECT_EQ(GrantedUrl("http://example.com"), 1);
}

TEST_F(RobotsTest, ValuesAreTrimmedAndCutAtComments) {
  Parse("USER-AGENT:\t: mybot/2.0\nDISALLOW: \t/a b #no\t \n"
        "disallow:/c#d\nAllow: /e\nCrawl-delay: 10\n");
  EXPECT_EQ(Compact(), "User-Agent: MyBot\nDisallow: /c\nDisallow: /a b");
  EXPECT_EQ(tvRobotsTxtLength(robots_), 14u + 5 + (12 + 2) + (12 + 4));
}

TEST_F(RobotsTest, UserAgentLinesInARowShareTheirRecord) {
  Parse("User-Agent: MyBot\nUser-Agent: OtherBot\nDisallow: /shared\n"
        "User-Agent: OtherBot\nUser-Agent: *\nDisallow: /others\n");
  EXPECT_EQ(Granted("/shared"), 0);
  EXPECT_EQ(Granted("/others"), 1);
}

TEST_F(RobotsTest, AnotherRecordOfTheRobotAddsToItsRules) {
  Parse("User-Agent: MyBot\nDisallow: /a\nUser-Agent: OtherBot\n"
        "Disallow: /o\nUser-Agent: *\nDisallow: /star\nUser-Agent: MyBot\n"
        "Disallow: /b\n");
  EXPECT_EQ(Compact(), "User-Agent: MyBot\nDisallow: /b\nDisallow: /a");
}

TEST_F(RobotsTest, LongRobotNamesAreCutToWhatIsKept) {
  std::string name(200, 'n');
  RobotsT* robots = Create(name);
  std::string text = "User-Agent: " + std::string(127, 'N') + "\nDisallow: /x\n";
  tvParseRobotsTxt(robots, &text[0]);
  EXPECT_EQ(tvRobotsPermissionGranted(robots, "/x"), 0);
  EXPECT_EQ(CompactOf(robots), "User-Agent: " + std::string(127, 'n') +
                                   "\nDisallow: /x");
  tvDeleteRobotsTxtParser(robots);

  // A length beyond the name's end stops at its NUL.
  robots = Create("");
  tvSetRobotName(robots, "Bot", 50);
  text = "User-Agent: bot\nDisallow: /y\n";
  tvParseRobotsTxt(robots, &text[0]);
  EXPECT_EQ(CompactOf(robots), "User-Agent: Bot\nDisallow: /y");
  tvDeleteRobotsTxtParser(robots);
}

TEST_F(RobotsTest, TextOfAwkwardShapes) {
  const char* texts[] = {
      "",
      "U",
      "\r\n\r\n\n",
      "User-Agent:",
      "User-Agent: MyB",
      "Disallow:",
      "User-Agent: MyBot\rDisallow: /cr\r",
      "#",
      "User-Agent: MyBot\nDisallow:   \t",
  };
  for (const char* text : texts) {
    TearDown();
    robots_ = Create("MyBot");
    Parse(text);
    Compact();
  }
  EXPECT_EQ(Compact(), "User-Agent: MyBot\nDisallow: ");

  TearDown();
  robots_ = Create("MyBot");
  std::string longLine = "User-Agent: MyBot\nDisallow: /" +
                         std::string(100000, 'p') + "\n";
  Parse(longLine);
  EXPECT_EQ(Granted(("/" + std::string(100000, 'p')).c_str()), 0);
  EXPECT_EQ(tvRobotsTxtLength(robots_), 14u + 5 + 12 + 100001);
}

TEST_F(RobotsTest, CompactOutputReadsBackToTheSameRules) {
  Parse("User-Agent: *\nDisallow: /a\nDisallow: /b\n");
  std::string compact = Compact();
  RobotsT* copy = Create("MyBot");
  tvParseRobotsTxt(copy, &compact[0]);
  EXPECT_EQ(tvRobotsPermissionGranted(copy, "/a"), 0);
  EXPECT_EQ(tvRobotsPermissionGranted(copy, "/b"), 0);
  EXPECT_EQ(tvRobotsPermissionGranted(copy, "/c"), 1);
  tvDeleteRobotsTxtParser(copy);
}

}  // namespace
