// BinaryHeapT: the one binary min-heap of the library, 1-based in an array,
// behind the top-N records of a ranked query, the term vectors a ranked query
// walks and the query processor's strict AND.
//
// Before(a, b) is a strict order: true when a must leave before b. Entries
// that are neither before the other leave in an order that follows from the
// sequence of inserts and removals alone: an insert rises while it is before
// its parent, a removal moves the last entry to the top and sinks it past any
// child that is before it (the right child only when it is before the left
// one). The top-N records and the ranked term vectors are ordered totally
// (record number and term break their ties), so a query's answer never
// rests on that order; its test pins it all the same.
//
// The room is either inline (kRoom entries, no allocation) or, with kRoom 0,
// allocated for the capacity given at construction.

#ifndef TARVIS_STORAGE_BINARY_HEAP_H_
#define TARVIS_STORAGE_BINARY_HEAP_H_

#include <cstddef>
#include <cstdint>
#include <memory>

#include "storage/allocation.h"

// Where a heap keeps its entries: slot 0 is unused.
template <typename EntryT, uint32_t kRoom>
class HeapRoomT {
 public:
  explicit HeapRoomT(uint32_t) {}
  uint32_t Capacity() const { return kRoom; }
  int IsValid() const { return 1; }

 protected:
  EntryT* Slots() { return Room; }
  const EntryT* Slots() const { return Room; }

 private:
  EntryT Room[kRoom + 1] = {};
};

template <typename EntryT>
class HeapRoomT<EntryT, 0> {
 public:
  explicit HeapRoomT(uint32_t capacity)
      : Room(NewArrayOrNull<EntryT>(size_t{capacity} + 1)),
        Limit(Room != nullptr ? capacity : 0) {}
  uint32_t Capacity() const { return Limit; }
  // 0 when the room could not be allocated (the heap then holds nothing).
  int IsValid() const { return Room != nullptr; }

 protected:
  EntryT* Slots() { return Room.get(); }
  const EntryT* Slots() const { return Room.get(); }

 private:
  std::unique_ptr<EntryT[]> Room;
  uint32_t Limit;
};

template <typename EntryT, typename BeforeT, uint32_t kRoom = 0>
class BinaryHeapT : public HeapRoomT<EntryT, kRoom> {
  using RoomT = HeapRoomT<EntryT, kRoom>;

 public:
  // capacity is read only when kRoom is 0.
  explicit BinaryHeapT(uint32_t capacity = kRoom) : RoomT(capacity) {}
  BinaryHeapT(const BinaryHeapT&) = delete;
  BinaryHeapT& operator=(const BinaryHeapT&) = delete;

  uint32_t Size() const { return Count; }
  void Clear() { Count = 0; }

  // The entry that leaves next; only while Size() > 0.
  const EntryT& Least() const { return this->Slots()[1]; }

  // 0 when the heap is full: the entry is not taken.
  int Insert(const EntryT& entry) {
    if (Count >= this->Capacity()) return 0;
    EntryT* slots = this->Slots();
    uint32_t position = ++Count;
    while (position > 1 && Before(entry, slots[position / 2])) {
      slots[position] = slots[position / 2];
      position /= 2;
    }
    slots[position] = entry;
    return 1;
  }

  // Drops the least entry; nothing when the heap is empty.
  void DeleteMin() {
    if (Count == 0) return;
    EntryT* slots = this->Slots();
    slots[1] = slots[Count--];
    SinkLeast();
  }

  // Puts the least entry back in its place after what orders it has grown
  // (its vector moved on): it sinks as after a removal.
  void SinkLeast() {
    if (Count == 0) return;
    EntryT* slots = this->Slots();
    const EntryT moving = slots[1];
    uint32_t position = 1;
    for (;;) {
      uint32_t child = 2 * position;
      if (child > Count) break;
      if (child < Count && Before(slots[child + 1], slots[child])) ++child;
      if (!Before(slots[child], moving)) break;
      slots[position] = slots[child];
      position = child;
    }
    slots[position] = moving;
  }

  // The Size() entries held, in heap order (not sorted).
  const EntryT* Entries() const { return this->Slots() + 1; }

 private:
  static bool Before(const EntryT& a, const EntryT& b) {
    return BeforeT()(a, b);
  }

  uint32_t Count = 0;
};

#endif  // TARVIS_STORAGE_BINARY_HEAP_H_
