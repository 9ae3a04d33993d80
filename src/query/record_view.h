// RecordViewVectorT: a vector seen record by record. It stands for one hit
// per record the vector it views holds, at word position 1, with count 1 and
// weight 1, and steps from record to record without producing the hits in
// between: a word-mode term passes whole blocks of its postings inside a
// record unread. Boolean operators need only their operands' records, so an
// operand viewed this way gives them exactly the records it would give
// walked hit by hit.

#ifndef TARVIS_QUERY_RECORD_VIEW_H_
#define TARVIS_QUERY_RECORD_VIEW_H_

#include <cstdint>

#include "query/query_vector.h"

constexpr uint32_t kRecordViewKind = 104;

class RecordViewVectorT final : public QueryVectorBaseT {
 public:
  // Takes viewed, standing on its first hit (or empty), and owns it.
  explicit RecordViewVectorT(QueryVectorBaseT* viewed);
  ~RecordViewVectorT() override;

  void NextHit(StatusCodeT* status) override;
  void NextHit(uint32_t record, uint32_t word, StatusCodeT* status) override;
  void Rewind(StatusCodeT* status) override;
  void PassRecord(uint32_t* hits, StatusCodeT* status) override;
  int HoldsRecordHitsOnly() const override { return 1; }

 private:
  // Takes the viewed vector's current record as the view's hit.
  void Follow();

  QueryVectorBaseT* Viewed;
};

#endif  // TARVIS_QUERY_RECORD_VIEW_H_
