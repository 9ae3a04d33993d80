// Document weight segments: the quantisation scale and its degenerate
// extremes, the weights of the document weight calculator end to end, round
// trips of random areas read forward and by targets (skipping must deliver
// what decoding forward delivers), the skip-header layout, and damaged areas.

#include "format/weight_segments.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "format/compressor.h"
#include "format/decoder.h"
#include "indexing/doc_weights.h"
#include "storage/fileclas.h"
#include "support/temp_dir.h"

namespace {

constexpr uint32_t kLeadingBytes = 11;  // the area does not start at 0

struct AreaT {
  int Ok = 0;
  float Base = 0;
  float Top = 0;
  float Ratio = 0;
  uint32_t Entries = 0;
  std::string Bytes;
};

// Compresses weight files B and A (by name) as the driver does; the
// compressed area's bytes and the scale.
AreaT CompressFiles(const ScopedTempDirT& dir, const std::string& countsPath,
                    const std::string& weightsPath, float smallest,
                    float largest) {
  AreaT area;
  IndexCompressorT c;
  FileClassT counts(countsPath.c_str());
  FileClassT weights(weightsPath.c_str());
  const std::string outPath = dir.File("compressed");
  c.CompressedWeightFile.Reset(new FileClassT(outPath.c_str()));
  EXPECT_TRUE(c.CompressedWeightFile.Get()->Open(kFileCreate));
  StatusCodeT status = 0;
  area.Ok = c.CompressTermFrequencyFile(&counts, &weights, smallest, largest,
                                        area.Ratio, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(c.Header.WeightRatio, area.Ratio);
  area.Base = c.Header.SmallestWeight;
  area.Top = largest;
  area.Entries = c.DocWeightEntries;
  c.CompressedWeightFile.Get()->Close();
  area.Bytes = ReadWholeFile(outPath);
  return area;
}

// Writes entries as weight files B and A and compresses them with the
// extremes given (the entries' own when none are).
AreaT Compress(const ScopedTempDirT& dir,
               const std::vector<DocWeightInfoT>& entries, float smallest = NAN,
               float largest = NAN) {
  if (std::isnan(smallest)) {
    smallest = FLT_MAX;
    largest = FLT_MIN;
    for (const DocWeightInfoT& e : entries) {
      smallest = std::min(smallest, e.Weight);
      largest = std::max(largest, e.Weight);
    }
  }
  const std::string countsPath = dir.File("B");
  const std::string weightsPath = dir.File("A");
  {
    FileClassT counts(countsPath.c_str());
    FileClassT weights(weightsPath.c_str());
    EXPECT_TRUE(counts.Open(kFileCreate) && weights.Open(kFileCreate));
    for (const DocWeightInfoT& e : entries) {
      EXPECT_TRUE(counts.WriteLong(e.WordCount) && weights.WriteFloat(e.Weight));
    }
  }
  return CompressFiles(dir, countsPath, weightsPath, smallest, largest);
}

// A reader of an area, from a file (through its buffer and seeks) or from
// memory.
class WeightReaderT {
 public:
  WeightReaderT(const ScopedTempDirT& dir, const AreaT& area, bool fromFile)
      : Bytes(area.Bytes) {
    WordIndexInfoT info;
    info.LeadingField = 1;
    info.IndexMode = WORD_MODE;
    info.ItemCount = area.Entries;
    if (fromFile) {
      const std::string path = dir.File("area");
      WriteWholeFile(path, std::string(kLeadingBytes, '\x55') + Bytes + "tail");
      File = std::make_unique<FileClassT>(path.c_str());
      EXPECT_TRUE(File->Open(kFileReadOnly));
      info.Location = kPostingsInDataArea;
      info.DataOffset = kLeadingBytes;
    } else {
      info.InlineData = reinterpret_cast<const unsigned char*>(Bytes.data());
      info.InlineLength = static_cast<uint32_t>(Bytes.size());
    }
    EXPECT_TRUE(Decoder.StartDecompression(File.get(), info));
    Decoder.SetDocumentWeightInfo(area.Top, area.Base, area.Ratio);
  }
  int Next(uint32_t record, DocWeightInfoT* out) {
    return Decoder.NextDocWeight(&out->Weight, &out->WordCount, record);
  }

  std::string Bytes;
  std::unique_ptr<FileClassT> File;
  IndexDecompressorT Decoder;
};

// Every entry, read forward; fails the test if one cannot be read.
std::vector<DocWeightInfoT> ReadForward(WeightReaderT& reader, uint32_t n) {
  std::vector<DocWeightInfoT> out(n);
  for (uint32_t i = 0; i < n; ++i) {
    if (reader.Next(0, &out[i]) != 1) {
      ADD_FAILURE() << "entry " << i;
      break;
    }
  }
  DocWeightInfoT end;
  EXPECT_EQ(reader.Next(0, &end), 5);
  return out;
}

bool SameEntry(const DocWeightInfoT& a, const DocWeightInfoT& b) {
  return a.WordCount == b.WordCount && a.Weight == b.Weight;
}

// A decoded weight stands for the weight within one level step below it,
// or for the base when the weight is at or below the base.
void ExpectQuantised(float weight, float decoded, const AreaT& area) {
  ASSERT_TRUE(std::isfinite(decoded));
  if (!(weight > area.Base)) {
    EXPECT_EQ(decoded, area.Base);
    return;
  }
  const double tolerance = 1e-5;
  EXPECT_LE(decoded, weight * (1 + tolerance));
  EXPECT_GE(decoded * area.Ratio * (1 + tolerance), weight);
}

TEST(DocWeightScaleTest, ExtremesAndLevels) {
  // Sound extremes: base L, ratio the 256th root of S / L.
  DocWeightScaleT scale = MakeDocWeightScale(1.0f, 2.0f);
  EXPECT_EQ(scale.Base, 1.0f);
  EXPECT_FLOAT_EQ(scale.Ratio, static_cast<float>(std::pow(2.0, 1.0 / 256)));
  const double logRatio = std::log(static_cast<double>(scale.Ratio));
  EXPECT_EQ(DocWeightLevel(1.0f, 1.0f, logRatio), 0u);
  EXPECT_EQ(DocWeightLevel(2.0f, 1.0f, logRatio), 255u);  // 256 clamped
  EXPECT_EQ(DocWeightLevel(std::sqrt(2.0f), 1.0f, logRatio), 127u);
  // Out of range and not a number.
  EXPECT_EQ(DocWeightLevel(0.0f, 1.0f, logRatio), 0u);
  EXPECT_EQ(DocWeightLevel(-3.0f, 1.0f, logRatio), 0u);
  EXPECT_EQ(DocWeightLevel(NAN, 1.0f, logRatio), 0u);
  EXPECT_EQ(DocWeightLevel(1e30f, 1.0f, logRatio), 255u);
  EXPECT_EQ(DocWeightLevel(INFINITY, 1.0f, logRatio), 255u);
  EXPECT_EQ(DocWeightLevel(5.0f, 1.0f, 0.0), 0u);  // ratio 1

  struct {
    float Smallest, Largest;
  } degenerate[] = {
      {3.0f, 3.0f},        // all weights equal
      {FLT_MAX, FLT_MIN},  // never set
      {NAN, NAN},
      {0.0f, 0.0f},        // weight method 0
      {INFINITY, 1.0f},
      {-2.0f, -1.0f},
  };
  for (const auto& d : degenerate) {
    scale = MakeDocWeightScale(d.Smallest, d.Largest);
    EXPECT_EQ(scale.Ratio, 1.0f) << d.Smallest << " " << d.Largest;
    EXPECT_TRUE(std::isfinite(scale.Base));
  }
  // Smallest 0 while weights are positive: 32 binary orders below the top.
  scale = MakeDocWeightScale(0.0f, 8.0f);
  EXPECT_EQ(scale.Base, std::ldexp(8.0f, -32));
  EXPECT_FLOAT_EQ(scale.Ratio, static_cast<float>(std::pow(2.0, 1.0 / 8)));
  // Extremes whose quotient overflows a float still give a finite ratio.
  scale = MakeDocWeightScale(1e-30f, 1e30f);
  EXPECT_TRUE(std::isfinite(scale.Ratio));
  EXPECT_GT(scale.Ratio, 1.0f);
}

// The calculator's examples (a, a, b and an empty record) by both methods,
// through its files.
TEST(DocWeightSegmentsTest, CalculatorWeightsEndToEnd) {
  ScopedTempDirT dir;
  for (int method : {kWeightLogSum, kWeightMaxFrequency}) {
    SCOPED_TRACE(method);
    const std::string countsPath = dir.File("B");
    const std::string weightsPath = dir.File("A");
    float smallest, largest;
    {
      FileClassT counts(countsPath.c_str());
      FileClassT weights(weightsPath.c_str());
      ASSERT_TRUE(counts.Open(kFileCreate) && weights.Open(kFileCreate));
      StatusCodeT status = 0;
      DocWeightCalculatorT calculator(DocWeightCalculatorT::kDefaultCapacity,
                                      &status);
      calculator.SetOutputFiles(&weights, &counts);
      for (const char* word : {"a", "a", "b"}) {
        calculator.AddWordForDocumentWeight(
            reinterpret_cast<const unsigned char*>(word), 1);
      }
      float weight;
      uint32_t count;
      calculator.CalculateDocumentWeight(&weight, &count, method, &status);
      calculator.CalculateDocumentWeight(&weight, &count, method, &status);
      ASSERT_EQ(status, 0);
      smallest = calculator.SmallestWeight();
      largest = calculator.LargestWeight();
    }
    AreaT area = CompressFiles(dir, countsPath, weightsPath, smallest, largest);
    ASSERT_TRUE(area.Ok);
    ASSERT_EQ(area.Entries, 2u);
    const float exact = method == kWeightLogSum ? 1.9664f : 2.0f;
    EXPECT_EQ(area.Base, 1.0f);
    EXPECT_NEAR(area.Top, exact, 1e-4);
    for (bool fromFile : {false, true}) {
      WeightReaderT reader(dir, area, fromFile);
      DocWeightInfoT first, second;
      ASSERT_EQ(reader.Next(0, &first), 1);
      ASSERT_EQ(reader.Next(0, &second), 1);
      EXPECT_EQ(first.WordCount, 3u);
      ExpectQuantised(area.Top, first.Weight, area);  // level 255
      EXPECT_NEAR(first.Weight, exact, exact * (area.Ratio - 1) * 1.01);
      EXPECT_EQ(second.WordCount, 1u);  // the empty record
      EXPECT_EQ(second.Weight, 1.0f);   // level 0 is exactly the base
    }
  }
}

std::vector<DocWeightInfoT> RandomEntries(std::mt19937& rng, uint32_t n) {
  std::vector<DocWeightInfoT> entries(n);
  for (DocWeightInfoT& e : entries) {
    const uint32_t kind = rng() % 10;
    e.WordCount = kind == 0   ? 0
                  : kind == 1 ? 0xFFFFFFFFu - rng() % 3
                  : kind < 5  ? 1 + rng() % 4
                              : 1 + rng() % 100000;
    e.Weight = 1.0f + static_cast<float>(rng() % 999000) / 1000.0f;
  }
  // The extremes and the value 0 appear.
  if (n > 2) {
    entries[n / 2].Weight = 0.0f;
    entries[n / 3].Weight = 1000.0f;
  }
  return entries;
}

// Random areas of every size around the segment and index-segment bounds:
// forward reading agrees with the input, and every target, alone or in a
// rising sequence, gets the entry forward reading got.
TEST(DocWeightSegmentsTest, RandomRoundTripsForwardAndByTarget) {
  ScopedTempDirT dir;
  std::mt19937 rng(4711);
  for (uint32_t n : {1u, 15u, 16u, 17u, 64u, 1024u, 4095u, 4096u, 4097u,
                     3u * 4096u + 1000u}) {
    SCOPED_TRACE(n);
    std::vector<DocWeightInfoT> entries = RandomEntries(rng, n);
    entries[0].Weight = 1.0f;  // L itself
    AreaT area = Compress(dir, entries, 1.0f, 1000.0f);
    ASSERT_TRUE(area.Ok);
    ASSERT_EQ(area.Entries, n);
    for (bool fromFile : {false, true}) {
      SCOPED_TRACE(fromFile);
      WeightReaderT forward(dir, area, fromFile);
      std::vector<DocWeightInfoT> decoded = ReadForward(forward, n);
      for (uint32_t i = 0; i < n; ++i) {
        const uint32_t count = entries[i].WordCount;
        ASSERT_EQ(decoded[i].WordCount, count != 0 ? count : 1) << i;
        ExpectQuantised(entries[i].Weight, decoded[i].Weight, area);
      }
      EXPECT_EQ(decoded[0].Weight, 1.0f);
      if (n > 2) {
        EXPECT_EQ(decoded[n / 2].Weight, 1.0f);  // weight 0
        EXPECT_FLOAT_EQ(decoded[n / 3].Weight,
                        DocWeightOfLevel(1.0f, area.Ratio, 255));
      }

      // Single targets from a fresh reader.
      std::vector<uint32_t> targets = {1, n, (n + 1) / 2};
      for (uint32_t t : {16u, 17u, 64u, 65u, 1024u, 4096u, 4097u, 8193u}) {
        if (t <= n) targets.push_back(t);
      }
      for (uint32_t t : targets) {
        WeightReaderT reader(dir, area, fromFile);
        DocWeightInfoT got;
        ASSERT_EQ(reader.Next(t, &got), 1) << t;
        EXPECT_TRUE(SameEntry(got, decoded[t - 1])) << t;
        // The same record again, the next one, and beyond the end.
        ASSERT_EQ(reader.Next(t, &got), 1);
        EXPECT_TRUE(SameEntry(got, decoded[t - 1])) << t;
        if (t < n) {
          ASSERT_EQ(reader.Next(0, &got), 1);
          EXPECT_TRUE(SameEntry(got, decoded[t])) << t;
        }
        EXPECT_EQ(reader.Next(n + 1, &got), 5);
      }

      // A rising walk with repeats, mixing targets and plain steps.
      WeightReaderT walker(dir, area, fromFile);
      uint32_t at = 0;  // records delivered
      while (at < n) {
        DocWeightInfoT got;
        const uint32_t jump = rng() % 4 == 0 ? 0 : rng() % (rng() % 3 == 0 ? 5000 : 40);
        const uint32_t target = std::min(n, at + jump);
        if (target == 0 || jump == 0) {
          ASSERT_EQ(walker.Next(0, &got), 1);
          ++at;
        } else {
          ASSERT_EQ(walker.Next(target, &got), 1);
          at = target;
        }
        ASSERT_TRUE(SameEntry(got, decoded[at - 1])) << at;
      }
      if (n > 1) {
        DocWeightInfoT got;
        EXPECT_EQ(walker.Next(n - 1, &got), 0);  // behind the reader
      }
    }
  }
}

// Extremes no sound scale fits still give finite weights in the order of
// the input.
TEST(DocWeightSegmentsTest, DegenerateExtremes) {
  ScopedTempDirT dir;
  struct CaseT {
    const char* Name;
    std::vector<float> Weights;
    float Smallest, Largest;
  } cases[] = {
      {"all equal", {2.5f, 2.5f, 2.5f}, 2.5f, 2.5f},
      {"smallest 0", {0.0f, 1e-12f, 0.5f, 7.0f, 7.0f}, 0.0f, 7.0f},
      {"never set", {1.0f, 2.0f}, FLT_MAX, FLT_MIN},
      {"method 0", {0.0f, 0.0f}, 0.0f, 0.0f},
  };
  for (const CaseT& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<DocWeightInfoT> entries;
    for (float w : c.Weights) entries.push_back({w, 1});
    AreaT area = Compress(dir, entries, c.Smallest, c.Largest);
    ASSERT_TRUE(area.Ok);
    EXPECT_TRUE(std::isfinite(area.Base) && std::isfinite(area.Ratio));
    EXPECT_GE(area.Ratio, 1.0f);
    WeightReaderT reader(dir, area, false);
    std::vector<DocWeightInfoT> decoded = ReadForward(reader, area.Entries);
    for (size_t i = 0; i < decoded.size(); ++i) {
      EXPECT_TRUE(std::isfinite(decoded[i].Weight));
      if (i > 0 && c.Weights[i] >= c.Weights[i - 1]) {
        EXPECT_GE(decoded[i].Weight, decoded[i - 1].Weight);
      }
    }
    if (std::string(c.Name) == "smallest 0") {
      EXPECT_GT(decoded[3].Weight, decoded[2].Weight);
      EXPECT_GT(decoded[2].Weight, decoded[0].Weight);
      ExpectQuantised(7.0f, decoded[4].Weight, area);
    }
  }
}

// The stream layout: 15 entries have no header, 16 one level-0 header, and
// 4096 start with the five headers of levels 4 to 0, the level-4 body
// reaching exactly to the end of the area.
TEST(DocWeightSegmentsTest, SkipHeaderLayout) {
  IndexCompressorT c;
  std::vector<unsigned char> buffer(1 << 16);
  auto code = [&](uint32_t n) {
    std::vector<DocWeightInfoT> entries(n, DocWeightInfoT{1.0f, 1});
    c.PostingStream.StartWriting(buffer.data(),
                                 static_cast<uint32_t>(buffer.size()), nullptr);
    EXPECT_TRUE(c.CompressDocWeightIndexSegment(entries.data(), n, 2.0f, 1.0f));
    const uint64_t bits = c.PostingStream.BitsWritten();
    EXPECT_TRUE(c.PostingStream.FlushByte());
    return bits;
  };
  // An entry of word count 1 and level 0 is 9 bits.
  EXPECT_EQ(code(15), 15u * 9);
  EXPECT_EQ(code(16), DeltaLength(16 * 9) + 16u * 9);

  const uint64_t bits = code(4096);
  BioT reader;
  reader.StartReading(buffer.data(), c.PostingStream.BufferedBytes());
  uint32_t body[5];
  for (int level = 4; level >= 0; --level) {
    ASSERT_TRUE(reader.GetDelta(&body[level]));
  }
  EXPECT_EQ(body[0], 16u * 9);
  EXPECT_EQ(reader.BitsConsumed() + body[4], bits);
  ASSERT_TRUE(reader.SkipBits(body[0]));
  uint32_t next;  // the second segment's level-0 header
  ASSERT_TRUE(reader.GetDelta(&next));
  EXPECT_EQ(next, 16u * 9);
}

// Damaged areas give 0 (or some entries), never a read outside the data.
TEST(DocWeightSegmentsTest, DamagedAreas) {
  ScopedTempDirT dir;
  std::mt19937 rng(99);
  const uint32_t n = 5000;
  AreaT area = Compress(dir, RandomEntries(rng, n));
  ASSERT_TRUE(area.Ok);
  std::vector<std::string> damaged = {
      area.Bytes.substr(0, area.Bytes.size() / 2),
      std::string(area.Bytes.size(), '\xFF'),
      std::string(area.Bytes.size(), '\0'),
      std::string(),
  };
  for (int i = 0; i < 20; ++i) {
    std::string bytes = area.Bytes;
    for (int j = 0; j < 3; ++j) bytes[rng() % bytes.size()] ^= 1 + rng() % 255;
    damaged.push_back(bytes);
  }
  for (size_t d = 0; d < damaged.size(); ++d) {
    AreaT broken = area;
    broken.Bytes = damaged[d];
    for (bool fromFile : {false, true}) {
      WeightReaderT forward(dir, broken, fromFile);
      DocWeightInfoT got;
      uint32_t read = 0;
      while (read < n && forward.Next(0, &got) == 1) ++read;
      if (d < 4) {
        EXPECT_LT(read, n) << d;  // too short to hold every entry
      }
      WeightReaderT targeted(dir, broken, fromFile);
      for (uint32_t t = 1; t <= n; t += 1 + rng() % 700) {
        if (targeted.Next(t, &got) != 1) break;
      }
    }
  }
}

}  // namespace
