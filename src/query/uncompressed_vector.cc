// UncompressedQueryVectorT: in-memory window, spill file and walking.

#include "query/uncompressed_vector.h"

#include <algorithm>
#include <utility>

#include "query/vector_buffer_pool.h"
#include "storage/allocation.h"
#include "storage/check.h"
#include "storage/file_status.h"
#include "storage/fileclas.h"

static_assert(sizeof(TermInstanceT) == 16,
              "vector entries are 16-byte images in memory and on disk");

namespace {

constexpr uint32_t kEntryBytes = sizeof(TermInstanceT);
// I/O buffer sizes tried for the spill file, largest first.
constexpr uint32_t kSpillBufferSizes[] = {8192, 4096, 2048, 1024};
// Entries a window starts with; it doubles as hits arrive, up to the
// capacity, so that the many small vectors of a query stay small.
constexpr uint32_t kFirstWindowEntries = 64;

}  // namespace

UncompressedQueryVectorT::UncompressedQueryVectorT(uint32_t sizeInBytes,
                                                   StatusCodeT* status)
    : QueryVectorBaseT(kUncompressedVectorKind) {
  *status = StatusNoError;
  Capacity = std::max<uint32_t>(sizeInBytes / kEntryBytes, 1);
  if (!GrowBuffer(std::min(Capacity, kFirstWindowEntries))) {
    Capacity = 0;
    *status = StatusNotEnoughMemory;
    return;
  }
  BufferValid = 1;
}

// Full windows of work vectors come from the pool and go back to it.
static TermInstanceT* NewBuffer(uint32_t entries) {
  if (entries == kPooledWindowEntries) return TakePooledWindow();
  return NewArrayOrNull<TermInstanceT>(entries);
}

static void FreeBuffer(TermInstanceT* buffer, uint32_t entries) {
  if (entries == kPooledWindowEntries) {
    GivePooledWindow(buffer);
  } else {
    delete[] buffer;
  }
}

int UncompressedQueryVectorT::GrowBuffer(uint32_t entries) {
  if (entries <= Allocated) return 1;
  TermInstanceT* larger = NewBuffer(entries);
  if (larger == nullptr) return 0;
  std::copy(Buffer, Buffer + Allocated, larger);
  // A vector holding entries stands on one of the buffer's.
  if (InstanceCount > 0) CurrentInstance = larger + CurrentIndex;
  FreeBuffer(Buffer, Allocated);
  Buffer = larger;
  Allocated = entries;
  return 1;
}

int UncompressedQueryVectorT::MakeRoom(uint32_t entries, StatusCodeT* status) {
  if (entries <= Allocated) return 1;
  uint32_t grown = std::min(Capacity, std::max(entries, 2 * Allocated));
  // A work vector that outgrows a quarter of its window takes a pooled
  // window at once: the pool keeps those between queries, while growing
  // through the larger sizes would take and free them from the heap's top,
  // which the allocator then gives back to the system and takes again,
  // query after query.
  if (Capacity == kPooledWindowEntries && grown > kPooledWindowEntries / 4) {
    grown = kPooledWindowEntries;
  }
  if (GrowBuffer(grown)) return 1;
  *status = StatusNotEnoughMemory;
  return 0;
}

UncompressedQueryVectorT::~UncompressedQueryVectorT() {
  if (SpillFile != nullptr) {
    SpillFile->Delete();
    delete SpillFile;
  }
  FreeBuffer(Buffer, Allocated);
}

uint32_t UncompressedQueryVectorT::WindowCount() const {
  return std::min(Capacity, InstanceCount - WindowBase);
}

void UncompressedQueryVectorT::PointAt(uint32_t index) {
  CurrentIndex = index;
  CurrentInstance = &Buffer[index];
}

int UncompressedQueryVectorT::OpenSpillFile(StatusCodeT* status) {
  FileClassT* file = NewTemporaryFile(status);
  if (file == nullptr) return 0;
  // The file allocates its stream buffer; without any the stream's default
  // buffering still works.
  for (uint32_t size : kSpillBufferSizes) {
    if (file->SetBuff(nullptr, size)) break;
  }
  SpillFile = file;
  return 1;
}

