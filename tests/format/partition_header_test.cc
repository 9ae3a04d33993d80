// The partition header: the stored bytes at their offsets, a round trip of
// every field, and the checks that refuse headers a reader cannot trust.

#include "format/partition_header.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "storage/fileclas.h"
#include "support/temp_dir.h"

namespace {

// A sound header of a partition with every area, 10000 bytes long.
PartitionHeaderT SoundHeader() {
  PartitionHeaderT h;
  h.IndexMode = WORD_MODE;
  h.WordIndexFlag = 1;
  h.Dictionary = {kBTreeMagic, 636, 2 * 4096, 1, 1, 4096, 1};
  h.PostingDataOffset = 8840;
  h.PostingDataLength = 300;
  h.TermCount = 7;
  h.DocWeightFlag = 1;
  h.RecordCount = 20;
  h.WordCountOffset = 9140;
  h.CompressedWeightOffset = 9220;
  h.CompressedWeightLength = 30;
  h.WeightTableOffset = 9250;
  h.WeightTableLength = 80;
  h.SmallestWeight = 1.0f;
  h.LargestWeight = 3.5f;
  h.WeightRatio = 1.005f;
  h.RecordDataPointerOffset = 9330;
  h.RecordDataOffset = 9414;
  h.FixedRecordDataLength = 0;
  h.RecordIdPointerOffset = 9900;
  h.RecordIdDataOffset = 9990;
  h.FixedRecordIdLength = 12;
  for (uint32_t i = 0; i < kPartitionOptionWords; ++i) h.Options[i] = i * 7 + 1;
  h.EndOffset = 10000;
  return h;
}

std::vector<unsigned char> Encode(const PartitionHeaderT& h) {
  std::vector<unsigned char> bytes(kPartitionHeaderSize, 0xEE);
  EncodePartitionHeader(h, bytes.data());
  return bytes;
}

std::string Hex(const std::vector<unsigned char>& bytes, size_t at,
                size_t count) {
  std::string out;
  char digits[4];
  for (size_t i = at; i < at + count; ++i) {
    snprintf(digits, sizeof(digits), "%02X", bytes[i]);
    out += digits;
  }
  return out;
}

TEST(PartitionHeaderTest, StoredBytes) {
  PartitionHeaderT h = SoundHeader();
  h.PostingDataOffset = 0x12345678;
  std::vector<unsigned char> b = Encode(h);
  EXPECT_EQ(Hex(b, 0, 4), "2A4F8399");
  EXPECT_EQ(Hex(b, 4, 6), "000100020001");           // version, mode, flag
  EXPECT_EQ(Hex(b, 10, 4), "05C7A3E0");              // the dictionary's magic
  EXPECT_EQ(Hex(b, 46, 8), "0000000012345678");      // an offset
  EXPECT_EQ(Hex(b, 62, 6), "000000070001");          // terms, weight flag
  EXPECT_EQ(Hex(b, 100, 4), "3F800000");             // smallest weight 1.0
  EXPECT_EQ(Hex(b, 120, 8), "0000000100000014");     // reserved 1, records
  EXPECT_EQ(Hex(b, 128, 14), std::string(28, '0'));  // reserved
  EXPECT_EQ(Hex(b, 142, 8), "000F000F000F1000");     // segment sizes
  EXPECT_EQ(Hex(b, 166, 8), std::string(16, '0'));
  EXPECT_EQ(Hex(b, 194, 8), "0000000C00000001");     // ID length, option 0
  EXPECT_EQ(Hex(b, 358, 280), std::string(560, '0'));
  EXPECT_EQ(Hex(b, 638, 8), "0000000000002710");     // end offset 10000

  PartitionHeaderT back;
  DecodePartitionHeader(b.data(), &back);
  EXPECT_EQ(Encode(back), b);
  EXPECT_EQ(back.PostingDataOffset, 0x12345678u);
  EXPECT_EQ(back.Options[39], 39u * 7 + 1);
  EXPECT_EQ(back.WeightRatio, 1.005f);
  // The high half of an offset is ignored when read.
  b[638] = 0xFF;
  DecodePartitionHeader(b.data(), &back);
  EXPECT_EQ(back.EndOffset, 10000u);
}

// Every field pushed out of range makes the header unusable.
TEST(PartitionHeaderTest, ValidationRefusesImpossibleLayouts) {
  const uint32_t kFile = 10000;
  ASSERT_TRUE(ValidatePartitionHeader(SoundHeader(), 0, kFile));
  // The same partition further into a larger file.
  EXPECT_TRUE(ValidatePartitionHeader(SoundHeader(), 500, kFile + 500));
  EXPECT_FALSE(ValidatePartitionHeader(SoundHeader(), 500, kFile + 499));

  using MutationT = std::function<void(PartitionHeaderT&)>;
  const std::vector<std::pair<const char*, MutationT>> mutations = {
      {"magic", [](PartitionHeaderT& h) { h.Magic ^= 1; }},
      {"version", [](PartitionHeaderT& h) { h.Version = 2; }},
      {"mode 0", [](PartitionHeaderT& h) { h.IndexMode = 0; }},
      {"mode 4", [](PartitionHeaderT& h) { h.IndexMode = 4; }},
      {"word flag", [](PartitionHeaderT& h) { h.WordIndexFlag = 2; }},
      {"weight flag", [](PartitionHeaderT& h) { h.DocWeightFlag = 7; }},
      {"segment", [](PartitionHeaderT& h) { h.RecordSegmentSize = 16; }},
      {"idf segment", [](PartitionHeaderT& h) { h.IdfSegmentSize = 0; }},
      {"third segment", [](PartitionHeaderT& h) { h.ThirdSegmentSize = 1; }},
      {"index segment", [](PartitionHeaderT& h) { h.IndexSegmentSize = 4095; }},
      {"end beyond file", [](PartitionHeaderT& h) { h.EndOffset = 10001; }},
      {"end in header", [](PartitionHeaderT& h) { h.EndOffset = 645; }},
      {"dictionary magic", [](PartitionHeaderT& h) { h.Dictionary.Magic = 0; }},
      {"dictionary in header",
       [](PartitionHeaderT& h) { h.Dictionary.DataOffset = 100; }},
      {"dictionary too long",
       [](PartitionHeaderT& h) { h.Dictionary.PageAreaLength = 0xFFFFF000; }},
      {"no terms", [](PartitionHeaderT& h) { h.TermCount = 0; }},
      {"postings beyond end",
       [](PartitionHeaderT& h) { h.PostingDataLength = 1161; }},
      {"postings in header",
       [](PartitionHeaderT& h) { h.PostingDataOffset = 645; }},
      {"postings without dictionary",
       [](PartitionHeaderT& h) { h.WordIndexFlag = 0; }},
      {"word counts missing", [](PartitionHeaderT& h) { h.WordCountOffset = 0; }},
      {"word counts beyond end",
       [](PartitionHeaderT& h) { h.WordCountOffset = 9921; }},
      {"weight table length",
       [](PartitionHeaderT& h) { h.WeightTableLength = 76; }},
      {"more records than weights",
       [](PartitionHeaderT& h) { h.RecordCount = 21; }},
      {"compressed too short",
       [](PartitionHeaderT& h) { h.CompressedWeightLength = 22; }},
      {"compressed beyond end",
       [](PartitionHeaderT& h) { h.CompressedWeightOffset = 0xFFFFFFF0; }},
      {"ratio below 1", [](PartitionHeaderT& h) { h.WeightRatio = 0.5f; }},
      {"ratio NaN", [](PartitionHeaderT& h) { h.WeightRatio = NAN; }},
      {"base infinite", [](PartitionHeaderT& h) { h.SmallestWeight = INFINITY; }},
      {"weights without flag", [](PartitionHeaderT& h) { h.DocWeightFlag = 0; }},
      {"record data beyond end",
       [](PartitionHeaderT& h) { h.RecordDataOffset = 10001; }},
      {"record ID pointers in header",
       [](PartitionHeaderT& h) { h.RecordIdPointerOffset = 5; }},
      {"record ID data beyond end",
       [](PartitionHeaderT& h) { h.RecordIdDataOffset = 0x80000000; }},
  };
  for (const auto& m : mutations) {
    PartitionHeaderT h = SoundHeader();
    m.second(h);
    EXPECT_FALSE(ValidatePartitionHeader(h, 0, kFile)) << m.first;
  }
  // A partition holding nothing but record data is sound.
  PartitionHeaderT bare = SoundHeader();
  bare.WordIndexFlag = 0;
  bare.TermCount = 0;
  bare.PostingDataOffset = bare.PostingDataLength = 0;
  bare.Dictionary = BTreeHeaderT();
  bare.DocWeightFlag = 0;
  bare.WordCountOffset = bare.CompressedWeightOffset = 0;
  bare.CompressedWeightLength = bare.WeightTableOffset = 0;
  bare.WeightTableLength = 0;
  EXPECT_TRUE(ValidatePartitionHeader(bare, 0, kFile));
}

TEST(PartitionHeaderTest, ReadingFromFiles) {
  ScopedTempDirT dir;
  const std::string path = dir.File("partition");
  std::vector<unsigned char> bytes = Encode(SoundHeader());
  std::string image(bytes.begin(), bytes.end());
  image.resize(10000, 'x');
  struct CaseT {
    std::string Bytes;
    StatusCodeT Status;
  } cases[] = {
      {image, 0},
      {image.substr(0, 645), StatusReadError},
      {std::string(), StatusReadError},
      {image.substr(0, 9999), StatusNotIndexFile},  // shorter than the end
      {std::string(646, '\0'), StatusNotIndexFile},
  };
  for (const CaseT& c : cases) {
    WriteWholeFile(path, c.Bytes);
    FileClassT file(path.c_str());
    ASSERT_TRUE(file.Open(kFileReadOnly));
    PartitionHeaderT h;
    h.TermCount = 12345;
    StatusCodeT status = 0;
    EXPECT_EQ(ReadPartitionHeader(&file, &h, &status), c.Status == 0 ? 1 : 0);
    EXPECT_EQ(status, c.Status);
    EXPECT_EQ(h.TermCount, c.Status == 0 ? 7u : 12345u);
  }
}

}  // namespace
