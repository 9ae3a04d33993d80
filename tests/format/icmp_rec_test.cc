// IndexCompressorT posting coders: the bits they write, the skip information
// of word mode, and their refusal of postings out of order or of damaged
// temporary index files.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "format/compressor.h"
#include "support/posting_fixture.h"

namespace {

std::vector<unsigned char> BytesOf(const std::string& bits) {
  std::vector<unsigned char> bytes((bits.size() + 7) / 8);
  for (size_t i = 0; i < bits.size(); ++i) {
    if (bits[i] == '1') bytes[i / 8] |= 0x80 >> (i % 8);
  }
  return bytes;
}

// A compressor writing its posting stream into memory.
class CoderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(c.ConstructedCorrectly);
    c.PostingStream.StartWriting(stream.data(),
                                 static_cast<uint32_t>(stream.size()), nullptr);
  }
  // Codes postings through the Add interface; the stream bytes, flushed.
  std::vector<unsigned char> Code(uint32_t mode,
                                  const std::vector<PostingT>& postings) {
    c.BeginTermPostings(mode, OccurrenceCount(postings));
    for (const PostingT& p : postings) {
      int ok = mode == RECORD_MODE ? c.AddRecordPosting(p.Record)
               : mode == IDF_MODE  ? c.AddIdfPosting(p.Record, p.Count)
                                   : c.AddWordPosting(p.Record, p.Word);
      EXPECT_TRUE(ok);
    }
    EXPECT_TRUE(c.EndTermPostings());
    bitsBeforeFlush = c.PostingStream.BitsWritten();
    EXPECT_TRUE(c.PostingStream.FlushByte());
    return std::vector<unsigned char>(
        stream.begin(), stream.begin() + c.PostingStream.BufferedBytes());
  }

  IndexCompressorT c;
  std::vector<unsigned char> stream = std::vector<unsigned char>(1 << 20);
  uint64_t bitsBeforeFlush = 0;
};

TEST_F(CoderTest, RecordModeSegments) {
  // One record 7: bit 0, delta(7) = 01111.
  EXPECT_EQ(Code(RECORD_MODE, {{7, 1, 1}}), BytesOf("001111"));
  EXPECT_EQ(c.TermRecordCount, 1u);

  // Records 1..14 and 16: a full segment; bit 1, delta(14) for the 14 gap
  // codes of one bit, delta(16) for the 15th record, the 14 gaps.
  std::vector<PostingT> full;
  for (uint32_t r = 1; r <= 14; ++r) full.push_back({r, 1, 1});
  full.push_back({16, 1, 1});
  const std::string fullBits =
      "1" "00100110" "001010000" + std::string(14, '1');
  c.PostingStream.StartWriting(stream.data(), 1 << 20, nullptr);
  EXPECT_EQ(Code(RECORD_MODE, full), BytesOf(fullBits));

  // Repeats of the 15th record (runs cut inside it) code nothing more.
  full.push_back({16, 1, 1});
  full.push_back({16, 1, 1});
  c.PostingStream.StartWriting(stream.data(), 1 << 20, nullptr);
  EXPECT_EQ(Code(RECORD_MODE, full), BytesOf(fullBits));
  EXPECT_EQ(c.TermRecordCount, 15u);
  EXPECT_EQ(c.TermPostingCount, 17u);
}

TEST_F(CoderTest, IdfModeMergesCountsOfOneRecord) {
  // Record 3 twice, counts 2 and 3: bit 0, delta(3) = 0101, gamma(5) = 00101.
  EXPECT_EQ(Code(IDF_MODE, {{3, 1, 2}, {3, 1, 3}}),
            BytesOf("0" "0101" "00101"));
  EXPECT_EQ(c.TermRecordCount, 1u);
  EXPECT_EQ(c.TermPostingCount, 5u);
}

TEST_F(CoderTest, WordModeSixteenPostingsCarryTheLastInTheHeader) {
  std::vector<PostingT> postings;
  for (uint32_t w = 1; w <= 16; ++w) postings.push_back({5, w, 1});
  // Levels 4..1 absent (a 1 bit each); level 0: delta(5 + 1), delta(16),
  // delta(21) for the body; the body: one record, delta(5), 15 word gaps.
  const std::string bits = "1111" "01110" "001010000" "001010101"
                           "1" "01101" + std::string(15, '1');
  EXPECT_EQ(Code(WORD_MODE, postings), BytesOf(bits));
  EXPECT_EQ(c.TermRecordCount, 1u);
}

TEST_F(CoderTest, WordModeMixedRecordsCountPostingsPerRecord) {
  // Two records in a short segment: bit 0, then per record the record gap,
  // gamma of its postings, its word positions.
  EXPECT_EQ(Code(WORD_MODE, {{2, 3, 1}, {2, 7, 1}, {4, 1, 1}}),
            BytesOf("0" "0100" "010" "0101" "01100" "0100" "1" "1"));
  EXPECT_EQ(c.TermRecordCount, 2u);
}

