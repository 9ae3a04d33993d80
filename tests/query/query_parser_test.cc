// The query parser: the trees it builds, its statuses, whole queries typed in
// the long form and evaluated over a term source held in memory against a
// brute-force evaluation, and queries made of garbage.

#include "query/query_parser.h"

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "gtest/gtest.h"
#include "query/operand_fold.h"
#include "query/query_convert.h"
#include "support/hit_set_model.h"
#include "support/temp_dir.h"
#include "tarvis/tarvis.h"

namespace {


const unsigned char* Bytes(const char* text) {
  return reinterpret_cast<const unsigned char*>(text);
}
const unsigned char* Bytes(const std::string& text) { return Bytes(text.c_str()); }

std::string KeyString(const unsigned char* key) {
  return std::string(reinterpret_cast<const char*>(key + 1), key[0]);
}

class DeletedSetT : public DeletedRecordSetT {
 public:
  int IsRecordDeleted(uint32_t record) const override {
    return Records.count(record) != 0;
  }
  std::set<uint32_t> Records;
};

// A wildcard pattern as the dictionary compiles it: "*" matches the rest of
// a key, "?" one byte, a backslash makes the next byte literal.
bool WildcardMatch(const std::string& pattern, const std::string& key) {
  size_t k = 0;
  for (size_t p = 0; p < pattern.size(); ++p) {
    char c = pattern[p];
    bool literal = false;
    if (c == '\\' && p + 1 < pattern.size()) {
      c = pattern[++p];
      literal = true;
    }
    if (!literal && c == '*') return true;
    if (k >= key.size()) return false;
    if ((literal || c != '?') && key[k] != c) return false;
    ++k;
  }
  return k == key.size();
}

// A vector walked once, forward, like one decoding postings from a file.
class ForwardVectorT : public QueryVectorBaseT {
 public:
  explicit ForwardVectorT(const HitSet& hits) : QueryVectorBaseT(kCompressedVectorKind) {
    std::set<uint32_t> records;
    for (const auto& hit : hits) {
      TermInstanceT instance;
      instance.RecordNumber = hit.first;
      instance.WordPosition = hit.second;
      Hits.push_back(instance);
      records.insert(hit.first);
    }
    RecordCount = static_cast<uint32_t>(records.size());
    HitCount = PostingCount = static_cast<uint32_t>(Hits.size());
    if (!Hits.empty()) Instance = Hits[0];
  }
  void NextHit(StatusCodeT* status) override {
    QueryVectorBaseT::NextHit(status);
    if (Next + 1 >= Hits.size()) {
      *status = StatusEndOfVector;
      return;
    }
    Instance = Hits[++Next];
  }
  void NextHit(uint32_t record, uint32_t word, StatusCodeT* status) override {
    TermInstanceT target;
    target.RecordNumber = record;
    target.WordPosition = word;
    do {
      NextHit(status);
    } while (*status == StatusNoError && HitBefore(Instance, target));
  }

 private:
  std::vector<TermInstanceT> Hits;
  size_t Next = 0;
};

// A partition held in memory: each term's hits, walked through small
// vectors that spill to files.
class FakeSourceT : public QueryTermSourceT {
 public:
  FakeSourceT(uint32_t mode, const DeletedRecordSetT* deleted)
      : Mode(mode), Deleted(deleted) {}

  uint32_t IndexMode() const override { return Mode; }

  QueryVectorBaseT* TokentoVector(const unsigned char* key,
                                  StatusCodeT* status) override {
    ++Lookups;
    std::string term = KeyString(key);
    if (term == FailOn) {
      *status = StatusGeneralError;
      return nullptr;
    }
    auto found = Postings.find(term);
    const HitSet& hits = found == Postings.end() ? HitSet() : found->second;
    if (Forward) return new ForwardVectorT(hits);
    return MakeVector(hits, status);
  }

  QueryVectorBaseT* ProcessWildCard(const unsigned char* pattern,
                                    const LeafViewT&,
                                    StatusCodeT* status) override {
    ++Lookups;
    Patterns.push_back(KeyString(pattern));
    return Expand(
        [&](const std::string& key) {
          return WildcardMatch(Patterns.back(), key);
        },
        Postings.begin(), UINT32_MAX, status);
  }

