// IndexDecompressorT: posting lists of every mode and of lengths around the
// segment boundaries, coded from temporary index files and decoded from the
// partition file and from inline bytes, forward and towards targets; and
// damaged streams, which must fail without reading outside their data.

#include "format/decoder.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "support/posting_fixture.h"

namespace {

constexpr uint32_t kLeadingBytes = 37;  // streams do not start at offset 0

class DecoderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(compressor.ConstructedCorrectly);
    path = dir.File("partition");
    file = std::make_unique<FileClassT>(path.c_str());
    ASSERT_TRUE(file->Open(kFileCreate));
    ASSERT_TRUE(file->Write(std::string(kLeadingBytes, '\xAA').data(),
                            kLeadingBytes));
  }

  CodedTermT Code(uint32_t mode, const std::vector<PostingT>& entries) {
    CodedTermT term = CodeTerm(dir, compressor, file.get(), mode, entries,
                               OccurrenceCount(entries));
    EXPECT_TRUE(term.Ok);
    return term;
  }

  // Ends writing (with trailing bytes that are no posting data) and opens
  // the file for reading.
  void FinishWriting() {
    ASSERT_TRUE(file->Write("\x55\x55\x55\x55", 4));
    ASSERT_TRUE(file->Close());
    ASSERT_TRUE(file->Open(kFileReadOnly));
    contents = ReadWholeFile(path);
  }

  // The term's stream as inline data, in a buffer of exactly its size.
  std::vector<unsigned char> InlineBytes(const CodedTermT& term) {
    return std::vector<unsigned char>(contents.begin() + term.Start,
                                      contents.begin() + term.End);
  }

  static WordIndexInfoT InlineInfo(const CodedTermT& term,
                                   const std::vector<unsigned char>& bytes) {
    WordIndexInfoT info = term.Info;
    info.Location = kPostingsInline;
    info.InlineData = bytes.data();
    info.InlineLength = static_cast<uint32_t>(bytes.size());
    return info;
  }

  ScopedTempDirT dir;
  IndexCompressorT compressor;
  std::string path;
  std::unique_ptr<FileClassT> file;
  std::string contents;
};

void ExpectPosting(uint32_t mode, const TermInstanceT& t, const PostingT& p) {
  ASSERT_EQ(t.RecordNumber, p.Record);
  ASSERT_EQ(t.WordPosition, p.Word);
  if (mode == IDF_MODE) {
    ASSERT_EQ(t.Count, p.Count);
  } else if (mode == RECORD_MODE) {
    ASSERT_EQ(t.Count, 1);
  }
}

void ExpectForward(IndexDecompressorT& d, uint32_t mode,
                   const std::vector<PostingT>& expected) {
  TermInstanceT t;
  for (const PostingT& p : expected) {
    ASSERT_EQ(DecodeStep(d, mode, t, 0, 0), kDecodeDelivered);
    ExpectPosting(mode, t, p);
  }
  EXPECT_EQ(DecodeStep(d, mode, t, 0, 0), kDecodeEnd);
  EXPECT_EQ(DecodeStep(d, mode, t, 0, 0), kDecodeEnd);
}

bool Before(const PostingT& p, uint32_t record, uint32_t word) {
  return p.Record < record || (p.Record == record && p.Word < word);
}

// Random increasing targets, some on postings, some between them, some equal
// to the current posting, some beyond the last; every answer and the posting
// left in the instance must be those of decoding forward.
void ExpectTargets(IndexDecompressorT& d, uint32_t mode,
                   const std::vector<PostingT>& expected, std::mt19937& rng) {
  const int64_t n = static_cast<int64_t>(expected.size());
  int64_t current = -1;
  TermInstanceT t;
  for (int step = 0; step < 3000 && current < n; ++step) {
    uint32_t record = 0, word = 0;
    int64_t ahead = current + (rng() % 4 == 0 ? 1 + rng() % 3000 : rng() % 20);
    if (rng() % 7 == 0) {
      // No target: the next posting.
    } else if (ahead >= n) {
      record = expected.back().Record + (rng() % 2);
      word = expected.back().Word + 1;
    } else {
      const PostingT& p = expected[ahead < 0 ? 0 : ahead];
      record = p.Record;
      word = rng() % 3 == 0 ? p.Word + 1 : rng() % 3 == 0 ? 1 : p.Word;
      if (record == 0) record = 1;
    }
    // The model: record and IDF modes always advance, word mode stays on a
    // posting that already satisfies the target.
    int64_t next = current + 1;
    if (record != 0 && mode == WORD_MODE && current >= 0 &&
        !Before(expected[current], record, word)) {
      next = current;
    } else if (record != 0) {
      while (next < n && (mode == WORD_MODE ? Before(expected[next], record, word)
                                            : expected[next].Record < record)) {
        ++next;
      }
    }
    int result = DecodeStep(d, mode, t, record, word);
    if (next >= n) {
      ASSERT_EQ(result, kDecodeEnd) << step;
      ExpectPosting(mode, t, expected.back());
      return;
    }
    ASSERT_EQ(result, kDecodeDelivered) << step << " " << record << ":" << word;
    ExpectPosting(mode, t, expected[next]);
    current = next;
  }
}

