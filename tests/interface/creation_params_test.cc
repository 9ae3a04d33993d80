// The creation parameter record, the index manager handle and the location of
// temporary files.

#include <cstring>
#include <string>

#include "gtest/gtest.h"
#include "manager/creation_params.h"
#include "tarvis/tarvis.h"

namespace {

class CreationParamsTest : public testing::Test {
 protected:
  void SetUp() override {
    params_ = tvCreateIndexCreationParams(&status_);
    ASSERT_NE(nullptr, params_);
    ASSERT_EQ(StatusNoError, status_);
  }
  void TearDown() override { tvDeleteIndexCreationParams(params_); }

  uint32_t Flags() const { return params_->OptionBlock[0]; }
  void Set(long id, void* value = nullptr) {
    tvSetIndexCreationParams(params_, id, value);
  }

  StatusCodeT status_ = 99;
  IndexCreationParametersT* params_ = nullptr;
};

TEST_F(CreationParamsTest, FreshAndResetRecordsAreZero) {
  for (int round = 0; round < 2; ++round) {
    for (uint32_t word : params_->OptionBlock) EXPECT_EQ(0u, word);
    EXPECT_EQ(0u, params_->FixedRecordDataLength);
    EXPECT_EQ(0u, params_->FixedRecordIDLength);
    EXPECT_EQ(0u, params_->IndexMode);
    EXPECT_STREQ("", params_->IndexFileName);
    EXPECT_EQ(0u, params_->SetMarker);
    uint32_t length = 77;
    uint32_t mode = 2;
    Set(IndexParamFixedRecordData, &length);
    Set(IndexParamIndexMode, &mode);
    Set(IndexParamFileName, const_cast<char*>("x.idx"));
    tvResetIndexCreationParams(params_);
  }
}

TEST_F(CreationParamsTest, IdentifierTable) {
  // Each row: identifier, then the flags expected after applying it to a
  // record whose flags are all set.
  struct {
    long id;
    uint32_t sets;
    uint32_t clears;
  } const rows[] = {
      {1, 1u << 0, 1u << 1},  {2, 1u << 1, 1u << 0},  {3, 1u << 2, 1u << 3},
      {4, 1u << 3, 1u << 2},  {5, 1u << 4, 1u << 5},  {6, 1u << 5, 1u << 4},
      {7, 1u << 7, 1u << 6},  {8, 1u << 6, 1u << 7},  {9, 1u << 8, 0},
      {10, 1u << 9, 1u << 8}, {13, 1u << 10, 1u << 11},
      {14, 1u << 11, 1u << 10},
  };
  for (const auto& row : rows) {
    params_->OptionBlock[0] = 0xFFFu;
    uint32_t length32 = 5;
    uint16_t length16 = 5;
    void* value = row.id == 4 ? static_cast<void*>(&length32)
                              : static_cast<void*>(&length16);
    Set(row.id, value);
    EXPECT_EQ((0xFFFu | row.sets) & ~row.clears, Flags()) << "id " << row.id;
    EXPECT_EQ(1u, params_->SetMarker);
  }
}

TEST_F(CreationParamsTest, RivalIdentifiersAndLengths) {
  uint32_t dataLength = 40;
  Set(4, &dataLength);
  Set(3);
  EXPECT_EQ(1u << 2, Flags());
  EXPECT_EQ(0u, params_->FixedRecordDataLength);
  Set(4, &dataLength);
  EXPECT_EQ(1u << 3, Flags());
  EXPECT_EQ(40u, params_->FixedRecordDataLength);

  tvResetIndexCreationParams(params_);
  uint16_t idLength = 0x1234;
  Set(8);
  Set(7, &idLength);
  EXPECT_EQ(1u << 7, Flags());
  EXPECT_EQ(0x1234u, params_->FixedRecordIDLength);

  tvResetIndexCreationParams(params_);
  Set(10);
  Set(9);
  EXPECT_EQ((1u << 8) | (1u << 9), Flags());
}

TEST_F(CreationParamsTest, UnknownIdentifiersOnlyMarkTheRecord) {
  for (long id : {0L, 15L, -1L, 1000L}) {
    tvResetIndexCreationParams(params_);
    Set(id);
    EXPECT_EQ(0u, Flags());
    EXPECT_EQ(1u, params_->SetMarker);
  }
}

TEST_F(CreationParamsTest, ModeAndFileName) {
  uint32_t mode = IDF_MODE;
  Set(IndexParamIndexMode, &mode);
  EXPECT_EQ(3u, params_->IndexMode);
  Set(IndexParamFileName, const_cast<char*>("/tmp/some.idx"));
  EXPECT_STREQ("/tmp/some.idx", params_->IndexFileName);
  EXPECT_EQ(0u, params_->FileNameRefused);

  std::string longest(511, 'n');
  Set(IndexParamFileName, const_cast<char*>(longest.c_str()));
  EXPECT_EQ(longest, params_->IndexFileName);

  // A name that does not fit is refused, not cut: the record remembers it
  // and creation will fail instead of making a file under a wrong name.
  std::string tooLong(512, 'n');
  Set(IndexParamFileName, const_cast<char*>(tooLong.c_str()));
  EXPECT_STREQ("", params_->IndexFileName);
  EXPECT_EQ(1u, params_->FileNameRefused);
}

TEST(CreationParams, NullHandlesAreIgnored) {
  tvSetIndexCreationParams(nullptr, 1, nullptr);
  tvResetIndexCreationParams(nullptr);
  tvDeleteIndexCreationParams(nullptr);
}

TEST(IndexManagerHandle, CreateAndDelete) {
  StatusCodeT status = 55;
  IndexManagerT* manager = tvCreateIndexManager(&status);
  ASSERT_NE(nullptr, manager);
  EXPECT_EQ(StatusNoError, status);
  status = 55;
  tvDeleteIndexManager(manager, &status);
  EXPECT_EQ(StatusNoError, status);
}

TEST(IndexManagerHandle, ForeignHandlesAreRefused) {
  StatusCodeT status = 0;
  tvDeleteIndexManager(nullptr, &status);
  EXPECT_EQ(StatusNotIndexFile, status);

  alignas(16) unsigned char notAManager[256] = {};
  tvDeleteIndexManager(reinterpret_cast<IndexManagerT*>(notAManager), &status);
  EXPECT_EQ(StatusNotIndexFile, status);

  tvDeleteIndexManager(nullptr, nullptr);  // a null status is tolerated
}

TEST(TemporaryFileLocation, SetGetAndLimits) {
  char buffer[1024];
  tvSetLocationForTemporaryFiles("/var/tmp/");
  EXPECT_STREQ("/var/tmp/", tvGetLocationForTemporaryFiles(buffer));

  std::string longest(1023, 'd');
  tvSetLocationForTemporaryFiles(longest.c_str());
  EXPECT_EQ(longest, tvGetLocationForTemporaryFiles(buffer));

  // Too long to hold: refused, the previous location stays.
  tvSetLocationForTemporaryFiles("/var/tmp/");
  std::string tooLong(1024, 'd');
  tvSetLocationForTemporaryFiles(tooLong.c_str());
  EXPECT_STREQ("/var/tmp/", tvGetLocationForTemporaryFiles(buffer));

  tvSetLocationForTemporaryFiles(nullptr);
  EXPECT_STREQ("", tvGetLocationForTemporaryFiles(buffer));
  EXPECT_EQ(nullptr, tvGetLocationForTemporaryFiles(nullptr));
}

}  // namespace
