// Ranked retrieval: the top-N heap, the ranked query text, scores on small
// indexes worked by hand, and random indexes in every weighting mode
// against a direct computation of the scores.

#include "query/ranked_manager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "format/decoder.h"
#include "query/partition_reader.h"
#include "support/ranked_index_util.h"

namespace {

using Ranking = std::vector<std::pair<uint32_t, float>>;

// ---- Top-N heap -------------------------------------------------------------

TEST(RankedHeapTest, KeepsTheBestOfEveryRecordOfferedWhateverTheOrder) {
  // Few distinct scores, so that ties decide which records stay in.
  std::mt19937 random(7);
  std::vector<RankedRecList> offered;
  for (uint32_t r = 1; r <= 3000; ++r) {
    offered.push_back({r, 0.25f * static_cast<float>(random() % 9)});
  }
  offered.push_back({3001, kRankedScoreFloor});
  offered.push_back({3002, 0.0011f});
  std::vector<RankedRecList> expected;
  for (const RankedRecList& r : offered) {
    if (r.Score > kRankedScoreFloor) expected.push_back(r);
  }
  std::sort(expected.begin(), expected.end(),
            [](const RankedRecList& a, const RankedRecList& b) {
              return a.Score > b.Score ||
                     (a.Score == b.Score && a.RecordNumber < b.RecordNumber);
            });
  expected.resize(kRankedResults - 1);

  for (int order = 0; order < 3; ++order) {
    if (order == 1) std::reverse(offered.begin(), offered.end());
    if (order == 2) std::shuffle(offered.begin(), offered.end(), random);
    RankedHeapT heap(kRankedResults);
    ASSERT_TRUE(heap.IsValid());
    for (const RankedRecList& r : offered) heap.InsertIntoHeap(&r);
    ASSERT_EQ(kRankedResults - 1, heap.Count());
    std::vector<RankedRecList> kept(heap.Count());
    heap.TakeSorted(kept.data());
    for (size_t i = 0; i < kept.size(); ++i) {
      ASSERT_EQ(expected[i].RecordNumber, kept[i].RecordNumber) << order;
      ASSERT_EQ(expected[i].Score, kept[i].Score);
    }
  }
}

TEST(RankedHeapTest, TakesNoScoreAtOrBelowTheFloor) {
  RankedHeapT heap(kRankedResults);
  for (float score : {0.0f, -1.0f, kRankedScoreFloor, std::nanf("")}) {
    const RankedRecList r = {1, score};
    heap.InsertIntoHeap(&r);
  }
  EXPECT_EQ(0u, heap.Count());
}

// ---- Ranked query text ------------------------------------------------------

TEST(RankedQueryTextTest, ReadsSignedHexWordsAndWildcards) {
  struct CaseT {
    const char* text;
    std::vector<std::string> keys;  // key bytes; a wildcard pattern prefixed "*:"
    std::vector<int32_t> modifiers;
    StatusCodeT status;
  } cases[] = {
      {"0x61 0X6263", {"a", "bc"}, {0, 0}, StatusNoError},
      {" \t+0x61\t-  0x62 + 0x63 ", {"a", "b", "c"}, {1, -1, 1}, StatusNoError},
      {"0x61* -0x?62", {"*:a*", "*:?b"}, {0, -1}, StatusNoError},
      {"0x2a*", {"*:\\**"}, {0}, StatusNoError},
      {"", {}, {}, StatusNoError},
      {"0x61 61", {"a"}, {0}, StatusHexTermExpected},
      {"0x6", {}, {}, StatusHexTermExpected},
      {"0x", {}, {}, StatusHexTermExpected},
      {"0x61&0x62", {}, {}, StatusHexTermExpected},
      {"0x61 +", {"a"}, {0}, StatusHexTermExpected},
      {"+-0x61", {}, {}, StatusHexTermExpected},
  };
  for (const CaseT& c : cases) {
    RankedManagerT manager(nullptr, reinterpret_cast<const unsigned char*>(c.text),
                           nullptr, kWeightFlat);
    unsigned char key[256];
    int wildcard = 0;
    int32_t modifier = 0;
    StatusCodeT status = StatusNoError;
    std::vector<std::string> keys;
    std::vector<int32_t> modifiers;
    int read;
    while ((read = manager.GetToken(key, &wildcard, &modifier, &status)) == 1) {
      keys.push_back((wildcard ? "*:" : "") +
                     std::string(reinterpret_cast<char*>(key + 1), key[0]));
      modifiers.push_back(modifier);
    }
    EXPECT_EQ(c.status, status) << c.text;
    EXPECT_EQ(c.status == StatusNoError ? 0 : -1, read) << c.text;
    EXPECT_EQ(c.keys, keys) << c.text;
    EXPECT_EQ(c.modifiers, modifiers) << c.text;
  }
}

TEST(RankedQueryTextTest, RefusesATermOfMoreThan255Bytes) {
  const std::string text = Hex(std::string(256, 'a'));
  RankedManagerT manager(nullptr, Text(text), nullptr, kWeightFlat);
  unsigned char key[256];
  int wildcard = 0;
  int32_t modifier = 0;
  StatusCodeT status = StatusNoError;
  EXPECT_EQ(-1, manager.GetToken(key, &wildcard, &modifier, &status));
  EXPECT_EQ(StatusBadKeyLength, status);
}

// ---- Small indexes ----------------------------------------------------------

TEST(RankedQueryTest, LogTfWeightIsOneHitOverTheDocumentWeight) {
  // Four distinct words per record: every document weight is exactly 2.
  RankedIndexT index(WORD_MODE, IndexParamWeightLogSum);
  index.Build({{{"a", "b", "c", "d"}, {"a", "e", "f", "x"}, {"b", "c", "d", "e"}}});
  StatusCodeT status = StatusNoError;
  EXPECT_EQ((Ranking{{2, 0.5f}}), index.Ranked(Hex("x"), "", &status));
  EXPECT_EQ(StatusNoError, status);
  // Two terms add up; equal scores come lowest record first.
  EXPECT_EQ((Ranking{{2, 1.0f}, {3, 1.0f}, {1, 0.5f}}),
            index.Ranked(Hex("e") + " " + Hex("x") + " " + Hex("d"), "",
                         &status));
}

TEST(RankedQueryTest, IdfModeScoresTheStoredOccurrenceCount) {
  // (ln tf + 1) / dw is 1/sqrt(2) for both records when tf is the count;
  // counting postings (tf 1) would score record 1 far lower.
  RankedIndexT index(IDF_MODE, IndexParamWeightLogSum);
  index.Build({{{"a", "a", "a", "a", "b", "b", "b", "b"}, {"a", "b"}}});
  StatusCodeT status = StatusNoError;
  Ranking ranked = index.Ranked(Hex("a"), "", &status);
  ASSERT_EQ(2u, ranked.size());
  for (const auto& hit : ranked) EXPECT_NEAR(0.7071, hit.second, 0.01);
}

TEST(RankedQueryTest, TermStatisticsAreThoseOfEachTerm) {
  // "ae" and "ba" share a hash of the word-count cache; a term's rarity must
  // still be its own, whatever else the query asks for.
  RankedIndexT index(WORD_MODE, IndexParamWeightMaxFrequency);
  index.Build({{{"ae"}, {"ba"}, {"ba"}, {"ba"}, {"c"}}});
  StatusCodeT status = StatusNoError;
  const Ranking alone = index.Ranked(Hex("ae"), "", &status);
  const Ranking both = index.Ranked(Hex("ae") + " " + Hex("ba"), "", &status);
  ASSERT_EQ(1u, alone.size());
  ASSERT_EQ(4u, both.size());
  EXPECT_EQ(alone[0], both[0]);
}

TEST(RankedQueryTest, ModifiersFilterAndSelection) {
  RankedIndexT index(WORD_MODE, IndexParamWeightMaxFrequency);
  index.Build({{{"a", "a", "a", "b"}, {"a", "c"}, {"b", "c"}, {"c"}}});
  StatusCodeT status = StatusNoError;
  struct CaseT {
    std::string ranked, boolean;
    std::vector<uint32_t> records;
  } cases[] = {
      {Hex("a"), "", {1, 2}},
      {"-" + Hex("a"), "", {}},
      {"-" + Hex("a") + " -" + Hex("c"), "", {}},
      {Hex("c") + " -" + Hex("a"), "", {3, 4}},
      {Hex("c") + " +" + Hex("b"), "", {3, 1}},
      {"+" + Hex("a") + " +" + Hex("c"), "", {2}},
      {"+" + Hex("z") + " " + Hex("a"), "", {}},
      {Hex("z"), "", {}},
      // Record 1 scores best for a, but the Boolean query keeps it out.
      {Hex("a"), Hex("c"), {2}},
      {Hex("a"), Hex("z"), {}},
      {"", Hex("c"), {2, 3, 4}},
  };
  for (const CaseT& c : cases) {
    QueryVectorBaseT* vector = index.Manager->ProcessRankedQuery(
        Text(c.ranked), Text(c.boolean), &status);
    ASSERT_EQ(StatusNoError, status) << c.ranked;
    ASSERT_NE(nullptr, vector) << c.ranked;
    std::vector<uint32_t> records;
    for (const auto& hit : Walk(vector)) records.push_back(hit.first);
    EXPECT_EQ(c.records, records) << c.ranked << " / " << c.boolean;
    delete vector;
  }
}

TEST(RankedQueryTest, RecordNumbersRunAcrossPartitions) {
  Records first(100, std::vector<std::string>{"a"});
  Records second(50, std::vector<std::string>{"a"});
  second[2].push_back("x");
  RankedIndexT index(WORD_MODE, IndexParamWeightMaxFrequency);
  index.Build({first, second});
  StatusCodeT status = StatusNoError;
  Ranking ranked = index.Ranked(Hex("x"), "", &status);
  ASSERT_EQ(1u, ranked.size());
  EXPECT_EQ(103u, ranked[0].first);
  std::unique_ptr<QueryVectorBaseT> boolean(
      index.Manager->ProcessRankedQuery(nullptr, Text(Hex("x")), &status));
  ASSERT_NE(nullptr, boolean);
  EXPECT_EQ(103u, boolean->CurrentRecord());
}

TEST(RankedQueryTest, Failures) {
  RankedIndexT index(WORD_MODE, 0);
  StatusCodeT status = StatusNoError;
  // No partition yet.
  index.Build({});
  EXPECT_EQ(nullptr, index.Manager->ProcessRankedQuery(Text(Hex("a")), nullptr,
                                                       &status));
  EXPECT_EQ(StatusNotInitializedForSearching, status);
  index.Build({{{"a", "b"}}});
  // Neither part given.
  EXPECT_EQ(nullptr, index.Manager->ProcessRankedQuery(Text(" \t"), nullptr,
                                                       &status));
  EXPECT_EQ(StatusNoError, status);
  EXPECT_EQ(nullptr, index.Manager->ProcessRankedQuery(Text("0x61 b"), nullptr,
                                                       &status));
  EXPECT_EQ(StatusHexTermExpected, status);
  // 128 terms are scored; one more is refused rather than dropped.
  std::string terms;
  for (int i = 0; i < 127; ++i) terms += Hex("b") + " ";
  EXPECT_EQ((Ranking{{1, 128.0f}}), index.Ranked(terms + Hex("a"), "", &status));
  EXPECT_EQ(StatusNoError, status);
  EXPECT_EQ(nullptr, index.Manager->ProcessRankedQuery(
                         Text(terms + Hex("a") + " " + Hex("a")), nullptr,
                         &status));
  EXPECT_EQ(StatusQuerySyntaxError, status);
}

// ---- Random indexes against a direct computation ----------------------------

struct ModelTermT {
  std::string word;  // a prefix for a wildcard
  bool wildcard;
  int modifier;
};

// The scores of a ranked query worked out from the records themselves,
// document weights included: a record's weight is what the session computed
// from its words, whatever partition the record landed in.
class ModelT {
 public:
  ModelT(const Records& records, uint32_t mode, uint32_t weighting,
         IndexManagerT* manager)
      : Mode(mode), Weighting(weighting), Deleted(records.size() + 1, false) {
    for (const auto& record : records) {
      std::map<std::string, uint32_t> counts;
      for (const std::string& word : record) ++counts[word];
      Counts.push_back(counts);
      DocumentWeights.push_back(mode == RECORD_MODE ? 1.0f
                                                    : DocumentWeight(counts));
    }
    EXPECT_EQ(records.size(), manager->NumberOfRecordsInIndex());
  }

