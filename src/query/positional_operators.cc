// QueryProcessorT: the operations that look at word positions — proximity,
// phrase, field membership and field AND.

#include "query/query_processor.h"

#include <algorithm>

namespace {

// Two hits in one record at most distance words apart.
inline bool Near(const TermInstanceT& a, const TermInstanceT& b,
                 uint32_t distance) {
  if (a.RecordNumber != b.RecordNumber) return false;
  uint32_t gap = a.WordPosition > b.WordPosition
                     ? a.WordPosition - b.WordPosition
                     : b.WordPosition - a.WordPosition;
  return gap <= distance;
}

// The vector stands before (record, word).
inline bool Before(const QueryVectorBaseT* vector, uint32_t record,
                   uint32_t word) {
  return vector->CurrentRecord() < record ||
         (vector->CurrentRecord() == record && vector->CurrentWord() < word);
}

// Spans run at most to the end of their record.
constexpr uint64_t kEndOfRecord = uint64_t{1} << 32;

}  // namespace

// ---------------------------------------------------------------------------
// Proximity: a fold over the operands, two at a time.

UncompressedQueryVectorT* QueryProcessorT::ProcessProximity(
    uint32_t distance, StatusCodeT* status) {
  QueryVectorBaseT* operands[kMaximumOperands];
  uint32_t count = 0;
  for (uint32_t slot = 0; slot < Inserted; ++slot) {
    if (Operand(slot) != nullptr) operands[count++] = Operand(slot);
  }
  if (count < 2) {
    UncompressedQueryVectorT* result = NewResult(status);
    if (result == nullptr) return nullptr;
    if (count == 1) {
      CopyAll(result, operands[0], status);
      if (*status < 0) return Fail(result);
    }
    return Finish(result, status);
  }
  UncompressedQueryVectorT* folded =
      Proximity(operands[0], operands[1], distance, status);
  for (uint32_t i = 2; i < count && folded != nullptr; ++i) {
    UncompressedQueryVectorT* next =
        Proximity(folded, operands[i], distance, status);
    delete folded;
    folded = next;
  }
  return folded;
}

// Moves the lesser side on from hit, its last judged hit. Its hits that lie
// more than distance words before the other side's current hit are near no
// hit of the other side from there on, nor, once hit is distance or more
// words past it, the other side's passed hit: the decoder passes over them
// by target instead of one at a time.
int QueryProcessorT::SkipFar(QueryVectorBaseT* lesser, const TermInstanceT& hit,
                             const TermInstanceT& other,
                             const TermInstanceT& otherPassed,
                             uint32_t distance, StatusCodeT* status) {
  const uint32_t word =
      other.WordPosition > distance ? other.WordPosition - distance : 1;
  const bool clearOfPassed =
      otherPassed.RecordNumber != hit.RecordNumber ||
      uint64_t{hit.WordPosition} >= uint64_t{otherPassed.WordPosition} + distance;
  if (clearOfPassed && Before(lesser, other.RecordNumber, word)) {
    return Seek(lesser, other.RecordNumber, word, status);
  }
  return Step(lesser, status);
}

// Merges a and b; the lesser current hit is judged against the nearest hits
// of the other side on both of its sides: the other's current hit (at or
// after it) and the last hit the other moved past (before it).
UncompressedQueryVectorT* QueryProcessorT::Proximity(QueryVectorBaseT* a,
                                                     QueryVectorBaseT* b,
                                                     uint32_t distance,
                                                     StatusCodeT* status) {
  UncompressedQueryVectorT* result = NewResult(status);
  if (result == nullptr) return nullptr;
  if (!a->IsPositioned() || !b->IsPositioned()) return Finish(result, status);
  TermInstanceT passedA;
  TermInstanceT passedB;
  TermInstanceT last;
  passedA.RecordNumber = passedB.RecordNumber = last.RecordNumber = 0;
  passedA.WordPosition = passedB.WordPosition = last.WordPosition = 0;
  auto emit = [&](const TermInstanceT& hit) {
    if (IsDeleted(hit.RecordNumber) || !HitBefore(last, hit)) return 1;
    last = hit;
    return Emit(result, hit, status);
  };
  for (;;) {
    bool aFirst = !HitBefore(b->CurrentHit(), a->CurrentHit());
    QueryVectorBaseT* lesser = aFirst ? a : b;
    QueryVectorBaseT* other = aFirst ? b : a;
    TermInstanceT& passed = aFirst ? passedA : passedB;
    const TermInstanceT& otherPassed = aFirst ? passedB : passedA;
    TermInstanceT hit = lesser->CurrentHit();
    if ((Near(hit, other->CurrentHit(), distance) ||
         Near(hit, otherPassed, distance)) &&
        !emit(hit)) {
      return Fail(result);
    }
    passed = hit;
    int moved = SkipFar(lesser, hit, other->CurrentHit(), otherPassed,
                        distance, status);
    if (moved < 0) return Fail(result);
    if (moved > 0) continue;
    // The lesser side ended at hit: the other side's hits near it remain.
    for (;;) {
      const TermInstanceT& rest = other->CurrentHit();
      if (!Near(rest, hit, distance)) break;
      if (!emit(rest)) return Fail(result);
      moved = Step(other, status);
      if (moved < 0) return Fail(result);
      if (moved == 0) break;
    }
    break;
  }
  return Finish(result, status);
}

