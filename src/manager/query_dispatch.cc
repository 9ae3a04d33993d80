// IndexManagerT queries: a Boolean query runs in every loaded partition and
// the partitions' hits are joined in partition order, which is record order
// across the index. A host's result in a word-mode index holds its records
// first and produces its hits on demand.

#include "manager/index_manager.h"

#include <memory>
#include <utility>
#include <vector>

#include "manager/partition_snapshot.h"
#include "manager/record_deleter.h"
#include "query/lazy_hits_vector.h"
#include "query/partition_reader.h"
#include "query/query_options.h"
#include "query/query_parser.h"
#include "query/query_partitions.h"
#include "storage/allocation.h"

UncompressedQueryVectorT* IndexManagerT::QueryLoaded(const unsigned char* query,
                                                     int recordsOnly,
                                                     StatusCodeT* status) {
  if (!RequireRetrieval(status)) return nullptr;
  if (Loaded.PartitionCount() == 0) {
    *status = StatusNotInitializedForSearching;
    return nullptr;
  }
  QueryOptionsT options;
  options.StartTime = Now();
  options.RecordsOnly = recordsOnly;
  std::vector<PartitionReaderT*> readers;
  for (uint32_t i = 0; i < Loaded.PartitionCount(); ++i) {
    readers.push_back(Loaded.Reader(i));
  }
  return QueryPartitions(readers, query, &options, Index.Deleted(), status);
}

UncompressedQueryVectorT* IndexManagerT::ProcessQuery(
    const unsigned char* query, StatusCodeT* status) {
  return QueryLoaded(query, 0, status);
}

UncompressedQueryVectorT* IndexManagerT::ProcessQueryRecords(
    const unsigned char* query, StatusCodeT* status) {
  return QueryLoaded(query, 1, status);
}

UncompressedQueryVectorT* IndexManagerT::ProcessQueryHitsOnDemand(
    const unsigned char* query, StatusCodeT* status) {
  if (!RequireRetrieval(status)) return nullptr;
  // Only word positions are worth deferring, and only where the records of
  // the result are found without them.
  int positional = Loaded.PartitionCount() > 0;
  for (uint32_t i = 0; i < Loaded.PartitionCount(); ++i) {
    positional = positional && Loaded.Reader(i)->IndexMode() == WORD_MODE;
  }
  positional = positional && QueryParserT::HasBooleanRoot(query);
  std::shared_ptr<HeldPartitionsT> held;
  if (positional) held = Loaded.HeldFiles();
  std::unique_ptr<PartitionSnapshotT> snapshot;
  if (held != nullptr) snapshot.reset(NewOrNull<PartitionSnapshotT>(held, query));
  if (snapshot == nullptr) return ProcessQuery(query, status);
  std::unique_ptr<UncompressedQueryVectorT> records(
      ProcessQueryRecords(query, status));
  if (records == nullptr) return nullptr;
  std::unique_ptr<LazyHitsVectorT> result(NewOrStatus<LazyHitsVectorT>(
      status, records.get(), std::move(snapshot), status));
  if (result == nullptr || *status < 0) {
    if (*status >= 0) *status = StatusNotEnoughMemory;
    return nullptr;
  }
  return result.release();
}
