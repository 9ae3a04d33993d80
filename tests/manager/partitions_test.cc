// Partitions and distributed indexes: partitions made by separate sessions
// (with and without an index manager) registered by location, searched,
// moved and reloaded; the location table and the deleted-record list behind
// it; replacing ranges of locations; partition files added to a single-file
// index; the measuring of partition spans; refusals.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "manager/creation_params.h"
#include "manager/index_manager.h"
#include "manager/held_partitions.h"
#include "manager/record_deleter.h"
#include "query/partition_reader.h"
#include "support/index_file_util.h"

namespace {

using Records = std::vector<std::vector<std::string>>;

// count records of partition tag: every record holds tag and "all", record
// r also "r<r>"; its data are tag and the record number.
Records TaggedRecords(const std::string& tag, int count) {
  Records records;
  for (int r = 1; r <= count; ++r) {
    records.push_back({tag, "all", "r" + std::to_string(r)});
  }
  return records;
}

std::string DataOf(const std::string& tag, size_t r) {
  return tag + ":" + std::to_string(r);
}

// Feeds tagged records with their data.
void Feed(IndexerT* indexer, const std::string& tag, int count) {
  StatusCodeT status = StatusNoError;
  const Records records = TaggedRecords(tag, count);
  for (size_t r = 0; r < records.size(); ++r) {
    if (r > 0) tvIncrementRecord(indexer, nullptr, &status);
    for (const std::string& text : records[r]) {
      WordTypeT word = MakeWord(text);
      tvIndexWord(indexer, &word, &status);
    }
    std::string data = DataOf(tag, r + 1);
    tvStoreRecordData(indexer, reinterpret_cast<unsigned char*>(&data[0]),
                      data.size(), &status);
    ASSERT_EQ(StatusNoError, status);
  }
}

class PartitionsTest : public IndexFileTest {
 protected:
  void SetUp() override {
    IndexFileTest::SetUp();
    params_ = tvCreateIndexCreationParams(&status_);
    uint32_t mode = WORD_MODE;
    tvSetIndexCreationParams(params_, IndexParamIndexMode, &mode);
    tvSetIndexCreationParams(params_, IndexParamFileName, Path());
    tvSetIndexCreationParams(params_, IndexParamDistributed, nullptr);
    tvSetIndexCreationParams(params_, IndexParamVariableRecordData, nullptr);
  }
  void TearDown() override {
    tvDeleteIndexCreationParams(params_);
    IndexFileTest::TearDown();
  }

  void CreateAndOpen() {
    tvCreateIndexEx(manager_, params_, &status_);
    ASSERT_EQ(StatusNoError, status_);
    ASSERT_EQ(StatusNoError, Open());
  }

  // A partition file made by a session without an index manager.
  void Apart(const std::string& name, const std::string& tag, int count) {
    IndexerT* indexer = tvStartDistributedIndexingSession(params_, &status_);
    ASSERT_NE(nullptr, indexer);
    tvSetFinalIndexDataPosition(indexer, const_cast<char*>(name.c_str()),
                                &status_);
    ASSERT_NO_FATAL_FAILURE(Feed(indexer, tag, count));
    tvEndDistributedIndexingSession(indexer, &status_);
    ASSERT_EQ(StatusNoError, status_);
  }
  void Append(const std::string& name) {
    tvAppendDistributedDataToIndex(manager_, const_cast<char*>(name.c_str()),
                                   &status_);
  }
  // A session of the manager's own, its partition file named.
  void Session(const std::string& name, const std::string& tag, int count) {
    IndexerT* indexer = tvStartIndexingSession(manager_, &status_);
    ASSERT_NE(nullptr, indexer);
    tvSetFinalIndexDataPosition(indexer, const_cast<char*>(name.c_str()),
                                &status_);
    ASSERT_NO_FATAL_FAILURE(Feed(indexer, tag, count));
    tvEndIndexingSession(manager_, indexer, nullptr, &status_);
    ASSERT_EQ(StatusNoError, status_);
  }
  StatusCodeT StartRetrieval() {
    tvStartRetrievalSession(manager_, &status_);
    return status_;
  }
  StatusCodeT Reopen() {
    tvCloseIndex(manager_, &status_);
    return status_ != StatusNoError ? status_ : Open();
  }

