// RankedManagerT: the ranked query text, the walk over each partition's
// records in ascending order with target-driven skips, the term weights and
// the top-N heap.

#include "query/ranked_manager.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "format/word_info.h"
#include "query/deleted_records.h"
#include "query/document_weights.h"
#include "query/partition_reader.h"
#include "storage/allocation.h"

namespace {

int IsBlank(unsigned char c) { return c == ' ' || c == '\t'; }

// Moving a term vector: 1 onto a hit, 0 at its end, -1 on an error (written
// to status; an end is not reported there).
int Moved(StatusCodeT step, StatusCodeT* status) {
  if (step < 0) {
    *status = step;
    return -1;
  }
  return step == StatusEndOfVector ? 0 : 1;
}

int Step(QueryVectorBaseT* vector, StatusCodeT* status) {
  StatusCodeT step = StatusNoError;
  vector->NextHit(&step);
  return Moved(step, status);
}

// Moves a vector standing before (record, word) to the first hit at or after
// it.
int Seek(QueryVectorBaseT* vector, uint32_t record, uint32_t word,
         StatusCodeT* status) {
  StatusCodeT step = StatusNoError;
  vector->NextHit(record, word, &step);
  return Moved(step, status);
}

}  // namespace

// ---- Top-N heap ---------------------------------------------------------------

RankedHeapT::RankedHeapT(uint32_t capacity)
    : Heap(capacity > 0 ? capacity - 1 : 0) {}

void RankedHeapT::InsertIntoHeap(const RankedRecList* record) {
  // The comparison also turns away a score that is not a number.
  if (!(record->Score > kRankedScoreFloor) || Heap.Capacity() == 0) return;
  if (Heap.Size() == Heap.Capacity()) {
    if (!RanksBelow(Heap.Least(), *record)) return;
    DeleteMinFromHeap();
  }
  Heap.Insert(*record);
}

void RankedHeapT::DeleteMinFromHeap() { Heap.DeleteMin(); }

void RankedHeapT::TakeSorted(RankedRecList* out) {
  std::copy(Heap.Entries(), Heap.Entries() + Heap.Size(), out);
  std::sort(out, out + Heap.Size(),
            [](const RankedRecList& a, const RankedRecList& b) {
              return RanksBelow(b, a);
            });
  Heap.Clear();
}

// ---- Active vector heap -------------------------------------------------------

QueryVectorBaseT* IndexManHeapT::DeleteMinFromVectorHeap(uint32_t* term) {
  const EntryT least = Heap.Least();
  Heap.DeleteMin();
  *term = least.Term;
  return least.Vector;
}

// ---- Ranked manager -----------------------------------------------------------

RankedManagerT::RankedManagerT(const RankedSourceT* index,
                               const unsigned char* rankedQuery,
                               QueryVectorBaseT* booleanFilter,
                               uint32_t weightingMode, uint32_t maxResults)
    : Index(index),
      Query(rankedQuery),
      Filter(booleanFilter),
      WeightingMode(weightingMode),
      TopRecords(maxResults) {}

RankedManagerT::~RankedManagerT() { FreePartitionVectors(); }

int RankedManagerT::GetToken(unsigned char* key, int* wildcard,
                             int32_t* modifier, StatusCodeT* status) {
  const unsigned char* p = Query + QueryPosition;
  while (IsBlank(*p)) ++p;
  if (*p == 0) {
    QueryPosition = static_cast<uint32_t>(p - Query);
    return 0;
  }
  *modifier = 0;
  if (*p == '+' || *p == '-') {
    *modifier = *p == '+' ? 1 : -1;
    ++p;
    while (IsBlank(*p)) ++p;
  }
  const unsigned char* word = p;
  if (p[0] != '0' || (p[1] != 'x' && p[1] != 'X')) {
    *status = StatusHexTermExpected;
    return -1;
  }
  p += 2;
  uint32_t units = 0;
  *wildcard = 0;
  for (;; ++units) {
    if (*p == '*' || *p == '?') {
      *wildcard = 1;
      ++p;
    } else if (HexDigitValue(p[0]) >= 0 && HexDigitValue(p[1]) >= 0) {
      p += 2;
    } else {
      break;
    }
  }
  if (units == 0 || (*p != 0 && !IsBlank(*p))) {
    *status = StatusHexTermExpected;
    return -1;
  }
  // The decoders stop at the blank or the end that closes the word.
  const char* text = reinterpret_cast<const char*>(word);
  if (units > kMaximumKeyBytes ||
      !(*wildcard ? HexWordToPattern(key, text)
                  : HexWordToBinaryWord(key, text))) {
    *status = StatusBadKeyLength;
    return -1;
  }
  QueryPosition = static_cast<uint32_t>(p - Query);
  return 1;
}

