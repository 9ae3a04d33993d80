// Indexing sessions on an index: partitions appended to the index file,
// searchable after reopening and at once during a retrieval session; record
// numbers across partitions; damaged partitions; deleted records kept across
// appends and closes; an append cut short before its header write.

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "indexing/work_memory.h"
#include "manager/creation_params.h"
#include "manager/index_manager.h"
#include "manager/record_deleter.h"
#include "query/partition_reader.h"
#include "support/index_file_util.h"
#include "support/temp_dir.h"

namespace {

using Records = std::vector<std::vector<std::string>>;

// Records of random words from a vocabulary with shared prefixes, lengths 1
// to 12, some bytes above 0x7F.
Records RandomRecords(uint32_t count, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<std::string> vocabulary;
  for (int i = 0; i < 700; ++i) {
    std::string word;
    size_t length = 1 + random() % 12;
    for (size_t j = 0; j < length; ++j) {
      word.push_back(
          static_cast<char>(j == 0 ? 'a' + random() % 6 : 'a' + random() % 26));
    }
    if (i % 50 == 0) word.push_back(static_cast<char>(0xC1));
    vocabulary.push_back(word);
  }
  Records records(count);
  for (auto& record : records) {
    size_t words = 1 + random() % 25;
    for (size_t i = 0; i < words; ++i) {
      // A skewed choice, so that some terms are frequent.
      size_t pick = random() % vocabulary.size();
      if (random() % 3 == 0) pick %= 20;
      record.push_back(vocabulary[pick]);
    }
  }
  return records;
}

struct TermStatsT {
  std::set<uint32_t> records;
  uint32_t occurrences = 0;
};

std::map<std::string, TermStatsT> Expected(const Records& records) {
  std::map<std::string, TermStatsT> terms;
  for (uint32_t r = 0; r < records.size(); ++r) {
    for (const std::string& word : records[r]) {
      terms[word].records.insert(r + 1);
      ++terms[word].occurrences;
    }
  }
  return terms;
}

std::string Key(const std::string& term) {
  return std::string(1, static_cast<char>(term.size())) + term;
}

class IndexingSessionsTest : public IndexFileTest {
 protected:
  void CreateAndOpen(unsigned long mode) {
    CreateIndex(mode);
    ASSERT_EQ(StatusNoError, Open());
  }
  StatusCodeT Reopen() {
    tvCloseIndex(manager_, &status_);
    return status_ != StatusNoError ? status_ : Open();
  }
  StatusCodeT StartRetrieval() {
    tvStartRetrievalSession(manager_, &status_);
    return status_;
  }
  // One session of the records; the last record closed by the session's
  // end unless closeLast.
  void Index(const Records& records, bool closeLast = true) {
    IndexerT* indexer = tvStartIndexingSession(manager_, &status_);
    ASSERT_NE(nullptr, indexer);
    ASSERT_EQ(StatusNoError, FeedRecords(indexer, records, closeLast));
    tvEndIndexingSession(manager_, indexer, nullptr, &status_);
    ASSERT_EQ(StatusNoError, status_);
  }
  unsigned long RecordCount() {
    return tvNumberOfRecordsInIndex(manager_, nullptr, &status_);
  }
  // Checks a loaded partition's dictionary against the records it holds.
  void ExpectDictionary(uint32_t partition, const Records& records) {
    PartitionReaderT* reader = manager_->Partitions().Reader(partition);
    ASSERT_NE(nullptr, reader);
    EXPECT_EQ(records.size(), reader->RecordCount());
    std::map<std::string, TermStatsT> terms = Expected(records);
    EXPECT_EQ(terms.size(), reader->Header().TermCount);
    StatusCodeT status = StatusNoError;
    for (const auto& [term, stats] : terms) {
      WordIndexInfoT info;
      std::string key = Key(term);
      ASSERT_EQ(1, reader->LookupTerm(
                       reinterpret_cast<const unsigned char*>(key.data()),
                       &info, &status))
          << term;
      EXPECT_EQ(stats.records.size(), info.RecordCount) << term;
      EXPECT_EQ(stats.occurrences, info.PostingCount) << term;
    }
    WordIndexInfoT info;
    std::string absent = Key("zzzzzzzzzzzzzz");
    EXPECT_EQ(0, reader->LookupTerm(
                     reinterpret_cast<const unsigned char*>(absent.data()),
                     &info, &status));
    EXPECT_EQ(StatusNoError, status);
  }
};

TEST_F(IndexingSessionsTest, EndToEndInEveryMode) {
  for (unsigned long mode : {RECORD_MODE, WORD_MODE, IDF_MODE}) {
    SCOPED_TRACE(mode);
    const Records first = RandomRecords(2500, 7 * mode);
    const Records second = RandomRecords(900, 11 * mode);
    CreateAndOpen(mode);
    Index(first, mode != WORD_MODE);
    Index(second, mode == WORD_MODE);
    ASSERT_EQ(StatusNoError, Reopen());
    EXPECT_EQ(0u, RecordCount());
    ASSERT_EQ(StatusNoError, StartRetrieval());
    EXPECT_EQ(first.size() + second.size(), RecordCount());
    ASSERT_EQ(2u, manager_->Partitions().PartitionCount());
    EXPECT_EQ(first.size(), manager_->Partitions().Reader(1)->RecordsBefore());
    ExpectDictionary(0, first);
    ExpectDictionary(1, second);
    EXPECT_EQ(std::vector<std::string>{"index.tvx"}, dir_.Files());
    tvCloseIndex(manager_, &status_);
    ASSERT_EQ(StatusNoError, status_);
  }
}

TEST_F(IndexingSessionsTest, PartitionsAreAppendedAndNumberedGlobally) {
  CreateAndOpen(IDF_MODE);
  Index(RandomRecords(10, 1));
  std::string bytes = Bytes();
  EXPECT_EQ(1u, GetBE32(bytes, kFirstCopy + kPartitionCount));
  EXPECT_EQ(4580u, GetBE32(bytes, kFirstCopy + kFirstPartition));
  EXPECT_EQ(4580u, GetBE32(bytes, kFirstCopy + kLastPartition));
  EXPECT_EQ(1u, GetBE32(bytes, kFirstCopy + kState));
  const uint32_t append = GetBE32(bytes, kFirstCopy + kAppend);
  EXPECT_EQ(append, GetBE32(bytes, kFirstCopy + kDeletedList));
  // The partition, then an empty deleted-record list.
  EXPECT_EQ(0x2A4F8399u, GetBE32(bytes, 4580));
  EXPECT_EQ(0xAB12CD34u, GetBE32(bytes, append));
  EXPECT_EQ(append + 12, bytes.size());

  // A session on an index with partitions marks the header while it runs.
  IndexerT* indexer = tvStartIndexingSession(manager_, &status_);
  ASSERT_NE(nullptr, indexer);
  EXPECT_EQ(3u, GetBE32(Bytes(), kSecondCopy + kState));
  ASSERT_EQ(StatusNoError, FeedRecords(indexer, RandomRecords(5, 2), true));
  tvEndIndexingSession(manager_, indexer, nullptr, &status_);
  ASSERT_EQ(StatusNoError, status_);
  bytes = Bytes();
  EXPECT_EQ(2u, GetBE32(bytes, kFirstCopy + kPartitionCount));
  EXPECT_EQ(4580u, GetBE32(bytes, kFirstCopy + kFirstPartition));
  EXPECT_EQ(append, GetBE32(bytes, kFirstCopy + kLastPartition));
  EXPECT_EQ(1u, GetBE32(bytes, kFirstCopy + kState));
  EXPECT_EQ(bytes.substr(kFirstCopy, 240), bytes.substr(kSecondCopy, 240));

  ASSERT_EQ(StatusNoError, StartRetrieval());
  EXPECT_EQ(15u, RecordCount());
  struct {
    uint32_t record, partition, within;
  } const rows[] = {{1, 0, 1}, {10, 0, 10}, {11, 1, 1}, {12, 1, 2}, {15, 1, 5}};
  for (const auto& row : rows) {
    uint32_t partition = 99, within = 99;
    ASSERT_EQ(1, manager_->Partitions().FindPartitionOfRecord(
                     row.record, &partition, &within));
    EXPECT_EQ(row.partition, partition) << row.record;
    EXPECT_EQ(row.within, within) << row.record;
  }
  uint32_t partition, within;
  EXPECT_EQ(
      0, manager_->Partitions().FindPartitionOfRecord(0, &partition, &within));
  EXPECT_EQ(
      0, manager_->Partitions().FindPartitionOfRecord(16, &partition, &within));
  tvEndRetrievalSession(manager_, &status_);
  EXPECT_EQ(0u, RecordCount());

  // An empty session on an index with partitions changes only the header
  // fields that starting a session writes.
  const std::string before = Bytes();
  indexer = tvStartIndexingSession(manager_, &status_);
  ASSERT_NE(nullptr, indexer);
  tvIncrementRecord(indexer, nullptr, &status_);
  tvEndIndexingSession(manager_, indexer, nullptr, &status_);
  ASSERT_EQ(StatusNoError, status_);
  std::string after = Bytes();
  ASSERT_EQ(before.size(), after.size());
  for (size_t copy : {kFirstCopy, kSecondCopy}) {
    for (size_t field : {kStamp, kState, kModified, kTrailingStamp}) {
      PutBE32(&after, copy + field, GetBE32(before, copy + field));
    }
  }
  EXPECT_EQ(before, after);
  EXPECT_EQ(2u, manager_->NumPartitions());
}

TEST_F(IndexingSessionsTest, SessionDuringRetrievalIsSearchableAtOnce) {
  CreateAndOpen(WORD_MODE);
  ASSERT_EQ(StatusNoError, StartRetrieval());
  EXPECT_EQ(0u, RecordCount());
  const Records first = RandomRecords(40, 3);
  const Records second = RandomRecords(25, 4);
  Index(first);
  EXPECT_EQ(40u, RecordCount());
  // The first partition's dictionary is in use while the second is added.
  ExpectDictionary(0, first);
  Index(second, false);
  EXPECT_EQ(65u, RecordCount());
  ASSERT_EQ(2u, manager_->Partitions().PartitionCount());
  EXPECT_EQ(40u, manager_->Partitions().Reader(1)->RecordsBefore());
  ExpectDictionary(0, first);
  ExpectDictionary(1, second);
  tvDeleteRecordNum(manager_, 65, &status_);
  EXPECT_EQ(StatusNoError, status_);
  EXPECT_EQ(1, tvIsRecordDeleted(manager_, 65, &status_));
}

TEST_F(IndexingSessionsTest, SessionEndedApartIsAddedLater) {
  CreateAndOpen(RECORD_MODE);
  IndexerT* indexer = tvStartIndexingSession(manager_, &status_);
  ASSERT_NE(nullptr, indexer);
  // Not ended yet: refused, and the session is gone.
  tvMakeIndexActive(manager_, indexer, &status_);
  EXPECT_EQ(StatusNotInitializedForIndexing, status_);
  tvMakeIndexActive(manager_, indexer, &status_);
  EXPECT_EQ(StatusNotInitializedForIndexing, status_);
  EXPECT_EQ(std::vector<std::string>{"index.tvx"}, dir_.Files());

  indexer = tvStartIndexingSession(manager_, &status_);
  ASSERT_EQ(StatusNoError, FeedRecords(indexer, RandomRecords(12, 12), false));
  unsigned long bytes = 0;
  tvGetTempDiskSpaceUsage(indexer, &bytes, &status_);
  EXPECT_EQ(StatusNoError, status_);
  std::string named = dir_.File("partition");
  tvSetFinalIndexDataPosition(indexer, const_cast<char*>(named.c_str()),
                              &status_);
  tvFinalProcessIndex(manager_, indexer, &status_);
  ASSERT_EQ(StatusNoError, status_);
  EXPECT_EQ((std::vector<std::string>{"index.tvx", "partition"}), dir_.Files());
  tvMakeIndexActive(manager_, indexer, &status_);
  ASSERT_EQ(StatusNoError, status_);
  EXPECT_EQ(std::vector<std::string>{"index.tvx"}, dir_.Files());
  ASSERT_EQ(StatusNoError, StartRetrieval());
  EXPECT_EQ(12u, RecordCount());

  // A session whose index was closed under it is dropped with its files.
  indexer = tvStartIndexingSession(manager_, &status_);
  ASSERT_EQ(StatusNoError, FeedRecords(indexer, RandomRecords(3, 13), true));
  tvCloseIndex(manager_, &status_);
  tvEndIndexingSession(manager_, indexer, nullptr, &status_);
  EXPECT_EQ(StatusIndexNotLoaded, status_);
  EXPECT_EQ(std::vector<std::string>{"index.tvx"}, dir_.Files());
}

TEST_F(IndexingSessionsTest, WorkingMemoryOfTheManagersSessions) {
  CreateAndOpen(WORD_MODE);
  const unsigned long budget = 8ul << 20;
  tvSetIndexingMemory(manager_, budget, &status_);
  ASSERT_EQ(StatusNoError, status_);
  // Refused sizes change nothing; neither does a handle that is no manager.
  for (unsigned long bytes :
       {1ul, static_cast<unsigned long>(kDefaultIndexingMemory) - 1,
        static_cast<unsigned long>(kMaxIndexingMemory) + 1}) {
    tvSetIndexingMemory(manager_, bytes, &status_);
    EXPECT_EQ(StatusMalformedParameter, status_) << bytes;
  }
  tvSetIndexingMemory(nullptr, budget, &status_);
  EXPECT_EQ(StatusNotIndexFile, status_);
  EXPECT_EQ(budget, manager_->IndexingMemory());

  // With the budget the session writes one run; back at the default (0),
  // the same records take several.
  const Records records = RandomRecords(2500, 5);
  uint32_t runs[2] = {};
  for (int i = 0; i < 2; ++i) {
    if (i == 1) tvSetIndexingMemory(manager_, 0, &status_);
    IndexerT* indexer = tvStartIndexingSession(manager_, &status_);
    ASSERT_NE(nullptr, indexer);
    ASSERT_EQ(StatusNoError, FeedRecords(indexer, records, true));
    tvFinalProcessIndex(manager_, indexer, &status_);
    ASSERT_EQ(StatusNoError, status_);
    runs[i] = indexer->RunsWritten();
    tvMakeIndexActive(manager_, indexer, &status_);
    ASSERT_EQ(StatusNoError, status_);
  }
  EXPECT_EQ(1u, runs[0]);
  EXPECT_LT(2u, runs[1]);
  ASSERT_EQ(StatusNoError, StartRetrieval());
  ExpectDictionary(0, records);
  ExpectDictionary(1, records);
}

TEST_F(IndexingSessionsTest, FullIndexRefusesAnotherPartition) {
  CreateAndOpen(RECORD_MODE);
  Index(RandomRecords(3, 14));
  tvCloseIndex(manager_, &status_);
  std::string bytes = Bytes();
  PutBothCopies(&bytes, kPartitionCount, 2048);
  WriteWholeFile(path_, bytes);
  ASSERT_EQ(StatusNoError, Open());
  EXPECT_EQ(nullptr, tvStartIndexingSession(manager_, &status_));
  EXPECT_EQ(StatusGeneralError, status_);
  EXPECT_EQ(bytes, Bytes());
}

TEST_F(IndexingSessionsTest, HeaderWritesAreStampedInOrder) {
  CreateAndOpen(IDF_MODE);
  uint32_t stamp = GetBE32(Bytes(), kFirstCopy + kStamp);
  for (int i = 0; i < 3; ++i) {
    Index(RandomRecords(2, 15 + i));
    const std::string bytes = Bytes();
    const uint32_t next = GetBE32(bytes, kFirstCopy + kStamp);
    EXPECT_GT(next, stamp);
    EXPECT_EQ(next, GetBE32(bytes, kSecondCopy + kTrailingStamp));
    stamp = next;
  }
}

TEST_F(IndexingSessionsTest, DeletedRecordsSurviveAppendsAndCloses) {
  CreateAndOpen(RECORD_MODE);
  Index(RandomRecords(10, 5));
  ASSERT_EQ(StatusNoError, StartRetrieval());
  unsigned long doomed[] = {7, 3, 7, 11};
  tvDeleteRecordNums(manager_, doomed, 4, &status_);
  EXPECT_EQ(StatusMalformedParameter, status_);  // 11 is beyond the index
  EXPECT_EQ(2u, tvGetNumberOfRecordsDeleted(manager_, &status_));
  ASSERT_EQ(StatusNoError, Reopen());
  ASSERT_EQ(StatusNoError, StartRetrieval());
  EXPECT_EQ(2u, tvGetNumberOfRecordsDeleted(manager_, &status_));

  // The header on disk points to a list that the next partition would
  // overwrite: the list moves behind the partition first.
  Index(RandomRecords(5, 6));
  std::string bytes = Bytes();
  const uint32_t list = GetBE32(bytes, kFirstCopy + kDeletedList);
  EXPECT_GE(list, GetBE32(bytes, kFirstCopy + kAppend));
  EXPECT_EQ(0xAB12CD34u, GetBE32(bytes, list));
  EXPECT_EQ(2u, GetBE32(bytes, kFirstCopy + kDeletedCount));

  tvDeleteRecordNum(manager_, 15, &status_);
  tvUnDeleteRecordNum(manager_, 7, &status_);
  ASSERT_EQ(StatusNoError, status_);
  ASSERT_EQ(StatusNoError, Reopen());
  ASSERT_EQ(StatusNoError, StartRetrieval());
  EXPECT_EQ(15u, RecordCount());
  unsigned long out[2] = {};
  ASSERT_EQ(2u, tvGetNumberOfRecordsDeleted(manager_, &status_));
  tvOutputDeletedRecords(manager_, out, &status_);
  EXPECT_EQ(3u, out[0]);
  EXPECT_EQ(15u, out[1]);
}

TEST_F(IndexingSessionsTest,
       AppendCutShortBeforeTheHeaderWriteLeavesTheOldIndex) {
  CreateAndOpen(IDF_MODE);
  const Records first = RandomRecords(30, 8);
  Index(first);
  IndexerT* indexer = tvStartIndexingSession(manager_, &status_);
  ASSERT_NE(nullptr, indexer);
  const std::string header = Bytes().substr(0, 4580);
  ASSERT_EQ(StatusNoError, FeedRecords(indexer, RandomRecords(20, 9), true));
  tvEndIndexingSession(manager_, indexer, nullptr, &status_);
  ASSERT_EQ(StatusNoError, status_);
  tvCloseIndex(manager_, &status_);
  // The partition and list were written, the header not yet.
  std::string bytes = Bytes();
  bytes.replace(0, header.size(), header);
  WriteWholeFile(path_, bytes);
  ASSERT_EQ(StatusNoError, Open());
  ASSERT_EQ(StatusNoError, StartRetrieval());
  EXPECT_EQ(30u, RecordCount());
  ExpectDictionary(0, first);
}

TEST_F(IndexingSessionsTest, DamagedPartitionsFailTheRetrievalSession) {
  CreateAndOpen(WORD_MODE);
  Index(RandomRecords(30, 10));
  Index(RandomRecords(20, 11));
  tvCloseIndex(manager_, &status_);
  const std::string good = Bytes();
  const uint32_t second = GetBE32(good, kFirstCopy + kLastPartition);
  const uint32_t append = GetBE32(good, kFirstCopy + kAppend);
  struct {
    const char* name;
    size_t offset;  // patched with value when not 0
    uint32_t value;
    bool inBothCopies;
  } const cases[] = {
      {"second magic", second, 0x2A4F8398u, false},
      {"first runs into the second", 4580 + 638 + 4, second - 4580 + 1, false},
      {"last position off a boundary", kLastPartition, second + 8, true},
      {"last position before the first ends", kLastPartition, 4600, true},
      {"last runs past the append position", kAppend, append - 1, true},
      {"first position off the start", kFirstPartition, 4590, true},
      {"one partition too many", kPartitionCount, 3, true},
  };
  for (const auto& c : cases) {
    std::string bytes = good;
    if (c.inBothCopies) {
      PutBothCopies(&bytes, c.offset, c.value);
    } else {
      PutBE32(&bytes, c.offset, c.value);
    }
    WriteWholeFile(path_, bytes);
    ASSERT_EQ(StatusNoError, Open()) << c.name;
    EXPECT_EQ(StatusNotIndexFile, StartRetrieval()) << c.name;
    EXPECT_EQ(IndexManagerT::kOpen, manager_->State()) << c.name;
    EXPECT_EQ(0u, RecordCount());
    tvCloseIndex(manager_, &status_);
  }
  // A file cut inside its last partition no longer fits its header.
  std::string bytes = good;
  bytes.resize(second + 700);
  WriteWholeFile(path_, bytes);
  EXPECT_EQ(StatusNotIndexFile, Open());
}

// A manager that supplies its own indexers and readers.
class CountingManagerT : public IndexManagerT {
 public:
  IndexerT* CreateIndexer(StatusCodeT* status) override {
    ++Indexers;
    return IndexManagerT::CreateIndexer(status);
  }
  PartitionReaderT* NewReader(uint32_t partitionNumber) override {
    Numbers.push_back(partitionNumber);
    return IndexManagerT::NewReader(partitionNumber);
  }
  int Indexers = 0;
  std::vector<uint32_t> Numbers;
};

TEST_F(IndexingSessionsTest, DerivedManagerSuppliesIndexersAndReaders) {
  CountingManagerT manager;
  IndexCreationParametersT params;
  params.Reset();
  uint32_t mode = RECORD_MODE;
  params.Set(IndexParamIndexMode, &mode);
  params.Set(IndexParamFileName, Path());
  StatusCodeT status = StatusNoError;
  manager.Create(&params, &status);
  manager.Open(Path(), &status);
  for (int session = 0; session < 2; ++session) {
    IndexerT* indexer = manager.IMStartIndexingSession(&status);
    ASSERT_NE(nullptr, indexer);
    WordTypeT word = MakeWord("w");
    indexer->IndexWord(&word, &status);
    indexer->EndIndexingSession(nullptr, &status);
    manager.AddIndexingDataToIndex(indexer, &status);
    ASSERT_EQ(StatusNoError, status);
  }
  manager.StartRetrievalSession(&status);
  ASSERT_EQ(StatusNoError, status);
  EXPECT_EQ(2, manager.Indexers);
  // A reader checks each partition before it is copied; then one reader
  // per partition for retrieval.
  EXPECT_EQ((std::vector<uint32_t>{0, 1, 0, 1}), manager.Numbers);
  EXPECT_EQ(2u, manager.NumberOfRecordsInIndex());
  manager.Close(&status);
  EXPECT_EQ(StatusNoError, status);
}

}  // namespace
