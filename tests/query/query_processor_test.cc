#include "query/query_processor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "query/deleted_records.h"
#include "query/uncompressed_vector.h"
#include "support/posting_file.h"
#include "support/temp_dir.h"

namespace {

using Hit = std::pair<uint32_t, uint32_t>;
using List = std::vector<Hit>;

// ---------------------------------------------------------------------------
// Brute-force semantics over lists of (record, word) pairs.

constexpr uint64_t kNoEnd = uint64_t{1} << 32;

std::set<uint32_t> Records(const List& list) {
  std::set<uint32_t> records;
  for (const Hit& hit : list) records.insert(hit.first);
  return records;
}

List Sorted(List list) {
  std::sort(list.begin(), list.end());
  return list;
}

List Unique(List list) {
  list = Sorted(list);
  list.erase(std::unique(list.begin(), list.end()), list.end());
  return list;
}

List ModelOr(const std::vector<List>& lists) {
  List all;
  for (const List& list : lists) all.insert(all.end(), list.begin(), list.end());
  return Unique(all);
}

List ModelAnd(const std::vector<List>& lists, uint32_t tolerance) {
  uint32_t n = static_cast<uint32_t>(lists.size());
  uint32_t required = tolerance == 0 ? n : (tolerance >= n ? 1 : n - tolerance);
  std::map<uint32_t, uint32_t> holders;
  for (const List& list : lists) {
    for (uint32_t record : Records(list)) ++holders[record];
  }
  List out;
  for (const List& list : lists) {
    for (const Hit& hit : list) {
      if (holders[hit.first] >= required) out.push_back(hit);
    }
  }
  return Unique(out);
}

List ModelNot(const std::vector<List>& lists) {
  std::set<uint32_t> taken;
  for (size_t i = 1; i < lists.size(); ++i) {
    for (uint32_t record : Records(lists[i])) taken.insert(record);
  }
  List out;
  for (const Hit& hit : lists[0]) {
    if (!taken.count(hit.first)) out.push_back(hit);
  }
  return out;
}

bool Near(const Hit& a, const Hit& b, uint32_t distance) {
  return a.first == b.first &&
         (a.second > b.second ? a.second - b.second : b.second - a.second) <=
             distance;
}

List ModelProximity(const std::vector<List>& lists, uint32_t distance) {
  if (lists.size() == 1) return lists[0];
  List folded = lists[0];
  for (size_t i = 1; i < lists.size(); ++i) {
    List out;
    for (const Hit& a : folded) {
      for (const Hit& b : lists[i]) {
        if (Near(a, b, distance)) {
          out.push_back(a);
          out.push_back(b);
        }
      }
    }
    folded = Unique(out);
  }
  return folded;
}

List ModelPhrase(const std::vector<List>& lists) {
  std::vector<std::set<Hit>> sets;
  for (const List& list : lists) sets.emplace_back(list.begin(), list.end());
  List out;
  for (const Hit& first : lists[0]) {
    bool match = true;
    for (uint32_t i = 1; i < lists.size() && match; ++i) {
      match = sets[i].count({first.first, first.second + i}) > 0;
    }
    for (uint32_t i = 0; match && i < lists.size(); ++i) {
      out.push_back({first.first, first.second + i});
    }
  }
  return Unique(out);
}

struct Span {
  uint32_t record;
  uint32_t start;
  uint64_t end;
  bool Holds(const Hit& hit) const {
    return hit.first == record && hit.second >= start && hit.second < end;
  }
};

std::vector<Span> Spans(const List& field) {
  std::vector<Span> spans;
  for (size_t i = 0; i < field.size();) {
    if (i + 1 < field.size() && field[i + 1].first == field[i].first) {
      spans.push_back({field[i].first, field[i].second, field[i + 1].second});
      i += 2;
    } else {
      spans.push_back({field[i].first, field[i].second, kNoEnd});
      i += 1;
    }
  }
  return spans;
}

List ModelFieldMember(const List& content, const List& field) {
  List out;
  std::vector<Span> spans = Spans(field);
  for (const Hit& hit : content) {
    for (const Span& span : spans) {
      if (span.Holds(hit)) {
        out.push_back(hit);
        break;
      }
    }
  }
  return out;
}

List ModelFieldAnd(std::vector<List> lists, const List& field,
                   uint32_t tolerance, bool exclusive) {
  lists.erase(std::remove_if(lists.begin(), lists.end(),
                             [](const List& l) { return l.empty(); }),
              lists.end());
  uint32_t n = static_cast<uint32_t>(lists.size());
  uint32_t required = exclusive ? 1 : (tolerance >= n ? 1 : n - tolerance);
  List out;
  for (const Span& span : Spans(field)) {
    uint32_t inside = 0;
    List hits;
    for (const List& list : lists) {
      bool any = false;
      for (const Hit& hit : list) {
        if (span.Holds(hit)) {
          hits.push_back(hit);
          any = true;
        }
      }
      inside += any;
    }
    if (n > 0 && inside >= required) out.insert(out.end(), hits.begin(), hits.end());
  }
  return Unique(out);
}

// ---------------------------------------------------------------------------
// Deletion set and vectors.

class DeletedSetT : public DeletedRecordSetT {
 public:
  int IsRecordDeleted(uint32_t record) const override {
    return Records.count(record) > 0;
  }
  std::set<uint32_t> Records;
};

List WithoutDeleted(const List& list, const DeletedSetT* deleted,
                    uint32_t offset) {
  if (deleted == nullptr) return list;
  List out;
  for (const Hit& hit : list) {
    if (!deleted->IsRecordDeleted(hit.first + offset)) out.push_back(hit);
  }
  return out;
}

// How an operand is held: uncompressed with a window of 5 entries (it
// spills) or of a work vector's size, or coded in a posting file.
enum class Kind { kSmallWindow, kLargeWindow, kCompressed };
constexpr Kind kKinds[] = {Kind::kSmallWindow, Kind::kLargeWindow,
                           Kind::kCompressed};

std::unique_ptr<QueryVectorBaseT> MakeVector(const List& hits, Kind kind) {
  StatusCodeT status = 0;
  uint32_t bytes = kind == Kind::kSmallWindow ? 5 * 16 : kWorkVectorBytes;
  auto vector = std::make_unique<UncompressedQueryVectorT>(bytes, &status);
  for (const Hit& hit : hits) {
    TermInstanceT instance;
    instance.RecordNumber = hit.first;
    instance.WordPosition = hit.second;
    vector->AddInstance(&instance, &status);
    EXPECT_EQ(status, 0);
  }
  vector->Rewind(&status);
  EXPECT_EQ(status, 0);
  return vector;
}

// Makes the operands: compressed ones are coded into one posting file first
// (record-level lists alternately in record and IDF mode), then hooked; an
// empty compressed operand is a vector hooked to nothing, as for a term the
// dictionary does not hold.
std::vector<std::unique_ptr<QueryVectorBaseT>> MakeVectors(
    const std::vector<List>& lists, const std::vector<Kind>& kinds,
    const std::string& postingPath) {
  std::unique_ptr<PostingFileT> postings;
  std::vector<WordIndexInfoT> infos(lists.size());
  for (size_t i = 0; i < lists.size(); ++i) {
    if (kinds[i] != Kind::kCompressed || lists[i].empty()) continue;
    if (postings == nullptr) postings = std::make_unique<PostingFileT>(postingPath);
    bool recordLevel = std::all_of(lists[i].begin(), lists[i].end(),
                                   [](const Hit& h) { return h.second == 1; });
    uint32_t mode = !recordLevel ? WORD_MODE : (i % 2 ? RECORD_MODE : IDF_MODE);
    infos[i] = postings->Add(lists[i], mode);
  }
  std::vector<std::unique_ptr<QueryVectorBaseT>> vectors;
  for (size_t i = 0; i < lists.size(); ++i) {
    if (kinds[i] != Kind::kCompressed) {
      vectors.push_back(MakeVector(lists[i], kinds[i]));
    } else if (lists[i].empty()) {
      StatusCodeT status = 0;
      vectors.push_back(std::make_unique<CompressedQueryVectorT>(&status));
    } else {
      vectors.push_back(postings->Hook(infos[i]));
    }
  }
  return vectors;
}

List Walk(UncompressedQueryVectorT* vector) {
  List hits;
  StatusCodeT status = 0;
  vector->Rewind(&status);
  EXPECT_EQ(status, 0);
  if (vector->InstanceCount == 0) return hits;
  do {
    hits.push_back({vector->CurrentRecord(), vector->CurrentWord()});
    vector->NextHit(&status);
  } while (status == 0);
  EXPECT_EQ(status, StatusEndOfVector);
  return hits;
}

List RandomList(std::mt19937* random, uint32_t length, uint32_t records,
                uint32_t words) {
  std::set<Hit> hits;
  for (uint32_t i = 0; i < length; ++i) {
    hits.insert({1 + (*random)() % records, 1 + (*random)() % words});
  }
  return List(hits.begin(), hits.end());
}

// ---------------------------------------------------------------------------
// The operations, run on fresh vectors and on the model.

enum class Op {
  kOr, kAnd, kTolerantAnd, kNot, kProximity, kPhrase, kFieldMember,
  kFieldAnd, kCopy
};
const char* const kOpNames[] = {"or",     "and",          "and:t",
                                "not",    "proximity",    "phrase",
                                "member", "field and",    "copy"};

struct Trial {
  Op op;
  std::vector<List> lists;  // operands; the field and member ops: see Expected
  List field;               // field AND
  uint32_t parameter = 0;   // tolerance or distance
  bool exclusive = false;
};

List Expected(const Trial& trial) {
  switch (trial.op) {
    case Op::kOr: return ModelOr(trial.lists);
    case Op::kAnd: return ModelAnd(trial.lists, 0);
    case Op::kTolerantAnd: return ModelAnd(trial.lists, trial.parameter);
    case Op::kNot: return ModelNot(trial.lists);
    case Op::kProximity: return ModelProximity(trial.lists, trial.parameter);
    case Op::kPhrase: return ModelPhrase(trial.lists);
    case Op::kFieldMember:
      return ModelFieldMember(trial.lists[0], trial.lists[1]);
    case Op::kFieldAnd:
      return ModelFieldAnd(trial.lists, trial.field, trial.parameter,
                           trial.exclusive);
    case Op::kCopy: return trial.lists[0];
  }
  return {};
}

UncompressedQueryVectorT* RunOperation(QueryProcessorT* processor, const Trial& trial,
                              QueryVectorBaseT* field, StatusCodeT* status) {
  switch (trial.op) {
    case Op::kOr: return processor->ProcessOr(status);
    case Op::kAnd: return processor->ProcessNonFuzzyAnd(status);
    case Op::kTolerantAnd:
      return processor->ProcessAnd(trial.parameter, status);
    case Op::kNot: return processor->ProcessNot(status);
    case Op::kProximity:
      return processor->ProcessProximity(trial.parameter, status);
    case Op::kPhrase: return processor->ProcessPhrase2(nullptr, nullptr, status);
    case Op::kFieldMember: return processor->ProcessFieldMember(status);
    case Op::kFieldAnd:
      return processor->ProcessFieldAnd(field, trial.parameter,
                                        trial.exclusive ? 1 : 0, status);
    case Op::kCopy: return processor->ProcessCopy(status);
  }
  return nullptr;
}

// Runs the trial with operand i held as kinds[i] (the field of a field AND
// as the last kind); returns the result's hits.
List Evaluate(const Trial& trial, const std::vector<Kind>& kinds,
              const DeletedSetT* deleted, uint32_t offset,
              const std::string& postingPath) {
  std::vector<List> lists = trial.lists;
  if (trial.op == Op::kFieldAnd) lists.push_back(trial.field);
  std::vector<std::unique_ptr<QueryVectorBaseT>> operands =
      MakeVectors(lists, kinds, postingPath);
  QueryVectorBaseT* field = nullptr;
  if (trial.op == Op::kFieldAnd) field = operands.back().get();
  QueryProcessorT processor(1000, deleted, offset);
  processor.InitHeap();
  StatusCodeT status = 0;
  for (auto& operand : operands) {
    if (operand.get() != field) processor.ProcessVector(operand.get(), &status);
  }
  processor.HeapStart();
  std::unique_ptr<UncompressedQueryVectorT> result(
      RunOperation(&processor, trial, field, &status));
  EXPECT_EQ(status, 0);
  if (result == nullptr) return {{0, 0}};
  return Walk(result.get());
}

std::string Describe(const Trial& trial) {
  std::string text = kOpNames[static_cast<int>(trial.op)];
  text += " p=" + std::to_string(trial.parameter);
  for (const List& list : trial.lists) {
    text += "\n  [";
    for (const Hit& hit : list) {
      text += std::to_string(hit.first) + ":" + std::to_string(hit.second) + " ";
    }
    text += "]";
  }
  return text;
}

Trial RandomTrial(std::mt19937* random, Op op) {
  Trial trial;
  trial.op = op;
  uint32_t count = 1 + (*random)() % 4;
  if (op == Op::kNot || op == Op::kProximity) count = 2 + (*random)() % 3;
  if (op == Op::kFieldMember) count = 2;
  if (op == Op::kCopy) count = 1;
  // Few records and few words, so that records and positions meet often.
  uint32_t records = 2 + (*random)() % 20;
  uint32_t words = (*random)() % 4 == 0 ? 1 : 2 + (*random)() % 10;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t length = (*random)() % 6 == 0 ? 0 : (*random)() % 40;
    trial.lists.push_back(RandomList(random, length, records, words));
  }
  if (op == Op::kPhrase && !trial.lists[0].empty() && (*random)() % 2) {
    // Plant a few matches.
    for (int m = 0; m < 3; ++m) {
      Hit start = trial.lists[0][(*random)() % trial.lists[0].size()];
      for (uint32_t i = 1; i < count; ++i) {
        trial.lists[i].push_back({start.first, start.second + i});
      }
    }
    for (List& list : trial.lists) list = Unique(list);
  }
  trial.field = RandomList(random, (*random)() % 12, records, words + 2);
  trial.parameter = (*random)() % 4;
  if (op == Op::kTolerantAnd) trial.parameter = 1 + (*random)() % 4;
  trial.exclusive = op == Op::kFieldAnd && (*random)() % 4 == 0;
  return trial;
}

