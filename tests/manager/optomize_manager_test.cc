// Optimisation through the index manager and the exported functions: the
// choice of a range, the refusals, indexes of both kinds built in many
// sessions and optimised step by step (explicit ranges, little and big
// optimisations, more than one merge can take) that must answer Boolean and
// ranked queries as an index built from the surviving records alone, ranges
// whose records are all deleted, deletions made while an optimisation is
// pending, and an end cut short.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "manager/creation_params.h"
#include "manager/index_manager.h"
#include "query/partition_reader.h"
#include "query/uncompressed_vector.h"
#include "support/index_answers.h"
#include "support/index_file_util.h"
#include "support/temp_dir.h"

namespace {

struct ModelRecordT {
  std::string Key;  // its record ID, indexed
  std::string Data;
  std::vector<std::string> Words;
};

// Makes an index file: single-file or distributed, in the given mode, with
// variable record data and IDs; a document weight in modes 2 (log sum) and
// 3 (maximum frequency).
void CreateIndex(IndexManagerT* manager, const std::string& path, uint32_t mode,
                 bool distributed) {
  StatusCodeT status = StatusNoError;
  IndexCreationParametersT* params = FullIndexParams(path, mode, distributed);
  tvCreateIndexEx(manager, params, &status);
  tvDeleteIndexCreationParams(params);
  ASSERT_EQ(StatusNoError, status);
  tvOpenIndex(manager, const_cast<char*>(path.c_str()), &status);
  ASSERT_EQ(StatusNoError, status);
  tvStartRetrievalSession(manager, &status);
  ASSERT_EQ(StatusNoError, status);
}

// One indexing session of the records; partitionFile names the partition
// of a distributed index.
void IndexSession(IndexManagerT* manager,
                  const std::vector<const ModelRecordT*>& records,
                  const std::string& partitionFile) {
  StatusCodeT status = StatusNoError;
  IndexerT* indexer = tvStartIndexingSession(manager, &status);
  ASSERT_NE(nullptr, indexer);
  if (!partitionFile.empty()) {
    tvSetFinalIndexDataPosition(
        indexer, const_cast<char*>(partitionFile.c_str()), &status);
  }
  for (size_t r = 0; r < records.size(); ++r) {
    if (r > 0) tvIncrementRecord(indexer, nullptr, &status);
    for (const std::string& text : records[r]->Words) {
      WordTypeT word = MakeWord(text);
      tvIndexWord(indexer, &word, &status);
    }
    tvStoreRecordData(indexer, RawBytes(records[r]->Data), records[r]->Data.size(),
                      &status);
    tvProcessRecordID(indexer, RawBytes(records[r]->Key), records[r]->Key.size(), 1,
                      1, &status);
    ASSERT_EQ(StatusNoError, status);
  }
  tvEndIndexingSession(manager, indexer, nullptr, &status);
  ASSERT_EQ(StatusNoError, status);
}

std::string RecordData(IndexManagerT* manager, uint32_t record) {
  std::string data;
  unsigned char buffer[4096];
  unsigned long got = 0;
  TarvisDataCursorT cursor = {};
  StatusCodeT status = StatusNoError;
  tvRetrieveRecordData(manager, buffer, sizeof(buffer), &got, record, &cursor,
                       &status);
  while (status == StatusNoError && got > 0) {
    data.append(reinterpret_cast<char*>(buffer), got);
    if (cursor.Done) break;
    tvRetrieveMoreRecordData(manager, buffer, sizeof(buffer), &got, &cursor,
                             &status);
  }
  EXPECT_EQ(StatusNoError, status);
  return data;
}

std::string RecordID(IndexManagerT* manager, uint32_t record) {
  unsigned char id[256];
  unsigned long length = 0;
  StatusCodeT status = StatusNoError;
  tvRetrieveRecordID(manager, id, sizeof(id), &length, nullptr, record,
                     &status);
  EXPECT_EQ(StatusNoError, status);
  return std::string(reinterpret_cast<char*>(id), length);
}

using HitsT = std::vector<std::pair<uint32_t, uint32_t>>;  // record, word
using ScoresT = std::vector<std::pair<uint32_t, float>>;   // record, score

HitsT BooleanHits(IndexManagerT* manager, const std::string& query) {
  StatusCodeT status = StatusNoError;
  std::unique_ptr<UncompressedQueryVectorT> vector(manager->ProcessQuery(
      reinterpret_cast<const unsigned char*>(query.c_str()), &status));
  EXPECT_EQ(StatusNoError, status) << query;
  HitsT hits;
  while (vector != nullptr && vector->IsPositioned() && status == 0) {
    hits.emplace_back(vector->CurrentRecord(), vector->CurrentWord());
    vector->NextHit(&status);
  }
  return hits;
}

ScoresT RankedHits(IndexManagerT* manager, const std::string& query) {
  StatusCodeT status = StatusNoError;
  std::unique_ptr<QueryVectorBaseT> vector(manager->ProcessRankedQuery(
      reinterpret_cast<const unsigned char*>(query.c_str()), nullptr, &status));
  EXPECT_EQ(StatusNoError, status) << query;
  ScoresT hits;
  while (vector != nullptr && vector->IsPositioned() && status == 0) {
    hits.emplace_back(vector->CurrentRecord(), vector->CurrentHit().Weight);
    vector->NextHit(&status);
  }
  return hits;
}

const std::vector<std::string>& BooleanQueries() {
  static const std::vector<std::string> queries = {
      HexTerm("w0"),
      HexTerm("w1") + " & " + HexTerm("w2"),
      HexTerm("w3") + " | " + HexTerm("w11"),
      HexTerm("w0") + " ! " + HexTerm("w5"),
      HexTerm("w9") + " ^ " + HexTerm("w1"),
      "\"" + HexTerm("w1") + " " + HexTerm("w2") + "\"",
      HexTerm("w2") + " w3 " + HexTerm("w6"),
      "0x7731*",
      HexTerm("w12") + " - " + HexTerm("w15"),
  };
  return queries;
}

const std::vector<std::string>& RankedQueries() {
  static const std::vector<std::string> queries = {
      HexTerm("w0") + " " + HexTerm("w3") + " " + HexTerm("w17"),
      "+" + HexTerm("w1") + " " + HexTerm("w2") + " -" + HexTerm("w4"),
      "0x7731*",
  };
  return queries;
}

// An index under test and what it must hold: the records of each
// partition, in order, and the deleted ones. Its answers are compared with
// those of an index built from the surviving records alone.
class OptomizeModelTest : public testing::Test {
 protected:
  void SetUp() override {
    manager_ = tvCreateIndexManager(&status_);
    ASSERT_NE(nullptr, manager_);
  }
  void TearDown() override {
    tvCloseIndex(manager_, &status_);
    tvDeleteIndexManager(manager_, &status_);
  }

