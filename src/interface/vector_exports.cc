// Exported functions of queries and result vectors: running a query, walking
// a result vector both ways, its counts, vectors built by the host, and the
// AND, OR and NOT of two vectors. Every vector handed out is registered as a
// result vector and checked before it is touched.

#include <algorithm>
#include <cstdint>

#include "interface/exported_call.h"
#include "interface/live_handles.h"
#include "interface/manager_call.h"
#include "manager/index_manager.h"
#include "query/query_processor.h"
#include "query/ranked_manager.h"
#include "query/uncompressed_vector.h"
#include "storage/allocation.h"

namespace {

// The frame of a function on a result vector: a handle that is not a live
// result vector gets StatusNotIndexFile.
template <typename Call>
void OnVector(QueryVectorBaseT* vector, StatusCodeT* status,
              Call&& call) noexcept {
  ExportedCall(status, [&](StatusCodeT* s) {
    if (!IsLiveHandle(vector, HandleKind::kResultVector)) {
      *s = StatusNotIndexFile;
      return;
    }
    call(vector, s);
  });
}

// The uncompressed vector behind a handle; null with StatusNotIndexFile for
// another kind.
UncompressedQueryVectorT* Uncompressed(QueryVectorBaseT* vector,
                                       StatusCodeT* status) {
  if (vector->KindTag == kUncompressedVectorKind) {
    return static_cast<UncompressedQueryVectorT*>(vector);
  }
  *status = StatusNotIndexFile;
  return nullptr;
}

QueryVectorBaseT* HandOut(QueryVectorBaseT* vector) {
  RegisterHandle(vector, HandleKind::kResultVector);
  return vector;
}

// Writes the current hit into the outputs given.
void ReportHit(const QueryVectorBaseT* vector, unsigned long* record,
               unsigned long* word, unsigned long* count, float* weight) {
  const TermInstanceT& hit = vector->CurrentHit();
  if (record != nullptr) *record = hit.RecordNumber;
  if (word != nullptr) *word = hit.WordPosition;
  if (count != nullptr) *count = hit.Count;
  if (weight != nullptr) *weight = hit.Weight;
}

// A query result may hold its records before their hits (ProduceHits): a
// caller that asks for a word position gets those of the records a move by
// record or a report can reach (the current one, every earlier one and the
// next) produced first. Moving by record and reporting the record, count or
// weight needs none. 0 with a status when they cannot be produced.
int WordsReady(QueryVectorBaseT* vector, const unsigned long* word,
               StatusCodeT* status) {
  if (word == nullptr) return 1;
  const uint32_t record = vector->CurrentRecord();
  vector->ProduceHits(record == UINT32_MAX ? record : record + 1, status);
  return *status >= 0;
}

// A move, then the hit the vector stands on, also at either end (status
// 1); an error leaves the outputs alone. An empty vector reports status 1
// and the hit of no record (record 0, word 0, count 1, weight 1).
template <typename Move>
void MoveAndReport(QueryVectorBaseT* vector, unsigned long* record,
                   unsigned long* word, unsigned long* count, float* weight,
                   StatusCodeT* status, Move&& move) noexcept {
  OnVector(vector, status, [&](QueryVectorBaseT* v, StatusCodeT* s) {
    if (!WordsReady(v, word, s)) return;
    move(v, s);
    if (*s >= 0) ReportHit(v, record, word, count, weight);
  });
}

// A move from record to record, which only an uncompressed vector makes.
template <void (UncompressedQueryVectorT::*Move)(StatusCodeT*)>
void MoveByRecord(QueryVectorBaseT* vector, StatusCodeT* status) {
  if (UncompressedQueryVectorT* u = Uncompressed(vector, status)) {
    (u->*Move)(status);
  }
}

enum class VectorOperationT { kAnd, kOr, kNot };

QueryVectorBaseT* Combine(QueryVectorBaseT* a, QueryVectorBaseT* b,
                          VectorOperationT operation,
                          StatusCodeT* status) noexcept {
  return ExportedCall(
      status, static_cast<QueryVectorBaseT*>(nullptr),
      [&](StatusCodeT* s) -> QueryVectorBaseT* {
        if (!IsLiveHandle(a, HandleKind::kResultVector) ||
            !IsLiveHandle(b, HandleKind::kResultVector)) {
          *s = StatusNotIndexFile;
          return nullptr;
        }
        a->ProduceHits(UINT32_MAX, s);
        if (*s >= 0) b->ProduceHits(UINT32_MAX, s);
        if (*s < 0) return nullptr;
        QueryProcessorT processor(UINT32_MAX, nullptr, 0);
        processor.InitHeap();
        processor.ProcessVector(a, s);
        // One vector given twice is one operand: walking it in two places
        // at once would make it skip its own hits.
        if (b != a) processor.ProcessVector(b, s);
        processor.HeapStart();
        UncompressedQueryVectorT* result = nullptr;
        switch (operation) {
          case VectorOperationT::kAnd:
            result = processor.ProcessAnd(0, s);
            break;
          case VectorOperationT::kOr:
            result = processor.ProcessOr(s);
            break;
          case VectorOperationT::kNot:
            result = b != a ? processor.ProcessNot(s)
                            : NewOrStatus<UncompressedQueryVectorT>(
                                  s, kResultVectorBytes, s);
            break;
        }
        if (result == nullptr) {
          if (*s >= 0) *s = StatusNotEnoughMemory;
          return nullptr;
        }
        if (*s < 0) {
          delete result;
          return nullptr;
        }
        return HandOut(result);
      });
}

}  // namespace