const Op kAllOps[] = {Op::kOr,       Op::kAnd,       Op::kTolerantAnd,
                      Op::kNot,      Op::kProximity, Op::kPhrase,
                      Op::kFieldMember, Op::kFieldAnd, Op::kCopy};

TEST(QueryProcessorModelTest, EveryOperationMatchesTheModel) {
  ScopedTempDirT dir;
  std::mt19937 random(2024);
  const uint32_t offset = 100;
  for (Op op : kAllOps) {
    for (int round = 0; round < 300; ++round) {
      Trial trial = RandomTrial(&random, op);
      DeletedSetT deleted;
      bool withDeletions = round % 2 == 1;
      for (int i = 0; i < 4; ++i) deleted.Records.insert(offset + 1 + random() % 20);
      const DeletedSetT* set = withDeletions ? &deleted : nullptr;
      List expected = WithoutDeleted(Expected(trial), set, offset);
      std::vector<Kind> kinds;
      for (size_t i = 0; i <= trial.lists.size(); ++i) {
        kinds.push_back(kKinds[random() % 3]);
      }
      ASSERT_EQ(Evaluate(trial, kinds, set, offset, dir.File("postings")),
                expected)
          << Describe(trial) << (withDeletions ? "\n with deletions" : "");
    }
  }
  EXPECT_EQ(dir.Files(), std::vector<std::string>{"postings"});
}