  QueryVectorBaseT* ProcessRange(const unsigned char* low,
                                 const unsigned char* high, uint32_t maxTerms,
                                 const LeafViewT&, StatusCodeT* status) override {
    ++Lookups;
    std::string top = KeyString(high);
    Ranges.push_back(KeyString(low) + ".." + top);
    return Expand([&](const std::string& key) { return key <= top; },
                  Postings.lower_bound(KeyString(low)), maxTerms, status);
  }

  std::map<std::string, HitSet> Postings;
  // Small vectors spill to files, which the walks then read back. Forward
  // vectors stand for terms as a partition hands them out.
  uint32_t VectorBytes = kScratchVectorBytes;
  bool Forward = false;
  std::string FailOn;
  uint32_t Lookups = 0;
  std::vector<std::string> Patterns;
  std::vector<std::string> Ranges;

 private:
  QueryVectorBaseT* MakeVector(const HitSet& hits, StatusCodeT* status) const {
    auto* vector = new UncompressedQueryVectorT(VectorBytes, status);
    for (const auto& hit : hits) {
      TermInstanceT instance;
      instance.RecordNumber = hit.first;
      instance.WordPosition = hit.second;
      vector->AddInstance(&instance, status);
    }
    vector->Rewind(status);
    return vector;
  }

  // The OR of the keys from start on that match, in key order, at most
  // limit of them; a range stops at its first key beyond the high end.
  template <typename Match>
  QueryVectorBaseT* Expand(Match match,
                           std::map<std::string, HitSet>::iterator start,
                           uint32_t limit, StatusCodeT* status) {
    QueryProcessorT processor(200, Deleted, 0);
    OrFoldT fold(&processor);
    uint32_t taken = 0;
    for (auto it = start; it != Postings.end() && taken < limit; ++it) {
      if (!match(it->first)) {
        if (limit != UINT32_MAX) break;
        continue;
      }
      ++taken;
      if (!fold.Add(MakeVector(it->second, status), status)) return nullptr;
    }
    return fold.Finish(status);
  }

