// DeletedRecordSetT: what the query layer knows of deleted records. The index
// manager's deletion set implements it; query operations only ask whether a
// record, numbered across the whole index, is deleted.

#ifndef TARVIS_QUERY_DELETED_RECORDS_H_
#define TARVIS_QUERY_DELETED_RECORDS_H_

#include <cstdint>

class DeletedRecordSetT {
 public:
  virtual ~DeletedRecordSetT() = default;
  // 1 when the record is deleted, else 0.
  virtual int IsRecordDeleted(uint32_t record) const = 0;
  // 0 when no record at all is deleted, so that queries need not ask.
  virtual int HasDeletedRecords() const { return 1; }
};

#endif  // TARVIS_QUERY_DELETED_RECORDS_H_
