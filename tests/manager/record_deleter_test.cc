#include "manager/record_deleter.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "storage/fileclas.h"
#include "support/temp_dir.h"

namespace {

std::vector<unsigned long> Output(const TarvisRecordDeleterT& set) {
  std::vector<unsigned long> out(set.GetNumberOfRecordsDeleted());
  set.OutputDeletedRecords(out.data());
  return out;
}

std::string BigEndian(std::vector<uint32_t> values) {
  std::string bytes;
  for (uint32_t v : values) {
    for (int shift = 24; shift >= 0; shift -= 8) {
      bytes.push_back(static_cast<char>((v >> shift) & 0xFF));
    }
  }
  return bytes;
}

std::string WriteList(const ScopedTempDirT& dir, TarvisRecordDeleterT& set) {
  std::string path = dir.File("list");
  FileClassT file(path.c_str());
  EXPECT_TRUE(file.Open(kFileCreate));
  StatusCodeT status = 0;
  set.WriteOutDeletedRecordNums(&file, &status);
  EXPECT_EQ(status, 0);
  file.Close();
  return ReadWholeFile(path);
}

StatusCodeT ReadList(const ScopedTempDirT& dir, const std::string& bytes,
                     TarvisRecordDeleterT* set) {
  std::string path = dir.File("in");
  WriteWholeFile(path, bytes);
  FileClassT file(path.c_str());
  EXPECT_TRUE(file.Open(kFileReadOnly));
  StatusCodeT status = 0;
  set->ReadInDeletedRecordNums(&file, &status);
  return status;
}

TEST(RecordDeleterTest, DeletesOnceAndWritesTheSortedList) {
  ScopedTempDirT dir;
  TarvisRecordDeleterT set;
  set.BringRecordsOnLine(10);
  StatusCodeT status = 0;
  for (unsigned long r : {5ul, 3ul, 5ul}) {
    set.DeleteRecordNum(r, &status);
    EXPECT_EQ(status, 0);
  }
  EXPECT_EQ(set.GetNumberOfRecordsDeleted(), 2u);
  EXPECT_EQ(Output(set), (std::vector<unsigned long>{3, 5}));
  EXPECT_TRUE(set.IsChanged());
  EXPECT_EQ(WriteList(dir, set), BigEndian({0xAB12CD34u, 1, 2, 3, 5}));
}

TEST(RecordDeleterTest, RefusesRecordZeroAndRecordsNotOnLine) {
  TarvisRecordDeleterT set;
  StatusCodeT status = 0;
  set.DeleteRecordNum(1, &status);  // nothing on line yet
  EXPECT_EQ(status, StatusMalformedParameter);
  set.BringRecordsOnLine(7);
  set.BringRecordsOnLine(3);
  for (unsigned long bad : {0ul, 11ul, 0x100000001ul}) {
    status = 0;
    set.DeleteRecordNum(bad, &status);
    EXPECT_EQ(status, StatusMalformedParameter) << bad;
    status = 0;
    set.UnDeleteRecordNum(bad, &status);
    EXPECT_EQ(status, StatusMalformedParameter) << bad;
  }
  EXPECT_EQ(set.GetNumberOfRecordsDeleted(), 0u);
  EXPECT_FALSE(set.IsChanged());

  // The last record of the index can be deleted.
  status = 0;
  set.DeleteRecordNum(10, &status);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(set.IsRecordDeleted(10));
  EXPECT_FALSE(set.IsRecordDeleted(11));
  EXPECT_FALSE(set.IsRecordDeleted(0xFFFFFFFFu));

  // A list goes on past a refused number.
  unsigned long list[] = {2, 0, 12, 4};
  status = 0;
  set.DeleteRecordNums(list, 4, &status);
  EXPECT_EQ(status, StatusMalformedParameter);
  EXPECT_EQ(Output(set), (std::vector<unsigned long>{2, 4, 10}));
}

TEST(RecordDeleterTest, UndeletingEverythingLeavesAnEmptyList) {
  ScopedTempDirT dir;
  TarvisRecordDeleterT set;
  set.BringRecordsOnLine(100);
  StatusCodeT status = 0;
  unsigned long list[] = {5, 3, 90};
  set.DeleteRecordNums(list, 3, &status);
  set.UnDeleteRecordNum(4, &status);  // not deleted: nothing changes
  EXPECT_EQ(status, 0);
  EXPECT_EQ(set.GetNumberOfRecordsDeleted(), 3u);
  set.UnDeleteRecordNums(list, 3, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(set.GetNumberOfRecordsDeleted(), 0u);
  EXPECT_EQ(set.HighestDeleted(), 90u);
  EXPECT_FALSE(set.IsRecordDeleted(5));
  EXPECT_EQ(WriteList(dir, set), BigEndian({0xAB12CD34u, 1, 0}));
}

TEST(RecordDeleterTest, GrowsAsRecordsComeOnLine) {
  TarvisRecordDeleterT set;
  StatusCodeT status = 0;
  set.BringRecordsOnLine(5);
  set.DeleteRecordNum(5, &status);
  EXPECT_EQ(set.Capacity(), 5u);
  set.BringRecordsOnLine(5000);
  set.DeleteRecordNum(5005, &status);
  set.DeleteRecordNum(1, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(set.Capacity(), 5005u);
  EXPECT_EQ(Output(set), (std::vector<unsigned long>{1, 5, 5005}));
}

TEST(RecordDeleterTest, CountsDeletedRecordsInARange) {
  TarvisRecordDeleterT set;
  set.BringRecordsOnLine(30);
  StatusCodeT status = 0;
  unsigned long list[] = {10, 11, 20, 21};
  set.DeleteRecordNums(list, 4, &status);
  struct Case {
    uint32_t first, end, expected;
  } cases[] = {{11, 21, 2}, {10, 22, 4}, {21, 11, 0}, {11, 11, 0},
               {0, 1000, 4}, {22, 1000, 0}, {0, 0xFFFFFFFFu, 4}};
  for (const Case& c : cases) {
    uint32_t count = 99;
    set.GetDeletedRecordCount(&count, c.first, c.end);
    EXPECT_EQ(count, c.expected) << c.first << ".." << c.end;
  }

  // Against a plain count over a random set (byte and bit paths alike).
  std::mt19937 random(7);
  TarvisRecordDeleterT large;
  large.BringRecordsOnLine(3000);
  std::set<uint32_t> model;
  for (int i = 0; i < 600; ++i) {
    uint32_t r = 1 + random() % 3000;
    large.DeleteRecordNum(r, &status);
    model.insert(r);
  }
  for (int i = 0; i < 200; ++i) {
    uint32_t first = random() % 3100;
    uint32_t end = random() % 3100;
    uint32_t expected = 0;
    for (uint32_t r : model) expected += r >= first && r < end;
    uint32_t count = 0;
    large.GetDeletedRecordCount(&count, first, end);
    ASSERT_EQ(count, expected) << first << ".." << end;
  }
}

TEST(RecordDeleterTest, CompactionMovesLaterRecordsDown) {
  // Against a model: deleted records in [first, last] vanish, records above
  // last move down by the number that vanished.
  std::mt19937 random(11);
  for (int round = 0; round < 50; ++round) {
    TarvisRecordDeleterT set;
    uint32_t records = 1 + random() % 200;
    set.BringRecordsOnLine(records);
    std::set<uint32_t> model;
    StatusCodeT status = 0;
    for (uint32_t i = 0; i < records / 3; ++i) {
      uint32_t r = 1 + random() % records;
      set.DeleteRecordNum(r, &status);
      model.insert(r);
    }
    uint32_t first = 1 + random() % (records + 5);
    uint32_t last = first + random() % 60;
    uint32_t capacity = set.Capacity();
    set.CompactDeletedRecordNumbers(first, last);
    std::vector<unsigned long> expected;
    uint32_t removed = 0;
    for (uint32_t r : model) removed += r >= first && r <= last;
    for (uint32_t r : model) {
      if (r < first) expected.push_back(r);
      if (r > last) expected.push_back(r - removed);
    }
    if (first >= capacity) expected.assign(model.begin(), model.end());
    ASSERT_EQ(Output(set), expected) << "round " << round;
    ASSERT_EQ(set.GetNumberOfRecordsDeleted(), expected.size());
    EXPECT_TRUE(set.IsChanged());
  }

  // The worked case: 3 and 5 go, 4 becomes 3, 12 becomes 10.
  TarvisRecordDeleterT set;
  set.BringRecordsOnLine(20);
  StatusCodeT status = 0;
  unsigned long list[] = {3, 5, 12, 15};
  set.DeleteRecordNums(list, 4, &status);
  set.CompactDeletedRecordNumbers(3, 5);
  EXPECT_EQ(Output(set), (std::vector<unsigned long>{10, 13}));
}

TEST(RecordDeleterTest, ReadsBackWhatItWrote) {
  ScopedTempDirT dir;
  TarvisRecordDeleterT set;
  set.BringRecordsOnLine(200000);
  StatusCodeT status = 0;
  std::vector<unsigned long> numbers;
  for (unsigned long r = 7; r <= 200000; r += 97) numbers.push_back(r);
  set.DeleteRecordNums(numbers.data(), numbers.size(), &status);
  std::string bytes = WriteList(dir, set);
  ASSERT_EQ(bytes.size(), 12 + 4 * numbers.size());

  // The reader starts with nothing on line: the numbers make room.
  TarvisRecordDeleterT back;
  EXPECT_EQ(ReadList(dir, bytes, &back), 0);
  EXPECT_EQ(Output(back), numbers);
  EXPECT_TRUE(back.IsChanged());
  EXPECT_GE(back.RecordsOnLine(), 200000u);

  // A number far above the records on line, and a repeated number.
  TarvisRecordDeleterT far;
  far.BringRecordsOnLine(3);
  EXPECT_EQ(ReadList(dir, BigEndian({0xAB12CD34u, 1, 3, 2, 2, 1000000}), &far),
            0);
  EXPECT_EQ(Output(far), (std::vector<unsigned long>{2, 1000000}));
  EXPECT_GE(far.RecordsOnLine(), 1000000u);
}

TEST(RecordDeleterTest, DamagedListsFail) {
  ScopedTempDirT dir;
  struct Case {
    const char* name;
    std::string bytes;
    StatusCodeT expected;
  } cases[] = {
      {"wrong magic", BigEndian({0xAB12CD35u, 1, 1, 4}), StatusNotIndexFile},
      {"empty", "", StatusReadError},
      {"no count", BigEndian({0xAB12CD34u, 1}), StatusReadError},
      {"truncated", BigEndian({0xAB12CD34u, 1, 3, 4, 5}), StatusReadError},
      {"absurd count", BigEndian({0xAB12CD34u, 1, 0xFFFFFFFFu, 4}),
       StatusReadError},
  };
  for (const Case& c : cases) {
    TarvisRecordDeleterT set;
    set.BringRecordsOnLine(10);
    EXPECT_EQ(ReadList(dir, c.bytes, &set), c.expected) << c.name;
    EXPECT_EQ(set.Capacity() <= 4096, true) << c.name;
  }
}

TEST(RecordDeleterTest, WriteFailureIsReported) {
  ScopedTempDirT dir;
  std::string path = dir.File("ro");
  WriteWholeFile(path, "x");
  TarvisRecordDeleterT set;
  FileClassT file(path.c_str());
  ASSERT_TRUE(file.Open(kFileReadOnly));
  StatusCodeT status = 0;
  set.WriteOutDeletedRecordNums(&file, &status);
  EXPECT_EQ(status, StatusWriteError);
}

}  // namespace
