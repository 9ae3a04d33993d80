// Test helpers for runs: a driver that feeds a run builder the way the
// indexer does (spilling on a full builder, retrying a word the hash table
// refused), and a parser of run bytes into words, counts and postings.

#ifndef TARVIS_TESTS_SUPPORT_RUN_TEST_UTIL_H_
#define TARVIS_TESTS_SUPPORT_RUN_TEST_UTIL_H_

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "indexing/runbld.h"
#include "storage/fileclas.h"
#include "storage/run_file.h"
#include "storage/word_rec.h"
#include "support/temp_dir.h"

struct PostingT {
  uint32_t Record;
  uint32_t Detail;  // word position (mode 2) or count in the record (mode 3)
  bool operator==(const PostingT& o) const {
    return Record == o.Record && Detail == o.Detail;
  }
};

struct RunWordT {
  std::string Word;
  WordRecT Rec;
  std::vector<PostingT> Postings;
};

// Parses the run records of one run; a malformed run fails the test.
inline std::vector<RunWordT> ParseRun(const std::string& bytes, int mode) {
  std::vector<RunWordT> words;
  size_t at = 0;
  while (at < bytes.size()) {
    RunWordT w;
    uint8_t length = static_cast<uint8_t>(bytes[at]);
    EXPECT_LE(at + 1 + length + 12, bytes.size());
    if (at + 1 + length + 12 > bytes.size()) break;
    w.Word = bytes.substr(at + 1, length);
    std::memcpy(&w.Rec, bytes.data() + at + 1 + length, 12);
    at += 1 + length + 12;
    uint32_t size = kRunEntrySize[mode];
    EXPECT_EQ(w.Rec.PostingBytes, w.Rec.PostingCount * size);
    EXPECT_LE(at + w.Rec.PostingBytes, bytes.size());
    if (at + w.Rec.PostingBytes > bytes.size()) break;
    for (uint32_t i = 0; i < w.Rec.PostingCount; ++i, at += size) {
      PostingT p = {0, 0};
      std::memcpy(&p.Record, bytes.data() + at, 4);
      if (mode == WORD_MODE) std::memcpy(&p.Detail, bytes.data() + at + 4, 4);
      if (mode == IDF_MODE) {
        uint16_t count, pad;
        std::memcpy(&count, bytes.data() + at + 4, 2);
        std::memcpy(&pad, bytes.data() + at + 6, 2);
        EXPECT_EQ(pad, 0);
        p.Detail = count;
      }
      w.Postings.push_back(p);
    }
    words.push_back(w);
  }
  return words;
}

// The bytes of every run of a closed run file pair, in log order. The pair's
// files are deleted.
inline std::vector<std::string> TakeRuns(MFileT* runs) {
  std::unique_ptr<FileClassT> runFile(runs->GetRunFile());
  std::string data = ReadWholeFile(runFile->Name());
  std::string log = ReadWholeFile(runs->GetLogFile()->Name());
  EXPECT_EQ(runFile->Delete(), 1);
  EXPECT_EQ(runs->DeleteLogFileOnly(), 1);
  std::vector<std::string> result;
  for (uint32_t n = 0; n < runs->RunCount(); ++n) {
    RunLogRecordT r;
    std::memcpy(&r, log.data() + kRunLogStart + 28 * n, sizeof(r));
    result.push_back(data.substr(r.Offset, r.Length));
  }
  return result;
}

inline std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

// A run builder over buffers of the given sizes, writing into a fresh run
// file, driven as the indexer drives it.
class BuilderSessionT {
 public:
  BuilderSessionT(int mode, uint32_t size1, uint32_t size2, uint32_t size3,
                  uint32_t tableSize = RunBuilderT::kDefaultTableSize,
                  int wide = 0)
      : Mode(mode),
        Buffer1(size1),
        Buffer2(size2),
        Buffer3(size3),
        Builder(tableSize, mode, Buffer1.data(), size1, Buffer2.data(), size2,
                Buffer3.data(), size3, wide),
        Runs(new MFileT()) {
    std::memset(&Tags, 0, sizeof(Tags));
    EXPECT_EQ(Runs->Open(kRunFileCreate, nullptr, 4096), 1);
    Builder.SetOutput(Runs.get());
  }

  // Indexes a word, spilling when the builder asks for it; returns the
  // builder's first answer.
  int Index(const std::string& word, uint32_t flags = 0) {
    auto bytes = reinterpret_cast<const unsigned char*>(word.data());
    auto length = static_cast<uint8_t>(word.size());
    int result = Builder.IndexWord(bytes, length, flags, nullptr);
    if (result == kRunBuilderNoSlot) {
      ++Refusals;
      Spill();
      EXPECT_EQ(
          Builder.IndexWord(bytes, length, flags, nullptr) == kRunBuilderNoSlot,
          false);
    } else if (result == kRunBuilderFull) {
      Spill();
    }
    return result;
  }
  void NextRecord() {
    StatusCodeT status = 0;
    Builder.IncrementRecord(&Tags, &status);
    EXPECT_EQ(status, 0);
  }
  void Spill() {
    StatusCodeT status = 0;
    Builder.EndIndexRun(&Tags, &status);
    EXPECT_EQ(status, 0);
    ++Spills;
  }
  void End() {
    StatusCodeT status = 0;
    Builder.EndIndexing(&Tags, &status);
    EXPECT_EQ(status, 0);
  }
  // The parsed runs, after End; the run files are deleted.
  std::vector<std::vector<RunWordT>> TakeParsedRuns() {
    std::vector<std::vector<RunWordT>> parsed;
    for (const std::string& run : TakeRuns(Runs.get())) {
      parsed.push_back(ParseRun(run, Mode));
    }
    return parsed;
  }

  int Mode;
  std::vector<unsigned char> Buffer1, Buffer2, Buffer3;
  RunBuilderT Builder;
  std::unique_ptr<MFileT> Runs;
  WordTypeT Tags;
  int Spills = 0;
  int Refusals = 0;  // words the hash table refused at first
};

#endif  // TARVIS_TESTS_SUPPORT_RUN_TEST_UTIL_H_