  // sessions sessions of perSession records; the first record of the
  // sessions in big holds a record data of 140000 bytes. A tenth of the
  // records take the ID of an earlier one, as an update would.
  void Build(uint32_t mode, bool distributed, int sessions, int perSession,
             std::set<int> big = {}) {
    mode_ = mode;
    distributed_ = distributed;
    ASSERT_NO_FATAL_FAILURE(CreateIndex(manager_, path_, mode, distributed));
    ASSERT_NO_FATAL_FAILURE(AddSessions(sessions, perSession, big));
  }

  void AddSessions(int sessions, int perSession, std::set<int> big = {}) {
    for (int s = 0; s < sessions; ++s) {
      std::vector<int> ids;
      for (int r = 0; r < perSession; ++r) {
        const int id = static_cast<int>(records_.size());
        ModelRecordT record;
        record.Key = id > 5 && random_() % 10 == 0
                         ? records_[random_() % id].Key
                         : "k" + std::to_string(id);
        record.Data = record.Key + "#" + std::to_string(id);
        if (r == 0 && big.count(s)) record.Data.append(140000, 'x');
        const int words = 3 + random_() % 12;
        for (int w = 0; w < words; ++w) {
          const int a = random_() % 20;
          const int b = random_() % 20;
          record.Words.push_back("w" + std::to_string(std::min(a, b)));
        }
        records_.push_back(record);
        ids.push_back(id);
      }
      ASSERT_NO_FATAL_FAILURE(AddSession(ids));
    }
  }

  void AddSession(const std::vector<int>& ids) {
    std::vector<const ModelRecordT*> records;
    for (int id : ids) records.push_back(&records_[id]);
    const std::string file =
        distributed_ ? dir_.File("part-" + std::to_string(parts_.size()) + "-" +
                                 std::to_string(files_++))
                     : "";
    ASSERT_NO_FATAL_FAILURE(IndexSession(manager_, records, file));
    parts_.push_back(ids);
  }

  std::vector<int> Layout() const {
    std::vector<int> layout;
    for (const std::vector<int>& part : parts_) {
      layout.insert(layout.end(), part.begin(), part.end());
    }
    return layout;
  }