int RankedManagerT::ReadTerms(StatusCodeT* status) {
  unsigned char key[kMaximumKeyBytes + 1];
  int wildcard = 0;
  int32_t modifier = 0;
  int read;
  while ((read = GetToken(key, &wildcard, &modifier, status)) == 1) {
    if (TermCount == kMaximumRankedTerms) {
      *status = StatusQuerySyntaxError;
      return 0;
    }
    RankedTermT& term = Terms[TermCount++];
    std::copy(key, key + key[0] + 1, term.Key);
    term.Wildcard = wildcard;
    term.Modifier = modifier;
    term.Records = 0;
    term.LogInverseFrequency = 0;
    term.Vector = nullptr;
    term.Ended = 0;
    if (modifier == 1) HasRequired = 1;
  }
  return read == 0;
}

int RankedManagerT::CountTermRecords(StatusCodeT* status) {
  for (uint32_t i = 0; i < TermCount; ++i) {
    RankedTermT& term = Terms[i];
    if (term.Modifier == -1) continue;
    // A repeated term was counted already.
    const RankedTermT* same = nullptr;
    for (uint32_t j = 0; j < i && same == nullptr; ++j) {
      const RankedTermT& other = Terms[j];
      if (other.Modifier != -1 && other.Wildcard == term.Wildcard &&
          std::equal(term.Key, term.Key + term.Key[0] + 1, other.Key)) {
        same = &other;
      }
    }
    if (same != nullptr) {
      term.Records = same->Records;
      continue;
    }
    for (uint32_t p = 0; p < Index->PartitionCount(); ++p) {
      PartitionReaderT* reader = Index->Reader(p);
      StatusCodeT s = StatusNoError;
      if (term.Wildcard) {
        std::unique_ptr<QueryVectorBaseT> matches(
            reader->ProcessWildCard(term.Key, LeafViewT(), &s));
        if (matches == nullptr || s < 0) {
          *status = s < 0 ? s : StatusGeneralError;
          return 0;
        }
        term.Records += matches->RecordCount;
      } else {
        WordIndexInfoT info;
        if (reader->LookupTerm(term.Key, &info, &s)) {
          term.Records += info.RecordCount;
        } else if (s < 0) {
          *status = s;
          return 0;
        }
      }
    }
  }
  return 1;
}

int RankedManagerT::PutTokensonHeap(PartitionReaderT* reader, int* live,
                                    StatusCodeT* status) {
  *live = 1;
  for (uint32_t i = 0; i < TermCount; ++i) {
    RankedTermT& term = Terms[i];
    StatusCodeT s = StatusNoError;
    QueryVectorBaseT* vector = term.Wildcard
                                   ? reader->ProcessWildCard(term.Key, LeafViewT(), &s)
                                   : reader->TokentoVector(term.Key, &s);
    if (vector == nullptr || s < 0) {
      delete vector;
      *status = s < 0 ? s : StatusGeneralError;
      return 0;
    }
    term.Vector = vector;
    term.Ended = 0;
    vector->RankingModifier = term.Modifier;
    if (!vector->IsPositioned()) {
      term.Ended = 1;
      // A required term missing from the partition rules out all of it.
      if (term.Modifier == 1) *live = 0;
    } else if (term.Modifier != -1) {
      ActiveVectors.InsertIntoVectorHeap(vector, i);
    }
  }
  return 1;
}

void RankedManagerT::FreePartitionVectors() {
  if (Terms == nullptr) return;
  for (uint32_t i = 0; i < TermCount; ++i) {
    delete Terms[i].Vector;
    Terms[i].Vector = nullptr;
  }
  ActiveVectors.Clear();
  RequiredEnded = 0;
}

void RankedManagerT::Requeue(uint32_t term, int moved) {
  if (moved) {
    ActiveVectors.InsertIntoVectorHeap(Terms[term].Vector, term);
    return;
  }
  Terms[term].Ended = 1;
  if (Terms[term].Modifier == 1) RequiredEnded = 1;
}