// Long operands: operand windows and results spill, and targets jump far
// (compressed operands pass over whole blocks).
TEST(QueryProcessorModelTest, LongOperandsSpill) {
  ScopedTempDirT dir;
  std::mt19937 random(99);
  DeletedSetT deleted;
  for (int i = 0; i < 200; ++i) deleted.Records.insert(1 + random() % 3000);
  for (Op op : kAllOps) {
    Trial trial = RandomTrial(&random, op);
    for (size_t i = 0; i < trial.lists.size(); ++i) {
      // One long and dense operand, one sparse, the rest medium.
      uint32_t length = i == 0 ? 9000 : (i == 1 ? 60 : 2500);
      trial.lists[i] = RandomList(&random, length, 3000, 8);
    }
    trial.field = RandomList(&random, 3000, 3000, 10);
    List expected = WithoutDeleted(Expected(trial), &deleted, 0);
    for (Kind kind : kKinds) {
      std::vector<Kind> kinds = {kind, Kind::kSmallWindow, Kind::kCompressed,
                                 kind, Kind::kLargeWindow};
      EXPECT_EQ(Evaluate(trial, kinds, &deleted, 0, dir.File("postings")),
                expected)
          << kOpNames[static_cast<int>(op)] << " first operand kind "
          << static_cast<int>(kind);
    }
  }
  EXPECT_EQ(dir.Files(), std::vector<std::string>{"postings"});
}

