// Running processor operations over operand arrays; the OR fold.

#include "query/operand_fold.h"

#include "storage/check.h"

int IsFoldable(QueryOperationT operation, uint32_t parameter) {
  switch (operation) {
    case kOperationOr:
    case kOperationNot:
    case kOperationProximity:
      return 1;
    case kOperationAnd:
      return parameter == 0;
    default:
      return 0;
  }
}

UncompressedQueryVectorT* RunOperation(QueryProcessorT* processor,
                                       QueryOperationT operation,
                                       uint32_t parameter,
                                       QueryVectorBaseT* const* operands,
                                       uint32_t count, QueryVectorBaseT* field,
                                       StatusCodeT* status) {
  TV_CHECK(count <= kMaximumOperands);
  processor->InitHeap();
  for (uint32_t i = 0; i < count; ++i) {
    StatusCodeT loaded = StatusNoError;
    processor->ProcessVector(operands[i], &loaded);
  }
  processor->HeapStart();
  *status = StatusNoError;
  switch (operation) {
    case kOperationOr:
      return processor->ProcessOr(status);
    case kOperationAnd:
      return processor->ProcessAnd(parameter, status);
    case kOperationNot:
      return processor->ProcessNot(status);
    case kOperationProximity:
      return processor->ProcessProximity(parameter, status);
    case kOperationPhrase:
      return processor->ProcessPhrase2(nullptr, nullptr, status);
    case kOperationFieldMember:
      return processor->ProcessFieldMember(status);
    case kOperationFieldAnd:
      return processor->ProcessFieldAnd(field, parameter, 0, status);
    case kOperationCopy:
      return processor->ProcessCopy(status);
  }
  TV_CHECK(!"unknown query operation");
  return nullptr;
}

int CombineOperands(QueryProcessorT* processor, QueryOperationT operation,
                    uint32_t parameter, QueryVectorBaseT** operands,
                    uint32_t* count, StatusCodeT* status) {
  UncompressedQueryVectorT* result = RunOperation(
      processor, operation, parameter, operands, *count, nullptr, status);
  if (result == nullptr) return 0;
  for (uint32_t i = 0; i < *count; ++i) delete operands[i];
  operands[0] = result;
  *count = 1;
  return 1;
}

OrFoldT::~OrFoldT() { Clear(); }

void OrFoldT::Clear() {
  for (uint32_t i = 0; i < Count; ++i) delete Held[i];
  for (uint32_t i = 0; i < PartialCount; ++i) delete Partials[i];
  Count = 0;
  PartialCount = 0;
}

int OrFoldT::AddPartial(QueryVectorBaseT* partial, StatusCodeT* status) {
  Partials[PartialCount++] = partial;
  if (PartialCount < kPartialsBeforeFold) return 1;
  if (!CombineOperands(Processor, kOperationOr, 0, Partials, &PartialCount,
                       status)) {
    Clear();
    return 0;
  }
  return 1;
}

int OrFoldT::Add(QueryVectorBaseT* vector, StatusCodeT* status) {
  *status = StatusNoError;
  vector = ApplyLeafView(vector, View, status);
  if (vector == nullptr) return 0;
  Held[Count++] = vector;
  if (Count < kOperandsBeforeFull) return 1;
  if (!CombineOperands(Processor, kOperationOr, 0, Held, &Count, status)) {
    return 0;
  }
  Count = 0;
  return AddPartial(Held[0], status);
}

UncompressedQueryVectorT* OrFoldT::Finish(StatusCodeT* status) {
  *status = StatusNoError;
  if (Count == 0 && PartialCount == 1) {
    // Every vector produced by the processor is an uncompressed one.
    auto* result = static_cast<UncompressedQueryVectorT*>(Partials[0]);
    PartialCount = 0;
    return result;
  }
  static_assert(kOperandsBeforeFull + kPartialsBeforeFold <= kMaximumOperands,
                "the last merge takes every vector and partial held");
  QueryVectorBaseT* operands[kMaximumOperands];
  uint32_t count = 0;
  for (uint32_t i = 0; i < PartialCount; ++i) operands[count++] = Partials[i];
  for (uint32_t i = 0; i < Count; ++i) operands[count++] = Held[i];
  UncompressedQueryVectorT* result =
      RunOperation(Processor, kOperationOr, 0, operands, count, nullptr, status);
  Clear();
  return result;
}
