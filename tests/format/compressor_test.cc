// The compression driver: where each term's postings go (inline up to 200
// bytes, else the posting data area), the partition header written twice in
// the same place, the partition's areas, and the session's files, which must
// all be gone after a partition is written, after an empty session and after
// a failure.

#include "format/compressor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "format/decoder.h"
#include "format/partition_header.h"
#include "format/word_info.h"
#include "storage/fileclas.h"
#include "storage/readtree.h"
#include "support/posting_fixture.h"

namespace {

struct TermT {
  std::string Key;
  std::vector<PostingT> Postings;
};

// The bytes of a temporary index file holding the terms, in the machine's
// order.
std::string TempIndexBytes(uint32_t mode, const std::vector<TermT>& terms) {
  std::string bytes;
  for (const TermT& t : terms) {
    std::string one = TempIndexTerm(mode, t.Postings, OccurrenceCount(t.Postings));
    bytes += std::string(1, static_cast<char>(t.Key.size())) + t.Key +
             one.substr(5);  // behind the fixture's own key
  }
  return bytes;
}

// The bytes a term's postings take when coded.
uint32_t CodedBytes(uint32_t mode, const std::vector<PostingT>& postings) {
  IndexCompressorT c;
  std::vector<unsigned char> buffer(1 << 16);
  c.PostingStream.StartWriting(buffer.data(),
                               static_cast<uint32_t>(buffer.size()), nullptr);
  c.BeginTermPostings(mode, OccurrenceCount(postings));
  for (const PostingT& p : postings) {
    EXPECT_TRUE(mode == WORD_MODE ? c.AddWordPosting(p.Record, p.Word)
                                  : c.AddRecordPosting(p.Record));
  }
  EXPECT_TRUE(c.EndTermPostings() && c.PostingStream.FlushByte());
  return c.PostingStream.BufferedBytes();
}

// Word postings of one record whose coded form takes exactly `bytes`.
std::vector<PostingT> PostingsOfSize(uint32_t bytes) {
  for (uint32_t gap = 1; gap < 40; ++gap) {
    std::vector<PostingT> postings;
    for (uint32_t n = 1; n < 4000; ++n) {
      postings.push_back({9, 1 + (n - 1) * gap, 1});
      const uint32_t size = CodedBytes(WORD_MODE, postings);
      if (size == bytes) return postings;
      if (size > bytes) break;
    }
  }
  ADD_FAILURE() << "no posting list of " << bytes << " bytes";
  return {};
}

FileClassT* NewFile(const std::string& path, const std::string& bytes) {
  FileClassT* file = new FileClassT(path.c_str());
  EXPECT_TRUE(file->Open(kFileCreate));
  EXPECT_TRUE(file->Write(bytes.data(), static_cast<uint32_t>(bytes.size())));
  return file;
}

std::string BigEndianLongs(const std::vector<uint32_t>& values) {
  std::string out;
  for (uint32_t v : values) {
    for (int shift = 24; shift >= 0; shift -= 8) {
      out.push_back(static_cast<char>(v >> shift));
    }
  }
  return out;
}

std::string BigEndianFloats(const std::vector<float>& values) {
  std::vector<uint32_t> bits(values.size());
  std::memcpy(bits.data(), values.data(), 4 * values.size());
  return BigEndianLongs(bits);
}

// One session's request, its files made in the scratch directory.
struct SessionT {
  explicit SessionT(const ScopedTempDirT& d, uint32_t mode) : Dir(d) {
    Info.IndexMode = mode;
    Info.WordsIndexed = 1;
  }
  void AddTerms(const std::vector<TermT>& terms) {
    Info.TempIndexFile =
        NewFile(Dir.File("index"), TempIndexBytes(Info.IndexMode, terms));
  }
  void AddWeights(const std::vector<float>& weights) {
    std::vector<uint32_t> counts(weights.size(), 3);
    Info.WeightFileB = NewFile(Dir.File("B"), BigEndianLongs(counts));
    Info.WeightFileA = NewFile(Dir.File("A"), BigEndianFloats(weights));
    Info.RecordCount = static_cast<uint32_t>(weights.size());
    Info.SmallestWeight = 1.0f;
    Info.LargestWeight = 4.0f;
  }
  void AddRecordFiles() {
    Info.RecordDataPointerFile = NewFile(Dir.File("rdp"), "pointers");
    Info.RecordDataFile = NewFile(Dir.File("rd"), "record data");
    Info.RecordIdPointerFile = NewFile(Dir.File("ridp"), "ID pointers");
    Info.RecordIdDataFile = NewFile(Dir.File("ridd"), "IDs");
  }