// ---------------------------------------------------------------------------
// Loading, the tournament and failures.

// A vector over a list that fails with StatusReadError after a number of
// steps.
class FailingVectorT : public QueryVectorBaseT {
 public:
  FailingVectorT(List hits, int stepsBeforeFailure)
      : QueryVectorBaseT(kUncompressedVectorKind),
        Hits(std::move(hits)),
        StepsLeft(stepsBeforeFailure) {
    Show();
  }
  void NextHit(StatusCodeT* status) override { Move(0, 0, status); }
  void NextHit(uint32_t record, uint32_t word, StatusCodeT* status) override {
    Move(record, word, status);
  }

 private:
  void Move(uint32_t record, uint32_t word, StatusCodeT* status) {
    *status = 0;
    if (StepsLeft-- <= 0) {
      *status = StatusReadError;
      return;
    }
    size_t next = At + 1;
    while (next < Hits.size() && Hits[next] < Hit(record, word)) ++next;
    if (next >= Hits.size()) {
      *status = StatusEndOfVector;
      return;
    }
    At = next;
    Show();
  }
  void Show() {
    Instance.RecordNumber = Hits[At].first;
    Instance.WordPosition = Hits[At].second;
  }
  List Hits;
  size_t At = 0;
  int StepsLeft;
};