  // The records of a term in loaded partition i; -1 when it is missing.
  long TermRecords(uint32_t i, const std::string& term) {
    std::string key = std::string(1, static_cast<char>(term.size())) + term;
    WordIndexInfoT info;
    StatusCodeT status = StatusNoError;
    PartitionReaderT* reader = manager_->Partitions().Reader(i);
    if (reader == nullptr ||
        !reader->LookupTerm(reinterpret_cast<const unsigned char*>(key.data()),
                            &info, &status)) {
      return -1;
    }
    return info.RecordCount;
  }
  std::string Data(unsigned long record) {
    unsigned char buffer[64];
    unsigned long read = 0;
    TarvisDataCursorT cursor;
    tvRetrieveRecordData(manager_, buffer, sizeof(buffer), &read, record,
                         &cursor, &status_);
    return std::string(reinterpret_cast<char*>(buffer), read);
  }
  std::string Location(uint32_t i) {
    char path[256];
    StatusCodeT status = StatusNoError;
    manager_->ReadPartitionLocation(i, path, &status);
    return status == StatusNoError ? path : "(" + std::to_string(status) + ")";
  }
  // The 256-byte entry for path.
  static std::string Entry(const std::string& path) {
    std::string entry = path;
    entry.resize(256, '\0');
    return entry;
  }

  IndexCreationParametersT* params_ = nullptr;
  std::string p0_ = dir_.File("p0.part");
  std::string p1_ = dir_.File("p1.part");
  std::string p2_ = dir_.File("p2.part");
};

TEST_F(PartitionsTest, DistributedIndexFromSeparateSessions) {
  CreateAndOpen();
  // A partition made apart, registered later: its path at 4580, the list
  // behind the table at 4836.
  Apart(p0_, "zero", 4);
  Append(p0_);
  ASSERT_EQ(StatusNoError, status_);
  std::string bytes = Bytes();
  EXPECT_EQ(Entry(p0_), bytes.substr(4580, 256));
  EXPECT_EQ(1u, GetBE32(bytes, kFirstCopy + kPartitionCount));
  EXPECT_EQ(0u, GetBE32(bytes, kFirstCopy + kFirstPartition));
  EXPECT_EQ(0u, GetBE32(bytes, kFirstCopy + kLastPartition));
  EXPECT_EQ(4836u, GetBE32(bytes, kFirstCopy + kAppend));
  EXPECT_EQ(4836u, GetBE32(bytes, kFirstCopy + kDeletedList));
  EXPECT_EQ(kDeletedListMagic, GetBE32(bytes, 4836));
  EXPECT_EQ(1u, GetBE32(bytes, kFirstCopy + kState));

  // A session of the manager's own, and one ended apart and made active.
  Session(p1_, "one", 6);
  IndexerT* indexer = tvStartDistributedIndexingSession(params_, &status_);
  ASSERT_NE(nullptr, indexer);
  tvSetFinalIndexDataPosition(indexer, &p2_[0], &status_);
  Feed(indexer, "two", 5);
  tvFinalProcessIndex(manager_, indexer, &status_);
  ASSERT_EQ(StatusNoError, status_);
  tvMakeIndexActive(manager_, indexer, &status_);
  ASSERT_EQ(StatusNoError, status_);
  EXPECT_EQ(Entry(p1_) + Entry(p2_), Bytes().substr(4836, 512));

  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(StatusNoError, StartRetrieval());
    ASSERT_EQ(3u, manager_->Partitions().PartitionCount());
    EXPECT_EQ(15u, tvNumberOfRecordsInIndex(manager_, nullptr, &status_));
    const uint32_t before[] = {0, 4, 10};
    const char* tags[] = {"zero", "one", "two"};
    const long counts[] = {4, 6, 5};
    for (uint32_t i = 0; i < 3; ++i) {
      EXPECT_EQ(before[i], manager_->Partitions().Reader(i)->RecordsBefore());
      EXPECT_EQ(counts[i], TermRecords(i, tags[i]));
      EXPECT_EQ(counts[i], TermRecords(i, "all"));
      EXPECT_EQ(-1, TermRecords(i, tags[(i + 1) % 3]));
      uint32_t bytes = 0;
      uint32_t records = 0;
      manager_->GetPartitionLength(&bytes, &records, i);
      EXPECT_EQ(manager_->Partitions().Reader(i)->PartitionLength(), bytes);
      EXPECT_EQ(static_cast<uint32_t>(counts[i]), records);
    }
    EXPECT_EQ("zero:4", Data(4));
    EXPECT_EQ("one:1", Data(5));
    EXPECT_EQ("two:5", Data(15));
    ASSERT_EQ(StatusNoError, Reopen());
  }
}

