// The run merge: a model test of the whole road from words to the temporary
// index file under tiny memory, then the group sizes, the summing of counts,
// pass-through of a single run, and damaged runs.

#include "indexing/merge2.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

#include "support/run_test_util.h"

namespace {

constexpr uint32_t kBig = 65000;

// A run record with 4-byte postings.
std::string RunRecord(const std::string& word, uint32_t occurrences,
                      const std::vector<uint32_t>& records) {
  std::string bytes(1, static_cast<char>(word.size()));
  bytes += word;
  WordRecT rec = {occurrences, static_cast<uint32_t>(4 * records.size()),
                  static_cast<uint32_t>(records.size())};
  bytes.append(reinterpret_cast<const char*>(&rec), sizeof(rec));
  for (uint32_t r : records) bytes.append(reinterpret_cast<const char*>(&r), 4);
  return bytes;
}

// A closed run file holding the given runs (raw bytes each).
MFileT* MakeRuns(const std::vector<std::string>& runs) {
  MFileT* files = new MFileT();
  EXPECT_EQ(files->Open(kRunFileCreate, nullptr, 0), 1);
  const uint32_t tags[4] = {1, 2, 3, 4};
  for (const std::string& run : runs) {
    files->BeginIndexRun();
    EXPECT_EQ(files->Write(run.data(), static_cast<uint32_t>(run.size())), 1);
    EXPECT_EQ(files->EndIndexRun(tags), 1);
  }
  EXPECT_EQ(files->Close(), 1);
  return files;
}

struct MergeBuffersT {
  MergeBuffersT(uint32_t a, uint32_t b, uint32_t c) : A(a), B(b), C(c) {}
  MergeT Make() {
    return MergeT(A.data(), static_cast<uint32_t>(A.size()), B.data(),
                  static_cast<uint32_t>(B.size()), C.data(),
                  static_cast<uint32_t>(C.size()));
  }
  std::vector<unsigned char> A, B, C;
};

// Merges and returns the single merged run's bytes; the files are deleted.
std::string MergeToBytes(MergeT* merge, MFileT* runs) {
  EXPECT_EQ(merge->MergeMergeFile(runs), 1);
  std::unique_ptr<MFileT> result(merge->GetFinishedMergeFile());
  if (result == nullptr) return "";
  EXPECT_EQ(result->RunCount(), 1u);
  std::vector<std::string> merged = TakeRuns(result.get());
  return merged.empty() ? "" : merged[0];
}

// ---- Model test -------------------------------------------------------------

// The reference: every word's postings in record order, each record once.
struct ReferenceT {
  std::map<std::string, std::vector<PostingT>> Postings;
  std::map<std::string, uint32_t> Occurrences;
};

// A random word stream: binary bytes, lengths 1 to 255 (mostly short),
// frequencies skewed towards a few words, record ends and words without a
// position of their own sprinkled in.
struct StreamT {
  struct ItemT {
    int Word;  // -1 ends the record
    uint32_t Flags;
  };
  std::vector<std::string> Vocabulary;
  std::vector<ItemT> Items;
};

StreamT MakeStream(uint32_t seed, int vocabulary, int items) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> unit(0, 1);
  StreamT stream;
  std::map<std::string, bool> seen;
  while (static_cast<int>(stream.Vocabulary.size()) < vocabulary) {
    double u = unit(rng);
    int length = u < 0.7    ? 1 + rng() % 8
                 : u < 0.95 ? 9 + rng() % 32
                            : 41 + rng() % 215;
    std::string word;
    // Some words share a long prefix with an earlier one.
    if (!stream.Vocabulary.empty() && rng() % 6 == 0) {
      const std::string& base =
          stream.Vocabulary[rng() % stream.Vocabulary.size()];
      word = base.substr(0, rng() % (base.size() + 1));
      length = std::max(length, static_cast<int>(word.size()) + 1);
    }
    while (static_cast<int>(word.size()) < std::min(length, 255)) {
      word.push_back(static_cast<char>(rng()));
    }
    if (!seen[word]) {
      seen[word] = true;
      stream.Vocabulary.push_back(word);
    }
  }
  for (int i = 0; i < items; ++i) {
    if (rng() % 16 == 0) {
      stream.Items.push_back({-1, 0});
      continue;
    }
    double u = unit(rng);
    int word = static_cast<int>(vocabulary * u * u * u);
    stream.Items.push_back({word, rng() % 25 == 0 ? kIndexNoPosition : 0u});
  }
  return stream;
}

ReferenceT Reference(const StreamT& stream, int mode) {
  ReferenceT ref;
  uint32_t record = 1, position = 0;
  for (const StreamT::ItemT& item : stream.Items) {
    if (item.Word < 0) {
      ++record;
      position = 0;
      continue;
    }
    position =
        (item.Flags & kIndexNoPosition) ? std::max(position, 1u) : position + 1;
    const std::string& word = stream.Vocabulary[item.Word];
    auto& postings = ref.Postings[word];
    bool sameRecord = !postings.empty() && postings.back().Record == record;
    if (mode == WORD_MODE) {
      if (sameRecord && postings.back().Detail == position) continue;
      postings.push_back({record, position});
    } else if (mode == IDF_MODE && sameRecord) {
      ++postings.back().Detail;
    } else if (!sameRecord) {
      postings.push_back({record, mode == IDF_MODE ? 1u : 0u});
    }
    ++ref.Occurrences[word];
  }
  return ref;
}