  // The document weight of a record as indexing computes it: method 1 for
  // weighting 1, method 2 for weighting 2; an empty record counts as one
  // word occurring once.
  float DocumentWeight(const std::map<std::string, uint32_t>& counts) const {
    if (Weighting == 0) return 1.0f;
    double sum = counts.empty() ? 1.0 : 0.0;
    uint32_t largest = counts.empty() ? 1 : 0;
    for (const auto& word : counts) {
      const float w = static_cast<float>(std::log(word.second) + 1);
      sum += static_cast<double>(w) * w;
      largest = std::max(largest, word.second);
    }
    return Weighting == 1 ? static_cast<float>(std::sqrt(sum))
                          : static_cast<float>(largest);
  }

  // The matching words of a term in record r (0-based), in key order.
  std::vector<uint32_t> Matches(const ModelTermT& term, size_t r) const {
    std::vector<uint32_t> counts;
    for (const auto& word : Counts[r]) {
      if (term.wildcard ? word.first.compare(0, term.word.size(), term.word) == 0
                        : word.first == term.word) {
        counts.push_back(word.second);
      }
    }
    return counts;
  }

  // n: the records holding the term.
  float Weight(const ModelTermT& term, size_t r, double n) const {
    const std::vector<uint32_t> counts = Matches(term, r);
    uint32_t tf = 1;
    if (Mode == WORD_MODE) {
      tf = 0;
      for (uint32_t c : counts) tf += c;
    } else if (Mode == IDF_MODE) {
      // A wildcard's OR carries the count of its first term.
      tf = counts[0];
    }
    const float dw = DocumentWeights[r];
    if (Weighting == kWeightFlat) return 1.0f;
    if (Weighting == kWeightLogTf) {
      return static_cast<float>((std::log(static_cast<double>(tf)) + 1.0) / dw);
    }
    const double N = static_cast<double>(Counts.size());
    const double length = dw >= 25 ? 25.0 / dw : 1.0;
    const float p =
        static_cast<float>(0.6 * std::log(tf + 0.5) * std::log(N / n));
    const double scale = std::log(1.0 + dw) * std::log(N);
    const float q = scale > 0 ? static_cast<float>(p / scale) : 0.0f;
    return static_cast<float>(0.4 + 0.6 * (0.4 * length + q));
  }

