// PartitionReaderT over partitions built the way an indexing session builds
// them: words through the run builder and the run merge into a temporary
// index file, document weights through the weight calculator, then the
// compressor. Every term must come back with its counts and postings, the
// weights by record, the record areas verbatim; damaged headers and
// dictionaries must give a status.

#include "query/partition_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "format/compressor.h"
#include "format/decoder.h"
#include "format/partition_header.h"
#include "indexing/doc_weights.h"
#include "indexing/merge2.h"
#include "storage/fileclas.h"
#include "support/run_test_util.h"

namespace {

constexpr uint32_t kLeadingBytes = 1000;  // the partition starts here

// One record-level entry of the reference: word position (word mode) or
// occurrence count (IDF mode).
struct ExpectedT {
  std::vector<PostingT> Postings;
  uint32_t Occurrences = 0;
};

struct BuiltT {
  std::string Path;
  std::map<std::string, ExpectedT> Terms;
  std::vector<uint32_t> WordCounts;  // per record, as the calculator wrote
  std::vector<float> Weights;
  std::string RecordAreas[4];
};

FileClassT* NewFile(const ScopedTempDirT& dir, const std::string& name,
                    const std::string& bytes) {
  FileClassT* file = new FileClassT(dir.File(name).c_str());
  EXPECT_TRUE(file->Open(kFileCreate));
  if (!bytes.empty()) {
    EXPECT_TRUE(file->Write(bytes.data(), static_cast<uint32_t>(bytes.size())));
  }
  return file;
}

// Indexes random records (a few frequent words, many rare ones) and writes
// the partition behind kLeadingBytes bytes of another file.
BuiltT BuildPartition(const ScopedTempDirT& dir, int mode, bool weights,
                      uint32_t seed) {
  BuiltT built;
  built.Path = dir.File("partition");
  std::mt19937 rng(seed);
  std::vector<std::string> vocabulary;
  for (int i = 0; i < 2500; ++i) {
    std::string word = "w" + std::to_string(i);
    if (i % 7 == 0) word += std::string(1 + rng() % 200, 'x');
    vocabulary.push_back(word);
  }

  BuilderSessionT session(mode, 20000, 15000, 10000);
  StatusCodeT status = 0;
  DocWeightCalculatorT calculator(DocWeightCalculatorT::kDefaultCapacity,
                                  &status);
  FileClassT* weightFile = nullptr;
  FileClassT* countFile = nullptr;
  if (weights) {
    weightFile = NewFile(dir, "A", "");
    countFile = NewFile(dir, "B", "");
    calculator.SetOutputFiles(weightFile, countFile);
  }
  const uint32_t records = 1500;
  std::uniform_real_distribution<double> unit(0, 1);
  for (uint32_t record = 1; record <= records; ++record) {
    const uint32_t length = record % 97 == 0 ? 0 : 1 + rng() % 60;
    for (uint32_t position = 1; position <= length; ++position) {
      const double u = unit(rng);
      const std::string& word =
          vocabulary[static_cast<size_t>(vocabulary.size() * u * u * u)];
      session.Index(word);
      calculator.AddWordForDocumentWeight(
          reinterpret_cast<const unsigned char*>(word.data()),
          static_cast<uint32_t>(word.size()));
      ExpectedT& e = built.Terms[word];
      ++e.Occurrences;
      if (mode == WORD_MODE) {
        e.Postings.push_back({record, position});
      } else if (!e.Postings.empty() && e.Postings.back().Record == record) {
        ++e.Postings.back().Detail;
      } else {
        e.Postings.push_back({record, 1});
      }
    }
    float weight;
    uint32_t count;
    calculator.CalculateDocumentWeight(&weight, &count, kWeightLogSum, &status);
    EXPECT_EQ(status, 0);
    built.Weights.push_back(weight);
    built.WordCounts.push_back(count != 0 ? count : 1);
    session.NextRecord();
  }
  session.End();
  EXPECT_GT(session.Runs->RunCount(), 1u);

  std::vector<unsigned char> a(30000), b(20000), c(10000);
  MergeT merge(a.data(), 30000, b.data(), 20000, c.data(), 10000);
  EXPECT_TRUE(merge.MergeMergeFile(session.Runs.release()));
  std::unique_ptr<MFileT> merged(merge.GetFinishedMergeFile());
  IndexCompressDataInfoT info;
  info.TempIndexFile = merged->GetRunFile();
  EXPECT_TRUE(merged->DeleteLogFileOnly());
  info.WeightFileA = weightFile;
  info.WeightFileB = countFile;
  const char* names[] = {"rdp", "rd", "ridp", "ridd"};
  FileClassT** recordFiles[] = {&info.RecordDataPointerFile,
                                &info.RecordDataFile, &info.RecordIdPointerFile,
                                &info.RecordIdDataFile};
  for (int i = 0; i < 4; ++i) {
    built.RecordAreas[i] = std::string(names[i]) + std::string(i * 300, 'r');
    *recordFiles[i] = NewFile(dir, names[i], built.RecordAreas[i]);
  }
  info.WordsIndexed = 1;
  info.RecordCount = records;
  info.SmallestWeight = weights ? calculator.SmallestWeight() : 0;
  info.LargestWeight = weights ? calculator.LargestWeight() : 0;
  info.IndexMode = mode;

  IndexCompressorT compressor;
  FileClassT out(built.Path.c_str());
  EXPECT_TRUE(out.Open(kFileCreate));
  EXPECT_TRUE(out.Write(std::string(kLeadingBytes, 'L').data(), kLeadingBytes));
  EXPECT_TRUE(compressor.WriteBlankHeader(&out));
  compressor.CompressIndex(&info, &status);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(compressor.CopyDataToDataFile());
  EXPECT_TRUE(compressor.WriteFullHeader());
  EXPECT_TRUE(out.Close());
  return built;
}

// A reader over a written partition.
struct OpenedT {
  explicit OpenedT(const std::string& path, uint32_t at = kLeadingBytes)
      : File(path.c_str()), Reader(3) {
    EXPECT_TRUE(File.Open(kFileReadOnly));
    EXPECT_TRUE(File.Seek(at));
    Ok = Reader.ReadHeader(&File, &Status);
  }
  FileClassT File;
  PartitionReaderT Reader;
  StatusCodeT Status = 0;
  int Ok = 0;
};

std::string Key(const std::string& word) {
  return std::string(1, static_cast<char>(word.size())) + word;
}

const unsigned char* Bytes(const std::string& s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}

// The postings a decoder delivers for a term, as the reference holds them;
// the term must end cleanly unless the partition is damaged.
std::vector<PostingT> Decode(FileClassT* file, const WordIndexInfoT& info,
                             bool damaged = false) {
  IndexDecompressorT d;
  std::vector<PostingT> out;
  EXPECT_TRUE(d.StartDecompression(file, info));
  TermInstanceT t;
  for (;;) {
    const int got = info.IndexMode == WORD_MODE ? d.NextWordHit(&t, 0, 0)
                                                : d.GetRecordRM(t);
    if (got != 1) {
      EXPECT_TRUE(damaged || got == 5);
      break;
    }
    out.push_back({t.RecordNumber, info.IndexMode == WORD_MODE ? t.WordPosition
                                   : info.IndexMode == IDF_MODE ? t.Count
                                                                : 1u});
  }
  return out;
}

TEST(PartitionReaderTest, EveryTermAndWeightComesBack) {
  struct CaseT {
    int Mode;
    bool Weights;
  } cases[] = {{RECORD_MODE, false}, {WORD_MODE, false}, {WORD_MODE, true},
               {IDF_MODE, false},    {IDF_MODE, true}};
  for (const CaseT& c : cases) {
    SCOPED_TRACE(c.Mode * 10 + c.Weights);
    ScopedTempDirT dir;
    BuiltT built = BuildPartition(dir, c.Mode, c.Weights, 17 + c.Mode);
    // Nothing of the session is left but the partition.
    EXPECT_EQ(dir.Files(), std::vector<std::string>{"partition"});

    OpenedT p(built.Path);
    ASSERT_TRUE(p.Ok);
    PartitionReaderT& reader = p.Reader;
    const std::string bytes = ReadWholeFile(built.Path);
    EXPECT_EQ(reader.PartitionNumber(), 3u);
    EXPECT_EQ(reader.HeaderPosition(), kLeadingBytes);
    EXPECT_EQ(reader.PartitionLength(), bytes.size() - kLeadingBytes);
    EXPECT_EQ(reader.RecordCount(), 1500u);
    EXPECT_EQ(reader.IndexMode(), static_cast<uint32_t>(c.Mode));
    EXPECT_EQ(reader.Header().TermCount, built.Terms.size());
    EXPECT_EQ(reader.File(), &p.File);
    reader.SetRecordsBefore(77);
    EXPECT_EQ(reader.RecordsBefore(), 77u);

    uint32_t inlineTerms = 0, spilledTerms = 0;
    StatusCodeT status = 0;
    for (const auto& term : built.Terms) {
      SCOPED_TRACE(term.first);
      WordIndexInfoT info;
      ASSERT_EQ(reader.LookupTerm(Bytes(Key(term.first)), &info, &status), 1);
      ASSERT_EQ(status, 0);
      const std::vector<PostingT>& expected = term.second.Postings;
      std::vector<PostingT> got = Decode(reader.File(), info);
      if (c.Mode == RECORD_MODE) {
        for (PostingT& e : got) e.Detail = 1;
      }
      std::vector<PostingT> want = expected;
      if (c.Mode == RECORD_MODE) {
        for (PostingT& e : want) e.Detail = 1;
      }
      ASSERT_EQ(got, want);
      EXPECT_EQ(info.PostingCount, term.second.Occurrences);
      uint32_t records = 0;
      for (size_t i = 0; i < expected.size(); ++i) {
        records += i == 0 || expected[i].Record != expected[i - 1].Record;
      }
      EXPECT_EQ(info.RecordCount, records);
      (info.Location == kPostingsInline ? inlineTerms : spilledTerms) += 1;
    }
    EXPECT_GT(inlineTerms, 100u);
    EXPECT_GT(spilledTerms, 5u);
    // Missing terms, before, between and after the keys.
    WordIndexInfoT info;
    for (const char* missing : {"a", "w10x", "zzz"}) {
      EXPECT_EQ(reader.LookupTerm(Bytes(Key(missing)), &info, &status), 0);
      EXPECT_EQ(status, 0);
    }
    EXPECT_EQ(reader.LookupTerm(Bytes(std::string(1, '\0')), &info, &status),
              0);
    EXPECT_EQ(status, 0);

    // The record areas, verbatim.
    const PartitionHeaderT& h = reader.Header();
    const uint32_t offsets[] = {h.RecordDataPointerOffset, h.RecordDataOffset,
                                h.RecordIdPointerOffset, h.RecordIdDataOffset};
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(bytes.substr(kLeadingBytes + offsets[i],
                             built.RecordAreas[i].size()),
                built.RecordAreas[i]);
    }

    // The document weights, by record, skipping some.
    std::unique_ptr<IndexDecompressorT> weights(reader.GetTermCounts(&status));
    EXPECT_EQ(status, 0);
    if (!c.Weights) {
      EXPECT_EQ(weights, nullptr);
      continue;
    }
    ASSERT_NE(weights, nullptr);
    const float ratio = h.WeightRatio;
    for (uint32_t record = 1; record <= 1500; record += 1 + record % 5) {
      float weight;
      uint32_t count;
      ASSERT_EQ(weights->NextDocWeight(&weight, &count, record), 1) << record;
      EXPECT_EQ(count, built.WordCounts[record - 1]) << record;
      const float exact = built.Weights[record - 1];
      EXPECT_LE(weight, exact * 1.00001f) << record;
      EXPECT_GE(weight * ratio * 1.00001f, exact) << record;
    }
    float weight;
    uint32_t count;
    EXPECT_EQ(weights->NextDocWeight(&weight, &count, 1501), 5);
  }
}