// Checks the order the compressor relies on (records never fall; in word
// mode (record, position) strictly rises) and folds the postings a run
// boundary split: one record in two consecutive postings.
std::vector<PostingT> CheckAndFold(const std::vector<PostingT>& postings,
                                   int mode) {
  std::vector<PostingT> folded;
  for (const PostingT& p : postings) {
    if (folded.empty()) {
      folded.push_back(p);
      continue;
    }
    const PostingT& last = folded.back();
    EXPECT_GE(p.Record, last.Record);
    if (mode == WORD_MODE) {
      EXPECT_TRUE(p.Record > last.Record || p.Detail > last.Detail);
      folded.push_back(p);
    } else if (p.Record == last.Record) {
      folded.back().Detail += p.Detail;
    } else {
      folded.push_back(p);
    }
  }
  return folded;
}

TEST(MergeTest, ManySmallRunsMergeToTheReference) {
  for (int mode : {RECORD_MODE, WORD_MODE, IDF_MODE}) {
    SCOPED_TRACE(mode);
    ScopedTempDirT dir;
    StreamT stream = MakeStream(1000 + mode, 1500, 40000);
    ReferenceT ref = Reference(stream, mode);

    BuilderSessionT s(mode, 3000, 2500, 2000, 64);
    for (const StreamT::ItemT& item : stream.Items) {
      if (item.Word < 0) {
        s.NextRecord();
      } else {
        s.Index(stream.Vocabulary[item.Word], item.Flags);
      }
    }
    s.End();
    // Runs spilled for a full table and for full memory alike.
    EXPECT_GE(s.Runs->RunCount(), 100u);
    EXPECT_GT(s.Refusals, 0);
    EXPECT_GT(s.Spills - s.Refusals, 0);

    // Room for three runs a group: 2 + 1 + 0 slices.
    MergeBuffersT buffers(13000, 9000, 4000);
    MergeT merge = buffers.Make();
    std::vector<RunWordT> merged =
        ParseRun(MergeToBytes(&merge, s.Runs.release()), mode);
    EXPECT_GE(merge.PassCount(), 4u);

    ASSERT_EQ(merged.size(), ref.Postings.size());
    auto expected = ref.Postings.begin();
    for (const RunWordT& w : merged) {
      ASSERT_EQ(w.Word, expected->first);
      EXPECT_EQ(w.Rec.OccurrenceCount, ref.Occurrences[w.Word]);
      EXPECT_EQ(CheckAndFold(w.Postings, mode), expected->second);
      ++expected;
    }
    EXPECT_TRUE(dir.Files().empty());
  }
}

// ---- Groups and passes ------------------------------------------------------

TEST(MergeTest, FortyTwoRunsMakeAGroupAndFortyThreeASecondPass) {
  struct CaseT {
    uint32_t Runs;
    uint32_t Passes;
  } cases[] = {{2, 1}, {42, 1}, {43, 2}, {85, 2}};
  for (const CaseT& c : cases) {
    SCOPED_TRACE(c.Runs);
    ScopedTempDirT dir;
    std::vector<std::string> runs;
    std::vector<uint32_t> all;
    for (uint32_t i = 1; i <= c.Runs; ++i) {
      runs.push_back(RunRecord("r" + std::to_string(1000 + i), 1, {i}) +
                     RunRecord("w", 2, {i}));
      all.push_back(i);
    }
    MergeBuffersT buffers(kBig, kBig, kBig);
    MergeT merge = buffers.Make();
    std::vector<RunWordT> merged =
        ParseRun(MergeToBytes(&merge, MakeRuns(runs)), RECORD_MODE);
    EXPECT_EQ(merge.PassCount(), c.Passes);
    ASSERT_EQ(merged.size(), c.Runs + 1);
    const RunWordT& w = merged.back();
    EXPECT_EQ(w.Word, "w");
    EXPECT_EQ(w.Rec.OccurrenceCount, 2 * c.Runs);
    std::vector<uint32_t> records;
    for (const PostingT& p : w.Postings) records.push_back(p.Record);
    EXPECT_EQ(records, all);
    EXPECT_TRUE(dir.Files().empty());
  }
}

TEST(MergeTest, BufferTooSmallForASliceLeavesItsShareToTheOthers) {
  ScopedTempDirT dir;
  // Only the first buffer can hold slices; both runs must go there.
  MergeBuffersT buffers(kBig, 100, 100);
  MergeT merge = buffers.Make();
  std::string merged = MergeToBytes(
      &merge, MakeRuns({RunRecord("a", 1, {1}), RunRecord("a", 1, {2})}));
  EXPECT_EQ(merge.PassCount(), 1u);
  EXPECT_EQ(merged, RunRecord("a", 2, {1, 2}));
}

