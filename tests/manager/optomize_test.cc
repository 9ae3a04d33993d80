// IndexOptomizerT on its own: the record-number table, the merged partition
// it writes (terms, renumbered postings, weights, record tables), a range
// whose records are all deleted, and inputs it must refuse or survive.

#include "manager/optomize.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "format/decoder.h"
#include "manager/creation_params.h"
#include "manager/index_header.h"
#include "manager/index_manager.h"
#include "query/document_weights.h"
#include "storage/fileclas.h"
#include "support/index_file_util.h"

namespace {

// A deleted-record set holding the given global record numbers.
class DeletedListT : public DeletedRecordSetT {
 public:
  explicit DeletedListT(std::set<uint32_t> records)
      : Records(std::move(records)) {}
  int IsRecordDeleted(uint32_t record) const override {
    return Records.count(record) != 0;
  }
  std::set<uint32_t> Records;
};

using RecordsT = std::vector<std::vector<std::string>>;

// A single-file index built session by session; the optimiser reads it.
class OptomizerTest : public IndexFileTest {
 protected:
  void Build(uint32_t mode, const std::vector<RecordsT>& sessions,
             uint32_t flags = 0, uint32_t fixedData = 0, uint16_t fixedID = 0) {
    IndexCreationParametersT* params = tvCreateIndexCreationParams(&status_);
    tvSetIndexCreationParams(params, IndexParamSingleFile, nullptr);
    tvSetIndexCreationParams(params, IndexParamIndexMode, &mode);
    tvSetIndexCreationParams(params, IndexParamFileName, Path());
    if (mode != RECORD_MODE) {
      tvSetIndexCreationParams(params, IndexParamWeightLogSum, nullptr);
    }
    params->OptionBlock[0] |= flags;
    params->FixedRecordDataLength = fixedData;
    params->FixedRecordIDLength = fixedID;
    tvCreateIndexEx(manager_, params, &status_);
    tvDeleteIndexCreationParams(params);
    ASSERT_EQ(StatusNoError, status_);
    ASSERT_EQ(StatusNoError, Open());
    uint32_t record = 0;
    for (const RecordsT& records : sessions) {
      IndexerT* indexer = tvStartIndexingSession(manager_, &status_);
      ASSERT_NE(nullptr, indexer);
      for (size_t r = 0; r < records.size(); ++r) {
        if (r > 0) tvIncrementRecord(indexer, nullptr, &status_);
        for (const std::string& text : records[r]) {
          WordTypeT word = MakeWord(text);
          tvIndexWord(indexer, &word, &status_);
        }
        // Record data and ID name the record by its number in the index.
        std::string name = "r" + std::to_string(++record);
        unsigned char* bytes = reinterpret_cast<unsigned char*>(&name[0]);
        tvStoreRecordData(indexer, bytes, name.size(), &status_);
        tvProcessRecordID(indexer, bytes, name.size(), 1, 0, &status_);
        ASSERT_EQ(StatusNoError, status_);
      }
      tvEndIndexingSession(manager_, indexer, nullptr, &status_);
      ASSERT_EQ(StatusNoError, status_);
    }
    tvStartRetrievalSession(manager_, &status_);
    ASSERT_EQ(StatusNoError, status_);
  }

  // Opens partitions first .. first + count - 1 of the index.
  int Load(IndexOptomizerT* merge, uint32_t first, uint32_t count,
           StatusCodeT* status) {
    return merge->LoadIndexFile(Path(), manager_->Partitions().Position(first),
                                count, status);
  }

