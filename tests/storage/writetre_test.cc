// Tests of the B-tree writer: the bytes it lays down (decoded here
// independently of the reader), its page filling, its refusals and its
// temporary files.

#include "storage/writetre.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "storage/fileclas.h"
#include "support/btree_test_util.h"
#include "support/temp_dir.h"

using namespace std::string_literals;

namespace {

constexpr uint32_t kPage = kBTreeDefaultPageSize;

uint32_t Be32(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) {
    value = value << 8 | static_cast<unsigned char>(bytes.at(at + i));
  }
  return value;
}

uint32_t Be16(const std::string& bytes, size_t at) {
  return static_cast<unsigned char>(bytes.at(at)) << 8 |
         static_cast<unsigned char>(bytes.at(at + 1));
}

uint32_t Byte(const std::string& bytes, size_t at) {
  return static_cast<unsigned char>(bytes.at(at));
}

size_t Shared(const std::string& a, const std::string& b) {
  size_t n = 0;
  while (n < a.size() && n < b.size() && a[n] == b[n]) ++n;
  return n;
}

uint32_t Separator(const std::string& previous, const std::string& key) {
  return static_cast<uint32_t>(std::min(Shared(previous, key) + 1, key.size()));
}

std::string PadToPage(std::string bytes) {
  bytes.resize(kPage, '\0');
  return bytes;
}

struct ParsedEntryT {
  std::string Key;
  std::string Data;
  uint32_t Child = 0;
};

struct ParsedPageT {
  uint32_t Separator = 0;
  std::vector<ParsedEntryT> Entries;
  size_t End = 0;  // offset behind the last entry
};

// Decodes a page as laid out on disk: leaf entries carry data, internal
// entries a child page number, least significant byte first.
ParsedPageT ParsePage(const std::string& page, bool leaf) {
  ParsedPageT parsed;
  parsed.Separator = Byte(page, 0);
  size_t at = 1;
  std::string previous;
  while (at < page.size() && page[at] != '\0') {
    const size_t length = Byte(page, at++);
    const size_t shared = parsed.Entries.empty() ? 0 : Byte(page, at++);
    ParsedEntryT entry;
    entry.Key = previous.substr(0, shared) + page.substr(at, length - shared);
    at += length - shared;
    if (leaf) {
      const size_t dataLength = Byte(page, at++);
      entry.Data = page.substr(at, dataLength);
      at += dataLength;
    } else {
      for (int i = 3; i >= 0; --i) entry.Child = entry.Child << 8 | Byte(page, at + i);
      at += 4;
    }
    previous = entry.Key;
    parsed.Entries.push_back(entry);
  }
  parsed.End = at;
  return parsed;
}