  Ranking Rank(const std::vector<ModelTermT>& terms,
               const std::set<uint32_t>* filter) const {
    std::vector<double> holding(terms.size(), 0);
    for (size_t t = 0; t < terms.size(); ++t) {
      for (size_t r = 0; r < Counts.size(); ++r) {
        holding[t] += !Matches(terms[t], r).empty();
      }
    }
    Ranking ranked;
    for (size_t r = 0; r < Counts.size(); ++r) {
      const uint32_t record = static_cast<uint32_t>(r + 1);
      if (Deleted[record] || (filter && !filter->count(record))) continue;
      bool qualifies = true;
      bool scored = false;
      float score = 0.0f;
      for (size_t t = 0; t < terms.size(); ++t) {
        const ModelTermT& term = terms[t];
        const bool holds = !Matches(term, r).empty();
        if (term.modifier == 1 && !holds) qualifies = false;
        if (term.modifier == -1 && holds) qualifies = false;
        if (term.modifier != -1 && holds) {
          scored = true;
          score += Weight(term, r, holding[t]);
        }
      }
      if (qualifies && scored && score > kRankedScoreFloor) {
        ranked.emplace_back(record, score);
      }
    }
    std::sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) {
      return a.second > b.second || (a.second == b.second && a.first < b.first);
    });
    if (ranked.size() > kRankedResults - 1) ranked.resize(kRankedResults - 1);
    return ranked;
  }

  // Records (1-based) holding one of the words and not deleted.
  std::set<uint32_t> Holding(const std::vector<std::string>& words) const {
    std::set<uint32_t> records;
    for (size_t r = 0; r < Counts.size(); ++r) {
      for (const std::string& word : words) {
        if (Counts[r].count(word) && !Deleted[r + 1]) records.insert(r + 1);
      }
    }
    return records;
  }

  uint32_t Mode;
  uint32_t Weighting;
  std::vector<bool> Deleted;
  std::vector<std::map<std::string, uint32_t>> Counts;
  std::vector<float> DocumentWeights;
};