// A result's hits come from the partition files its query read: moving or
// removing them afterwards changes none.
TEST_F(PartitionsTest, AResultKeepsThePartitionFilesItsQueryRead) {
  CreateAndOpen();
  Apart(p0_, "zero", 3);
  Append(p0_);
  Session(p1_, "one", 2);
  ASSERT_EQ(StatusNoError, StartRetrieval());
  unsigned char all[] = "0x616c6c";
  QueryVectorBaseT* result = tvProcessQuery(manager_, nullptr, all, &status_);
  ASSERT_NE(nullptr, result);
  EXPECT_EQ(2u, HeldPartitionsT::FilesHeld());
  ASSERT_EQ(0, std::rename(p0_.c_str(), dir_.File("moved.part").c_str()));
  ASSERT_EQ(0, std::remove(p1_.c_str()));
  std::vector<std::pair<unsigned long, unsigned long>> hits;
  unsigned long record = 0;
  unsigned long word = 0;
  for (tvVectorCurrentHit(result, &record, &word, nullptr, nullptr, &status_);
       status_ == StatusNoError;
       tvVectorNextHit(result, &record, &word, nullptr, nullptr, &status_)) {
    hits.emplace_back(record, word);
  }
  EXPECT_EQ(StatusEndOfVector, status_);
  EXPECT_EQ((std::vector<std::pair<unsigned long, unsigned long>>{
                {1, 2}, {2, 2}, {3, 2}, {4, 2}, {5, 2}}),
            hits);
  tvDeleteResultVector(result, &status_);
  tvCloseIndex(manager_, &status_);
  EXPECT_EQ(0u, HeldPartitionsT::FilesHeld());
}

TEST_F(PartitionsTest, PartitionsMovedAndReloaded) {
  CreateAndOpen();
  Apart(p0_, "zero", 3);
  Append(p0_);
  Session(p1_, "one", 2);
  ASSERT_EQ(StatusNoError, StartRetrieval());
  const std::string moved = dir_.File("moved.part");
  ASSERT_EQ(0, std::rename(p0_.c_str(), moved.c_str()));

  // An old path that is not in the table changes nothing.
  uint32_t index = 99;
  const std::string table = Bytes().substr(4580, 512);
  manager_->ChangePartitionLocation(&index, moved.c_str(), "nowhere",
                                    &status_);
  EXPECT_EQ(StatusPartitionNotFound, status_);
  EXPECT_EQ(99u, index);
  EXPECT_EQ(table, Bytes().substr(4580, 512));

  status_ = StatusNoError;
  manager_->ChangePartitionLocation(&index, moved.c_str(), p0_.c_str(),
                                    &status_);
  ASSERT_EQ(StatusNoError, status_);
  EXPECT_EQ(0u, index);
  EXPECT_EQ(Entry(moved) + Entry(p1_), Bytes().substr(4580, 512));
  manager_->ReloadDistributedPartition(0, &status_);
  ASSERT_EQ(StatusNoError, status_);
  EXPECT_EQ(3, TermRecords(0, "zero"));
  EXPECT_EQ("one:2", Data(5));

  // A reload that fails leaves the partition loaded as it was.
  manager_->WritePartitionLocation(0, p0_.c_str(), &status_);
  ASSERT_EQ(StatusNoError, status_);
  manager_->ReloadDistributedPartition(0, &status_);
  EXPECT_EQ(StatusCannotOpenFile, status_);
  EXPECT_EQ(3, TermRecords(0, "zero"));
  EXPECT_EQ("zero:3", Data(3));
  status_ = StatusNoError;
  manager_->ReloadDistributedPartition(2, &status_);
  EXPECT_EQ(StatusPartitionNotFound, status_);

  // A location that cannot be opened fails the retrieval session, which
  // then holds no partition.
  ASSERT_EQ(StatusNoError, Reopen());
  EXPECT_EQ(StatusCannotOpenFile, StartRetrieval());
  EXPECT_EQ(0u, manager_->Partitions().PartitionCount());
  EXPECT_EQ(IndexManagerT::kOpen, manager_->State());
  status_ = StatusNoError;
  manager_->WritePartitionLocation(0, moved.c_str(), &status_);
  ASSERT_EQ(StatusNoError, status_);
  tvReloadIndex(manager_, &status_);
  ASSERT_EQ(StatusNoError, StartRetrieval());
  EXPECT_EQ(5u, manager_->NumberOfRecordsInIndex());
}

