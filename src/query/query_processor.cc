// QueryProcessorT: operand tournament, binary heap, and the record-level
// operations (OR, AND, NOT, copy). The positional operations are in
// positional_operators.cc.

#include "query/query_processor.h"

#include <algorithm>

#include "query/vector_buffer_pool.h"
#include "storage/allocation.h"

QueryProcessorT::QueryProcessorT(uint32_t recordsInPartition,
                                 const DeletedRecordSetT* deleted,
                                 uint32_t recordOffset)
    : PartitionRecords(recordsInPartition),
      Deleted(deleted != nullptr && deleted->HasDeletedRecords() ? deleted
                                                                 : nullptr),
      RecordOffset(recordOffset) {}

// ---------------------------------------------------------------------------
// Operand tournament: a complete binary tree in array order whose leaves,
// from FirstLeaf on, are the fewest (a power of two) that hold the operands,
// so that replaying a leaf costs one comparison per operand doubling. A
// parent holds the child whose vector is at or before the other's (the left
// one on equal hits); an empty child loses.

void QueryProcessorT::InitHeap() {
  for (uint32_t slot = 0; slot < Inserted; ++slot) Slots[slot] = nullptr;
  Tree[0] = EntryT();
  FirstLeaf = 0;
  Inserted = 0;
  VectorHeap.Clear();
}

void QueryProcessorT::ProcessVector(QueryVectorBaseT* vector,
                                    StatusCodeT* status) {
  *status = StatusNoError;
  if (vector == nullptr || Inserted >= kMaximumOperands) return;
  Slots[Inserted++] = vector;
  if (Inserted == kOperandsBeforeFull) *status = StatusFull;
}

inline void QueryProcessorT::Play(uint32_t node) {
  const EntryT& left = Tree[2 * node + 1];
  const EntryT& right = Tree[2 * node + 2];
  // The keys order the hits; an empty left child loses even to a right one
  // whose key is all ones.
  EntryT winner = right.Key < left.Key || left.Matches == 0 ? right : left;
  if ((left.Key >> 32) == (right.Key >> 32)) {
    winner.Matches = left.Matches + right.Matches;
  }
  Tree[node] = winner;
}

void QueryProcessorT::CountRootMatches() {
  if (Tree[0].Matches != 0) Slots[Tree[0].Leaf]->MatchCounter = Tree[0].Matches;
}

void QueryProcessorT::HeapStart() {
  uint32_t leaves = 1;
  while (leaves < Inserted) leaves *= 2;
  FirstLeaf = leaves - 1;
  for (uint32_t slot = 0; slot < leaves; ++slot) {
    EntryT& leaf = Tree[FirstLeaf + slot];
    leaf = EntryT();
    if (slot < Inserted && Slots[slot] != nullptr) {
      leaf.Key = HitKey(Slots[slot]);
      leaf.Leaf = slot;
      leaf.Matches = 1;
    }
  }
  for (uint32_t node = FirstLeaf; node-- > 0;) Play(node);
  CountRootMatches();
}

void QueryProcessorT::ReplayFrom(uint32_t leaf) {
  uint32_t node = FirstLeaf + leaf;
  if (Tree[node].Matches != 0) Tree[node].Key = HitKey(Slots[leaf]);
  while (node > 0) {
    node = (node - 1) / 2;
    Play(node);
  }
  CountRootMatches();
}

void QueryProcessorT::HeapReInsertKey() {
  if (Tree[0].Matches != 0) ReplayFrom(Tree[0].Leaf);
}

void QueryProcessorT::HeapDeleteLastKey() {
  if (Tree[0].Matches == 0) return;
  uint32_t leaf = Tree[0].Leaf;
  Tree[FirstLeaf + leaf] = EntryT();
  Slots[leaf] = nullptr;
  ReplayFrom(leaf);
}

uint32_t QueryProcessorT::RootMoved(int moved) {
  if (moved > 0) {
    HeapReInsertKey();
    return 0;
  }
  HeapDeleteLastKey();
  return 1;
}

