// Tests of the B-tree reader: search, walks and key numbers compared with a
// sorted model of the keys, trees inside other data, and damaged trees.

#include "storage/readtree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "storage/fileclas.h"
#include "support/btree_test_util.h"
#include "support/temp_dir.h"

using namespace std::string_literals;

namespace {

constexpr uint32_t kPage = kBTreeDefaultPageSize;

struct PositionT {
  uint32_t Page, Index;
};

class ReadBTreeTest : public ::testing::Test {
 protected:
  ScopedTempDirT dir_;
  std::string path_ = dir_.File("tree");
};

// How much of the model check runs: large trees take samples.
struct ModelCheckT {
  size_t Finds = SIZE_MAX;          // keys searched (and as many absent keys)
  size_t BackwardSteps = SIZE_MAX;  // PreviousKey steps from the last key
  uint32_t NthStep = 1;             // GetNthKey for 1, 1 + step, ...
};

// The cursor holds entry i of the model.
void ExpectAt(const std::vector<TreeEntryT>& entries, size_t i,
              const ReadBTreeCursorT& cursor) {
  ASSERT_LT(i, entries.size());
  ASSERT_EQ(entries[i].Key, CursorKey(cursor)) << "entry " << i;
  ASSERT_EQ(entries[i].Data, CursorData(cursor)) << "entry " << i;
}

// A key near an existing one that may or may not be in the tree.
std::string NearbyKey(std::mt19937& rng, const std::string& key) {
  std::string probe = key;
  switch (rng() % 4) {
    case 0:
      if (probe.size() < 255) probe.push_back(static_cast<char>(rng()));
      break;
    case 1:
      probe.pop_back();
      break;
    case 2:
      probe.back() = static_cast<char>(probe.back() + (rng() % 2 ? 1 : -1));
      break;
    default:
      probe = std::string(1 + rng() % 3, static_cast<char>(rng()));
  }
  return probe;
}

void CheckAgainstModel(ReadBTreeT& tree, const std::vector<TreeEntryT>& entries,
                       std::mt19937& rng, const ModelCheckT& check) {
  const size_t n = entries.size();
  ReadBTreeCursorT cursor;

  // Forward from the first key over every key, noting where each one lies.
  std::vector<PositionT> positions;
  ASSERT_EQ(kBTreeNotFound, tree.FindKey(&cursor, Bytes(Prefixed(""))));
  ExpectAt(entries, 0, cursor);
  positions.push_back({cursor.LeafPage, cursor.KeyIndex});
  for (size_t i = 1; i < n; ++i) {
    ASSERT_EQ(1, tree.NextKey(&cursor)) << "entry " << i;
    ExpectAt(entries, i, cursor);
    positions.push_back({cursor.LeafPage, cursor.KeyIndex});
  }
  ASSERT_EQ(kBTreeAtLastKey, tree.NextKey(&cursor));
  ExpectAt(entries, n - 1, cursor);

  // Backward from the last key.
  const size_t steps = std::min(check.BackwardSteps, n - 1);
  for (size_t i = 1; i <= steps; ++i) {
    ASSERT_EQ(1, tree.PreviousKey(&cursor)) << "entry " << n - 1 - i;
    ExpectAt(entries, n - 1 - i, cursor);
  }
  if (steps == n - 1) {
    ASSERT_EQ(kBTreeAtFirstKey, tree.PreviousKey(&cursor));
    ExpectAt(entries, 0, cursor);
  }

  // Every key (or a sample) is found where the walk met it, including the
  // first key of each leaf, which its parent holds too.
  auto pick = [&](size_t k) {
    return check.Finds >= n ? k : static_cast<size_t>(rng() % n);
  };
  for (size_t k = 0; k < std::min(check.Finds, n); ++k) {
    const size_t i = pick(k);
    ASSERT_EQ(kBTreeFound, tree.FindKey(&cursor, Bytes(Prefixed(entries[i].Key))));
    ExpectAt(entries, i, cursor);
    ASSERT_EQ(positions[i].Page, cursor.LeafPage);
    ASSERT_EQ(positions[i].Index, cursor.KeyIndex);
  }
  // Absent keys land on the next greater key, or on the last key.
  for (size_t k = 0; k < std::min(check.Finds, n); ++k) {
    const std::string probe = NearbyKey(rng, entries[rng() % n].Key);
    const auto it = std::lower_bound(
        entries.begin(), entries.end(), probe,
        [](const TreeEntryT& e, const std::string& key) { return e.Key < key; });
    const bool present = it != entries.end() && it->Key == probe;
    ASSERT_EQ(present ? kBTreeFound : kBTreeNotFound,
              tree.FindKey(&cursor, Bytes(Prefixed(probe))));
    ExpectAt(entries, it == entries.end() ? n - 1 : it - entries.begin(), cursor);
  }

  // From random points, random steps either way.
  for (int start = 0; start < 20; ++start) {
    size_t i = rng() % n;
    ASSERT_EQ(kBTreeFound, tree.FindKey(&cursor, Bytes(Prefixed(entries[i].Key))));
    for (int step = 0; step < 40; ++step) {
      if (rng() % 2) {
        const int result = tree.NextKey(&cursor);
        ASSERT_EQ(i + 1 < n ? 1 : kBTreeAtLastKey, result);
        if (result == 1) ++i;
      } else {
        const int result = tree.PreviousKey(&cursor);
        ASSERT_EQ(i > 0 ? 1 : kBTreeAtFirstKey, result);
        if (result == 1) --i;
      }
      ExpectAt(entries, i, cursor);
    }
  }

  // Key numbers, rising and at random, and past either end.
  for (uint64_t k = 1; k <= n; k += check.NthStep) {
    ASSERT_EQ(1, tree.GetNthKey(&cursor, static_cast<uint32_t>(k)));
    ExpectAt(entries, k - 1, cursor);
  }
  ASSERT_EQ(1, tree.GetNthKey(&cursor, static_cast<uint32_t>(n)));
  ExpectAt(entries, n - 1, cursor);
  for (int k = 0; k < 200; ++k) {
    const size_t i = rng() % n;
    ASSERT_EQ(1, tree.GetNthKey(&cursor, static_cast<uint32_t>(i + 1)));
    ExpectAt(entries, i, cursor);
  }
  EXPECT_EQ(0, tree.GetNthKey(&cursor, static_cast<uint32_t>(n + 1)));
  EXPECT_EQ(0, tree.GetNthKey(&cursor, 0));
  ASSERT_EQ(1, tree.GetNthKey(&cursor, 1));
  ExpectAt(entries, 0, cursor);
}

TEST_F(ReadBTreeTest, AgreesWithTheSortedKeys) {
  struct CaseT {
    size_t Count, MaxKey, MaxData;
    uint32_t PageSize;
    uint32_t MinLevels;  // internal levels, above the leaves
    ModelCheckT Check;
  };
  const CaseT cases[] = {
      {1, 20, 20, kPage, 1, {}},
      {2, 255, 255, kPage, 1, {}},
      {500, 255, 255, kPage, 1, {}},
      {8000, 255, 255, kPage, 3, {}},
      {2500, 255, 255, 1024, 5, {}},
      {200000, 10, 6, kPage, 2, {3000, 3000, 1009}},
      {1500, 255, 255, 65536, 1, {}},
  };
  std::mt19937 rng(2024);
  for (const CaseT& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Count << " keys, pages of " << c.PageSize);
    const std::vector<TreeEntryT> entries =
        RandomEntries(rng, c.Count, c.MaxKey, c.MaxData);
    TreeLayoutT layout;
    layout.PageSize = c.PageSize;
    const uint32_t header = WriteTreeFile(path_, entries, layout);
    OpenTreeT open(path_, header);
    ASSERT_TRUE(open.Ready());
    EXPECT_GE(open.Tree->LevelCount(), c.MinLevels);
    CheckAgainstModel(*open.Tree, entries, rng, c.Check);
  }
}