TEST_F(DecoderTest, EveryModeAndLengthRoundTrips) {
  const uint32_t lengths[] = {1, 14, 15, 16, 17, 4095, 4096, 4097, 20000, 70000};
  std::mt19937 rng(2024);
  struct CaseT {
    uint32_t mode;
    std::vector<PostingT> entries;
    CodedTermT term;
  };
  std::vector<CaseT> cases;
  for (uint32_t mode : {RECORD_MODE, WORD_MODE, IDF_MODE}) {
    for (uint32_t length : lengths) {
      CaseT c{mode, RandomPostings(rng, mode, length), {}};
      c.term = Code(mode, c.entries);
      cases.push_back(std::move(c));
    }
  }
  FinishWriting();
  for (const CaseT& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << c.mode << ", "
                                    << c.entries.size() << " entries");
    const std::vector<PostingT> expected = Expected(c.mode, c.entries);
    ASSERT_EQ(c.term.Info.ItemCount, expected.size());
    ASSERT_EQ(c.term.Info.PostingCount, OccurrenceCount(c.entries));
    std::vector<unsigned char> bytes = InlineBytes(c.term);
    const WordIndexInfoT inlineInfo = InlineInfo(c.term, bytes);
    for (const WordIndexInfoT* info : {&c.term.Info, &inlineInfo}) {
      IndexDecompressorT forward;
      ASSERT_TRUE(forward.StartDecompression(file.get(), *info));
      ExpectForward(forward, c.mode, expected);
      IndexDecompressorT targeted;
      ASSERT_TRUE(targeted.StartDecompression(file.get(), *info));
      ExpectTargets(targeted, c.mode, expected, rng);
    }
  }
}

TEST_F(DecoderTest, SegmentEdgesDecodeAsWritten) {
  std::vector<PostingT> fifteen, repeatedLast, idfRepeatedLast, idfBig;
  for (uint32_t r = 1; r <= 15; ++r) {
    fifteen.push_back({r * 3, 1, 1});
    idfRepeatedLast.push_back({r * 3, 1, r});
  }
  repeatedLast = fifteen;
  repeatedLast.push_back({45, 1, 1});  // repeats of the record closing a
  repeatedLast.push_back({45, 1, 1});  // full segment
  // In IDF mode the counts of the repeats reach the record that closed the
  // full segment.
  idfRepeatedLast.push_back({45, 1, 4});
  idfRepeatedLast.push_back({46, 1, 2});
  idfBig = {{9, 1, 60000}, {9, 1, 60000}, {10, 1, 1}};
  struct {
    uint32_t mode;
    std::vector<PostingT> entries;
    std::vector<PostingT> expected;
  } cases[] = {
      {RECORD_MODE, fifteen, Expected(RECORD_MODE, fifteen)},
      {RECORD_MODE, repeatedLast, Expected(RECORD_MODE, fifteen)},
      {IDF_MODE, idfRepeatedLast, Expected(IDF_MODE, idfRepeatedLast)},
      {IDF_MODE, idfBig, {{9, 1, 65535}, {10, 1, 1}}},  // counts cap at 16 bits
  };
  ASSERT_EQ(cases[2].expected[14].Count, 19u);
  std::vector<CodedTermT> terms;
  for (const auto& c : cases) terms.push_back(Code(c.mode, c.entries));
  FinishWriting();
  for (size_t i = 0; i < terms.size(); ++i) {
    SCOPED_TRACE(i);
    IndexDecompressorT d;
    ASSERT_TRUE(d.StartDecompression(file.get(), terms[i].Info));
    ExpectForward(d, cases[i].mode, cases[i].expected);
  }
}

