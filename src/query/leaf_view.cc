// ApplyLeafView: a term vector seen through a record range and a record view.

#include "query/leaf_view.h"

#include "query/record_range.h"
#include "query/record_view.h"
#include "storage/allocation.h"

QueryVectorBaseT* ApplyLeafView(QueryVectorBaseT* vector, const LeafViewT& view,
                                StatusCodeT* status) {
  if (view.FirstRecord > 1 || view.LastRecord < UINT32_MAX) {
    StatusCodeT entered = StatusNoError;
    RecordRangeVectorT* range = NewOrStatus<RecordRangeVectorT>(
        status, vector, view.FirstRecord, view.LastRecord, &entered);
    if (range == nullptr) {
      delete vector;
      return nullptr;
    }
    if (entered < 0) {
      delete range;
      *status = entered;
      return nullptr;
    }
    vector = range;
  }
  if (view.ByRecord && !vector->HoldsRecordHitsOnly()) {
    RecordViewVectorT* records = NewOrStatus<RecordViewVectorT>(status, vector);
    if (records == nullptr) {
      delete vector;
      return nullptr;
    }
    vector = records;
  }
  return vector;
}
