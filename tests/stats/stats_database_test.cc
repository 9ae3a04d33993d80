// The statistics file: its bytes, the coding of the counts, reading it back,
// and additions the tree refuses.

#include "stats/stats_database.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "storage/readtree.h"
#include "support/temp_dir.h"

namespace {

using EntryT = std::tuple<std::string, uint32_t, uint32_t>;

std::string Key(const std::string& word) {
  return std::string(1, static_cast<char>(word.size())) + word;
}
const unsigned char* Bytes(const std::string& text) {
  return reinterpret_cast<const unsigned char*>(text.data());
}

std::string Encoded(uint32_t first, uint32_t second) {
  unsigned char buffer[kStatsDataMaxBytes];
  uint32_t length = 0;
  EXPECT_EQ(StatsDatabaseT::EncodeWordInfo(buffer, &length, first, second), 1);
  return std::string(reinterpret_cast<char*>(buffer), length);
}

// Writes the entries; the status of the first failing step.
StatusCodeT Write(const std::string& path, const std::vector<EntryT>& entries) {
  StatsDatabaseT stats;
  StatusCodeT status = StatusNoError;
  stats.Create(path.c_str(), &status);
  if (status == StatusNoError) stats.StartAdditions(&status);
  for (const EntryT& e : entries) {
    if (status != StatusNoError) break;
    stats.AddKey(Bytes(Key(std::get<0>(e))), std::get<1>(e), std::get<2>(e),
                 &status);
  }
  if (status == StatusNoError) stats.EndAdditions(&status);
  return status;
}

std::vector<EntryT> Read(const std::string& path) {
  std::vector<EntryT> entries;
  StatsReaderT reader;
  EXPECT_EQ(reader.Open(path.c_str()), 1);
  unsigned char word[256];
  uint32_t first = 0;
  uint32_t second = 0;
  int result;
  while ((result = reader.Next(word, &first, &second)) == 1) {
    entries.emplace_back(std::string(reinterpret_cast<char*>(word + 1), word[0]),
                         first, second);
  }
  EXPECT_EQ(result, 0);
  return entries;
}

TEST(StatsDatabase, CountsAreTwoDeltaCodes) {
  EXPECT_EQ(Encoded(1, 1), "\xC0");
  EXPECT_EQ(Encoded(2, 1), "\x48");
  EXPECT_EQ(Encoded(5, 3), std::string("\x6A\x80", 2));
  EXPECT_EQ(Encoded(3, 2), "\x54");
  EXPECT_EQ(Encoded(0, 0), "\xC0");  // a count of 0 is stored as 1
  EXPECT_EQ(Encoded(UINT32_MAX, UINT32_MAX).size(), kStatsDataMaxBytes);
}

TEST(StatsDatabase, TheFileIsATreeOfWordsWithTheirCounts) {
  ScopedTempDirT dir;
  const std::string path = dir.File("stats");
  ASSERT_EQ(Write(path, {{"a", 3, 2}, {"b", 1, 1}}), StatusNoError);
  const std::string bytes = ReadWholeFile(path);
  EXPECT_EQ(bytes.substr(0, 4), "\x05\xC7\xA3\xE0");
  // One leaf page: the separator byte, then "a" with its data, then "b"
  // after the prefix length it shares with "a".
  const uint32_t data = 36;
  EXPECT_EQ(bytes.substr(data, 11),
            std::string("\x01" "\x01" "a\x01\x54" "\x01\x00" "b\x01\xC0" "\0", 11));
  EXPECT_EQ(Read(path), (std::vector<EntryT>{{"a", 3, 2}, {"b", 1, 1}}));

  // Many words over several pages, every count size.
  std::vector<EntryT> many;
  for (uint32_t i = 0; i < 5000; ++i) {
    char word[16];
    std::snprintf(word, sizeof word, "w%05u", i);
    many.emplace_back(word, i == 0 ? 1 : i * 859433u, 1 + i % 7);
  }
  std::get<1>(many.back()) = UINT32_MAX;
  ASSERT_EQ(Write(path, many), StatusNoError);
  EXPECT_EQ(Read(path), many);
}

TEST(StatsDatabase, RefusedAdditionsGiveStatuses) {
  ScopedTempDirT dir;
  const std::string path = dir.File("stats");
  EXPECT_EQ(Write(path, {{"b", 1, 1}, {"a", 1, 1}}), StatusWriteError);
  EXPECT_EQ(Write(path, {{"a", 1, 1}, {"a", 1, 1}}), StatusWriteError);
  EXPECT_EQ(Write(path, {{"", 1, 1}}), StatusWriteError);
  EXPECT_EQ(Write(path, {}), StatusGeneralError);
  EXPECT_EQ(Write(dir.File("missing/stats"), {{"a", 1, 1}}), StatusCannotOpenFile);

  StatsDatabaseT stats;
  StatusCodeT status = StatusNoError;
  stats.StartAdditions(&status);
  EXPECT_EQ(status, StatusGeneralError);
  status = StatusNoError;
  stats.EndAdditions(&status);
  EXPECT_EQ(status, StatusGeneralError);

  StatsReaderT reader;
  EXPECT_EQ(reader.Open(dir.File("none").c_str()), 0);
  WriteWholeFile(path, std::string(100, 'x'));
  EXPECT_EQ(reader.Open(path.c_str()), 0);
}

}  // namespace