  const ScopedTempDirT& Dir;
  IndexCompressDataInfoT Info;
};

// Writes the partition file of a session: blank header (before or after the
// compression), compression, areas, full header. Returns the status.
StatusCodeT WritePartition(const ScopedTempDirT& dir, SessionT& session,
                           bool headerFirst = true) {
  IndexCompressorT c;
  FileClassT partition(dir.File("partition").c_str());
  EXPECT_TRUE(partition.Open(kFileCreate));
  StatusCodeT status = 0;
  if (headerFirst) {
    EXPECT_TRUE(c.WriteBlankHeader(&partition));
  }
  c.CompressIndex(&session.Info, &status);
  if (status != 0) return status;
  if (!headerFirst) {
    EXPECT_TRUE(c.WriteBlankHeader(&partition));
  }
  // The blank header: the partition's own fields, the dictionary's zero.
  EXPECT_TRUE(partition.Flush());
  const std::string blank = ReadWholeFile(dir.File("partition"));
  EXPECT_EQ(blank.size(), kPartitionHeaderSize);
  EXPECT_EQ(blank.substr(0, 4), "\x2A\x4F\x83\x99");
  EXPECT_EQ(blank.substr(kPartitionDictionaryHeaderOffset, kBTreeHeaderSize),
            std::string(kBTreeHeaderSize, '\0'));
  EXPECT_TRUE(c.CopyDataToDataFile());
  EXPECT_TRUE(c.WriteFullHeader());
  EXPECT_EQ(partition.GetPosition(), partition.GetLength());
  EXPECT_TRUE(partition.Close());
  return status;
}

// A written partition, read back with the dictionary reader and the decoder.
class PartitionT {
 public:
  explicit PartitionT(const std::string& path)
      : File(path.c_str()), Tree(5), Bytes(ReadWholeFile(path)) {
    StatusCodeT status = 0;
    EXPECT_TRUE(File.Open(kFileReadOnly));
    EXPECT_TRUE(ReadPartitionHeader(&File, &Header, &status));
    if (Header.WordIndexFlag) {
      EXPECT_TRUE(File.Seek(kPartitionDictionaryHeaderOffset) &&
                  Tree.ReadHeader(&File) && Tree.LoadTree());
    }
  }

  // The term's word information; Location 2 when it is missing.
  WordIndexInfoT Lookup(const std::string& key) {
    WordIndexInfoT info;
    info.Location = 2;
    std::string prefixed = std::string(1, static_cast<char>(key.size())) + key;
    if (Tree.FindKey(&Cursor,
                     reinterpret_cast<const unsigned char*>(prefixed.data())) ==
        kBTreeFound) {
      EXPECT_TRUE(DecodeWordInformation(Cursor.DataBytes(), Cursor.DataLength(),
                                        Header.PostingDataOffset, &info));
    }
    return info;
  }

  std::vector<PostingT> Decode(const WordIndexInfoT& info) {
    IndexDecompressorT d;
    std::vector<PostingT> out;
    EXPECT_TRUE(d.StartDecompression(&File, info));
    TermInstanceT t;
    while (DecodeStep(d, info.IndexMode, t, 0, 0) == 1) {
      out.push_back({t.RecordNumber, t.WordPosition, t.Count});
    }
    return out;
  }

  std::string Area(uint32_t offset, uint32_t length) const {
    return Bytes.substr(offset, length);
  }

  FileClassT File;
  ReadBTreeT Tree;
  ReadBTreeCursorT Cursor;
  PartitionHeaderT Header;
  std::string Bytes;
};

bool SamePostings(const std::vector<PostingT>& a,
                  const std::vector<PostingT>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].Record != b[i].Record || a[i].Word != b[i].Word) return false;
  }
  return true;
}

