// RankedManagerT: ranked retrieval. A ranked query is a list of terms; every
// record holding one of them gets a score, the sum over the query's terms of
// each term's weight in the record, and the best records come back in a
// vector in descending order of score (equal scores: lower record first).
//
// Ranked query text: tokens separated by spaces and TABs. A token is a hex
// word ("0x" and units of two hexadecimal digits, "*" or "?"), optionally
// preceded by "+" (the term is required: only records holding it qualify)
// or "-" (excluded: no record holding it qualifies); blanks may follow the
// sign. A wildcard token stands for the OR of the terms it matches. Anything
// else is StatusHexTermExpected; a term of more than 255 bytes is
// StatusBadKeyLength; more than kMaximumRankedTerms tokens is
// StatusQuerySyntaxError.
//
// Term weights, by weighting mode (tf: the term's occurrences in the record
// — its hits in a word-mode index, the stored count in an IDF-mode index;
// dw: the record's document weight, exactly as the session computed it (the
// partition's plain weight table), 1 in a partition that keeps none; n:
// the records holding the term and N: the records of the index, both taken
// over the whole index, so that a score does not depend on how the index is
// cut into partitions):
//   0  1
//   1  (ln tf + 1) / dw
//   2  0.4 + 0.6 (0.4 L + q), L = 25 / dw when dw >= 25 else 1, and
//      q = p / (ln(1 + dw) ln N) (0 when ln N is 0), p = 0.6 ln(tf + 0.5)
//      ln(N / n); p, q and the weight are rounded to single precision.
// A record's score sums the weights in single precision in query order, and
// only a score above kRankedScoreFloor counts. Deleted records never score;
// with a Boolean filter, only records the filter holds do.
//
// Pruning. In each partition a plain term's weight has an upper bound: its
// weight at the most hits a record can hold of it there and at the
// partition's smallest document weight (every weight above grows with tf and
// falls with dw). Records are offered in ascending number, so a record
// enters a full top-N only with a score above the lowest one kept. The terms
// whose bounds together stay at or below that score cannot bring a record in
// on their own: records are then found through the other terms only, and
// these are looked up in them by skipping (max-score). The records kept are
// exactly those of scoring every record. A partition whose postings or
// weights break the bounds it was pruned with is damaged: StatusReadError.
//
// The index is seen through RankedSourceT (ranked_source.h): its partitions,
// its record count and its deleted records.

#ifndef TARVIS_QUERY_RANKED_MANAGER_H_
#define TARVIS_QUERY_RANKED_MANAGER_H_

#include <cstdint>
#include <memory>

#include "query/hex_words.h"
#include "query/query_vector.h"
#include "query/ranked_source.h"
#include "query/uncompressed_vector.h"
#include "storage/binary_heap.h"

class DocumentWeightTableT;
class PartitionReaderT;

constexpr uint32_t kMaximumRankedTerms = 128;
// Room of the top-N heap; it holds one record less.
constexpr uint32_t kRankedResults = 1000;
constexpr float kRankedScoreFloor = 0.001f;

// Weighting modes.
constexpr uint32_t kWeightFlat = 0;
constexpr uint32_t kWeightLogTf = 1;
constexpr uint32_t kWeightIdf = 2;

// A scored record.
struct RankedRecList {
  uint32_t RecordNumber;
  float Score;
};

// The best records offered, at most capacity - 1 of them. Records are ranked
// by score, and among equal scores the lower record number ranks higher, so
// which records are kept does not depend on the order they are offered in.
class RankedHeapT {
 public:
  explicit RankedHeapT(uint32_t capacity);
  RankedHeapT(const RankedHeapT&) = delete;
  RankedHeapT& operator=(const RankedHeapT&) = delete;