TEST_F(ReadBTreeTest, ReadsATreeAmongOtherData) {
  std::mt19937 rng(5);
  const std::vector<TreeEntryT> entries = RandomEntries(rng, 3000, 30, 30);
  TreeLayoutT layout;
  layout.Leading = std::string(5000, '\x96');
  layout.Middle = "the rest of a partition header";
  layout.Trailing = std::string(777, '\xff');
  const uint32_t header = WriteTreeFile(path_, entries, layout);
  ASSERT_EQ(5000u, header);
  OpenTreeT open(path_, header, /*throughView=*/true);
  ASSERT_TRUE(open.Ready());
  CheckAgainstModel(*open.Tree, entries, rng, ModelCheckT());
}

TEST_F(ReadBTreeTest, KeysAsBytesWithLength) {
  const std::vector<TreeEntryT> entries = {{"ant", ""}, {"bee", ""}, {"cat", ""}};
  OpenTreeT open(path_, WriteTreeFile(path_, entries));
  ASSERT_TRUE(open.Ready());
  ReadBTreeT& tree = *open.Tree;
  ReadBTreeCursorT cursor;
  unsigned char key[255];
  uint32_t length = 99;
  EXPECT_EQ(0, tree.CurrentKey(&cursor, key, length));  // not positioned
  EXPECT_EQ(0, tree.NextKey(&cursor, key, length));
  EXPECT_EQ(0, tree.PreviousKey(&cursor, key, length));
  EXPECT_EQ(99u, length);

  EXPECT_EQ(kBTreeNotFound, tree.FindKey(&cursor, Bytes("b"), 1));
  ASSERT_EQ(1, tree.CurrentKey(&cursor, key, length));
  EXPECT_EQ("bee", std::string(reinterpret_cast<char*>(key), length));
  ASSERT_EQ(1, tree.NextKey(&cursor, key, length));
  EXPECT_EQ("cat", std::string(reinterpret_cast<char*>(key), length));
  EXPECT_EQ(kBTreeAtLastKey, tree.NextKey(&cursor, key, length));
  EXPECT_EQ(kBTreeFound, tree.FindKey(&cursor, Bytes("ant"), 3));
  EXPECT_EQ(kBTreeAtFirstKey, tree.PreviousKey(&cursor, key, length));
  EXPECT_EQ(kBTreeNotFound, tree.FindKey(&cursor, nullptr, 0));
  EXPECT_EQ(0, tree.FindKey(&cursor, Bytes(std::string(256, 'a')), 256));
}