  // Deletes a share of the records (global numbers) at random.
  void DeleteSome(int percent) {
    const std::vector<int> layout = Layout();
    for (uint32_t r = 1; r <= layout.size(); ++r) {
      if (static_cast<int>(random_() % 100) >= percent) continue;
      tvDeleteRecordNum(manager_, r, &status_);
      ASSERT_EQ(StatusNoError, status_);
      deleted_.insert(layout[r - 1]);
    }
  }

  // An optimisation of partitions first to last has started: it drops the
  // records deleted now.
  void Started(int first, int last) {
    pendingFirst_ = first;
    pendingLast_ = last;
    pendingDropped_.clear();
    for (int p = first; p <= last; ++p) {
      for (int id : parts_[p]) {
        if (deleted_.count(id)) pendingDropped_.insert(id);
      }
    }
  }

  // Ends it (a distributed index gets a new file and loses the old ones).
  void End() {
    const std::string file = dir_.File("merged-" + std::to_string(files_++));
    tvEndOptomization(manager_, const_cast<char*>(file.c_str()), 1, &status_);
    ASSERT_EQ(StatusNoError, status_);
    std::vector<int> merged;
    for (int p = pendingFirst_; p <= pendingLast_; ++p) {
      for (int id : parts_[p]) {
        if (!pendingDropped_.count(id)) merged.push_back(id);
      }
    }
    for (int id : pendingDropped_) deleted_.erase(id);
    parts_.erase(parts_.begin() + pendingFirst_,
                 parts_.begin() + pendingLast_ + 1);
    if (!merged.empty()) parts_.insert(parts_.begin() + pendingFirst_, merged);
  }

  // Runs one optimisation through the exported functions, ending it.
  void Optomize(int first, int last,
                void (*start)(IndexManagerT*, long, StatusCodeT*),
                long argument) {
    Started(first, last);
    bool everyRecord = true;
    for (int p = first; p <= last; ++p) {
      for (int id : parts_[p]) everyRecord = everyRecord && deleted_.count(id);
    }
    start(manager_, argument, &status_);
    ASSERT_EQ(everyRecord ? StatusNoDataAfterOptomization : StatusNoError,
              status_);
    ASSERT_NO_FATAL_FAILURE(End());
  }

  // What an index of the surviving records alone answers, the records
  // given by their place in records_.
  struct AnswersT {
    std::vector<std::set<std::pair<int, uint32_t>>> Boolean;
    std::vector<ScoresT> Ranked;
    std::vector<std::map<int, float>> Scores;
  };

  AnswersT Answers(IndexManagerT* manager, const std::vector<int>& layout) {
    AnswersT answers;
    for (const std::string& query : BooleanQueries()) {
      std::set<std::pair<int, uint32_t>> hits;
      for (const auto& hit : BooleanHits(manager, query)) {
        hits.emplace(layout.at(hit.first - 1), hit.second);
      }
      answers.Boolean.push_back(hits);
    }
    for (const std::string& query : RankedQueries()) {
      answers.Ranked.push_back(RankedHits(manager, query));
      std::map<int, float> scores;
      for (const auto& hit : answers.Ranked.back()) {
        scores[layout.at(hit.first - 1)] = hit.second;
      }
      answers.Scores.push_back(scores);
    }
    return answers;
  }

  const AnswersT& FreshAnswers(const std::vector<int>& alive) {
    if (alive == freshAlive_) return fresh_;
    IndexManagerT* fresh = tvCreateIndexManager(&status_);
    const std::string path = dir_.File("fresh-" + std::to_string(files_++));
    CreateIndex(fresh, path, mode_, false);
    std::vector<const ModelRecordT*> records;
    for (int id : alive) records.push_back(&records_[id]);
    IndexSession(fresh, records, "");
    fresh_ = Answers(fresh, alive);
    freshAlive_ = alive;
    tvCloseIndex(fresh, &status_);
    tvDeleteIndexManager(fresh, &status_);
    std::remove(path.c_str());
    return fresh_;
  }