// Checks every byte of a tree file against the entries it was written from.
void VerifyTreeFile(const std::string& path,
                    const std::vector<TreeEntryT>& entries) {
  const std::string file = ReadWholeFile(path);
  ASSERT_GE(file.size(), kBTreeHeaderSize);
  EXPECT_EQ(kBTreeMagic, Be32(file, 0));
  EXPECT_EQ(kBTreeHeaderSize, Be32(file, 4) + Be32(file, 8));
  const uint32_t area = Be32(file, 16);
  const uint32_t root = Be32(file, 20);
  const uint32_t leaves = Be32(file, 24);
  const uint32_t levels = Be32(file, 32);
  ASSERT_EQ(kPage, Be32(file, 28));
  ASSERT_EQ(0u, area % kPage);
  const uint32_t pages = area / kPage;
  ASSERT_EQ(kBTreeHeaderSize + area + 2 * leaves, file.size());
  EXPECT_EQ(pages - 1, root);
  auto page = [&](uint32_t n) { return file.substr(36 + n * kPage, kPage); };

  // Leaves: every entry in order, dense pages, key counts behind the pages.
  std::vector<std::string> firstKeys(pages);
  size_t next = 0;
  std::string lastKey;
  for (uint32_t p = 0; p < leaves; ++p) {
    const std::string bytes = page(p);
    const ParsedPageT parsed = ParsePage(bytes, true);
    ASSERT_FALSE(parsed.Entries.empty());
    EXPECT_EQ(Separator(lastKey, parsed.Entries[0].Key), parsed.Separator);
    for (const ParsedEntryT& entry : parsed.Entries) {
      ASSERT_LT(next, entries.size());
      EXPECT_EQ(entries[next].Key, entry.Key);
      EXPECT_EQ(entries[next].Data, entry.Data);
      ++next;
    }
    EXPECT_EQ(parsed.Entries.size(), Be16(file, 36 + area + 2 * p));
    EXPECT_EQ(std::string::npos, bytes.find_first_not_of('\0', parsed.End));
    if (next < entries.size()) {  // the next entry did not fit
      const TreeEntryT& following = entries[next];
      const size_t entryLength = following.Key.size() -
                                 Shared(parsed.Entries.back().Key, following.Key) +
                                 following.Data.size() + 3;
      EXPECT_GT(entryLength, kPage - parsed.End);
    }
    firstKeys[p] = parsed.Entries[0].Key;
    lastKey = parsed.Entries.back().Key;
  }
  EXPECT_EQ(entries.size(), next);

  // Internal levels: each lists the level below in order with the complete
  // first key of every child; the last level is the root alone.
  uint32_t below = 0, belowCount = leaves, start = leaves, levelsSeen = 0;
  for (;;) {
    ++levelsSeen;
    uint32_t child = below;
    uint32_t p = start;
    std::string previousLast;
    size_t previousEnd = 0;
    while (child < below + belowCount) {
      ASSERT_LT(p, pages);
      const ParsedPageT parsed = ParsePage(page(p), false);
      ASSERT_FALSE(parsed.Entries.empty());
      const std::string& first = parsed.Entries[0].Key;
      if (p == start) {
        EXPECT_EQ(0u, parsed.Separator);
      } else if (previousEnd == kPage) {  // an exactly full page clears the key
        EXPECT_EQ(Separator("", first), parsed.Separator);
      } else {
        EXPECT_EQ(Separator(previousLast, first), parsed.Separator);
      }
      for (const ParsedEntryT& entry : parsed.Entries) {
        EXPECT_EQ(child, entry.Child);
        EXPECT_EQ(firstKeys.at(child), entry.Key);
        ++child;
      }
      firstKeys[p] = first;
      previousLast = parsed.Entries.back().Key;
      previousEnd = parsed.End;
      ++p;
    }
    below = start;
    belowCount = p - start;
    start = p;
    if (belowCount == 1) break;
  }
  EXPECT_EQ(levels, levelsSeen);
  EXPECT_EQ(pages, start);
}

class WriteBTreeTest : public ::testing::Test {
 protected:
  ScopedTempDirT dir_;
  std::string path_ = dir_.File("tree");
};

TEST_F(WriteBTreeTest, SmallTreesAreOneLeafUnderARoot) {
  struct CaseT {
    std::vector<TreeEntryT> Entries;
    std::string Leaf;
    std::string Root;
  };
  const CaseT cases[] = {
      {{{"k", ""}}, "\x01\x01k\x00"s, "\x00\x01k\x00\x00\x00\x00"s},
      // apply shares 4 bytes with apple: length 5, prefix 4, suffix y.
      {{{"apple", "D1"}, {"apply", "xyz"}},
       "\x01\x05" "apple\x02" "D1\x05\x04y\x03xyz"s,
       "\x00\x05" "apple\x00\x00\x00\x00"s},
  };
  for (const CaseT& c : cases) {
    WriteTreeFile(path_, c.Entries);
    const std::string file = ReadWholeFile(path_);
    const std::string header =
        "\x05\xC7\xA3\xE0" "\0\0\0\0\0\0\0\x24" "\0\0\0\0\0\0\x20\0"
        "\0\0\0\x01" "\0\0\0\x01" "\0\0\x10\0" "\0\0\0\x01"s;
    ASSERT_EQ(36u + 2 * kPage + 2, file.size());
    EXPECT_EQ(header, file.substr(0, 36));
    EXPECT_EQ(PadToPage(c.Leaf), file.substr(36, kPage));
    EXPECT_EQ(PadToPage(c.Root), file.substr(36 + kPage, kPage));
    const std::string count = "\0"s + static_cast<char>(c.Entries.size());
    EXPECT_EQ(count, file.substr(36 + 2 * kPage));
  }
}