TEST(CompressorTest, PostingsInlineUpToTwoHundredBytes) {
  ScopedTempDirT dir;
  std::vector<PostingT> large;
  for (uint32_t i = 1; i <= 5000; ++i) large.push_back({i / 3 + 1, i, 1});
  const std::vector<TermT> terms = {
      {"a200", PostingsOfSize(200)},
      {"b201", PostingsOfSize(201)},
      {"c", {{4, 2, 1}}},
      {"d5000", large},
  };
  SessionT session(dir, WORD_MODE);
  session.AddTerms(terms);
  ASSERT_EQ(WritePartition(dir, session), 0);
  EXPECT_EQ(dir.Files(), std::vector<std::string>{"partition"});

  PartitionT p(dir.File("partition"));
  EXPECT_EQ(p.Header.TermCount, 4u);
  EXPECT_EQ(p.Header.PostingDataLength,
            201 + CodedBytes(WORD_MODE, large));
  const uint32_t expectedLocation[] = {kPostingsInline, kPostingsInDataArea,
                                       kPostingsInline, kPostingsInDataArea};
  for (size_t i = 0; i < terms.size(); ++i) {
    SCOPED_TRACE(terms[i].Key);
    WordIndexInfoT info = p.Lookup(terms[i].Key);
    EXPECT_EQ(info.Location, expectedLocation[i]);
    EXPECT_TRUE(SamePostings(p.Decode(info), terms[i].Postings));
  }
  EXPECT_EQ(p.Lookup("a200").InlineLength, 200u);
  // The spilled term's postings start the posting data area.
  EXPECT_EQ(p.Lookup("b201").DataOffset, p.Header.PostingDataOffset);
  EXPECT_EQ(p.Lookup("b").Location, 2u);
}

TEST(CompressorTest, HeaderBytesAndAreas) {
  ScopedTempDirT dir;
  const std::vector<TermT> terms = {{"x", {{1, 1, 1}, {2, 1, 1}}},
                                    {"y", {{2, 1, 1}}}};
  std::string images[2];
  for (bool headerFirst : {true, false}) {
    SessionT session(dir, IDF_MODE);
    session.AddTerms(terms);
    session.AddWeights({1.0f, 2.0f, 4.0f});
    session.AddRecordFiles();
    session.Info.Options[0] = 0x44;
    session.Info.FixedRecordIdLength = 9;
    ASSERT_EQ(WritePartition(dir, session, headerFirst), 0);
    images[headerFirst] = ReadWholeFile(dir.File("partition"));
  }
  // Writing the blank header before or after the compression is the same.
  EXPECT_EQ(images[0], images[1]);
  EXPECT_EQ(dir.Files(), std::vector<std::string>{"partition"});

  PartitionT p(dir.File("partition"));
  const PartitionHeaderT& h = p.Header;
  EXPECT_EQ(p.Bytes.substr(0, 4), "\x2A\x4F\x83\x99");
  EXPECT_EQ(p.Bytes.substr(10, 4), "\x05\xC7\xA3\xE0");
  EXPECT_EQ(h.Dictionary.DataOffset, kPartitionHeaderSize -
                                         kPartitionDictionaryHeaderOffset);
  EXPECT_EQ(h.EndOffset, p.Bytes.size());
  EXPECT_EQ(h.IndexMode, IDF_MODE);
  EXPECT_EQ(h.WordIndexFlag, 1);
  EXPECT_EQ(h.DocWeightFlag, 1);
  EXPECT_EQ(h.RecordCount, 3u);
  EXPECT_EQ(h.Options[0], 0x44u);
  EXPECT_EQ(h.FixedRecordIdLength, 9u);
  EXPECT_EQ(h.SmallestWeight, 1.0f);
  EXPECT_EQ(h.LargestWeight, 4.0f);
  EXPECT_FLOAT_EQ(h.WeightRatio, std::pow(4.0f, 1.0f / 256));
  // The verbatim areas, in file order.
  EXPECT_EQ(p.Area(h.WordCountOffset, 12), BigEndianLongs({3, 3, 3}));
  EXPECT_EQ(p.Area(h.WeightTableOffset, h.WeightTableLength),
            BigEndianFloats({1.0f, 2.0f, 4.0f}));
  EXPECT_EQ(p.Area(h.RecordDataPointerOffset, 8), "pointers");
  EXPECT_EQ(p.Area(h.RecordDataOffset, 11), "record data");
  EXPECT_EQ(p.Area(h.RecordIdPointerOffset, 11), "ID pointers");
  EXPECT_EQ(p.Area(h.RecordIdDataOffset, 3), "IDs");
  EXPECT_EQ(h.RecordIdDataOffset + 3, h.EndOffset);
  EXPECT_EQ(h.PostingDataLength, 0u);  // every term inline
  EXPECT_EQ(h.PostingDataOffset, h.WordCountOffset);
  EXPECT_LT(h.WordCountOffset, h.CompressedWeightOffset);
  EXPECT_LT(h.CompressedWeightOffset, h.WeightTableOffset);
  EXPECT_TRUE(SamePostings(p.Decode(p.Lookup("x")), {{1, 1, 1}, {2, 1, 1}}));

  // Record mode without weights: no weight areas.
  SessionT plain(dir, RECORD_MODE);
  plain.AddTerms(terms);
  ASSERT_EQ(WritePartition(dir, plain), 0);
  PartitionT q(dir.File("partition"));
  EXPECT_EQ(q.Header.DocWeightFlag, 0);
  EXPECT_EQ(q.Header.WordCountOffset | q.Header.CompressedWeightOffset |
                q.Header.WeightTableOffset | q.Header.WeightTableLength |
                q.Header.RecordDataOffset,
            0u);
  EXPECT_EQ(q.Header.WeightRatio, 0.0f);
  EXPECT_EQ(q.Header.EndOffset, q.Bytes.size());
}

