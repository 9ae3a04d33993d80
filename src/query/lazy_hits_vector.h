// LazyHitsVectorT: a query result that holds its records first and produces
// their hits when they are first needed. A host that walks the records of a
// Boolean result (counting them, listing them, reading their data) never
// pays for the word positions of its operands; one that asks for a hit, a
// word position, the hit count or an operation on the vector gets them, once,
// for the whole result.
//
// The hits come from a HitEvaluatorT: the query evaluated again with its
// positions over the partitions it first ran on. Every query operator decides
// each record on that record's hits alone, so a record of the result has the
// same hits in an evaluation that leaves no deleted record out; the vector
// keeps the hits of its own records only. Deletions made after the query thus
// change nothing, and the evaluator reads the partitions as they were when
// the query ran.
//
// Until then the vector holds one hit per record at word 1, count 1, weight 1
// (the count and weight every hit of a word-mode Boolean result has). Moving
// by record keeps that form; everything that reports or depends on a word
// position produces the hits first.

#ifndef TARVIS_QUERY_LAZY_HITS_VECTOR_H_
#define TARVIS_QUERY_LAZY_HITS_VECTOR_H_

#include <cstdint>
#include <memory>

#include "query/uncompressed_vector.h"

class HitEvaluatorT {
 public:
  virtual ~HitEvaluatorT() = default;
  // The query's full result, deleted records included, rewound and owned by
  // the caller; or null with a negative status.
  virtual UncompressedQueryVectorT* EvaluateHits(StatusCodeT* status) = 0;
};

class LazyHitsVectorT : public UncompressedQueryVectorT {
 public:
  // Takes the records of records (left empty, rewound) and the evaluator
  // that will produce their hits. status as UncompressedQueryVectorT's.
  LazyHitsVectorT(UncompressedQueryVectorT* records,
                  std::unique_ptr<HitEvaluatorT> evaluator, StatusCodeT* status);

  // 1 while the hits have not been produced.
  int HitsPending() const { return Evaluator != nullptr; }
  void ProduceHits(StatusCodeT* status) override;

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
  // 1 when the hits are there (produced now or before); 0 with a status.
  int HitsReady(StatusCodeT* status);

  std::unique_ptr<HitEvaluatorT> Evaluator;
  // Which hit of the current record the vector stands on once it holds its
  // hits: a move back by record ends on a record's last hit.
  int OnLastHit = 0;
};

#endif  // TARVIS_QUERY_LAZY_HITS_VECTOR_H_