int UncompressedQueryVectorT::WriteBackWindow(StatusCodeT* status) {
  if (!Dirty) return 1;
  if (SpillFile == nullptr && !OpenSpillFile(status)) return 0;
  if (!FileCall(SpillFile->Seek(WindowBase * kEntryBytes), StatusSeekError,
                status) ||
      !FileCall(SpillFile->Write(Buffer, WindowCount() * kEntryBytes),
                StatusWriteError, status)) {
    return 0;
  }
  Dirty = 0;
  return 1;
}

int UncompressedQueryVectorT::LoadWindow(uint32_t base, StatusCodeT* status) {
  if (base == WindowBase) return 1;
  if (!WriteBackWindow(status)) return 0;
  uint32_t count = std::min(Capacity, InstanceCount - base);
  if (count > 0) {
    // Windows other than the current one exist only in the spill file.
    TV_CHECK(SpillFile != nullptr);
    if (!MakeRoom(count, status)) return 0;
    if (!FileCall(SpillFile->Seek(base * kEntryBytes), StatusSeekError,
                  status) ||
        !FileCall(SpillFile->Read(Buffer, count * kEntryBytes), StatusReadError,
                  status)) {
      return 0;
    }
  }
  WindowBase = base;
  return 1;
}

// The new entry belongs to the window of its own index; a full window is
// written out first, and a vector walked back returns to its tail.
int UncompressedQueryVectorT::MakeTailRoom(uint32_t* index,
                                           StatusCodeT* status) {
  if (!BufferValid) {
    *status = StatusNotEnoughMemory;
    return 0;
  }
  uint32_t base = InstanceCount / Capacity * Capacity;
  if (base != WindowBase) {
    if (!WriteBackWindow(status)) return 0;
    if (base < InstanceCount) {
      if (!LoadWindow(base, status)) return 0;
    } else {
      WindowBase = base;
    }
  }
  *index = InstanceCount - WindowBase;
  return MakeRoom(*index + 1, status);
}

void UncompressedQueryVectorT::AddInstance(const TermInstanceT* instance,
                                           StatusCodeT* status) {
  *status = StatusNoError;
  // Below the allocated entries, the index lies in the tail window, which
  // the buffer holds.
  uint32_t index = InstanceCount - WindowBase;
  if (index >= Allocated && !MakeTailRoom(&index, status)) return;
  Buffer[index] = *instance;
  PointAt(index);
  ++InstanceCount;
  ++PostingCount;
  Dirty = 1;
  if (instance->WordPosition != 1) HitKind = kWordHits;
  if (instance->RecordNumber > LastRecordAdded) {
    LastRecordAdded = instance->RecordNumber;
    LastWordAdded = 0;
    ++RecordCount;
  }
  if (instance->WordPosition > LastWordAdded) {
    LastWordAdded = instance->WordPosition;
    ++HitCount;
  }
}

void UncompressedQueryVectorT::NextHit(StatusCodeT* status) {
  *status = StatusNoError;
  MatchCounter = 1;
  if (InstanceCount == 0 || WindowBase + CurrentIndex + 1 >= InstanceCount) {
    *status = StatusEndOfVector;
    return;
  }
  if (CurrentIndex + 1 < WindowCount()) {
    PointAt(CurrentIndex + 1);
    return;
  }
  if (LoadWindow(WindowBase + Capacity, status)) PointAt(0);
}

void UncompressedQueryVectorT::NextHit(uint32_t record, uint32_t word,
                                       StatusCodeT* status) {
  *status = StatusNoError;
  MatchCounter = 1;
  if (InstanceCount == 0) {
    *status = StatusEndOfVector;
    return;
  }
  TermInstanceT target;
  target.RecordNumber = record;
  target.WordPosition = word;
  uint32_t from = CurrentIndex + 1;
  for (;;) {
    TermInstanceT* end = Buffer + WindowCount();
    TermInstanceT* found = std::lower_bound(Buffer + from, end, target, HitBefore);
    if (found != end) {
      PointAt(static_cast<uint32_t>(found - Buffer));
      return;
    }
    if (WindowBase + WindowCount() >= InstanceCount) {
      // Ran off the end: stand on the last hit.
      PointAt(WindowCount() - 1);
      *status = StatusEndOfVector;
      return;
    }
    if (!LoadWindow(WindowBase + Capacity, status)) return;
    PointAt(0);
    from = 0;
  }
}

