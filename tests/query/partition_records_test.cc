// PartitionReaderT and the record tables of one partition, built by an
// indexing session: records outside the partition, tables and pointers that
// do not fit their areas, a cursor that does not describe the partition, and
// the lookup of an indexed record ID with deleted records dropped.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "indexing/indexer.h"
#include "query/deleted_records.h"
#include "query/partition_reader.h"
#include "query/query_vector.h"
#include "storage/fileclas.h"
#include "support/temp_dir.h"

namespace {

const unsigned char* Raw(const std::string& s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}

void PutBE32(std::string* bytes, size_t at, uint32_t v) {
  for (size_t i = 0; i < 4; ++i) {
    (*bytes)[at + i] = static_cast<char>(v >> (24 - 8 * i));
  }
}

class DeletedT : public DeletedRecordSetT {
 public:
  explicit DeletedT(std::set<uint32_t> records) : Records(std::move(records)) {}
  int IsRecordDeleted(uint32_t record) const override {
    return Records.count(record) != 0;
  }
  std::set<uint32_t> Records;
};

class PartitionRecordsTest : public testing::Test {
 protected:
  // Writes a partition of records whose data are data[i] and IDs ids[i]
  // (empty: none given); every record holds the word "w".
  void Build(uint32_t flags, const std::vector<std::string>& data,
             const std::vector<std::string>& ids, uint32_t fixedData = 0) {
    StatusCodeT status = StatusNoError;
    IndexerT indexer(&status);
    uint32_t block[kOptionBlockWords] = {flags};
    IndexingOptionsT options =
        MakeIndexingOptions(RECORD_MODE, block, fixedData, 0);
    indexer.StartTextIndexingSession(&options, &status);
    indexer.SetFinalPositionAndFileName(path_.c_str(), &status);
    WordTypeT word = {};
    word.Word[0] = 'w';
    word.WordLength = 1;
    for (size_t r = 0; r < data.size(); ++r) {
      if (r > 0) indexer.IncrementRecord(nullptr, &status);
      indexer.IndexWord(&word, &status);
      if (!data[r].empty()) {
        indexer.StoreRecordData(Raw(data[r]), data[r].size(), &status);
      }
      if (!ids[r].empty()) {
        indexer.StoreRecordID(Raw(ids[r]), ids[r].size(), &status);
        indexer.IndexRecordID(Raw(ids[r]), ids[r].size(), &status);
      }
    }
    indexer.EndIndexingSession(nullptr, &status);
    ASSERT_EQ(StatusNoError, status);
    Load();
    header_ = reader_->Header();
  }

  void Load() {
    reader_.reset();
    file_ = std::make_unique<FileClassT>(path_.c_str());
    ASSERT_TRUE(file_->Open(kFileReadOnly));
    reader_ = std::make_unique<PartitionReaderT>(0);
    StatusCodeT status = StatusNoError;
    ASSERT_TRUE(reader_->ReadHeader(file_.get(), &status));
  }

  // Rewrites the partition file through patch and loads it again.
  void Patch(const std::function<void(std::string*)>& patch) {
    reader_.reset();
    file_.reset();
    std::string bytes = ReadWholeFile(path_);
    patch(&bytes);
    WriteWholeFile(path_, bytes);
    Load();
  }

