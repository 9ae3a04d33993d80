// The run file and its log: the log's layout, reopening, handing the run
// file over and deleting the pair.

#include "storage/run_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "storage/fileclas.h"
#include "support/temp_dir.h"

namespace {

RunLogRecordT LogRecordAt(const std::string& log, uint32_t n) {
  RunLogRecordT record;
  std::memcpy(&record, log.data() + kRunLogStart + 28 * n, sizeof(record));
  return record;
}

// Writes one run of `words` empty words with `postingBytes` bytes each.
void WriteRun(MFileT* runs, uint32_t words, uint32_t postingBytes,
              uint32_t tag) {
  runs->BeginIndexRun();
  const unsigned char empty[1] = {0};
  std::string postings(postingBytes, 'p');
  for (uint32_t i = 0; i < words; ++i) {
    WordRecT rec = {1, postingBytes, postingBytes / 4};
    ASSERT_EQ(runs->WriteWord(empty), 1);
    ASSERT_EQ(runs->WriteWordRec(&rec), 1);
    ASSERT_EQ(runs->Write(postings.data(), postingBytes), 1);
  }
  const uint32_t tags[4] = {tag, tag + 1, tag + 2, tag + 3};
  ASSERT_EQ(runs->EndIndexRun(tags), 1);
}

TEST(RunFileTest, LogHoldsFillerThenOneRecordPerRun) {
  ScopedTempDirT dir;
  MFileT runs;
  ASSERT_EQ(runs.IsValid(), 1);
  ASSERT_EQ(runs.Open(kRunFileCreate, nullptr, 0), 1);
  std::string logName = runs.GetLogFile()->Name();
  ASSERT_EQ(runs.GetLogFile()->Flush(), 1);
  std::string fresh = ReadWholeFile(logName);
  ASSERT_EQ(fresh.size(), 400u);
  for (size_t i = 0; i < fresh.size(); i += 4) {
    ASSERT_EQ(fresh.substr(i, 4), "Bob ") << i;
  }

  // A word of length 0 takes 13 bytes: 100 = 4 x (13 + 12), 50 = 2 x 25.
  WriteRun(&runs, 4, 12, 10);
  WriteRun(&runs, 2, 12, 20);
  EXPECT_EQ(runs.GetDataFileLength(), 150u);
  EXPECT_EQ(runs.RunCount(), 2u);
  ASSERT_EQ(runs.Close(), 1);

  std::string log = ReadWholeFile(logName);
  ASSERT_EQ(log.size(), 400u);
  EXPECT_EQ(log.substr(0, 48), fresh.substr(0, 48));
  EXPECT_EQ(log.substr(104), fresh.substr(104));
  RunLogRecordT first = LogRecordAt(log, 0);
  RunLogRecordT second = LogRecordAt(log, 1);
  EXPECT_EQ(first.Offset, 0u);
  EXPECT_EQ(first.Length, 100u);
  EXPECT_EQ(first.WordCount, 4u);
  EXPECT_EQ(first.Tags[0], 10u);
  EXPECT_EQ(first.Tags[3], 13u);
  EXPECT_EQ(second.Offset, 100u);
  EXPECT_EQ(second.Length, 50u);
  EXPECT_EQ(second.WordCount, 2u);
  EXPECT_EQ(second.Tags[1], 21u);

  // Reopened, the log is read back by number and in sequence.
  ASSERT_EQ(runs.Open(kRunFileOpenExisting, nullptr, 4096), 1);
  ASSERT_EQ(runs.ReadIndexRunInfo(1), 1);
  EXPECT_EQ(runs.OffsetOfRun(), 100u);
  EXPECT_EQ(runs.GetCurrentRunNumber(), 1u);
  ASSERT_EQ(runs.ReadIndexRunInfo(0), 1);
  ASSERT_EQ(runs.ReadNextRunInfo(), 1);
  EXPECT_EQ(runs.LengthOfRun(), 50u);
  EXPECT_EQ(runs.GetCurrentRunNumber(), 1u);
  unsigned char head[13];
  ASSERT_EQ(runs.Seek(100), 1);
  ASSERT_EQ(runs.Read(head, sizeof(head)), 1);
  EXPECT_EQ(head[0], 0);

  // A log long past its filler keeps growing at 48 + 28 n.
  ASSERT_EQ(runs.Seek(150), 1);
  for (uint32_t n = 2; n < 20; ++n) WriteRun(&runs, 1, 0, n);
  ASSERT_EQ(runs.Close(), 1);
  log = ReadWholeFile(logName);
  EXPECT_EQ(log.size(), 48u + 28u * 20);
  EXPECT_EQ(LogRecordAt(log, 19).Tags[0], 19u);
  EXPECT_EQ(LogRecordAt(log, 19).Offset, 150u + 17 * 13);
  EXPECT_EQ(runs.Delete(), 1);
  EXPECT_TRUE(dir.Files().empty());
}

TEST(RunFileTest, ReopeningAMissingPairCreatesNothing) {
  ScopedTempDirT dir;
  MFileT runs;
  EXPECT_EQ(runs.Open(kRunFileOpenExisting, nullptr, 0), -2);
  EXPECT_TRUE(dir.Files().empty());

  // With the log gone, the run file is closed again.
  ASSERT_EQ(runs.Open(kRunFileCreate, nullptr, 0), 1);
  ASSERT_EQ(runs.Close(), 1);
  ASSERT_EQ(std::remove(runs.GetLogFile()->Name()), 0);
  EXPECT_EQ(runs.Open(kRunFileOpenExisting, nullptr, 0), -2);
  EXPECT_EQ(runs.Delete(), 0);  // the log could not be removed
  EXPECT_TRUE(dir.Files().empty());
}

TEST(RunFileTest, HandedOverRunFileOutlivesThePair) {
  ScopedTempDirT dir;
  FileClassT* runFile = nullptr;
  {
    MFileT runs;
    ASSERT_EQ(runs.Open(kRunFileCreate, nullptr, 0), 1);
    WriteRun(&runs, 1, 4, 0);
    runFile = runs.GetRunFile();
    EXPECT_EQ(runs.GetRunFile(), nullptr);
    EXPECT_EQ(runs.DeleteLogFileOnly(), 1);
    WordRecT rec = {1, 0, 0};
    EXPECT_EQ(runs.WriteWordRec(&rec), 0);  // no run file any more
  }
  ASSERT_NE(runFile, nullptr);
  EXPECT_EQ(runFile->IsOpen(), 1);
  EXPECT_EQ(runFile->GetLength(), 1u + 12 + 4);
  EXPECT_EQ(dir.Files().size(), 1u);
  EXPECT_EQ(runFile->Delete(), 1);
  delete runFile;
  EXPECT_TRUE(dir.Files().empty());
}

}  // namespace
