// BioT: bit order, the integer codes, spilling, refilling, skipping, seeking,
// and readers that must fail instead of reading past their data.

#include "format/encode.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "storage/fileclas.h"
#include "support/temp_dir.h"

namespace {

// The first bitCount bits of bytes as '0'/'1'.
std::string Bits(const unsigned char* bytes, uint64_t bitCount) {
  std::string out;
  for (uint64_t i = 0; i < bitCount; ++i) {
    out += (bytes[i / 8] & (0x80 >> (i % 8))) ? '1' : '0';
  }
  return out;
}

enum CodeT { kUnary, kGamma, kDelta };

void Put(BioT& bio, CodeT code, uint32_t value) {
  if (code == kUnary) bio.PutUnary(value);
  if (code == kGamma) bio.PutGamma(value);
  if (code == kDelta) bio.PutDelta(value);
}

TEST(BioTest, CodesWriteTheirBitStrings) {
  struct {
    CodeT code;
    uint32_t value;
    const char* bits;
  } cases[] = {
      {kUnary, 1, "1"},          {kUnary, 4, "0001"},
      {kGamma, 1, "1"},          {kGamma, 2, "010"},
      {kGamma, 3, "011"},        {kGamma, 4, "00100"},
      {kDelta, 1, "1"},          {kDelta, 2, "0100"},
      {kDelta, 3, "0101"},       {kDelta, 4, "01100"},
      {kDelta, 8, "00100000"},   {kDelta, 16, "001010000"},
      {kGamma, 0xFFFFFFFFu, "0000000000000000000000000000000"
                            "11111111111111111111111111111111"},
      {kDelta, 0x80000000u, "00000100000"
                            "0000000000000000000000000000000"},
  };
  for (const auto& c : cases) {
    unsigned char buffer[16] = {};
    BioT bio;
    bio.StartWriting(buffer, sizeof(buffer), nullptr);
    Put(bio, c.code, c.value);
    const std::string expected = c.bits;
    ASSERT_EQ(bio.BitsWritten(), expected.size()) << c.value;
    ASSERT_TRUE(bio.FlushByte());
    EXPECT_EQ(Bits(buffer, expected.size()), expected) << c.value;
    if (c.code == kGamma) {
      EXPECT_EQ(GammaLength(c.value), expected.size());
    } else if (c.code == kDelta) {
      EXPECT_EQ(DeltaLength(c.value), expected.size());
    }
  }
}

TEST(BioTest, ByteCompletionAndFlush) {
  unsigned char buffer[4] = {};
  BioT bio;
  bio.StartWriting(buffer, sizeof(buffer), nullptr);
  bio.PutBits(0xA5, 8);
  EXPECT_EQ(bio.BytesEmitted(), 1u);
  ASSERT_TRUE(bio.FlushByte());
  EXPECT_EQ(bio.BufferedBytes(), 1u);  // nothing added at a byte boundary
  bio.PutBit(1);
  ASSERT_TRUE(bio.FlushByte());
  EXPECT_EQ(bio.BufferedBytes(), 2u);
  EXPECT_EQ(buffer[0], 0xA5);
  EXPECT_EQ(buffer[1], 0x80);
}

TEST(BioTest, BinaryLength2AndCodeLengths) {
  const uint32_t cases[][2] = {{0, 0},         {1, 0},          {2, 1},
                               {255, 7},       {256, 8},        {65535, 15},
                               {65536, 16},    {0xFFFFFF, 23},  {0x1000000, 24},
                               {0x80000000u, 31}, {0xFFFFFFFFu, 31}};
  for (const auto& c : cases) EXPECT_EQ(BinaryLength2(c[0]), c[1]) << c[0];
  std::mt19937 rng(7);
  for (int i = 0; i < 1000; ++i) {
    uint32_t x = (rng() >> (rng() % 32)) | 1;
    EXPECT_EQ(BinaryLength2(x), FloorLog2(x));
    if (x >= 16) {
      EXPECT_LE(DeltaLength(x), GammaLength(x));
    }
  }
}

// Random mixes of every code read back through readers over memory and over
// a file with a small buffer, so that codes straddle refills.
TEST(BioTest, RandomCodesRoundTripInMemoryAndThroughAFile) {
  ScopedTempDirT dir;
  std::mt19937 rng(11);
  struct ItemT {
    int kind;  // 0 bits, 1 gamma, 2 delta, 3 unary
    uint32_t value, count;
  };
  std::vector<ItemT> items;
  std::vector<unsigned char> buffer(1 << 20);
  BioT writer;
  writer.StartWriting(buffer.data(), static_cast<uint32_t>(buffer.size()),
                      nullptr);
  for (int i = 0; i < 20000; ++i) {
    ItemT item = {static_cast<int>(rng() % 4), 0, 0};
    uint32_t shift = rng() % 32;
    item.value = (rng() >> shift) | (rng() % 4 == 0 ? 0x80000000u : 0);
    if (item.value == 0) item.value = 1;
    if (item.kind == 0) {
      item.count = rng() % 33;
      item.value = item.count == 0 ? 0
                   : item.count == 32 ? item.value
                                      : item.value & ((1u << item.count) - 1);
      writer.PutBits(item.value, item.count);
    } else if (item.kind == 3) {
      item.value = 1 + rng() % 32;
      writer.PutUnary(item.value);
    } else {
      Put(writer, item.kind == 1 ? kGamma : kDelta, item.value);
    }
    items.push_back(item);
  }
  ASSERT_TRUE(writer.FlushByte());
  const uint32_t length = writer.BufferedBytes();
  const std::string path = dir.File("bits");
  WriteWholeFile(path, std::string(buffer.begin(), buffer.begin() + length));

  FileClassT file(path.c_str());
  ASSERT_TRUE(file.Open(kFileReadOnly));
  unsigned char fileBuffer[13];
  BioT fromMemory, fromFile;
  fromMemory.StartReading(buffer.data(), length);
  fromFile.StartReading(&file, fileBuffer, sizeof(fileBuffer));
  for (BioT* reader : {&fromMemory, &fromFile}) {
    for (const ItemT& item : items) {
      uint32_t value = 0;
      int ok = item.kind == 0   ? reader->GetBits(item.count, &value)
               : item.kind == 3 ? reader->GetUnary(&value)
               : item.kind == 1 ? reader->GetGamma(&value)
                                : reader->GetDelta(&value);
      ASSERT_TRUE(ok);
      ASSERT_EQ(value, item.value);
    }
    EXPECT_EQ(reader->BytesConsumed(), length);
  }
}

TEST(BioTest, WriterSpillsWhenTheByteAfterAFullBufferCompletes) {
  ScopedTempDirT dir;
  const std::string path = dir.File("spill");
  FileClassT file(path.c_str());
  ASSERT_TRUE(file.Open(kFileCreate));
  unsigned char buffer[200];
  BioT bio;
  bio.StartWriting(buffer, sizeof(buffer), &file);
  for (uint32_t i = 0; i < 200; ++i) bio.PutBits(i & 0xFF, 8);
  EXPECT_EQ(bio.BytesSpilled(), 0u);
  EXPECT_EQ(bio.BufferedBytes(), 200u);
  bio.PutBits(0x77, 4);
  EXPECT_EQ(bio.BytesSpilled(), 0u);  // the 201st byte is not complete yet
  bio.PutBits(0x7, 4);
  EXPECT_EQ(bio.BytesSpilled(), 200u);
  EXPECT_EQ(bio.BytesEmitted(), 201u);
  EXPECT_EQ(bio.BufferedBytes(), 1u);
  EXPECT_EQ(buffer[0], 0x77);
  ASSERT_TRUE(bio.WriteBufferToFile());
  EXPECT_EQ(bio.BytesSpilled(), 201u);
  ASSERT_TRUE(file.Close());
  const std::string bytes = ReadWholeFile(path);
  ASSERT_EQ(bytes.size(), 201u);
  EXPECT_EQ(static_cast<unsigned char>(bytes[199]), 199);
  EXPECT_EQ(static_cast<unsigned char>(bytes[200]), 0x77);
}

TEST(BioTest, MemoryWriterFailsWhenItsBufferOverflows) {
  unsigned char buffer[2];
  BioT bio;
  bio.StartWriting(buffer, sizeof(buffer), nullptr);
  bio.PutBits(0xFFFF, 16);
  EXPECT_FALSE(bio.WriteFailed());
  bio.PutBits(1, 8);
  EXPECT_TRUE(bio.WriteFailed());
  EXPECT_FALSE(bio.FlushByte());
}

// A file whose reads are counted, to see when a reader touches the disk.
class CountingFileT : public FileClassT {
 public:
  using FileClassT::FileClassT;
  uint32_t ReadN(void* buffer, uint32_t size, uint32_t count) override {
    ++Reads;
    return FileClassT::ReadN(buffer, size, count);
  }
  int Seek(uint32_t offset) override {
    ++Seeks;
    return FileClassT::Seek(offset);
  }
  int Reads = 0;
  int Seeks = 0;
};

// A file of patterned bytes, open for reading with its reads counted.
class PatternFileTest : public ::testing::Test {
 protected:
  void Make(uint32_t length) {
    bytes.resize(length);
    for (uint32_t i = 0; i < length; ++i) {
      bytes[i] = static_cast<char>(i * 7 + i / 256);
    }
    const std::string path = dir.File("pattern");
    WriteWholeFile(path, bytes);
    file = std::make_unique<CountingFileT>(path.c_str());
    ASSERT_TRUE(file->Open(kFileReadOnly));
  }
  ScopedTempDirT dir;
  std::string bytes;
  std::unique_ptr<CountingFileT> file;
};

TEST_F(PatternFileTest, SeekToByteMovesInsideTheWindowWithoutReading) {
  Make(1000);
  unsigned char buffer[100];
  BioT bio;
  bio.StartReading(file.get(), buffer, sizeof(buffer));
  uint32_t value;
  auto byteAt = [&](uint32_t offset) {
    EXPECT_TRUE(BIO_SeekToByte(&bio, offset));
    EXPECT_TRUE(bio.GetBits(8, &value));
    return value;
  };
  EXPECT_EQ(byteAt(300), static_cast<unsigned char>(bytes[300]));
  const int reads = file->Reads;
  const int seeks = file->Seeks;
  EXPECT_EQ(byteAt(350), static_cast<unsigned char>(bytes[350]));
  EXPECT_EQ(byteAt(300), static_cast<unsigned char>(bytes[300]));
  EXPECT_EQ(byteAt(399), static_cast<unsigned char>(bytes[399]));
  EXPECT_EQ(file->Reads, reads);
  EXPECT_EQ(file->Seeks, seeks);
  EXPECT_EQ(byteAt(400), static_cast<unsigned char>(bytes[400]));  // window end
  EXPECT_EQ(file->Seeks, seeks + 1);
  EXPECT_EQ(byteAt(10), static_cast<unsigned char>(bytes[10]));
  EXPECT_EQ(bio.BitsConsumed(), 8u);
}

// Skips of every size, with and without the pending skip of a file reader,
// land where a reader that reads every bit lands.
TEST_F(PatternFileTest, SkipsLandWhereReadingLands) {
  Make(50000);
  unsigned char buffer[64];
  BioT fromFile, fromMemory;
  fromFile.StartReading(file.get(), buffer, sizeof(buffer));
  fromMemory.StartReading(reinterpret_cast<const unsigned char*>(bytes.data()),
                          static_cast<uint32_t>(bytes.size()));
  std::mt19937 rng(3);
  uint64_t position = 0;
  while (position + 20000 < bytes.size() * 8ull) {
    uint64_t skip = rng() % 4 == 0 ? rng() % 20000 : rng() % 70;
    ASSERT_TRUE(fromFile.SkipBits(skip));
    ASSERT_TRUE(fromMemory.SkipBits(skip));
    uint32_t a, b, count = 1 + rng() % 32;
    ASSERT_TRUE(fromFile.GetBits(count, &a));
    ASSERT_TRUE(fromMemory.GetBits(count, &b));
    ASSERT_EQ(a, b);
    position += skip + count;
    ASSERT_EQ(fromFile.BitsConsumed(), position);
    ASSERT_EQ(fromMemory.BitsConsumed(), position);
  }
  // Long skips were applied by seeking, not by reading the bytes passed over.
  EXPECT_LT(file->Reads * 64u, bytes.size() / 2);
}

TEST(BioTest, ReadersFailAtTheEndOfTheirData) {
  const unsigned char one[] = {0xFF};
  BioT bio;
  uint32_t value;
  bio.StartReading(one, 1);
  EXPECT_TRUE(bio.GetBits(8, &value));
  EXPECT_FALSE(bio.GetBit(&value));
  EXPECT_FALSE(bio.GetGamma(&value));

  // A gamma code whose value bits are cut off.
  const unsigned char cut[] = {0x00, 0x01};  // 15 zeros, a 1, no value bits
  bio.StartReading(cut, 2);
  EXPECT_FALSE(bio.GetGamma(&value));

  // 32 zero bits cannot start a 32-bit gamma value; delta of length 33
  // cannot be a 32-bit value either.
  const unsigned char zeros[12] = {};
  bio.StartReading(zeros, sizeof(zeros));
  EXPECT_FALSE(bio.GetGamma(&value));
  unsigned char long_delta[16] = {};
  BioT writer;
  writer.StartWriting(long_delta, sizeof(long_delta), nullptr);
  writer.PutGamma(33);
  writer.PutBits(0xFFFFFFFFu, 32);
  ASSERT_TRUE(writer.FlushByte());
  bio.StartReading(long_delta, sizeof(long_delta));
  EXPECT_FALSE(bio.GetDelta(&value));

  // Skipping past the end of memory fails; skipping to it does not.
  bio.StartReading(zeros, sizeof(zeros));
  EXPECT_TRUE(bio.SkipBits(95));
  EXPECT_TRUE(bio.GetBit(&value));
  bio.StartReading(zeros, sizeof(zeros));
  EXPECT_FALSE(bio.SkipBits(97));
}

TEST(BioTest, FileReaderFailsAtTheEndOfTheFile) {
  ScopedTempDirT dir;
  const std::string path = dir.File("short");
  WriteWholeFile(path, std::string(5, '\0'));
  FileClassT file(path.c_str());
  ASSERT_TRUE(file.Open(kFileReadOnly));
  unsigned char buffer[16];
  BioT bio;
  bio.StartReading(&file, buffer, sizeof(buffer));
  uint32_t value;
  EXPECT_FALSE(bio.GetGamma(&value));  // 40 zero bits, then nothing
  ASSERT_TRUE(BIO_SeekToByte(&bio, 1));
  EXPECT_TRUE(bio.SkipBits(31));
  EXPECT_TRUE(bio.GetBit(&value));
  EXPECT_FALSE(bio.GetBit(&value));
  ASSERT_TRUE(BIO_SeekToByte(&bio, 0));
  EXPECT_TRUE(bio.SkipBits(1000));  // pending: nothing is read yet
  EXPECT_FALSE(bio.GetBit(&value));
}

}  // namespace