int RankedManagerT::NextCandidate(uint32_t offset, uint32_t records,
                                  uint32_t* record, StatusCodeT* status) {
  for (;;) {
    if (RequiredEnded || FilterEnded || ActiveVectors.Size() == 0) return 0;
    // No record before the last current record of a required term, nor
    // before the filter's next record, can qualify.
    const uint32_t least = ActiveVectors.Least()->CurrentRecord();
    uint32_t target = least;
    // When pruning, only the terms that can bring a record in propose one.
    if (Pruning && !LeastEssentialRecord(&target)) return 0;
    if (HasRequired) {
      for (uint32_t i = 0; i < TermCount; ++i) {
        if (Terms[i].Modifier == 1) {
          target = std::max(target, Terms[i].Vector->CurrentRecord());
        }
      }
    }
    // Postings outside the partition's records: the partition is damaged.
    if (target == 0 || target > records) {
      *status = StatusReadError;
      return -1;
    }
    if (Filter != nullptr) {
      const uint32_t wanted = target + offset;
      if (Filter->CurrentRecord() < wanted) {
        if (Filter->IsPositioned() && Seek(Filter, wanted, 1, status) < 0) {
          return -1;
        }
        if (Filter->CurrentRecord() < wanted) {
          FilterEnded = 1;
          return 0;
        }
      }
      const uint32_t admitted = Filter->CurrentRecord() - offset;
      if (admitted > records) return 0;
      target = admitted;
    }
    if (least == target) {
      *record = target;
      return 1;
    }
    while (ActiveVectors.Size() > 0 &&
           ActiveVectors.Least()->CurrentRecord() < target) {
      uint32_t term;
      QueryVectorBaseT* vector = ActiveVectors.DeleteMinFromVectorHeap(&term);
      const int moved = Seek(vector, target, 1, status);
      if (moved < 0) return -1;
      Requeue(term, moved);
    }
  }
}

int RankedManagerT::IsExcluded(uint32_t record, StatusCodeT* status) {
  for (uint32_t i = 0; i < TermCount; ++i) {
    RankedTermT& term = Terms[i];
    if (term.Modifier != -1 || term.Ended) continue;
    if (term.Vector->CurrentRecord() < record) {
      const int moved = Seek(term.Vector, record, 1, status);
      if (moved < 0) return -1;
      if (moved == 0) {
        term.Ended = 1;
        continue;
      }
    }
    if (term.Vector->CurrentRecord() == record) return 1;
  }
  return 0;
}

int RankedManagerT::LeaveRecord(uint32_t record, uint32_t indexMode,
                                DocumentWeightTableT* weights, float* score,
                                StatusCodeT* status) {
  float dw = 1.0f;
  if (score != nullptr && weights->HasWeights() &&
      !weights->Weight(record, &dw, status)) {
    return 0;
  }
  // Vectors on one record leave the heap in query order, so the weights are
  // summed in the same order in every partition.
  double scale = -1;  // RecordScale(dw), once the record scores a term
  while (ActiveVectors.Size() > 0 &&
         ActiveVectors.Least()->CurrentRecord() == record) {
    uint32_t term;
    QueryVectorBaseT* vector = ActiveVectors.DeleteMinFromVectorHeap(&term);
    int moved;
    if (score != nullptr) {
      uint32_t tf = 0;
      if (indexMode == WORD_MODE) {
        // Each hit counts once: the vector counts its hits in the record
        // with the least decoding it can.
        StatusCodeT step = StatusNoError;
        vector->PassRecord(&tf, &step);
        moved = Moved(step, status);
      } else {
        do {
          tf += indexMode == IDF_MODE ? vector->CurrentHit().Count : 1;
          moved = Step(vector, status);
        } while (moved == 1 && vector->CurrentRecord() == record);
      }
      if (moved < 0) return 0;
      if (Pruning && !WithinBounds(term, tf, dw, status)) return 0;
      if (scale < 0) scale = RecordScale(dw);
      *score += CalcWeight(term, tf, dw, scale);
    } else {
      moved = record == UINT32_MAX ? 0 : Seek(vector, record + 1, 1, status);
      if (moved < 0) return 0;
    }
    Requeue(term, moved);
  }
  return 1;
}

namespace {

// ln x for the small whole term frequencies that nearly every posting has,
// and ln(x + 0.5): the same values std::log gives, computed once.
constexpr uint32_t kLogTableSize = 64;
struct LogTablesT {
  double Whole[kLogTableSize];
  double Half[kLogTableSize];
  LogTablesT() {
    for (uint32_t i = 0; i < kLogTableSize; ++i) {
      Whole[i] = std::log(static_cast<double>(i));
      Half[i] = std::log(i + 0.5);
    }
  }
};
const LogTablesT& LogTables() {
  static const LogTablesT tables;
  return tables;
}

}  // namespace

