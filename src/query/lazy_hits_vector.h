// LazyHitsVectorT: a query result that holds its records first and produces
// their hits as they are needed. A host that walks the records of a Boolean
// result (counting them, listing them, reading their data) never pays for
// the word positions of its operands; one that walks hits gets them for the
// records it reaches, a stretch of records at a time, and the hit count,
// tvVectorAddHit or a vector operation get them for the whole result.
//
// The hits come from a HitEvaluatorT: the query evaluated again with its
// positions, over the partitions it first ran on, in a range of records.
// Every query operator decides each record on that record's hits alone, so a
// record of the result has the same hits in an evaluation that leaves no
// deleted record out and looks at no record outside the range; the vector
// keeps the hits of its own records. Deletions made after the query change
// nothing, and the evaluator reads the partitions as they were when the
// query ran.
//
// The records whose hits are there form a prefix of the result: records up
// to ProducedThrough hold their hits, every later record one hit at word 1
// with count 1 and weight 1 (the count and weight of every hit of a
// word-mode Boolean result). A stretch starts with kFirstStretchRecords
// records and doubles each time, so walking a whole result evaluates the
// query a few times, not once per record.

#ifndef TARVIS_QUERY_LAZY_HITS_VECTOR_H_
#define TARVIS_QUERY_LAZY_HITS_VECTOR_H_

#include <cstdint>
#include <memory>

#include "query/uncompressed_vector.h"

class HitEvaluatorT {
 public:
  virtual ~HitEvaluatorT() = default;
  // The query's hits in records first to last of the index (both included),
  // deleted records included, rewound and owned by the caller; or null with
  // a negative status.
  virtual UncompressedQueryVectorT* EvaluateHits(uint32_t first, uint32_t last,
                                                 StatusCodeT* status) = 0;
};

class LazyHitsVectorT : public UncompressedQueryVectorT {
 public:
  static constexpr uint32_t kFirstStretchRecords = 16;

  // Takes the records of records (left empty, rewound) and the evaluator
  // that will produce their hits. status as UncompressedQueryVectorT's.
  LazyHitsVectorT(UncompressedQueryVectorT* records,
                  std::unique_ptr<HitEvaluatorT> evaluator, StatusCodeT* status);

  // 1 while some record's hits have not been produced.
  int HitsPending() const { return Evaluator != nullptr; }
  void ProduceHits(uint32_t record, StatusCodeT* status) override;

  void NextHit(StatusCodeT* status) override;
  void NextHit(uint32_t record, uint32_t word, StatusCodeT* status) override;
  void Rewind(StatusCodeT* status) override;
  void PreviousHit(HitRecT* hit, StatusCodeT* status) override;
  void PreviousRecord(StatusCodeT* status) override;
  void NextRecord(StatusCodeT* status) override;
  void Current(HitRecT* hit, StatusCodeT* status) override;
  void Append(QueryVectorBaseT* source, uint32_t recordOffset,
              StatusCodeT* status) override;
  void AddInstance(const TermInstanceT* instance, StatusCodeT* status) override;

 private:
  // ProduceHits; 1 when it succeeded, else 0 with the status.
  int Ready(uint32_t record, StatusCodeT* status);
  // The record that ends the stretch from record on: the Stretch-th record
  // of the result at or after it, or UINT32_MAX when the result ends first.
  uint32_t StretchEnd(uint32_t record, StatusCodeT* status);
  // Produces the hits of the records after ProducedThrough up to last.
  void ProduceStretch(uint32_t last, StatusCodeT* status);

  std::unique_ptr<HitEvaluatorT> Evaluator;
  uint32_t ProducedThrough = 0;
  uint32_t Stretch = kFirstStretchRecords;
  // Which hit of a record without its hits yet the vector stands on once
  // they are there: a move back by record ends on a record's last hit.
  int OnLastHit = 0;
};

#endif  // TARVIS_QUERY_LAZY_HITS_VECTOR_H_
