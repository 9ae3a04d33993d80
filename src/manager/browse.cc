// IndexManagerT browsing: the words of every partition merged into one list
// in key order, the vector of a word over the whole index, and the
// statistics file written from that list.
//
// Each step looks the cursor's key up afresh in every partition, so the
// partitions' own dictionary positions may have been moved by anything in
// between (queries, other cursors).

#include "manager/index_manager.h"

#include <cstring>

#include "manager/record_deleter.h"
#include "query/partition_reader.h"
#include "stats/stats_database.h"
#include "storage/allocation.h"
#include "storage/readtree.h"

namespace {

constexpr uint32_t kCursorHasKey = 1;

// The host may hand the cursor's own key buffer in as the key.
void CopyKey(unsigned char* out, const unsigned char* key) {
  std::memmove(out, key, 1u + key[0]);
}

uint32_t Saturated(uint64_t count) {
  return count > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(count);
}

void Report(const DictionaryCursorT* cursor, unsigned char* key,
            uint32_t* records, uint32_t* hits) {
  CopyKey(key, cursor->Key);
  if (records != nullptr) *records = cursor->Records;
  if (hits != nullptr) *hits = cursor->Hits;
}

// The word next to key in one partition, in the given direction: 1 with the
// word and its counts in out, 0 when the partition has none, -1 on a failure
// (status written).
int NeighbourInPartition(PartitionReaderT* reader, const unsigned char* key,
                         int direction, unsigned char* out, uint32_t& records,
                         uint32_t& hits, StatusCodeT* status) {
  StatusCodeT s = StatusNoError;
  BooleanT found = 0;
  if (!reader->FindKey(key, found, records, hits, &s)) {
    *status = s;
    return -1;
  }
  if (!found) {
    // The search rests on the next greater key, or on the last key when
    // every key is smaller; without keys it has no position.
    if (!reader->CurrentKey(out, records, hits, &s)) {
      if (s == StatusNoCurrentKey) return 0;
      *status = s;
      return -1;
    }
    const int landedAfter = ReadBTreeT::PStrCmp(out, key) > 0;
    if (direction > 0) return landedAfter;
    if (!landedAfter) return 1;
  }
  const int moved = direction > 0 ? reader->NextKey(out, records, hits, &s)
                                  : reader->PreviousKey(out, records, hits, &s);
  if (!moved) {
    if (s == StatusEndOfWordList) return 0;
    *status = s;
    return -1;
  }
  // Only a damaged dictionary steps the wrong way; taking its word would
  // let a walk over the list run in circles.
  if (ReadBTreeT::PStrCmp(out, key) * direction <= 0) {
    *status = StatusGeneralError;
    return -1;
  }
  return 1;
}

}  // namespace

void IndexManagerT::StepKey(DictionaryCursorT* cursor, int direction,
                            unsigned char* key, uint32_t* records,
                            uint32_t* hits, StatusCodeT* status) {
  if (!RequireRetrieval(status)) return;
  if (cursor == nullptr || key == nullptr) {
    *status = StatusMalformedParameter;
    return;
  }
  unsigned char from[256];
  CopyKey(from, cursor->Key);
  unsigned char best[256];
  int haveBest = 0;
  uint64_t bestRecords = 0;
  uint64_t bestHits = 0;
  for (uint32_t i = 0; i < Loaded.PartitionCount(); ++i) {
    unsigned char candidate[256];
    uint32_t r = 0;
    uint32_t h = 0;
    const int has = NeighbourInPartition(Loaded.Reader(i), from, direction,
                                         candidate, r, h, status);
    if (has < 0) return;
    if (has == 0) continue;
    const int order =
        haveBest ? ReadBTreeT::PStrCmp(candidate, best) * direction : -1;
    if (order < 0) {
      CopyKey(best, candidate);
      haveBest = 1;
      bestRecords = r;
      bestHits = h;
    } else if (order == 0) {
      bestRecords += r;
      bestHits += h;
    }
  }
  if (!haveBest) {
    *status = StatusEndOfWordList;
    return;
  }
  CopyKey(cursor->Key, best);
  cursor->Records = Saturated(bestRecords);
  cursor->Hits = Saturated(bestHits);
  cursor->State = kCursorHasKey;
  Report(cursor, key, records, hits);
}

void IndexManagerT::FindKey(DictionaryCursorT* cursor, unsigned char* key,
                            BooleanT* found, uint32_t* records, uint32_t* hits,
                            StatusCodeT* status) {
  if (found != nullptr) *found = 0;
  if (!RequireRetrieval(status)) return;
  if (cursor == nullptr || key == nullptr) {
    *status = StatusMalformedParameter;
    return;
  }
  uint64_t sumRecords = 0;
  uint64_t sumHits = 0;
  int holders = 0;
  for (uint32_t i = 0; i < Loaded.PartitionCount(); ++i) {
    BooleanT inPartition = 0;
    uint32_t r = 0;
    uint32_t h = 0;
    if (!Loaded.Reader(i)->FindKey(key, inPartition, r, h, status)) return;
    if (!inPartition) continue;
    ++holders;
    sumRecords += r;
    sumHits += h;
  }
  CopyKey(cursor->Key, key);
  cursor->Records = Saturated(sumRecords);
  cursor->Hits = Saturated(sumHits);
  cursor->State = holders != 0 ? kCursorHasKey : 0;
  if (holders == 0) {
    StepKey(cursor, 1, key, records, hits, status);
    return;
  }
  if (found != nullptr) *found = 1;
  Report(cursor, key, records, hits);
}