// A target met by the term's last posting finds it (and finds it again),
// and only the step after it reports the end.
TEST_F(DecoderTest, TheLastPostingIsFoundByItsTarget) {
  const std::vector<PostingT> postings = {{4, 2, 1}, {4, 9, 1}, {8, 1, 1}};
  const CodedTermT term = Code(WORD_MODE, postings);
  FinishWriting();
  IndexDecompressorT d;
  ASSERT_TRUE(d.StartDecompression(file.get(), term.Info));
  TermInstanceT t;
  ASSERT_EQ(d.NextWordHit(&t, 4, 9), kDecodeDelivered);
  EXPECT_EQ(t.WordPosition, 9u);
  ASSERT_EQ(d.NextWordHit(&t, 5, 1), kDecodeDelivered);
  EXPECT_EQ(t.RecordNumber, 8u);
  ASSERT_EQ(d.NextWordHit(&t, 8, 1), kDecodeDelivered);
  EXPECT_EQ(t.RecordNumber, 8u);
  EXPECT_EQ(d.NextWordHit(&t, 0, 0), kDecodeEnd);
  EXPECT_EQ(d.NextWordHit(&t, 9, 1), kDecodeEnd);
}

TEST_F(DecoderTest, InlineDataOnBothSidesOf1023Bytes) {
  std::mt19937 rng(9);
  const std::vector<PostingT> entries = RandomPostings(rng, WORD_MODE, 300);
  const CodedTermT term = Code(WORD_MODE, entries);
  FinishWriting();
  std::vector<unsigned char> stream = InlineBytes(term);
  ASSERT_LT(stream.size(), 1023u);
  for (uint32_t length : {1023u, 1024u}) {
    // Bytes after the stream are never read; the entry may run on.
    std::vector<unsigned char> bytes = stream;
    bytes.resize(length, 0xFF);
    IndexDecompressorT d;
    ASSERT_TRUE(d.StartDecompression(nullptr, InlineInfo(term, bytes)));
    if (length <= IndexDecompressorT::kMaxCopiedInline) {
      // A short entry is copied: the reader may move on at once.
      std::fill(bytes.begin(), bytes.end(), 0);
    }
    ExpectForward(d, WORD_MODE, entries);
  }
}

TEST_F(DecoderTest, OneDecoderWalksSeveralTermsOfAFile) {
  std::mt19937 rng(17);
  const std::vector<PostingT> a = RandomPostings(rng, WORD_MODE, 5000);
  const std::vector<PostingT> b = RandomPostings(rng, RECORD_MODE, 40);
  const std::vector<PostingT> c = RandomPostings(rng, IDF_MODE, 300);
  const std::vector<PostingT> e = RandomPostings(rng, WORD_MODE, 20);
  const CodedTermT ta = Code(WORD_MODE, a), tb = Code(RECORD_MODE, b),
                   tc = Code(IDF_MODE, c), te = Code(WORD_MODE, e);
  FinishWriting();
  std::vector<unsigned char> inlineBytes = InlineBytes(te);

  IndexDecompressorT d;
  EXPECT_FALSE(d.DecoderStarted());
  ASSERT_TRUE(d.StartDecompression(file.get(), ta.Info));
  EXPECT_TRUE(d.DecoderStarted());
  TermInstanceT t;
  for (int i = 0; i < 100; ++i) ASSERT_EQ(d.NextWordHit(&t, 0, 0), 1);
  // Back to an earlier term, then an inline one, then on through the file.
  ASSERT_TRUE(d.StartNextDiskIndex(tb.Info));
  ExpectForward(d, RECORD_MODE, Expected(RECORD_MODE, b));
  ASSERT_TRUE(d.StartNextDiskIndex(InlineInfo(te, inlineBytes)));
  ExpectForward(d, WORD_MODE, e);
  ASSERT_TRUE(d.StartNextDiskIndex(tc.Info));
  ExpectForward(d, IDF_MODE, Expected(IDF_MODE, c));
  ASSERT_TRUE(d.StartNextDiskIndex(ta.Info));
  ExpectForward(d, WORD_MODE, a);

  // A decoder that never had a view of the file cannot be re-aimed into it.
  IndexDecompressorT inlineOnly;
  ASSERT_TRUE(inlineOnly.StartDecompression(nullptr,
                                            InlineInfo(te, inlineBytes)));
  EXPECT_FALSE(inlineOnly.StartNextDiskIndex(tb.Info));
}

