// BinaryHeapT: a table of inserts, removals and grown leasts, each run on an
// inline room and on an allocated one of the same capacity. The order in
// which equal entries leave is pinned down here, so that a change to the
// sifting is a deliberate one.

#include "storage/binary_heap.h"

#include <gtest/gtest.h>

#include <deque>
#include <sstream>
#include <string>

namespace {

struct ItemT {
  int Key;
  char Tag;
};

struct ByKeyT {
  bool operator()(const ItemT* a, const ItemT* b) const {
    return a->Key < b->Key;
  }
};

// Plays ops, separated by blanks: "5a" inserts an item of key 5 tagged a
// ("!" when it is refused), "-" removes the least ("." when the heap is
// empty, else its tag), "^9" raises the least's key to 9 in place and sinks
// it. Returns what the ops wrote.
template <typename HeapT>
std::string Play(HeapT& heap, const std::string& ops) {
  std::deque<ItemT> items;
  std::string out;
  std::istringstream in(ops);
  std::string op;
  while (in >> op) {
    if (op == "-") {
      if (heap.Size() == 0) {
        out += '.';
        continue;
      }
      out += heap.Least()->Tag;
      heap.DeleteMin();
    } else if (op[0] == '^') {
      heap.Least()->Key = std::stoi(op.substr(1));
      heap.SinkLeast();
    } else {
      items.push_back({std::stoi(op), op.back()});
      if (!heap.Insert(&items.back())) out += '!';
    }
  }
  heap.Clear();
  return out;
}

TEST(BinaryHeapTest, TableOfOperations) {
  struct CaseT {
    uint32_t Capacity;
    const char* Ops;
    const char* Out;
  } cases[] = {
      {8, "5a 3b 8c 1d 7e - - - - - -", "dbaec."},
      // Ties leave in the order the sifting gives, not the insertion order.
      {8, "2a 2b 2c 2d 2e - - - - -", "aedcb"},
      {8, "4a 2b 4c 2d 4e 2f - - - - - -", "bdfaec"},
      {8, "3a 1b 3c - 1d 3e - - - -", "bdeca"},
      // A full heap refuses an insert until a removal makes room.
      {3, "5a 4b 3c 2d - 2e - - - -", "!ceba."},
      {0, "1a -", "!."},
      // A least whose key grew sinks below the entries now before it, and
      // stays on top among equals.
      {8, "1a 2b 3c ^4 ^5 - - - -", "cab."},
      {8, "1a 5b 5c 9d ^5 - - - -", "abcd"},
  };
  for (const CaseT& c : cases) {
    BinaryHeapT<ItemT*, ByKeyT> allocated(c.Capacity);
    ASSERT_TRUE(allocated.IsValid());
    EXPECT_EQ(c.Capacity, allocated.Capacity());
    EXPECT_EQ(c.Out, Play(allocated, c.Ops)) << c.Ops;
    EXPECT_EQ(0u, allocated.Size());
  }
  // The inline room behaves as the allocated one of its capacity.
  BinaryHeapT<ItemT*, ByKeyT, 3> small;
  EXPECT_EQ(cases[4].Out, Play(small, cases[4].Ops));
  BinaryHeapT<ItemT*, ByKeyT, 8> room;
  for (const CaseT& c : cases) {
    if (c.Capacity == 8) {
      EXPECT_EQ(c.Out, Play(room, c.Ops)) << c.Ops;
    }
  }
}

TEST(BinaryHeapTest, EntriesAreTheHeldOnesInHeapOrder) {
  ItemT items[] = {{5, 'a'}, {3, 'b'}, {8, 'c'}, {1, 'd'}};
  BinaryHeapT<ItemT*, ByKeyT, 4> heap;
  for (ItemT& item : items) ASSERT_TRUE(heap.Insert(&item));
  heap.DeleteMin();
  std::string tags;
  for (uint32_t i = 0; i < heap.Size(); ++i) tags += heap.Entries()[i]->Tag;
  EXPECT_EQ("bac", tags);
}

}  // namespace
