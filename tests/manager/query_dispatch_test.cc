// Boolean queries over an index of several partitions, built by indexing
// sessions in each mode: a table of long-form queries, converted as a host
// converts them, must select exactly what a brute-force evaluation over the
// same records selects, with and without deleted records.

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "manager/index_manager.h"
#include "manager/held_partitions.h"
#include "query/lazy_hits_vector.h"
#include "query/uncompressed_vector.h"
#include "query/vector_buffer_pool.h"
#include "support/hit_set_model.h"
#include "support/session_records.h"

namespace {

// The hits of every word over the whole index (deleted records left out), and
// the operators' meaning over them, record by record.
class ModelT : public HitSetModelT {
 public:
  ModelT() : HitSetModelT(false) {}
  HitSet T(const std::string& word) const {
    auto found = Terms.find(word);
    return found == Terms.end() ? HitSet() : found->second;
  }
  HitSet Keys(const std::function<bool(const std::string&)>& match) const {
    std::vector<HitSet> sets;
    for (const auto& term : Terms) {
      if (match(term.first)) sets.push_back(term.second);
    }
    return Or(sets);
  }
  static HitSet Not(const HitSet& a, const HitSet& b) {
    return HitSetModelT::Not(a, std::vector<HitSet>{b});
  }
  static HitSet Xor(const std::vector<HitSet>& sets) {
    return HitSetModelT::Xor(0, sets);
  }