// An empty word cannot be a key: it is passed over, the terms after it kept.
TEST(CompressorTest, EmptyWordIsPassedOver) {
  ScopedTempDirT dir;
  SessionT session(dir, RECORD_MODE);
  session.AddTerms({{"", {{1, 1, 1}, {5, 1, 1}}},
                    {"p", {{2, 1, 1}}},
                    {"q", {{3, 1, 1}}}});
  ASSERT_EQ(WritePartition(dir, session), 0);
  PartitionT p(dir.File("partition"));
  EXPECT_EQ(p.Header.TermCount, 2u);
  EXPECT_TRUE(SamePostings(p.Decode(p.Lookup("q")), {{3, 1, 1}}));
}

// A term coded inline whose entry does not fit a page moves to the posting
// data area with a recoded record.
TEST(CompressorTest, InlineTermMovesToDataArea) {
  ScopedTempDirT dir;
  IndexCompressorT c;
  StatusCodeT status = 0;
  ASSERT_TRUE(c.StartWordIndex(&status));
  FileClassT* data = c.PostingDataFile.Get();
  ASSERT_TRUE(data->Write("lead", 4));
  c.PostingStream.StartWriting(c.PostingBuffer,
                               IndexCompressorT::kPostingBufferBytes, data);
  c.TermLocation = kPostingsInline;
  c.TermPostingStart = 4;
  const std::vector<PostingT> postings = {{3, 1, 1}, {70, 1, 1}};
  c.BeginTermPostings(RECORD_MODE, 2);
  ASSERT_TRUE(c.AddRecordPosting(3) && c.AddRecordPosting(70));
  ASSERT_TRUE(c.EndTermPostings() && c.PostingStream.FlushByte());
  const uint32_t bytes = c.PostingStream.BufferedBytes();
  const uint32_t length = c.MoveTermToDataArea();
  ASSERT_GT(length, 0u);
  EXPECT_EQ(c.MoveTermToDataArea(), 0u);  // only an inline term moves

  WordIndexInfoT info;
  ASSERT_TRUE(DecodeWordInformation(c.WordInfoBuffer, length, 100, &info));
  EXPECT_EQ(info.Location, kPostingsInDataArea);
  EXPECT_EQ(info.DataOffset, 104u);
  EXPECT_EQ(info.RecordCount, 2u);
  EXPECT_EQ(data->GetLength(), 4 + bytes);
  // The postings decode from where the record says.
  ASSERT_TRUE(data->Close());
  const std::string stream = ReadWholeFile(data->Name()).substr(4);
  WordIndexInfoT inlineInfo = info;
  inlineInfo.InlineData = reinterpret_cast<const unsigned char*>(stream.data());
  inlineInfo.InlineLength = bytes;
  IndexDecompressorT d;
  ASSERT_TRUE(d.StartDecompression(nullptr, inlineInfo));
  TermInstanceT t;
  ASSERT_EQ(d.GetRecordRM(t), 1);
  ASSERT_EQ(d.GetRecordRM(t), 1);
  EXPECT_EQ(t.RecordNumber, 70u);
  EXPECT_EQ(d.GetRecordRM(t), 5);
}