  // The index holds what the model says and answers as the fresh index:
  // hits and scores record by record; with no deleted record left, the
  // ranked lists in the same order.
  void Check() {
    const std::vector<int> layout = Layout();
    std::vector<int> alive;
    for (int id : layout) {
      if (!deleted_.count(id)) alive.push_back(id);
    }
    unsigned long count = 0;
    tvNumberOfRecordsInIndex(manager_, &count, &status_);
    ASSERT_EQ(layout.size(), count);
    EXPECT_EQ(parts_.size() - (parts_.empty() ? 0 : 1),
              tvGetNumberOfUnoptomizedInsertions(manager_));
    std::map<std::string, uint32_t> newest;
    for (uint32_t r = 1; r <= layout.size(); ++r) {
      const ModelRecordT& record = records_[layout[r - 1]];
      ASSERT_EQ(record.Data, RecordData(manager_, r)) << "record " << r;
      ASSERT_EQ(record.Key, RecordID(manager_, r)) << "record " << r;
      const bool deleted = deleted_.count(layout[r - 1]) != 0;
      ASSERT_EQ(deleted ? 1 : 0, tvIsRecordDeleted(manager_, r, &status_));
      if (!deleted) newest[record.Key] = r;
    }
    if (layout.empty()) return;
    for (const auto& [key, record] : newest) {
      unsigned long found = 0;
      tvFindRecordID(manager_, const_cast<char*>(HexTerm(key).c_str()), &found,
                     &status_);
      EXPECT_EQ(record, found) << key;
    }

    const AnswersT& expected = FreshAnswers(alive);
    const AnswersT actual = Answers(manager_, layout);
    for (size_t q = 0; q < BooleanQueries().size(); ++q) {
      EXPECT_EQ(expected.Boolean[q], actual.Boolean[q]) << BooleanQueries()[q];
    }
    // Scores with the maximum-frequency weight count the deleted records
    // that are still in the index.
    if (mode_ == IDF_MODE && alive.size() != layout.size()) return;
    for (size_t q = 0; q < RankedQueries().size(); ++q) {
      EXPECT_EQ(expected.Scores[q], actual.Scores[q]) << RankedQueries()[q];
      if (alive.size() == layout.size()) {
        EXPECT_EQ(expected.Ranked[q], actual.Ranked[q]) << RankedQueries()[q];
      }
    }
  }

  int PartitionCount() const { return static_cast<int>(parts_.size()); }

  // Nothing is left of the partitions the optimisations replaced, of their
  // passes or of a new index file.
  void ExpectNoFilesLeft() const {
    for (const std::string& name : dir_.Files()) {
      if (distributed_ && PartitionCount() == 1) {
        EXPECT_EQ(std::string::npos, name.find("part-")) << name;
      }
      EXPECT_EQ(std::string::npos, name.find(".tmp")) << name;
      EXPECT_EQ(std::string::npos,
                name.find(IndexOptomizationT::kOptomizedSuffix))
          << name;
    }
  }