TEST_F(ReadBTreeTest, CachedPagesServeRepeatedSearchesAndWalks) {
  // Once a search has read its pages, the file is emptied under the reader:
  // the same search and a walk along the cached leaf still work, while a
  // search that needs other pages fails cleanly.
  std::mt19937 rng(11);
  const std::vector<TreeEntryT> entries = RandomEntries(rng, 3000, 255, 100);
  OpenTreeT open(path_, WriteTreeFile(path_, entries));
  ASSERT_TRUE(open.Ready());
  ReadBTreeT& tree = *open.Tree;
  ASSERT_GE(tree.LevelCount(), 2u);
  ReadBTreeCursorT cursor;
  const std::string key = Prefixed(entries[entries.size() / 2].Key);
  ASSERT_EQ(kBTreeFound, tree.FindKey(&cursor, Bytes(key)));
  WriteWholeFile(path_, "");

  ASSERT_EQ(kBTreeFound, tree.FindKey(&cursor, Bytes(key)));
  const uint32_t page = cursor.LeafPage;
  while (!cursor.AtLastKey) ASSERT_EQ(1, tree.NextKey(&cursor));
  while (cursor.KeyIndex > 0) ASSERT_EQ(1, tree.PreviousKey(&cursor));
  EXPECT_EQ(page, cursor.LeafPage);
  EXPECT_EQ(0, tree.FindKey(&cursor, Bytes(Prefixed(entries[0].Key))));
  EXPECT_EQ(page, cursor.LeafPage);  // a failed search leaves the cursor
}

// --- Damaged trees -------------------------------------------------------

void PutBe32(std::string& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.at(at + i) = static_cast<char>(value >> (24 - 8 * i));
}