void IndexManagerT::NextKey(DictionaryCursorT* cursor, unsigned char* key,
                            uint32_t* records, uint32_t* hits,
                            StatusCodeT* status) {
  StepKey(cursor, 1, key, records, hits, status);
}

void IndexManagerT::PreviousKey(DictionaryCursorT* cursor, unsigned char* key,
                                uint32_t* records, uint32_t* hits,
                                StatusCodeT* status) {
  StepKey(cursor, -1, key, records, hits, status);
}

void IndexManagerT::CurrentKey(const DictionaryCursorT* cursor,
                               unsigned char* key, uint32_t* records,
                               uint32_t* hits, StatusCodeT* status) {
  if (cursor == nullptr || key == nullptr) {
    *status = StatusMalformedParameter;
    return;
  }
  if (cursor->State != kCursorHasKey) {
    *status = StatusNoCurrentKey;
    return;
  }
  Report(cursor, key, records, hits);
}

namespace {

// Adds the hits of a partition's term vector, from where it stands, to
// result: records moved into the index's numbering, deleted ones left out.
void AppendLiveHits(UncompressedQueryVectorT* result, QueryVectorBaseT* source,
                    uint32_t recordOffset, const DeletedRecordSetT* deleted,
                    StatusCodeT* status) {
  for (StatusCodeT step = StatusNoError;
       source->IsPositioned() && step == StatusNoError;) {
    TermInstanceT hit = source->CurrentHit();
    hit.RecordNumber += recordOffset;
    if (!deleted->IsRecordDeleted(hit.RecordNumber)) {
      result->AddInstance(&hit, status);
      if (*status < 0) return;
    }
    source->NextHit(&step);
    if (step < 0) *status = step;
  }
}

}  // namespace

UncompressedQueryVectorT* IndexManagerT::GetCurrentQueryVector(
    const DictionaryCursorT* cursor, StatusCodeT* status) {
  if (!RequireRetrieval(status)) return nullptr;
  if (cursor == nullptr) {
    *status = StatusMalformedParameter;
    return nullptr;
  }
  if (cursor->State != kCursorHasKey) {
    *status = StatusNoCurrentKey;
    return nullptr;
  }
  StatusCodeT s = StatusNoError;
  UncompressedQueryVectorT* result =
      NewOrNull<UncompressedQueryVectorT>(kWorkVectorBytes, &s);
  if (result == nullptr || s < 0) {
    delete result;
    *status = StatusNotEnoughMemory;
    return nullptr;
  }
  for (uint32_t i = 0; i < Loaded.PartitionCount() && s >= 0; ++i) {
    BooleanT found = 0;
    uint32_t r = 0;
    uint32_t h = 0;
    if (!Loaded.Reader(i)->FindKey(cursor->Key, found, r, h, &s) || !found)
      continue;
    CompressedQueryVectorT* term = Loaded.Reader(i)->GetCurrentQueryVector(&s);
    if (term == nullptr) break;
    AppendLiveHits(result, term, Loaded.Reader(i)->RecordsBefore(),
                   Index.Deleted(), &s);
    delete term;
  }
  if (s >= 0) result->Rewind(&s);
  if (s < 0) {
    delete result;
    *status = s;
    return nullptr;
  }
  return result;
}

void IndexManagerT::OutputStatsFile(const char* fileName,
                                    StatusCodeT* status) {
  if (!RequireRetrieval(status)) return;
  // A zeroed cursor holds the empty key, which lies before every word.
  DictionaryCursorT cursor = {};
  unsigned char word[256];
  StatusCodeT s = StatusNoError;
  StepKey(&cursor, 1, word, nullptr, nullptr, &s);
  if (s < 0) {
    *status = s == StatusEndOfWordList ? StatusIndexEmpty : s;
    return;
  }
  StatsDatabaseT stats;
  stats.Create(fileName, &s);
  if (s >= 0) stats.StartAdditions(&s);
  while (s >= 0) {
    stats.AddKey(cursor.Key, cursor.Records, cursor.Hits, &s);
    if (s >= 0) StepKey(&cursor, 1, word, nullptr, nullptr, &s);
  }
  if (s == StatusEndOfWordList) {
    s = StatusNoError;
    stats.EndAdditions(&s);
  }
  if (s < 0) *status = s;
}