// Words "a0" .. "e9", the low digits far more frequent.
std::string RandomWord(std::mt19937& random) {
  const char letter = static_cast<char>('a' + random() % 5);
  const char digit = static_cast<char>(
      '0' + std::min(random() % 10, std::min(random() % 10, random() % 10)));
  return std::string{letter, digit};
}

Records RandomRecords(std::mt19937& random, size_t count, uint32_t maxCount) {
  Records records(count);
  for (auto& record : records) {
    std::map<std::string, uint32_t> counts;
    const size_t length = 1 + random() % 12;
    while (record.size() < length) {
      const std::string word = RandomWord(random);
      if (counts[word] == maxCount) continue;
      ++counts[word];
      record.push_back(word);
    }
  }
  return records;
}

// Cuts records into sessions at random places.
std::vector<Records> Sessions(std::mt19937& random, const Records& records,
                              size_t sessions) {
  std::vector<size_t> cuts = {0, records.size()};
  while (cuts.size() < sessions + 1) cuts.push_back(1 + random() % (records.size() - 1));
  std::sort(cuts.begin(), cuts.end());
  cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
  std::vector<Records> out;
  for (size_t i = 0; i + 1 < cuts.size(); ++i) {
    out.emplace_back(records.begin() + cuts[i], records.begin() + cuts[i + 1]);
  }
  return out;
}