  // Merges every partition with the given records deleted; the output, or
  // null with the status.
  std::unique_ptr<FileClassT> Merge(const std::set<uint32_t>& deleted,
                                    StatusCodeT* status) {
    DeletedListT list(deleted);
    IndexOptomizerT merge;
    if (Load(&merge, 0, manager_->NumPartitions(), status) &&
        merge.StartOptomizationSession(
            manager_->IndexFile().Header().OptionBlock, &list, 1, status)) {
      merge.Optomize(status);
    }
    return std::unique_ptr<FileClassT>(merge.GetOptomizedIndexFile());
  }
};

// The postings of a term in a partition: (record, word) pairs, word 1 and
// the count in record and IDF modes.
std::vector<std::pair<uint32_t, uint32_t>> Postings(PartitionReaderT* reader,
                                                    const std::string& term) {
  unsigned char key[256];
  key[0] = static_cast<unsigned char>(term.size());
  std::memcpy(key + 1, term.data(), term.size());
  WordIndexInfoT info;
  StatusCodeT status = StatusNoError;
  std::vector<std::pair<uint32_t, uint32_t>> postings;
  if (!reader->LookupTerm(key, &info, &status)) return postings;
  IndexDecompressorT decoder;
  EXPECT_EQ(1, decoder.StartDecompression(reader->File(), info));
  TermInstanceT hit;
  for (;;) {
    const int got = info.IndexMode == WORD_MODE
                        ? decoder.NextWordHit(&hit, 0, 0)
                        : decoder.GetRecordRM(hit);
    if (got != kDecodeDelivered) {
      EXPECT_EQ(kDecodeEnd, got);
      break;
    }
    postings.emplace_back(hit.RecordNumber, info.IndexMode == WORD_MODE
                                                ? hit.WordPosition
                                                : hit.Count);
  }
  return postings;
}

TEST_F(OptomizerTest, RecordNumberTableDropsDeletedRecords) {
  ASSERT_NO_FATAL_FAILURE(
      Build(RECORD_MODE, {{{"a"}, {"b"}, {"c"}}, {{"d"}, {"e"}, {"f"}}}));
  IndexOptomizerT merge;
  DeletedListT deleted({2, 5});
  ASSERT_EQ(1, Load(&merge, 0, 2, &status_));
  ASSERT_EQ(1, merge.StartOptomizationSession(nullptr, &deleted, 1, &status_));
  ASSERT_EQ(1, merge.SetUpRecordNumCompressorTable(&status_));
  const uint32_t expected[] = {0, 1, 0, 2, 3, 0, 4, 0};
  for (uint32_t r = 0; r <= 7; ++r) {
    EXPECT_EQ(expected[r], merge.GetNewRecordNumber(r)) << "record " << r;
  }
  EXPECT_EQ(6u, merge.MergedRecordCount());
  EXPECT_EQ(4u, merge.OutputRecordCount());
}

TEST_F(OptomizerTest, RecordNumberTableAcrossBlocks) {
  // Blocks of 256 records and pairs inside them; the range starts at the
  // index's record 1001 (the deleted set counts globally).
  RecordsT records(1500, std::vector<std::string>{"w"});
  ASSERT_NO_FATAL_FAILURE(Build(RECORD_MODE, {records}));
  std::mt19937 random(7);
  std::set<uint32_t> deleted;
  for (uint32_t r = 1; r <= 1500; ++r) {
    // Long runs of deleted and kept records, and scattered ones.
    if ((r > 300 && r <= 700) || (r > 900 && random() % 3 == 0)) {
      deleted.insert(1000 + r);
    }
  }
  DeletedListT list(deleted);
  IndexOptomizerT merge;
  ASSERT_EQ(1, Load(&merge, 0, 1, &status_));
  ASSERT_EQ(1, merge.StartOptomizationSession(nullptr, &list, 1001, &status_));
  ASSERT_EQ(1, merge.SetUpRecordNumCompressorTable(&status_));
  uint32_t kept = 0;
  for (uint32_t r = 1; r <= 1500; ++r) {
    const bool drop = deleted.count(1000 + r) != 0;
    if (!drop) ++kept;
    ASSERT_EQ(drop ? 0 : kept, merge.GetNewRecordNumber(r)) << r;
  }
  EXPECT_EQ(kept, merge.OutputRecordCount());
  EXPECT_EQ(0u, merge.GetNewRecordNumber(1501));
}

TEST_F(OptomizerTest, MergedPartitionHoldsTheKeptRecordsRenumbered) {
  const uint32_t flags = kOptionVariableRecordData | kOptionRecordData32 |
                         kOptionVariableRecordID | kOptionRecordID32;
  // Records 1-3, 4-5 and 6-7. Record 7 alone holds "zz".
  ASSERT_NO_FATAL_FAILURE(Build(WORD_MODE,
                                {{{"x", "a"}, {"b", "x", "x"}, {"c", "c", "c"}},
                                 {{"x"}, {"a", "b"}},
                                 {{"b", "x"}, {"zz"}}},
                                flags));
  std::vector<float> weights;
  for (uint32_t p = 0; p < 3; ++p) {
    DocumentWeightTableT table;
    ASSERT_EQ(1, table.Open(*manager_->Partitions().Reader(p), &status_));
    for (uint32_t r = 1; r <= manager_->Partitions().Reader(p)->RecordCount();
         ++r) {
      float weight = 0;
      ASSERT_EQ(1, table.Weight(r, &weight, &status_));
      weights.push_back(weight);
    }
  }
  std::unique_ptr<FileClassT> output = Merge({2, 7}, &status_);
  ASSERT_EQ(StatusNoError, status_);
  ASSERT_NE(nullptr, output);

  PartitionReaderT merged(0);
  ASSERT_TRUE(output->Seek(0));
  ASSERT_EQ(1, merged.ReadHeader(output.get(), &status_));
  const PartitionHeaderT& h = merged.Header();
  EXPECT_EQ(5u, h.RecordCount);
  EXPECT_EQ(4u, h.TermCount);  // a, b, c, x: zz went with record 7
  // Records 1, 3, 4, 5, 6 are now 1 to 5, positions kept.
  using P = std::vector<std::pair<uint32_t, uint32_t>>;
  EXPECT_EQ((P{{1, 1}, {3, 1}, {5, 2}}), Postings(&merged, "x"));
  EXPECT_EQ((P{{4, 2}, {5, 1}}), Postings(&merged, "b"));
  EXPECT_EQ((P{{2, 1}, {2, 2}, {2, 3}}), Postings(&merged, "c"));
  EXPECT_EQ(P{}, Postings(&merged, "zz"));

  // Exact weights follow their records; the scale spans the kept ones.
  const std::vector<float> kept = {weights[0], weights[2], weights[3],
                                   weights[4], weights[5]};
  DocumentWeightTableT table;
  ASSERT_EQ(1, table.Open(merged, &status_));
  for (uint32_t r = 1; r <= 5; ++r) {
    float weight = 0;
    ASSERT_EQ(1, table.Weight(r, &weight, &status_));
    EXPECT_EQ(kept[r - 1], weight) << r;
  }
  EXPECT_EQ(*std::max_element(kept.begin(), kept.end()), h.LargestWeight);
  std::unique_ptr<IndexDecompressorT> levels(merged.GetTermCounts(&status_));
  ASSERT_NE(nullptr, levels);
  for (uint32_t r = 1; r <= 5; ++r) {
    float weight = 0;
    uint32_t words = 0;
    ASSERT_EQ(kDecodeDelivered, levels->NextDocWeight(&weight, &words, r));
    EXPECT_EQ((std::vector<uint32_t>{2, 3, 1, 2, 2}[r - 1]), words) << r;
  }

  // Record data and IDs follow their records.
  const char* names[] = {"r1", "r3", "r4", "r5", "r6"};
  for (uint32_t r = 1; r <= 5; ++r) {
    unsigned char buffer[16];
    uint32_t got = 0;
    TarvisDataCursorT cursor = {};
    ASSERT_EQ(1, merged.ReadRecordInfo(buffer, sizeof(buffer), &got, r, &cursor,
                                       &status_));
    EXPECT_EQ(names[r - 1], std::string(reinterpret_cast<char*>(buffer), got));
    ASSERT_EQ(1,
              merged.ReadRecordID(buffer, sizeof(buffer), &got, r, &status_));
    EXPECT_EQ(names[r - 1], std::string(reinterpret_cast<char*>(buffer), got));
  }
  EXPECT_EQ(StatusNoError, status_);
}

TEST_F(OptomizerTest, FixedLengthTablesFollowTheirRecords) {
  // Data of 4 bytes ("rN" padded), IDs of 2 bytes ("rNN" cut).
  ASSERT_NO_FATAL_FAILURE(Build(
      RECORD_MODE,
      {{{"a"}, {"b"}, {"c"}}, std::vector<std::vector<std::string>>(9, {"d"})},
      kOptionFixedRecordData | kOptionFixedRecordID, 4, 2));
  std::unique_ptr<FileClassT> output = Merge({2, 4, 11}, &status_);
  ASSERT_NE(nullptr, output);
  PartitionReaderT merged(0);
  ASSERT_TRUE(output->Seek(0));
  ASSERT_EQ(1, merged.ReadHeader(output.get(), &status_));
  const std::vector<std::string> kept = {"r1", "r3", "r5",  "r6", "r7",
                                         "r8", "r9", "r10", "r12"};
  ASSERT_EQ(kept.size(), merged.RecordCount());
  for (uint32_t r = 1; r <= kept.size(); ++r) {
    unsigned char buffer[8];
    uint32_t got = 0;
    TarvisDataCursorT cursor = {};
    ASSERT_EQ(1, merged.ReadRecordInfo(buffer, sizeof(buffer), &got, r, &cursor,
                                       &status_));
    std::string data = kept[r - 1].substr(0, 4);
    data.resize(4, '\0');
    EXPECT_EQ(data, std::string(reinterpret_cast<char*>(buffer), got)) << r;
    ASSERT_EQ(1,
              merged.ReadRecordID(buffer, sizeof(buffer), &got, r, &status_));
    EXPECT_EQ(kept[r - 1].substr(0, 2),
              std::string(reinterpret_cast<char*>(buffer), got))
        << r;
  }
  EXPECT_EQ(StatusNoError, status_);
}

TEST_F(OptomizerTest, KeptRecordsWithoutWordsMakeAPartition) {
  ASSERT_NO_FATAL_FAILURE(Build(WORD_MODE, {{{"a"}, {}, {"b"}}},
                                kOptionVariableRecordData));
  std::unique_ptr<FileClassT> output = Merge({1, 3}, &status_);
  ASSERT_EQ(StatusNoError, status_);
  ASSERT_NE(nullptr, output);
  PartitionReaderT merged(0);
  ASSERT_TRUE(output->Seek(0));
  ASSERT_EQ(1, merged.ReadHeader(output.get(), &status_));
  EXPECT_EQ(1u, merged.RecordCount());
  EXPECT_EQ(0u, merged.Header().WordIndexFlag);
  EXPECT_EQ(0u, merged.Header().TermCount);
  unsigned char buffer[8];
  uint32_t got = 0;
  TarvisDataCursorT cursor = {};
  ASSERT_EQ(1, merged.ReadRecordInfo(buffer, sizeof(buffer), &got, 1, &cursor,
                                     &status_));
  EXPECT_EQ("r2", std::string(reinterpret_cast<char*>(buffer), got));
}

TEST_F(OptomizerTest, EveryRecordDeletedLeavesNoOutput) {
  ASSERT_NO_FATAL_FAILURE(Build(IDF_MODE, {{{"a"}, {"b"}}, {{"a", "c"}}}));
  const std::vector<std::string> before = dir_.Files();
  {
    std::unique_ptr<FileClassT> output = Merge({1, 2, 3}, &status_);
    EXPECT_EQ(StatusNoDataAfterOptomization, status_);
    EXPECT_EQ(nullptr, output);
  }
  EXPECT_EQ(before, dir_.Files());  // no temporary file left behind
}

TEST_F(OptomizerTest, RefusesWhatItCannotMerge) {
  ASSERT_NO_FATAL_FAILURE(Build(RECORD_MODE, {{{"a"}}, {{"b"}}}));
  {
    IndexOptomizerT merge;
    merge.LoadIndexFile(Path(), manager_->Partitions().Position(0) + 1, 1,
                        &status_);
    EXPECT_EQ(StatusNotIndexFile, status_);
  }
  {
    status_ = StatusNoError;
    IndexOptomizerT merge;
    merge.LoadIndexFile(Path(), manager_->Partitions().Position(0),
                        IndexOptomizerT::kMaxInputs + 1, &status_);
    EXPECT_EQ(StatusMalformedParameter, status_);
  }
  {
    status_ = StatusNoError;
    IndexOptomizerT merge;
    merge.AddIndexPartition(dir_.File("missing").c_str(), 0, &status_);
    EXPECT_EQ(StatusCannotOpenFile, status_);
  }
}

TEST_F(OptomizerTest, DamagedInputsGiveAStatus) {
  std::vector<RecordsT> sessions(2);
  std::mt19937 random(11);
  for (RecordsT& records : sessions) {
    for (int r = 0; r < 60; ++r) {
      std::vector<std::string> words;
      for (int w = 0; w < 12; ++w)
        words.push_back("w" + std::to_string(random() % 40));
      records.push_back(words);
    }
  }
  ASSERT_NO_FATAL_FAILURE(Build(
      WORD_MODE, sessions, kOptionVariableRecordData | kOptionRecordData32));
  const uint32_t start = manager_->Partitions().Position(0);
  const uint32_t end = manager_->IndexFile().Header().AppendPosition;
  tvCloseIndex(manager_, &status_);
  const std::string intact = Bytes();
  // Bytes of the partitions changed at random: the merge may succeed or
  // fail, but never reads outside what it holds.
  for (int round = 0; round < 40; ++round) {
    std::string damaged = intact;
    for (int k = 0; k < 4; ++k) {
      damaged[start + kPartitionHeaderSize +
              random() % (end - start - kPartitionHeaderSize)] ^=
          static_cast<char>(1 + random() % 255);
    }
    WriteWholeFile(path_, damaged);
    IndexOptomizerT merge;
    StatusCodeT status = StatusNoError;
    if (merge.LoadIndexFile(Path(), start, 2, &status) &&
        merge.StartOptomizationSession(nullptr, nullptr, 1, &status)) {
      merge.Optomize(&status);
    }
    EXPECT_TRUE(status <= 0) << status;
  }
}

}  // namespace
