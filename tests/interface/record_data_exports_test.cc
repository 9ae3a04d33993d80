// Record data and record IDs through the exported interface: stored during
// sessions, read back by global record number whole and in pieces, in every
// layout and pointer width, across partitions; records found by their ID;
// the refusals.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "manager/creation_params.h"
#include "manager/index_manager.h"
#include "query/partition_reader.h"
#include "support/index_file_util.h"

namespace {

// One record of a session: its words, its data in the pieces the host gives
// (none: no store call), its ID (none: no ID call).
struct RecordT {
  RecordT() = default;
  RecordT(std::vector<std::string> words, std::vector<std::string> data,
          std::optional<std::string> id = std::nullopt)
      : Words(std::move(words)), Data(std::move(data)), ID(std::move(id)) {}
  std::vector<std::string> Words = {"w"};
  std::vector<std::string> Data;
  std::optional<std::string> ID;
};

unsigned char* Raw(const std::string& s) {
  return reinterpret_cast<unsigned char*>(const_cast<char*>(s.data()));
}

class RecordDataTest : public IndexFileTest {
 protected:
  void Create(uint32_t flags, uint32_t fixedData = 0, uint16_t fixedID = 0,
              uint32_t mode = RECORD_MODE) {
    tvCloseIndex(manager_, &status_);
    std::remove(Path());
    IndexCreationParametersT* params = tvCreateIndexCreationParams(&status_);
    ASSERT_NE(nullptr, params);
    tvSetIndexCreationParams(params, IndexParamIndexMode, &mode);
    tvSetIndexCreationParams(params, IndexParamFileName, Path());
    params->OptionBlock[0] = kOptionSingleFile | flags;
    params->FixedRecordDataLength = fixedData;
    params->FixedRecordIDLength = fixedID;
    tvCreateIndexEx(manager_, params, &status_);
    tvDeleteIndexCreationParams(params);
    ASSERT_EQ(StatusNoError, status_);
    ASSERT_EQ(StatusNoError, Open());
  }

  // One session of the records; every store reports 0.
  void Index(const std::vector<RecordT>& records) {
    IndexerT* indexer = tvStartIndexingSession(manager_, &status_);
    ASSERT_NE(nullptr, indexer);
    for (size_t r = 0; r < records.size(); ++r) {
      const RecordT& record = records[r];
      for (const std::string& text : record.Words) {
        WordTypeT word = MakeWord(text);
        tvIndexWord(indexer, &word, &status_);
        ASSERT_EQ(StatusNoError, status_);
      }
      for (size_t i = 0; i < record.Data.size(); ++i) {
        const std::string& piece = record.Data[i];
        (i == 0 ? tvStoreRecordData : tvStoreMoreRecordData)(
            indexer, Raw(piece), piece.size(), &status_);
        ASSERT_EQ(StatusNoError, status_);
      }
      if (record.ID) {
        tvProcessRecordID(indexer, Raw(*record.ID), record.ID->size(), 1, 1,
                          &status_);
        ASSERT_EQ(StatusNoError, status_);
      }
      if (r + 1 < records.size()) {
        tvIncrementRecord(indexer, nullptr, &status_);
        ASSERT_EQ(StatusNoError, status_);
      }
    }
    tvEndIndexingSession(manager_, indexer, nullptr, &status_);
    ASSERT_EQ(StatusNoError, status_);
  }

  void StartRetrieval() {
    tvStartRetrievalSession(manager_, &status_);
    ASSERT_EQ(StatusNoError, status_);
  }

  // A record's data read whole with a buffer of the given size, then piece
  // by piece with buffers of that size.
  std::string ReadData(unsigned long record, unsigned long piece = 4096) {
    std::string data;
    std::vector<unsigned char> buffer(piece);
    unsigned long read = 99;
    TarvisDataCursorT cursor;
    tvRetrieveRecordData(manager_, buffer.data(), piece, &read, record,
                         &cursor, &status_);
    EXPECT_EQ(StatusNoError, status_);
    data.append(reinterpret_cast<char*>(buffer.data()), read);
    for (int guard = 0; !cursor.Done && guard < 100000; ++guard) {
      tvRetrieveMoreRecordData(manager_, buffer.data(), piece, &read, &cursor,
                               &status_);
      EXPECT_EQ(StatusNoError, status_);
      data.append(reinterpret_cast<char*>(buffer.data()), read);
    }
    EXPECT_EQ(data.size(), cursor.TotalLength);
    return data;
  }