// Damage inside a block that lies before the target is never read: the
// targeted decoder passes over the block by its stored length.
TEST_F(DecoderTest, TargetsPassOverWholeBlocks) {
  std::mt19937 rng(23);
  const std::vector<PostingT> words = RandomPostings(rng, WORD_MODE, 4096 + 50);
  std::vector<PostingT> records;
  for (uint32_t r = 1; r <= 60; ++r) records.push_back({r * 2, 1, 1});
  const CodedTermT tw = Code(WORD_MODE, words);
  const CodedTermT tr = Code(RECORD_MODE, records);
  FinishWriting();

  // The body of the first index segment: from the end of its first header
  // chain to the end of its level-4 block.
  std::vector<WeightedWordOutT> buffer = {{0, 0, 0}};
  for (size_t i = 0; i < 4096; ++i) {
    buffer.push_back({words[i].Record, words[i].Word, 0});
  }
  auto table = std::make_unique<WordSkipCompressionTableT>();
  compressor.CalculateSkipInformation(table.get(), buffer.data(), 4096);
  const WordSkipEntryT& top = table->Row[0][4];
  // A record-mode segment of 15 records two apart: a header of 1 + 10 + 9
  // bits (flag, delta(56), delta(30)), then 14 gaps of 4 bits.
  struct {
    const CodedTermT* term;
    uint32_t mode;
    size_t from, to;  // damaged bytes of the stream
    PostingT target;
  } cases[] = {
      {&tw, WORD_MODE, top.HeaderBits / 8 + 1,
       (top.HeaderBits + top.BodyBits) / 8, words[4096]},
      {&tr, RECORD_MODE, 3, 9, records[30]},
  };
  for (const auto& c : cases) {
    std::vector<unsigned char> bytes = InlineBytes(*c.term);
    ASSERT_LT(c.from, c.to);
    for (size_t i = c.from; i < c.to; ++i) bytes[i] ^= 0x5A;
    IndexDecompressorT d;
    ASSERT_TRUE(d.StartDecompression(nullptr, InlineInfo(*c.term, bytes)));
    TermInstanceT t;
    ASSERT_EQ(DecodeStep(d, c.mode, t, c.target.Record, c.target.Word), 1);
    EXPECT_EQ(t.RecordNumber, c.target.Record);
    EXPECT_EQ(t.WordPosition, c.target.Word);
  }
}

// Steps a decoder until it stops; the postings it delivers stay in order and
// within its item count.
int DrainDecoder(IndexDecompressorT& d, uint32_t mode, uint32_t items,
                 std::mt19937& rng) {
  TermInstanceT t;
  uint32_t delivered = 0, lastRecord = 0, lastWord = 0;
  for (;;) {
    uint32_t record = 0, word = 0;
    if (rng() % 3 == 0) {
      record = lastRecord + rng() % 50;
      word = rng() % 20;
    }
    int result = DecodeStep(d, mode, t, record, word);
    if (result != kDecodeDelivered) return result;
    bool same = t.RecordNumber == lastRecord && t.WordPosition == lastWord;
    if (!same) {
      EXPECT_TRUE(t.RecordNumber > lastRecord ||
                  (mode == WORD_MODE && t.RecordNumber == lastRecord &&
                   t.WordPosition > lastWord));
      ++delivered;
    }
    EXPECT_LE(delivered, items);
    if (delivered > items) return -1;
    lastRecord = t.RecordNumber;
    lastWord = t.WordPosition;
  }
}