void QueryProcessorT::HeapDeleteAllVectors() {
  for (uint32_t slot = 0; slot < Inserted; ++slot) {
    QueryVectorBaseT* vector = Slots[slot];
    if (vector == nullptr) continue;
    // A vector loaded twice is destroyed once.
    for (uint32_t other = slot; other < Inserted; ++other) {
      if (Slots[other] == vector) Slots[other] = nullptr;
    }
    delete vector;
  }
  InitHeap();
}

// ---------------------------------------------------------------------------
// Binary min-heap.

void QueryProcessorT::InsertIntoVectorHeap(QueryVectorBaseT* vector) {
  VectorHeap.Insert(vector);
}

QueryVectorBaseT* QueryProcessorT::DeleteMinFromVectorHeap() {
  if (VectorHeap.Size() == 0) return nullptr;
  QueryVectorBaseT* least = VectorHeap.Least();
  VectorHeap.DeleteMin();
  return least;
}

// ---------------------------------------------------------------------------
// Helpers shared by the operations.

int QueryProcessorT::IsDeleted(uint32_t record) {
  if (Deleted == nullptr) return 0;
  if (record != CheckedRecord || CheckedRecord == 0) {
    CheckedRecord = record;
    CheckedResult = Deleted->IsRecordDeleted(record + RecordOffset);
  }
  return CheckedResult;
}

int QueryProcessorT::Step(QueryVectorBaseT* vector, StatusCodeT* status) {
  StatusCodeT step = StatusNoError;
  vector->NextHit(&step);
  if (step < 0) {
    *status = step;
    return -1;
  }
  return step == StatusEndOfVector ? 0 : 1;
}

int QueryProcessorT::Seek(QueryVectorBaseT* vector, uint32_t record,
                          uint32_t word, StatusCodeT* status) {
  StatusCodeT step = StatusNoError;
  vector->NextHit(record, word, &step);
  if (step < 0) {
    *status = step;
    return -1;
  }
  return step == StatusEndOfVector ? 0 : 1;
}

int QueryProcessorT::SkipRecord(QueryVectorBaseT* vector, uint32_t record,
                                StatusCodeT* status) {
  if (record == UINT32_MAX) return 0;
  return Seek(vector, record + 1, 1, status);
}

UncompressedQueryVectorT* QueryProcessorT::NewResult(StatusCodeT* status) {
  *status = StatusNoError;
  UncompressedQueryVectorT* result =
      NewOrStatus<UncompressedQueryVectorT>(status, kWorkVectorBytes, status);
  if (result == nullptr) return nullptr;
  if (*status < 0) return Fail(result);
  return result;
}

UncompressedQueryVectorT* QueryProcessorT::Fail(
    UncompressedQueryVectorT* result) {
  delete result;
  return nullptr;
}

UncompressedQueryVectorT* QueryProcessorT::Finish(
    UncompressedQueryVectorT* result, StatusCodeT* status) {
  result->Rewind(status);
  if (*status < 0) return Fail(result);
  *status = StatusNoError;
  return result;
}

int QueryProcessorT::Emit(UncompressedQueryVectorT* result,
                          const TermInstanceT& hit, StatusCodeT* status) {
  result->AddInstance(&hit, status);
  return *status >= 0;
}

// ---------------------------------------------------------------------------
// OR: a k-way merge through the tournament, each (record, word) once.

UncompressedQueryVectorT* QueryProcessorT::ProcessOr(StatusCodeT* status) {
  if (UnitesRecords()) return RecordUnion(status);
  UncompressedQueryVectorT* result = NewResult(status);
  if (result == nullptr) return nullptr;
  TermInstanceT last;
  last.RecordNumber = 0;
  last.WordPosition = 0;
  while (QueryVectorBaseT* vector = GetSmallestVector()) {
    if (!vector->IsPositioned()) {
      HeapDeleteLastKey();
      continue;
    }
    // The root's vector often stays the least for several hits; it is
    // replayed only once it passes the least of the others.
    const uint64_t bound = RootBound();
    int moved;
    do {
      const TermInstanceT& hit = vector->CurrentHit();
      if (IsDeleted(hit.RecordNumber)) {
        moved = SkipRecord(vector, hit.RecordNumber, status);
      } else {
        if (HitBefore(last, hit)) {
          if (!Emit(result, hit, status)) return Fail(result);
          last = hit;
        }
        moved = Step(vector, status);
      }
    } while (moved > 0 && HitKey(vector) < bound);
    if (moved < 0) return Fail(result);
    RootMoved(moved);
  }
  return Finish(result, status);
}