std::vector<ModelTermT> RandomTerms(std::mt19937& random, std::string* text) {
  std::vector<ModelTermT> terms(1 + random() % 5);
  text->clear();
  for (ModelTermT& term : terms) {
    const uint32_t kind = random() % 20;
    term.modifier = kind < 3 ? 1 : kind < 6 ? -1 : 0;
    term.wildcard = random() % 8 == 0;
    term.word = RandomWord(random);
    if (term.wildcard) term.word.resize(1);
    *text += term.modifier == 1 ? "+" : term.modifier == -1 ? "- " : "";
    *text += Hex(term.word) + (term.wildcard ? "*" : "") + (random() % 2 ? " " : "\t");
  }
  return terms;
}

struct ConfigT {
  uint32_t mode;
  long weightParam;
  uint32_t weighting;
};

const ConfigT kConfigs[] = {
    {WORD_MODE, IndexParamWeightMaxFrequency, kWeightIdf},
    {IDF_MODE, IndexParamWeightMaxFrequency, kWeightIdf},
    {WORD_MODE, IndexParamWeightLogSum, kWeightLogTf},
    {IDF_MODE, IndexParamWeightLogSum, kWeightLogTf},
    // Record-mode partitions keep no document weights.
    {RECORD_MODE, IndexParamWeightMaxFrequency, kWeightIdf},
    {WORD_MODE, 0, kWeightFlat},
};

