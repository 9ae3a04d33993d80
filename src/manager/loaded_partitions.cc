// LoadedPartitionsT: loading partitions of either kind of index, unloading
// them, and numbering and measuring the loaded ones.

#include "manager/loaded_partitions.h"

#include <utility>

#include "manager/held_partitions.h"
#include "manager/index_file.h"
#include "manager/location_table.h"
#include "manager/record_deleter.h"
#include "query/partition_reader.h"
#include "storage/file_status.h"
#include "storage/fileclas.h"

namespace {

// Closes and destroys a file object, leaving the file on disk.
void ReleaseFile(FileClassT*& file) {
  if (file == nullptr) return;
  file->Close();
  delete file;
  file = nullptr;
}

}  // namespace

LoadedPartitionsT::LoadedPartitionsT(IndexFileT* index,
                                     LocationTableT* locations,
                                     ReaderFactoryT newReader)
    : Index(index), Locations(locations), NewReader(std::move(newReader)) {}

LoadedPartitionsT::~LoadedPartitionsT() { Unload(); }

const DeletedRecordSetT* LoadedPartitionsT::DeletedRecords() const {
  return Index->Deleted();
}

// ---- Loading ----------------------------------------------------------------

int LoadedPartitionsT::LoadAll(StatusCodeT* status) {
  StatusCodeT s = StatusNoError;
  // Distributed partitions live in files of their own, found through the
  // location table. The index is loaded with every partition or none.
  if (Index->Header().IsDistributed()) {
    LoadDistributed(0, &s);
  } else {
    LoadPartitions(&s);
  }
  if (s < 0) {
    Unload();
    *status = s;
    return 0;
  }
  return 1;
}

int LoadedPartitionsT::LoadAllUnlessLoaded(StatusCodeT* status) {
  return (AllLoaded && Loaded == Index->Header().PartitionCount) ||
         LoadAll(status);
}

void LoadedPartitionsT::LoadPartitions(StatusCodeT* status) {
  Unload();
  const IndexHeaderInfoT& h = Index->Header();
  uint32_t position = h.FirstPartitionPosition;
  StatusCodeT s = StatusNoError;
  for (uint32_t i = 0; i < h.PartitionCount && s == StatusNoError; ++i) {
    LoadPartition(position, &s);
    if (s < 0) break;
    // Partitions lie back to back from the first to the last position.
    const uint32_t next = position + Readers[i]->PartitionLength();
    const bool last = i + 1 == h.PartitionCount;
    if (last ? position != h.LastPartitionPosition
             : next > h.LastPartitionPosition) {
      s = StatusNotIndexFile;
    }
    position = next;
  }
  if (s < 0) {
    Unload();
    *status = s;
    return;
  }
  CountRecsBeforePartitions();
  AllLoaded = 1;
}

void LoadedPartitionsT::LoadPartition(uint32_t position, StatusCodeT* status) {
  const uint32_t n = Loaded;
  if (n >= kMaxPartitions) {
    *status = StatusGeneralError;
    return;
  }
  // A partition starts after the header and ends by the append position.
  const uint32_t limit = Index->Header().AppendPosition;
  if (position < Index->HeaderEnd() || position >= limit) {
    *status = StatusNotIndexFile;
    return;
  }
  FileClassT* file = Index->File();
  if (!FileCall(file->Seek(position), StatusSeekError, status)) return;
  PartitionReaderT* reader = NewReader(n);
  if (reader == nullptr) {
    *status = StatusNotEnoughMemory;
    return;
  }
  StatusCodeT s = StatusNoError;
  if (!reader->ReadHeader(file, &s) || s < 0) {
    if (s == StatusNoError) s = StatusReadError;
  } else if (reader->PartitionLength() == 0 ||
             reader->PartitionLength() > limit - position ||
             !Place(n, reader, nullptr, position)) {
    s = StatusNotIndexFile;
  }
  if (s < 0) {
    delete reader;
    *status = s;
    return;
  }
  Index->Deleted()->BringRecordsOnLine(reader->RecordCount());
}

void LoadedPartitionsT::LoadDistributed(uint32_t first, StatusCodeT* status) {
  if (first > Loaded) {
    *status = StatusMalformedParameter;
    return;
  }
  UnloadFrom(first);
  for (uint32_t i = first; i < Index->Header().PartitionCount; ++i) {
    StatusCodeT s = StatusNoError;
    LoadDistributedPartition(i, &s);
    if (s < 0) {
      *status = s;
      return;
    }
  }
  CountRecsBeforePartitions();
  AllLoaded = 1;
}

int LoadedPartitionsT::OpenDistributedPartition(uint32_t i, const char* path,
                                                PartitionReaderT** reader,
                                                FileClassT** file,
                                                StatusCodeT* status) {
  FileClassT* opened =
      NewOpenFile(path, kFileReadOnly, StatusCannotOpenFile, status);
  if (opened == nullptr) return 0;
  opened->SetBuff(nullptr, 8192);
  PartitionReaderT* loaded = NewReader(i);
  StatusCodeT s = StatusNoError;
  if (loaded == nullptr) {
    s = StatusNotEnoughMemory;
  } else if (!opened->Seek(0)) {
    s = StatusSeekError;
  } else if (!loaded->ReadHeader(opened, &s)) {
    if (s == StatusNoError) s = StatusReadError;
  } else if (loaded->IndexMode() != Index->Header().IndexMode) {
    s = StatusNotIndexFile;
  }
  if (s < 0) {
    delete loaded;
    ReleaseFile(opened);
    *status = s;
    return 0;
  }
  *reader = loaded;
  *file = opened;
  return 1;
}

