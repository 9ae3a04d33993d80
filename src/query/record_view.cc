// RecordViewVectorT: stepping a viewed vector a record at a time.

#include "query/record_view.h"

RecordViewVectorT::RecordViewVectorT(QueryVectorBaseT* viewed)
    : QueryVectorBaseT(kRecordViewKind), Viewed(viewed) {
  // The record count is exact for every kind; it orders phrase members and
  // sizes nothing else.
  RecordCount = viewed->RecordCount;
  TermRecordCount = viewed->TermRecordCount;
  HitCount = viewed->RecordCount;
  Follow();
}

RecordViewVectorT::~RecordViewVectorT() { delete Viewed; }

void RecordViewVectorT::Follow() {
  Instance = TermInstanceT();
  Instance.RecordNumber = Viewed->CurrentRecord();
  Instance.WordPosition = Instance.RecordNumber != 0 ? 1 : 0;
}

void RecordViewVectorT::NextHit(StatusCodeT* status) {
  uint32_t hits = 0;
  PassRecord(&hits, status);
}

void RecordViewVectorT::PassRecord(uint32_t* hits, StatusCodeT* status) {
  *status = StatusNoError;
  MatchCounter = 1;
  *hits = 1;
  if (!Viewed->IsPositioned()) {
    *status = StatusEndOfVector;
    return;
  }
  uint32_t passed = 0;
  Viewed->PassRecord(&passed, status);
  // At the end the viewed vector keeps standing in the record just passed.
  if (*status == StatusNoError) Follow();
}

// The view's hits stand at word 1: the first one at or after (record, word)
// and after the current one lies in the first record at or after record
// (after it, for a later word) and after the current record.
void RecordViewVectorT::NextHit(uint32_t record, uint32_t word,
                                StatusCodeT* status) {
  *status = StatusNoError;
  MatchCounter = 1;
  const uint32_t current = Instance.RecordNumber;
  if (!Viewed->IsPositioned() || current == UINT32_MAX ||
      (word > 1 && record == UINT32_MAX)) {
    *status = StatusEndOfVector;
    return;
  }
  uint32_t target = word > 1 ? record + 1 : record;
  if (target <= current) target = current + 1;
  Viewed->NextHit(target, 1, status);
  if (*status == StatusNoError) Follow();
}

void RecordViewVectorT::Rewind(StatusCodeT* status) {
  MatchCounter = 1;
  Viewed->Rewind(status);
  if (*status >= 0) Follow();
}
