// IndexManagerT and retrieval sessions: loading one reader per partition,
// numbering records across the index, and the deleted-record set that
// queries consult.

#include "manager/index_manager.h"
#include "manager/record_deleter.h"
#include "query/partition_reader.h"
#include "query/vector_buffer_pool.h"
#include "storage/fileclas.h"

void IndexManagerT::StartRetrievalSession(StatusCodeT* status) {
  if (!RequireIndex(status) || RetrievalSession) return;
  if (!PartitionsLoaded && !LoadCurrentPartitions(status)) return;
  RetrievalSession = 1;
  OpenVectorBufferPool();
}

int IndexManagerT::LoadAllPartitions(StatusCodeT* status) {
  StatusCodeT s = StatusNoError;
  // Distributed partitions live in files of their own, found through the
  // location table. The index is loaded with every partition or none.
  if (CurrentHeader->IsDistributed()) {
    LoadDistributedIndexForRetrieval(0, &s);
  } else {
    LoadPartitions(&s);
  }
  if (s < 0) {
    UnloadPartitions();
    *status = s;
    return 0;
  }
  return 1;
}

void IndexManagerT::EndRetrievalSession(StatusCodeT* status) {
  if (!RequireIndex(status)) return;
  if (RetrievalSession) CloseVectorBufferPool();
  RetrievalSession = 0;
  UnloadPartitions();
}

void IndexManagerT::UnloadPartitions() { UnloadPartitionsFrom(0); }

void IndexManagerT::UnloadPartitionsFrom(uint32_t first) {
  for (uint32_t i = first; i < LoadedPartitionCount; ++i) {
    delete Readers[i];
    Readers[i] = nullptr;
    PartitionPositions[i] = 0;
    if (FileClassT*& file = PartitionFiles[i]) {
      file->Close();
      delete file;
      file = nullptr;
    }
  }
  if (first < LoadedPartitionCount) LoadedPartitionCount = first;
  const PartitionReaderT* last =
      LoadedPartitionCount > 0 ? Readers[LoadedPartitionCount - 1] : nullptr;
  TotalRecordCount =
      last != nullptr ? last->RecordsBefore() + last->RecordCount() : 0;
  PartitionsLoaded = 0;
}

void IndexManagerT::LoadPartitions(StatusCodeT* status) {
  UnloadPartitions();
  const IndexHeaderInfoT& h = *CurrentHeader;
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
    UnloadPartitions();
    *status = s;
    return;
  }
  CountRecsBeforePartitions();
  PartitionsLoaded = 1;
}

void IndexManagerT::LoadPartition(uint32_t position, StatusCodeT* status) {
  const uint32_t n = LoadedPartitionCount;
  if (n >= kMaxPartitions) {
    *status = StatusGeneralError;
    return;
  }
  // A partition starts after the header and ends by the append position.
  const uint32_t limit = CurrentHeader->AppendPosition;
  if (position < HeaderEndPosition || position >= limit) {
    *status = StatusNotIndexFile;
    return;
  }
  if (!IndexFile->Seek(position)) {
    *status = StatusSeekError;
    return;
  }
  PartitionReaderT* reader = NewReader(n);
  if (reader == nullptr) {
    *status = StatusNotEnoughMemory;
    return;
  }
  StatusCodeT s = StatusNoError;
  if (!reader->ReadHeader(IndexFile, &s) || s < 0) {
    if (s == StatusNoError) s = StatusReadError;
  } else if (reader->PartitionLength() == 0 ||
             reader->PartitionLength() > limit - position ||
             reader->RecordCount() > UINT32_MAX - TotalRecordCount) {
    s = StatusNotIndexFile;
  }
  if (s < 0) {
    delete reader;
    *status = s;
    return;
  }
  Readers[n] = reader;
  PartitionPositions[n] = position;
  reader->SetRecordsBefore(TotalRecordCount);
  TotalRecordCount += reader->RecordCount();
  DeletedRecords->BringRecordsOnLine(reader->RecordCount());
  LoadedPartitionCount = n + 1;
}