double RankedManagerT::RecordScale(float dw) const {
  return WeightingMode == kWeightIdf ? std::log(1.0 + dw) * LogIndexRecords : 0;
}

float RankedManagerT::CalcWeight(uint32_t term, uint32_t tf, float dw,
                                 double scale) const {
  const bool small = tf < kLogTableSize;
  if (WeightingMode == kWeightLogTf) {
    const double logTf = small ? LogTables().Whole[tf]
                               : std::log(static_cast<double>(tf));
    return static_cast<float>((logTf + 1.0) / dw);
  }
  if (WeightingMode != kWeightIdf) return 1.0f;
  const double length = dw >= 25 ? 25.0 / dw : 1.0;
  const double logTf = small ? LogTables().Half[tf] : std::log(tf + 0.5);
  const float product =
      static_cast<float>(0.6 * logTf * Terms[term].LogInverseFrequency);
  const float quotient =
      scale > 0 ? static_cast<float>(product / scale) : 0.0f;
  return static_cast<float>(0.4 + 0.6 * (0.4 * length + quotient));
}

// ---- Pruning ------------------------------------------------------------------

void RankedManagerT::PrepareBounds(const PartitionReaderT& reader,
                                   const DocumentWeightTableT& weights) {
  Pruning = 0;
  BoundedTerms = 0;
  NonEssential = 0;
  ChosenFor = -1;
  SmallestWeight = weights.HasWeights() ? reader.Header().SmallestWeight : 1.0f;
  // Mode 2 divides by ln(1 + dw): a smallest weight that makes it 0 bounds
  // nothing.
  const bool weightBounds =
      SmallestWeight > 0 && std::isfinite(SmallestWeight) &&
      (WeightingMode != kWeightIdf || LogIndexRecords <= 0 ||
       RecordScale(SmallestWeight) > 0);
  const uint32_t mode = reader.IndexMode();
  for (uint32_t i = 0; i < TermCount; ++i) {
    RankedTermT& term = Terms[i];
    term.MostHits = UINT32_MAX;
    term.Bound = std::numeric_limits<double>::infinity();
    if (term.Modifier == -1 || term.Ended) continue;
    ByBound[BoundedTerms++] = i;
    // A required term must be read in every record it holds anyway, and an
    // expansion has no count of its own to bound.
    if (term.Modifier != 0 || term.Wildcard || !weightBounds) continue;
    const QueryVectorBaseT* vector = term.Vector;
    if (mode == WORD_MODE) {
      // Every record holding the term holds one of its postings.
      if (vector->PostingCount < vector->TermRecordCount) continue;
      term.MostHits = vector->PostingCount - vector->TermRecordCount + 1;
    } else {
      term.MostHits = mode == IDF_MODE ? 0xFFFFu : 1;
    }
    term.Bound = CalcWeight(i, term.MostHits, SmallestWeight,
                            RecordScale(SmallestWeight));
    if (std::isfinite(term.Bound)) Pruning = 1;
  }
  std::stable_sort(ByBound, ByBound + BoundedTerms,
                   [this](uint32_t a, uint32_t b) {
                     return Terms[a].Bound < Terms[b].Bound;
                   });
}

void RankedManagerT::ChooseEssentialTerms() {
  const float entry = TopRecords.EntryScore();
  if (!Pruning || entry == ChosenFor) return;
  ChosenFor = entry;
  // The lightest terms whose bounds sum to at most the entry score cannot
  // bring a record in. The margin covers the rounding of single-precision
  // sums of the weights, in whatever order.
  double sum = 0;
  uint32_t k = 0;
  for (; k < BoundedTerms; ++k) {
    sum += Terms[ByBound[k]].Bound;
    if (!(sum * (1 + 1e-4) <= entry)) break;
  }
  NonEssential = k;
}

int RankedManagerT::LeastEssentialRecord(uint32_t* record) const {
  uint32_t least = 0;
  for (uint32_t k = NonEssential; k < BoundedTerms; ++k) {
    const RankedTermT& term = Terms[ByBound[k]];
    if (term.Ended) continue;
    const uint32_t at = term.Vector->CurrentRecord();
    if (least == 0 || at < least) least = at;
  }
  *record = least;
  return least != 0;
}

