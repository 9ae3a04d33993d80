// QueryPartitions: running a query partition by partition and joining the
// results.

#include "query/query_partitions.h"

#include "query/partition_reader.h"

UncompressedQueryVectorT* QueryPartitions(
    const std::vector<PartitionReaderT*>& readers, const unsigned char* query,
    QueryOptionsT* options, DeletedRecordSetT* deleted, StatusCodeT* status) {
  // The readers parse the text and never write it.
  unsigned char* text = const_cast<unsigned char*>(query);
  UncompressedQueryVectorT* joined = nullptr;
  StatusCodeT s = StatusNoError;
  for (PartitionReaderT* reader : readers) {
    UncompressedQueryVectorT* hits =
        reader->ProcessQuery(nullptr, text, options, deleted, &s);
    if (hits == nullptr || s < 0) {
      if (s >= 0) s = StatusGeneralError;
      delete hits;
      break;
    }
    if (joined == nullptr) {
      // The first partition's records are numbered from 1 already.
      joined = hits;
    } else {
      joined->Append(hits, reader->RecordsBefore(), &s);
      delete hits;
      if (s < 0) break;
    }
  }
  if (s >= 0 && joined == nullptr) s = StatusGeneralError;
  if (s >= 0) joined->Rewind(&s);
  if (s < 0) {
    delete joined;
    *status = s;
    return nullptr;
  }
  return joined;
}