TEST_F(PartitionsTest, AddedDuringRetrievalIsSearchableAtOnce) {
  CreateAndOpen();
  ASSERT_EQ(StatusNoError, StartRetrieval());
  Apart(p0_, "zero", 4);
  Append(p0_);
  ASSERT_EQ(StatusNoError, status_);
  Session(p1_, "one", 6);
  Apart(p2_, "two", 5);
  Append(p2_);
  ASSERT_EQ(StatusNoError, status_);
  ASSERT_EQ(3u, manager_->Partitions().PartitionCount());
  EXPECT_EQ(15u, manager_->NumberOfRecordsInIndex());
  EXPECT_EQ(10u, manager_->Partitions().Reader(2)->RecordsBefore());
  EXPECT_EQ(5, TermRecords(2, "two"));
  EXPECT_EQ("two:1", Data(11));
  // The new records can be deleted at once.
  tvDeleteRecordNum(manager_, 15, &status_);
  EXPECT_EQ(StatusNoError, status_);
}

TEST_F(PartitionsTest, DeletedListIsNeverOverwrittenByTheTable) {
  CreateAndOpen();
  Apart(p0_, "zero", 4);
  Append(p0_);
  ASSERT_EQ(StatusNoError, StartRetrieval());
  tvDeleteRecordNum(manager_, 2, &status_);
  ASSERT_EQ(StatusNoError, Reopen());
  // The list sits where the next entry goes: it moves beyond first.
  ASSERT_EQ(4836u, GetBE32(Bytes(), kFirstCopy + kDeletedList));
  Apart(p1_, "one", 3);
  Append(p1_);
  ASSERT_EQ(StatusNoError, status_);
  const std::string bytes = Bytes();
  EXPECT_GE(GetBE32(bytes, kFirstCopy + kDeletedList), 4580u + 512);
  EXPECT_EQ(Entry(p1_), bytes.substr(4836, 256));
  ASSERT_EQ(StatusNoError, Reopen());
  ASSERT_EQ(StatusNoError, StartRetrieval());
  EXPECT_EQ(7u, manager_->NumberOfRecordsInIndex());
  EXPECT_EQ(1, tvIsRecordDeleted(manager_, 2, &status_));
  EXPECT_EQ(1u, tvGetNumberOfRecordsDeleted(manager_, &status_));
}