TEST_F(WriteBTreeTest, HeaderIsWrittenBlankThenRewrittenInPlace) {
  FileClassT file(path_.c_str());
  ASSERT_EQ(1, file.Open(kFileCreate));
  ASSERT_EQ(1, file.Write("LEAD", 4));
  WriteBTreeT writer;
  writer.StartSession();
  ASSERT_EQ(1, writer.StartInsertions(kPage));
  ASSERT_EQ(1, writer.TreeInsert(Bytes(Prefixed("key")), nullptr, 0));
  ASSERT_EQ(1, writer.WriteBlankHeader(&file));
  EXPECT_EQ(40u, file.GetPosition());
  ASSERT_EQ(1, file.Flush());
  EXPECT_EQ("LEAD" + std::string(36, '\0'), ReadWholeFile(path_));

  ASSERT_EQ(1, file.Write("MID", 3));
  ASSERT_EQ(1, writer.EndInsertions());
  writer.EndSession();
  ASSERT_EQ(1, writer.CopyDataToDataFile());
  const uint32_t end = file.GetPosition();
  EXPECT_EQ(43u + 2 * kPage + 2, end);
  ASSERT_EQ(1, writer.WriteFullHeader());
  // The caller goes on writing its own header behind the tree's.
  EXPECT_EQ(40u, file.GetPosition());
  ASSERT_EQ(1, file.Close());
  const std::string bytes = ReadWholeFile(path_);
  EXPECT_EQ(end, bytes.size());
  EXPECT_EQ("\x05\xC7\xA3\xE0"s, bytes.substr(4, 4));
  EXPECT_EQ(39u, Be32(bytes, 12));  // the tree data follows "MID"
}

TEST_F(WriteBTreeTest, PageTakesEntriesUntilOneNoLongerFits) {
  // Entries of 203 bytes (100-byte keys with distinct first bytes, 100 bytes
  // of data): 19 of them and one of 239 bytes fill a page exactly.
  WriteBTreeT writer;
  writer.StartSession();
  ASSERT_EQ(1, writer.StartInsertions(kPage));
  auto key = [](int i) { return Prefixed(std::string(1, char(i)) + std::string(99, 'x')); };
  const std::string data(136, 'd');
  for (int i = 1; i <= 19; ++i) {
    ASSERT_EQ(1, writer.TreeInsert(Bytes(key(i)), Bytes(data), 100));
  }
  ASSERT_EQ(1, writer.TreeInsert(Bytes(key(20)), Bytes(data), 136));
  ASSERT_EQ(3, writer.TreeInsert(Bytes(key(21)), nullptr, 0));
  ASSERT_EQ(1, writer.NextPage());
  ASSERT_EQ(1, writer.TreeInsert(Bytes(key(21)), nullptr, 0));
  ASSERT_EQ(1, writer.EndInsertions());

  FileClassT file(path_.c_str());
  ASSERT_EQ(1, file.Open(kFileCreate));
  ASSERT_EQ(1, writer.WriteBlankHeader(&file));
  ASSERT_EQ(1, writer.CopyDataToDataFile());
  ASSERT_EQ(1, writer.WriteFullHeader());
  ASSERT_EQ(1, file.Close());
  const std::string bytes = ReadWholeFile(path_);
  EXPECT_EQ(2u, Be32(bytes, 24));                             // leaves
  EXPECT_EQ('d', bytes.at(36 + kPage - 1));                   // full to the end
  EXPECT_EQ("\0\x14\0\x01"s, bytes.substr(36 + 3 * kPage));   // 20 keys, 1 key
}

TEST_F(WriteBTreeTest, LargeTreesAreLaidOutLevelByLevel) {
  std::mt19937 rng(7);
  struct CaseT {
    size_t Count, MaxKey, MaxData;
  };
  // Long keys give internal pages of few entries and three internal levels;
  // many short keys wide internal pages.
  for (const CaseT& c : {CaseT{8000, 255, 255}, CaseT{40000, 6, 0}}) {
    const std::vector<TreeEntryT> entries =
        RandomEntries(rng, c.Count, c.MaxKey, c.MaxData);
    WriteTreeFile(path_, entries);
    VerifyTreeFile(path_, entries);
  }
}