void IndexManagerT::CountRecsBeforePartitions() {
  uint32_t before = 0;
  for (uint32_t i = 0; i < LoadedPartitionCount; ++i) {
    Readers[i]->SetRecordsBefore(before);
    before += Readers[i]->RecordCount();
  }
}

int IndexManagerT::FindPartitionOfRecord(uint32_t record, uint32_t* partition,
                                         uint32_t* recordInPartition) const {
  if (record == 0 || record > TotalRecordCount) return 0;
  // The first partition whose records reach the number.
  uint32_t low = 0;
  uint32_t high = LoadedPartitionCount - 1;
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

// ---- Deleted records --------------------------------------------------------

namespace {

int ListGiven(const unsigned long* records, unsigned long count,
              StatusCodeT* status) {
  if (records != nullptr || count == 0) return 1;
  *status = StatusMalformedParameter;
  return 0;
}

}  // namespace

int IndexManagerT::RequireRetrieval(StatusCodeT* status) const {
  if (IndexFile != nullptr && RetrievalSession) return 1;
  *status = StatusNotInitializedForSearching;
  return 0;
}

int IndexManagerT::RecordInRange(unsigned long record,
                                 StatusCodeT* status) const {
  if (record != 0 && record <= TotalRecordCount) return 1;
  *status = StatusMalformedParameter;
  return 0;
}

void IndexManagerT::ApplyToRecords(const unsigned long* records,
                                   unsigned long count, DeleterOpT op,
                                   StatusCodeT* status) {
  if (!RequireRetrieval(status) || !ListGiven(records, count, status)) return;
  for (unsigned long i = 0; i < count; ++i) {
    if (!RecordInRange(records[i], status)) continue;
    const uint32_t record = static_cast<uint32_t>(records[i]);
    const int was = DeletedRecords->IsRecordDeleted(record);
    (DeletedRecords->*op)(record, status);
    // Only what this manager changed is written back over the list on disk
    // (index_commit.cc).
    const int now = DeletedRecords->IsRecordDeleted(record);
    if (now != was) OwnDeletions.emplace_back(record, now != 0);
  }
}

void IndexManagerT::DeleteRecordNum(unsigned long record, StatusCodeT* status) {
  ApplyToRecords(&record, 1, &TarvisRecordDeleterT::DeleteRecordNum, status);
}

void IndexManagerT::DeleteRecordNums(const unsigned long* records,
                                     unsigned long count, StatusCodeT* status) {
  ApplyToRecords(records, count, &TarvisRecordDeleterT::DeleteRecordNum,
                 status);
}

void IndexManagerT::UnDeleteRecordNum(unsigned long record,
                                      StatusCodeT* status) {
  ApplyToRecords(&record, 1, &TarvisRecordDeleterT::UnDeleteRecordNum, status);
}

void IndexManagerT::UnDeleteRecordNums(const unsigned long* records,
                                       unsigned long count,
                                       StatusCodeT* status) {
  ApplyToRecords(records, count, &TarvisRecordDeleterT::UnDeleteRecordNum,
                 status);
}

int IndexManagerT::IsRecordDeleted(unsigned long record, StatusCodeT* status) {
  if (!RequireRetrieval(status) || record > UINT32_MAX) return 0;
  return DeletedRecords->IsRecordDeleted(static_cast<uint32_t>(record));
}

uint32_t IndexManagerT::GetNumberOfRecordsDeleted(StatusCodeT* status) {
  if (!RequireRetrieval(status)) return 0;
  return DeletedRecords->GetNumberOfRecordsDeleted();
}

void IndexManagerT::OutputDeletedRecords(unsigned long* records,
                                         StatusCodeT* status) {
  if (!RequireRetrieval(status)) return;
  if (records == nullptr) {
    *status = StatusMalformedParameter;
    return;
  }
  DeletedRecords->OutputDeletedRecords(records);
}
