// UncompressedQueryVectorT: hits produced in memory (by a query operation, an
// expansion, ranking or the host). The vector keeps one window of entries in
// memory; when it grows past that window, full windows go to a private
// temporary spill file and the vector walks them forward and backward by
// reading the window it needs. Windows are aligned on multiples of the
// capacity. Entries are written to the spill file as raw 16-byte images in
// the machine's byte order: the file lives only as long as the vector.
//
// The vector is filled by AddInstance or Append (entries are always added at
// the end), then rewound and walked. A filled vector that was not rewound
// stands on its last hit.

#ifndef TARVIS_QUERY_UNCOMPRESSED_VECTOR_H_
#define TARVIS_QUERY_UNCOMPRESSED_VECTOR_H_

#include <cstdint>

#include "query/query_vector.h"

class FileClassT;

// Byte sizes the query operations create their vectors with.
constexpr uint32_t kWorkVectorBytes = 102400;
constexpr uint32_t kScratchVectorBytes = 100;
constexpr uint32_t kResultVectorBytes = 4096;

// Hit kinds of an uncompressed vector.
constexpr uint32_t kWordHits = 2;    // some entry carries a word position
constexpr uint32_t kRecordHits = 3;  // every entry has word position 1

class UncompressedQueryVectorT : public QueryVectorBaseT {
 public:
  // A window of sizeInBytes / 16 entries (at least one), allocated as it
  // fills. StatusNotEnoughMemory when it cannot be allocated; BufferValid is
  // then 0 and adding fails.
  UncompressedQueryVectorT(uint32_t sizeInBytes, StatusCodeT* status);
  ~UncompressedQueryVectorT() override;

  void NextHit(StatusCodeT* status) override;
  void NextHit(uint32_t record, uint32_t word, StatusCodeT* status) override;
  // Stands on the first hit.
  void Rewind(StatusCodeT* status) override;
  int HoldsRecordHitsOnly() const override { return HitKind == kRecordHits; }
  // Steps back one hit and reports it; at the first hit reports it with
  // status 1.
  virtual void PreviousHit(HitRecT* hit, StatusCodeT* status);
  // Steps back to the last hit of the previous record.
  virtual void PreviousRecord(StatusCodeT* status);
  // Steps forward to the first hit of the next record.
  virtual void NextRecord(StatusCodeT* status);
  // The current hit; StatusNoCurrentHit on an empty vector.
  virtual void Current(HitRecT* hit, StatusCodeT* status);
  // Adds every hit of source from its first (a compressed source: from where
  // it stands), recordOffset added to each record number.
  virtual void Append(QueryVectorBaseT* source, uint32_t recordOffset,
                      StatusCodeT* status);
  // Adds one entry at the end. A failure stores nothing and changes no count.
  virtual void AddInstance(const TermInstanceT* instance, StatusCodeT* status);

  // The index of the entry the vector stands on (0 when it holds none).
  uint32_t CurrentEntry() const {
    return InstanceCount == 0 ? 0 : WindowBase + CurrentIndex;
  }
  // Stands on entry index; StatusEndOfVector, not moving, beyond the last.
  void SeekEntry(uint32_t index, StatusCodeT* status);
  // Exchanges everything the two vectors hold (hits, counts, spill files and
  // positions) but their kinds.
  void SwapContents(UncompressedQueryVectorT* other);

  void SetRankedVectorFlag() { Ranked = 1; }
  uint32_t EntryCapacity() const { return Capacity; }
  int HasSpillFile() const { return SpillFile != nullptr; }

  int Ranked = 0;
  int BufferValid = 0;
  uint32_t HitKind = kRecordHits;

 private:
  uint32_t WindowCount() const;
  // Makes the buffer hold entries (at most Capacity) entries; 0 when it
  // cannot be allocated (the buffer is kept).
  int GrowBuffer(uint32_t entries);
  // GrowBuffer for at least entries, doubling; StatusNotEnoughMemory on
  // failure.
  int MakeRoom(uint32_t entries, StatusCodeT* status);
  // Makes the tail window the buffer's content with room for the next entry
  // at *index; 0 with a status on failure.
  int MakeTailRoom(uint32_t* index, StatusCodeT* status);
  void PointAt(uint32_t index);
  // Writes a window holding entries not yet in the spill file back to it.
  int WriteBackWindow(StatusCodeT* status);
  // Makes the window starting at entry base the buffer's content.
  int LoadWindow(uint32_t base, StatusCodeT* status);
  int OpenSpillFile(StatusCodeT* status);

  FileClassT* SpillFile = nullptr;
  TermInstanceT* Buffer = nullptr;
  uint32_t Capacity = 0;   // entries of a window
  uint32_t Allocated = 0;  // entries the buffer holds now, up to Capacity
  uint32_t CurrentIndex = 0;
  uint32_t WindowBase = 0;
  int Dirty = 0;
};

#endif  // TARVIS_QUERY_UNCOMPRESSED_VECTOR_H_