// Below this many operands the tournament costs less than a window's sweep.
constexpr uint32_t kRecordUnionOperands = 8;

int QueryProcessorT::UnitesRecords() const {
  if (Inserted < kRecordUnionOperands) return 0;
  for (uint32_t slot = 0; slot < Inserted; ++slot) {
    if (Slots[slot] != nullptr && !Slots[slot]->HoldsRecordHitsOnly()) return 0;
  }
  return 1;
}

// With one hit per record, the OR keeps of each record the hit of the first
// operand (by slot) that holds it: the tournament lets the left one win ties.
// The records are gathered one window at a time, from the least record any
// operand stands on: every operand in slot order is walked through the
// window, the first hit of a record claims its entry, and the claimed
// entries are emitted in record order.
UncompressedQueryVectorT* QueryProcessorT::RecordUnion(StatusCodeT* status) {
  UncompressedQueryVectorT* result = NewResult(status);
  if (result == nullptr) return nullptr;
  TermInstanceT* window = TakePooledWindow();
  if (window == nullptr) {
    *status = StatusNotEnoughMemory;
    return Fail(result);
  }
  constexpr uint32_t kWords = (kPooledWindowEntries + 63) / 64;
  uint64_t claimed[kWords];
  for (uint32_t slot = 0; slot < Inserted; ++slot) {
    if (Slots[slot] != nullptr && !Slots[slot]->IsPositioned()) {
      Slots[slot] = nullptr;
    }
  }
  int failed = 0;
  while (!failed) {
    uint32_t low = UINT32_MAX;
    for (uint32_t slot = 0; slot < Inserted; ++slot) {
      if (Slots[slot] != nullptr) {
        low = std::min(low, Slots[slot]->CurrentRecord());
      }
    }
    if (low == UINT32_MAX) break;
    const uint64_t high = uint64_t{low} + kPooledWindowEntries;
    std::fill(claimed, claimed + kWords, 0);
    // The words of claimed that may hold a bit: the window's records are
    // claimed from its first on, and seldom up to its end.
    uint32_t words = 1;
    for (uint32_t slot = 0; slot < Inserted && !failed; ++slot) {
      QueryVectorBaseT* vector = Slots[slot];
      if (vector == nullptr) continue;
      while (vector->CurrentRecord() < high) {
        const TermInstanceT& hit = vector->CurrentHit();
        const uint32_t at = hit.RecordNumber - low;
        const uint64_t bit = uint64_t{1} << (at % 64);
        if ((claimed[at / 64] & bit) == 0) {
          claimed[at / 64] |= bit;
          window[at] = hit;
          words = std::max(words, at / 64 + 1);
        }
        const int moved = Step(vector, status);
        if (moved > 0) continue;
        if (moved < 0) failed = 1;
        // An ended vector keeps standing on its last hit.
        Slots[slot] = nullptr;
        break;
      }
    }
    for (uint32_t word = 0; word < words && !failed; ++word) {
      for (uint64_t bits = claimed[word]; bits != 0; bits &= bits - 1) {
        const uint32_t at = word * 64 + static_cast<uint32_t>(__builtin_ctzll(bits));
        if (IsDeleted(low + at)) continue;
        if (!Emit(result, window[at], status)) {
          failed = 1;
          break;
        }
      }
    }
  }
  GivePooledWindow(window);
  // As after the tournament: the root holds no operand.
  Tree[0] = EntryT();
  if (failed) return Fail(result);
  return Finish(result, status);
}