extern "C" {

TV_EXPORT QueryVectorBaseT* tvProcessQuery(IndexManagerT* manager,
                                           unsigned char* rankedQuery,
                                           unsigned char* booleanQuery,
                                           StatusCodeT* status) {
  return OnManager(manager, status, static_cast<QueryVectorBaseT*>(nullptr),
                   [=](IndexManagerT* m, StatusCodeT* s) {
                     QueryVectorBaseT* result =
                         m->ProcessRankedQuery(rankedQuery, booleanQuery, s);
                     return result != nullptr ? HandOut(result) : nullptr;
                   });
}

TV_EXPORT void tvSetRankedResultLimit(IndexManagerT* manager,
                                      unsigned long records,
                                      StatusCodeT* status) {
  OnManager(manager, status, [records](IndexManagerT* m, StatusCodeT* s) {
    static_assert(TV_MAXIMUM_RANKED_RESULTS == kRankedResults - 1,
                  "the public limit is the top-N heap's");
    if (records == 0 || records > TV_MAXIMUM_RANKED_RESULTS) {
      *s = StatusMalformedParameter;
      return;
    }
    m->SetRankedResultLimit(static_cast<uint32_t>(records));
  });
}

TV_EXPORT void tvNumHits(QueryVectorBaseT* vector, unsigned long* total,
                         unsigned long* records, unsigned long* hits,
                         StatusCodeT* status) {
  ExportedCall(status, [&](StatusCodeT* s) {
    unsigned long recordCount = 0;
    unsigned long hitCount = 0;
    unsigned long all = 0;
    if (vector != nullptr) {
      if (!IsLiveHandle(vector, HandleKind::kResultVector)) {
        *s = StatusNotIndexFile;
        return;
      }
      const auto* ranked = vector->KindTag == kUncompressedVectorKind
                               ? static_cast<UncompressedQueryVectorT*>(vector)
                               : nullptr;
      if (ranked != nullptr && ranked->Ranked) {
        recordCount = hitCount = all = ranked->InstanceCount;
      } else {
        // The record count is known without the hits.
        if (total != nullptr || hits != nullptr) {
          vector->ProduceHits(UINT32_MAX, s);
          if (*s < 0) return;
        }
        recordCount = vector->RecordCount;
        hitCount = vector->HitCount;
        all = std::max(recordCount, hitCount);
      }
    }
    if (total != nullptr) *total = all;
    if (records != nullptr) *records = recordCount;
    if (hits != nullptr) *hits = hitCount;
  });
}

TV_EXPORT void tvVectorNextHit(QueryVectorBaseT* vector, unsigned long* record,
                               unsigned long* word, unsigned long* count,
                               float* weight, StatusCodeT* status) {
  MoveAndReport(vector, record, word, count, weight, status,
                [](QueryVectorBaseT* v, StatusCodeT* s) { v->NextHit(s); });
}

TV_EXPORT void tvVectorPreviousHit(QueryVectorBaseT* vector,
                                   unsigned long* record, unsigned long* word,
                                   unsigned long* count, float* weight,
                                   StatusCodeT* status) {
  MoveAndReport(vector, record, word, count, weight, status,
                [](QueryVectorBaseT* v, StatusCodeT* s) {
                  HitRecT hit;
                  if (UncompressedQueryVectorT* u = Uncompressed(v, s)) {
                    u->PreviousHit(&hit, s);
                  }
                });
}

TV_EXPORT void tvVectorNextRecord(QueryVectorBaseT* vector,
                                  unsigned long* record, unsigned long* word,
                                  unsigned long* count, float* weight,
                                  StatusCodeT* status) {
  MoveAndReport(vector, record, word, count, weight, status,
                MoveByRecord<&UncompressedQueryVectorT::NextRecord>);
}

TV_EXPORT void tvVectorPreviousRecord(QueryVectorBaseT* vector,
                                      unsigned long* record,
                                      unsigned long* word,
                                      unsigned long* count, float* weight,
                                      StatusCodeT* status) {
  MoveAndReport(vector, record, word, count, weight, status,
                MoveByRecord<&UncompressedQueryVectorT::PreviousRecord>);
}

TV_EXPORT void tvVectorCurrentHit(QueryVectorBaseT* vector,
                                  unsigned long* record, unsigned long* word,
                                  unsigned long* count, float* weight,
                                  StatusCodeT* status) {
  OnVector(vector, status, [&](QueryVectorBaseT* v, StatusCodeT* s) {
    if (WordsReady(v, word, s)) ReportHit(v, record, word, count, weight);
  });
}

TV_EXPORT void tvVectorAddHit(QueryVectorBaseT* vector, unsigned long record,
                              unsigned long word, float weight,
                              StatusCodeT* status) {
  OnVector(vector, status, [&](QueryVectorBaseT* given, StatusCodeT* s) {
    UncompressedQueryVectorT* v = Uncompressed(given, s);
    if (v == nullptr) return;
    // The order check below needs the hits the vector holds.
    v->ProduceHits(UINT32_MAX, s);
    if (*s < 0) return;
    // Hits stand in ascending (record, word) order, each once; record and
    // word positions count from 1.
    const bool afterLast =
        v->InstanceCount == 0 || record > v->LastRecordAdded ||
        (record == v->LastRecordAdded && word > v->LastWordAdded);
    if (record == 0 || word == 0 || record > UINT32_MAX || word > UINT32_MAX ||
        !afterLast) {
      *s = StatusMalformedParameter;
      return;
    }
    TermInstanceT hit;
    hit.RecordNumber = static_cast<uint32_t>(record);
    hit.WordPosition = static_cast<uint32_t>(word);
    hit.Weight = weight;
    hit.Count = 1;
    v->AddInstance(&hit, s);
  });
}

TV_EXPORT void tvVectorRewind(QueryVectorBaseT* vector, StatusCodeT* status) {
  OnVector(vector, status,
           [](QueryVectorBaseT* v, StatusCodeT* s) { v->Rewind(s); });
}

TV_EXPORT QueryVectorBaseT* tvCreateResultVector(StatusCodeT* status) {
  return ExportedCall(status, static_cast<QueryVectorBaseT*>(nullptr),
                      [](StatusCodeT* s) -> QueryVectorBaseT* {
                        auto* vector = NewOrStatus<UncompressedQueryVectorT>(
                            s, kResultVectorBytes, s);
                        if (vector == nullptr || *s < 0) {
                          delete vector;
                          *s = StatusNotEnoughMemory;
                          return nullptr;
                        }
                        return HandOut(vector);
                      });
}

TV_EXPORT void tvDeleteResultVector(QueryVectorBaseT* vector,
                                    StatusCodeT* status) {
  ExportedCall(status, [vector](StatusCodeT* s) {
    if (vector == nullptr) return;
    if (!IsLiveHandle(vector, HandleKind::kResultVector)) {
      *s = StatusNotIndexFile;
      return;
    }
    UnregisterHandle(vector);
    delete vector;
  });
}

TV_EXPORT QueryVectorBaseT* tvVectorAnd(QueryVectorBaseT* a,
                                        QueryVectorBaseT* b,
                                        StatusCodeT* status) {
  return Combine(a, b, VectorOperationT::kAnd, status);
}

TV_EXPORT QueryVectorBaseT* tvVectorOr(QueryVectorBaseT* a, QueryVectorBaseT* b,
                                       StatusCodeT* status) {
  return Combine(a, b, VectorOperationT::kOr, status);
}

TV_EXPORT QueryVectorBaseT* tvVectorNot(QueryVectorBaseT* a,
                                        QueryVectorBaseT* b,
                                        StatusCodeT* status) {
  return Combine(a, b, VectorOperationT::kNot, status);
}

}  // extern "C"
