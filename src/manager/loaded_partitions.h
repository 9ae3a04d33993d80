// LoadedPartitionsT: the partitions of an index loaded for retrieval: one
// reader per partition in partition order, the partition files of a
// distributed index (open while loaded), the partitions' positions in a
// single-file index, and the numbering of records across the index: a
// partition's records follow those of all partitions before it (its
// records-before number).
//
// Partitions are loaded from the index file as its header and location table
// describe them (index_file.h, location_table.h), through a reader factory
// that a derived manager may replace. A partition that runs past the next one
// or past the append position, or whose records would take the index past
// 32-bit record numbers, is refused with StatusNotIndexFile.
//
// The loaded partitions are what ranked retrieval reads (ranked_source.h).
//
// Loading every partition marks them loaded (AreLoaded); during a retrieval
// session they are kept loaded as the index grows, also when it had none.

#ifndef TARVIS_MANAGER_LOADED_PARTITIONS_H_
#define TARVIS_MANAGER_LOADED_PARTITIONS_H_

#include <cstdint>
#include <functional>
#include <memory>

#include "manager/index_header.h"
#include "query/ranked_source.h"
#include "tarvis/tarvis.h"

class FileClassT;
class HeldPartitionsT;
class IndexFileT;
class LocationTableT;
class PartitionReaderT;

class LoadedPartitionsT final : public RankedSourceT {
 public:
  // A new reader for the given partition number; null when it cannot be
  // made.
  using ReaderFactoryT = std::function<PartitionReaderT*(uint32_t)>;

  LoadedPartitionsT(IndexFileT* index, LocationTableT* locations,
                    ReaderFactoryT newReader);
  ~LoadedPartitionsT() override;
  LoadedPartitionsT(const LoadedPartitionsT&) = delete;
  LoadedPartitionsT& operator=(const LoadedPartitionsT&) = delete;

  uint32_t PartitionCount() const override { return Loaded; }
  // Null beyond the loaded partitions.
  PartitionReaderT* Reader(uint32_t i) const override {
    return i < Loaded ? Readers[i] : nullptr;
  }
  // Where loaded partition i starts in a single-file index; 0 in a
  // distributed one.
  uint32_t Position(uint32_t i) const { return Positions[i]; }
  // The records of the loaded partitions.
  uint32_t RecordCount() const override { return TotalRecords; }
  // The index's deleted records.
  const DeletedRecordSetT* DeletedRecords() const override;
  int AreLoaded() const { return AllLoaded; }
  int Retrieving() const { return RetrievalSession; }
  void SetRetrieving(int retrieving) { RetrievalSession = retrieving; }

  // ---- Loading --------------------------------------------------------------

  // Loads every partition, of either kind of index; 1, or 0 with none
  // loaded.
  int LoadAll(StatusCodeT* status);
  // The same, unless every partition of the header is loaded already.
  int LoadAllUnlessLoaded(StatusCodeT* status);
  // Loads the partitions of a single-file index, back to back from the
  // first to the last position.
  void LoadPartitions(StatusCodeT* status);
  // Loads the partition of a single-file index that starts at position as
  // the next loaded one.
  void LoadPartition(uint32_t position, StatusCodeT* status);
  // Loads the partitions of a distributed index from first to the last,
  // replacing those loaded from first on; first at most the loaded count. A
  // partition that cannot be loaded stops the loading with its status; the
  // ones before it stay loaded.
  void LoadDistributed(uint32_t first, StatusCodeT* status);
  // Opens partition i's file from its location and loads it into slot i (i
  // at most the loaded count); a partition already in the slot is replaced
  // only once the new one is loaded.
  void LoadDistributedPartition(uint32_t i, StatusCodeT* status);
  // While partitions are kept loaded, loads those the header counts beyond
  // the loaded ones. On failure the loaded ones stay as they were.
  void LoadAdded(StatusCodeT* status);
  // Puts a loaded reader (and, in a distributed index, its open file) into
  // slot i, at most the loaded count, replacing what was there; the
  // records-before numbers follow. 0, taking nothing, when the records
  // would pass 32-bit record numbers.
  int Place(uint32_t i, PartitionReaderT* reader, FileClassT* file,
            uint32_t position);
  void Unload() { UnloadFrom(0); }
  // Unloads the partitions from first on; the rest are no longer all.
  void UnloadFrom(uint32_t first);
  // Undoes loads that cannot stand: unloads the partitions from count on
  // and puts the loaded mark back to wereLoaded.
  void RollBack(uint32_t count, int wereLoaded);
  // Gives every loaded partition its records-before number.
  void CountRecsBeforePartitions();

  // ---- Numbering and measuring ----------------------------------------------

  // Maps a global record number to a loaded partition and the record number
  // within it; 0 for record 0 or a number beyond the records loaded.
  int FindPartitionOfRecord(uint32_t record, uint32_t* partition,
                            uint32_t* recordInPartition) const;
  // The byte length and records of loaded partition i; 0 and 0 when it is
  // not loaded.
  void GetPartitionLength(uint32_t* bytes, uint32_t* records, uint32_t i) const;
  // The total byte length and records of loaded partitions first to last;
  // the length is FFFFFFFF when it would pass kMaxPartitionSpan (the
  // records are then those counted before).
  void GetPartitionSpanLength(uint32_t* bytes, uint32_t* records,
                              uint32_t first, uint32_t last) const;
  static constexpr uint32_t kMaxPartitionSpan = 0x7FF00000u;

  // The held files of the partitions as loaded now (held_partitions.h),
  // made on first need; any change to the loaded partitions lets them go.
  // Null when they cannot be held.
  std::shared_ptr<HeldPartitionsT> HeldFiles();

 private:
  // Opens and reads the partition at a location; on failure nothing is
  // left.
  int OpenDistributedPartition(uint32_t i, const char* path,
                               PartitionReaderT** reader, FileClassT** file,
                               StatusCodeT* status);

  IndexFileT* Index;
  LocationTableT* Locations;
  ReaderFactoryT NewReader;
  uint32_t Loaded = 0;
  uint32_t TotalRecords = 0;
  int AllLoaded = 0;
  int RetrievalSession = 0;
  PartitionReaderT* Readers[kMaxPartitions] = {};
  // Partition files of a distributed index.
  FileClassT* Files[kMaxPartitions] = {};
  uint32_t Positions[kMaxPartitions] = {};
  std::shared_ptr<HeldPartitionsT> Held;
};

#endif  // TARVIS_MANAGER_LOADED_PARTITIONS_H_
