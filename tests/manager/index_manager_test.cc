// The index manager: the index file's layout, choosing a header copy,
// damaged files, calls in the wrong state and empty sessions.

#include "manager/index_manager.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "manager/creation_params.h"
#include "storage/fileclas.h"
#include "support/index_file_util.h"
#include "support/temp_dir.h"

namespace {

class IndexManagerTest : public IndexFileTest {
 protected:
  void CreateIndex(unsigned long mode = WORD_MODE) {
    IndexFileTest::CreateIndex(mode);
  }
};

TEST_F(IndexManagerTest, NewIndexFileLayout) {
  uint32_t before = static_cast<uint32_t>(std::time(nullptr));
  CreateIndex(WORD_MODE);
  std::string bytes = Bytes();
  ASSERT_EQ(4580u, bytes.size());
  EXPECT_EQ(std::string(4096, ' '), bytes.substr(0, 4096));
  EXPECT_EQ(0xD8BE8174u, GetBE32(bytes, 4096));
  EXPECT_EQ(bytes.substr(kFirstCopy, 240), bytes.substr(kSecondCopy, 240));
  EXPECT_EQ(2u, GetBE32(bytes, kFirstCopy + kState));
  EXPECT_EQ(0u, GetBE32(bytes, kFirstCopy + kPartitionCount));
  EXPECT_EQ(2u, GetBE32(bytes, kFirstCopy + kMode));
  EXPECT_EQ(1u + 2048u, GetBE32(bytes, kFirstCopy + kBlock));
  uint32_t stamp = GetBE32(bytes, kFirstCopy + kStamp);
  EXPECT_EQ(stamp, GetBE32(bytes, kFirstCopy + kTrailingStamp));
  // Never stamped with a second before the manager's start.
  EXPECT_GT(stamp, before);
  for (size_t field = 4; field < kBlock; field += 4) {
    if (field == kState || field == kMode || field == kCreated ||
        field == kModified) {
      continue;
    }
    EXPECT_EQ(0u, GetBE32(bytes, kFirstCopy + field)) << field;
  }
}

TEST_F(IndexManagerTest, CreationRecordIsCopiedIntoTheHeader) {
  IndexCreationParametersT* params = tvCreateIndexCreationParams(&status_);
  uint32_t mode = IDF_MODE;
  uint32_t dataLength = 40;
  uint16_t idLength = 12;
  tvSetIndexCreationParams(params, IndexParamIndexMode, &mode);
  tvSetIndexCreationParams(params, IndexParamFileName, Path());
  tvSetIndexCreationParams(params, IndexParamFixedRecordData, &dataLength);
  tvSetIndexCreationParams(params, IndexParamFixedRecordID, &idLength);
  params->OptionBlock[39] = 0xA5A5A5A5u;
  tvCreateIndexEx(manager_, params, &status_);
  ASSERT_EQ(StatusNoError, status_);
  std::string bytes = Bytes();
  EXPECT_EQ(params->OptionBlock[0], GetBE32(bytes, kSecondCopy + kBlock));
  EXPECT_EQ(0xA5A5A5A5u, GetBE32(bytes, kSecondCopy + kBlock + 39 * 4));
  EXPECT_EQ(40u, GetBE32(bytes, kSecondCopy + kFixedData));
  EXPECT_EQ(12u, GetBE32(bytes, kSecondCopy + kFixedID));
  EXPECT_EQ(3u, GetBE32(bytes, kSecondCopy + kMode));
  tvDeleteIndexCreationParams(params);

  ASSERT_EQ(StatusNoError, Open());
  EXPECT_EQ(IndexManagerT::kOpen, manager_->State());
  EXPECT_EQ(40u, manager_->IndexFile().Header().FixedRecordDataLength);
}

TEST_F(IndexManagerTest, CreationRefusesBadRecords) {
  // An index mode no session can index in, and file names that are not the
  // host's whole name, are refused before any file is made.
  for (unsigned long mode : {0UL, 4UL, (1UL << 32) | 1UL}) {
    tvCreateIndex(manager_, Path(), mode, &status_);
    EXPECT_EQ(StatusMalformedParameter, status_) << mode;
  }
  tvCreateIndex(manager_, const_cast<char*>(""), RECORD_MODE, &status_);
  EXPECT_EQ(StatusMalformedParameter, status_);
  tvCreateIndex(manager_, nullptr, RECORD_MODE, &status_);
  EXPECT_EQ(StatusMalformedParameter, status_);
  std::string tooLong = dir_.File(std::string(600, 'x'));
  tvCreateIndex(manager_, const_cast<char*>(tooLong.c_str()), RECORD_MODE,
                &status_);
  EXPECT_EQ(StatusMalformedParameter, status_);
  tvCreateIndexEx(manager_, nullptr, &status_);
  EXPECT_EQ(StatusMalformedParameter, status_);
  EXPECT_TRUE(dir_.Files().empty());
}

TEST_F(IndexManagerTest, HeaderCopyChoice) {
  CreateIndex();
  const std::string good = Bytes();
  struct {
    const char* name;
    bool tearFirst, tearSecond, damageFirst;
    uint32_t expectModified;  // the copy expected to be current
  } const cases[] = {
      {"first torn", true, false, false, 2222},
      {"both intact", false, false, false, 1111},
      {"neither intact", true, true, false, 2222},
      {"first intact but impossible", false, false, true, 2222},
  };
  for (const auto& c : cases) {
    std::string bytes = good;
    PutBE32(&bytes, kFirstCopy + kModified, 1111);
    PutBE32(&bytes, kSecondCopy + kModified, 2222);
    if (c.tearFirst) PutBE32(&bytes, kFirstCopy + kTrailingStamp, 7);
    if (c.tearSecond) PutBE32(&bytes, kSecondCopy + kTrailingStamp, 7);
    if (c.damageFirst) PutBE32(&bytes, kFirstCopy + kAppend, 1u << 30);
    WriteWholeFile(path_, bytes);
    ASSERT_EQ(StatusNoError, Open()) << c.name;
    EXPECT_EQ(c.expectModified, manager_->IndexFile().Header().ModificationTime)
        << c.name;
    tvCloseIndex(manager_, &status_);
  }
}

TEST_F(IndexManagerTest, DamagedIndexFilesAreRefused) {
  CreateIndex();
  const std::string good = Bytes();
  struct {
    const char* name;
    size_t cutTo;  // 0: keep the length
    size_t field;  // patched in both copies unless 0
    uint32_t value;
    StatusCodeT expected;
  } const cases[] = {
      {"empty", 1, 0, 0, StatusReadError},
      {"no header", 4099, 0, 0, StatusReadError},
      {"header cut", 4400, 0, 0, StatusReadError},
      {"append beyond the end", 0, kAppend, 5000, StatusNotIndexFile},
      {"end beyond the end", 0, kEnd, 1u << 31, StatusNotIndexFile},
      {"too many partitions", 0, kPartitionCount, 2049, StatusNotIndexFile},
      {"partitions outside", 0, kPartitionCount, 3, StatusNotIndexFile},
      {"unknown mode", 0, kMode, 9, StatusNotIndexFile},
      {"unknown state", 0, kState, 0, StatusNotIndexFile},
      {"deleted list outside", 0, kDeletedCount, 100, StatusNotIndexFile},
  };
  for (const auto& c : cases) {
    std::string bytes = good;
    if (c.cutTo != 0) bytes.resize(c.cutTo);
    if (c.field != 0) PutBothCopies(&bytes, c.field, c.value);
    WriteWholeFile(path_, bytes);
    EXPECT_EQ(c.expected, Open()) << c.name;
    EXPECT_EQ(IndexManagerT::kIdle, manager_->State()) << c.name;
  }
  std::string bytes = good;
  PutBE32(&bytes, 4096, 0xD8BE8175u);
  WriteWholeFile(path_, bytes);
  EXPECT_EQ(StatusNotIndexFile, Open());
  // A deleted-record list with a wrong magic.
  bytes = good;
  bytes.append(12, '\0');
  PutBothCopies(&bytes, kDeletedCount, 1);
  PutBothCopies(&bytes, kDeletedList, 4580);
  WriteWholeFile(path_, bytes);
  EXPECT_EQ(StatusNotIndexFile, Open());
  // The manager is still good for a sound file.
  WriteWholeFile(path_, good);
  EXPECT_EQ(StatusNoError, Open());
}

TEST_F(IndexManagerTest, CallsInTheWrongState) {
  // Idle.
  tvCloseIndex(manager_, &status_);
  EXPECT_EQ(StatusNoError, status_);
  for (auto call :
       {tvStartRetrievalSession, tvEndRetrievalSession, tvReloadIndex}) {
    call(manager_, &status_);
    EXPECT_EQ(StatusIndexNotLoaded, status_);
  }
  EXPECT_EQ(nullptr, tvStartIndexingSession(manager_, &status_));
  EXPECT_EQ(StatusIndexNotLoaded, status_);
  tvDeleteRecordNum(manager_, 1, &status_);
  EXPECT_EQ(StatusNotInitializedForSearching, status_);
  tvOpenIndex(manager_, Path(), &status_);
  EXPECT_EQ(StatusFileNotFound, status_);

  // Open: a second open or a creation does not let the index go.
  CreateIndex();
  ASSERT_EQ(StatusNoError, Open());
  std::string other = dir_.File("other.tvx");
  tvOpenIndex(manager_, const_cast<char*>(other.c_str()), &status_);
  EXPECT_EQ(StatusIndexLocked, status_);
  tvCreateIndex(manager_, Path(), RECORD_MODE, &status_);
  EXPECT_EQ(StatusIndexLocked, status_);
  EXPECT_EQ(4580u, Bytes().size());
  EXPECT_EQ(IndexManagerT::kOpen, manager_->State());
  EXPECT_EQ(path_, manager_->IndexFile().File()->Name());
  tvDeleteRecordNum(manager_, 1, &status_);
  EXPECT_EQ(StatusNotInitializedForSearching, status_);
  unsigned long deleted = tvGetNumberOfRecordsDeleted(manager_, &status_);
  EXPECT_EQ(StatusNotInitializedForSearching, status_);
  EXPECT_EQ(0u, deleted);

  // Retrieving: starting again changes nothing.
  tvStartRetrievalSession(manager_, &status_);
  EXPECT_EQ(StatusNoError, status_);
  tvStartRetrievalSession(manager_, &status_);
  EXPECT_EQ(StatusNoError, status_);
  EXPECT_EQ(IndexManagerT::kRetrieving, manager_->State());
  tvDeleteRecordNum(manager_, 1, &status_);  // no records in the index
  EXPECT_EQ(StatusMalformedParameter, status_);
  tvReloadIndex(manager_, &status_);
  EXPECT_EQ(StatusNoError, status_);
  EXPECT_EQ(IndexManagerT::kOpen, manager_->State());
}

TEST_F(IndexManagerTest, IndexLoadedFromAReadOnlyFile) {
  CreateIndex();
  auto* file = new FileClassT(path_.c_str());
  ASSERT_TRUE(file->Open(kFileReadOnly));
  ASSERT_TRUE(file->Seek(4096));
  manager_->LoadIndex(file, &status_);  // the manager owns the file now
  ASSERT_EQ(StatusNoError, status_);
  EXPECT_TRUE(manager_->IndexFile().IsReadOnly());
  EXPECT_EQ(nullptr, tvStartIndexingSession(manager_, &status_));
  EXPECT_EQ(StatusFileReadOnly, status_);
  FileClassT other(path_.c_str());
  manager_->LoadIndex(&other, &status_);
  EXPECT_EQ(StatusIndexLocked, status_);
  tvStartRetrievalSession(manager_, &status_);
  EXPECT_EQ(StatusNoError, status_);
}

TEST_F(IndexManagerTest, BadHandles) {
  int notAHandle = 0;
  auto* bogus = reinterpret_cast<IndexManagerT*>(&notAHandle);
  for (IndexManagerT* m : {static_cast<IndexManagerT*>(nullptr), bogus}) {
    tvOpenIndex(m, Path(), &status_);
    EXPECT_EQ(StatusNotIndexFile, status_);
    tvCreateIndex(m, Path(), RECORD_MODE, &status_);
    EXPECT_EQ(StatusNotIndexFile, status_);
    EXPECT_EQ(nullptr, tvStartIndexingSession(m, &status_));
    EXPECT_EQ(StatusNotIndexFile, status_);
    unsigned long count = 7;
    EXPECT_EQ(0u, tvNumberOfRecordsInIndex(m, &count, &status_));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(StatusNotIndexFile, status_);
  }
  auto* indexer = reinterpret_cast<IndexerT*>(&notAHandle);
  WordTypeT word = MakeWord("w");
  tvIndexWord(indexer, &word, &status_);
  EXPECT_EQ(StatusNotInitializedForIndexing, status_);
  tvIncrementRecord(nullptr, &word, &status_);
  EXPECT_EQ(StatusNotInitializedForIndexing, status_);
  tvEndIndexingSession(manager_, indexer, &word, &status_);
  EXPECT_EQ(StatusNotInitializedForIndexing, status_);
  EXPECT_EQ(0, tvIndexWordSpecial(indexer, &word, 0, 0, &status_));
  EXPECT_EQ(StatusNotInitializedForIndexing, status_);
}

TEST_F(IndexManagerTest, EmptySessionChangesOnlyTheSessionFields) {
  CreateIndex(IDF_MODE);
  ASSERT_EQ(StatusNoError, Open());
  IndexerT* indexer = tvStartIndexingSession(manager_, &status_);
  ASSERT_NE(nullptr, indexer);
  const std::string started = Bytes();
  EXPECT_EQ(2u, GetBE32(started, kFirstCopy + kState));
  unsigned char field[] = "title";
  for (int r = 0; r < 3; ++r) {
    tvStartField(indexer, field, 5, &status_);
    tvEndField(indexer, field, 5, &status_);
    tvIncrementRecord(indexer, nullptr, &status_);
    ASSERT_EQ(StatusNoError, status_);
  }
  WordTypeT empty = MakeWord("");
  tvIndexWord(indexer, &empty, &status_);
  EXPECT_EQ(StatusNoError, status_);
  tvEndIndexingSession(manager_, indexer, nullptr, &status_);
  EXPECT_EQ(StatusNoError, status_);
  EXPECT_EQ(started, Bytes());
  EXPECT_EQ(std::vector<std::string>{"index.tvx"}, dir_.Files());
  EXPECT_EQ(0u, manager_->NumPartitions());
}

}  // namespace