TEST_F(PartitionsTest, ReplacingMovesEveryLaterLocation) {
  CreateAndOpen();
  Apart(p0_, "zero", 2);
  const std::string partition = ReadWholeFile(p0_);
  std::vector<std::string> paths;
  for (int i = 0; i < 6; ++i) {
    paths.push_back(dir_.File("e" + std::to_string(i)));
    WriteWholeFile(paths.back(), partition);
    Append(paths.back());
    ASSERT_EQ(StatusNoError, status_);
  }
  // Two entries replaced by one; three follow the range.
  const std::string merged = dir_.File("merged");
  manager_->ReplacePartitions(merged.c_str(), 1, 2, 1, &status_);
  ASSERT_EQ(StatusNoError, status_);
  const std::vector<std::string> expected = {paths[0], merged, paths[3],
                                             paths[4], paths[5]};
  ASSERT_EQ(5u, manager_->NumPartitions());
  for (uint32_t i = 0; i < 5; ++i) EXPECT_EQ(expected[i], Location(i));
  // Two entries removed; three follow.
  manager_->ReplacePartitions(nullptr, 0, 2, 0, &status_);
  ASSERT_EQ(StatusNoError, status_);
  ASSERT_EQ(StatusNoError, Reopen());
  ASSERT_EQ(3u, manager_->NumPartitions());
  const std::string bytes = Bytes();
  EXPECT_EQ(Entry(paths[3]) + Entry(paths[4]) + Entry(paths[5]),
            bytes.substr(4580, 768));
  EXPECT_EQ(4580u + 768, GetBE32(bytes, kFirstCopy + kAppend));
  EXPECT_EQ(4580u + 768, GetBE32(bytes, kFirstCopy + kDeletedList));
  EXPECT_EQ(kDeletedListMagic, GetBE32(bytes, 4580 + 768));
  ASSERT_EQ(StatusNoError, StartRetrieval());
  EXPECT_EQ(6u, manager_->NumberOfRecordsInIndex());

  // Ranges that are not in the table.
  const struct {
    uint32_t First;
    uint32_t Count;
  } bad[] = {{0, 0}, {3, 1}, {2, 2}, {1, 0xFFFFFFFFu}};
  for (const auto& b : bad) {
    status_ = StatusNoError;
    manager_->ReplacePartitions(merged.c_str(), b.First, b.Count, 0, &status_);
    EXPECT_EQ(StatusMalformedParameter, status_);
  }
  EXPECT_EQ(3u, manager_->NumPartitions());
}

TEST_F(PartitionsTest, RefusedLocationsAndPartitions) {
  CreateAndOpen();
  Apart(p0_, "zero", 2);
  // A location of 256 characters or more cannot be held.
  const std::string longPath = dir_.File(std::string(256, 'x'));
  Append(longPath);
  EXPECT_EQ(StatusMalformedParameter, status_);
  Append(dir_.File("missing"));
  EXPECT_EQ(StatusCannotOpenFile, status_);
  WriteWholeFile(dir_.File("text"), std::string(2000, 't'));
  Append(dir_.File("text"));
  EXPECT_EQ(StatusNotIndexFile, status_);
  tvAppendDistributedDataToIndex(manager_, nullptr, &status_);
  EXPECT_EQ(StatusMalformedParameter, status_);
  EXPECT_EQ(0u, manager_->NumPartitions());
  uint32_t index = 0;
  manager_->ChangePartitionLocation(&index, p0_.c_str(), p0_.c_str(),
                                    &status_);
  EXPECT_EQ(StatusPartitionNotFound, status_);

  // A partition of another index mode.
  uint32_t mode = RECORD_MODE;
  tvSetIndexCreationParams(params_, IndexParamIndexMode, &mode);
  Apart(p1_, "one", 2);
  Append(p1_);
  EXPECT_EQ(StatusMalformedParameter, status_);

  // A damaged entry (no NUL in its 256 bytes) fails the retrieval session.
  Append(p0_);
  ASSERT_EQ(StatusNoError, status_);
  status_ = StatusNoError;
  manager_->WritePartitionLocation(0, longPath.c_str(), &status_);
  EXPECT_EQ(StatusMalformedParameter, status_);
  tvCloseIndex(manager_, &status_);
  std::string bytes = Bytes();
  bytes.replace(4580, 256, std::string(256, 'y'));
  WriteWholeFile(path_, bytes);
  ASSERT_EQ(StatusNoError, Open());
  EXPECT_EQ(StatusNotIndexFile, StartRetrieval());
  EXPECT_EQ(0u, manager_->Partitions().PartitionCount());
}