void UncompressedQueryVectorT::SwapContents(UncompressedQueryVectorT* other) {
  using std::swap;
  // A vector without entries stands on its own Instance; it goes with it.
  const bool mineOnInstance = CurrentInstance == &Instance;
  const bool otherOnInstance = other->CurrentInstance == &other->Instance;
  swap(CurrentInstance, other->CurrentInstance);
  if (otherOnInstance) CurrentInstance = &Instance;
  if (mineOnInstance) other->CurrentInstance = &other->Instance;
  swap(PhraseOffset, other->PhraseOffset);
  swap(ItemsToDecode, other->ItemsToDecode);
  swap(PostingCount, other->PostingCount);
  swap(TermRecordCount, other->TermRecordCount);
  swap(RecordCount, other->RecordCount);
  swap(HitCount, other->HitCount);
  swap(InstanceCount, other->InstanceCount);
  swap(LastRecordAdded, other->LastRecordAdded);
  swap(LastWordAdded, other->LastWordAdded);
  swap(Instance, other->Instance);
  swap(MatchCounter, other->MatchCounter);
  swap(RankingModifier, other->RankingModifier);
  swap(Ranked, other->Ranked);
  swap(BufferValid, other->BufferValid);
  swap(HitKind, other->HitKind);
  swap(SpillFile, other->SpillFile);
  swap(Buffer, other->Buffer);
  swap(Capacity, other->Capacity);
  swap(Allocated, other->Allocated);
  swap(CurrentIndex, other->CurrentIndex);
  swap(WindowBase, other->WindowBase);
  swap(Dirty, other->Dirty);
}

void UncompressedQueryVectorT::SeekEntry(uint32_t index, StatusCodeT* status) {
  *status = StatusNoError;
  MatchCounter = 1;
  if (index >= InstanceCount) {
    *status = StatusEndOfVector;
    return;
  }
  const uint32_t base = index / Capacity * Capacity;
  if (LoadWindow(base, status)) PointAt(index - base);
}

void UncompressedQueryVectorT::Rewind(StatusCodeT* status) {
  *status = StatusNoError;
  MatchCounter = 1;
  if (InstanceCount == 0) {
    CurrentInstance = &Instance;
    return;
  }
  if (LoadWindow(0, status)) PointAt(0);
}

void UncompressedQueryVectorT::PreviousHit(HitRecT* hit, StatusCodeT* status) {
  *status = StatusNoError;
  if (InstanceCount == 0) {
    *hit = HitRecT();
    *status = StatusEndOfVector;
    return;
  }
  if (CurrentIndex > 0) {
    PointAt(CurrentIndex - 1);
  } else if (WindowBase > 0) {
    if (!LoadWindow(WindowBase - Capacity, status)) return;
    PointAt(Capacity - 1);
  } else {
    *status = StatusEndOfVector;
  }
  hit->RecordNumber = CurrentRecord();
  hit->WordPosition = CurrentWord();
}

// The moves by record step through the entries with this class's own steps:
// a derived vector's steps may do more than move (lazy_hits_vector.h).
void UncompressedQueryVectorT::PreviousRecord(StatusCodeT* status) {
  *status = StatusNoError;
  uint32_t start = CurrentRecord();
  HitRecT hit;
  do {
    UncompressedQueryVectorT::PreviousHit(&hit, status);
  } while (*status == StatusNoError && hit.RecordNumber == start);
}

void UncompressedQueryVectorT::NextRecord(StatusCodeT* status) {
  *status = StatusNoError;
  uint32_t start = CurrentRecord();
  do {
    UncompressedQueryVectorT::NextHit(status);
  } while (*status == StatusNoError && CurrentRecord() == start);
}

void UncompressedQueryVectorT::Current(HitRecT* hit, StatusCodeT* status) {
  *status = StatusNoError;
  if (InstanceCount == 0) {
    *status = StatusNoCurrentHit;
    return;
  }
  hit->RecordNumber = CurrentRecord();
  hit->WordPosition = CurrentWord();
}

void UncompressedQueryVectorT::Append(QueryVectorBaseT* source,
                                      uint32_t recordOffset,
                                      StatusCodeT* status) {
  *status = StatusNoError;
  source->Rewind(status);
  if (*status < 0) return;
  *status = StatusNoError;
  if (!source->IsPositioned()) return;
  for (;;) {
    TermInstanceT instance = source->CurrentHit();
    instance.RecordNumber += recordOffset;
    AddInstance(&instance, status);
    if (*status < 0) return;
    StatusCodeT step = StatusNoError;
    source->NextHit(&step);
    if (step < 0) {
      *status = step;
      return;
    }
    if (step == StatusEndOfVector) return;
  }
}