TEST(PartitionReaderTest, PartitionWithoutDictionaryOrWeights) {
  ScopedTempDirT dir;
  IndexCompressDataInfoT info;
  info.WordsIndexed = 1;
  info.IndexMode = RECORD_MODE;
  info.RecordCount = 2;
  info.RecordDataPointerFile = NewFile(dir, "rdp", "12345678");
  IndexCompressorT compressor;
  const std::string path = dir.File("partition");
  FileClassT out(path.c_str());
  ASSERT_TRUE(out.Open(kFileCreate));
  ASSERT_TRUE(out.Write(std::string(kLeadingBytes, 'L').data(), kLeadingBytes));
  StatusCodeT status = 0;
  compressor.CompressIndex(&info, &status);
  ASSERT_EQ(status, 0);
  ASSERT_TRUE(compressor.WriteBlankHeader(&out) &&
              compressor.CopyDataToDataFile() && compressor.WriteFullHeader());
  ASSERT_TRUE(out.Close());

  OpenedT p(path);
  ASSERT_TRUE(p.Ok);
  EXPECT_EQ(p.Reader.Header().WordIndexFlag, 0);
  EXPECT_EQ(p.Reader.PartitionLength(), kPartitionHeaderSize + 8);
  EXPECT_TRUE(p.Reader.LoadDictionary(&status));
  WordIndexInfoT word;
  EXPECT_EQ(p.Reader.LookupTerm(Bytes(Key("any")), &word, &status), 0);
  EXPECT_EQ(p.Reader.GetTermCounts(&status), nullptr);
  EXPECT_EQ(status, 0);
}

