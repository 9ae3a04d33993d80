// Commits of several managers on one index: each writes its own change
// onto the index as another left it, waits for the writer lock within its
// timeout, and never applies a deletion by number to a record renumbered
// under it.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "manager/index_check.h"
#include "manager/index_manager.h"
#include "storage/writer_lock.h"
#include "support/index_answers.h"
#include "support/temp_dir.h"

namespace {

class IndexCommitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("index.tvx");
    StatusCodeT status = StatusNoError;
    IndexManagerT* creator = tvCreateIndexManager(&status);
    ASSERT_EQ(StatusNoError, CreateAnswerIndex(creator, path_, false));
    tvOpenIndex(creator, Path(), &status);
    for (const char* tag : {"base0", "base1"}) {
      ASSERT_EQ(StatusNoError,
                IndexAnswerSession(creator, MakeRecords(tag, 4), ""));
    }
    tvCloseIndex(creator, &status);
    tvDeleteIndexManager(creator, &status);
    ASSERT_EQ(StatusNoError, status);
  }

  void TearDown() override {
    for (IndexManagerT* m : managers_) {
      StatusCodeT status = StatusNoError;
      tvDeleteIndexManager(m, &status);
    }
  }

  char* Path() { return const_cast<char*>(path_.c_str()); }

  // A manager with the index open and its partitions loaded.
  IndexManagerT* Opened() {
    StatusCodeT status = StatusNoError;
    IndexManagerT* m = tvCreateIndexManager(&status);
    managers_.push_back(m);
    tvOpenIndex(m, Path(), &status);
    tvStartRetrievalSession(m, &status);
    EXPECT_EQ(StatusNoError, status);
    return m;
  }

  // The record holding a record's own word, 0 when no live record does.
  static uint32_t RecordOf(IndexManagerT* m, const std::string& name) {
    StatusCodeT status = StatusNoError;
    const std::string query = HexTerm("u" + name);
    std::unique_ptr<UncompressedQueryVectorT> hits(m->ProcessQuery(
        reinterpret_cast<const unsigned char*>(query.c_str()), &status));
    EXPECT_EQ(StatusNoError, status);
    return hits != nullptr && hits->IsPositioned() ? hits->CurrentRecord() : 0;
  }

  // What the index answers now, opened afresh.
  std::string Answers() { return IndexFileAnswers(path_); }

  ScopedTempDirT dir_;
  std::string path_;
  std::vector<IndexManagerT*> managers_;
};

TEST_F(IndexCommitTest, SessionsOfTwoManagersBothLand) {
  IndexManagerT* a = Opened();
  IndexManagerT* b = Opened();
  ASSERT_EQ(StatusNoError, IndexAnswerSession(a, MakeRecords("a", 3), ""));
  // b still holds the index as it was before a's session.
  ASSERT_EQ(StatusNoError, IndexAnswerSession(b, MakeRecords("b", 2), ""));
  // b's retrieval session took a's partition on the way and its own after.
  EXPECT_EQ(4u, b->NumPartitions());
  EXPECT_EQ(13u, b->NumberOfRecordsInIndex());
  EXPECT_EQ(13u, RecordOf(b, "b-1"));
  EXPECT_EQ(9u, RecordOf(b, "a-0"));

  IndexManagerT* c = Opened();
  EXPECT_EQ(4u, c->NumPartitions());
  EXPECT_EQ(9u, RecordOf(c, "a-0"));
  EXPECT_EQ(12u, RecordOf(c, "b-0"));
  std::vector<std::string> problems;
  StatusCodeT status = StatusNoError;
  EXPECT_TRUE(CheckIndex(path_.c_str(), &problems, &status));
}

