// The integrity check: sound indexes of every mode and layout report
// nothing; each kind of damage to an index file is reported, never crashed
// on; the exported form and its report buffer.

#include "manager/index_check.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "format/option_flags.h"
#include "format/partition_header.h"
#include "manager/creation_params.h"
#include "storage/writetre.h"
#include "support/index_file_util.h"

namespace {

constexpr size_t kFirstPartitionAt = 4580;

std::string Join(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

class IndexCheckTest : public IndexFileTest {
 protected:
  // Creates an index of the mode with the option flags and fixed lengths,
  // then indexes sessions of records: record r of a session holds "a",
  // "w<r mod 7>", "s<session>" and, with postings long enough to leave the
  // dictionary, "a" again at later positions; every record gets data and an
  // ID when the index keeps them. Deletes records 2 and the last.
  void Build(uint32_t mode, uint32_t flags, uint32_t sessions,
             uint32_t recordsPerSession, uint32_t fixedData = 0,
             uint16_t fixedID = 0) {
    IndexCreationParametersT* params = tvCreateIndexCreationParams(&status_);
    tvSetIndexCreationParams(params, IndexParamIndexMode, &mode);
    tvSetIndexCreationParams(params, IndexParamFileName, Path());
    params->OptionBlock[0] = flags;
    params->FixedRecordDataLength = fixedData;
    params->FixedRecordIDLength = fixedID;
    tvCreateIndexEx(manager_, params, &status_);
    tvDeleteIndexCreationParams(params);
    ASSERT_EQ(StatusNoError, status_);
    ASSERT_EQ(StatusNoError, Open());
    for (uint32_t s = 1; s <= sessions; ++s) {
      IndexerT* indexer = tvStartIndexingSession(manager_, &status_);
      ASSERT_NE(nullptr, indexer);
      if (flags & kOptionDistributed) {
        std::string name = dir_.File("part" + std::to_string(s));
        tvSetFinalIndexDataPosition(indexer, &name[0], &status_);
      }
      for (uint32_t r = 1; r <= recordsPerSession; ++r) {
        for (const std::string& text :
             {std::string("a"), "w" + std::to_string(r % 7),
              "s" + std::to_string(s), std::string("a")}) {
          WordTypeT word = MakeWord(text);
          tvIndexWord(indexer, &word, &status_);
        }
        std::string data = "data of " + std::to_string(r);
        tvStoreRecordData(indexer, Raw(data), data.size(), &status_);
        std::string id = "id" + std::to_string(s) + "." + std::to_string(r);
        tvProcessRecordID(indexer, Raw(id), id.size(), 1, 1, &status_);
        tvIncrementRecord(indexer, nullptr, &status_);
        ASSERT_EQ(StatusNoError, status_);
      }
      tvEndIndexingSession(manager_, indexer, nullptr, &status_);
      ASSERT_EQ(StatusNoError, status_);
    }
    tvStartRetrievalSession(manager_, &status_);
    unsigned long records = tvNumberOfRecordsInIndex(manager_, nullptr,
                                                     &status_);
    if (records > 2) {
      unsigned long some[] = {2, records};
      tvDeleteRecordNums(manager_, some, 2, &status_);
    }
    tvCloseIndex(manager_, &status_);
    ASSERT_EQ(StatusNoError, status_);
  }

  static unsigned char* Raw(std::string& s) {
    return reinterpret_cast<unsigned char*>(&s[0]);
  }

  std::vector<std::string> Check() {
    std::vector<std::string> problems;
    StatusCodeT status = StatusNoError;
    int sound = CheckIndex(Path(), &problems, &status);
    EXPECT_EQ(StatusNoError, status);
    EXPECT_EQ(sound == 1, problems.empty());
    return problems;
  }

  // The header of the first partition of a single-file index.
  PartitionHeaderT FirstPartition() {
    std::string bytes = Bytes();
    PartitionHeaderT header;
    DecodePartitionHeader(
        reinterpret_cast<const unsigned char*>(bytes.data()) +
            kFirstPartitionAt,
        &header);
    return header;
  }
};

TEST_F(IndexCheckTest, SoundIndexesReportNothing) {
  struct CaseT {
    const char* Name;
    uint32_t Mode;
    uint32_t Flags;
    uint32_t Sessions;
    uint32_t FixedData;
    uint16_t FixedID;
  };
  const uint32_t variable = kOptionVariableRecordData | kOptionRecordData32 |
                            kOptionVariableRecordID;
  const uint32_t fixed = kOptionFixedRecordData | kOptionFixedRecordID;
  const CaseT cases[] = {
      {"new, no partition", WORD_MODE, kOptionSingleFile, 0, 0, 0},
      {"record mode", RECORD_MODE, kOptionSingleFile, 2, 0, 0},
      {"word mode, variable", WORD_MODE,
       kOptionSingleFile | variable | kOptionWeightMaxFrequency, 3, 0, 0},
      {"idf mode, fixed", IDF_MODE,
       kOptionSingleFile | fixed | kOptionWeightLogSum, 2, 12, 6},
      {"record mode, offsets", RECORD_MODE,
       kOptionSingleFile | kOptionVariableRecordData |
           kOptionRecordDataOffsets | kOptionVariableRecordID,
       1, 0, 0},
      {"distributed", IDF_MODE, kOptionDistributed | variable, 2, 0, 0},
  };
  for (const CaseT& c : cases) {
    SCOPED_TRACE(c.Name);
    std::remove(Path());
    Build(c.Mode, c.Flags, c.Sessions, 300, c.FixedData, c.FixedID);
    EXPECT_EQ("", Join(Check()));
  }
}

TEST_F(IndexCheckTest, OptomizedIndexesReportNothing) {
  const uint32_t payload = kOptionVariableRecordData | kOptionRecordData32 |
                           kOptionVariableRecordID | kOptionWeightLogSum;
  for (uint32_t layout : {kOptionSingleFile, kOptionDistributed}) {
    SCOPED_TRACE(layout);
    std::remove(Path());
    Build(IDF_MODE, layout | payload, 3, 200);
    // Three partitions to two, then to one.
    for (int round = 1; round <= 2; ++round) {
      ASSERT_EQ(StatusNoError, Open());
      tvOptomizeIndex(manager_, 2, &status_);
      ASSERT_EQ(StatusNoError, status_);
      std::string merged = dir_.File("merged" + std::to_string(round) + "." +
                                     std::to_string(layout));
      tvEndOptomization(manager_, &merged[0], 0, &status_);
      ASSERT_EQ(StatusNoError, status_);
      tvCloseIndex(manager_, &status_);
      EXPECT_EQ("", Join(Check()));
    }
  }
}

TEST_F(IndexCheckTest, TornHeaderCopyBesideAnIntactOneIsNoProblem) {
  Build(WORD_MODE, kOptionSingleFile, 1, 20);
  std::string bytes = Bytes();
  PutBE32(&bytes, kFirstCopy + kTrailingStamp, 1);
  WriteWholeFile(path_, bytes);
  EXPECT_EQ("", Join(Check()));
  PutBE32(&bytes, kSecondCopy + kTrailingStamp, 1);
  WriteWholeFile(path_, bytes);
  EXPECT_NE(std::string::npos, Join(Check()).find("neither header copy"));
}

TEST_F(IndexCheckTest, EachKindOfDamageIsReported) {
  const uint32_t flags = kOptionSingleFile | kOptionVariableRecordData |
                         kOptionRecordData32 | kOptionVariableRecordID |
                         kOptionWeightMaxFrequency;
  Build(WORD_MODE, flags, 2, 300);
  const std::string clean = Bytes();
  ASSERT_EQ("", Join(Check()));
  const PartitionHeaderT h = FirstPartition();
  ASSERT_NE(0u, h.PostingDataOffset);  // "a" has its postings there
  ASSERT_NE(0u, h.WeightTableOffset);
  const size_t p = kFirstPartitionAt;
  const size_t tree = p + kPartitionDictionaryHeaderOffset + h.Dictionary.DataOffset;
  const size_t deletedList = GetBE32(clean, kFirstCopy + kDeletedList);

  struct CaseT {
    const char* Name;
    std::function<void(std::string*)> Damage;
    const char* Expected;  // a part of some problem's text
  };
  const CaseT cases[] = {
      {"partition count of one header copy",
       [](std::string* b) { PutBE32(b, kSecondCopy + kPartitionCount, 1); },
       "header copy 2: "},
      {"position in both copies",
       [](std::string* b) { PutBothCopies(b, kLastPartition, 5000); },
       "the last partition lies here"},
      {"partition header",
       [&](std::string* b) { (*b)[p + 1] ^= 0x40; },
       "partition header is not sound"},
      {"first key of a leaf page",
       [&](std::string* b) { (*b)[tree + 2] ^= 0x01; },
       "is not the first key of page 0"},
      {"entry of a leaf page",
       [&](std::string* b) { std::memset(&(*b)[tree + 1], 0xFF, 40); },
       "B-tree page 0"},
      {"key count of a leaf page",
       [&](std::string* b) {
         (*b)[tree + h.Dictionary.PageAreaLength + 1] ^= 0x08;
       },
       "its key count says"},
      {"child number of the root",
       [&](std::string* b) {
         size_t root = tree + size_t{h.Dictionary.RootPage} * 4096;
         (*b)[root + 3 + (*b)[root + 1]] ^= 0x01;
       },
       "points to page"},
      {"posting list in the data area",
       [&](std::string* b) {
         std::memset(&(*b)[p + h.PostingDataOffset], 0, 12);
       },
       "cannot be decoded"},
      {"compressed document weights",
       [&](std::string* b) {
         std::memset(&(*b)[p + h.CompressedWeightOffset], 0, 12);
       },
       "compressed document weight"},
      {"plain document weight",
       [&](std::string* b) { PutBE32(b, p + h.WeightTableOffset, 0x7FC00000); },
       "document weight of record 1"},
      {"record data pointer",
       [&](std::string* b) {
         PutBE32(b, p + h.RecordDataPointerOffset + 8, 0x00FFFFFF);
       },
       "record data table's pointer"},
      {"magic of the deleted-record list",
       [&](std::string* b) { (*b)[deletedList] ^= 0x10; },
       "deleted-record list at"},
      {"order of the deleted-record list",
       [&](std::string* b) { PutBE32(b, deletedList + 12, 900); },
       "deleted record 900"},
      {"cut short",
       [&](std::string* b) { b->resize(p + h.EndOffset / 2); },
       "does not fit the file"},
  };
  for (const CaseT& c : cases) {
    SCOPED_TRACE(c.Name);
    std::string bytes = clean;
    c.Damage(&bytes);
    WriteWholeFile(path_, bytes);
    std::string problems = Join(Check());
    EXPECT_NE(std::string::npos, problems.find(c.Expected)) << problems;
  }
}

TEST_F(IndexCheckTest, FilesThatAreNoIndex) {
  std::vector<std::string> problems;
  StatusCodeT status = 0;
  EXPECT_EQ(0, CheckIndex(dir_.File("missing").c_str(), &problems, &status));
  EXPECT_EQ(StatusFileNotFound, status);
  EXPECT_EQ(1u, problems.size());
  EXPECT_EQ(0, CheckIndex(nullptr, &problems, &status));
  EXPECT_EQ(StatusMalformedParameter, status);

  for (size_t length : {0, 100, 4099, 4200, 5000}) {
    WriteWholeFile(path_, std::string(length, '\xD8'));
    EXPECT_FALSE(Check().empty()) << length;
  }
}

TEST_F(IndexCheckTest, ExportedReportIsCutToItsBuffer) {
  Build(RECORD_MODE, kOptionSingleFile, 1, 10);
  std::string bytes = Bytes();
  PutBothCopies(&bytes, kPartitionCount, 3000);
  WriteWholeFile(path_, bytes);
  char report[16];
  std::memset(report, 'x', sizeof report);
  StatusCodeT status = 99;
  EXPECT_EQ(1ul, tvCheckIndex(Path(), report, sizeof report, &status));
  EXPECT_EQ(StatusNoError, status);
  EXPECT_EQ(15u, std::strlen(report));
  EXPECT_EQ(1ul, tvCheckIndex(Path(), nullptr, 0, nullptr));

  Build(RECORD_MODE, kOptionSingleFile, 1, 10);
  char whole[4096];
  EXPECT_EQ(0ul, tvCheckIndex(Path(), whole, sizeof whole, &status));
  EXPECT_STREQ("", whole);
  EXPECT_EQ(0ul, tvCheckIndex(nullptr, whole, sizeof whole, &status));
  EXPECT_EQ(StatusMalformedParameter, status);
}

}  // namespace