void LoadedPartitionsT::LoadDistributedPartition(uint32_t i,
                                                 StatusCodeT* status) {
  if (i >= Index->Header().PartitionCount || i > Loaded) {
    *status = StatusPartitionNotFound;
    return;
  }
  char path[kLocationBytes];
  StatusCodeT s = StatusNoError;
  Locations->Read(i, path, &s);
  PartitionReaderT* reader = nullptr;
  FileClassT* file = nullptr;
  if (s < 0 || !OpenDistributedPartition(i, path, &reader, &file, &s)) {
    *status = s;
    return;
  }
  if (!Place(i, reader, file, 0)) {
    delete reader;
    ReleaseFile(file);
    *status = StatusNotIndexFile;
    return;
  }
  TarvisRecordDeleterT* deleted = Index->Deleted();
  const uint32_t onLine = deleted->RecordsOnLine();
  if (TotalRecords > onLine) deleted->BringRecordsOnLine(TotalRecords - onLine);
}

void LoadedPartitionsT::LoadAdded(StatusCodeT* status) {
  const IndexHeaderInfoT& h = Index->Header();
  const uint32_t count = h.PartitionCount;
  const uint32_t loaded = Loaded;
  // A retrieval session begun on an index without partitions has none
  // loaded, and answers from those it gains.
  if (!(AllLoaded || RetrievalSession) || loaded >= count) return;
  StatusCodeT s = StatusNoError;
  if (h.IsDistributed()) {
    for (uint32_t i = loaded; i < count && s == StatusNoError; ++i) {
      LoadDistributedPartition(i, &s);
    }
  } else {
    // Partitions are appended back to back after the last one loaded.
    uint32_t position =
        loaded == 0
            ? h.FirstPartitionPosition
            : Positions[loaded - 1] + Readers[loaded - 1]->PartitionLength();
    for (uint32_t i = loaded; i < count && s == StatusNoError; ++i) {
      LoadPartition(position, &s);
      if (s == StatusNoError) position += Readers[i]->PartitionLength();
    }
    if (s == StatusNoError && Positions[count - 1] != h.LastPartitionPosition) {
      s = StatusNotIndexFile;
    }
  }
  if (s < 0) {
    RollBack(loaded, AllLoaded);
    *status = s;
    return;
  }
  CountRecsBeforePartitions();
  AllLoaded = 1;
}

int LoadedPartitionsT::Place(uint32_t i, PartitionReaderT* reader,
                             FileClassT* file, uint32_t position) {
  const bool replacing = i < Loaded;
  const uint64_t others =
      TotalRecords - (replacing ? Readers[i]->RecordCount() : 0);
  if (others + reader->RecordCount() > UINT32_MAX) return 0;
  if (replacing) {
    delete Readers[i];
    ReleaseFile(Files[i]);
  } else {
    Loaded = i + 1;
  }
  Readers[i] = reader;
  Files[i] = file;
  Positions[i] = position;
  Held.reset();
  TotalRecords = static_cast<uint32_t>(others + reader->RecordCount());
  CountRecsBeforePartitions();
  return 1;
}

void LoadedPartitionsT::UnloadFrom(uint32_t first) {
  for (uint32_t i = first; i < Loaded; ++i) {
    delete Readers[i];
    Readers[i] = nullptr;
    Positions[i] = 0;
    ReleaseFile(Files[i]);
  }
  if (first < Loaded) Loaded = first;
  Held.reset();
  const PartitionReaderT* last = Loaded > 0 ? Readers[Loaded - 1] : nullptr;
  TotalRecords =
      last != nullptr ? last->RecordsBefore() + last->RecordCount() : 0;
  AllLoaded = 0;
}

void LoadedPartitionsT::RollBack(uint32_t count, int wereLoaded) {
  UnloadFrom(count);
  AllLoaded = wereLoaded;
}

void LoadedPartitionsT::CountRecsBeforePartitions() {
  Held.reset();
  uint32_t before = 0;
  for (uint32_t i = 0; i < Loaded; ++i) {
    Readers[i]->SetRecordsBefore(before);
    before += Readers[i]->RecordCount();
  }
}

std::shared_ptr<HeldPartitionsT> LoadedPartitionsT::HeldFiles() {
  if (Held == nullptr) Held = HeldPartitionsT::Hold(*this);
  return Held;
}

// ---- Numbering and measuring ------------------------------------------------

int LoadedPartitionsT::FindPartitionOfRecord(
    uint32_t record, uint32_t* partition, uint32_t* recordInPartition) const {
  if (record == 0 || record > TotalRecords) return 0;
  // The first partition whose records reach the number.
  uint32_t low = 0;
  uint32_t high = Loaded - 1;
  while (low < high) {
    uint32_t middle = low + (high - low) / 2;
    const PartitionReaderT* r = Readers[middle];
    if (r->RecordsBefore() + r->RecordCount() < record) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  *partition = low;
  *recordInPartition = record - Readers[low]->RecordsBefore();
  return 1;
}

void LoadedPartitionsT::GetPartitionLength(uint32_t* bytes, uint32_t* records,
                                           uint32_t i) const {
  const PartitionReaderT* reader = Reader(i);
  *bytes = reader != nullptr ? reader->PartitionLength() : 0;
  *records = reader != nullptr ? reader->RecordCount() : 0;
}

void LoadedPartitionsT::GetPartitionSpanLength(uint32_t* bytes,
                                               uint32_t* records,
                                               uint32_t first,
                                               uint32_t last) const {
  *bytes = 0;
  *records = 0;
  uint64_t total = 0;
  for (uint32_t i = first; i <= last && i < Loaded; ++i) {
    total += Readers[i]->PartitionLength();
    if (total > kMaxPartitionSpan) {
      *bytes = UINT32_MAX;
      return;
    }
    *bytes = static_cast<uint32_t>(total);
    *records += Readers[i]->RecordCount();
  }
}
