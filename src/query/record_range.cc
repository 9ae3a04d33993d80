// RecordRangeVectorT: stepping a viewed vector inside a range of records.

#include "query/record_range.h"

RecordRangeVectorT::RecordRangeVectorT(QueryVectorBaseT* viewed,
                                       uint32_t first, uint32_t last,
                                       StatusCodeT* status)
    : QueryVectorBaseT(kRecordRangeKind), Viewed(viewed), First(first),
      Last(last) {
  // An upper bound: only phrase members are ordered by it.
  RecordCount = viewed->RecordCount;
  TermRecordCount = viewed->TermRecordCount;
  HitCount = viewed->HitCount;
  Enter(status);
}

RecordRangeVectorT::~RecordRangeVectorT() { delete Viewed; }

void RecordRangeVectorT::Enter(StatusCodeT* status) {
  *status = StatusNoError;
  Ended = 0;
  Instance = TermInstanceT();
  if (!Viewed->IsPositioned()) return;
  if (Viewed->CurrentRecord() < First) {
    StatusCodeT moved = StatusNoError;
    Viewed->NextHit(First, 1, &moved);
    if (moved < 0) {
      *status = moved;
      return;
    }
    if (moved == StatusEndOfVector) return;
  }
  // The viewed vector is empty to the view when it starts beyond the range.
  if (Viewed->CurrentRecord() <= Last) Instance = Viewed->CurrentHit();
}

void RecordRangeVectorT::Follow(StatusCodeT* status) {
  if (*status < 0) return;
  if (*status == StatusNoError && Viewed->CurrentRecord() <= Last) {
    Instance = Viewed->CurrentHit();
    return;
  }
  Ended = 1;
  *status = StatusEndOfVector;
}

void RecordRangeVectorT::NextHit(StatusCodeT* status) {
  *status = StatusNoError;
  MatchCounter = 1;
  if (!IsPositioned() || Ended) {
    *status = StatusEndOfVector;
    return;
  }
  Viewed->NextHit(status);
  Follow(status);
}

void RecordRangeVectorT::NextHit(uint32_t record, uint32_t word,
                                 StatusCodeT* status) {
  *status = StatusNoError;
  MatchCounter = 1;
  if (!IsPositioned() || Ended) {
    *status = StatusEndOfVector;
    return;
  }
  Viewed->NextHit(record, word, status);
  Follow(status);
}

void RecordRangeVectorT::Rewind(StatusCodeT* status) {
  MatchCounter = 1;
  Viewed->Rewind(status);
  if (*status >= 0) Enter(status);
}
