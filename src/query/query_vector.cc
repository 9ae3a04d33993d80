// QueryVectorBaseT: the stepping defaults and the hit comparisons.

#include "query/query_vector.h"

void QueryVectorBaseT::NextHit(StatusCodeT* status) {
  *status = StatusNoError;
  MatchCounter = 1;
}

void QueryVectorBaseT::NextHit(uint32_t, uint32_t, StatusCodeT* status) {
  *status = StatusNoError;
  MatchCounter = 1;
}

void QueryVectorBaseT::Rewind(StatusCodeT* status) {
  *status = StatusNoError;
  MatchCounter = 1;
}

void QueryVectorBaseT::PassRecord(uint32_t* hits, StatusCodeT* status) {
  const uint32_t record = CurrentRecord();
  *hits = 0;
  do {
    ++*hits;
    NextHit(status);
  } while (*status == StatusNoError && CurrentRecord() == record);
}

bool QueryVectorBaseT::operator<(QueryVectorBaseT& other) {
  if (CurrentRecord() == other.CurrentRecord()) {
    MatchCounter += other.MatchCounter;
  }
  return !HitBefore(other.CurrentHit(), CurrentHit());
}

bool QueryVectorBaseT::operator>(const QueryVectorBaseT& other) const {
  return !HitBefore(CurrentHit(), other.CurrentHit());
}
