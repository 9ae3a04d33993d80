// IndexerT: sessions from start to a finished partition file, the record
// count under both host protocols, fields, flagged words, calls outside a
// session and the fate of the session's files.

#include "indexing/indexer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "indexing/work_memory.h"
#include "query/partition_reader.h"
#include "storage/fileclas.h"
#include "support/temp_dir.h"

namespace {

WordTypeT Word(const std::string& text) {
  WordTypeT word = {};
  std::memcpy(word.Word, text.data(), text.size());
  word.WordLength = static_cast<uint8_t>(text.size());
  return word;
}

IndexingOptionsT Options(uint32_t mode, uint32_t flags = 0) {
  uint32_t block[kOptionBlockWords] = {flags};
  return MakeIndexingOptions(mode, block, 0, 0);
}

// A partition file opened for reading, with its reader.
struct PartitionT {
  explicit PartitionT(const std::string& name) : File(name.c_str()) {
    StatusCodeT status = StatusNoError;
    Ok = File.Open(kFileReadOnly) && Reader.ReadHeader(&File, &status);
  }
  // Records and occurrences of a term; -1 when it is missing.
  std::pair<long, long> Term(const std::string& term) {
    std::string key = std::string(1, static_cast<char>(term.size())) + term;
    WordIndexInfoT info;
    StatusCodeT status = StatusNoError;
    if (!Reader.LookupTerm(reinterpret_cast<const unsigned char*>(key.data()),
                           &info, &status)) {
      return {-1, -1};
    }
    return {info.RecordCount, info.PostingCount};
  }
  FileClassT File;
  PartitionReaderT Reader{0};
  int Ok = 0;
};

class IndexerTest : public testing::Test {
 protected:
  // A started indexer.
  std::unique_ptr<IndexerT> Start(uint32_t mode, uint32_t flags = 0) {
    StatusCodeT status = StatusNoError;
    auto indexer = std::make_unique<IndexerT>(&status);
    EXPECT_EQ(StatusNoError, status);
    IndexingOptionsT options = Options(mode, flags);
    indexer->StartTextIndexingSession(&options, &status);
    EXPECT_EQ(StatusNoError, status);
    return indexer;
  }
  void Feed(IndexerT* indexer, const std::vector<std::string>& words) {
    StatusCodeT status = StatusNoError;
    for (const std::string& text : words) {
      WordTypeT word = Word(text);
      indexer->IndexWord(&word, &status);
    }
    ASSERT_EQ(StatusNoError, status);
  }
  void Increment(IndexerT* indexer) {
    StatusCodeT status = StatusNoError;
    indexer->IncrementRecord(nullptr, &status);
    ASSERT_EQ(StatusNoError, status);
  }
  // Ends the session into a partition file named name.
  void End(IndexerT* indexer, const std::string& name) {
    StatusCodeT status = StatusNoError;
    indexer->SetFinalPositionAndFileName(name.c_str(), &status);
    indexer->EndIndexingSession(nullptr, &status);
    ASSERT_EQ(StatusNoError, status);
  }

