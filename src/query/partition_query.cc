// PartitionReaderT as the term source of the query parser: the vector of a
// term, the OR of the keys a wildcard or a range expands to, and a whole
// query over the partition.

#include "query/partition_reader.h"

#include "query/compressed_vector.h"
#include "query/operand_fold.h"
#include "query/query_options.h"
#include "query/query_parser.h"

CompressedQueryVectorT* PartitionReaderT::TokentoVector(
    const unsigned char* key, StatusCodeT* status) {
  WordIndexInfoT info;
  StatusCodeT looked = StatusNoError;
  const int found = LookupTerm(key, &info, &looked);
  if (looked < 0) {
    *status = looked;
    return nullptr;
  }
  return NewTermVector(found ? &info : nullptr, status);
}

QueryVectorBaseT* PartitionReaderT::ProcessWildCard(
    const unsigned char* pattern, const LeafViewT& view, StatusCodeT* status) {
  if (pattern == nullptr || !ProcessWildCardPattern(pattern + 1, pattern[0])) {
    *status = StatusBadKeyLength;
    return nullptr;
  }
  // The expansion only ORs; deleted records are left to the query's own
  // operations.
  QueryProcessorT processor(RecordCount(), nullptr, RecordsBefore());
  OrFoldT fold(&processor, view);
  unsigned char key[256];
  uint32_t length = 0;
  StatusCodeT walk = StatusNoError;
  for (GetFirstWildCardMatch(&Cursor, key, length, &walk);
       walk == StatusFound;
       GetNextWildCardMatch(&Cursor, key, length, &walk)) {
    CompressedQueryVectorT* vector = CurrentKeyVector(status);
    if (vector == nullptr || !fold.Add(vector, status)) return nullptr;
  }
  if (walk < 0) {
    *status = walk;
    return nullptr;
  }
  return fold.Finish(status);
}

QueryVectorBaseT* PartitionReaderT::ProcessRange(const unsigned char* low,
                                                 const unsigned char* high,
                                                 uint32_t maxTerms,
                                                 const LeafViewT& view,
                                                 StatusCodeT* status) {
  StatusCodeT loaded = StatusNoError;
  if (low == nullptr || high == nullptr || !LoadDictionary(&loaded)) {
    *status = StatusGeneralError;
    return nullptr;
  }
  QueryProcessorT processor(RecordCount(), nullptr, RecordsBefore());
  OrFoldT fold(&processor, view);
  int result = HeaderData.WordIndexFlag ? Tree.FindKey(&Cursor, low)
                                        : kBTreeAtLastKey;
  // The search lands on the first key not below low, or on the last key
  // when every key is below it.
  for (uint32_t taken = 0; result != kBTreeAtLastKey && taken < maxTerms;
       ++taken) {
    if (result == 0) {
      *status = StatusGeneralError;
      return nullptr;
    }
    if (ReadBTreeT::PStrCmp(Cursor.Key(), low) < 0 ||
        ReadBTreeT::PStrCmp(Cursor.Key(), high) > 0) {
      break;
    }
    CompressedQueryVectorT* vector = CurrentKeyVector(status);
    if (vector == nullptr || !fold.Add(vector, status)) return nullptr;
    result = Tree.NextKey(&Cursor);
  }
  return fold.Finish(status);
}

UncompressedQueryVectorT* PartitionReaderT::ProcessQuery(
    unsigned char* /*unused*/, unsigned char* query, QueryOptionsT* options,
    DeletedRecordSetT* deleted, StatusCodeT* status) {
  if (ReaderFile == nullptr) {
    *status = StatusGeneralError;
    return nullptr;
  }
  QueryParserT parser(RecordsBefore());
  if (options != nullptr) {
    parser.SetRecordsOnly(options->RecordsOnly);
    // The range in this partition's numbering; an open end stays open.
    const uint32_t before = RecordsBefore();
    const uint32_t first = options->FirstRecord;
    const uint32_t last = options->LastRecord;
    parser.SetRecordRange(first > before ? first - before : 1,
                          last == UINT32_MAX ? UINT32_MAX
                          : last > before    ? last - before
                                             : 0);
  }
  return parser.ProcessQuery(query, this, deleted, RecordCount(), status);
}
