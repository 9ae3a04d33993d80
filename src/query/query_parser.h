// QueryParserT: parses the short form of a query into an operator tree and
// evaluates it with a query processor over the vectors of a term source (one
// partition's dictionary). The query language is described in the public
// header, section "Query language".
//
// Tree. Every node is a TreeTokenT in one array; operands form a doubly
// linked list under their operator. The root is a list. Building and
// evaluating are iterative, so the depth of nesting is bounded by memory
// alone, never by the call stack.
//
// Precedence, tightest first: range "-" (part of its leaf), proximity "w",
// NOT "!", AND "&" (and juxtaposition), member "M", XOR "^", OR "|"; a list
// binds loosest. Operators of one level are left-associative; the same
// operator repeated is one n-ary node ('a & b & c'), as is proximity repeated
// with one distance; member is always binary.
//
// Leaves are looked up while the tree is evaluated, after the whole text has
// parsed, so a malformed query touches no dictionary.
//
// Records only. A caller that needs the records of the result and not its
// hits says so (SetRecordsOnly). In a word-mode partition the Boolean part of
// the tree (the root and every AND, OR, NOT and XOR whose ancestors are all
// Boolean) then works on its operands viewed record by record, and the result
// holds one hit per record at word 1: the same records as the full result,
// found without producing the positions of the operands. Phrases, proximity
// and fields below it are evaluated on their positions as always.
//
// Record range. A caller may ask for the hits of a range of records only
// (SetRecordRange): every leaf is then seen through a RecordRangeVectorT.

#ifndef TARVIS_QUERY_QUERY_PARSER_H_
#define TARVIS_QUERY_QUERY_PARSER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "query/deleted_records.h"
#include "query/operand_fold.h"
#include "query/query_processor.h"
#include "query/query_term_source.h"
#include "query/query_tokenizer.h"
#include "query/uncompressed_vector.h"

constexpr uint32_t kNoNode = UINT32_MAX;

struct TreeTokenT {
  // kTokenTerm for a leaf, "(" for a list, else the operator's token type.
  uint32_t Type = kTokenTerm;
  // Leaf: where its term starts in the text; range leaf: its low end.
  uint32_t Position = 0;
  // Range leaf: where its high end starts; kNoNode for other nodes.
  uint32_t RangeHigh = kNoNode;
  uint32_t Parent = kNoNode;
  uint32_t FirstOperand = kNoNode;
  uint32_t LastOperand = kNoNode;
  uint32_t NextOperand = kNoNode;
  uint32_t PreviousOperand = kNoNode;
  uint32_t OperandCount = 0;
  // ":n" (an AND's tolerance is the largest among itself and its operands),
  // ":w n" and ":f n" (stored; no operator reads them), and the distance of
  // a proximity operator.
  uint32_t Parameter = 0;
  uint32_t WordParameter = 0;
  uint32_t FieldParameter = 0;
  uint32_t Distance = 0;
  // A quoted list (phrase).
  uint8_t Quote = 0;
  // A leaf holding wildcard units.
  uint8_t Wildcard = 0;
  // An operator whose last operand has not been read yet.
  uint8_t Awaiting = 0;
  // An AND that is the first operand of a member operator: its operands are
  // the member operator's own, inside one span of the field.
  uint8_t Spliced = 0;
  // Evaluation of a records-only query: the node combines its operands'
  // records, each operand viewed record by record.
  uint8_t RecordLevel = 0;
  // Evaluation: the operation the node runs (none for a plain list or a
  // spliced AND) and its parameter, whether it runs piecewise, where its
  // operands start on the operand stack, the next operand to evaluate, and
  // whether its operands were folded already.
  uint8_t Runs = 0;
  uint8_t Foldable = 0;
  uint8_t Folded = 0;
  QueryOperationT Operation = kOperationOr;
  uint32_t OperationParameter = 0;
  uint32_t StackBase = 0;
  uint32_t NextToEvaluate = kNoNode;
};

class QueryParserT {
 public:
  // recordOffset is added to a record number before the deletion set is
  // asked about it (the partition's first record in the whole index, less
  // one).
  explicit QueryParserT(uint32_t recordOffset = 0)
      : RecordOffset(recordOffset) {}
  QueryParserT(const QueryParserT&) = delete;
  QueryParserT& operator=(const QueryParserT&) = delete;
  ~QueryParserT();