  ScopedTempDirT dir_;
  std::string path_ = dir_.File("index.tvx");
  IndexManagerT* manager_ = nullptr;
  StatusCodeT status_ = StatusNoError;
  std::mt19937 random_{2024};
  uint32_t mode_ = RECORD_MODE;
  bool distributed_ = false;
  std::vector<ModelRecordT> records_;
  std::vector<std::vector<int>> parts_;
  std::set<int> deleted_;
  int pendingFirst_ = 0;
  int pendingLast_ = 0;
  std::set<int> pendingDropped_;
  int files_ = 0;
  std::vector<int> freshAlive_ = {-1};
  AnswersT fresh_;
};

void OptomizeLast(IndexManagerT* manager, long partitions,
                  StatusCodeT* status) {
  tvOptomizeIndex(manager, static_cast<unsigned long>(partitions), status);
}

void Perform(IndexManagerT* manager, long big, StatusCodeT* status) {
  tvPerformOptomization(manager, static_cast<BooleanT>(big), status);
}

class OptomizeModesTest
    : public OptomizeModelTest,
      public testing::WithParamInterface<std::tuple<uint32_t, bool>> {};

TEST_P(OptomizeModesTest, AnswersAsAnIndexOfTheSurvivorsAlone) {
  const auto [mode, distributed] = GetParam();
  random_.seed(mode * 2 + distributed);
  // Two partitions too large for the first little threshold.
  ASSERT_NO_FATAL_FAILURE(Build(mode, distributed, 12, 12, {0, 7}));
  ASSERT_NO_FATAL_FAILURE(DeleteSome(20));
  ASSERT_NO_FATAL_FAILURE(Check());

  // An explicit range: the last three partitions.
  ASSERT_NO_FATAL_FAILURE(Optomize(9, 11, OptomizeLast, 3));
  ASSERT_NO_FATAL_FAILURE(Check());
  ASSERT_NO_FATAL_FAILURE(DeleteSome(10));
  ASSERT_NO_FATAL_FAILURE(Check());

  // A little optimisation takes the small partitions between the large.
  EXPECT_EQ(1, tvIndexNeedsLittleOptomization(manager_, &status_));
  int first = -1;
  int last = -1;
  manager_->GetOptomizationBounds(&first, &last, 0);
  EXPECT_EQ(1, first);
  EXPECT_EQ(6, last);
  ASSERT_NO_FATAL_FAILURE(Optomize(first, last, Perform, 0));
  ASSERT_NO_FATAL_FAILURE(Check());

  // Big optimisations until none is needed: partitions with deleted
  // records alone, then everything.
  for (int round = 0; tvIndexNeedsBigOptomization(manager_, &status_);
       ++round) {
    ASSERT_LT(round, 12);
    manager_->GetOptomizationBounds(&first, &last, 1);
    ASSERT_GE(first, 0);
    ASSERT_NO_FATAL_FAILURE(Optomize(first, last, Perform, 1));
    ASSERT_NO_FATAL_FAILURE(Check());
  }
  EXPECT_EQ(StatusNoError, status_);
  EXPECT_EQ(1, PartitionCount());
  EXPECT_TRUE(deleted_.empty());
  EXPECT_EQ(0, tvIndexNeedsLittleOptomization(manager_, &status_));

  ExpectNoFilesLeft();
}

INSTANTIATE_TEST_SUITE_P(ModesAndKinds, OptomizeModesTest,
                         testing::Combine(testing::Values(RECORD_MODE,
                                                          WORD_MODE, IDF_MODE),
                                          testing::Bool()));

class OptomizeKindsTest : public OptomizeModelTest,
                          public testing::WithParamInterface<bool> {};

TEST_P(OptomizeKindsTest, MoreThanOneMergeTakes) {
  const int partitions = IndexOptomizationT::kMaxMergeInputs + 3;
  ASSERT_NO_FATAL_FAILURE(Build(WORD_MODE, GetParam(), partitions, 2));
  ASSERT_NO_FATAL_FAILURE(DeleteSome(15));
  ASSERT_NO_FATAL_FAILURE(
      Optomize(1, partitions - 1, OptomizeLast, partitions - 1));
  ASSERT_EQ(2, PartitionCount());
  ASSERT_NO_FATAL_FAILURE(Check());
  ExpectNoFilesLeft();
}

TEST_P(OptomizeKindsTest, RangeOfDeletedRecordsDisappears) {
  ASSERT_NO_FATAL_FAILURE(Build(IDF_MODE, GetParam(), 5, 3));
  // The last two partitions and, later, one in the middle lose every record.
  for (uint32_t r : {10, 11, 12, 13, 14, 15, 4, 5, 6}) {
    tvDeleteRecordNum(manager_, r, &status_);
    deleted_.insert(static_cast<int>(r - 1));
  }
  tvDeleteRecordNum(manager_, 8, &status_);
  deleted_.insert(7);
  ASSERT_NO_FATAL_FAILURE(Optomize(3, 4, OptomizeLast, 2));
  ASSERT_EQ(3, PartitionCount());
  ASSERT_NO_FATAL_FAILURE(Check());

  // The deletion rule picks the middle partition, all of it deleted.
  int first = -1;
  int last = -1;
  manager_->GetOptomizationBounds(&first, &last, 1);
  ASSERT_EQ(1, first);
  ASSERT_EQ(1, last);
  ASSERT_NO_FATAL_FAILURE(Optomize(1, 1, Perform, 1));
  ASSERT_EQ(2, PartitionCount());
  ASSERT_NO_FATAL_FAILURE(Check());

  // Every partition at once: nothing is left.
  for (uint32_t r = 1; r <= 6; ++r) {
    tvDeleteRecordNum(manager_, r, &status_);
    deleted_.insert(static_cast<int>(Layout()[r - 1]));
  }
  ASSERT_NO_FATAL_FAILURE(Optomize(0, 1, OptomizeLast, 2));
  EXPECT_EQ(0, PartitionCount());
  ASSERT_NO_FATAL_FAILURE(Check());
  tvCloseIndex(manager_, &status_);
  ASSERT_EQ(StatusNoError, status_);
  tvOpenIndex(manager_, const_cast<char*>(path_.c_str()), &status_);
  ASSERT_EQ(StatusNoError, status_);
  EXPECT_EQ(0u, tvGetNumberOfUnoptomizedInsertions(manager_));
  // The index takes new sessions as a new one does.
  tvStartRetrievalSession(manager_, &status_);
  ASSERT_NO_FATAL_FAILURE(AddSession({0, 1}));
  deleted_.clear();
  ASSERT_NO_FATAL_FAILURE(Check());
}

TEST_P(OptomizeKindsTest, DeletionsWhilePendingFollowTheirRecords) {
  ASSERT_NO_FATAL_FAILURE(Build(WORD_MODE, GetParam(), 3, 3));
  tvDeleteRecordNum(manager_, 5, &status_);
  deleted_.insert(4);
  Started(1, 2);
  tvOptomizeIndex(manager_, 2, &status_);
  ASSERT_EQ(StatusNoError, status_);
  // Pending: the old partitions answer, a second optimisation waits.
  EXPECT_EQ(0, tvIndexNeedsBigOptomization(manager_, &status_));
  tvPerformOptomization(manager_, 1, &status_);
  EXPECT_EQ(StatusIndexLocked, status_);
  ASSERT_NO_FATAL_FAILURE(Check());
  // Record 8 stays in the merged partition, deleted; record 5 was dropped
  // and does not come back; record 2 lies before the range.
  for (uint32_t r : {8, 2}) {
    tvDeleteRecordNum(manager_, r, &status_);
    deleted_.insert(static_cast<int>(r - 1));
  }
  tvUnDeleteRecordNum(manager_, 5, &status_);
  deleted_.erase(4);
  ASSERT_NO_FATAL_FAILURE(End());
  ASSERT_NO_FATAL_FAILURE(Check());
  unsigned long out[8] = {};
  ASSERT_EQ(2u, tvGetNumberOfRecordsDeleted(manager_, &status_));
  tvOutputDeletedRecords(manager_, out, &status_);
  EXPECT_EQ(2u, out[0]);
  EXPECT_EQ(7u, out[1]);
  // Written with the index, they come back after a reopen.
  tvCloseIndex(manager_, &status_);
  tvOpenIndex(manager_, const_cast<char*>(path_.c_str()), &status_);
  tvStartRetrievalSession(manager_, &status_);
  ASSERT_NO_FATAL_FAILURE(Check());
}

INSTANTIATE_TEST_SUITE_P(SingleFileAndDistributed, OptomizeKindsTest,
                         testing::Bool());

// ---- Refusals and bookkeeping -----------------------------------------------

TEST_F(OptomizeModelTest, RefusalsAndNothingToDo) {
  EXPECT_EQ(0u, tvGetNumberOfUnoptomizedInsertions(nullptr));
  EXPECT_EQ(0u, tvGetNumberOfUnoptomizedInsertions(manager_));
  tvOptomizeIndex(manager_, 2, &status_);
  EXPECT_EQ(StatusIndexNotLoaded, status_);
  tvOptomizeIndex(nullptr, 2, &status_);
  EXPECT_EQ(StatusNotIndexFile, status_);

  ASSERT_NO_FATAL_FAILURE(Build(RECORD_MODE, false, 0, 0));
  EXPECT_EQ(0u, tvGetNumberOfUnoptomizedInsertions(manager_));
  EXPECT_EQ(0, tvIndexNeedsLittleOptomization(manager_, &status_));
  EXPECT_EQ(StatusIndexEmpty, status_);
  tvOptomizeIndex(manager_, 1, &status_);
  EXPECT_EQ(StatusMalformedParameter, status_);
  ASSERT_NO_FATAL_FAILURE(AddSessions(5, 2));
  EXPECT_EQ(4u, tvGetNumberOfUnoptomizedInsertions(manager_));
  for (unsigned long n : {0ul, 6ul}) {
    tvOptomizeIndex(manager_, n, &status_);
    EXPECT_EQ(StatusMalformedParameter, status_) << n;
  }
  // Ending with nothing pending does nothing.
  tvEndOptomization(manager_, nullptr, 0, &status_);
  EXPECT_EQ(StatusNoError, status_);
  tvEndRetrievalSession(manager_, &status_);
  EXPECT_EQ(0, tvIndexNeedsBigOptomization(manager_, &status_));
  EXPECT_EQ(StatusNotInitializedForSearching, status_);
  // Outside a retrieval session the partitions are loaded for the merge.
  tvOptomizeIndex(manager_, 5, &status_);
  EXPECT_EQ(StatusNoError, status_);
  tvOptomizeIndex(manager_, 2, &status_);
  EXPECT_EQ(StatusIndexLocked, status_);
  tvEndOptomization(manager_, nullptr, 0, &status_);
  EXPECT_EQ(StatusNoError, status_);
  EXPECT_EQ(0u, tvGetNumberOfUnoptomizedInsertions(manager_));
  tvStartRetrievalSession(manager_, &status_);
  parts_ = {Layout()};
  ASSERT_NO_FATAL_FAILURE(Check());

  // A read-only index is not optimised.
  tvCloseIndex(manager_, &status_);
  ASSERT_EQ(0, chmod(path_.c_str(), 0444));
  // Whoever may write any file (root) opens it for writing all the same.
  if (access(path_.c_str(), W_OK) == 0) return;
  tvOpenIndex(manager_, const_cast<char*>(path_.c_str()), &status_);
  tvOptomizeIndex(manager_, 1, &status_);
  EXPECT_EQ(StatusFileReadOnly, status_);
}

TEST_F(OptomizeModelTest, DistributedEndNeedsAFreshFileName) {
  ASSERT_NO_FATAL_FAILURE(Build(RECORD_MODE, true, 3, 2));
  Started(1, 2);
  tvOptomizeIndex(manager_, 2, &status_);
  ASSERT_EQ(StatusNoError, status_);
  tvEndOptomization(manager_, nullptr, 1, &status_);
  EXPECT_EQ(StatusMalformedParameter, status_);
  // Nor a name longer than a location entry holds.
  const std::string longName = dir_.Path() + "/" + std::string(256, 'm');
  tvEndOptomization(manager_, const_cast<char*>(longName.c_str()), 1,
                    &status_);
  EXPECT_EQ(StatusMalformedParameter, status_);
  // Still pending; a partition of the index is not overwritten.
  const std::string first = dir_.File("part-0-0");
  tvEndOptomization(manager_, const_cast<char*>(first.c_str()), 1, &status_);
  EXPECT_EQ(StatusFileExists, status_);
  // Nor the index file, under another name.
  tvOptomizeIndex(manager_, 2, &status_);
  const std::string index = dir_.Path() + "/./index.tvx";
  tvEndOptomization(manager_, const_cast<char*>(index.c_str()), 1, &status_);
  EXPECT_EQ(StatusFileExists, status_);
  ASSERT_NO_FATAL_FAILURE(Check());
  // That end dropped the optimisation; a new one ends well.
  EXPECT_EQ(0, manager_->OptomizationPending());
  tvOptomizeIndex(manager_, 2, &status_);
  ASSERT_NO_FATAL_FAILURE(End());
  ASSERT_NO_FATAL_FAILURE(Check());
}

// ---- The end cut short ------------------------------------------------------

TEST_F(OptomizeModelTest, EndCutShortLeavesTheOldIndex) {
  ASSERT_NO_FATAL_FAILURE(Build(WORD_MODE, false, 4, 5));
  ASSERT_NO_FATAL_FAILURE(DeleteSome(30));
  ASSERT_NO_FATAL_FAILURE(Check());
  const std::string next = path_ + IndexOptomizationT::kOptomizedSuffix;
  struct ObstacleT {
    const char* Name;
    StatusCodeT Status;
  };
  // A full disk under the new file, then no room for it at all.
  const bool full = access("/dev/full", W_OK) == 0;
  for (const ObstacleT& obstacle :
       {ObstacleT{"full", StatusWriteError},
        ObstacleT{"directory", StatusCannotOpenFile}}) {
    const bool isFull = std::string(obstacle.Name) == "full";
    if (isFull && !full) continue;
    ASSERT_EQ(0, isFull ? symlink("/dev/full", next.c_str())
                        : mkdir(next.c_str(), 0700));
    tvOptomizeIndex(manager_, 3, &status_);
    ASSERT_EQ(StatusNoError, status_);
    tvEndOptomization(manager_, nullptr, 0, &status_);
    EXPECT_EQ(obstacle.Status, status_) << obstacle.Name;
    EXPECT_EQ(0, manager_->OptomizationPending());
    if (!isFull) rmdir(next.c_str());
    struct stat left;
    EXPECT_NE(0, lstat(next.c_str(), &left)) << obstacle.Name;
    // The manager answers as before, and so does the index reopened.
    ASSERT_NO_FATAL_FAILURE(Check());
    tvCloseIndex(manager_, &status_);
    tvOpenIndex(manager_, const_cast<char*>(path_.c_str()), &status_);
    ASSERT_EQ(StatusNoError, status_);
    tvStartRetrievalSession(manager_, &status_);
    ASSERT_NO_FATAL_FAILURE(Check());
  }
  // With the way clear, the same optimisation ends well.
  Started(1, 3);
  tvOptomizeIndex(manager_, 3, &status_);
  ASSERT_NO_FATAL_FAILURE(End());
  ASSERT_NO_FATAL_FAILURE(Check());
}

// ---- Choosing a range -------------------------------------------------------
//
// The rule itself is optomization_range_test.cc's; here the manager feeds it
// its loaded partitions' lengths and the deletions made through it.

// A reader whose partition length the test sets, as the range search sees
// it (the partition itself is untouched).
class SizedReaderT : public PartitionReaderT {
 public:
  using PartitionReaderT::PartitionReaderT;
  void SetLength(uint32_t bytes) { HeaderData.EndOffset = bytes; }
};

class SizedManagerT : public IndexManagerT {
 public:
  PartitionReaderT* NewReader(uint32_t partition) override {
    return new SizedReaderT(partition);
  }
  void SetLengths(const std::vector<uint32_t>& lengths) {
    for (uint32_t i = 0; i < lengths.size(); ++i) {
      static_cast<SizedReaderT*>(Partitions().Reader(i))->SetLength(lengths[i]);
    }
  }
};

class OptomizeBoundsTest : public testing::Test {
 protected:
  // An index of sessions of the given record counts, opened for retrieval
  // by a manager whose partition lengths can be set.
  void Build(const std::vector<int>& sessions) {
    IndexManagerT* builder = tvCreateIndexManager(&status_);
    ASSERT_NO_FATAL_FAILURE(CreateIndex(builder, path_, RECORD_MODE, false));
    std::vector<ModelRecordT> records(1, ModelRecordT{"k", "d", {"w"}});
    for (int count : sessions) {
      std::vector<const ModelRecordT*> session(count, &records[0]);
      ASSERT_NO_FATAL_FAILURE(IndexSession(builder, session, ""));
    }
    tvCloseIndex(builder, &status_);
    tvDeleteIndexManager(builder, &status_);
    manager_.Open(path_.c_str(), &status_);
    manager_.StartRetrievalSession(&status_);
    ASSERT_EQ(StatusNoError, status_);
  }
  std::pair<int, int> Bounds(BooleanT big) {
    int first = 0;
    int last = 0;
    manager_.GetOptomizationBounds(&first, &last, big);
    return {first, last};
  }