  std::map<std::string, HitSet> Terms;
};

struct QueryCaseT {
  const char* longForm;
  unsigned long nearDistance;
  std::function<HitSet(const ModelT&)> expected;
};

std::vector<QueryCaseT> QueryTable() {
  using M = ModelT;
  auto prefix = [](const std::string& p) {
    return [p](const std::string& k) { return k.compare(0, p.size(), p) == 0; };
  };
  return {
      {"cat", 0, [](const M& m) { return m.T("cat"); }},
      {"cat AND dog", 0, [](const M& m) { return M::And(0, {m.T("cat"), m.T("dog")}); }},
      {"cat dog", 0, [](const M& m) { return M::And(0, {m.T("cat"), m.T("dog")}); }},
      {"cat OR dog", 0, [](const M& m) { return M::Or({m.T("cat"), m.T("dog")}); }},
      {"cat NOT dog", 0, [](const M& m) { return M::Not(m.T("cat"), m.T("dog")); }},
      {"cat AND dog OR bird NOT fish", 0,
       [](const M& m) {
         return M::Or({M::And(0, {m.T("cat"), m.T("dog")}), M::Not(m.T("bird"), m.T("fish"))});
       }},
      {"(cat OR dog) NOT (bird OR fish)", 0,
       [](const M& m) {
         return M::Not(M::Or({m.T("cat"), m.T("dog")}), M::Or({m.T("bird"), m.T("fish")}));
       }},
      {"cat ^ dog ^ bird", 0,
       [](const M& m) { return M::Xor({m.T("cat"), m.T("dog"), m.T("bird")}); }},
      {"cat:1 AND dog AND bird", 0,
       [](const M& m) { return M::And(1, {m.T("cat"), m.T("dog"), m.T("bird")}); }},
      {"cat NEAR dog", 3, [](const M& m) { return m.Near(3, {m.T("cat"), m.T("dog")}); }},
      {"cat W/1 dog W/3 bird", 0,
       [](const M& m) { return m.Near(3, {m.Near(1, {m.T("cat"), m.T("dog")}), m.T("bird")}); }},
      {"\"cat dog\"", 0, [](const M& m) { return m.Phrase({m.T("cat"), m.T("dog")}); }},
      {"\"cat dog bird\" OR ant", 0,
       [](const M& m) {
         return M::Or({m.Phrase({m.T("cat"), m.T("dog"), m.T("bird")}), m.T("ant")});
       }},
      {"w010 - w020", 0,
       [](const M& m) {
         return m.Keys([](const std::string& k) { return k >= "w010" && k <= "w020"; });
       }},
      {"w020 - w010 AND cat", 0,
       [](const M& m) {
         return M::And(0, {m.Keys([](const std::string& k) { return k >= "w010" && k <= "w020"; }),
                           m.T("cat")});
       }},
      {"w01*", 0, [=](const M& m) { return m.Keys(prefix("w01")); }},
      {"w0?5 OR c*", 0,
       [](const M& m) {
         return m.Keys([](const std::string& k) {
           return (k.size() == 4 && k.compare(0, 2, "w0") == 0 && k[3] == '5') || k[0] == 'c';
         });
       }},
      {"*", 0, [](const M& m) { return m.Keys([](const std::string&) { return true; }); }},
      {"unknown", 0, [](const M&) { return HitSet(); }},
      {"cat AND unknown", 0, [](const M&) { return HitSet(); }},
      {"second OR ant", 0, [](const M& m) { return M::Or({m.T("second"), m.T("ant")}); }},
      {"cat M fld", 0, [](const M& m) { return m.Member(m.T("cat"), m.T("fld")); }},
  };
}

std::string ShortForm(const std::string& longForm, unsigned long nearDistance) {
  std::vector<unsigned char> text(longForm.begin(), longForm.end());
  text.push_back('\0');
  tvLongQueryFormToShortQueryForm(text.data(), nearDistance);
  std::vector<unsigned char> out(TV_CONVERTED_QUERY_SIZE(longForm.size()));
  tvConvertQuery(text.data(), out.data());
  return reinterpret_cast<const char*>(out.data());
}

// Random records: six common words, sixty rare numbered ones, a field word;
// "second" only in the second session.
std::vector<RecordsT> RandomSessions(std::mt19937* random) {
  const char* common[] = {"ant", "bird", "cat", "cow", "dog", "fish"};
  std::vector<RecordsT> sessions(3);
  const int sizes[] = {40, 25, 50};
  for (int s = 0; s < 3; ++s) {
    for (int r = 0; r < sizes[s]; ++r) {
      std::vector<std::string> words;
      const int length = 3 + (*random)() % 10;
      for (int i = 0; i < length; ++i) {
        const uint32_t kind = (*random)() % 20;
        if (kind < 14) {
          words.push_back(common[(*random)() % 6]);
        } else if (kind < 18) {
          char word[8];
          std::snprintf(word, sizeof word, "w%03u", static_cast<unsigned>((*random)() % 60));
          words.push_back(word);
        } else if (kind < 19 || s != 1) {
          words.push_back("fld");
        } else {
          words.push_back("second");
        }
      }
      sessions[s].push_back(words);
    }
  }
  return sessions;
}

// The records-only result holds the records of the full one at word 1; the
// result with hits on demand gives its records without producing hits, then
// exactly the full result's hits, produced all at once or as a walk reaches
// them.
void ExpectRecordsAndHitsOnDemand(IndexManagerT* manager,
                                  const std::string& query,
                                  const HitSet& expected) {
  const auto* text = reinterpret_cast<const unsigned char*>(query.c_str());
  HitSet recordHits;
  for (uint32_t record : HitSetModelT::Records(expected)) {
    recordHits.insert({record, 1});
  }
  StatusCodeT status = StatusNoError;
  std::unique_ptr<UncompressedQueryVectorT> records(
      manager->ProcessQueryRecords(text, &status));
  ASSERT_NE(records, nullptr) << status;
  EXPECT_EQ(Walk(records.get()), recordHits);

  std::unique_ptr<UncompressedQueryVectorT> lazy(
      manager->ProcessQueryHitsOnDemand(text, &status));
  ASSERT_NE(lazy, nullptr) << status;
  EXPECT_EQ(lazy->RecordCount, recordHits.size());
  std::set<uint32_t> walked;
  for (status = StatusNoError; lazy->IsPositioned() && status == StatusNoError;
       lazy->NextRecord(&status)) {
    walked.insert(lazy->CurrentRecord());
  }
  EXPECT_EQ(walked, HitSetModelT::Records(expected));
  lazy->Rewind(&status);
  lazy->ProduceHits(UINT32_MAX, &status);
  ASSERT_EQ(status, StatusNoError);
  EXPECT_EQ(lazy->HitCount, expected.size());
  EXPECT_EQ(Walk(lazy.get()), expected);

  // Walked hit by hit, a result produces its hits a stretch of records at a
  // time, each stretch evaluated over the partitions holding its records.
  std::unique_ptr<UncompressedQueryVectorT> stepped(
      manager->ProcessQueryHitsOnDemand(text, &status));
  ASSERT_NE(stepped, nullptr) << status;
  stepped->ProduceHits(stepped->CurrentRecord(), &status);
  ASSERT_EQ(status, StatusNoError);
  EXPECT_EQ(Walk(stepped.get()), expected);
}

class QueryDispatchTest : public IndexFileTest {};

TEST_F(QueryDispatchTest, LongFormQueriesMatchABruteForceEvaluation) {
  const std::vector<QueryCaseT> table = QueryTable();
  for (uint32_t mode : {RECORD_MODE, WORD_MODE, IDF_MODE}) {
    for (bool withDeletions : {false, true}) {
      SCOPED_TRACE(testing::Message() << "mode " << mode << (withDeletions ? " deleted" : ""));
      tvCloseIndex(manager_, &status_);
      std::remove(Path());
      CreateIndex(mode);
      ASSERT_EQ(Open(), StatusNoError);
      std::mt19937 random(mode * 2 + withDeletions);
      const std::vector<RecordsT> sessions = RandomSessions(&random);
      AddSessions(manager_, sessions);
      tvStartRetrievalSession(manager_, &status_);
      ASSERT_EQ(status_, StatusNoError);
      ASSERT_EQ(manager_->Partitions().PartitionCount(), 3u);

      ModelT model;
      model.Positional = mode == WORD_MODE;
      uint32_t record = 0;
      for (const RecordsT& records : sessions) {
        for (const auto& words : records) {
          ++record;
          if (withDeletions && random() % 8 == 0) {
            tvDeleteRecordNum(manager_, record, &status_);
            ASSERT_EQ(status_, StatusNoError);
            continue;
          }
          for (uint32_t i = 0; i < words.size(); ++i) {
            model.Terms[words[i]].insert({record, model.Positional ? i + 1 : 1});
          }
        }
      }

      size_t nonEmpty = 0;
      for (const QueryCaseT& c : table) {
        const std::string query = ShortForm(c.longForm, c.nearDistance);
        SCOPED_TRACE(std::string(c.longForm) + " -> " + query);
        StatusCodeT status = StatusNoError;
        std::unique_ptr<UncompressedQueryVectorT> result(manager_->ProcessQuery(
            reinterpret_cast<const unsigned char*>(query.c_str()), &status));
        ASSERT_NE(result, nullptr) << status;
        EXPECT_EQ(status, StatusNoError);
        const HitSet expected = c.expected(model);
        nonEmpty += !expected.empty();
        EXPECT_EQ(Walk(result.get()), expected);
        ExpectRecordsAndHitsOnDemand(manager_, query, expected);
      }
      EXPECT_GT(nonEmpty, table.size() * 3 / 4);
    }
  }
}

TEST_F(QueryDispatchTest, QueriesNeedLoadedPartitionsAndReportParseErrors) {
  CreateIndex(WORD_MODE);
  ASSERT_EQ(Open(), StatusNoError);
  const unsigned char* query = reinterpret_cast<const unsigned char*>("0x61");
  StatusCodeT status = StatusNoError;
  EXPECT_EQ(manager_->ProcessQuery(query, &status), nullptr);
  EXPECT_EQ(status, StatusNotInitializedForSearching);
  // A session over an index without partitions has nothing to search.
  tvStartRetrievalSession(manager_, &status_);
  ASSERT_EQ(status_, StatusNoError);
  status = StatusNoError;
  EXPECT_EQ(manager_->ProcessQuery(query, &status), nullptr);
  EXPECT_EQ(status, StatusNotInitializedForSearching);

  AddSessions(manager_, {{{"a", "b"}}, {{"a"}, {"b"}}});
  ASSERT_EQ(manager_->Partitions().PartitionCount(), 2u);
  const struct {
    const char* query;
    StatusCodeT status;
  } errors[] = {{"0x6", StatusHexTermExpected},
                {"0x61 &", StatusQuerySyntaxError},
                {"0x61 w", StatusMalformedParameter}};
  for (const auto& e : errors) {
    status = StatusNoError;
    EXPECT_EQ(manager_->ProcessQuery(reinterpret_cast<const unsigned char*>(e.query),
                                     &status),
              nullptr);
    EXPECT_EQ(status, e.status) << e.query;
  }
  // Partitions added during the session are searched, in record order.
  status = StatusNoError;
  std::unique_ptr<UncompressedQueryVectorT> result(manager_->ProcessQuery(query, &status));
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(Walk(result.get()), (HitSet{{1, 1}, {2, 1}}));
}

// Work windows kept between queries go when the session ends, however it
// ends: by its end, or by closing the index in the middle of it.
TEST_F(QueryDispatchTest, EndingARetrievalSessionFreesTheKeptWindows) {
  CreateIndex(RECORD_MODE);
  ASSERT_EQ(Open(), StatusNoError);
  AddSessions(manager_, {{{"a", "b"}}, {{"a"}, {"b"}}});
  for (bool close : {false, true}) {
    if (close) {
      ASSERT_EQ(Open(), StatusNoError);
    }
    tvStartRetrievalSession(manager_, &status_);
    ASSERT_EQ(status_, StatusNoError);
    GivePooledWindow(TakePooledWindow());
    EXPECT_EQ(PooledWindowCount(), 1u);
    if (!close) tvEndRetrievalSession(manager_, &status_);
    tvCloseIndex(manager_, &status_);
    EXPECT_EQ(PooledWindowCount(), 0u) << (close ? "closed" : "ended");
  }
}

// The hits of a result walked as a host walks it, from its first.
HitSet ExportedHits(QueryVectorBaseT* vector) {
  HitSet hits;
  StatusCodeT status = StatusNoError;
  tvVectorRewind(vector, &status);
  unsigned long record = 0;
  unsigned long word = 0;
  tvVectorCurrentHit(vector, &record, &word, nullptr, nullptr, &status);
  while (status == StatusNoError && record != 0) {
    hits.insert({static_cast<uint32_t>(record), static_cast<uint32_t>(word)});
    tvVectorNextHit(vector, &record, &word, nullptr, nullptr, &status);
  }
  EXPECT_GE(status, StatusNoError);
  return hits;
}

class HitsOnDemandTest : public QueryDispatchTest {
 protected:
  void SetUp() override {
    QueryDispatchTest::SetUp();
    CreateIndex(WORD_MODE);
    ASSERT_EQ(Open(), StatusNoError);
    std::mt19937 random(7);
    AddSessions(manager_, RandomSessions(&random));
    tvStartRetrievalSession(manager_, &status_);
    ASSERT_EQ(status_, StatusNoError);
    std::unique_ptr<UncompressedQueryVectorT> full(manager_->ProcessQuery(Query(), &status_));
    ASSERT_NE(full, nullptr) << status_ << " " << query_;
    expected_ = Walk(full.get());
    ASSERT_GT(HitSetModelT::Records(expected_).size(), 10u);
  }
  const unsigned char* Query() const {
    return reinterpret_cast<const unsigned char*>(query_.c_str());
  }
  QueryVectorBaseT* Result() {
    StatusCodeT status = StatusNoError;
    QueryVectorBaseT* vector = tvProcessQuery(manager_, nullptr, const_cast<unsigned char*>(Query()), &status);
    EXPECT_EQ(status, StatusNoError);
    return vector;
  }