  // 0 when the entries could not be allocated.
  int IsValid() const { return Heap.IsValid(); }
  // Keeps the record when its score is above kRankedScoreFloor and it ranks
  // above the lowest record held or there is room.
  void InsertIntoHeap(const RankedRecList* record);
  // Drops the lowest-ranked record.
  void DeleteMinFromHeap();
  uint32_t Count() const { return Heap.Size(); }
  // The score a record must pass to be kept: the lowest one held when the
  // heap is full, else the floor.
  float EntryScore() const {
    return Heap.Capacity() > 0 && Heap.Size() == Heap.Capacity()
               ? Heap.Least().Score
               : kRankedScoreFloor;
  }
  // Sorts the records held best first into out (room for Count()); the heap
  // is emptied.
  void TakeSorted(RankedRecList* out);

  // True when a ranks below b.
  static bool RanksBelow(const RankedRecList& a, const RankedRecList& b) {
    return a.Score < b.Score ||
           (a.Score == b.Score && a.RecordNumber > b.RecordNumber);
  }

 private:
  // The lowest-ranked record leaves first.
  struct LowestFirstT {
    bool operator()(const RankedRecList& a, const RankedRecList& b) const {
      return RanksBelow(a, b);
    }
  };

  BinaryHeapT<RankedRecList, LowestFirstT> Heap;
};

// The term vectors of one partition that still have postings, least current
// record first; among vectors on one record, the earlier query term first.
class IndexManHeapT {
 public:
  // Room for kMaximumRankedTerms vectors; a vector beyond is not taken.
  void InsertIntoVectorHeap(QueryVectorBaseT* vector, uint32_t term) {
    Heap.Insert({vector, term});
  }
  // Removes the least vector (only while Size() > 0); its term goes to
  // *term.
  QueryVectorBaseT* DeleteMinFromVectorHeap(uint32_t* term);
  QueryVectorBaseT* Least() const {
    return Heap.Size() > 0 ? Heap.Least().Vector : nullptr;
  }
  uint32_t Size() const { return Heap.Size(); }
  void Clear() { Heap.Clear(); }

 private:
  struct EntryT {
    QueryVectorBaseT* Vector;
    uint32_t Term;
  };
  struct BeforeT {
    bool operator()(const EntryT& a, const EntryT& b) const {
      return a.Vector->CurrentRecord() < b.Vector->CurrentRecord() ||
             (a.Vector->CurrentRecord() == b.Vector->CurrentRecord() &&
              a.Term < b.Term);
    }
  };

  BinaryHeapT<EntryT, BeforeT, kMaximumRankedTerms> Heap;
};

class RankedManagerT {
 public:
  // index, rankedQuery and booleanFilter (may be null; its record numbers
  // are the index's) stay the caller's and must outlive the manager.
  RankedManagerT(const RankedSourceT* index, const unsigned char* rankedQuery,
                 QueryVectorBaseT* booleanFilter, uint32_t weightingMode,
                 uint32_t maxResults = kRankedResults);
  ~RankedManagerT();
  RankedManagerT(const RankedManagerT&) = delete;
  RankedManagerT& operator=(const RankedManagerT&) = delete;

  // Scores the index's records. Returns a new vector, owned by the caller,
  // marked ranked and not rewound: one hit per record (word position 1,
  // count 1, the score as weight), best first. Null with a negative status:
  // StatusNotInitializedForSearching without partitions, the text's errors
  // above, and the failures of reading the partitions.
  UncompressedQueryVectorT* ParseQuery(StatusCodeT* status);

  // Reads the next token of the text. 1 with the term's key (a wildcard
  // pattern when *wildcard is set) and its modifier (1 required, -1
  // excluded, 0 plain); 0 at the end of the text; -1 with a status on a
  // malformed token.
  int GetToken(unsigned char* key, int* wildcard, int32_t* modifier,
               StatusCodeT* status);