  ScopedTempDirT dir_;
  std::string path_ = dir_.File("index.tvx");
  SizedManagerT manager_;
  StatusCodeT status_ = StatusNoError;
};

TEST_F(OptomizeBoundsTest, PartitionsWithATenthDeletedAndBigSpans) {
  ASSERT_NO_FATAL_FAILURE(Build({100, 100, 100}));
  // Too large for any little span; all three fit 256 MiB.
  manager_.SetLengths({0x3000000, 0x3000000, 0x3000000});
  EXPECT_EQ(std::make_pair(-1, -1), Bounds(0));
  EXPECT_EQ(std::make_pair(0, 2), Bounds(1));
  EXPECT_EQ(0, manager_.IndexNeedsLittleOptomization(&status_));
  EXPECT_EQ(1, manager_.IndexNeedsBigOptomization(&status_));
  // Ten deleted of partition 1's hundred are not more than a tenth.
  for (unsigned long r = 101; r <= 110; ++r)
    manager_.DeleteRecordNum(r, &status_);
  EXPECT_EQ(std::make_pair(-1, -1), Bounds(0));
  manager_.DeleteRecordNum(111, &status_);
  EXPECT_EQ(std::make_pair(1, 1), Bounds(0));
  EXPECT_EQ(std::make_pair(1, 1), Bounds(1));
  EXPECT_EQ(1, manager_.IndexNeedsLittleOptomization(&status_));
  // Beyond 2 GiB together, big spans take what fits.
  manager_.SetLengths({0x60000000, 0x40000000, 0x30000000});
  manager_.UnDeleteRecordNum(111, &status_);
  EXPECT_EQ(std::make_pair(1, 2), Bounds(1));
  manager_.SetLengths({0x7F000000, 0x7F000000, 0x7F000000});
  EXPECT_EQ(std::make_pair(-1, -1), Bounds(1));
  EXPECT_EQ(0, manager_.IndexNeedsBigOptomization(&status_));
  EXPECT_EQ(StatusNoError, status_);
}

}  // namespace