// ---------------------------------------------------------------------------
// Phrase.

int QueryProcessorT::PassOffset(QueryVectorBaseT* member, uint32_t offset,
                                StatusCodeT* status) {
  while (member->CurrentWord() <= offset) {
    int moved = Seek(member, member->CurrentRecord(), offset + 1, status);
    if (moved <= 0) return moved;
  }
  return 1;
}

UncompressedQueryVectorT* QueryProcessorT::ProcessPhrase2(QueryVectorBaseT*,
                                                          QueryVectorBaseT*,
                                                          StatusCodeT* status) {
  UncompressedQueryVectorT* result = NewResult(status);
  if (result == nullptr) return nullptr;
  QueryVectorBaseT* members[kMaximumOperands];
  uint32_t order[kMaximumOperands];
  uint32_t count = 0;
  for (uint32_t slot = 0; slot < Inserted; ++slot) {
    QueryVectorBaseT* member = Operand(slot);
    if (member == nullptr) continue;
    if (!member->IsPositioned()) return Finish(result, status);
    member->PhraseOffset = count;
    members[count] = member;
    // Rarest first: the members that move least set the pace.
    uint32_t k = count;
    while (k > 0 && members[order[k - 1]]->RecordCount > member->RecordCount) {
      order[k] = order[k - 1];
      --k;
    }
    order[k] = count++;
  }
  if (count == 0) return Finish(result, status);
  // The start (record, word) a member's current hit stands for.
  auto startOf = [&members](uint32_t i, uint32_t* record, uint32_t* word) {
    *record = members[i]->CurrentRecord();
    *word = members[i]->CurrentWord() - i;
  };
  // The latest start over all members: no match can begin before it.
  uint32_t record = 0;
  uint32_t word = 0;
  auto latestStart = [&]() {
    record = 0;
    word = 0;
    for (uint32_t i = 0; i < count; ++i) {
      uint32_t r, w;
      startOf(i, &r, &w);
      if (r > record || (r == record && w > word)) {
        record = r;
        word = w;
      }
    }
  };
  int moved = 1;
  for (uint32_t i = 0; i < count && moved > 0; ++i) {
    moved = PassOffset(members[i], i, status);
  }
  if (moved <= 0) return moved < 0 ? Fail(result) : Finish(result, status);
  latestStart();
  TermInstanceT last;
  last.RecordNumber = 0;
  last.WordPosition = 0;
  for (;;) {
    if (word > UINT32_MAX - (count - 1)) break;
    bool aligned = true;
    for (uint32_t k = 0; k < count && aligned; ++k) {
      uint32_t i = order[k];
      QueryVectorBaseT* member = members[i];
      if (Before(member, record, word + i)) {
        moved = Seek(member, record, word + i, status);
        if (moved <= 0) break;
      }
      if (member->CurrentRecord() == record &&
          member->CurrentWord() == word + i) {
        continue;
      }
      // Beyond the point: the match can start no earlier than this member.
      moved = PassOffset(member, i, status);
      if (moved <= 0) break;
      startOf(i, &record, &word);
      aligned = false;
    }
    if (moved <= 0) break;
    if (!aligned) continue;
    uint32_t rarest = order[0];
    if (IsDeleted(record)) {
      moved = SkipRecord(members[rarest], record, status);
    } else {
      for (uint32_t i = 0; i < count; ++i) {
        const TermInstanceT& hit = members[i]->CurrentHit();
        if (!HitBefore(last, hit)) continue;  // overlapping matches
        last = hit;
        if (!Emit(result, hit, status)) return Fail(result);
      }
      moved = Step(members[rarest], status);
    }
    if (moved > 0) moved = PassOffset(members[rarest], rarest, status);
    if (moved <= 0) break;
    latestStart();
  }
  if (moved < 0) return Fail(result);
  return Finish(result, status);
}

// ---------------------------------------------------------------------------
// Fields.

int QueryProcessorT::ReadSpan(QueryVectorBaseT* field, uint32_t record,
                              int* ended, SpanT* span, StatusCodeT* status) {
  if (*ended) return 0;
  int moved = 1;
  if (field->CurrentRecord() < record) moved = Seek(field, record, 1, status);
  if (moved <= 0) {
    *ended = moved == 0;
    return moved;
  }
  span->Record = field->CurrentRecord();
  span->Start = field->CurrentWord();
  span->End = kEndOfRecord;
  moved = Step(field, status);
  if (moved > 0 && field->CurrentRecord() == span->Record) {
    span->End = field->CurrentWord();
    moved = Step(field, status);
  }
  if (moved < 0) return -1;
  *ended = moved == 0;
  return 1;
}