// Opening, searching, walking both ways and numbering keys in a possibly
// damaged tree: each operation either fails or gives a result it may give,
// and walks end within the number of entries the pages can hold.
void ExerciseTree(const std::string& path, uint32_t header,
                  const std::vector<TreeEntryT>& entries, std::mt19937& rng) {
  OpenTreeT open(path, header);
  if (!open.Ready()) return;
  ReadBTreeT& tree = *open.Tree;
  const size_t bound = size_t{tree.LeafPageCount()} * kBTreeMaxPageSize / 4 + 2;
  ReadBTreeCursorT cursor;
  for (int k = 0; k < 20; ++k) {
    const std::string key = Prefixed(NearbyKey(rng, entries[rng() % entries.size()].Key));
    const int found = tree.FindKey(&cursor, Bytes(key));
    ASSERT_TRUE(found == 0 || found == kBTreeFound || found == kBTreeNotFound);
  }
  if (tree.GetNthKey(&cursor, 1) == 1) {
    size_t steps = 0;
    int result;
    while ((result = tree.NextKey(&cursor)) == 1) ASSERT_LT(++steps, bound);
    ASSERT_TRUE(result == 0 || result == kBTreeAtLastKey);
    steps = 0;
    while ((result = tree.PreviousKey(&cursor)) == 1) ASSERT_LT(++steps, bound);
    ASSERT_TRUE(result == 0 || result == kBTreeAtFirstKey);
  }
  for (int k = 0; k < 10; ++k) {
    const int result = tree.GetNthKey(&cursor, 1 + rng() % (entries.size() + 10));
    ASSERT_TRUE(result == 0 || result == 1);
  }
}

TEST_F(ReadBTreeTest, RefusesHeadersThatDoNotDescribeATreeInTheFile) {
  std::mt19937 rng(3);
  // Long keys in pages of 1024 bytes: two levels or more.
  const std::vector<TreeEntryT> entries = RandomEntries(rng, 150, 255, 0);
  TreeLayoutT layout;
  layout.PageSize = 1024;
  layout.Leading = "xyz";
  WriteTreeFile(path_, entries, layout);
  const std::string good = ReadWholeFile(path_);
  uint32_t leaves = 0;
  {
    OpenTreeT check(path_, 3);
    ASSERT_TRUE(check.Ready());
    leaves = check.Tree->LeafPageCount();
    ASSERT_GE(check.Tree->LevelCount(), 2u);
  }
  const uint32_t area = static_cast<uint32_t>(good.size()) - 3 - 36 - 2 * leaves;
  const uint32_t pages = area / 1024;

  struct CaseT {
    const char* What;
    size_t At;  // field offset in the header
    uint32_t Value;
  };
  const CaseT cases[] = {
      {"magic", 0, 0x05C7A3E1},
      {"data inside the header", 8, 35},
      {"data past the end", 8, 37},
      {"data offset wraps", 8, 0xFFFFFFF0},
      {"page area not whole pages", 16, area - 1},
      {"page area past the end", 16, area + 1024},
      {"root not the last page", 20, pages - 2},
      {"no leaves", 24, 0},
      {"only leaves", 24, pages},
      {"leaves beyond the key counts", 24, leaves + 1},
      {"page size 0", 28, 0},
      {"page size not a power of two", 28, 1000},
      {"page size too small", 28, 512},
      {"page size too large", 28, 131072},
      {"page size other than written", 28, 2048},
      {"no levels", 32, 0},
      {"more levels than internal pages", 32, pages - leaves + 1},
      {"levels that would loop", 32, 0xFFFFFFFF},
  };
  for (const CaseT& c : cases) {
    std::string bad = good;
    PutBe32(bad, 3 + c.At, c.Value);
    WriteWholeFile(path_, bad);
    OpenTreeT open(path_, 3);
    EXPECT_FALSE(open.Ready()) << c.What;
  }
  for (size_t length : {size_t{0}, size_t{20}, size_t{39}, size_t{39 + 1024},
                        good.size() - 2 * leaves, good.size() - 1}) {
    WriteWholeFile(path_, good.substr(0, length));
    OpenTreeT open(path_, 3);
    EXPECT_FALSE(open.Ready()) << "cut to " << length;
  }
}