TEST(QueryProcessorTest, LoadingReportsFullAtTheSixtyFourthOperand) {
  QueryProcessorT processor(10, nullptr, 0);
  std::vector<std::unique_ptr<QueryVectorBaseT>> vectors;
  processor.InitHeap();
  for (uint32_t i = 1; i <= 130; ++i) {
    vectors.push_back(MakeVector({{i, 1}}, Kind::kLargeWindow));
    StatusCodeT status = 0;
    processor.ProcessVector(vectors.back().get(), &status);
    EXPECT_EQ(status, i == 64 ? StatusFull : 0) << i;
  }
  EXPECT_EQ(processor.OperandCount(), 128u);
  processor.HeapStart();
  StatusCodeT status = 0;
  std::unique_ptr<UncompressedQueryVectorT> result(processor.ProcessOr(&status));
  EXPECT_EQ(result->InstanceCount, 128u);
}

TEST(QueryProcessorTest, RootCountsTheOperandsOnItsRecord) {
  QueryProcessorT processor(10, nullptr, 0);
  std::vector<std::unique_ptr<QueryVectorBaseT>> vectors;
  for (const List& list : std::vector<List>{
           {{4, 2}}, {{3, 9}}, {{3, 1}, {4, 1}}, {{5, 1}}, {{3, 4}}}) {
    vectors.push_back(MakeVector(list, Kind::kLargeWindow));
  }
  processor.InitHeap();
  StatusCodeT status = 0;
  for (auto& vector : vectors) processor.ProcessVector(vector.get(), &status);
  processor.HeapStart();
  EXPECT_EQ(processor.GetSmallestVector(), vectors[2].get());
  EXPECT_EQ(processor.GetSmallestVector()->MatchCounter, 3u);
  vectors[2]->NextHit(&status);
  processor.HeapReInsertKey();
  EXPECT_EQ(processor.GetSmallestVector(), vectors[4].get());
  EXPECT_EQ(processor.GetSmallestVector()->MatchCounter, 2u);
  processor.HeapDeleteLastKey();
  EXPECT_EQ(processor.GetSmallestVector()->MatchCounter, 1u);
}