  // 1: the next queries are answered with their records only (see above).
  void SetRecordsOnly(int recordsOnly) { RecordsOnly = recordsOnly; }
  // The next queries are answered in records first to last (both included,
  // numbered within the partition) only.
  void SetRecordRange(uint32_t first, uint32_t last) {
    RangeFirst = first;
    RangeLast = last;
  }

  // Parses and evaluates query against source. Returns a new vector holding
  // the query's hits numbered within the partition, hits of deleted records
  // left out, owned by the caller; or null with a negative status.
  UncompressedQueryVectorT* ProcessQuery(const unsigned char* query,
                                         QueryTermSourceT* source,
                                         const DeletedRecordSetT* deleted,
                                         uint32_t recordsInPartition,
                                         StatusCodeT* status);

  // Builds the tree of query without evaluating it: 1, or 0 with a negative
  // status. The tree is kept until the next call; query must outlive it.
  int PreprocessExpression(const unsigned char* query, StatusCodeT* status);

  // The tree PreprocessExpression built, as text: a leaf is its hexadecimal digits ("61", a
  // range "61-63"), a list "(x)", a quoted list '"x y"', an operator its
  // character, then its operands: "|(&(61,62),63)", "w5(61,62)".
  std::string DescribeTree() const;

  // 1 when query parses and its root (lists aside) is a term, a wildcard, a
  // range or an AND, OR, NOT or XOR: then its result's records are found
  // without the positions of anything but the phrases, proximities and
  // fields below the root.
  static int HasBooleanRoot(const unsigned char* query);

 private:
  // Building.
  uint32_t NewNode(uint32_t type, uint32_t position, StatusCodeT* status);
  void AppendOperand(uint32_t parent, uint32_t child);
  int BeforeOperand(StatusCodeT* status);
  int HandleOperand(const QueryTokenT& token, StatusCodeT* status);
  int HandleListStart(int quote, StatusCodeT* status);
  int HandleListEnd(StatusCodeT* status);
  int HandleBinaryOperator(uint32_t type, uint32_t distance,
                           StatusCodeT* status);
  void HandleParameter(const QueryTokenT& token);
  int BuildTree(StatusCodeT* status);
  static int IsAcceptableText(const unsigned char* query, StatusCodeT* status);

  // Evaluation.
  UncompressedQueryVectorT* CheckSingleQuery(StatusCodeT* status);
  UncompressedQueryVectorT* ProcessLogicalQuery(StatusCodeT* status);
  // How a leaf is seen: by record when that is all its operator needs, and
  // in the record range asked for.
  LeafViewT LeafView(int byRecord) const;
  QueryVectorBaseT* TokenToLeafVector(const TreeTokenT& leaf,
                                      const LeafViewT& view,
                                      StatusCodeT* status);
  // Settles the operation of a node about to be evaluated.
  void PrepareNode(uint32_t node);
  int NodeOperation(const TreeTokenT& node, QueryOperationT* operation,
                    uint32_t* parameter) const;
  uint32_t Tolerance(const TreeTokenT& node) const;
  int OperandAdded(uint32_t node, StatusCodeT* status);
  int ProcessOperator(uint32_t node, StatusCodeT* status);
  UncompressedQueryVectorT* DoXOR(QueryVectorBaseT** operands, uint32_t count,
                                  uint32_t tolerance, StatusCodeT* status);
  UncompressedQueryVectorT* CopyLeafResult(QueryVectorBaseT* vector,
                                           StatusCodeT* status);
  // Replaces *vector, unless it holds record hits only, by a record view of
  // it. 0 with StatusNotEnoughMemory when the view cannot be made (*vector is
  // then destroyed and null).
  static int ViewByRecord(QueryVectorBaseT** vector, StatusCodeT* status);
  void Reset();

  uint32_t RecordOffset;
  int RecordsOnly = 0;
  uint32_t RangeFirst = 1;
  uint32_t RangeLast = UINT32_MAX;

  // State of one query.
  const unsigned char* Text = nullptr;
  QueryTermSourceT* Source = nullptr;
  QueryProcessorT* Processor = nullptr;
  int Positional = 0;
  QueryTokenizerT Tokenizer{nullptr};
  std::vector<TreeTokenT> Nodes;
  std::vector<uint32_t> ListStack;
  uint32_t Current = kNoNode;
  uint32_t LastNode = kNoNode;
  int PreviousWasOperand = 0;
  int InQuote = 0;
  std::vector<QueryVectorBaseT*> Operands;
};

#endif  // TARVIS_QUERY_QUERY_PARSER_H_
