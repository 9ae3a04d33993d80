// The status table, GetStatus's copying rules and the last-status cell.

#include <cstring>
#include <string>

#include "gtest/gtest.h"
#include "tarvis/tarvis.h"

namespace {

const char kFallback[] =
    "No Error.  Everything is working O.K. as far as is known.";

TEST(StatusCodeMessage, EveryCodeHasItsText) {
  struct {
    long code;
    const char* text;
  } const table[] = {
      {6, "After running the optomizer, there is no data left."},
      {4, "Whatever you have been working with is full."},
      {3, "What you were looking for has been found."},
      {2, "What you were looking for was not found."},
      {1, "We are at the end of the query vector."},
      {0, "No error has occurred that has been detected."},
      {-1, "Not enough memory.  Try freeing up some memory by closing down "
           "unneeded applications."},
      {-2, "File is read only."},
      {-3, "Error reading from file."},
      {-4, "Error writing to file.  Check to make sure the disk is ready and "
           "has space."},
      {-5, "We were not able to seek where we wanted to go.  Check that the "
           "drive is ready."},
      {-6, "Not able to find the file.  Check to make sure file exists and "
           "that the drive is ready."},
      {-7, "No such drive.  Change drive specification or buy a new drive."},
      {-8, "The file is locked by another process.  Check to make sure that "
           "this file isn't already being used by another application."},
      {-9, "A file by that name already exists."},
      {-10, "For some reason the file can't be deleted.  Make sure the file "
            "exists and is not being used by another process."},
      {-11, "Can't open the file specified.  Make sure the file exists and "
            "that the drive is ready."},
      {-12, "Can't close the file specified.  Check to make sure the drive is "
            "ready."},
      {-13, "File is not index file or is corrupt.  For some reason, the file "
            "can't be identified as an index file."},
      {-14, "Index is locked by another process.  Try closing any other "
            "applications which might be using this same file."},
      {-15, "No current key. Need to search for a key before asking for the "
            "current key."},
      {-16, "End of the wordlist."},
      {-17, "The index isn't loaded.  Load the index before doing anything."},
      {-19, "There isn't a current hit. (Probably no hits were returned."},
      {-20, "The parameter in the expression is malformed.  Check the "
            "expression to ensure all the parameters are correct."},
      {-21, "Something is wrong with the query expression.  Look for errors "
            "in the expression."},
      {-22, "There are mismatched quotes in the query expression.  Check the "
            "useage of quotes within the query expression."},
      {-23, "There are mismatched parens \"(\" in the query expression."},
      {-24, "There is a extra right paren \")\" in the query expression."},
      {-25, "There is an extra left paren \"(\" in the query expression."},
      {-26, "You need a term on both sides of a range (i.e., X - Y)."},
      {-27, "A left angle bracket \"<\" is expected in the query expression.  "
            "Check the usage of the angle brackets within the query "
            "expression."},
      {-28, "A right angle bracket \">\" is expected in the query expression. "
            " Check the usage of angle brackets within the query expression."},
      {-29, "The only operators allowed inside a quote are: Or, Left "
            "Parentheses and Right Parentheses -- |,(,)"},
      {-30, "Missing a right hand quote in the query expression."},
      {-31, "The Query Term must be a hex number i.e, 0xffaa."},
      {-32, "Before querying the index or otherwise manipulating it, some "
            "data needs to be added to it."},
      {-33, "The Index Has Not Been Properly Initialized for Searching."},
      {-34, "The Index Has Not Been Initialized for Indexing."},
      {-35, "The Compression Routines Have Detected an Error."},
      {-37, "An error has occured.  Check to make sure the drive is ready, "
            "and there is plenty of disk space and memory."},
      {-38, "A Request was made for record data but there is none in the "
            "index."},
      {-43, "The hit searched for is not in this query vector"},
      {-44, "Unable to delete a file.  (File is probably in use on a system "
            "running Windows.)"},
      {-45, "The key length does not conform to the specifications.  "
            "(Probably too long)"},
      {-46, "The index partition specified was not found."},
  };
  for (const auto& row : table) {
    EXPECT_STREQ(row.text, StatusCodeMessage(row.code)) << "code " << row.code;
  }
}

TEST(StatusCodeMessage, CodesWithoutMeaningGetTheFallback) {
  for (long code : {5L, 7L, -18L, -36L, -39L, -47L, 1000L, -1000L}) {
    EXPECT_STREQ(kFallback, StatusCodeMessage(code)) << "code " << code;
  }
}

TEST(GetStatus, CutsPadsAndTerminates) {
  char buffer[64];
  std::memset(buffer, 'x', sizeof buffer);
  const char* message = GetStatus(-3, buffer, 10);
  EXPECT_STREQ("Error reading from file.", message);
  EXPECT_STREQ("Error rea", buffer);
  EXPECT_EQ('x', buffer[10]);  // nothing written past length

  std::memset(buffer, 'x', sizeof buffer);
  GetStatus(-2, buffer, 30);  // "File is read only." is 18 characters
  EXPECT_STREQ("File is read only.", buffer);
  for (int i = 18; i < 30; ++i) EXPECT_EQ('\0', buffer[i]) << i;
  EXPECT_EQ('x', buffer[30]);

  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(StatusCodeMessage(-3), GetStatus(-3, buffer, 0));
  EXPECT_EQ('x', buffer[0]);
  EXPECT_EQ(StatusCodeMessage(-3), GetStatus(-3, nullptr, 10));
}

TEST(GetStatus, StatusMessageReadsThroughThePointer) {
  StatusCodeT status = StatusEndOfWordList;
  char buffer[8];
  EXPECT_STREQ("End of the wordlist.", tvGetStatusMessage(&status, buffer, 8));
  EXPECT_STREQ("End of ", buffer);
  EXPECT_STREQ(StatusCodeMessage(0), tvGetStatusMessage(nullptr, nullptr, 0));
}

TEST(SetErrorCode, KeepsTheLastCodeSet) {
  EXPECT_EQ(0, SetErrorCode(123, 0));  // nothing set yet in this process
  EXPECT_EQ(-4, SetErrorCode(-4, 1));
  EXPECT_EQ(-4, SetErrorCode(0, 0));
  EXPECT_EQ(-4, SetErrorCode(7, 2));  // only 1 sets
  EXPECT_EQ(0, SetErrorCode(0, 1));
}

}  // namespace