TEST(MergeTest, SingleRunPassesThroughUntouched) {
  ScopedTempDirT dir;
  MFileT* runs = MakeRuns({RunRecord("a", 3, {1, 2})});
  MergeBuffersT buffers(kBig, kBig, kBig);
  MergeT merge = buffers.Make();
  ASSERT_EQ(merge.MergeMergeFile(runs), 1);
  EXPECT_EQ(merge.PassCount(), 0u);
  std::unique_ptr<MFileT> result(merge.GetFinishedMergeFile());
  EXPECT_EQ(result.get(), runs);
  EXPECT_EQ(TakeRuns(result.get())[0], RunRecord("a", 3, {1, 2}));
  EXPECT_TRUE(dir.Files().empty());
}

TEST(MergeTest, SharedWordIsSummedWithPostingsInRunOrder) {
  ScopedTempDirT dir;
  std::vector<std::string> runs = {
      RunRecord("a", 1, {1}) + RunRecord("ab", 2, {1, 2}),
      "",  // an empty run takes no place in the group
      RunRecord("ab", 5, {3}) + RunRecord("abc", 1, {3}),
      RunRecord("ab", 1, {4, 5, 6}) + RunRecord(Bytes({0xC1}), 1, {6}),
  };
  MergeBuffersT buffers(kBig, kBig, kBig);
  MergeT merge = buffers.Make();
  std::string merged = MergeToBytes(&merge, MakeRuns(runs));
  EXPECT_EQ(merged,
            RunRecord("a", 1, {1}) + RunRecord("ab", 8, {1, 2, 3, 4, 5, 6}) +
                RunRecord("abc", 1, {3}) + RunRecord(Bytes({0xC1}), 1, {6}));
}

TEST(MergeTest, PostingAreasLargerThanABlockAreCopiedWhole) {
  ScopedTempDirT dir;
  std::vector<uint32_t> first(3000), second(2500);
  for (uint32_t i = 0; i < 3000; ++i) first[i] = i + 1;
  for (uint32_t i = 0; i < 2500; ++i) second[i] = 3001 + i;
  std::string word(255, '\x7f');
  std::vector<std::string> runs = {RunRecord(word, 3000, first),
                                   RunRecord(word, 2500, second)};
  MergeBuffersT buffers(kBig, kBig, kBig);
  MergeT merge = buffers.Make();
  std::vector<uint32_t> all = first;
  all.insert(all.end(), second.begin(), second.end());
  EXPECT_EQ(MergeToBytes(&merge, MakeRuns(runs)), RunRecord(word, 5500, all));
}

// ---- Failures ---------------------------------------------------------------

TEST(MergeTest, DamagedRunFailsTheMergeAndLeavesNoFiles) {
  std::string good = RunRecord("b", 1, {1});
  std::string longPostings = RunRecord("c", 1, {2});
  longPostings[1 + 1 + 4] = 9;  // claims 9 posting bytes, 4 are there
  struct CaseT {
    const char* Name;
    std::vector<std::string> Runs;
    uint32_t LogLength;  // replaces run 1's length in the log when not 0
  } cases[] = {
      {"word past the run end", {good, Bytes({200, 'x'})}, 0},
      {"record cut short", {good, good.substr(0, good.size() - 3)}, 0},
      {"postings past the run end", {good, longPostings}, 0},
      {"words out of order",
       {good, RunRecord("d", 1, {2}) + RunRecord("c", 1, {2})},
       0},
      {"word twice in a run", {good, good + good}, 0},
      {"run past the file end", {good, good}, 1000},
  };
  for (const CaseT& c : cases) {
    SCOPED_TRACE(c.Name);
    ScopedTempDirT dir;
    MFileT* runs = MakeRuns(c.Runs);
    if (c.LogLength != 0) {
      std::string logName = runs->GetLogFile()->Name();
      std::string log = ReadWholeFile(logName);
      std::memcpy(&log[kRunLogStart + 28 + 4], &c.LogLength, 4);
      WriteWholeFile(logName, log);
    }
    {
      MergeBuffersT buffers(kBig, kBig, kBig);
      MergeT merge = buffers.Make();
      EXPECT_EQ(merge.MergeMergeFile(runs), 0);
      EXPECT_EQ(merge.GetFinishedMergeFile(), nullptr);
    }
    EXPECT_TRUE(dir.Files().empty());
  }
}

TEST(MergeTest, MemoryForFewerThanTwoRunsFailsInsteadOfLooping) {
  ScopedTempDirT dir;
  MergeBuffersT buffers(8191, 8191, 4096);  // one page each: no slice fits
  MergeT merge = buffers.Make();
  EXPECT_EQ(merge.MergeMergeFile(
                MakeRuns({RunRecord("a", 1, {1}), RunRecord("a", 1, {2})})),
            0);
}

}  // namespace
