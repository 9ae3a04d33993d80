// QueryPartitions: running a query partition by partition and joining the
// results.

#include "query/query_partitions.h"

#include "query/partition_reader.h"
#include "storage/allocation.h"

UncompressedQueryVectorT* QueryPartitions(
    const std::vector<PartitionReaderT*>& readers, const unsigned char* query,
    QueryOptionsT* options, DeletedRecordSetT* deleted, StatusCodeT* status) {
  // The readers parse the text and never write it.
  unsigned char* text = const_cast<unsigned char*>(query);
  UncompressedQueryVectorT* joined = nullptr;
  StatusCodeT s = StatusNoError;
  for (PartitionReaderT* reader : readers) {
    const uint64_t first = uint64_t{reader->RecordsBefore()} + 1;
    const uint64_t last = first + reader->RecordCount() - 1;
    if (last < options->FirstRecord || first > options->LastRecord) continue;
    UncompressedQueryVectorT* hits =
        reader->ProcessQuery(nullptr, text, options, deleted, &s);
    if (hits == nullptr || s < 0) {
      if (s >= 0) s = StatusGeneralError;
      delete hits;
      break;
    }
    if (joined == nullptr && first == 1) {
      // The first partition's records are numbered from 1 already.
      joined = hits;
      continue;
    }
    if (joined == nullptr) {
      joined = NewOrStatus<UncompressedQueryVectorT>(&s, kWorkVectorBytes, &s);
    }
    if (joined != nullptr && s >= 0) {
      joined->Append(hits, reader->RecordsBefore(), &s);
    }
    delete hits;
    if (s < 0) break;
  }
  // No partition holds a record of the range: an empty result.
  if (s >= 0 && joined == nullptr) {
    joined = NewOrStatus<UncompressedQueryVectorT>(&s, kWorkVectorBytes, &s);
  }
  if (s >= 0) joined->Rewind(&s);
  if (s < 0) {
    delete joined;
    *status = s;
    return nullptr;
  }
  return joined;
}
