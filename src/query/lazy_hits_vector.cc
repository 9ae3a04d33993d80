// LazyHitsVectorT: records now, hits a stretch at a time.

#include "query/lazy_hits_vector.h"

#include <algorithm>
#include <utility>

namespace {

// The record after record, for a step that needs the hits of both.
uint32_t After(uint32_t record) {
  return record == UINT32_MAX ? record : record + 1;
}

}  // namespace

LazyHitsVectorT::LazyHitsVectorT(UncompressedQueryVectorT* records,
                                 std::unique_ptr<HitEvaluatorT> evaluator,
                                 StatusCodeT* status)
    : UncompressedQueryVectorT(kResultVectorBytes, status),
      Evaluator(std::move(evaluator)) {
  if (*status < 0) return;
  SwapContents(records);
  // A result without records has no hits to produce.
  if (InstanceCount == 0) Evaluator.reset();
  UncompressedQueryVectorT::Rewind(status);
}

int LazyHitsVectorT::Ready(uint32_t record, StatusCodeT* status) {
  ProduceHits(record, status);
  return *status >= 0;
}

void LazyHitsVectorT::ProduceHits(uint32_t record, StatusCodeT* status) {
  *status = StatusNoError;
  if (Evaluator == nullptr || record <= ProducedThrough) return;
  const uint32_t standing = CurrentEntry();
  const uint32_t last = StretchEnd(record, status);
  if (*status >= 0) SeekEntry(standing, status);
  if (*status >= 0) ProduceStretch(last, status);
  if (*status < 0) {
    // The vector is left standing where it stood.
    StatusCodeT back = StatusNoError;
    SeekEntry(standing, &back);
  }
}

// Every caller asks for a record at or after the current one, so the walk
// starts where the vector stands.
uint32_t LazyHitsVectorT::StretchEnd(uint32_t record, StatusCodeT* status) {
  *status = StatusNoError;
  if (record == UINT32_MAX) return UINT32_MAX;
  uint32_t counted = 0;
  while (*status == StatusNoError) {
    // Records beyond ProducedThrough hold one entry each.
    if (CurrentRecord() >= record && ++counted == Stretch) {
      return CurrentRecord();
    }
    UncompressedQueryVectorT::NextHit(status);
  }
  if (*status > 0) *status = StatusNoError;
  return UINT32_MAX;
}

void LazyHitsVectorT::ProduceStretch(uint32_t last, StatusCodeT* status) {
  const uint32_t standingEntry = CurrentEntry();
  const uint32_t standingRecord = CurrentRecord();
  const uint32_t first = ProducedThrough + 1;
  std::unique_ptr<UncompressedQueryVectorT> hits(
      Evaluator->EvaluateHits(first, last, status));
  if (hits == nullptr) return;
  StatusCodeT s = StatusNoError;
  UncompressedQueryVectorT spliced(kResultVectorBytes, &s);
  uint32_t target = 0;
  StatusCodeT hitStep = hits->IsPositioned() ? StatusNoError : StatusEndOfVector;
  UncompressedQueryVectorT::Rewind(&s);
  for (uint32_t entry = 0; s == StatusNoError; ++entry) {
    const TermInstanceT mine = CurrentHit();
    const uint32_t record = mine.RecordNumber;
    if (record < first || record > last) {
      // Hits produced before and records beyond the stretch stay as they
      // are, entry for entry.
      if (entry == standingEntry) target = spliced.InstanceCount;
      spliced.AddInstance(&mine, &s);
    } else {
      while (hitStep == StatusNoError && hits->CurrentRecord() < record) {
        hits->NextHit(&hitStep);
      }
      uint32_t taken = 0;
      while (s >= 0 && hitStep == StatusNoError &&
             hits->CurrentRecord() == record) {
        if (record == standingRecord && (taken == 0 || OnLastHit)) {
          target = spliced.InstanceCount;
        }
        spliced.AddInstance(&hits->CurrentHit(), &s);
        ++taken;
        hits->NextHit(&hitStep);
      }
      if (hitStep < 0) s = hitStep;
      // Every record of the result has hits in the evaluation; one without
      // any means the partitions read are not those the query ran on.
      if (s >= 0 && taken == 0) s = StatusGeneralError;
    }
    if (s >= 0) UncompressedQueryVectorT::NextHit(&s);
  }
  if (s < 0) {
    *status = s;
    return;
  }
  SwapContents(&spliced);
  ProducedThrough = last;
  if (last == UINT32_MAX || last >= LastRecordAdded) Evaluator.reset();
  Stretch = std::min<uint32_t>(Stretch, UINT32_MAX / 2) * 2;
  SeekEntry(target, status);
}

void LazyHitsVectorT::NextHit(StatusCodeT* status) {
  if (Ready(After(CurrentRecord()), status)) {
    UncompressedQueryVectorT::NextHit(status);
  }
}

void LazyHitsVectorT::NextHit(uint32_t record, uint32_t word,
                              StatusCodeT* status) {
  // The hit reached lies in record or, when record holds none at or after
  // word, in the next record of the result.
  if (Ready(After(std::max(record, CurrentRecord())), status)) {
    UncompressedQueryVectorT::NextHit(record, word, status);
  }
}

void LazyHitsVectorT::Rewind(StatusCodeT* status) {
  OnLastHit = 0;
  UncompressedQueryVectorT::Rewind(status);
}

void LazyHitsVectorT::PreviousHit(HitRecT* hit, StatusCodeT* status) {
  if (Ready(CurrentRecord(), status)) {
    UncompressedQueryVectorT::PreviousHit(hit, status);
  }
}

// A move back by record ends on the last hit of the previous record, or, at
// the first record, on its first.
void LazyHitsVectorT::PreviousRecord(StatusCodeT* status) {
  UncompressedQueryVectorT::PreviousRecord(status);
  OnLastHit = *status == StatusNoError;
}

// A move on by record ends on the first hit of the next record, or, at the
// last record, on the last hit of the vector.
void LazyHitsVectorT::NextRecord(StatusCodeT* status) {
  UncompressedQueryVectorT::NextRecord(status);
  OnLastHit = *status == StatusEndOfVector;
}

void LazyHitsVectorT::Current(HitRecT* hit, StatusCodeT* status) {
  if (Ready(CurrentRecord(), status)) {
    UncompressedQueryVectorT::Current(hit, status);
  }
}

void LazyHitsVectorT::Append(QueryVectorBaseT* source, uint32_t recordOffset,
                             StatusCodeT* status) {
  if (Ready(UINT32_MAX, status)) {
    UncompressedQueryVectorT::Append(source, recordOffset, status);
  }
}

void LazyHitsVectorT::AddInstance(const TermInstanceT* instance,
                                  StatusCodeT* status) {
  if (Ready(UINT32_MAX, status)) {
    UncompressedQueryVectorT::AddInstance(instance, status);
  }
}