TEST(QueryProcessorTest, SameVectorLoadedTwice) {
  QueryProcessorT processor(10, nullptr, 0);
  auto vector = MakeVector({{1, 1}, {1, 3}, {2, 2}}, Kind::kSmallWindow);
  processor.InitHeap();
  StatusCodeT status = 0;
  processor.ProcessVector(vector.get(), &status);
  processor.ProcessVector(vector.get(), &status);
  processor.HeapStart();
  std::unique_ptr<UncompressedQueryVectorT> result(processor.ProcessOr(&status));
  EXPECT_EQ(Walk(result.get()), (List{{1, 1}, {1, 3}, {2, 2}}));

  // Destroying what is loaded destroys it once.
  processor.InitHeap();
  processor.ProcessVector(vector.get(), &status);
  processor.ProcessVector(vector.release(), &status);
  processor.HeapDeleteAllVectors();
  EXPECT_EQ(processor.OperandCount(), 0u);
}

TEST(QueryProcessorTest, OperandFailureEndsEveryOperation) {
  ScopedTempDirT dir;
  const List a = {{1, 1}, {1, 2}, {2, 1}, {2, 2}, {3, 1}, {4, 1}, {4, 2}};
  for (Op op : kAllOps) {
    for (int steps = 0; steps < 3; ++steps) {
      FailingVectorT first(a, steps);
      FailingVectorT second(a, steps);
      FailingVectorT field({{1, 1}, {1, 9}, {2, 1}, {4, 1}}, steps);
      QueryProcessorT processor(10, nullptr, 0);
      processor.InitHeap();
      StatusCodeT status = 0;
      processor.ProcessVector(&first, &status);
      if (op != Op::kCopy) processor.ProcessVector(&second, &status);
      processor.HeapStart();
      Trial trial;
      trial.op = op;
      trial.parameter = op == Op::kTolerantAnd ? 1 : 2;
      UncompressedQueryVectorT* result =
          RunOperation(&processor, trial, &field, &status);
      EXPECT_EQ(result, nullptr) << kOpNames[static_cast<int>(op)];
      EXPECT_EQ(status, StatusReadError) << kOpNames[static_cast<int>(op)];
      delete result;
    }
  }
}