  ScopedTempDirT dir_;
  std::string path_ = dir_.File("partition");
  std::unique_ptr<FileClassT> file_;
  std::unique_ptr<PartitionReaderT> reader_;
  PartitionHeaderT header_;
};

TEST_F(PartitionRecordsTest, RecordsOutsideThePartitionReadNothing) {
  Build(kOptionVariableRecordData | kOptionVariableRecordID, {"ab", "cd"},
        {"x", "y"});
  unsigned char buffer[8];
  for (uint32_t record : {0u, 3u}) {
    uint32_t read = 99;
    TarvisDataCursorT cursor = {};
    StatusCodeT status = StatusNoError;
    EXPECT_EQ(0, reader_->ReadRecordInfo(buffer, 8, &read, record, &cursor,
                                         &status));
    EXPECT_EQ(StatusNoError, status);
    EXPECT_EQ(0u, read);
    EXPECT_EQ(1u, cursor.Done);
    EXPECT_EQ(0, reader_->ReadRecordID(buffer, 8, &read, record, &status));
    EXPECT_EQ(StatusNoError, status);
    EXPECT_EQ(0u, read);
  }
  uint32_t read = 0;
  TarvisDataCursorT cursor = {};
  StatusCodeT status = StatusNoError;
  EXPECT_EQ(1, reader_->ReadRecordInfo(buffer, 8, &read, 2, &cursor, &status));
  EXPECT_EQ(0, std::memcmp(buffer, "cd", 2));
}

TEST_F(PartitionRecordsTest, TablesThatDoNotFitTheirAreasGiveReadErrors) {
  // Records of 10 bytes of data (32-bit pointers) and IDs of 100 bytes
  // (8-byte pointers), three of each.
  const std::vector<std::string> data = {std::string(10, 'a'),
                                         std::string(10, 'b'),
                                         std::string(10, 'c')};
  const std::vector<std::string> ids = {std::string(100, 'x'),
                                        std::string(100, 'y'),
                                        std::string(100, 'z')};
  struct CaseT {
    const char* Name;
    uint32_t Flags;
    bool ReadID;
    uint32_t Record;
    std::function<void(std::string*, const PartitionHeaderT&)> Damage;
  };
  const uint32_t kVariable = kOptionVariableRecordData | kOptionRecordData32 |
                             kOptionVariableRecordID;
  const CaseT cases[] = {
      {"decreasing pointers", kVariable, false, 2,
       [](std::string* b, const PartitionHeaderT& h) {
         PutBE32(b, h.RecordDataPointerOffset + 4, 25);
       }},
      {"pointer beyond the area", kVariable, false, 3,
       [](std::string* b, const PartitionHeaderT& h) {
         PutBE32(b, h.RecordDataPointerOffset + 12, 0xFFFFFF00u);
       }},
      {"ID pointer beyond the area", kVariable, true, 3,
       [](std::string* b, const PartitionHeaderT& h) {
         PutBE32(b, h.RecordIdPointerOffset + 28, 301);
       }},
      {"ID longer than an ID is kept", kVariable, true, 3,
       [](std::string* b, const PartitionHeaderT& h) {
         PutBE32(b, h.RecordIdPointerOffset + 20, 50);
       }},
      {"more records than pointers", kVariable, false, 4,
       [](std::string* b, const PartitionHeaderT&) {
         PutBE32(b, 124, 4);
       }},
      {"more records than fixed entries", kOptionFixedRecordData, false, 4,
       [](std::string* b, const PartitionHeaderT&) {
         PutBE32(b, 124, 4);
       }},
  };
  for (const CaseT& c : cases) {
    SCOPED_TRACE(c.Name);
    Build(c.Flags, data, ids, 10);
    ASSERT_EQ(3u, header_.RecordCount);
    const PartitionHeaderT h = header_;
    Patch([&](std::string* bytes) { c.Damage(bytes, h); });
    unsigned char buffer[256];
    uint32_t read = 99;
    TarvisDataCursorT cursor = {};
    StatusCodeT status = StatusNoError;
    const int result =
        c.ReadID ? reader_->ReadRecordID(buffer, sizeof(buffer), &read,
                                         c.Record, &status)
                 : reader_->ReadRecordInfo(buffer, sizeof(buffer), &read,
                                           c.Record, &cursor, &status);
    EXPECT_EQ(0, result);
    EXPECT_EQ(StatusReadError, status);
    EXPECT_EQ(0u, read);
  }
}

TEST_F(PartitionRecordsTest, CursorMustDescribeThePartition) {
  Build(kOptionVariableRecordData, {"0123456789"}, {""});
  unsigned char buffer[4];
  uint32_t read = 0;
  TarvisDataCursorT cursor = {};
  StatusCodeT status = StatusNoError;
  ASSERT_EQ(1, reader_->ReadRecordInfo(buffer, 4, &read, 1, &cursor, &status));
  ASSERT_EQ(0u, cursor.Done);
  const TarvisDataCursorT good = cursor;
  const std::function<void(TarvisDataCursorT*)> damages[] = {
      [](TarvisDataCursorT* c) { c->Delivered = c->TotalLength + 1; },
      [&](TarvisDataCursorT* c) { c->DataPosition = header_.EndOffset - 2; },
      [](TarvisDataCursorT* c) { c->TotalLength = 0xFFFFFFF0u; },
      [](TarvisDataCursorT* c) { c->DataPosition = 3; },
  };
  for (const auto& damage : damages) {
    cursor = good;
    damage(&cursor);
    status = StatusNoError;
    read = 99;
    EXPECT_EQ(0, reader_->ReadMoreRecordInfo(buffer, 4, &read, &cursor,
                                             &status));
    EXPECT_EQ(StatusMalformedParameter, status);
    EXPECT_EQ(0u, read);
  }
  cursor = good;
  status = StatusNoError;
  EXPECT_EQ(1, reader_->ReadMoreRecordInfo(buffer, 4, &read, &cursor,
                                           &status));
  EXPECT_EQ(4u, read);
  EXPECT_EQ(0, std::memcmp(buffer, "4567", 4));
}

TEST_F(PartitionRecordsTest, FindRecordIDDropsDeletedRecords) {
  Build(kOptionVariableRecordID, {"", "", "", "", "", ""},
        {"k", "j", "", "k", "k", ""});
  reader_->SetRecordsBefore(10);
  // Records 4 and 5 of the partition are 14 and 15 of the index.
  DeletedT deleted({15});
  StatusCodeT status = StatusNoError;
  unsigned char term[] = "0x6d6b";
  std::unique_ptr<QueryVectorBaseT> hits(
      reader_->FindRecordID(term, &deleted, &status));
  ASSERT_NE(nullptr, hits);
  EXPECT_EQ(StatusNoError, status);
  std::vector<uint32_t> records;
  while (hits->IsPositioned() && status == StatusNoError) {
    records.push_back(hits->CurrentRecord());
    hits->NextHit(&status);
  }
  EXPECT_EQ((std::vector<uint32_t>{1, 4}), records);

  unsigned char absent[] = "0x6d7a";
  status = StatusNoError;
  EXPECT_EQ(nullptr, reader_->FindRecordID(absent, nullptr, &status));
  EXPECT_EQ(StatusNoError, status);
  unsigned char notHex[] = "zz";
  EXPECT_EQ(nullptr, reader_->FindRecordID(notHex, nullptr, &status));
  EXPECT_EQ(StatusBadKeyLength, status);
}

TEST_F(PartitionRecordsTest, PartitionWithoutTablesHasNoRecordData) {
  Build(0, {"ignored"}, {"ignored"});
  unsigned char buffer[8];
  uint32_t read = 99;
  TarvisDataCursorT cursor = {};
  StatusCodeT status = StatusNoError;
  EXPECT_EQ(0, reader_->ReadRecordInfo(buffer, 8, &read, 1, &cursor, &status));
  EXPECT_EQ(StatusNoRecordData, status);
  status = StatusNoError;
  EXPECT_EQ(0, reader_->ReadRecordID(buffer, 8, &read, 1, &status));
  EXPECT_EQ(StatusNoRecordData, status);
}

}  // namespace