TEST(RankedModelTest, RandomIndexesScoreAsComputedDirectly) {
  std::mt19937 random(2024);
  for (const ConfigT& config : kConfigs) {
    SCOPED_TRACE(testing::Message() << "mode " << config.mode << " weighting "
                                    << config.weighting);
    Records records = RandomRecords(random, 1300, 12);
    // Some records hold one term hundreds of times, so that its hits in one
    // record fill whole blocks of postings that counting passes over.
    for (size_t r = 0; r < records.size(); r += 97) {
      records[r].insert(records[r].end(), 17 + r % 400, "c0");
    }
    RankedIndexT index(config.mode, config.weightParam);
    index.Build(Sessions(random, records, 1 + random() % 4));
    ModelT model(records, config.mode, config.weighting, index.Manager);
    StatusCodeT status = StatusNoError;
    for (uint32_t record = 1; record <= records.size(); ++record) {
      if (random() % 30 == 0) {
        index.Manager->DeleteRecordNum(record, &status);
        ASSERT_EQ(StatusNoError, status);
        model.Deleted[record] = true;
      }
    }
    for (int q = 0; q < 40; ++q) {
      std::string text;
      std::vector<ModelTermT> terms = RandomTerms(random, &text);
      if (q == 0) {
        // More than 999 records score.
        terms = {{"a", true, 0}, {"b", true, 0}, {"c0", false, 0}};
        text = "0x61* 0x62* " + Hex("c0");
      }
      std::string boolean;
      std::set<uint32_t> filter;
      if (q > 0 && random() % 3 == 0) {
        const std::vector<std::string> words = {RandomWord(random),
                                                RandomWord(random)};
        boolean = Hex(words[0]) + " | " + Hex(words[1]);
        filter = model.Holding(words);
      }
      const Ranking expected = model.Rank(terms, boolean.empty() ? nullptr : &filter);
      if (q == 0) {
        ASSERT_EQ(kRankedResults - 1, expected.size());
      }
      const Ranking ranked = index.Ranked(text, boolean, &status);
      ASSERT_EQ(StatusNoError, status) << text;
      ASSERT_EQ(expected, ranked) << text << " / " << boolean;
      // Keeping fewer records prunes: the same first records come back.
      const uint32_t limit = 1 + random() % 20;
      index.Manager->SetRankedResultLimit(limit);
      const Ranking top = index.Ranked(text, boolean, &status);
      index.Manager->SetRankedResultLimit(kRankedResults - 1);
      ASSERT_EQ(StatusNoError, status) << text;
      const Ranking first(expected.begin(),
                          expected.begin() + std::min<size_t>(limit, expected.size()));
      ASSERT_EQ(first, top) << text << " / " << boolean << " limit " << limit;
    }
  }
}

TEST(RankedModelTest, ScoresDoNotDependOnHowTheIndexIsPartitioned) {
  // Sessions of different sizes and contents, so that their lightest and
  // heaviest records differ too.
  std::mt19937 random(99);
  const ConfigT configs[] = {kConfigs[0], kConfigs[1], kConfigs[3]};
  for (const ConfigT& config : configs) {
    SCOPED_TRACE(testing::Message() << "mode " << config.mode);
    std::vector<Records> sessions(3);
    Records whole;
    uint32_t length = 2;
    for (Records& session : sessions) {
      session = RandomRecords(random, 300 + random() % 200, length);
      length *= 3;
      whole.insert(whole.end(), session.begin(), session.end());
    }
    RankedIndexT one(config.mode, config.weightParam);
    one.Build({whole});
    RankedIndexT several(config.mode, config.weightParam);
    several.Build(sessions);
    StatusCodeT status = StatusNoError;
    for (uint32_t record = 1; record <= whole.size(); record += 17) {
      one.Manager->DeleteRecordNum(record, &status);
      several.Manager->DeleteRecordNum(record, &status);
    }
    for (int q = 0; q < 30; ++q) {
      std::string text;
      RandomTerms(random, &text);
      const Ranking ranked = one.Ranked(text, "", &status);
      ASSERT_EQ(StatusNoError, status);
      EXPECT_EQ(ranked, several.Ranked(text, "", &status)) << text;
    }
  }
}

}  // namespace