  std::string ReadID(unsigned long record, std::string* hex = nullptr) {
    unsigned char id[300];
    char hexId[2 * 300 + 3];
    unsigned long length = 999;
    tvRetrieveRecordID(manager_, id, sizeof(id), &length, hexId, record,
                       &status_);
    EXPECT_EQ(StatusNoError, status_);
    if (hex != nullptr) *hex = hexId;
    return std::string(reinterpret_cast<char*>(id), length);
  }

  unsigned long Find(const std::string& hexId) {
    unsigned long record = 99;
    tvFindRecordID(manager_, const_cast<char*>(hexId.c_str()), &record,
                   &status_);
    return record;
  }

  // The bytes of loaded partition i from offset to offset + length.
  std::string PartitionBytes(uint32_t i, uint32_t offset, uint32_t length) {
    return Bytes().substr(manager_->Partitions().Position(i) + offset, length);
  }
};

std::string BigEndianWords(const std::vector<uint32_t>& values) {
  std::string out;
  for (uint32_t v : values) {
    for (int shift = 24; shift >= 0; shift -= 8) {
      out.push_back(static_cast<char>(v >> shift));
    }
  }
  return out;
}

TEST_F(RecordDataTest, VariableDataTableAndArea) {
  // abc, nothing at all, defgh: the record without data still has its
  // pointer, so the table reads 0 3 3 8.
  Create(kOptionVariableRecordData | kOptionRecordData32);
  Index({{{"a"}, {"abc"}}, {{"b"}, {}}, {{"c"}, {"de", "fgh"}}});
  StartRetrieval();
  const PartitionHeaderT& h = manager_->Partitions().Reader(0)->Header();
  EXPECT_EQ(BigEndianWords({0, 3, 3, 8}),
            PartitionBytes(0, h.RecordDataPointerOffset, 16));
  EXPECT_EQ(h.RecordDataPointerOffset + 16, h.RecordDataOffset);
  EXPECT_EQ("abcdefgh", PartitionBytes(0, h.RecordDataOffset, 8));

  unsigned char buffer[16];
  unsigned long read = 99;
  TarvisDataCursorT cursor = {};
  tvRetrieveRecordData(manager_, buffer, sizeof(buffer), &read, 2, &cursor,
                       &status_);
  EXPECT_EQ(StatusNoError, status_);
  EXPECT_EQ(0u, read);
  EXPECT_EQ(1u, cursor.Done);
  EXPECT_EQ("abc", ReadData(1));
  EXPECT_EQ("defgh", ReadData(3));
}

TEST_F(RecordDataTest, DataComesInPiecesThroughTheCursor) {
  Create(kOptionVariableRecordData | kOptionRecordData32);
  Index({{{"x"}, {"--"}}, {{"y"}, {"abcdefgh"}}});
  StartRetrieval();
  unsigned char buffer[3];
  unsigned long read = 0;
  TarvisDataCursorT cursor;
  tvRetrieveRecordData(manager_, buffer, 3, &read, 2, &cursor, &status_);
  EXPECT_EQ(StatusNoError, status_);
  EXPECT_EQ(3u, read);
  EXPECT_EQ(0, std::memcmp(buffer, "abc", 3));
  EXPECT_EQ(0u, cursor.PartitionIndex);
  EXPECT_EQ(2u, cursor.RecordNumber);
  EXPECT_EQ(8u, cursor.TotalLength);
  EXPECT_EQ(3u, cursor.Delivered);
  EXPECT_EQ(0u, cursor.Done);
  const struct {
    unsigned long Read;
    const char* Bytes;
    uint32_t Done;
  } pieces[] = {{3, "def", 0}, {2, "gh", 1}, {0, "", 1}};
  for (const auto& piece : pieces) {
    const TarvisDataCursorT before = cursor;
    read = 99;
    tvRetrieveMoreRecordData(manager_, buffer, 3, &read, &cursor, &status_);
    EXPECT_EQ(StatusNoError, status_);
    EXPECT_EQ(piece.Read, read);
    EXPECT_EQ(0, std::memcmp(buffer, piece.Bytes, piece.Read));
    EXPECT_EQ(piece.Done, cursor.Done);
    // A done cursor stays as it was.
    if (before.Done) {
      EXPECT_EQ(0, std::memcmp(&before, &cursor, sizeof(cursor)));
    }
  }
}

TEST_F(RecordDataTest, FixedLengthDataTakeTheirLengthAndNoMore) {
  // Longer data are cut, shorter ones padded with zeros, further pieces
  // fill the entry while it has room; a record without data reads as zeros.
  Create(kOptionFixedRecordData, 10);
  Index({{{"a"}, {"0123456789abc"}},
         {{"b"}, {"xy", "z", "12345678"}},
         {{"c"}, {}},
         {{"d"}, {"last"}}});
  StartRetrieval();
  const PartitionHeaderT& h = manager_->Partitions().Reader(0)->Header();
  EXPECT_EQ(std::string("0123456789xyz1234567") + std::string(10, '\0') +
                "last" + std::string(6, '\0'),
            PartitionBytes(0, h.RecordDataPointerOffset, 40));
  EXPECT_EQ(0u, h.RecordDataOffset);

  unsigned char buffer[4];
  unsigned long read = 0;
  TarvisDataCursorT cursor;
  tvRetrieveRecordData(manager_, buffer, 4, &read, 1, &cursor, &status_);
  EXPECT_EQ(StatusNoError, status_);
  EXPECT_EQ(4u, read);
  EXPECT_EQ(0u, cursor.Done);
  EXPECT_EQ(10u, cursor.TotalLength);
  EXPECT_EQ("0123456789", ReadData(1, 4));
  EXPECT_EQ(std::string(10, '\0'), ReadData(3));
}

TEST_F(RecordDataTest, EveryLayoutAndPointerWidthAcrossPartitions) {
  struct LayoutT {
    uint32_t Flags;
    uint32_t FixedData;
    uint16_t FixedID;
    uint32_t DataPointer;  // bytes; 0 for fixed-length data
    uint32_t IDPointer;    // bytes; 0 for fixed-length IDs
  };
  const uint32_t kVarData = kOptionVariableRecordData;
  const uint32_t kVarID = kOptionVariableRecordID;
  const LayoutT layouts[] = {
      {kVarData | kOptionRecordData32 | kVarID | kOptionRecordID32, 0, 0, 4,
       4},
      {kVarData | kOptionRecordDataOffsets | kVarID | kOptionRecordIDOffsets,
       0, 0, 8, 8},
      // No width chosen: data pointers 32-bit, ID pointers offsets.
      {kVarData | kVarID, 0, 0, 4, 8},
      // Both widths chosen: data pointers offsets, ID pointers 32-bit.
      {kVarData | kOptionRecordData32 | kOptionRecordDataOffsets | kVarID |
           kOptionRecordID32 | kOptionRecordIDOffsets,
       0, 0, 8, 4},
      {kOptionFixedRecordData | kOptionFixedRecordID, 7, 5, 0, 0},
      {kOptionFixedRecordData | kVarID, 3, 0, 0, 8},
      {kVarData | kOptionFixedRecordID, 0, 200, 4, 0},
  };
  std::mt19937 random(7);
  auto text = [&](size_t length) {
    std::string s;
    for (size_t i = 0; i < length; ++i) s.push_back(static_cast<char>(random()));
    return s;
  };
  for (const LayoutT& layout : layouts) {
    SCOPED_TRACE(layout.Flags);
    Create(layout.Flags, layout.FixedData, layout.FixedID);
    std::vector<std::string> data;
    std::vector<std::string> ids;
    std::vector<uint32_t> sessionRecords;
    for (int session = 0; session < 3; ++session) {
      std::vector<RecordT> records(5 + random() % 20);
      for (RecordT& record : records) {
        std::string whole;
        if (random() % 4 != 0) {
          // One to three pieces, now and then a long one.
          for (uint32_t p = 1 + random() % 3; p > 0; --p) {
            record.Data.push_back(text(random() % 8 == 0 ? 3000 : random() % 40));
            whole += record.Data.back();
          }
        }
        if (layout.FixedData != 0) {
          whole.resize(layout.FixedData, '\0');
        }
        data.push_back(whole);
        std::string id;
        if (random() % 3 != 0) {
          record.ID = text(1 + random() % 110);
          id = *record.ID;
        }
        if (layout.FixedID != 0) id.resize(layout.FixedID, '\0');
        ids.push_back(id);
      }
      ASSERT_NO_FATAL_FAILURE(Index(records));
      sessionRecords.push_back(static_cast<uint32_t>(records.size()));
    }
    StartRetrieval();
    ASSERT_EQ(3u, manager_->Partitions().PartitionCount());
    for (uint32_t p = 0; p < 3; ++p) {
      const PartitionHeaderT& h = manager_->Partitions().Reader(p)->Header();
      const uint32_t entries = sessionRecords[p] + 1;
      if (layout.DataPointer != 0) {
        EXPECT_EQ(entries * layout.DataPointer,
                  h.RecordDataOffset - h.RecordDataPointerOffset);
      } else {
        EXPECT_EQ(sessionRecords[p] * layout.FixedData,
                  (layout.IDPointer != 0 || layout.FixedID != 0
                       ? h.RecordIdPointerOffset
                       : h.EndOffset) -
                      h.RecordDataPointerOffset);
      }
      if (layout.IDPointer != 0) {
        EXPECT_EQ(entries * layout.IDPointer,
                  h.RecordIdDataOffset - h.RecordIdPointerOffset);
      } else {
        EXPECT_EQ(sessionRecords[p] * layout.FixedID,
                  h.EndOffset - h.RecordIdPointerOffset);
      }
    }
    for (unsigned long r = 1; r <= data.size(); ++r) {
      EXPECT_EQ(data[r - 1], ReadData(r)) << r;
      EXPECT_EQ(data[r - 1], ReadData(r, 1 + r % 17)) << r;
      EXPECT_EQ(ids[r - 1], ReadID(r)) << r;
    }
  }
}

TEST_F(RecordDataTest, RefusedRequests) {
  Create(kOptionVariableRecordData | kOptionVariableRecordID);
  Index({{{"a"}, {"abc"}, std::string("id")}});
  unsigned char buffer[8];
  unsigned long read = 99;
  unsigned long length = 99;
  TarvisDataCursorT cursor = {};
  // Outside a retrieval session.
  tvRetrieveRecordData(manager_, buffer, 8, &read, 1, &cursor, &status_);
  EXPECT_EQ(StatusNotInitializedForSearching, status_);
  tvRetrieveMoreRecordData(manager_, buffer, 8, &read, &cursor, &status_);
  EXPECT_EQ(StatusNotInitializedForSearching, status_);
  tvRetrieveRecordID(manager_, buffer, 8, &length, nullptr, 1, &status_);
  EXPECT_EQ(StatusNotInitializedForSearching, status_);
  EXPECT_EQ(0u, Find("0x6964"));
  EXPECT_EQ(StatusNotInitializedForSearching, status_);

  StartRetrieval();
  for (unsigned long record : {0ul, 2ul, 0x100000001ul}) {
    read = length = 99;
    tvRetrieveRecordData(manager_, buffer, 8, &read, record, &cursor,
                         &status_);
    EXPECT_EQ(StatusMalformedParameter, status_);
    EXPECT_EQ(0u, read);
    tvRetrieveRecordID(manager_, buffer, 8, &length, nullptr, record,
                       &status_);
    EXPECT_EQ(StatusMalformedParameter, status_);
    EXPECT_EQ(0u, length);
  }
  tvRetrieveRecordData(manager_, buffer, 8, &read, 1, nullptr, &status_);
  EXPECT_EQ(StatusMalformedParameter, status_);
  tvRetrieveRecordData(manager_, nullptr, 8, &read, 1, &cursor, &status_);
  EXPECT_EQ(StatusMalformedParameter, status_);
  cursor.Done = 0;
  cursor.PartitionIndex = 1;
  tvRetrieveMoreRecordData(manager_, buffer, 8, &read, &cursor, &status_);
  EXPECT_EQ(StatusMalformedParameter, status_);
  tvRetrieveRecordData(nullptr, buffer, 8, &read, 1, &cursor, &status_);
  EXPECT_EQ(StatusNotIndexFile, status_);

  // An index without record data or IDs: the stores do nothing, the reads
  // are refused.
  Create(0);
  IndexerT* indexer = tvStartIndexingSession(manager_, &status_);
  tvStoreRecordData(indexer, Raw("abc"), 3, &status_);
  EXPECT_EQ(StatusNoError, status_);
  tvProcessRecordID(indexer, Raw("id"), 2, 1, 0, &status_);
  EXPECT_EQ(StatusNoError, status_);
  WordTypeT word = MakeWord("w");
  tvIndexWord(indexer, &word, &status_);
  tvEndIndexingSession(manager_, indexer, nullptr, &status_);
  ASSERT_EQ(StatusNoError, status_);
  StartRetrieval();
  tvRetrieveRecordData(manager_, buffer, 8, &read, 1, &cursor, &status_);
  EXPECT_EQ(StatusNoRecordData, status_);
  tvRetrieveMoreRecordData(manager_, buffer, 8, &read, &cursor, &status_);
  EXPECT_EQ(StatusNoRecordData, status_);
  tvRetrieveRecordID(manager_, buffer, 8, &length, nullptr, 1, &status_);
  EXPECT_EQ(StatusNoRecordData, status_);
}

TEST_F(RecordDataTest, RecordIDsStoredAndIndexed) {
  Create(kOptionVariableRecordID | kOptionRecordID32);
  IndexerT* indexer = tvStartIndexingSession(manager_, &status_);
  ASSERT_NE(nullptr, indexer);
  WordTypeT word = MakeWord("w");
  // Record 1: a 200-byte ID is kept as its first 128 bytes and cannot be
  // indexed.
  const std::string longID(200, 'L');
  tvIndexWord(indexer, &word, &status_);
  tvProcessRecordID(indexer, Raw(longID), longID.size(), 1, 1, &status_);
  EXPECT_EQ(StatusBadKeyLength, status_);
  tvIncrementRecord(indexer, nullptr, &status_);
  // Record 2: "AB"; a second ID for the record is refused, the first kept.
  tvIndexWord(indexer, &word, &status_);
  tvProcessRecordID(indexer, Raw("AB"), 2, 1, 1, &status_);
  EXPECT_EQ(StatusNoError, status_);
  tvProcessRecordID(indexer, Raw("CD"), 2, 1, 0, &status_);
  EXPECT_EQ(StatusMalformedParameter, status_);
  tvIncrementRecord(indexer, nullptr, &status_);
  // Record 3: stored but not indexed; record 4: indexed but not stored.
  tvIndexWord(indexer, &word, &status_);
  tvProcessRecordID(indexer, Raw("stored"), 6, 1, 0, &status_);
  tvIncrementRecord(indexer, nullptr, &status_);
  tvProcessRecordID(indexer, Raw("indexed"), 7, 0, 1, &status_);
  EXPECT_EQ(StatusNoError, status_);
  tvEndIndexingSession(manager_, indexer, nullptr, &status_);
  ASSERT_EQ(StatusNoError, status_);
  StartRetrieval();

  EXPECT_EQ(longID.substr(0, 128), ReadID(1));
  EXPECT_EQ(0u, Find("0x" + std::string(240, '4') + "4c"));
  EXPECT_EQ(StatusBadKeyLength, status_);
  EXPECT_EQ(0u, Find("0x" + std::string(240, 'c')));
  EXPECT_EQ(StatusNoError, status_);

  std::string hex;
  EXPECT_EQ("AB", ReadID(2, &hex));
  EXPECT_EQ("0x4142", hex);
  EXPECT_EQ(2u, Find("0x4142"));
  EXPECT_EQ(StatusNoError, status_);
  EXPECT_EQ(2u, Find("id: 0X4142"));
  EXPECT_EQ(0u, Find("0x4344"));
  EXPECT_EQ("stored", ReadID(3));
  EXPECT_EQ(0u, Find("0x73746f726564"));
  EXPECT_EQ("", ReadID(4, &hex));
  EXPECT_EQ("0x", hex);
  EXPECT_EQ(4u, Find("0x696e6465786564"));

  // The ID bytes go to the host's buffer as far as it has room; the length
  // and the hex form are the whole ID's.
  unsigned char small[1] = {0};
  unsigned long length = 0;
  tvRetrieveRecordID(manager_, small, 1, &length, nullptr, 2, &status_);
  EXPECT_EQ(StatusNoError, status_);
  EXPECT_EQ(2u, length);
  EXPECT_EQ('A', small[0]);

  const struct {
    const char* Text;
    StatusCodeT Status;
  } refused[] = {{"", StatusHexTermExpected},
                 {"0y41", StatusHexTermExpected},
                 {"0x414", StatusHexTermExpected},
                 {"0x41 ", StatusHexTermExpected},
                 {"0x41*", StatusHexTermExpected},
                 {"0x", StatusBadKeyLength}};
  for (const auto& r : refused) {
    EXPECT_EQ(0u, Find(r.Text)) << r.Text;
    EXPECT_EQ(r.Status, status_) << r.Text;
  }
  tvFindRecordID(manager_, nullptr, nullptr, &status_);
  EXPECT_EQ(StatusHexTermExpected, status_);
}

TEST_F(RecordDataTest, FindRecordIDTakesTheNewestPartition) {
  // The same ID on record 3 of a first partition of 15 records and on
  // record 2 of a second: 15 + 2, in every index mode.
  for (uint32_t mode : {RECORD_MODE, WORD_MODE, IDF_MODE}) {
    SCOPED_TRACE(mode);
    Create(kOptionVariableRecordID, 0, 0, mode);
    std::vector<RecordT> first(15);
    first[2].ID = "dup";
    first[6].ID = "once";
    std::vector<RecordT> second(4);
    second[1].ID = "dup";
    Index(first);
    Index(second);
    StartRetrieval();
    EXPECT_EQ(17u, Find("0x647570"));
    EXPECT_EQ(StatusNoError, status_);
    EXPECT_EQ(7u, Find("0x6f6e6365"));
    EXPECT_EQ(0u, Find("0x6e6f6e65"));
    EXPECT_EQ(StatusNoError, status_);
    // A deleted record does not match: the older one answers.
    tvDeleteRecordNum(manager_, 17, &status_);
    EXPECT_EQ(3u, Find("0x647570"));
    tvDeleteRecordNum(manager_, 3, &status_);
    EXPECT_EQ(0u, Find("0x647570"));
    EXPECT_EQ(StatusNoError, status_);
  }
}

TEST_F(RecordDataTest, HighestRecordOfAPartitionHoldingTheIDTwice) {
  Create(kOptionFixedRecordID, 0, 4);
  std::vector<RecordT> records(6);
  records[1].ID = records[4].ID = "key";
  Index(records);
  StartRetrieval();
  EXPECT_EQ(5u, Find("0x6b6579"));
  EXPECT_EQ(std::string("key") + '\0', ReadID(5));
}

}  // namespace