TEST_F(PartitionsTest, DistributedSessionsAndTheirHandles) {
  // A session without a name for its partition stays open until it has
  // one.
  IndexerT* indexer = tvStartDistributedIndexingSession(params_, &status_);
  ASSERT_NE(nullptr, indexer);
  Feed(indexer, "zero", 3);
  tvEndDistributedIndexingSession(indexer, &status_);
  EXPECT_EQ(StatusMalformedParameter, status_);
  tvSetFinalIndexDataPosition(indexer, &p0_[0], &status_);
  tvEndDistributedIndexingSession(indexer, &status_);
  EXPECT_EQ(StatusNoError, status_);
  EXPECT_FALSE(ReadWholeFile(p0_).empty());
  // The handle is gone.
  tvEndDistributedIndexingSession(indexer, &status_);
  EXPECT_EQ(StatusNotInitializedForIndexing, status_);

  EXPECT_EQ(nullptr, tvStartDistributedIndexingSession(nullptr, &status_));
  EXPECT_EQ(StatusMalformedParameter, status_);
  uint32_t badMode = 7;
  tvSetIndexCreationParams(params_, IndexParamIndexMode, &badMode);
  EXPECT_EQ(nullptr, tvStartDistributedIndexingSession(params_, &status_));
  EXPECT_EQ(StatusMalformedParameter, status_);
  tvAppendDistributedDataToIndex(nullptr, &p0_[0], &status_);
  EXPECT_EQ(StatusNotIndexFile, status_);
  // Nothing is left behind but the named partition.
  EXPECT_EQ(std::vector<std::string>{"p0.part"}, dir_.Files());
}

TEST_F(PartitionsTest, DistributedSessionTakesItsMemoryFromTheCreationRecord) {
  // Enough postings for several runs at the default: with 8 MiB nothing
  // reaches the run file before the end, and the partition is the same.
  std::vector<std::vector<std::string>> records(3000);
  for (size_t r = 0; r < records.size(); ++r) {
    for (size_t w = 0; w < 12; ++w) {
      records[r].push_back("t" + std::to_string((r * 7 + w * w) % 900));
    }
  }
  unsigned long usage[2] = {};
  std::string* names[2] = {&p0_, &p1_};
  for (unsigned long bytes : {8ul << 20, 0ul}) {
    const int i = bytes == 0;
    tvSetIndexCreationParams(params_, IndexParamIndexingMemory, &bytes);
    IndexerT* indexer = tvStartDistributedIndexingSession(params_, &status_);
    ASSERT_NE(nullptr, indexer);
    ASSERT_EQ(StatusNoError, FeedRecords(indexer, records, true));
    tvGetTempDiskSpaceUsage(indexer, &usage[i], &status_);
    tvSetFinalIndexDataPosition(indexer, &(*names[i])[0], &status_);
    tvEndDistributedIndexingSession(indexer, &status_);
    ASSERT_EQ(StatusNoError, status_);
  }
  EXPECT_LT(usage[0], usage[1]);
  EXPECT_TRUE(ReadWholeFile(p0_) == ReadWholeFile(p1_));

  unsigned long tooSmall = 4096;
  tvSetIndexCreationParams(params_, IndexParamIndexingMemory, &tooSmall);
  EXPECT_EQ(nullptr, tvStartDistributedIndexingSession(params_, &status_));
  EXPECT_EQ(StatusMalformedParameter, status_);
  EXPECT_EQ((std::vector<std::string>{"p0.part", "p1.part"}), dir_.Files());
}