TEST_F(DecoderTest, DamagedStreamsFail) {
  std::mt19937 rng(31);
  std::vector<std::pair<uint32_t, CodedTermT>> terms;
  for (uint32_t mode : {RECORD_MODE, WORD_MODE, IDF_MODE}) {
    std::vector<PostingT> entries = RandomPostings(rng, mode, 600);
    entries.push_back({entries.back().Record + 1, 1, 1});  // no trailing repeat
    terms.push_back({mode, Code(mode, entries)});
  }
  FinishWriting();

  for (const auto& [mode, term] : terms) {
    SCOPED_TRACE(mode);
    const std::vector<unsigned char> whole = InlineBytes(term);
    // Cut short: inline, and in a file that ends early.
    for (size_t length = 0; length < whole.size(); length += 1 + length / 8) {
      std::vector<unsigned char> cut(whole.begin(), whole.begin() + length);
      cut.reserve(1);  // inline data is never a null pointer
      IndexDecompressorT d;
      ASSERT_TRUE(d.StartDecompression(nullptr, InlineInfo(term, cut)));
      EXPECT_EQ(DrainDecoder(d, mode, term.Info.ItemCount, rng), kDecodeFailed)
          << length;
    }
    const std::string shortPath = dir.File("short");
    WriteWholeFile(shortPath, std::string(whole.begin(),
                                          whole.begin() + whole.size() / 2));
    FileClassT shortFile(shortPath.c_str());
    ASSERT_TRUE(shortFile.Open(kFileReadOnly));
    WordIndexInfoT atStart = term.Info;
    atStart.DataOffset = 0;
    IndexDecompressorT d;
    ASSERT_TRUE(d.StartDecompression(&shortFile, atStart));
    EXPECT_EQ(DrainDecoder(d, mode, atStart.ItemCount, rng), kDecodeFailed);

    // An item count beyond the data.
    std::vector<unsigned char> bytes = whole;
    WordIndexInfoT longer = InlineInfo(term, bytes);
    longer.ItemCount += 1000;
    ASSERT_TRUE(d.StartDecompression(nullptr, longer));
    EXPECT_EQ(DrainDecoder(d, mode, longer.ItemCount, rng), kDecodeFailed);
  }

  // Random bytes in every mode, with item counts large and small.
  for (int i = 0; i < 3000; ++i) {
    std::vector<unsigned char> garbage(rng() % 400);
    garbage.reserve(1);
    for (unsigned char& b : garbage) b = static_cast<unsigned char>(rng());
    WordIndexInfoT info;
    info.IndexMode = 1 + rng() % 3;
    info.ItemCount = rng() % 2 ? rng() % 100 : rng() % 100000;
    info.InlineData = garbage.data();
    info.InlineLength = static_cast<uint32_t>(garbage.size());
    IndexDecompressorT d;
    ASSERT_TRUE(d.StartDecompression(nullptr, info));
    EXPECT_NE(DrainDecoder(d, info.IndexMode, info.ItemCount, rng), -1);
  }
}

TEST_F(DecoderTest, GapsBeyond32BitsFail) {
  unsigned char bytes[32];
  BioT bio;
  // Record mode: a partial segment of record 0xFFFFFFFF and a gap of 1.
  bio.StartWriting(bytes, sizeof(bytes), nullptr);
  bio.PutBit(0);
  bio.PutDelta(0xFFFFFFFFu);
  bio.PutDelta(1);
  bio.FlushByte();
  WordIndexInfoT info;
  info.IndexMode = RECORD_MODE;
  info.ItemCount = 2;
  info.InlineData = bytes;
  info.InlineLength = bio.BufferedBytes();
  IndexDecompressorT d;
  TermInstanceT t;
  ASSERT_TRUE(d.StartDecompression(nullptr, info));
  EXPECT_EQ(d.GetRecordRM(t), kDecodeDelivered);
  EXPECT_EQ(t.RecordNumber, 0xFFFFFFFFu);
  EXPECT_EQ(d.GetRecordRM(t), kDecodeFailed);

  // Word mode: a short body in one record whose second word overflows.
  bio.StartWriting(bytes, sizeof(bytes), nullptr);
  bio.PutBit(1);
  bio.PutDelta(3);
  bio.PutDelta(0xFFFFFFFFu);
  bio.PutDelta(1);
  bio.FlushByte();
  info.IndexMode = WORD_MODE;
  info.InlineLength = bio.BufferedBytes();
  ASSERT_TRUE(d.StartDecompression(nullptr, info));
  EXPECT_EQ(d.NextWordHit(&t, 0, 0), kDecodeDelivered);
  EXPECT_EQ(d.NextWordHit(&t, 0, 0), kDecodeFailed);
}

}  // namespace