  const std::string query_ = ShortForm("(cat OR dog) NOT bird", 0);
  HitSet expected_;
};

// A result keeps the partitions its query ran on: deleting its records,
// optimising the index (the file replaced, the records numbered anew) and
// deleting the manager change none of the hits it produces afterwards.
TEST_F(HitsOnDemandTest, HitsAreThoseOfTheQueryWhateverHappensMeanwhile) {
  QueryVectorBaseT* kept = Result();
  QueryVectorBaseT* outlives = Result();
  unsigned long records = 0;
  tvNumHits(kept, nullptr, &records, nullptr, &status_);
  EXPECT_EQ(records, HitSetModelT::Records(expected_).size());

  tvDeleteRecordNum(manager_, *HitSetModelT::Records(expected_).begin(), &status_);
  ASSERT_EQ(status_, StatusNoError);
  tvCloseIndex(manager_, &status_);
  ASSERT_EQ(status_, StatusNoError);
  ASSERT_EQ(Open(), StatusNoError);
  tvStartRetrievalSession(manager_, &status_);
  tvOptomizeIndex(manager_, 3, &status_);
  ASSERT_EQ(status_, StatusNoError);
  tvEndOptomization(manager_, nullptr, 0, &status_);
  ASSERT_EQ(status_, StatusNoError);
  ASSERT_EQ(manager_->Partitions().PartitionCount(), 1u);
  QueryVectorBaseT* renumbered = Result();
  EXPECT_NE(ExportedHits(renumbered), expected_);
  tvDeleteResultVector(renumbered, &status_);
  EXPECT_EQ(ExportedHits(kept), expected_);

  tvCloseIndex(manager_, &status_);
  tvDeleteIndexManager(manager_, &status_);
  manager_ = tvCreateIndexManager(&status_);
  // The one result still to produce its hits holds the first load's file.
  EXPECT_EQ(HeldPartitionsT::FilesHeld(), 1u);
  unsigned long hits = 0;
  tvNumHits(outlives, nullptr, nullptr, &hits, &status_);
  EXPECT_EQ(status_, StatusNoError);
  EXPECT_EQ(hits, expected_.size());
  EXPECT_EQ(ExportedHits(outlives), expected_);
  tvDeleteResultVector(kept, &status_);
  tvDeleteResultVector(outlives, &status_);
  EXPECT_EQ(HeldPartitionsT::FilesHeld(), 0u);
}

// The results of one load share its held file; past the files the loads of
// a process may hold, a result gets its hits at once.
TEST_F(HitsOnDemandTest, ResultsBeyondTheHeldFileLimitHoldTheirHitsAtOnce) {
  std::vector<QueryVectorBaseT*> results = {Result(), Result()};
  EXPECT_EQ(HeldPartitionsT::FilesHeld(), 1u);
  std::vector<IndexManagerT*> managers;
  while (managers.size() < HeldPartitionsT::kMaximumHeldFiles) {
    IndexManagerT* other = tvCreateIndexManager(&status_);
    managers.push_back(other);
    tvOpenIndex(other, Path(), &status_);
    tvStartRetrievalSession(other, &status_);
    ASSERT_EQ(status_, StatusNoError);
    results.push_back(tvProcessQuery(other, nullptr,
                                     const_cast<unsigned char*>(Query()), &status_));
    ASSERT_EQ(status_, StatusNoError);
  }
  EXPECT_EQ(HeldPartitionsT::FilesHeld(), HeldPartitionsT::kMaximumHeldFiles);
  EXPECT_NE(dynamic_cast<LazyHitsVectorT*>(results.front()), nullptr);
  EXPECT_EQ(dynamic_cast<LazyHitsVectorT*>(results.back()), nullptr);
  EXPECT_EQ(ExportedHits(results.front()), expected_);
  EXPECT_EQ(ExportedHits(results.back()), expected_);
  for (QueryVectorBaseT* vector : results) tvDeleteResultVector(vector, &status_);
  for (IndexManagerT* other : managers) {
    tvCloseIndex(other, &status_);
    tvDeleteIndexManager(other, &status_);
  }
  // The manager's own load keeps its file held until it changes.
  EXPECT_EQ(HeldPartitionsT::FilesHeld(), 1u);
  tvEndRetrievalSession(manager_, &status_);
  tvCloseIndex(manager_, &status_);
  EXPECT_EQ(HeldPartitionsT::FilesHeld(), 0u);
}

}  // namespace
