// Document weights: the two methods, the empty record, the files written,
// the extremes, hashing and a full table.

#include "indexing/doc_weights.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cstring>
#include <string>
#include <vector>

#include "storage/fileclas.h"
#include "support/temp_dir.h"

namespace {

void AddWords(DocWeightCalculatorT* calc,
              const std::vector<std::string>& words) {
  for (const std::string& w : words) {
    calc->AddWordForDocumentWeight(
        reinterpret_cast<const unsigned char*>(w.data()),
        static_cast<uint32_t>(w.size()));
  }
}

uint32_t BigEndian32(const std::string& bytes, size_t at) {
  return (uint32_t{static_cast<uint8_t>(bytes[at])} << 24) |
         (uint32_t{static_cast<uint8_t>(bytes[at + 1])} << 16) |
         (uint32_t{static_cast<uint8_t>(bytes[at + 2])} << 8) |
         uint32_t{static_cast<uint8_t>(bytes[at + 3])};
}

TEST(DocWeightTest, RecordsAreWeightedAndWrittenInOrder) {
  struct CaseT {
    int Method;
    std::vector<std::string> Words;
    float Weight;
    uint32_t Count;    // returned
    uint32_t Written;  // in the word-count file
  } cases[] = {
      {kWeightLogSum, {"a", "a", "b"}, 1.9664f, 3, 3},
      {kWeightMaxFrequency, {"a", "a", "b"}, 2, 3, 3},
      {kWeightLogSum, {}, 1, 0, 1},
      {kWeightMaxFrequency, {}, 1, 0, 1},
      {kWeightNone, {"a", "a", "b"}, 0, 3, 3},
      {kWeightNone, {}, 0, 0, 1},
      // The previous records' words are gone: "a" occurs once here.
      {kWeightMaxFrequency, {"a", "c", "d", "c"}, 2, 4, 4},
      // 01 hashes to 0, which is taken as 1: the hash of 02.
      {kWeightMaxFrequency, {"\x01", "\x02"}, 2, 2, 2},
  };
  ScopedTempDirT dir;
  FileClassT weights(dir.File("a").c_str()), counts(dir.File("b").c_str());
  ASSERT_EQ(weights.Open(kFileCreate), 1);
  ASSERT_EQ(counts.Open(kFileCreate), 1);
  StatusCodeT status = 0;
  DocWeightCalculatorT calc(DocWeightCalculatorT::kDefaultCapacity, &status);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(calc.LargestWeight(), FLT_MIN);
  EXPECT_EQ(calc.SmallestWeight(), FLT_MAX);
  calc.SetOutputFiles(&weights, &counts);
  for (const CaseT& c : cases) {
    AddWords(&calc, c.Words);
    float weight = -1;
    uint32_t count = 99;
    calc.CalculateDocumentWeight(&weight, &count, c.Method, &status);
    EXPECT_NEAR(weight, c.Weight, 1e-4) << c.Method << " " << c.Words.size();
    EXPECT_EQ(count, c.Count);
  }
  EXPECT_EQ(status, 0);
  EXPECT_EQ(calc.SmallestWeight(), 0);
  EXPECT_EQ(calc.LargestWeight(), 2);
  ASSERT_EQ(weights.Close(), 1);
  ASSERT_EQ(counts.Close(), 1);

  std::string w = ReadWholeFile(dir.File("a"));
  std::string n = ReadWholeFile(dir.File("b"));
  ASSERT_EQ(w.size(), 4 * std::size(cases));
  ASSERT_EQ(n.size(), 4 * std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    uint32_t bits = BigEndian32(w, 4 * i);
    float weight;
    std::memcpy(&weight, &bits, 4);
    EXPECT_NEAR(weight, cases[i].Weight, 1e-4) << i;
    EXPECT_EQ(BigEndian32(n, 4 * i), cases[i].Written) << i;
  }

  calc.Reset();
  EXPECT_EQ(calc.LargestWeight(), FLT_MIN);
  EXPECT_EQ(calc.SmallestWeight(), FLT_MAX);
}

TEST(DocWeightTest, FullTableDropsFurtherWords) {
  StatusCodeT status = 0;
  DocWeightCalculatorT calc(1, &status);
  AddWords(&calc, {"a", "b", "b", "a"});
  float weight = 0;
  uint32_t count = 0;
  calc.CalculateDocumentWeight(&weight, &count, kWeightMaxFrequency, &status);
  EXPECT_EQ(weight, 2);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(status, 0);
}

TEST(DocWeightTest, FailedWriteIsReported) {
  ScopedTempDirT dir;
  WriteWholeFile(dir.File("w"), "");
  FileClassT readOnly(dir.File("w").c_str());
  ASSERT_EQ(readOnly.Open(kFileReadOnly), 1);
  StatusCodeT status = 0;
  DocWeightCalculatorT calc(16, &status);
  calc.SetOutputFiles(&readOnly, nullptr);
  calc.CalculateDocumentWeight(nullptr, nullptr, kWeightLogSum, &status);
  EXPECT_EQ(status, StatusWriteError);
}

}  // namespace
