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

bool QueryVectorBaseT::operator<(QueryVectorBaseT& other) {
  if (CurrentRecord() == other.CurrentRecord()) {
    MatchCounter += other.MatchCounter;
  }
  return !HitBefore(other.CurrentHit(), CurrentHit());
}

bool QueryVectorBaseT::operator>(const QueryVectorBaseT& other) const {
  return !HitBefore(CurrentHit(), other.CurrentHit());
}