TEST_F(PartitionsTest, PartitionFileAddedToASingleFileIndex) {
  tvSetIndexCreationParams(params_, IndexParamSingleFile, nullptr);
  CreateAndOpen();
  IndexerT* indexer = tvStartIndexingSession(manager_, &status_);
  Feed(indexer, "zero", 4);
  tvEndIndexingSession(manager_, indexer, nullptr, &status_);
  ASSERT_EQ(StatusNoError, status_);
  Apart(p1_, "one", 6);
  // A distributed registration is refused on a single-file index.
  Append(p1_);
  EXPECT_EQ(StatusMalformedParameter, status_);
  status_ = StatusNoError;
  manager_->AddPartitionToIndex(p1_.c_str(), &status_);
  ASSERT_EQ(StatusNoError, status_);
  EXPECT_TRUE(ReadWholeFile(p1_).empty());
  ASSERT_EQ(StatusNoError, Reopen());
  ASSERT_EQ(StatusNoError, StartRetrieval());
  ASSERT_EQ(2u, manager_->Partitions().PartitionCount());
  EXPECT_EQ(4u, manager_->Partitions().Reader(1)->RecordsBefore());
  EXPECT_EQ(6, TermRecords(1, "one"));
  EXPECT_EQ("one:6", Data(10));
  // A missing file changes nothing.
  manager_->AddPartitionToIndex(p1_.c_str(), &status_);
  EXPECT_EQ(StatusCannotOpenFile, status_);
  EXPECT_EQ(2u, manager_->NumPartitions());
}

// Partitions of any size, as far as the manager's bookkeeping goes.
class SizedReaderT : public PartitionReaderT {
 public:
  SizedReaderT(uint32_t length, uint32_t records) : PartitionReaderT(0) {
    HeaderData.EndOffset = length;
    HeaderData.RecordCount = records;
  }
};

// Loaded partitions of an index that is not open, filled by hand.
struct SizedPartitionsT {
  void Add(uint32_t length, uint32_t records) {
    ASSERT_EQ(1, Loaded.Place(Loaded.PartitionCount(),
                              new SizedReaderT(length, records), nullptr, 0));
  }
  IndexFileT Index;
  LocationTableT Locations{&Index};
  LoadedPartitionsT Loaded{&Index, &Locations, nullptr};
};

TEST(PartitionSpanTest, SpansStopAtTheLargestPartition) {
  const struct {
    std::vector<uint32_t> Lengths;
    uint32_t First, Last;
    uint32_t Bytes, Records;
  } cases[] = {
      {{0x40000000u, 0x3FF00000u}, 0, 1, 0x7FF00000u, 3},
      {{0x40000000u, 0x3FF00001u}, 0, 1, 0xFFFFFFFFu, 1},
      // Halves rounded down would let this pass.
      {{0x3FF80001u, 0x3FF80000u}, 0, 1, 0xFFFFFFFFu, 1},
      {{0x7FF00001u}, 0, 0, 0xFFFFFFFFu, 0},
      {{100, 200, 300, 400}, 1, 2, 500, 5},
      {{100, 200, 300, 400}, 2, 9, 700, 7},
      {{100, 200}, 3, 5, 0, 0},
  };
  for (const auto& c : cases) {
    SizedPartitionsT sized;
    for (size_t i = 0; i < c.Lengths.size(); ++i) {
      sized.Add(c.Lengths[i], static_cast<uint32_t>(i + 1));
    }
    uint32_t bytes = 1;
    uint32_t records = 1;
    sized.Loaded.GetPartitionSpanLength(&bytes, &records, c.First, c.Last);
    EXPECT_EQ(c.Bytes, bytes) << c.First;
    EXPECT_EQ(c.Records, records) << c.First;
  }
  SizedPartitionsT sized;
  sized.Add(100, 4);
  sized.Add(200, 6);
  sized.Add(300, 5);
  sized.Loaded.CountRecsBeforePartitions();
  EXPECT_EQ(0u, sized.Loaded.Reader(0)->RecordsBefore());
  EXPECT_EQ(4u, sized.Loaded.Reader(1)->RecordsBefore());
  EXPECT_EQ(10u, sized.Loaded.Reader(2)->RecordsBefore());
  uint32_t bytes = 1;
  uint32_t records = 1;
  sized.Loaded.GetPartitionLength(&bytes, &records, 3);
  EXPECT_EQ(0u, bytes);
  EXPECT_EQ(0u, records);
}

}  // namespace
