// QueryPartitions: one Boolean query over several partitions of an index.
// The query runs in each partition that holds records of the options' range,
// and the partitions' hits are joined in partition order, which is record
// order across the index: each reader's records-before number turns its
// record numbers into the index's.

#ifndef TARVIS_QUERY_QUERY_PARTITIONS_H_
#define TARVIS_QUERY_QUERY_PARTITIONS_H_

#include <vector>

#include "query/deleted_records.h"
#include "query/query_options.h"
#include "query/uncompressed_vector.h"

class PartitionReaderT;

// The joined result, rewound and owned by the caller, or null with a
// negative status. options is required; deleted may be null (no record is
// left out).
UncompressedQueryVectorT* QueryPartitions(
    const std::vector<PartitionReaderT*>& readers, const unsigned char* query,
    QueryOptionsT* options, DeletedRecordSetT* deleted, StatusCodeT* status);

#endif  // TARVIS_QUERY_QUERY_PARTITIONS_H_