// Damaged headers fail ReadHeader with a status, damaged dictionaries fail
// lookups with one; neither reads outside the file.
TEST(PartitionReaderTest, DamagedPartitions) {
  ScopedTempDirT dir;
  BuiltT built = BuildPartition(dir, WORD_MODE, true, 5);
  const std::string sound = ReadWholeFile(built.Path);
  PartitionHeaderT header;
  DecodePartitionHeader(Bytes(sound) + kLeadingBytes, &header);
  const uint32_t end = header.EndOffset;

  using MutationT = std::function<void(PartitionHeaderT&)>;
  const std::vector<std::pair<const char*, MutationT>> mutations = {
      {"magic", [](PartitionHeaderT& h) { h.Magic = 0x99834F2A; }},
      {"version", [](PartitionHeaderT& h) { h.Version = 0; }},
      {"mode", [](PartitionHeaderT& h) { h.IndexMode = 9; }},
      {"end", [](PartitionHeaderT& h) { h.EndOffset += 1; }},
      {"postings", [](PartitionHeaderT& h) { h.PostingDataLength += 1000000; }},
      {"dictionary", [](PartitionHeaderT& h) { h.Dictionary.LeafPages += 9999; }},
      {"records", [](PartitionHeaderT& h) { h.RecordCount += 1; }},
      {"weights", [](PartitionHeaderT& h) { h.CompressedWeightOffset = 3; }},
      {"segment", [](PartitionHeaderT& h) { h.IndexSegmentSize = 16; }},
      {"record IDs", [end](PartitionHeaderT& h) { h.RecordIdDataOffset = end + 1; }},
  };
  for (const auto& m : mutations) {
    PartitionHeaderT h = header;
    m.second(h);
    std::string bytes = sound;
    EncodePartitionHeader(h, reinterpret_cast<unsigned char*>(&bytes[0]) +
                                 kLeadingBytes);
    WriteWholeFile(built.Path, bytes);
    OpenedT p(built.Path);
    EXPECT_FALSE(p.Ok) << m.first;
    EXPECT_EQ(p.Status, StatusNotIndexFile) << m.first;
  }
  struct {
    size_t Length;
    StatusCodeT Status;
  } truncations[] = {{kLeadingBytes, StatusReadError},
                     {kLeadingBytes + 645, StatusReadError},
                     {kLeadingBytes + 646, StatusNotIndexFile},
                     {sound.size() - 1, StatusNotIndexFile}};
  for (const auto& t : truncations) {
    WriteWholeFile(built.Path, sound.substr(0, t.Length));
    OpenedT p(built.Path);
    EXPECT_FALSE(p.Ok) << t.Length;
    EXPECT_EQ(p.Status, t.Status) << t.Length;
  }
  // Read at the wrong place, the header is not one.
  WriteWholeFile(built.Path, sound);
  EXPECT_EQ(OpenedT(built.Path, 0).Status, StatusNotIndexFile);

  // Garbage in the dictionary pages: lookups end with a status or not found.
  std::mt19937 rng(3);
  const uint32_t pages = kLeadingBytes + kPartitionHeaderSize;
  for (int round = 0; round < 20; ++round) {
    std::string bytes = sound;
    for (int i = 0; i < 200; ++i) {
      bytes[pages + rng() % header.Dictionary.PageAreaLength] =
          static_cast<char>(rng());
    }
    WriteWholeFile(built.Path, bytes);
    OpenedT p(built.Path);
    ASSERT_TRUE(p.Ok);
    for (const auto& term : built.Terms) {
      StatusCodeT status = 0;
      WordIndexInfoT info;
      if (p.Reader.LookupTerm(Bytes(Key(term.first)), &info, &status) == 1) {
        Decode(p.Reader.File(), info, true);  // whatever it delivers
      } else {
        EXPECT_LE(status, 0);
      }
    }
  }
}

}  // namespace