 private:
  struct RankedTermT {
    unsigned char Key[kMaximumKeyBytes + 1];
    int Wildcard;
    int32_t Modifier;
    // Records holding the term in the whole index, and ln(N / n)
    // (weighting mode 2).
    uint32_t Records;
    double LogInverseFrequency;
    // The term's vector in the partition being scored; Ended once it has
    // no further postings.
    QueryVectorBaseT* Vector;
    int Ended;
    // In the partition being scored: the most hits a record can hold of the
    // term, and the largest weight it can add (infinite when unknown).
    uint32_t MostHits;
    double Bound;
  };
  int ReadTerms(StatusCodeT* status);
  // The index-wide record count of every scoring term.
  int CountTermRecords(StatusCodeT* status);
  // Makes the term vectors of a partition; 0 with a status on failure, or
  // with *live 0 when no record of the partition can qualify.
  int PutTokensonHeap(PartitionReaderT* reader, int* live, StatusCodeT* status);
  // Scores the records of a partition and offers them to the top-N heap.
  int AddtoResults(PartitionReaderT* reader, StatusCodeT* status);
  void FreePartitionVectors();
  // The next record, at or after the least vector's, that the required
  // terms and the filter admit: 1 with *record, 0 when the partition has
  // none left, -1 on an error.
  int NextCandidate(uint32_t offset, uint32_t records, uint32_t* record,
                    StatusCodeT* status);
  // 1 when an excluded term holds the record, 0 if none, -1 on an error.
  int IsExcluded(uint32_t record, StatusCodeT* status);
  // Moves every vector standing on record past it (scoring it when score is
  // not null, by the partition's index mode); 0 with a status on an error.
  int LeaveRecord(uint32_t record, uint32_t indexMode,
                  DocumentWeightTableT* weights, float* score,
                  StatusCodeT* status);
  // Puts a vector that moved back on the active heap, or lets it go at its
  // end. moved: 1 on a hit, 0 at its end.
  void Requeue(uint32_t term, int moved);
  // Pruning (see above): the bounds of the partition's terms, ordered; the
  // terms that can bring a record in, after the top-N changed; the least
  // record one of them stands on (0 when none is left).
  void PrepareBounds(const PartitionReaderT& reader,
                     const DocumentWeightTableT& weights);
  void ChooseEssentialTerms();
  int LeastEssentialRecord(uint32_t* record) const;
  // 0 with StatusReadError when a record breaks the bounds the partition is
  // pruned with.
  int WithinBounds(uint32_t term, uint32_t tf, float dw,
                   StatusCodeT* status) const;
  // ln(1 + dw) ln N, the part of a term's weight in mode 2 that depends
  // only on the record.
  double RecordScale(float dw) const;
  // scale: RecordScale(dw).
  float CalcWeight(uint32_t term, uint32_t tf, float dw, double scale) const;
  UncompressedQueryVectorT* SortVector(StatusCodeT* status);

  const RankedSourceT* Index;
  const unsigned char* Query;
  uint32_t QueryPosition = 0;
  QueryVectorBaseT* Filter;
  uint32_t WeightingMode;
  RankedHeapT TopRecords;
  IndexManHeapT ActiveVectors;
  std::unique_ptr<RankedTermT[]> Terms;
  uint32_t TermCount = 0;
  int HasRequired = 0;
  // Set when a required term has no postings left in the partition.
  int RequiredEnded = 0;
  // Set when the filter holds no further record: nothing more can score.
  int FilterEnded = 0;
  uint32_t IndexRecords = 0;
  double LogIndexRecords = 0;  // ln N (weighting mode 2)
  // Pruning in the partition being scored: whether it prunes, its smallest
  // document weight, the scoring terms by ascending bound, how many of them
  // cannot bring a record in, and the entry score that count was chosen for.
  int Pruning = 0;
  float SmallestWeight = 1.0f;
  uint32_t ByBound[kMaximumRankedTerms] = {};
  uint32_t BoundedTerms = 0;
  uint32_t NonEssential = 0;
  float ChosenFor = 0;
};

#endif  // TARVIS_QUERY_RANKED_MANAGER_H_