  uint32_t Mode;
  const DeletedRecordSetT* Deleted;
};

// The hits of a result vector, checking that they come in order.
HitSet Walk(UncompressedQueryVectorT* vector) {
  HitSet hits;
  StatusCodeT status = StatusNoError;
  vector->Rewind(&status);
  EXPECT_GE(status, 0);
  std::pair<uint32_t, uint32_t> last(0, 0);
  while (vector->IsPositioned()) {
    std::pair<uint32_t, uint32_t> hit(vector->CurrentRecord(),
                                      vector->CurrentWord());
    EXPECT_LE(last, hit) << "hits out of order";
    last = hit;
    hits.insert(hit);
    vector->NextHit(&status);
    if (status != StatusNoError) break;
  }
  EXPECT_GE(status, 0);
  return hits;
}

std::string ShortForm(const std::string& longForm, unsigned long nearDistance) {
  std::vector<unsigned char> text(longForm.begin(), longForm.end());
  text.push_back('\0');
  tvLongQueryFormToShortQueryForm(text.data(), nearDistance);
  std::vector<unsigned char> out(TV_CONVERTED_QUERY_SIZE(longForm.size()));
  tvConvertQuery(text.data(), out.data());
  return reinterpret_cast<const char*>(out.data());
}

// ---------------------------------------------------------------------------
// Trees.

TEST(QueryParser, TreeShapes) {
  struct {
    const char* query;
    const char* tree;
  } const cases[] = {
      {"0x61", "61"},
      {"0x61 & 0x62 | 0x63", "|(&(61,62),63)"},
      {"0x61 | 0x62 & 0x63", "|(61,&(62,63))"},
      {"0x61 0x62", "&(61,62)"},
      {"0x61 | 0x62 0x63", "|(61,&(62,63))"},
      {"\"0x61 0x62\"", "\"61 62\""},
      {"0x61 & 0x62 & 0x63", "&(61,62,63)"},
      {"0x61 ! 0x62 ! 0x63", "!(61,62,63)"},
      // Every operator that binds tighter is climbed, not only the parent.
      {"0x61 & 0x62 ! 0x63 | 0x64", "|(&(61,!(62,63)),64)"},
      {"0x61 | 0x62 & 0x63 | 0x64", "|(61,&(62,63),64)"},
      {"0x61 ^ 0x62 | 0x63 ^ 0x64", "|(^(61,62),^(63,64))"},
      {"0x61 M 0x62 & 0x63", "M(61,&(62,63))"},
      {"0x61 & 0x62 M 0x63", "M(&(61,62),63)"},
      {"0x61 M 0x66 M 0x67", "M(M(61,66),67)"},
      // Proximity binds tighter than NOT and AND; one distance is one node.
      {"0x61 w5 0x62 & 0x63", "&(w5(61,62),63)"},
      {"0x61 ! 0x62 w5 0x63", "!(61,w5(62,63))"},
      {"0x61 w3 0x62 w3 0x63", "w3(61,62,63)"},
      {"0x61 w3 0x62 w5 0x63", "w5(w3(61,62),63)"},
      {"0x61 w:4 0x62", "w4(61,62)"},
      // A range is part of its leaf.
      {"0x61 - 0x63 & 0x64", "&(61-63,64)"},
      {"0x61-0x63 0x64-0x65", "&(61-63,64-65)"},
      {"(0x61) 0x62", "&((61),62)"},
      {"<0x61 | 0x62> 0x63", "&((|(61,62)),63)"},
      {"0x61 & (0x62 | 0x63", "&(61,(|(62,63)))"},
      {"0x61 \"0x62 0x63", "&(61,\"62 63\")"},
      {"\"0x61 | 0x62 0x63\"", "\"|(61,62) 63\""},
      {"\"(0x61 0x62) 0x63\"", "\"(&(61,62)) 63\""},
      {"0x61* | 0x61?", "|(61*,61?)"},
  };
  for (const auto& c : cases) {
    QueryParserT parser;
    StatusCodeT status = StatusNoError;
    ASSERT_EQ(parser.PreprocessExpression(Bytes(c.query), &status), 1)
        << c.query << " status " << status;
    EXPECT_EQ(parser.DescribeTree(), c.tree) << c.query;
  }
}

TEST(QueryParser, BooleanRootsAreThoseWhoseRecordsNeedNoPositions) {
  const struct {
    const char* query;
    int boolean;
  } cases[] = {
      {"0x61", 1},          {"((0x61*))", 1},         {"0x61-0x63", 1},
      {"0x61 & 0x62", 1},   {"0x61 | \"0x62 0x63\"", 1}, {"0x61 ! 0x62", 1},
      {"0x61 ^ 0x62", 1},   {"\"0x61 0x62\"", 0},     {"(0x61 w3 0x62)", 0},
      {"0x61 M 0x62", 0},   {"0x61 &", 0},            {"", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(QueryParserT::HasBooleanRoot(Bytes(c.query)), c.boolean) << c.query;
  }
}

TEST(QueryParser, ParametersGoToTheNodeBeforeThem) {
  QueryParserT parser;
  StatusCodeT status = StatusNoError;
  ASSERT_EQ(parser.PreprocessExpression(Bytes("0x61:1 & 0x62 :w4 :f2 & 0x63"),
                                        &status),
            1);
  EXPECT_EQ(parser.DescribeTree(), "&(61,62,63)");
}

// ---------------------------------------------------------------------------
// Statuses.

TEST(QueryParser, MalformedQueriesGetTheirStatusWithoutLookingAnythingUp) {
  ScopedTempDirT temp;
  FakeSourceT source(WORD_MODE, nullptr);
  source.Postings["a"] = {{1, 1}};
  struct {
    const char* query;
    StatusCodeT status;
  } const cases[] = {
      {"0x6", StatusHexTermExpected},
      {"0x61 w", StatusMalformedParameter},
      {")", StatusHexTermExpected},
      {"0x61 )", StatusHexTermExpected},
      {"0x61 > 0x62", StatusHexTermExpected},
      {"0x61 :", StatusMalformedParameter},
      {"0x61 -", StatusMalformedParameter},
      {"0x61 - & 0x62", StatusMalformedParameter},
      {"", StatusQuerySyntaxError},
      {"   ", StatusQuerySyntaxError},
      {"&", StatusQuerySyntaxError},
      {"! 0x61", StatusQuerySyntaxError},
      {"0x61 &", StatusQuerySyntaxError},
      {"0x61 & | 0x62", StatusQuerySyntaxError},
      {"(& 0x61)", StatusQuerySyntaxError},
      {"(0x61 &)", StatusQuerySyntaxError},
      {"()", StatusQuerySyntaxError},
      {"0x61 & ()", StatusQuerySyntaxError},
      {"0x61 & (", StatusQuerySyntaxError},
      {"\"\"", StatusQuerySyntaxError},
      {"- 0x61", StatusQuerySyntaxError},
      {"(0x61) - 0x62", StatusQuerySyntaxError},
      {"0x61 - 0x62 - 0x63", StatusQuerySyntaxError},
      {"\"0x61 (0x62\"", StatusMismatchedQuotes},
      {"(\"0x61)", StatusMismatchedQuotes},
      {"0x61 U", StatusHexTermExpected},
  };
  for (const auto& c : cases) {
    QueryParserT parser;
    StatusCodeT status = StatusNoError;
    EXPECT_EQ(parser.ProcessQuery(Bytes(c.query), &source, nullptr, 10, &status),
              nullptr)
        << c.query;
    EXPECT_EQ(status, c.status) << c.query;
  }
  EXPECT_EQ(source.Lookups, 0u);
  QueryParserT parser;
  StatusCodeT status = StatusNoError;
  EXPECT_EQ(parser.ProcessQuery(nullptr, &source, nullptr, 10, &status), nullptr);
  EXPECT_EQ(status, StatusQuerySyntaxError);
  EXPECT_EQ(parser.ProcessQuery(Bytes("0x61"), nullptr, nullptr, 10, &status),
            nullptr);
  EXPECT_LT(status, 0);
}

TEST(QueryParser, OperatorsThatCannotBeSplitTakeAtMost128Operands) {
  ScopedTempDirT temp;
  for (uint32_t mode : {RECORD_MODE, WORD_MODE}) {
    FakeSourceT source(mode, nullptr);
    source.Postings["a"] = {{1, 1}, {2, 1}};
    auto repeat = [](const char* first, const char* joint, int count) {
      std::string query = first;
      for (int i = 1; i < count; ++i) query += joint;
      return query;
    };
    // Each builds an operator of count operands.
    const std::function<std::string(int)> cases[] = {
        [&](int count) { return repeat("0x61:1", " & 0x61", count); },
        [&](int count) { return repeat("0x61", " ^ 0x61", count); },
        [&](int count) { return "\"" + repeat("0x61", " 0x61", count) + "\""; },
        [&](int count) { return repeat("0x61", " & 0x61", count - 1) + " M 0x61"; },
    };
    for (size_t i = 0; i < 4; ++i) {
      for (int count : {128, 129}) {
        std::string query = cases[i](count);
        QueryParserT parser;
        StatusCodeT status = StatusNoError;
        std::unique_ptr<UncompressedQueryVectorT> result(
            parser.ProcessQuery(Bytes(query), &source, nullptr, 10, &status));
        // Without word positions a phrase is an AND, which splits.
        bool refused = count > 128 && !(i == 2 && mode == RECORD_MODE);
        EXPECT_EQ(result == nullptr, refused) << query.substr(0, 40);
        EXPECT_EQ(status, refused ? StatusQuerySyntaxError : StatusNoError);
      }
    }
  }
}

TEST(QueryParser, SourceFailuresEndTheQuery) {
  ScopedTempDirT temp;
  FakeSourceT source(WORD_MODE, nullptr);
  source.Postings["a"] = {{1, 1}};
  source.FailOn = "b";
  for (const char* query : {"0x62", "0x61 | 0x62", "(0x61 0x62) | 0x61"}) {
    QueryParserT parser;
    StatusCodeT status = StatusNoError;
    EXPECT_EQ(parser.ProcessQuery(Bytes(query), &source, nullptr, 10, &status),
              nullptr);
    EXPECT_EQ(status, StatusGeneralError) << query;
  }
}

TEST(QueryParser, LeavesReachTheSourceAsKeysPatternsAndOrderedRanges) {
  ScopedTempDirT temp;
  FakeSourceT source(WORD_MODE, nullptr);
  source.Postings["*a"] = {{1, 1}};
  source.Postings["ba"] = {{2, 1}};
  source.Postings["c"] = {{3, 1}};
  QueryParserT parser;
  StatusCodeT status = StatusNoError;
  // "*" written in hexadecimal is a plain byte of the pattern.
  std::unique_ptr<UncompressedQueryVectorT> result(
      parser.ProcessQuery(Bytes("0x2a*"), &source, nullptr, 10, &status));
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(source.Patterns, std::vector<std::string>{"\\**"});
  EXPECT_EQ(Walk(result.get()), (HitSet{{1, 1}}));
  result.reset(parser.ProcessQuery(Bytes("0x63 - 0x62"), &source, nullptr, 10,
                                   &status));
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(source.Ranges, std::vector<std::string>{"b..c"});
  EXPECT_EQ(Walk(result.get()), (HitSet{{2, 1}, {3, 1}}));
  // A term no dictionary holds: an empty result, status 0.
  result.reset(parser.ProcessQuery(Bytes("0x7a7a"), &source, nullptr, 10, &status));
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(status, StatusNoError);
  EXPECT_EQ(result->InstanceCount, 0u);
}

TEST(QueryParser, DeletedRecordsAreAskedWithTheRecordOffset) {
  ScopedTempDirT temp;
  FakeSourceT source(RECORD_MODE, nullptr);
  source.Postings["a"] = {{1, 1}, {2, 1}, {3, 1}};
  DeletedSetT deleted;
  deleted.Records = {102};
  // A single term, a term in a list and an operator all drop record 2.
  for (const char* query : {"0x61", "((0x61))", "0x61 | 0x61"}) {
    QueryParserT parser(100);
    StatusCodeT status = StatusNoError;
    std::unique_ptr<UncompressedQueryVectorT> result(
        parser.ProcessQuery(Bytes(query), &source, &deleted, 3, &status));
    ASSERT_NE(result, nullptr) << query;
    EXPECT_EQ(Walk(result.get()), (HitSet{{1, 1}, {3, 1}})) << query;
  }
}

// ---------------------------------------------------------------------------
// Whole queries against a brute-force evaluation.

constexpr uint32_t kRecords = 200;

// Brute-force semantics over hit sets; every operation is decided record by
// record, so deleted records can be dropped from the terms up front.
class ModelT : public HitSetModelT {
 public:
  ModelT(const FakeSourceT& source, const DeletedSetT* deleted, bool positional)
      : HitSetModelT(positional), Source(source), Deleted(deleted) {}

  HitSet T(const std::string& term) const {
    HitSet hits;
    auto found = Source.Postings.find(term);
    if (found == Source.Postings.end()) return hits;
    for (const auto& hit : found->second) {
      if (Deleted == nullptr || !Deleted->Records.count(hit.first)) hits.insert(hit);
    }
    return hits;
  }
  HitSet Keys(const std::function<bool(const std::string&)>& match,
              uint32_t limit = UINT32_MAX) const {
    std::vector<HitSet> sets;
    for (const auto& posting : Source.Postings) {
      if (sets.size() < limit && match(posting.first)) sets.push_back(T(posting.first));
    }
    return Or(sets);
  }
  HitSet Range(std::string low, std::string high) const {
    if (low > high) std::swap(low, high);
    return Keys([&](const std::string& key) { return key >= low && key <= high; },
                kMaximumRangeTerms);
  }

 private:
  const FakeSourceT& Source;
  const DeletedSetT* Deleted;
};

struct QueryCaseT {
  std::string longForm;
  unsigned long nearDistance;
  std::function<HitSet(const ModelT&)> expected;
};

std::string Numbered(int i) {
  char word[8];
  std::snprintf(word, sizeof word, "w%03d", i);
  return word;
}

// "first joint w000 joint w001 ..." for count numbered words.
std::string Chain(const std::string& first, const std::string& joint, int count) {
  std::string query = first;
  for (int i = 0; i < count; ++i) query += joint + Numbered(i);
  return query;
}

std::vector<QueryCaseT> QueryTable() {
  using M = ModelT;
  auto numbered = [](const M& m, int count) {
    std::vector<HitSet> sets;
    for (int i = 0; i < count; ++i) sets.push_back(m.T(Numbered(i)));
    return sets;
  };
  std::string cats = "cat";
  for (int i = 1; i < 70; ++i) cats += " AND cat";
  std::string pairs = "cat";
  for (int i = 1; i < 70; ++i) pairs += i % 2 ? " W/4 dog" : " W/4 cat";
  return {
      {"cat", 0, [](const M& m) { return m.T("cat"); }},
      {"cat AND dog", 0, [](const M& m) { return M::And(0, {m.T("cat"), m.T("dog")}); }},
      {"cat dog", 0, [](const M& m) { return M::And(0, {m.T("cat"), m.T("dog")}); }},
      {"cat OR dog", 0, [](const M& m) { return M::Or({m.T("cat"), m.T("dog")}); }},
      {"cat NOT dog", 0, [](const M& m) { return M::Not(m.T("cat"), {m.T("dog")}); }},
      {"cat AND dog OR bird", 0,
       [](const M& m) { return M::Or({M::And(0, {m.T("cat"), m.T("dog")}), m.T("bird")}); }},
      {"cat OR dog AND bird", 0,
       [](const M& m) { return M::Or({m.T("cat"), M::And(0, {m.T("dog"), m.T("bird")})}); }},
      {"cat AND dog NOT bird OR fish", 0,
       [](const M& m) {
         return M::Or({M::And(0, {m.T("cat"), M::Not(m.T("dog"), {m.T("bird")})}),
                       m.T("fish")});
       }},
      {"cat NOT dog AND bird", 0,
       [](const M& m) { return M::And(0, {M::Not(m.T("cat"), {m.T("dog")}), m.T("bird")}); }},
      {"cat NOT dog NOT bird", 0,
       [](const M& m) { return M::Not(m.T("cat"), {m.T("dog"), m.T("bird")}); }},
      {"(cat OR dog) NOT (bird OR fish)", 0,
       [](const M& m) {
         return M::Not(M::Or({m.T("cat"), m.T("dog")}), {M::Or({m.T("bird"), m.T("fish")})});
       }},
      {"cat AND (dog OR (bird AND (fish OR cow", 0,
       [](const M& m) {
         return M::And(0, {m.T("cat"),
                           M::Or({m.T("dog"), M::And(0, {m.T("bird"),
                                                         M::Or({m.T("fish"), m.T("cow")})})})});
       }},
      {"cat ^ dog", 0, [](const M& m) { return M::Xor(0, {m.T("cat"), m.T("dog")}); }},
      {"cat ^ dog ^ bird", 0,
       [](const M& m) { return M::Xor(0, {m.T("cat"), m.T("dog"), m.T("bird")}); }},
      {"cat:1 ^ dog ^ bird", 0,
       [](const M& m) { return M::Xor(1, {m.T("cat"), m.T("dog"), m.T("bird")}); }},
      {"cat:1 AND dog AND bird", 0,
       [](const M& m) { return M::And(1, {m.T("cat"), m.T("dog"), m.T("bird")}); }},
      {"(cat AND dog AND bird):1 OR ant", 0,
       [](const M& m) {
         return M::Or({M::And(0, {m.T("cat"), m.T("dog"), m.T("bird")}), m.T("ant")});
       }},
      {"cat NEAR dog", 3, [](const M& m) { return m.Near(3, {m.T("cat"), m.T("dog")}); }},
      {"cat NEAR dog", 0, [](const M& m) { return m.Near(1, {m.T("cat"), m.T("dog")}); }},
      {"cat W/2 dog", 0, [](const M& m) { return m.Near(2, {m.T("cat"), m.T("dog")}); }},
      {"cat w/1 dog", 0, [](const M& m) { return m.Near(1, {m.T("cat"), m.T("dog")}); }},
      {"cat W/2 dog W/2 bird", 0,
       [](const M& m) { return m.Near(2, {m.T("cat"), m.T("dog"), m.T("bird")}); }},
      {"cat W/1 dog W/3 bird", 0,
       [](const M& m) {
         return m.Near(3, {m.Near(1, {m.T("cat"), m.T("dog")}), m.T("bird")});
       }},
      {"ant OR cat NEAR dog", 2,
       [](const M& m) { return M::Or({m.T("ant"), m.Near(2, {m.T("cat"), m.T("dog")})}); }},
      {"\"cat dog\"", 0, [](const M& m) { return m.Phrase({m.T("cat"), m.T("dog")}); }},
      {"\"cat dog bird\" OR ant", 0,
       [](const M& m) {
         return M::Or({m.Phrase({m.T("cat"), m.T("dog"), m.T("bird")}), m.T("ant")});
       }},
      {"\"cat (dog OR bird)\"", 0,
       [](const M& m) { return m.Phrase({m.T("cat"), M::Or({m.T("dog"), m.T("bird")})}); }},
      {"w010 - w020", 0, [](const M& m) { return m.Range("w010", "w020"); }},
      {"w020 - w010 AND cat", 0,
       [](const M& m) { return M::And(0, {m.Range("w010", "w020"), m.T("cat")}); }},
      {"w000 - w149", 0, [](const M& m) { return m.Range("w000", "w149"); }},
      {"bird - dog", 0, [](const M& m) { return m.Range("bird", "dog"); }},
      {"zz - zzz", 0, [](const M&) { return HitSet(); }},
      {"w01*", 0,
       [](const M& m) {
         return m.Keys([](const std::string& k) { return k.compare(0, 3, "w01") == 0; });
       }},
      {"w1?5 OR c*", 0,
       [](const M& m) {
         return m.Keys([](const std::string& k) {
           return (k.size() == 4 && k.compare(0, 2, "w1") == 0 && k[3] == '5') || k[0] == 'c';
         });
       }},
      {"*", 0, [](const M& m) { return m.Keys([](const std::string&) { return true; }); }},
      {"unknown", 0, [](const M&) { return HitSet(); }},
      {"cat AND unknown", 0, [](const M&) { return HitSet(); }},
      {"cat OR unknown", 0, [](const M& m) { return m.T("cat"); }},
      {"(cat)", 0, [](const M& m) { return m.T("cat"); }},
      {"cat M fld", 0, [](const M& m) { return m.Member(m.T("cat"), m.T("fld")); }},
      {"cat dog M fld", 0,
       [](const M& m) { return m.FieldAnd(0, {m.T("cat"), m.T("dog")}, m.T("fld")); }},
      {"cat:1 AND dog AND bird M fld", 0,
       [](const M& m) {
         return m.FieldAnd(1, {m.T("cat"), m.T("dog"), m.T("bird")}, m.T("fld"));
       }},
      {"(cat dog) M fld", 0,
       [](const M& m) {
         return m.Member(M::And(0, {m.T("cat"), m.T("dog")}), m.T("fld"));
       }},
      // More operands than the processor takes at once.
      {Chain("ant", " OR ", 100), 0,
       [=](const M& m) {
         auto sets = numbered(m, 100);
         sets.push_back(m.T("ant"));
         return M::Or(sets);
       }},
      {Chain("cat", " NOT ", 80), 0,
       [=](const M& m) { return M::Not(m.T("cat"), numbered(m, 80)); }},
      {cats, 0, [](const M& m) { return m.T("cat"); }},
      {pairs, 0,
       [](const M& m) {
         std::vector<HitSet> sets;
         for (int i = 0; i < 70; ++i) sets.push_back(m.T(i % 2 ? "dog" : "cat"));
         return m.Near(4, sets);
       }},
      {Chain("\"cat", " ", 90) + "\"", 0,
       [=](const M& m) {
         auto sets = numbered(m, 90);
         sets.insert(sets.begin(), m.T("cat"));
         return m.Phrase(sets);
       }},
  };
}

// Random postings: every word in about a third of the records, the numbered
// words in few, at word positions 1 to 12 (or 1 without positions); the
// field "fld" as one span per record.
void FillSource(FakeSourceT* source, bool positional, std::mt19937* random) {
  auto fill = [&](const std::string& term, uint32_t percent) {
    HitSet& hits = source->Postings[term];
    for (uint32_t record = 1; record <= kRecords; ++record) {
      if ((*random)() % 100 >= percent) continue;
      if (!positional) {
        hits.insert({record, 1});
        continue;
      }
      uint32_t count = 1 + (*random)() % 3;
      for (uint32_t i = 0; i < count; ++i) hits.insert({record, 1 + (*random)() % 12});
    }
  };
  for (const char* word : {"ant", "bird", "cat", "cow", "dog", "fish"}) fill(word, 35);
  for (int i = 0; i < 150; ++i) fill(Numbered(i), 8);
  HitSet& field = source->Postings["fld"];
  for (uint32_t record = 1; record <= kRecords; ++record) {
    if ((*random)() % 100 >= 50) continue;
    if (!positional) {
      field.insert({record, 1});
      continue;
    }
    uint32_t start = 1 + (*random)() % 8;
    field.insert({record, start});
    field.insert({record, start + 1 + (*random)() % 5});
  }
}

TEST(QueryParser, LongFormQueriesMatchABruteForceEvaluation) {
  ScopedTempDirT temp;
  std::vector<QueryCaseT> table = QueryTable();
  for (uint32_t mode : {RECORD_MODE, WORD_MODE, IDF_MODE}) {
    for (bool withDeletions : {false, true}) {
      std::mt19937 random(mode * 10 + withDeletions);
      DeletedSetT deleted;
      if (withDeletions) {
        for (uint32_t record = 1; record <= kRecords; ++record) {
          if (random() % 10 == 0) deleted.Records.insert(record);
        }
      }
      const DeletedSetT* deletion = withDeletions ? &deleted : nullptr;
      FakeSourceT source(mode, deletion);
      FillSource(&source, mode == WORD_MODE, &random);
      source.Forward = withDeletions;  // and half the runs walk terms once
      ModelT model(source, deletion, mode == WORD_MODE);
      size_t nonEmpty = 0;
      for (const QueryCaseT& c : table) {
        std::string query = ShortForm(c.longForm, c.nearDistance);
        SCOPED_TRACE("mode " + std::to_string(mode) + (withDeletions ? " deleted " : " ") +
                     c.longForm.substr(0, 60) + " -> " + query.substr(0, 60));
        QueryParserT parser;
        StatusCodeT status = StatusNoError;
        std::unique_ptr<UncompressedQueryVectorT> result(
            parser.ProcessQuery(Bytes(query), &source, deletion, kRecords, &status));
        ASSERT_NE(result, nullptr) << "status " << status;
        EXPECT_EQ(status, StatusNoError);
        HitSet expected = c.expected(model);
        nonEmpty += !expected.empty();
        EXPECT_EQ(Walk(result.get()), expected);
      }
      // The data makes most queries find something.
      EXPECT_GT(nonEmpty, table.size() * 3 / 4);
    }
  }
}

// ---------------------------------------------------------------------------
// Garbage.

void ExpectStatusOrResult(QueryParserT* parser, FakeSourceT* source,
                          const std::string& query) {
  StatusCodeT status = 12345;
  std::unique_ptr<UncompressedQueryVectorT> result(
      parser->ProcessQuery(Bytes(query), source, nullptr, kRecords, &status));
  if (result == nullptr) {
    EXPECT_LT(status, 0) << query.substr(0, 80);
  } else {
    EXPECT_EQ(status, StatusNoError) << query.substr(0, 80);
  }
}

TEST(QueryParser, GarbageGetsAStatusNeverACrash) {
  ScopedTempDirT temp;
  std::mt19937 random(99);
  FakeSourceT source(WORD_MODE, nullptr);
  FillSource(&source, true, &random);
  source.VectorBytes = kWorkVectorBytes;
  QueryParserT parser;
  const char alphabet[] = "0x0x0x6162*? &|!^-:wMfm()<>\"\"UN9 \t";
  for (int round = 0; round < 3000; ++round) {
    std::string query;
    size_t length = random() % 30;
    for (size_t i = 0; i < length; ++i) {
      query += random() % 8 == 0 ? static_cast<char>(1 + random() % 255)
                                 : alphabet[random() % (sizeof alphabet - 1)];
    }
    ExpectStatusOrResult(&parser, &source, query);
  }
  const size_t deep = 100000;
  ExpectStatusOrResult(&parser, &source, std::string(deep, '(') + "0x636174");
  ExpectStatusOrResult(&parser, &source, std::string(deep, '<') + std::string(deep, '>'));
  ExpectStatusOrResult(&parser, &source, std::string(deep, ')'));
  ExpectStatusOrResult(&parser, &source, std::string(deep, '"'));
  ExpectStatusOrResult(&parser, &source, std::string(deep + 1, '"') + "0x636174");
  std::string nested;
  for (int i = 0; i < 2000; ++i) nested += "0x636174 & (0x646f67 | \"0x636174 ";
  ExpectStatusOrResult(&parser, &source, nested);
  // A term repeated is an AND of that many operands.
  const char* const words[] = {"0x616e74 ", "0x62697264 ", "0x636174 ",
                               "0x636f77 ", "0x646f67 ", "0x66697368 "};
  std::string wide;
  for (int i = 0; i < 5000; ++i) wide += words[i % 6];
  ExpectStatusOrResult(&parser, &source, wide);
}

}  // namespace