  ScopedTempDirT dir_;
};

TEST_F(IndexerTest, RecordCountIsTheRecordsFedUnderBothProtocols) {
  // Every record closed by an increment, or the last one closed by the end
  // of the session: the same records, the same partition. The weight files
  // must hold one entry per record, or the compressor refuses them.
  for (uint32_t mode : {RECORD_MODE, WORD_MODE, IDF_MODE}) {
    for (bool closeLast : {true, false}) {
      SCOPED_TRACE(testing::Message() << mode << " " << closeLast);
      auto indexer = Start(mode);
      for (int r = 0; r < 7; ++r) {
        Feed(indexer.get(), {"alpha", "beta", r % 2 ? "odd" : "even", "beta"});
        if (r < 6 || closeLast) Increment(indexer.get());
      }
      std::string name = dir_.File(closeLast ? "closed" : "open");
      End(indexer.get(), name);
      EXPECT_EQ(7u, indexer->RecordCount());
      indexer.reset();
      PartitionT partition(name);
      ASSERT_TRUE(partition.Ok);
      EXPECT_EQ(7u, partition.Reader.RecordCount());
      EXPECT_EQ(mode != RECORD_MODE, partition.Reader.Header().DocWeightFlag);
      EXPECT_EQ(std::make_pair(7L, 14L), partition.Term("beta"));
      EXPECT_EQ(std::make_pair(3L, 3L), partition.Term("odd"));
    }
  }
}

TEST_F(IndexerTest, EmptyRecordsInsideTheSessionCount) {
  auto indexer = Start(IDF_MODE);
  Feed(indexer.get(), {"a"});
  Increment(indexer.get());
  Increment(indexer.get());  // record 2 holds nothing
  Feed(indexer.get(), {"a", "b"});
  std::string name = dir_.File("p");
  End(indexer.get(), name);
  EXPECT_EQ(3u, indexer->RecordCount());
  indexer.reset();
  PartitionT partition(name);
  ASSERT_TRUE(partition.Ok);
  EXPECT_EQ(3u, partition.Reader.RecordCount());
  EXPECT_EQ(std::make_pair(2L, 2L), partition.Term("a"));
}

TEST_F(IndexerTest, FieldsAndFlaggedWords) {
  auto indexer = Start(WORD_MODE);
  StatusCodeT status = StatusNoError;
  const std::string name120(120, 'f');
  const std::string name121(121, 'g');
  for (int r = 0; r < 3; ++r) {
    indexer->StartField(reinterpret_cast<const unsigned char*>(name120.data()),
                        name120.size(), &status);
    indexer->StartField(reinterpret_cast<const unsigned char*>(name121.data()),
                        name121.size(), &status);
    indexer->EndField(reinterpret_cast<const unsigned char*>("t"), 0, &status);
    WordTypeT word = Word("body");
    indexer->IndexWord(&word, &status);
    WordTypeT once = Word("once");
    EXPECT_EQ(6, indexer->IndexWordSpecial(&once, 1, 99, &status));
    WordTypeT empty = Word("");
    indexer->IndexWord(&empty, &status);
    indexer->IncrementRecord(nullptr, &status);
  }
  ASSERT_EQ(StatusNoError, status);
  // Fields are not counted as indexed words; the flagged word is.
  EXPECT_EQ(6u, indexer->WordsIndexed());
  std::string file = dir_.File("p");
  End(indexer.get(), file);
  indexer.reset();
  PartitionT partition(file);
  ASSERT_TRUE(partition.Ok);
  EXPECT_EQ(std::make_pair(3L, 3L), partition.Term(name120));
  EXPECT_EQ(-1, partition.Term(name121).first);
  EXPECT_EQ(std::make_pair(3L, 3L), partition.Term("body"));
  // Once per run, on the run's first record.
  EXPECT_EQ(1, partition.Term("once").first);
}

// A session's partition does not depend on its working memory: with the
// default memory the corpus below makes 15 to 60 runs (a record cut between
// two runs at nearly every spill) and, in word mode, two merge passes; with
// 1 MiB a few runs and one pass; with 16 MiB a single run. Record data, record IDs
// (stored and indexed) and document weights take part in every mode.
TEST_F(IndexerTest, PartitionBytesDoNotDependOnTheWorkingMemory) {
  const uint32_t flags = kOptionVariableRecordData | kOptionRecordData32 |
                         kOptionVariableRecordID | kOptionWeightLogSum;
  const uint64_t budgets[] = {0, 1 << 20, 16 << 20};
  for (uint32_t mode : {RECORD_MODE, WORD_MODE, IDF_MODE}) {
    std::string first;
    uint32_t runs[3] = {}, passes[3] = {};
    for (int b = 0; b < 3; ++b) {
      SCOPED_TRACE(testing::Message() << mode << " " << budgets[b]);
      StatusCodeT status = StatusNoError;
      IndexerT indexer(&status);
      IndexingOptionsT options = Options(mode, flags);
      options.WorkMemory = budgets[b];
      indexer.StartTextIndexingSession(&options, &status);
      ASSERT_EQ(StatusNoError, status);
      uint32_t seed = 12345;
      for (int record = 0; record < 3000; ++record) {
        const std::string id = "id" + std::to_string(record);
        const auto* idBytes = reinterpret_cast<const unsigned char*>(id.data());
        indexer.StoreRecordID(idBytes, id.size(), &status);
        indexer.IndexRecordID(idBytes, id.size(), &status);
        indexer.StoreRecordData(idBytes, id.size(), &status);
        // "z" is in records 1 to 14 and 16, a full record segment of 32
        // bits; record 16 fills the default word store, so that it spans
        // two runs there.
        WordTypeT z = Word("z");
        if (record < 14 || record == 15) indexer.IndexWord(&z, &status);
        for (int filler = 0; record == 15 && filler < 3000; ++filler) {
          WordTypeT word = Word("f" + std::to_string(filler));
          indexer.IndexWord(&word, &status);
        }
        if (record == 15) indexer.IndexWord(&z, &status);
        for (int w = 0; w < 80; ++w) {
          // Skewed: small numbers are frequent, a long tail is rare.
          seed = seed * 1103515245u + 12345u;
          const uint32_t r = (seed >> 8) % 4000;
          WordTypeT word = Word("w" + std::to_string(r * r / 4000 + r % 7));
          indexer.IndexWord(&word, &status);
        }
        indexer.IncrementRecord(nullptr, &status);
      }
      ASSERT_EQ(StatusNoError, status);
      const std::string name = dir_.File("p" + std::to_string(b));
      End(&indexer, name);
      runs[b] = indexer.RunsWritten();
      passes[b] = indexer.MergePasses();
      const std::string bytes = ReadWholeFile(name);
      if (b == 0) {
        first = bytes;
      } else {
        EXPECT_TRUE(bytes == first) << "partition differs";
      }
    }
    SCOPED_TRACE(mode);
    EXPECT_GT(runs[0], 2 * runs[1]);
    EXPECT_EQ(mode == WORD_MODE ? 2u : 1u, passes[0]);
    EXPECT_GT(runs[1], 1u);
    EXPECT_EQ(1u, passes[1]);
    EXPECT_EQ(1u, runs[2]);
    EXPECT_EQ(0u, passes[2]);
  }
}

TEST_F(IndexerTest, WorkingMemoryOutsideItsLimitsIsRefused) {
  for (uint64_t bytes : {uint64_t{1}, kDefaultIndexingMemory - 1,
                         kMaxIndexingMemory + 1}) {
    StatusCodeT status = StatusNoError;
    IndexerT indexer(&status);
    IndexingOptionsT options = Options(WORD_MODE);
    options.WorkMemory = bytes;
    indexer.StartTextIndexingSession(&options, &status);
    EXPECT_EQ(StatusMalformedParameter, status) << bytes;
    EXPECT_FALSE(indexer.IsStarted());
  }
  EXPECT_TRUE(dir_.Files().empty());
}

TEST_F(IndexerTest, CallsOutsideASession) {
  StatusCodeT status = StatusNoError;
  IndexerT indexer(&status);
  ASSERT_EQ(StatusNoError, status);
  WordTypeT word = Word("w");
  indexer.IndexWord(&word, &status);
  EXPECT_EQ(StatusNotInitializedForIndexing, status);
  status = StatusNoError;
  indexer.EndIndexingSession(nullptr, &status);
  EXPECT_EQ(StatusNotInitializedForIndexing, status);
  IndexingOptionsT options = Options(4);
  status = StatusNoError;
  indexer.StartTextIndexingSession(&options, &status);
  EXPECT_EQ(StatusMalformedParameter, status);

  auto ended = Start(RECORD_MODE);
  Feed(ended.get(), {"x"});
  End(ended.get(), dir_.File("p"));
  status = StatusNoError;
  ended->IndexWord(&word, &status);
  EXPECT_EQ(StatusNotInitializedForIndexing, status);
  status = StatusNoError;
  ended->IncrementRecord(nullptr, &status);
  EXPECT_EQ(StatusNotInitializedForIndexing, status);
}

TEST_F(IndexerTest, SessionFilesAreRemoved) {
  // While a session runs its temporary files exist; an empty session ends
  // without any, and so does one destroyed before it ended.
  for (bool end : {true, false}) {
    auto indexer =
        Start(IDF_MODE, kOptionVariableRecordData | kOptionRecordData32 |
                            kOptionVariableRecordID);
    Increment(indexer.get());
    EXPECT_FALSE(dir_.Files().empty());
    if (end) {
      StatusCodeT status = StatusNoError;
      indexer->EndIndexingSession(nullptr, &status);
      EXPECT_EQ(StatusNoError, status);
      EXPECT_TRUE(indexer->IsEmptySession());
      EXPECT_EQ(nullptr, indexer->GetIndexFile());
    }
    indexer.reset();
    EXPECT_TRUE(dir_.Files().empty());
  }
  // A partition under a temporary name goes with the indexer; one the
  // host named stays.
  for (bool named : {false, true}) {
    auto indexer = Start(WORD_MODE);
    // More postings than one run holds: a run is spilled to disk.
    Feed(indexer.get(), std::vector<std::string>(6000, "word"));
    EXPECT_GT(indexer->GetDiskSpaceUsage(), 0u);
    StatusCodeT status = StatusNoError;
    if (named) {
      indexer->SetFinalPositionAndFileName(dir_.File("kept").c_str(), &status);
    }
    indexer->EndIndexingSession(nullptr, &status);
    ASSERT_EQ(StatusNoError, status);
    EXPECT_EQ(1u, dir_.Files().size());
    indexer.reset();
    EXPECT_EQ(
        named ? std::vector<std::string>{"kept"} : std::vector<std::string>{},
        dir_.Files());
  }
  StatusCodeT status = StatusNoError;
  IndexerT indexer(&status);
  indexer.SetFinalPositionAndFileName(std::string(256, 'n').c_str(), &status);
  EXPECT_EQ(StatusMalformedParameter, status);
}

}  // namespace
