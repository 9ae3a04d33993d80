// RecordRangeVectorT: the hits of a vector that lie in a range of records.
// Evaluating a query over its leaves seen this way gives exactly the query's
// hits in those records, since every operator decides each record on that
// record's hits alone: a result can produce the hits of the records a host
// reaches without producing the others.

#ifndef TARVIS_QUERY_RECORD_RANGE_H_
#define TARVIS_QUERY_RECORD_RANGE_H_

#include <cstdint>

#include "query/query_vector.h"

constexpr uint32_t kRecordRangeKind = 105;

class RecordRangeVectorT final : public QueryVectorBaseT {
 public:
  // Takes viewed, standing on its first hit (or empty), and owns it; the
  // range runs from record first to record last, both included.
  RecordRangeVectorT(QueryVectorBaseT* viewed, uint32_t first, uint32_t last,
                     StatusCodeT* status);
  ~RecordRangeVectorT() override;

  void NextHit(StatusCodeT* status) override;
  void NextHit(uint32_t record, uint32_t word, StatusCodeT* status) override;
  void Rewind(StatusCodeT* status) override;
  int HoldsRecordHitsOnly() const override {
    return Viewed->HoldsRecordHitsOnly();
  }

 private:
  // After the viewed vector moved with status: takes its hit when it lies
  // in the range, else ends the view on the hit it stood on.
  void Follow(StatusCodeT* status);
  // Moves the viewed vector to the range's first record and takes its hit.
  void Enter(StatusCodeT* status);

  QueryVectorBaseT* Viewed;
  uint32_t First;
  uint32_t Last;
  int Ended = 0;
};

#endif  // TARVIS_QUERY_RECORD_RANGE_H_