TEST_F(ReadBTreeTest, DamagedPagesFailTheOperationThatMeetsThem) {
  // Keys "aa" to "az" with 255 bytes of data each: page 0 holds "aa" to "ao"
  // (entries of 260 bytes, then 259, ending at 3886), page 1 the rest, and
  // page 2 is the root over them; the key counts follow.
  std::vector<TreeEntryT> entries;
  for (char c = 'a'; c <= 'z'; ++c) entries.push_back({"a"s + c, std::string(255, c)});
  const uint32_t header = WriteTreeFile(path_, entries);
  const std::string good = ReadWholeFile(path_);
  const size_t leaf0 = 36, second = leaf0 + 260, end0 = leaf0 + 3886;
  const size_t root = leaf0 + 2 * kPage, counts = root + kPage;
  ASSERT_EQ(counts + 4, good.size());
  ASSERT_EQ("\x02\x01" "b\xff"s, good.substr(second, 4));
  ASSERT_EQ("\x00\x0f\x00\x0b"s, good.substr(counts));

  struct CaseT {
    const char* What;
    size_t At;
    std::string Bytes;
    std::string Probe;  // a search that meets the damage ("" for none)
    bool Walk;          // the walk from the first key meets it
    uint32_t Nth;       // a key number that meets it (0 for none)
  };
  const CaseT cases[] = {
      {"prefix longer than the previous key", second + 1, "\x03", "ab", true, 5},
      {"prefix longer than the key", second, "\x01\x02", "ab", true, 5},
      {"key runs past the page end", end0, "\xfa\x00"s, "aoa", true, 0},
      {"data runs past the page end", end0, "\x01\x00z\xff"s, "aoa", true, 0},
      {"empty first leaf", leaf0 + 1, "\x00"s, "ab", true, 5},
      {"child beyond the leaves", root + 4, "\x07\x00\x00\x00"s, "ab", true, 0},
      {"child is the root itself", root + 4, "\x02\x00\x00\x00"s, "ab", true, 0},
      {"root prefix longer than the previous key", root + 15, "\x03\x05", "az", false, 0},
      {"more keys counted than the page holds", counts, "\x00\x63"s, "", false, 20},
      {"a page counted empty", counts, "\x00\x00"s, "", false, 1},
  };
  for (const CaseT& c : cases) {
    SCOPED_TRACE(c.What);
    std::string bad = good;
    bad.replace(c.At, c.Bytes.size(), c.Bytes);
    WriteWholeFile(path_, bad);
    OpenTreeT open(path_, header);
    ASSERT_TRUE(open.Ready());
    ReadBTreeT& tree = *open.Tree;
    ReadBTreeCursorT cursor;
    if (!c.Probe.empty()) {
      EXPECT_EQ(0, tree.FindKey(&cursor, Bytes(Prefixed(c.Probe))));
    }
    if (c.Walk && tree.FindKey(&cursor, Bytes(Prefixed("aa"))) == kBTreeFound) {
      // The step onto the damage fails and the cursor stays where it was.
      size_t i = 0;
      int result;
      while ((result = tree.NextKey(&cursor)) == 1) ++i;
      EXPECT_EQ(0, result);
      ExpectAt(entries, i, cursor);
    }
    if (c.Nth != 0) {
      EXPECT_EQ(0, tree.GetNthKey(&cursor, c.Nth));
    }
  }
}

TEST_F(ReadBTreeTest, RandomDamageNeverCrashes) {
  std::mt19937 rng(99);
  const std::vector<TreeEntryT> entries = RandomEntries(rng, 400, 120, 40);
  TreeLayoutT layout;
  layout.PageSize = 1024;  // deeper trees
  layout.Leading = "lead";
  const uint32_t header = WriteTreeFile(path_, entries, layout);
  const std::string good = ReadWholeFile(path_);
  for (int round = 0; round < 500; ++round) {
    std::string bad = good;
    const int flips = 1 + static_cast<int>(rng() % 8);
    for (int f = 0; f < flips; ++f) {
      // Mostly the pages and key counts, sometimes the header.
      const size_t at = rng() % 8 == 0 ? header + rng() % 36
                                       : header + 36 + rng() % (good.size() - header - 36);
      bad[at] = static_cast<char>(rng() % 3 == 0 ? 0 : rng());
    }
    if (round % 10 == 0) bad.resize(rng() % bad.size());
    WriteWholeFile(path_, bad);
    ExerciseTree(path_, header, entries, rng);
  }
}

}  // namespace
