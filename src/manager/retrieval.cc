// IndexManagerT and retrieval sessions: loading the partitions for
// retrieval (loaded_partitions.h), and the deleted-record set that queries
// consult, changed by the host during a session.

#include "manager/index_manager.h"
#include "manager/record_deleter.h"
#include "query/vector_buffer_pool.h"

void IndexManagerT::StartRetrievalSession(StatusCodeT* status) {
  if (!RequireIndex(status) || Loaded.Retrieving()) return;
  if (!Loaded.AreLoaded() && !Commits.LoadCurrentPartitions(status)) return;
  Loaded.SetRetrieving(1);
  OpenVectorBufferPool();
}

void IndexManagerT::EndRetrievalSession(StatusCodeT* status) {
  if (!RequireIndex(status)) return;
  if (Loaded.Retrieving()) CloseVectorBufferPool();
  Loaded.SetRetrieving(0);
  Loaded.Unload();
}

void IndexManagerT::LoadPartitions(StatusCodeT* status) {
  if (!RequireIndex(status)) return;
  Loaded.LoadPartitions(status);
}

void IndexManagerT::LoadPartition(uint32_t position, StatusCodeT* status) {
  if (!RequireIndex(status)) return;
  Loaded.LoadPartition(position, status);
}

void IndexManagerT::CountRecsBeforePartitions() {
  Loaded.CountRecsBeforePartitions();
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

void IndexManagerT::ApplyToRecords(const unsigned long* records,
                                   unsigned long count, DeleterOpT op,
                                   StatusCodeT* status) {
  if (!RequireRetrieval(status) || !ListGiven(records, count, status)) return;
  TarvisRecordDeleterT* deleted = Index.Deleted();
  for (unsigned long i = 0; i < count; ++i) {
    if (!RecordInRange(records[i], status)) continue;
    const uint32_t record = static_cast<uint32_t>(records[i]);
    const int was = deleted->IsRecordDeleted(record);
    (deleted->*op)(record, status);
    // Only what this manager changed is written back over the list on disk
    // (index_commit.h).
    const int now = deleted->IsRecordDeleted(record);
    if (now != was) Index.RecordOwnChange(record, now != 0);
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
  return Index.Deleted()->IsRecordDeleted(static_cast<uint32_t>(record));
}

uint32_t IndexManagerT::GetNumberOfRecordsDeleted(StatusCodeT* status) {
  if (!RequireRetrieval(status)) return 0;
  return Index.Deleted()->GetNumberOfRecordsDeleted();
}

void IndexManagerT::OutputDeletedRecords(unsigned long* records,
                                         StatusCodeT* status) {
  if (!RequireRetrieval(status)) return;
  if (records == nullptr) {
    *status = StatusMalformedParameter;
    return;
  }
  Index.Deleted()->OutputDeletedRecords(records);
}