// Cases where a careless evaluation goes wrong.
TEST(QueryProcessorTest, WorkedCases) {
  ScopedTempDirT dir;
  DeletedSetT deleted;
  deleted.Records.insert(1007);
  struct Case {
    const char* name;
    Op op;
    std::vector<List> lists;
    uint32_t parameter;
    List expected;
  } cases[] = {
      {"NOT removes every hit of a record the other holds", Op::kNot,
       {{{1, 1}, {1, 2}, {1, 3}, {2, 4}}, {{1, 5}}}, 0, {{2, 4}}},
      {"NOT folds over a third operand", Op::kNot,
       {{{1, 1}, {2, 1}, {3, 1}}, {{1, 2}}, {{3, 3}}}, 0, {{2, 1}}},
      {"NOT of an empty operand keeps a, less deleted records", Op::kNot,
       {{{6, 1}, {7, 1}}, {}}, 0, {{6, 1}}},
      {"proximity 1 matches neighbours", Op::kProximity,
       {{{2, 4}}, {{2, 5}}}, 1, {{2, 4}, {2, 5}}},
      {"proximity 1 does not match at distance 3", Op::kProximity,
       {{{2, 4}}, {{2, 7}}}, 1, {}},
      {"proximity keeps the later hits of the longer side", Op::kProximity,
       {{{5, 5}}, {{5, 5}, {5, 6}}}, 1, {{5, 5}, {5, 6}}},
      {"proximity folds over a third operand", Op::kProximity,
       {{{1, 1}, {1, 9}}, {{1, 2}}, {{1, 3}, {1, 8}}}, 1, {{1, 2}, {1, 3}}},
      {"phrase needs the next word", Op::kPhrase,
       {{{1, 4}, {2, 4}}, {{1, 5}, {2, 6}}}, 0, {{1, 4}, {1, 5}}},
      {"overlapping phrase matches give each hit once", Op::kPhrase,
       {{{1, 1}, {1, 2}, {1, 3}, {1, 4}},
        {{1, 1}, {1, 2}, {1, 3}, {1, 4}},
        {{1, 1}, {1, 2}, {1, 3}, {1, 4}}},
       0, {{1, 1}, {1, 2}, {1, 3}, {1, 4}}},
      {"phrase drops deleted records", Op::kPhrase,
       {{{7, 1}, {8, 1}}, {{7, 2}, {8, 2}}}, 0, {{8, 1}, {8, 2}}},
      {"AND with tolerance 1 takes two of three", Op::kTolerantAnd,
       {{{1, 1}, {2, 1}}, {{2, 2}, {3, 1}}, {{3, 5}, {4, 1}}}, 1,
       {{2, 1}, {2, 2}, {3, 1}, {3, 5}}},
      {"a field span into a later record covers the start record only",
       Op::kFieldMember,
       {{{3, 1}, {3, 6}, {3, 9}, {4, 2}, {5, 1}}, {{3, 5}, {5, 2}}}, 0,
       {{3, 6}, {3, 9}}},
      {"strict AND ends with its shortest operand", Op::kAnd,
       {{{1, 1}, {5, 1}}, {{1, 2}}}, 0, {{1, 1}, {1, 2}}},
  };
  for (const Case& c : cases) {
    Trial trial;
    trial.op = c.op;
    trial.lists = c.lists;
    trial.parameter = c.parameter;
    for (Kind kind : kKinds) {
      std::vector<Kind> kinds(c.lists.size(), kind);
      EXPECT_EQ(Evaluate(trial, kinds, &deleted, 1000, dir.File("postings")),
                c.expected)
          << c.name << ", kind " << static_cast<int>(kind);
    }
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// The OR of many record-level operands: the window sweep must give what the
// tournament gives, hit for hit (which operand's count and weight a record
// keeps included).

using Instances = std::vector<TermInstanceT>;

// Record-level operand i as kind kinds[i]; an uncompressed one carries count
// and weight of its own, so that the hit a record keeps shows whose it is.
std::vector<std::unique_ptr<QueryVectorBaseT>> MakeRecordOperands(
    const std::vector<List>& lists, const std::vector<Kind>& kinds,
    const std::string& postingPath) {
  auto vectors = MakeVectors(lists, kinds, postingPath);
  for (size_t i = 0; i < lists.size(); ++i) {
    if (kinds[i] == Kind::kCompressed) continue;
    StatusCodeT status = 0;
    auto vector = std::make_unique<UncompressedQueryVectorT>(
        kinds[i] == Kind::kSmallWindow ? 5 * 16 : kWorkVectorBytes, &status);
    for (const Hit& hit : lists[i]) {
      TermInstanceT instance;
      instance.RecordNumber = hit.first;
      instance.WordPosition = 1;
      instance.Count = static_cast<uint16_t>(i + 2);
      instance.Weight = 0.5f * (i + 1);
      vector->AddInstance(&instance, &status);
    }
    vector->Rewind(&status);
    vectors[i] = std::move(vector);
  }
  return vectors;
}

// ProcessOr over operands[0..count): a null result gives {}.
std::unique_ptr<UncompressedQueryVectorT> OrOf(
    QueryVectorBaseT* const* operands, size_t count,
    const DeletedSetT* deleted, uint32_t offset, StatusCodeT* status) {
  QueryProcessorT processor(1000000, deleted, offset);
  processor.InitHeap();
  for (size_t i = 0; i < count; ++i) processor.ProcessVector(operands[i], status);
  processor.HeapStart();
  return std::unique_ptr<UncompressedQueryVectorT>(processor.ProcessOr(status));
}

Instances WalkInstances(UncompressedQueryVectorT* vector) {
  Instances hits;
  StatusCodeT status = 0;
  vector->Rewind(&status);
  for (uint32_t i = 0; i < vector->InstanceCount; ++i) {
    hits.push_back(vector->CurrentHit());
    vector->NextHit(&status);
  }
  return hits;
}

bool SameInstances(const Instances& a, const Instances& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](const TermInstanceT& x, const TermInstanceT& y) {
                      return x.RecordNumber == y.RecordNumber &&
                             x.WordPosition == y.WordPosition &&
                             x.Count == y.Count && x.Weight == y.Weight;
                    });
}