TEST_F(IndexCommitTest, DeletionsAndUndeletionsOfTwoManagersAreMerged) {
  IndexManagerT* first = Opened();
  StatusCodeT status = StatusNoError;
  tvDeleteRecordNum(first, 2, &status);
  tvDeleteRecordNum(first, 6, &status);
  tvCloseIndex(first, &status);
  ASSERT_EQ(StatusNoError, status);

  // a and b both load the list {2, 6}; a undeletes 2 and deletes 3, b
  // deletes 7. Neither may write back the other's view of the list.
  IndexManagerT* a = Opened();
  IndexManagerT* b = Opened();
  tvUnDeleteRecordNum(a, 2, &status);
  tvDeleteRecordNum(a, 3, &status);
  tvDeleteRecordNum(b, 7, &status);
  tvCloseIndex(a, &status);
  ASSERT_EQ(StatusNoError, status);
  tvCloseIndex(b, &status);
  ASSERT_EQ(StatusNoError, status);

  IndexManagerT* c = Opened();
  std::vector<unsigned long> deleted(tvGetNumberOfRecordsDeleted(c, &status));
  tvOutputDeletedRecords(c, deleted.data(), &status);
  EXPECT_EQ((std::vector<unsigned long>{3, 6, 7}), deleted);
}

TEST_F(IndexCommitTest, OpeningAndClosingWithoutChangesWritesNothing) {
  IndexManagerT* first = Opened();
  StatusCodeT status = StatusNoError;
  tvDeleteRecordNum(first, 5, &status);
  tvCloseIndex(first, &status);
  const std::string before = ReadWholeFile(path_);
  for (int round = 0; round < 3; ++round) {
    IndexManagerT* m = Opened();
    tvCloseIndex(m, &status);
    ASSERT_EQ(StatusNoError, status);
  }
  EXPECT_EQ(before, ReadWholeFile(path_));
}

TEST_F(IndexCommitTest, ACommitWaitsForTheLockWithinItsTimeout) {
  IndexManagerT* m = Opened();
  StatusCodeT status = StatusNoError;
  tvDeleteRecordNum(m, 4, &status);
  const std::string before = Answers();

  WriterLockT other;
  ASSERT_EQ(WriterLockT::kLocked, other.Acquire(path_, 0));
  tvSetLockTimeout(m, 0, &status);
  tvCloseIndex(m, &status);
  EXPECT_EQ(StatusIndexLocked, status);
  tvSetLockTimeout(m, 50, &status);
  tvCloseIndex(m, &status);
  EXPECT_EQ(StatusIndexLocked, status);
  // Nothing changed, and the index stays open with its deletion pending.
  EXPECT_EQ(before, Answers());
  EXPECT_EQ(IndexManagerT::kRetrieving, m->State());
  // Readers are not held up by the lock.
  IndexManagerT* reader = Opened();
  EXPECT_EQ(4u, RecordOf(reader, "base0-3"));
  // A session cannot start its partition either while the lock is held.
  EXPECT_EQ(nullptr, tvStartIndexingSession(m, &status));
  EXPECT_EQ(StatusIndexLocked, status);

  tvSetLockTimeout(m, 10000, &status);
  std::thread release([&other] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    other.Release();
  });
  status = StatusNoError;
  tvCloseIndex(m, &status);
  release.join();
  EXPECT_EQ(StatusNoError, status);
  EXPECT_NE(before, Answers());

  tvSetLockTimeout(m, 0x100000000ul, &status);
  EXPECT_EQ(StatusMalformedParameter, status);
}

TEST_F(IndexCommitTest, AnOptomizationEndThatTimesOutStaysPending) {
  IndexManagerT* m = Opened();
  StatusCodeT status = StatusNoError;
  tvOptomizeIndex(m, 2, &status);
  ASSERT_EQ(StatusNoError, status);
  const std::string before = Answers();
  WriterLockT other;
  ASSERT_EQ(WriterLockT::kLocked, other.Acquire(path_, 0));
  tvSetLockTimeout(m, 0, &status);
  tvEndOptomization(m, nullptr, 0, &status);
  EXPECT_EQ(StatusIndexLocked, status);
  EXPECT_EQ(before, Answers());
  other.Release();
  status = StatusNoError;
  tvEndOptomization(m, nullptr, 0, &status);
  EXPECT_EQ(StatusNoError, status);
  EXPECT_EQ(1u, m->NumPartitions());
}