uint64_t QueryProcessorT::RootBound() const {
  uint64_t bound = ~uint64_t{0};
  for (uint32_t node = FirstLeaf + Tree[0].Leaf; node > 0; node = (node - 1) / 2) {
    // A left child wins ties with its right sibling.
    const bool left = (node & 1) != 0;
    const EntryT& sibling = Tree[left ? node + 1 : node - 1];
    if (sibling.Matches == 0) continue;
    uint64_t limit = sibling.Key;
    if (left && limit != ~uint64_t{0}) ++limit;
    if (limit < bound) bound = limit;
  }
  return bound;
}

// ---------------------------------------------------------------------------
// AND.

UncompressedQueryVectorT* QueryProcessorT::ProcessAnd(uint32_t tolerance,
                                                      StatusCodeT* status) {
  if (tolerance == 0) return ProcessNonFuzzyAnd(status);
  UncompressedQueryVectorT* result = NewResult(status);
  if (result == nullptr) return nullptr;
  uint32_t live = 0;
  for (uint32_t slot = 0; slot < Inserted; ++slot) live += Operand(slot) != nullptr;
  uint32_t required = tolerance >= live ? 1 : live - tolerance;
  while (live >= required) {
    QueryVectorBaseT* vector = GetSmallestVector();
    if (vector == nullptr) break;
    if (!vector->IsPositioned()) {
      HeapDeleteLastKey();
      --live;
      continue;
    }
    uint32_t record = vector->CurrentRecord();
    if (Tree[0].Matches < required) {
      int moved = SkipRecord(vector, record, status);
      if (moved < 0) return Fail(result);
      live -= RootMoved(moved);
      continue;
    }
    // Enough operands hold the record: merge their hits in it.
    int deleted = IsDeleted(record);
    uint32_t lastWord = 0;
    while ((vector = GetSmallestVector()) != nullptr &&
           vector->CurrentRecord() == record) {
      int moved;
      if (deleted) {
        moved = SkipRecord(vector, record, status);
      } else {
        if (vector->CurrentWord() > lastWord) {
          if (!Emit(result, vector->CurrentHit(), status)) return Fail(result);
          lastWord = vector->CurrentWord();
        }
        moved = Step(vector, status);
      }
      if (moved < 0) return Fail(result);
      live -= RootMoved(moved);
    }
  }
  return Finish(result, status);
}

UncompressedQueryVectorT* QueryProcessorT::ProcessNonFuzzyAnd(
    StatusCodeT* status) {
  UncompressedQueryVectorT* result = NewResult(status);
  if (result == nullptr) return nullptr;
  VectorHeap.Clear();
  uint32_t operands = 0;
  uint32_t largest = 0;
  uint32_t onLargest = 0;
  // A vector moved onto a record beyond the others becomes the one to reach.
  auto track = [&largest, &onLargest](uint32_t record) {
    if (record > largest) {
      largest = record;
      onLargest = 1;
    } else if (record == largest) {
      ++onLargest;
    }
  };
  for (uint32_t slot = 0; slot < Inserted; ++slot) {
    QueryVectorBaseT* vector = Operand(slot);
    if (vector == nullptr) continue;
    if (!vector->IsPositioned()) {
      VectorHeap.Clear();
      return Finish(result, status);
    }
    InsertIntoVectorHeap(vector);
    track(vector->CurrentRecord());
    ++operands;
  }
  while (VectorHeap.Size() == operands && operands > 0) {
    QueryVectorBaseT* least = VectorHeap.Least();
    if (onLargest < operands) {
      int moved = Seek(least, largest, 1, status);
      if (moved < 0) return Fail(result);
      if (moved == 0) break;
      track(least->CurrentRecord());
      VectorHeap.SinkLeast();
      continue;
    }
    // Every operand stands on the record: emit all their hits in it.
    uint32_t record = largest;
    int deleted = IsDeleted(record);
    int exhausted = 0;
    uint32_t lastWord = 0;
    largest = 0;
    onLargest = 0;
    while (VectorHeap.Size() > 0 &&
           VectorHeap.Least()->CurrentRecord() == record) {
      least = VectorHeap.Least();
      int moved;
      if (deleted) {
        moved = SkipRecord(least, record, status);
      } else {
        // The heap yields the record's hits in word order; a hit that several
        // operands share (the same term twice) is one hit of the result.
        if (least->CurrentWord() > lastWord) {
          if (!Emit(result, least->CurrentHit(), status)) return Fail(result);
          lastWord = least->CurrentWord();
        }
        moved = Step(least, status);
      }
      if (moved < 0) return Fail(result);
      if (moved == 0) {
        DeleteMinFromVectorHeap();
        exhausted = 1;
        continue;
      }
      if (least->CurrentRecord() != record) track(least->CurrentRecord());
      VectorHeap.SinkLeast();
    }
    if (exhausted) break;
  }
  VectorHeap.Clear();
  return Finish(result, status);
}

