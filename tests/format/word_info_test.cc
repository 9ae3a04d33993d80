// Word information records: the bytes of the record, decoding into
// WordIndexInfoT, and decoding that refuses damaged records.

#include "format/word_info.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "format/encode.h"

namespace {

struct FieldsT {
  uint32_t R, P, Mode, Location, Offset;
};

TEST(WordInfoTest, RecordsHaveTheirBytes) {
  struct {
    FieldsT fields;
    std::vector<unsigned char> bytes;
  } cases[] = {
      {{1, 1, RECORD_MODE, kPostingsInline, 0}, {0xF0}},
      {{1, 1, WORD_MODE, kPostingsInline, 0}, {0xE8}},
      {{1, 1, RECORD_MODE, kPostingsInDataArea, 0}, {0xFE}},
      {{2, 5, IDF_MODE, kPostingsInline, 0}, {0xA3, 0x18}},
  };
  for (const auto& c : cases) {
    unsigned char out[kWordInfoMaxBytes];
    const FieldsT& f = c.fields;
    uint32_t length =
        EncodeWordInformation(f.R, f.P, f.Mode, f.Location, f.Offset, out);
    EXPECT_EQ(std::vector<unsigned char>(out, out + length), c.bytes);
  }
}

TEST(WordInfoTest, DecodesCountsModeAndLocation) {
  // R = 2, P = 5, IDF mode, inline, followed by three bytes of postings.
  const unsigned char entry[] = {0xA3, 0x18, 0x11, 0x22, 0x33};
  WordIndexInfoT info;
  ASSERT_TRUE(DecodeWordInformation(entry, sizeof(entry), 0, &info));
  EXPECT_EQ(info.LeadingField, 1u);
  EXPECT_EQ(info.RecordCount, 2u);
  EXPECT_EQ(info.PostingCount, 5u);
  EXPECT_EQ(info.ItemCount, 2u);
  EXPECT_EQ(info.IndexMode, static_cast<uint32_t>(IDF_MODE));
  EXPECT_EQ(info.Location, kPostingsInline);
  EXPECT_EQ(info.InlineData, entry + 2);
  EXPECT_EQ(info.InlineLength, 3u);

  // Word mode is asked for every posting; the data area offset is added to
  // the area's position.
  unsigned char out[kWordInfoMaxBytes];
  uint32_t length = EncodeWordInformation(3, 9, WORD_MODE,
                                          kPostingsInDataArea, 1000, out);
  ASSERT_TRUE(DecodeWordInformation(out, length, 646 + 5000, &info));
  EXPECT_EQ(info.ItemCount, 9u);
  EXPECT_EQ(info.Location, kPostingsInDataArea);
  EXPECT_EQ(info.InlineData, nullptr);
  EXPECT_EQ(info.DataOffset, 646u + 5000 + 1000);
}

TEST(WordInfoTest, ExtremeValuesRoundTripWithinTheLongestRecord) {
  const FieldsT cases[] = {
      {1, 0xFFFFFFFFu, WORD_MODE, kPostingsInDataArea, 0xFFFFFFFEu},
      {0xFFFFFFFFu, 0xFFFFFFFFu, RECORD_MODE, kPostingsInDataArea, 0},
      {0x80000000u, 0xFFFFFFFFu, IDF_MODE, kPostingsInDataArea, 0x7FFFFFFFu},
  };
  for (const FieldsT& f : cases) {
    unsigned char out[kWordInfoMaxBytes];
    uint32_t length =
        EncodeWordInformation(f.R, f.P, f.Mode, f.Location, f.Offset, out);
    ASSERT_GT(length, 0u);
    EXPECT_LE(length, kWordInfoMaxBytes);
    WordIndexInfoT info;
    ASSERT_TRUE(DecodeWordInformation(out, length, 0, &info));
    EXPECT_EQ(info.RecordCount, f.R);
    EXPECT_EQ(info.PostingCount, f.P);
    EXPECT_EQ(info.IndexMode, f.Mode);
    EXPECT_EQ(info.DataOffset, f.Offset);
  }
}

TEST(WordInfoTest, EncoderRefusesValuesItCannotCode) {
  const FieldsT cases[] = {
      {0, 1, RECORD_MODE, kPostingsInline, 0},
      {3, 2, RECORD_MODE, kPostingsInline, 0},
      {1, 1, 0, kPostingsInline, 0},
      {1, 1, 4, kPostingsInline, 0},
      {1, 1, RECORD_MODE, 2, 0},
      {1, 1, RECORD_MODE, kPostingsInDataArea, 0xFFFFFFFFu},
  };
  for (const FieldsT& f : cases) {
    unsigned char out[kWordInfoMaxBytes];
    EXPECT_EQ(EncodeWordInformation(f.R, f.P, f.Mode, f.Location, f.Offset,
                                    out),
              0u);
  }
}

// Records written bit by bit, for the damaged ones the encoder refuses.
std::vector<unsigned char> RawRecord(uint32_t leading, uint32_t r,
                                     uint32_t excess, uint32_t mode,
                                     uint32_t stored) {
  std::vector<unsigned char> bytes(kWordInfoMaxBytes + 8);
  BioT bio;
  bio.StartWriting(bytes.data(), static_cast<uint32_t>(bytes.size()), nullptr);
  bio.PutGamma(leading);
  bio.PutDelta(r);
  bio.PutDelta(excess);
  bio.PutGamma(mode);
  bio.PutBit(1);
  bio.PutDelta(1);
  bio.PutDelta(stored);
  bio.FlushByte();
  bytes.resize(bio.BufferedBytes());
  return bytes;
}

TEST(WordInfoTest, DecoderRefusesDamagedRecords) {
  WordIndexInfoT info;
  auto decodes = [&](const std::vector<unsigned char>& bytes, uint32_t base) {
    return DecodeWordInformation(bytes.data(),
                                 static_cast<uint32_t>(bytes.size()), base,
                                 &info);
  };
  EXPECT_TRUE(decodes(RawRecord(1, 5, 1, 1, 10), 0));
  EXPECT_FALSE(decodes(RawRecord(2, 5, 1, 1, 10), 0));           // leading field
  EXPECT_FALSE(decodes(RawRecord(1, 5, 1, 4, 10), 0));           // mode
  EXPECT_FALSE(decodes(RawRecord(1, 0xFFFFFFFFu, 2, 1, 1), 0));  // P overflows
  EXPECT_FALSE(decodes(RawRecord(1, 5, 1, 1, 0x10), 0xFFFFFFF8u));  // offset

  // Every cut of a sound record fails.
  std::vector<unsigned char> whole = RawRecord(1, 123456, 77, 2, 99999);
  for (size_t length = 0; length < whole.size(); ++length) {
    EXPECT_FALSE(decodes(std::vector<unsigned char>(
                             whole.begin(), whole.begin() + length),
                         0))
        << length;
  }

  // Inline postings must have a bit for every item.
  unsigned char inline_record[kWordInfoMaxBytes + 1];
  uint32_t length = EncodeWordInformation(9, 9, RECORD_MODE, kPostingsInline,
                                          0, inline_record);
  inline_record[length] = 0xFF;
  EXPECT_FALSE(DecodeWordInformation(inline_record, length, 0, &info));
  EXPECT_FALSE(DecodeWordInformation(inline_record, length + 1, 0, &info));
  EXPECT_EQ(EncodeWordInformation(8, 8, RECORD_MODE, kPostingsInline, 0,
                                  inline_record),
            length);
  EXPECT_TRUE(DecodeWordInformation(inline_record, length + 1, 0, &info));
}

TEST(WordInfoTest, GarbageNeverReadsOutsideTheEntry) {
  std::mt19937 rng(5);
  for (int i = 0; i < 20000; ++i) {
    std::vector<unsigned char> bytes(rng() % 24);
    for (unsigned char& b : bytes) b = static_cast<unsigned char>(rng());
    WordIndexInfoT info;
    if (DecodeWordInformation(bytes.data(), static_cast<uint32_t>(bytes.size()),
                              0, &info) &&
        info.Location == kPostingsInline) {
      EXPECT_GE(info.InlineData, bytes.data());
      EXPECT_EQ(info.InlineData + info.InlineLength,
                bytes.data() + bytes.size());
      EXPECT_LE(info.RecordCount, info.PostingCount);
    }
  }
}

}  // namespace