TEST_F(WriteBTreeTest, RefusesWhatCannotBeATree) {
  WriteBTreeT writer;
  EXPECT_EQ(0, writer.TreeInsert(Bytes(Prefixed("a")), nullptr, 0));
  for (uint32_t size : {0u, 512u, 4095u, 131072u}) {
    EXPECT_EQ(0, writer.StartInsertions(size)) << size;
  }
  for (uint32_t size : {1024u, 65536u, kPage}) {
    EXPECT_EQ(1, writer.StartInsertions(size)) << size;
  }
  EXPECT_EQ(0, writer.EndInsertions());  // no key

  ASSERT_EQ(1, writer.StartInsertions(kPage));
  ASSERT_EQ(1, writer.TreeInsert(Bytes(Prefixed("abc")), nullptr, 0));
  const std::string data(256, 'd');
  const struct {
    std::string Key;
    uint32_t DataLength;
  } refused[] = {{"", 0}, {"abc", 0}, {"ab", 0}, {"abb", 0}, {"aa\xff", 0},
                 {"abd", 256}};
  for (const auto& r : refused) {
    EXPECT_EQ(0, writer.TreeInsert(Bytes(Prefixed(r.Key)), Bytes(data),
                                   r.DataLength))
        << r.Key;
  }
  // A refusal changes nothing.
  ASSERT_EQ(1, writer.TreeInsert(Bytes(Prefixed("abc\0"s)), Bytes(data), 255));
  EXPECT_EQ(0, writer.WriteFullHeader());
  EXPECT_EQ(0, writer.CopyDataToDataFile());  // no destination yet
  ASSERT_EQ(1, writer.EndInsertions());
  EXPECT_EQ(0, writer.TreeInsert(Bytes(Prefixed("abd")), nullptr, 0));
  EXPECT_EQ(0, writer.EndInsertions());
  EXPECT_EQ(0, writer.WriteFullHeader());
}

TEST_F(WriteBTreeTest, FileFailuresFailTheStepCleanly) {
  const std::string key = Prefixed("key");
  WriteBTreeT writer;
  // No place for temporary files: nothing starts and nothing is left.
  ASSERT_EQ(1, SetTemporaryFileLocation((dir_.Path() + "/missing/").c_str()));
  EXPECT_EQ(0, writer.StartInsertions(kPage));
  EXPECT_EQ(0, writer.TreeInsert(Bytes(key), nullptr, 0));
  EXPECT_EQ(0, writer.EndInsertions());
  ASSERT_EQ(1, SetTemporaryFileLocation((dir_.Path() + "/").c_str()));

  // A destination that cannot be written: the header and the copy fail,
  // and the temporary files go all the same.
  WriteWholeFile(path_, "");
  FileClassT readOnly(path_.c_str());
  ASSERT_EQ(1, readOnly.Open(kFileReadOnly));
  EXPECT_EQ(0, writer.WriteBlankHeader(&readOnly));
  ASSERT_EQ(1, writer.StartInsertions(kPage));
  ASSERT_EQ(1, writer.TreeInsert(Bytes(key), nullptr, 0));
  ASSERT_EQ(1, writer.EndInsertions());
  EXPECT_EQ(0, writer.CopyDataToDataFile());
  EXPECT_EQ(0, writer.WriteFullHeader());
  EXPECT_EQ(std::vector<std::string>{"tree"}, dir_.Files());
}

TEST_F(WriteBTreeTest, TemporaryFilesGoWithTheCopyOrTheWriter) {
  const std::vector<TreeEntryT> entries = {{"a", "1"}, {"b", "2"}};
  auto insertAll = [&](WriteBTreeT& writer) {
    writer.StartSession();
    ASSERT_EQ(1, writer.StartInsertions(kPage));
    for (const TreeEntryT& e : entries) {
      ASSERT_EQ(1, writer.TreeInsert(Bytes(Prefixed(e.Key)), Bytes(e.Data), 1));
    }
  };
  {
    WriteBTreeT writer;
    insertAll(writer);
    EXPECT_EQ(3u, dir_.Files().size());
    writer.StartSession();  // drops the unfinished tree
    EXPECT_TRUE(dir_.Files().empty());
    insertAll(writer);
    ASSERT_EQ(1, writer.EndInsertions());
  }
  EXPECT_TRUE(dir_.Files().empty());

  WriteTreeFile(path_, entries);
  EXPECT_EQ(std::vector<std::string>{"tree"}, dir_.Files());
}

}  // namespace
