// LeafViewT: how a query operator looks at the postings of its leaves. A
// Boolean operator of a records-only query needs a term's records only; an
// evaluation that produces the hits of a stretch of records needs the hits
// of those records only. Every term vector of a leaf, each term of a
// wildcard or range expansion included, is seen this way before it is
// combined, so that nothing outside the view is produced.

#ifndef TARVIS_QUERY_LEAF_VIEW_H_
#define TARVIS_QUERY_LEAF_VIEW_H_

#include <cstdint>

#include "query/query_vector.h"

struct LeafViewT {
  // The records only: one hit per record, at word 1 (RecordViewVectorT).
  int ByRecord = 0;
  // The records looked at, both included (RecordRangeVectorT).
  uint32_t FirstRecord = 1;
  uint32_t LastRecord = UINT32_MAX;

  int IsWhole() const {
    return !ByRecord && FirstRecord <= 1 && LastRecord == UINT32_MAX;
  }
};

// vector, standing on its first hit and owned by the call, seen as view
// asks: a new vector that owns it, or vector itself when the view is whole.
// Null with a negative status on failure (vector is then destroyed).
QueryVectorBaseT* ApplyLeafView(QueryVectorBaseT* vector, const LeafViewT& view,
                                StatusCodeT* status);

#endif  // TARVIS_QUERY_LEAF_VIEW_H_