// Whatever happens, no file of the session stays behind.
TEST(CompressorTest, SessionFilesAreAlwaysRemoved) {
  const std::vector<TermT> terms = {{"k", {{1, 1, 1}, {2, 2, 1}}}};
  struct CaseT {
    const char* Name;
    std::function<void(SessionT&)> Setup;
    StatusCodeT Status;
    int Empty;
  } cases[] = {
      {"no word indexed",
       [&](SessionT& s) {
         s.AddTerms(terms);
         s.AddWeights({1, 2});
         s.AddRecordFiles();
         s.Info.WordsIndexed = 0;
       },
       0, 1},
      {"nothing to compress",
       [&](SessionT& s) { s.AddWeights({1, 2}); }, 0, 1},
      {"damaged temporary index",
       [&](SessionT& s) {
         s.AddTerms(terms);
         s.AddRecordFiles();
         std::string bytes = TempIndexBytes(WORD_MODE, terms);
         bytes.resize(bytes.size() - 3);
         s.Info.TempIndexFile->Close();
         WriteWholeFile(s.Dir.File("index"), bytes);
       },
       StatusGeneralError, 0},
      {"weight file A too short",
       [&](SessionT& s) {
         s.AddTerms(terms);
         s.AddWeights({1, 2});
         s.Info.WeightFileA->Close();
         WriteWholeFile(s.Dir.File("A"), BigEndianFloats({1}));
       },
       StatusGeneralError, 0},
      {"records without weights",
       [&](SessionT& s) {
         s.AddTerms(terms);
         s.AddWeights({1, 2});
         s.Info.RecordCount = 3;
       },
       StatusGeneralError, 0},
      {"no index mode",
       [&](SessionT& s) {
         s.AddTerms(terms);
         s.AddRecordFiles();
         s.Info.IndexMode = 0;
       },
       StatusGeneralError, 0},
  };
  for (const CaseT& c : cases) {
    SCOPED_TRACE(c.Name);
    ScopedTempDirT dir;
    SessionT session(dir, WORD_MODE);
    c.Setup(session);
    // The files reach the disk before the compressor reopens them.
    for (FileClassT* f :
         {session.Info.TempIndexFile, session.Info.WeightFileA,
          session.Info.WeightFileB}) {
      if (f != nullptr) f->Close();
    }
    IndexCompressorT compressor;
    StatusCodeT status = 1;
    EXPECT_EQ(compressor.CompressIndex(&session.Info, &status),
              c.Status == 0 ? 1 : 0);
    EXPECT_EQ(status, c.Status);
    EXPECT_EQ(compressor.IsEmptySession(), c.Empty);
    EXPECT_EQ(session.Info.TempIndexFile, nullptr);
    EXPECT_EQ(session.Info.RecordIdDataFile, nullptr);
    EXPECT_TRUE(dir.Files().empty());
  }

  // A compressor that is dropped before writing its partition removes what
  // it holds.
  ScopedTempDirT dir;
  {
    SessionT session(dir, WORD_MODE);
    session.AddTerms(terms);
    session.AddWeights({1, 2});
    session.AddRecordFiles();
    IndexCompressorT compressor;
    StatusCodeT status = 0;
    EXPECT_TRUE(compressor.CompressIndex(&session.Info, &status));
    EXPECT_FALSE(dir.Files().empty());
  }
  EXPECT_TRUE(dir.Files().empty());
}

}  // namespace