int RankedManagerT::WithinBounds(uint32_t term, uint32_t tf, float dw,
                                 StatusCodeT* status) const {
  if (tf <= Terms[term].MostHits && !(dw < SmallestWeight)) return 1;
  *status = StatusReadError;
  return 0;
}

int RankedManagerT::AddtoResults(PartitionReaderT* reader,
                                 StatusCodeT* status) {
  // A partition without document weights (or a weighting mode that reads
  // none) scores with a weight of 1.
  DocumentWeightTableT weights;
  if (WeightingMode != kWeightFlat && !weights.Open(*reader, status)) return 0;
  PrepareBounds(*reader, weights);
  ChooseEssentialTerms();
  const uint32_t offset = reader->RecordsBefore();
  const uint32_t records = reader->RecordCount();
  const uint32_t indexMode = reader->IndexMode();
  const DeletedRecordSetT* deleted = Index->DeletedRecords();
  uint32_t record = 0;
  int found;
  while ((found = NextCandidate(offset, records, &record, status)) == 1) {
    int skip = deleted != nullptr && deleted->IsRecordDeleted(record + offset);
    if (!skip && (skip = IsExcluded(record, status)) < 0) return 0;
    float score = 0.0f;
    if (!LeaveRecord(record, indexMode, &weights, skip ? nullptr : &score,
                     status)) {
      return 0;
    }
    if (!skip) {
      const RankedRecList scored = {record + offset, score};
      TopRecords.InsertIntoHeap(&scored);
      ChooseEssentialTerms();
    }
  }
  return found == 0;
}

UncompressedQueryVectorT* RankedManagerT::SortVector(StatusCodeT* status) {
  const uint32_t count = TopRecords.Count();
  std::unique_ptr<RankedRecList[]> sorted(
      NewArrayOrStatus<RankedRecList>(std::max<uint32_t>(count, 1), status));
  if (sorted == nullptr) return nullptr;
  TopRecords.TakeSorted(sorted.get());
  StatusCodeT s = StatusNoError;
  std::unique_ptr<UncompressedQueryVectorT> ranked(
      NewOrStatus<UncompressedQueryVectorT>(
          &s, std::max<uint32_t>(count, 1) * sizeof(TermInstanceT), &s));
  for (uint32_t i = 0; i < count && s >= 0; ++i) {
    TermInstanceT hit;
    hit.RecordNumber = sorted[i].RecordNumber;
    hit.WordPosition = 1;
    hit.Weight = sorted[i].Score;
    hit.Count = 1;
    ranked->AddInstance(&hit, &s);
  }
  if (s < 0) {
    *status = s;
    return nullptr;
  }
  ranked->SetRankedVectorFlag();
  return ranked.release();
}

UncompressedQueryVectorT* RankedManagerT::ParseQuery(StatusCodeT* status) {
  *status = StatusNoError;
  if (Index == nullptr || Index->PartitionCount() == 0) {
    *status = StatusNotInitializedForSearching;
    return nullptr;
  }
  Terms.reset(NewArrayOrNull<RankedTermT>(kMaximumRankedTerms));
  if (Terms == nullptr || !TopRecords.IsValid()) {
    *status = StatusNotEnoughMemory;
    return nullptr;
  }
  if (!ReadTerms(status)) return nullptr;
  IndexRecords = Index->RecordCount();
  if (WeightingMode == kWeightIdf) {
    if (!CountTermRecords(status)) return nullptr;
    LogIndexRecords = std::log(static_cast<double>(IndexRecords));
    for (uint32_t i = 0; i < TermCount; ++i) {
      const double records = Terms[i].Records > 0 ? Terms[i].Records : 1;
      Terms[i].LogInverseFrequency = std::log(IndexRecords / records);
    }
  }
  if (Filter != nullptr) {
    StatusCodeT s = StatusNoError;
    Filter->Rewind(&s);
    if (s < 0) {
      *status = s;
      return nullptr;
    }
    FilterEnded = !Filter->IsPositioned();
  }
  for (uint32_t p = 0; p < Index->PartitionCount() && !FilterEnded; ++p) {
    PartitionReaderT* reader = Index->Reader(p);
    int live = 0;
    const int scored = PutTokensonHeap(reader, &live, status) &&
                       (!live || AddtoResults(reader, status));
    FreePartitionVectors();
    if (!scored) return nullptr;
  }
  return SortVector(status);
}