UncompressedQueryVectorT* QueryProcessorT::ProcessFieldMember(
    StatusCodeT* status) {
  UncompressedQueryVectorT* result = NewResult(status);
  if (result == nullptr) return nullptr;
  QueryVectorBaseT* content = Operand(0);
  QueryVectorBaseT* field = Operand(1);
  if (content == nullptr || field == nullptr || !content->IsPositioned() ||
      !field->IsPositioned()) {
    return Finish(result, status);
  }
  int fieldEnded = 0;
  SpanT span;
  int moved = 1;
  while (moved > 0) {
    moved = ReadSpan(field, content->CurrentRecord(), &fieldEnded, &span,
                     status);
    if (moved <= 0) break;
    if (Before(content, span.Record, span.Start)) {
      moved = Seek(content, span.Record, span.Start, status);
      if (moved <= 0) break;
    }
    if (IsDeleted(span.Record)) continue;
    while (content->CurrentRecord() == span.Record &&
           content->CurrentWord() < span.End) {
      if (!Emit(result, content->CurrentHit(), status)) return Fail(result);
      moved = Step(content, status);
      if (moved <= 0) break;
    }
  }
  if (moved < 0) return Fail(result);
  return Finish(result, status);
}

UncompressedQueryVectorT* QueryProcessorT::ProcessFieldAnd(
    QueryVectorBaseT* field, uint32_t tolerance, BooleanT exclusive,
    StatusCodeT* status) {
  UncompressedQueryVectorT* result = NewResult(status);
  if (result == nullptr) return nullptr;
  if (field == nullptr || !field->IsPositioned()) return Finish(result, status);
  QueryVectorBaseT* operands[kMaximumOperands];
  uint32_t live = 0;
  for (uint32_t slot = 0; slot < Inserted; ++slot) {
    QueryVectorBaseT* operand = Operand(slot);
    if (operand != nullptr && operand != field && operand->IsPositioned()) {
      operands[live++] = operand;
    }
  }
  uint32_t required =
      exclusive == 1 ? 1 : (tolerance >= live ? 1 : live - tolerance);
  // Moves operand i on; one that ends leaves the set. -1 on an error.
  auto advance = [&](uint32_t* i, int moved) {
    if (moved == 0) operands[*i] = operands[--live];
    if (moved > 0) ++*i;
    return moved < 0 ? -1 : 0;
  };
  auto inside = [](const QueryVectorBaseT* operand, const SpanT& span) {
    return operand->CurrentRecord() == span.Record &&
           operand->CurrentWord() < span.End;
  };
  int fieldEnded = 0;
  SpanT span;
  TermInstanceT last;
  last.RecordNumber = 0;
  last.WordPosition = 0;
  while (live >= required && live > 0) {
    if (required == live) {
      // Every operand is needed: bring them to a common record first. One
      // that ends leaves no record that could hold them all.
      bool ended = false;
      bool movedAny = true;
      while (movedAny && !ended) {
        uint32_t largest = 0;
        for (uint32_t i = 0; i < live; ++i) {
          largest = std::max(largest, operands[i]->CurrentRecord());
        }
        movedAny = false;
        for (uint32_t i = 0; i < live && !ended; ++i) {
          if (operands[i]->CurrentRecord() >= largest) continue;
          int moved = Seek(operands[i], largest, 1, status);
          if (moved < 0) return Fail(result);
          ended = moved == 0;
          movedAny = true;
        }
      }
      if (ended) break;
    }
    const QueryVectorBaseT* least = operands[0];
    for (uint32_t i = 1; i < live; ++i) {
      if (HitBefore(operands[i]->CurrentHit(), least->CurrentHit())) {
        least = operands[i];
      }
    }
    uint32_t leastRecord = least->CurrentRecord();
    uint32_t leastWord = least->CurrentWord();
    int found;
    do {
      found = ReadSpan(field, leastRecord, &fieldEnded, &span, status);
    } while (found > 0 && span.Record == leastRecord && span.End <= leastWord);
    if (found < 0) return Fail(result);
    if (found == 0) break;
    for (uint32_t i = 0; i < live;) {
      if (!Before(operands[i], span.Record, span.Start)) {
        ++i;
      } else if (advance(&i, Seek(operands[i], span.Record, span.Start,
                                  status)) < 0) {
        return Fail(result);
      }
    }
    uint32_t within = 0;
    for (uint32_t i = 0; i < live; ++i) within += inside(operands[i], span);
    if (within < required || IsDeleted(span.Record)) continue;
    for (;;) {
      uint32_t pick = live;
      for (uint32_t i = 0; i < live; ++i) {
        if (inside(operands[i], span) &&
            (pick == live ||
             HitBefore(operands[i]->CurrentHit(), operands[pick]->CurrentHit()))) {
          pick = i;
        }
      }
      if (pick == live) break;
      const TermInstanceT& hit = operands[pick]->CurrentHit();
      if (HitBefore(last, hit)) {
        last = hit;
        if (!Emit(result, hit, status)) return Fail(result);
      }
      if (advance(&pick, Step(operands[pick], status)) < 0) return Fail(result);
    }
  }
  return Finish(result, status);
}