TEST_F(CoderTest, WordModeStartsAnIndexSegmentAfter4096Postings) {
  std::mt19937 rng(1);
  std::vector<PostingT> postings = RandomPostings(rng, WORD_MODE, 4097);
  std::vector<PostingT> first(postings.begin(), postings.begin() + 4096);
  Code(WORD_MODE, first);
  const uint64_t firstBits = bitsBeforeFlush;
  // The 4096 postings are one complete level-4 block: its header chain and
  // body lengths cover the whole index segment.
  const WordSkipEntryT& top = c.SkipTable->Row[0][4];
  EXPECT_EQ(firstBits, uint64_t{top.HeaderBits} + top.BodyBits);
  EXPECT_EQ(top.RecordNum, first.back().Record);
  EXPECT_EQ(top.WordNum, first.back().Word);

  // The 4097th posting is a short segment of its own: bit 1, delta(record),
  // delta(word).
  c.PostingStream.StartWriting(stream.data(), 1 << 20, nullptr);
  Code(WORD_MODE, postings);
  const PostingT& last = postings.back();
  EXPECT_EQ(bitsBeforeFlush, firstBits + 1 + DeltaLength(last.Record) +
                                 DeltaLength(last.Word));
  BioT tail;
  tail.StartReading(stream.data(), static_cast<uint32_t>(stream.size()));
  uint32_t bit, record, word;
  ASSERT_TRUE(tail.SkipBits(firstBits));
  ASSERT_TRUE(tail.GetBit(&bit) && tail.GetDelta(&record) &&
              tail.GetDelta(&word));
  EXPECT_EQ(bit, 1u);
  EXPECT_EQ(record, last.Record);
  EXPECT_EQ(word, last.Word);
}

TEST_F(CoderTest, MeasuredBodiesAreTheBodiesWritten) {
  std::mt19937 rng(2);
  for (int i = 0; i < 200; ++i) {
    std::vector<PostingT> postings = RandomPostings(rng, WORD_MODE, 15);
    std::vector<WeightedWordOutT> buffer;
    for (const PostingT& p : postings) buffer.push_back({p.Record, p.Word, 0});
    c.PostingStream.StartWriting(stream.data(), 1 << 20, nullptr);
    uint32_t m = 1 + rng() % 15;
    ASSERT_TRUE(c.CompressWordSegment(buffer.data(), m + 1));
    EXPECT_EQ(c.PostingStream.BitsWritten(),
              IndexCompressorT::MeasureWordSegment(buffer.data(), m));
  }
}

TEST_F(CoderTest, PostingsOutOfOrderAreRefused) {
  c.BeginTermPostings(RECORD_MODE, 3);
  EXPECT_FALSE(c.AddRecordPosting(0));
  EXPECT_TRUE(c.AddRecordPosting(5));
  EXPECT_TRUE(c.AddRecordPosting(5));
  EXPECT_FALSE(c.AddRecordPosting(4));

  c.BeginTermPostings(IDF_MODE, 3);
  EXPECT_FALSE(c.AddIdfPosting(5, 0));
  EXPECT_TRUE(c.AddIdfPosting(5, 1));
  EXPECT_FALSE(c.AddIdfPosting(4, 1));

  c.BeginTermPostings(WORD_MODE, 3);
  EXPECT_FALSE(c.AddWordPosting(5, 0));
  EXPECT_FALSE(c.AddWordPosting(0xFFFFFFFFu, 1));  // cannot be a skip record
  EXPECT_TRUE(c.AddWordPosting(5, 3));
  EXPECT_FALSE(c.AddWordPosting(5, 3));
  EXPECT_FALSE(c.AddWordPosting(4, 9));

  // The segment coders check the buffers they are handed as well.
  RecordOutT records[16] = {{0}, {4}, {4}};
  EXPECT_FALSE(c.CompressRecordSegment(&c.PostingStream, records, 2));
  WeightedWordOutT words[3] = {{0, 0, 0}, {4, 2, 0}, {4, 1, 0}};
  EXPECT_FALSE(c.CompressWordIndexSegment(words, 2));
}

// A posting stream file whose writes fail.
class FailingFileT : public FileClassT {
 public:
  using FileClassT::FileClassT;
  int Write(const void*, uint32_t) override { return 0; }
};

TEST(CompressorFileTest, TemporaryIndexFilesAreReadAndCheckedTermByTerm) {
  ScopedTempDirT dir;
  IndexCompressorT c;
  FileClassT postings(dir.File("postings").c_str());
  ASSERT_TRUE(postings.Open(kFileCreate));
  std::vector<PostingT> entries = {{2, 1, 1}, {9, 1, 1}, {9, 1, 1}};
  CodedTermT term = CodeTerm(dir, c, &postings, RECORD_MODE, entries, 4);
  ASSERT_TRUE(term.Ok);
  EXPECT_EQ(term.Info.RecordCount, 2u);
  EXPECT_EQ(term.Info.PostingCount, 4u);

  // A posting area that does not match its entry count, and entries cut off.
  std::string mismatched = TempIndexTerm(WORD_MODE, {{1, 1, 1}, {1, 2, 1}}, 2);
  mismatched[1 + 4 + 4] = 15;  // posting bytes: no multiple of 8
  std::string cut = TempIndexTerm(WORD_MODE, {{1, 1, 1}, {1, 2, 1}}, 2);
  cut.resize(cut.size() - 3);
  EXPECT_FALSE(CompressTempIndex(dir, c, &postings, WORD_MODE, mismatched));
  EXPECT_FALSE(CompressTempIndex(dir, c, &postings, WORD_MODE, cut));

  // A stream that outgrows the 200-byte buffer fails when its spill fails;
  // a short one never touches the file.
  FailingFileT failing(dir.File("failing").c_str());
  ASSERT_TRUE(failing.Open(kFileCreate));
  std::mt19937 rng(4);
  std::vector<PostingT> many = RandomPostings(rng, WORD_MODE, 2000);
  std::vector<PostingT> few(many.begin(), many.begin() + 20);
  EXPECT_FALSE(CompressTempIndex(dir, c, &failing, WORD_MODE,
                                 TempIndexTerm(WORD_MODE, many, 2000)));
  EXPECT_TRUE(CompressTempIndex(dir, c, &failing, WORD_MODE,
                                TempIndexTerm(WORD_MODE, few, 20)));
}

}  // namespace
