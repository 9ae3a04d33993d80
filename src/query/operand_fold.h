// Running one query processor operation over an array of operand vectors,
// and folding any number of vectors into their OR. The processor takes at
// most kMaximumOperands operands at once; OR, strict AND, NOT (the first
// operand minus the others) and proximity (a left fold) can be applied
// piecewise, the partial result standing in for the operands it combined, so
// they take any number. Wildcard and range expansions fold their keys'
// vectors with OrFoldT every kOperandsBeforeFull vectors, which bounds the
// vectors alive at once.

#ifndef TARVIS_QUERY_OPERAND_FOLD_H_
#define TARVIS_QUERY_OPERAND_FOLD_H_

#include <cstdint>

#include "query/leaf_view.h"
#include "query/query_processor.h"

enum QueryOperationT {
  kOperationOr,
  kOperationAnd,          // parameter: the tolerance
  kOperationNot,
  kOperationProximity,    // parameter: the distance
  kOperationPhrase,
  kOperationFieldMember,  // the first operand inside the spans of the second
  kOperationFieldAnd,     // parameter: the tolerance; field: the field vector
  kOperationCopy
};

// 1 when the operation can be applied piecewise.
int IsFoldable(QueryOperationT operation, uint32_t parameter);

// Loads operands[0..count) (count <= kMaximumOperands) into processor and runs
// the operation. The operands stay owned by the caller; they are walked.
UncompressedQueryVectorT* RunOperation(QueryProcessorT* processor,
                                       QueryOperationT operation,
                                       uint32_t parameter,
                                       QueryVectorBaseT* const* operands,
                                       uint32_t count, QueryVectorBaseT* field,
                                       StatusCodeT* status);

// Runs the operation over operands[0..*count) and puts the result in their
// place: the operands are destroyed, operands[0] is the result, *count is 1.
// On failure (0 with a negative status) the operands are left as they were.
int CombineOperands(QueryProcessorT* processor, QueryOperationT operation,
                    uint32_t parameter, QueryVectorBaseT** operands,
                    uint32_t* count, StatusCodeT* status);

// The OR of a stream of vectors whose number is not known in advance. Every
// kOperandsBeforeFull vectors are merged into a partial result, and every
// kPartialsBeforeFold partial results into one, so that a hit is copied a
// few times however many vectors come (merging each group into the result
// of all before it would copy the early hits once per group).
class OrFoldT {
 public:
  // processor must outlive the fold; the fold uses it between its calls.
  // Every vector added is seen as view asks (leaf_view.h), and so is the OR.
  explicit OrFoldT(QueryProcessorT* processor, const LeafViewT& view = LeafViewT())
      : Processor(processor), View(view) {}
  ~OrFoldT();
  OrFoldT(const OrFoldT&) = delete;
  OrFoldT& operator=(const OrFoldT&) = delete;

  // Takes ownership of vector, also on failure. 1, or 0 with a negative
  // status.
  int Add(QueryVectorBaseT* vector, StatusCodeT* status);
  // The OR of every vector added, rewound, owned by the caller; an empty
  // vector when none was added. The fold is empty afterwards.
  UncompressedQueryVectorT* Finish(StatusCodeT* status);

 private:
  static constexpr uint32_t kPartialsBeforeFold = 16;

  void Clear();
  // Keeps the OR of earlier vectors; 0 with a status when the partials
  // could not be merged (the fold is then cleared).
  int AddPartial(QueryVectorBaseT* partial, StatusCodeT* status);

  QueryProcessorT* Processor;
  LeafViewT View;
  QueryVectorBaseT* Held[kOperandsBeforeFull] = {};
  uint32_t Count = 0;
  QueryVectorBaseT* Partials[kPartialsBeforeFold] = {};
  uint32_t PartialCount = 0;
};

#endif  // TARVIS_QUERY_OPERAND_FOLD_H_
