// IndexManagerT queries: a Boolean query runs in every loaded partition and
// the partitions' hits are joined in partition order, which is record order
// across the index.

#include "manager/index_manager.h"


#include "manager/record_deleter.h"
#include "query/partition_reader.h"
#include "query/query_options.h"

UncompressedQueryVectorT* IndexManagerT::ProcessQuery(
    const unsigned char* query, StatusCodeT* status) {
  if (!RequireRetrieval(status)) return nullptr;
  if (Loaded.PartitionCount() == 0) {
    *status = StatusNotInitializedForSearching;
    return nullptr;
  }
  QueryOptionsT options;
  options.StartTime = Now();
  // The readers parse the text and never write it.
  unsigned char* text = const_cast<unsigned char*>(query);
  UncompressedQueryVectorT* joined = nullptr;
  StatusCodeT s = StatusNoError;
  for (uint32_t i = 0; i < Loaded.PartitionCount() && s >= 0; ++i) {
    UncompressedQueryVectorT* hits = Loaded.Reader(i)->ProcessQuery(
        nullptr, text, &options, Index.Deleted(), &s);
    if (hits == nullptr || s < 0) {
      if (s >= 0) s = StatusGeneralError;
      delete hits;
    } else if (joined == nullptr) {
      // The first partition's records are numbered from 1 already.
      joined = hits;
    } else {
      joined->Append(hits, Loaded.Reader(i)->RecordsBefore(), &s);
      delete hits;
    }
  }
  if (s >= 0) joined->Rewind(&s);
  if (s < 0) {
    delete joined;
    *status = s;
    return nullptr;
  }
  return joined;
}