TEST_F(IndexCommitTest, DeletionsAreNeverAppliedToRenumberedRecords) {
  IndexManagerT* setup = Opened();
  StatusCodeT status = StatusNoError;
  tvDeleteRecordNum(setup, 1, &status);
  tvDeleteRecordNum(setup, 2, &status);
  tvCloseIndex(setup, &status);
  ASSERT_EQ(StatusNoError, status);

  // a deletes the record of base0-3 by its number, 4; meanwhile b's
  // optimisation drops records 1 and 2, so 4 becomes base1-1's number.
  IndexManagerT* a = Opened();
  ASSERT_EQ(4u, RecordOf(a, "base0-3"));
  tvDeleteRecordNum(a, 4, &status);
  IndexManagerT* b = Opened();
  tvOptomizeIndex(b, 2, &status);
  tvEndOptomization(b, nullptr, 0, &status);
  ASSERT_EQ(StatusNoError, status);
  ASSERT_EQ(2u, RecordOf(b, "base0-3"));

  tvCloseIndex(a, &status);
  EXPECT_EQ(StatusIndexChanged, status);
  IndexManagerT* c = Opened();
  EXPECT_EQ(2u, RecordOf(c, "base0-3"));
  EXPECT_EQ(4u, RecordOf(c, "base1-1"));
  EXPECT_EQ(0u, tvGetNumberOfRecordsDeleted(c, &status));

  // A session committed after the renumbering lands all the same; the
  // dropped changes are still reported, and the reload shows the index.
  IndexManagerT* d = Opened();
  tvDeleteRecordNum(d, 1, &status);
  IndexManagerT* e = Opened();
  tvOptomizeIndex(e, 1, &status);
  tvEndOptomization(e, nullptr, 0, &status);
  ASSERT_EQ(StatusNoError, status);
  ASSERT_EQ(StatusNoError, IndexAnswerSession(d, MakeRecords("d", 2), ""));
  EXPECT_EQ(2u, RecordOf(d, "base0-3"));
  EXPECT_EQ(7u, RecordOf(d, "d-0"));
  tvReloadIndex(d, &status);
  EXPECT_EQ(StatusIndexChanged, status);
  EXPECT_EQ(IndexManagerT::kOpen, d->State());
  tvStartRetrievalSession(d, &status);
  EXPECT_EQ(1u, RecordOf(d, "base0-2"));
}

TEST_F(IndexCommitTest, AnOptomizationKeepsWhatWasAddedMeanwhileOrIsRefused) {
  IndexManagerT* a = Opened();
  StatusCodeT status = StatusNoError;
  tvDeleteRecordNum(a, 1, &status);
  tvOptomizeIndex(a, 2, &status);
  ASSERT_EQ(StatusNoError, status);
  IndexManagerT* b = Opened();
  ASSERT_EQ(StatusNoError, IndexAnswerSession(b, MakeRecords("b", 2), ""));
  tvDeleteRecordNum(b, 8, &status);
  tvCloseIndex(b, &status);
  ASSERT_EQ(StatusNoError, status);

  // a's end puts the merged partition first, b's partition after it, and
  // b's deletion follows its record to its new number.
  tvEndOptomization(a, nullptr, 0, &status);
  ASSERT_EQ(StatusNoError, status);
  IndexManagerT* c = Opened();
  EXPECT_EQ(2u, c->NumPartitions());
  EXPECT_EQ(9u, RecordOf(c, "b-1"));
  EXPECT_EQ(0u, RecordOf(c, "base1-3"));
  EXPECT_EQ(0u, RecordOf(c, "base0-0"));
  EXPECT_EQ(1u, tvGetNumberOfRecordsDeleted(c, &status));

  // An optimisation whose range another optimisation replaced is refused,
  // and the index stays as that one left it.
  IndexManagerT* d = Opened();
  tvOptomizeIndex(d, 2, &status);
  ASSERT_EQ(StatusNoError, status);
  IndexManagerT* e = Opened();
  tvOptomizeIndex(e, 2, &status);
  tvEndOptomization(e, nullptr, 0, &status);
  ASSERT_EQ(StatusNoError, status);
  const std::string before = Answers();
  tvEndOptomization(d, nullptr, 0, &status);
  EXPECT_EQ(StatusIndexChanged, status);
  EXPECT_EQ(before, Answers());
}

}  // namespace