// ---------------------------------------------------------------------------
// NOT: the hits of a in records that none of the others hold.

UncompressedQueryVectorT* QueryProcessorT::ProcessNot(StatusCodeT* status) {
  QueryVectorBaseT* others[kMaximumOperands];
  uint32_t count = 0;
  for (uint32_t slot = 1; slot < Inserted; ++slot) {
    if (Operand(slot) != nullptr) others[count++] = Operand(slot);
  }
  return Difference(Operand(0), others, count, status);
}

UncompressedQueryVectorT* QueryProcessorT::Not(QueryVectorBaseT* a,
                                               QueryVectorBaseT* b,
                                               StatusCodeT* status) {
  QueryVectorBaseT* others[1] = {b};
  return Difference(a, others, b != nullptr ? 1 : 0, status);
}

UncompressedQueryVectorT* QueryProcessorT::Difference(QueryVectorBaseT* a,
                                                      QueryVectorBaseT** others,
                                                      uint32_t count,
                                                      StatusCodeT* status) {
  UncompressedQueryVectorT* result = NewResult(status);
  if (result == nullptr) return nullptr;
  if (a == nullptr || !a->IsPositioned()) return Finish(result, status);
  // Empty subtrahends take nothing away.
  uint32_t live = 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (others[i]->IsPositioned()) others[live++] = others[i];
  }
  for (;;) {
    if (live == 0) {
      CopyAll(result, a, status);
      if (*status < 0) return Fail(result);
      break;
    }
    uint32_t record = a->CurrentRecord();
    int excluded = IsDeleted(record);
    for (uint32_t i = 0; i < live && !excluded;) {
      QueryVectorBaseT* other = others[i];
      if (other->CurrentRecord() < record) {
        int moved = Seek(other, record, 1, status);
        if (moved < 0) return Fail(result);
        if (moved == 0) {
          others[i] = others[--live];
          continue;
        }
      }
      excluded = other->CurrentRecord() == record;
      ++i;
    }
    int moved;
    if (excluded) {
      moved = SkipRecord(a, record, status);
    } else if (live == 0) {
      continue;
    } else {
      do {
        if (!Emit(result, a->CurrentHit(), status)) return Fail(result);
        moved = Step(a, status);
      } while (moved > 0 && a->CurrentRecord() == record);
    }
    if (moved < 0) return Fail(result);
    if (moved == 0) break;
  }
  return Finish(result, status);
}

// ---------------------------------------------------------------------------
// Copy.

void QueryProcessorT::CopyAll(UncompressedQueryVectorT* result,
                              QueryVectorBaseT* source, StatusCodeT* status) {
  *status = StatusNoError;
  if (!source->IsPositioned()) return;
  for (;;) {
    uint32_t record = source->CurrentRecord();
    int moved;
    if (IsDeleted(record)) {
      moved = SkipRecord(source, record, status);
    } else {
      if (!Emit(result, source->CurrentHit(), status)) return;
      moved = Step(source, status);
    }
    if (moved <= 0) return;
  }
}

UncompressedQueryVectorT* QueryProcessorT::ProcessCopy(StatusCodeT* status) {
  UncompressedQueryVectorT* result = NewResult(status);
  if (result == nullptr) return nullptr;
  if (QueryVectorBaseT* vector = GetSmallestVector()) {
    CopyAll(result, vector, status);
    if (*status < 0) return Fail(result);
    HeapDeleteLastKey();
  }
  return Finish(result, status);
}