TEST(QueryProcessorTest, RecordUnionGivesTheTournamentsHits) {
  struct CaseT {
    uint32_t operands;
    uint32_t records;  // records drawn from 1..records
    uint32_t length;   // most hits an operand holds
  };
  const CaseT cases[] = {
      {8, 30, 20},        // dense: most records in most operands
      {20, 20000, 400},   // records across several windows
      {9, 1000000, 30},   // sparse: windows far apart
      {64, 3000, 60},     // a full group of an expansion
      {kMaximumOperands, 200, 12},
  };
  ScopedTempDirT dir;
  std::mt19937 random(7);
  const uint32_t offset = 50;
  for (const CaseT& c : cases) {
    for (bool withDeletions : {false, true}) {
      std::vector<List> lists;
      std::vector<Kind> kinds;
      for (uint32_t i = 0; i < c.operands; ++i) {
        uint32_t length = i % 7 == 3 ? 0 : random() % (c.length + 1);
        lists.push_back(RandomList(&random, length, c.records, 1));
        kinds.push_back(kKinds[random() % 3]);
      }
      DeletedSetT deleted;
      for (const List& list : lists) {
        for (const Hit& hit : list) {
          if (random() % 5 == 0) deleted.Records.insert(hit.first + offset);
        }
      }
      const DeletedSetT* set = withDeletions ? &deleted : nullptr;
      SCOPED_TRACE(testing::Message() << c.operands << " operands over "
                                      << c.records << " records"
                                      << (withDeletions ? ", deletions" : ""));

      // The tournament: groups too small for the sweep, then their OR, in
      // order (the OR keeps the first operand's hit either way).
      auto operands = MakeRecordOperands(lists, kinds, dir.File("postings"));
      std::vector<QueryVectorBaseT*> level;
      for (auto& operand : operands) level.push_back(operand.get());
      std::vector<std::unique_ptr<UncompressedQueryVectorT>> partials;
      StatusCodeT status = 0;
      do {
        std::vector<std::unique_ptr<UncompressedQueryVectorT>> next;
        for (size_t i = 0; i < level.size(); i += 4) {
          next.push_back(OrOf(&level[i], std::min<size_t>(4, level.size() - i),
                              set, offset, &status));
          ASSERT_NE(next.back(), nullptr);
        }
        partials = std::move(next);
        level.clear();
        for (auto& partial : partials) level.push_back(partial.get());
      } while (level.size() > 1);
      const Instances tournament = WalkInstances(partials[0].get());

      auto fresh = MakeRecordOperands(lists, kinds, dir.File("postings"));
      std::vector<QueryVectorBaseT*> all;
      for (auto& operand : fresh) all.push_back(operand.get());
      auto swept = OrOf(all.data(), all.size(), set, offset, &status);
      ASSERT_NE(swept, nullptr);
      EXPECT_EQ(status, 0);
      EXPECT_TRUE(SameInstances(WalkInstances(swept.get()), tournament));
      EXPECT_EQ(swept->RecordCount, partials[0]->RecordCount);
      EXPECT_EQ(Records(Walk(swept.get())).size(), tournament.size());
    }
  }
}

// A record-level operand whose reads fail.
class FailingRecordVectorT : public FailingVectorT {
 public:
  using FailingVectorT::FailingVectorT;
  int HoldsRecordHitsOnly() const override { return 1; }
};

TEST(QueryProcessorTest, RecordUnionFailsWithItsOperand) {
  const List hits = {{1, 1}, {2, 1}, {7000, 1}, {7001, 1}, {30000, 1}};
  for (int steps = 0; steps < 5; ++steps) {
    std::vector<std::unique_ptr<FailingRecordVectorT>> operands;
    std::vector<QueryVectorBaseT*> all;
    for (int i = 0; i < 10; ++i) {
      operands.push_back(std::make_unique<FailingRecordVectorT>(
          hits, i == 6 ? steps : 100));
      all.push_back(operands.back().get());
    }
    StatusCodeT status = 0;
    auto result = OrOf(all.data(), all.size(), nullptr, 0, &status);
    EXPECT_EQ(result, nullptr) << steps;
    EXPECT_EQ(status, StatusReadError) << steps;
  }
}
