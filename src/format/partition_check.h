// The integrity check of one partition: its header; its dictionary B-tree
// (storage/btree_check.h) with, for every term, the word information record
// and the posting list decoded to its end (records within the partition and
// strictly increasing, word positions increasing within a record, as many
// records as the word information says); the term count; the compressed
// document weights decoded entry by entry and the plain weight and word
// count tables; and the record data and record ID tables, every pointer
// within its area. Problems go to the report; nothing is trusted that was
// not checked first, so any bytes give a report in bounded time.

#ifndef TARVIS_FORMAT_PARTITION_CHECK_H_
#define TARVIS_FORMAT_PARTITION_CHECK_H_

#include <cstdint>

#include "format/partition_header.h"

class CheckReportT;
class FileClassT;

// Checks the partition whose header lies at position in file; it must end
// by limit. On return *header holds the header read (when it could be read
// and validated; the function then returns 1, else 0) so that the caller
// can go on to the next partition.
int CheckPartition(FileClassT* file, uint32_t position, uint32_t limit,
                   PartitionHeaderT* header, CheckReportT* report);

#endif  // TARVIS_FORMAT_PARTITION_CHECK_H_
