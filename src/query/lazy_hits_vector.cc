// LazyHitsVectorT: records now, hits on demand.

#include "query/lazy_hits_vector.h"

#include <utility>

LazyHitsVectorT::LazyHitsVectorT(UncompressedQueryVectorT* records,
                                 std::unique_ptr<HitEvaluatorT> evaluator,
                                 StatusCodeT* status)
    : UncompressedQueryVectorT(kResultVectorBytes, status),
      Evaluator(std::move(evaluator)) {
  if (*status < 0) return;
  SwapContents(records);
  UncompressedQueryVectorT::Rewind(status);
}

int LazyHitsVectorT::HitsReady(StatusCodeT* status) {
  ProduceHits(status);
  return *status >= 0;
}

void LazyHitsVectorT::ProduceHits(StatusCodeT* status) {
  *status = StatusNoError;
  if (Evaluator == nullptr) return;
  std::unique_ptr<UncompressedQueryVectorT> all(Evaluator->EvaluateHits(status));
  if (all == nullptr) return;
  StatusCodeT s = StatusNoError;
  UncompressedQueryVectorT kept(kResultVectorBytes, &s);
  // Where the vector stands now, and the index of that hit among the kept.
  const uint32_t standing = CurrentRecord();
  uint32_t target = 0;
  uint32_t mine = 0;
  UncompressedQueryVectorT::Rewind(&s);
  StatusCodeT mineStep = IsPositioned() ? StatusNoError : StatusEndOfVector;
  StatusCodeT allStep = all->IsPositioned() ? StatusNoError : StatusEndOfVector;
  while (s >= 0 && mineStep == StatusNoError && allStep == StatusNoError) {
    const uint32_t record = all->CurrentRecord();
    mine = CurrentRecord();
    if (mine < record) {
      UncompressedQueryVectorT::NextHit(&mineStep);
      continue;
    }
    if (mine == record) {
      if (record == standing && (OnLastHit || kept.CurrentRecord() != record)) {
        target = kept.InstanceCount;
      }
      kept.AddInstance(&all->CurrentHit(), &s);
    }
    all->NextHit(&allStep);
  }
  if (mineStep < 0) s = mineStep;
  if (allStep < 0) s = allStep;
  // Every record of the result has a hit in the full evaluation; one that
  // has none means the partitions read are not those the query ran on.
  if (s >= 0 && kept.RecordCount != RecordCount) s = StatusGeneralError;
  if (s < 0) {
    // The vector is left standing where it stood.
    UncompressedQueryVectorT::Rewind(&mineStep);
    while (mineStep == StatusNoError && CurrentRecord() < standing) {
      UncompressedQueryVectorT::NextHit(&mineStep);
    }
    *status = s;
    return;
  }
  SwapContents(&kept);
  Evaluator.reset();
  UncompressedQueryVectorT::Rewind(&s);
  for (uint32_t i = 0; i < target && s == StatusNoError; ++i) {
    UncompressedQueryVectorT::NextHit(&s);
  }
  *status = s < 0 ? s : StatusNoError;
}

void LazyHitsVectorT::NextHit(StatusCodeT* status) {
  if (HitsReady(status)) UncompressedQueryVectorT::NextHit(status);
}

void LazyHitsVectorT::NextHit(uint32_t record, uint32_t word,
                              StatusCodeT* status) {
  if (HitsReady(status)) UncompressedQueryVectorT::NextHit(record, word, status);
}

void LazyHitsVectorT::Rewind(StatusCodeT* status) {
  OnLastHit = 0;
  UncompressedQueryVectorT::Rewind(status);
}

void LazyHitsVectorT::PreviousHit(HitRecT* hit, StatusCodeT* status) {
  if (HitsReady(status)) UncompressedQueryVectorT::PreviousHit(hit, status);
}

// With one hit per record a move by record is a move by hit; it ends on the
// last hit of the previous record, or, at the first record, on its first.
void LazyHitsVectorT::PreviousRecord(StatusCodeT* status) {
  if (Evaluator == nullptr) {
    UncompressedQueryVectorT::PreviousRecord(status);
    return;
  }
  HitRecT hit;
  UncompressedQueryVectorT::PreviousHit(&hit, status);
  OnLastHit = *status == StatusNoError;
}

// It ends on the first hit of the next record, or, at the last record, on
// the last hit of the vector.
void LazyHitsVectorT::NextRecord(StatusCodeT* status) {
  if (Evaluator == nullptr) {
    UncompressedQueryVectorT::NextRecord(status);
    return;
  }
  UncompressedQueryVectorT::NextHit(status);
  OnLastHit = *status == StatusEndOfVector;
}

void LazyHitsVectorT::Current(HitRecT* hit, StatusCodeT* status) {
  if (HitsReady(status)) UncompressedQueryVectorT::Current(hit, status);
}

void LazyHitsVectorT::Append(QueryVectorBaseT* source, uint32_t recordOffset,
                             StatusCodeT* status) {
  if (HitsReady(status)) {
    UncompressedQueryVectorT::Append(source, recordOffset, status);
  }
}

void LazyHitsVectorT::AddInstance(const TermInstanceT* instance,
                                  StatusCodeT* status) {
  if (HitsReady(status)) UncompressedQueryVectorT::AddInstance(instance, status);
}
