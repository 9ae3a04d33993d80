// QueryParserT: building the operator tree of a short-form query and
// evaluating it bottom-up.

#include "query/query_parser.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "query/hex_words.h"
#include "storage/allocation.h"
#include "storage/check.h"

namespace {

constexpr uint32_t kTokenList = '(';

// Binding strength of an operator: lower binds tighter. Lists bind loosest.
uint32_t Precedence(uint32_t type) {
  switch (type) {
    case kTokenProximity: return 0;
    case '!': return 1;
    case '&': return 2;
    case kTokenMember: return 3;
    case '^': return 4;
    case '|': return 5;
    default: return 100;
  }
}

int IsOperator(const TreeTokenT& node) {
  return node.Type != kTokenTerm && node.Type != kTokenList;
}

// A node whose result's records follow from its operands' records alone.
int IsBoolean(const TreeTokenT& node) {
  switch (node.Type) {
    case kTokenList: return !node.Quote;
    case '&': return !node.Spliced;
    case '|':
    case '!':
    case '^': return 1;
    default: return 0;
  }
}

// Dictionary key order: unsigned bytes, a prefix before the longer key.
int CompareKeys(const unsigned char* a, const unsigned char* b) {
  uint32_t common = std::min(a[0], b[0]);
  int order = std::memcmp(a + 1, b + 1, common);
  if (order != 0) return order;
  return static_cast<int>(a[0]) - static_cast<int>(b[0]);
}

// The longest query text whose positions fit the tree's 32-bit fields.
constexpr size_t kLongestQuery = 0x7fffffff;

}  // namespace

QueryParserT::~QueryParserT() { Reset(); }

void QueryParserT::Reset() {
  for (QueryVectorBaseT* vector : Operands) delete vector;
  Operands.clear();
  // A long query's tree is not kept once it has been answered.
  std::vector<TreeTokenT>().swap(Nodes);
  std::vector<uint32_t>().swap(ListStack);
  delete Processor;
  Processor = nullptr;
  Source = nullptr;
}

// ---------------------------------------------------------------------------
// Building the tree.

uint32_t QueryParserT::NewNode(uint32_t type, uint32_t position,
                               StatusCodeT* status) {
  if (Nodes.size() >= kNoNode) {
    *status = StatusNotEnoughMemory;
    return kNoNode;
  }
  TreeTokenT node;
  node.Type = type;
  node.Position = position;
  Nodes.push_back(node);
  return static_cast<uint32_t>(Nodes.size() - 1);
}

void QueryParserT::AppendOperand(uint32_t parent, uint32_t child) {
  TreeTokenT& p = Nodes[parent];
  TreeTokenT& c = Nodes[child];
  c.Parent = parent;
  c.PreviousOperand = p.LastOperand;
  c.NextOperand = kNoNode;
  if (p.LastOperand == kNoNode) {
    p.FirstOperand = child;
  } else {
    Nodes[p.LastOperand].NextOperand = child;
  }
  p.LastOperand = child;
  ++p.OperandCount;
  p.Awaiting = 0;
}

// Two operands side by side: inside a quoted list the new one is the next
// member of the phrase, elsewhere an AND joins them.
int QueryParserT::BeforeOperand(StatusCodeT* status) {
  if (!PreviousWasOperand) return 1;
  uint32_t innermost = ListStack.back();
  if (Nodes[innermost].Quote) {
    Current = innermost;
    return 1;
  }
  return HandleBinaryOperator('&', 0, status);
}

int QueryParserT::HandleOperand(const QueryTokenT& token, StatusCodeT* status) {
  if (!BeforeOperand(status)) return 0;
  uint32_t leaf = NewNode(kTokenTerm, token.Position, status);
  if (leaf == kNoNode) return 0;
  Nodes[leaf].Wildcard = static_cast<uint8_t>(token.Wildcard);
  // A "-" after a term makes the term and the next one a range.
  uint32_t resume = Tokenizer.ScanPosition();
  QueryTokenT next;
  if (Tokenizer.GetNextToken(&next, status) == '-') {
    if (Tokenizer.GetNextToken(&next, status) != kTokenTerm) {
      if (*status >= 0) *status = StatusMalformedParameter;
      return 0;
    }
    Nodes[leaf].RangeHigh = next.Position;
    Nodes[leaf].Wildcard = 0;
  } else {
    if (*status < 0) return 0;
    Tokenizer.SetScanPosition(resume);
  }
  AppendOperand(Current, leaf);
  LastNode = leaf;
  PreviousWasOperand = 1;
  return 1;
}

int QueryParserT::HandleListStart(int quote, StatusCodeT* status) {
  if (!BeforeOperand(status)) return 0;
  uint32_t list = NewNode(kTokenList, Tokenizer.ScanPosition(), status);
  if (list == kNoNode) return 0;
  Nodes[list].Quote = static_cast<uint8_t>(quote);
  AppendOperand(Current, list);
  ListStack.push_back(list);
  Current = list;
  LastNode = list;
  PreviousWasOperand = 0;
  return 1;
}

int QueryParserT::HandleListEnd(StatusCodeT* status) {
  uint32_t list = ListStack.back();
  if (Nodes[Current].Awaiting || Nodes[list].OperandCount == 0) {
    *status = StatusQuerySyntaxError;
    return 0;
  }
  ListStack.pop_back();
  Current = Nodes[list].Parent;
  LastNode = list;
  PreviousWasOperand = 1;
  return 1;
}

// The new operator climbs from the current node past every operator that
// binds tighter (or as tight, being a different operator), then either joins
// an equal operator as one more operand or takes the last operand of the node
// it stopped at as its own first operand.
int QueryParserT::HandleBinaryOperator(uint32_t type, uint32_t distance,
                                       StatusCodeT* status) {
  if (!PreviousWasOperand) {
    *status = StatusQuerySyntaxError;
    return 0;
  }
  uint32_t precedence = Precedence(type);
  auto joins = [&](const TreeTokenT& node) {
    return node.Type == type && type != kTokenMember &&
           (type != kTokenProximity || node.Distance == distance);
  };
  uint32_t parent = Current;
  while (IsOperator(Nodes[parent]) &&
         (Precedence(Nodes[parent].Type) < precedence ||
          (Precedence(Nodes[parent].Type) == precedence &&
           !joins(Nodes[parent])))) {
    parent = Nodes[parent].Parent;
  }
  if (IsOperator(Nodes[parent]) && joins(Nodes[parent])) {
    Nodes[parent].Awaiting = 1;
    Current = parent;
    LastNode = parent;
    PreviousWasOperand = 0;
    return 1;
  }
  uint32_t node = NewNode(type, Tokenizer.ScanPosition(), status);
  if (node == kNoNode) return 0;
  // The new operator takes the place of the parent's last operand.
  uint32_t operand = Nodes[parent].LastOperand;
  TV_CHECK(operand != kNoNode);
  TreeTokenT& n = Nodes[node];
  TreeTokenT& o = Nodes[operand];
  n.Distance = distance;
  n.Parent = parent;
  n.PreviousOperand = o.PreviousOperand;
  if (o.PreviousOperand == kNoNode) {
    Nodes[parent].FirstOperand = node;
  } else {
    Nodes[o.PreviousOperand].NextOperand = node;
  }
  Nodes[parent].LastOperand = node;
  n.FirstOperand = n.LastOperand = operand;
  n.OperandCount = 1;
  o.Parent = node;
  o.PreviousOperand = o.NextOperand = kNoNode;
  if (type == kTokenMember && o.Type == '&') o.Spliced = 1;
  n.Awaiting = 1;
  Current = node;
  LastNode = node;
  PreviousWasOperand = 0;
  return 1;
}

void QueryParserT::HandleParameter(const QueryTokenT& token) {
  TreeTokenT& node = Nodes[LastNode];
  switch (token.ParameterKind) {
    case kParameterWord:
      node.WordParameter = token.Number;
      break;
    case kParameterField:
      node.FieldParameter = token.Number;
      break;
    default:
      node.Parameter = token.Number;
      break;
  }
}

int QueryParserT::BuildTree(StatusCodeT* status) {
  Nodes.clear();
  ListStack.clear();
  InQuote = 0;
  PreviousWasOperand = 0;
  uint32_t root = NewNode(kTokenList, 0, status);
  if (root == kNoNode) return 0;
  ListStack.push_back(root);
  Current = LastNode = root;
  for (;;) {
    QueryTokenT token;
    uint32_t type = Tokenizer.GetNextToken(&token, status);
    if (*status < 0) return 0;
    int ok = 1;
    switch (type) {
      case kTokenEnd:
        if (Nodes[Current].Awaiting) {
          *status = StatusQuerySyntaxError;
          return 0;
        }
        // Lists still open are taken as closed.
        while (!ListStack.empty()) {
          if (!HandleListEnd(status)) return 0;
        }
        return 1;
      case kTokenTerm:
        ok = HandleOperand(token, status);
        break;
      case '(':
      case '<':
        ok = HandleListStart(0, status);
        break;
      case '"':
        if (!InQuote) {
          ok = HandleListStart(1, status);
          InQuote = 1;
        } else if (!Nodes[ListStack.back()].Quote) {
          *status = StatusMismatchedQuotes;  // a list inside it is open
          return 0;
        } else {
          ok = HandleListEnd(status);
          InQuote = 0;
        }
        break;
      case ')':
      case '>':
        if (ListStack.size() == 1) {
          *status = StatusHexTermExpected;
          return 0;
        }
        if (Nodes[ListStack.back()].Quote) {
          *status = StatusMismatchedQuotes;
          return 0;
        }
        ok = HandleListEnd(status);
        break;
      case kTokenParameter:
        HandleParameter(token);
        break;
      case '-':
        // A range needs a single term on its left.
        *status = StatusQuerySyntaxError;
        return 0;
      default:
        ok = HandleBinaryOperator(type, token.Number, status);
        break;
    }
    if (!ok) return 0;
  }
}

int QueryParserT::IsAcceptableText(const unsigned char* query,
                                   StatusCodeT* status) {
  if (query != nullptr &&
      std::strlen(reinterpret_cast<const char*>(query)) <= kLongestQuery) {
    return 1;
  }
  *status = StatusQuerySyntaxError;
  return 0;
}

int QueryParserT::PreprocessExpression(const unsigned char* query,
                                       StatusCodeT* status) {
  *status = StatusNoError;
  try {
    if (!IsAcceptableText(query, status)) return 0;
    Text = query;
    Tokenizer = QueryTokenizerT(query);
    if (BuildTree(status)) return 1;
  } catch (const std::bad_alloc&) {
    *status = StatusNotEnoughMemory;
  }
  Nodes.clear();
  ListStack.clear();
  return 0;
}

// ---------------------------------------------------------------------------
// Evaluation.

LeafViewT QueryParserT::LeafView(int byRecord) const {
  LeafViewT view;
  view.ByRecord = byRecord;
  view.FirstRecord = RangeFirst;
  view.LastRecord = RangeLast;
  return view;
}

QueryVectorBaseT* QueryParserT::TokenToLeafVector(const TreeTokenT& leaf,
                                                  const LeafViewT& view,
                                                  StatusCodeT* status) {
  unsigned char key[kMaximumKeyBytes + 1];
  const char* term = reinterpret_cast<const char*>(Text) + leaf.Position;
  QueryVectorBaseT* vector;
  *status = StatusNoError;
  if (leaf.RangeHigh != kNoNode) {
    unsigned char high[kMaximumKeyBytes + 1];
    HexWordToBinaryWord(key, term);
    HexWordToBinaryWord(high, reinterpret_cast<const char*>(Text) + leaf.RangeHigh);
    const unsigned char* low = key;
    const unsigned char* top = high;
    if (CompareKeys(low, top) > 0) std::swap(low, top);
    vector = Source->ProcessRange(low, top, kMaximumRangeTerms, view, status);
  } else if (leaf.Wildcard) {
    if (!HexWordToPattern(key, term)) {
      *status = StatusBadKeyLength;
      return nullptr;
    }
    vector = Source->ProcessWildCard(key, view, status);
  } else {
    HexWordToBinaryWord(key, term);
    vector = Source->TokentoVector(key, status);
    // An expansion has seen its terms through the view already.
    if (vector != nullptr && *status >= 0) {
      vector = ApplyLeafView(vector, view, status);
    }
  }
  if (vector != nullptr && *status < 0) {
    delete vector;
    vector = nullptr;
  }
  if (vector == nullptr && *status >= 0) *status = StatusGeneralError;
  if (vector != nullptr) *status = StatusNoError;
  return vector;
}

uint32_t QueryParserT::Tolerance(const TreeTokenT& node) const {
  uint32_t tolerance = node.Parameter;
  for (uint32_t i = node.FirstOperand; i != kNoNode; i = Nodes[i].NextOperand) {
    tolerance = std::max(tolerance, Nodes[i].Parameter);
  }
  return tolerance;
}

int QueryParserT::NodeOperation(const TreeTokenT& node,
                                QueryOperationT* operation,
                                uint32_t* parameter) const {
  *parameter = 0;
  switch (node.Type) {
    case kTokenList:
      if (!node.Quote) return 0;
      // Without word positions a phrase asks for records holding every word.
      *operation = Positional ? kOperationPhrase : kOperationAnd;
      return 1;
    case '!':
      *operation = kOperationNot;
      return 1;
    case '|':
      *operation = kOperationOr;
      return 1;
    case '&':
      if (node.Spliced) return 0;
      *operation = kOperationAnd;
      *parameter = Tolerance(node);
      return 1;
    case kTokenProximity:
      if (Positional) {
        *operation = kOperationProximity;
        *parameter = std::max<uint32_t>(node.Distance, 1);
      } else {
        *operation = kOperationAnd;
        *parameter = Tolerance(node);
      }
      return 1;
    case '^':
      *operation = kOperationOr;  // and an AND: see DoXOR
      *parameter = Tolerance(node);
      return 1;
    case kTokenMember:
      *operation = Nodes[node.FirstOperand].Spliced ? kOperationFieldAnd
                                                    : kOperationFieldMember;
      if (Nodes[node.FirstOperand].Spliced) {
        *parameter = Tolerance(Nodes[node.FirstOperand]);
      }
      return 1;
    default:
      TV_CHECK(!"unknown tree node");
      return 0;
  }
}

void QueryParserT::PrepareNode(uint32_t node) {
  TreeTokenT& n = Nodes[node];
  n.Runs = static_cast<uint8_t>(
      NodeOperation(n, &n.Operation, &n.OperationParameter));
  // XOR walks its operands twice.
  n.Foldable = static_cast<uint8_t>(
      n.Runs && n.Type != '^' && IsFoldable(n.Operation, n.OperationParameter));
  n.StackBase = static_cast<uint32_t>(Operands.size());
  n.NextToEvaluate = n.FirstOperand;
  const int booleanAbove = n.Parent == kNoNode || Nodes[n.Parent].RecordLevel;
  n.RecordLevel = static_cast<uint8_t>(RecordsOnly && Positional &&
                                       booleanAbove && IsBoolean(n));
}

int QueryParserT::ViewByRecord(QueryVectorBaseT** vector, StatusCodeT* status) {
  LeafViewT records;
  records.ByRecord = 1;
  *vector = ApplyLeafView(*vector, records, status);
  return *vector != nullptr;
}

// Called after an operand of node was pushed: folds a foldable node's
// operands before they outgrow the processor; refuses others beyond it.
int QueryParserT::OperandAdded(uint32_t node, StatusCodeT* status) {
  TreeTokenT& n = Nodes[node];
  if (n.RecordLevel && !ViewByRecord(&Operands.back(), status)) return 0;
  uint32_t count = static_cast<uint32_t>(Operands.size() - n.StackBase);
  if (n.Foldable) {
    if (count < kOperandsBeforeFull) return 1;
    if (!CombineOperands(Processor, n.Operation, n.OperationParameter,
                         &Operands[n.StackBase], &count, status)) {
      return 0;
    }
    Operands.resize(n.StackBase + count);
    n.Folded = 1;
    return 1;
  }
  // A spliced AND's operands count towards its member operator's, which also
  // needs the field.
  uint32_t limit = kMaximumOperands;
  if (n.Spliced) {
    limit = kMaximumOperands - 1;
  } else if (!n.Runs) {
    limit = 1;
  }
  if (count > limit) {
    *status = StatusQuerySyntaxError;
    return 0;
  }
  return 1;
}

UncompressedQueryVectorT* QueryParserT::DoXOR(QueryVectorBaseT** operands,
                                              uint32_t count,
                                              uint32_t tolerance,
                                              StatusCodeT* status) {
  // Every operand is walked twice, so each must be one that rewinds.
  for (uint32_t i = 0; i < count; ++i) {
    if (operands[i]->KindTag == kUncompressedVectorKind) continue;
    uint32_t one = 1;
    if (!CombineOperands(Processor, kOperationCopy, 0, &operands[i], &one,
                         status)) {
      return nullptr;
    }
  }
  UncompressedQueryVectorT* any = RunOperation(Processor, kOperationOr, 0,
                                               operands, count, nullptr, status);
  if (any == nullptr) return nullptr;
  for (uint32_t i = 0; i < count && *status >= 0; ++i) operands[i]->Rewind(status);
  UncompressedQueryVectorT* all = nullptr;
  if (*status >= 0) {
    all = RunOperation(Processor, kOperationAnd, tolerance, operands, count,
                       nullptr, status);
  }
  UncompressedQueryVectorT* result = nullptr;
  if (all != nullptr) result = Processor->Not(any, all, status);
  delete any;
  delete all;
  return result;
}

int QueryParserT::ProcessOperator(uint32_t node, StatusCodeT* status) {
  TreeTokenT& n = Nodes[node];
  if (!n.Runs) return 1;
  QueryOperationT operation = n.Operation;
  uint32_t parameter = n.OperationParameter;
  QueryVectorBaseT** operands = &Operands[n.StackBase];
  uint32_t count = static_cast<uint32_t>(Operands.size() - n.StackBase);
  if (n.Folded && count == 1) return 1;
  UncompressedQueryVectorT* result;
  if (n.Type == '^') {
    result = DoXOR(operands, count, parameter, status);
  } else if (operation == kOperationFieldAnd) {
    result = RunOperation(Processor, operation, parameter, operands, count - 1,
                          operands[count - 1], status);
  } else {
    result = RunOperation(Processor, operation, parameter, operands, count,
                          nullptr, status);
  }
  if (result == nullptr) return 0;
  for (uint32_t i = 0; i < count; ++i) delete operands[i];
  Operands.resize(n.StackBase);
  Operands.push_back(result);
  return 1;
}

// A leaf's vector comes from the source as it is; a query's result is always
// an uncompressed vector without deleted records. An expansion's vector is
// one already, and serves as it is when no record is deleted.
UncompressedQueryVectorT* QueryParserT::CopyLeafResult(QueryVectorBaseT* vector,
                                                       StatusCodeT* status) {
  if (vector->KindTag == kUncompressedVectorKind && Processor->DropsNoRecord()) {
    vector->Rewind(status);
    if (*status < 0) return nullptr;
    return static_cast<UncompressedQueryVectorT*>(vector);
  }
  uint32_t one = 1;
  QueryVectorBaseT* operands[1] = {vector};
  if (!CombineOperands(Processor, kOperationCopy, 0, operands, &one, status)) {
    return nullptr;
  }
  return static_cast<UncompressedQueryVectorT*>(operands[0]);
}

// Post-order walk: a node's operands are evaluated in order, each leaving
// one vector on the operand stack, then the node replaces them by its result.
UncompressedQueryVectorT* QueryParserT::ProcessLogicalQuery(
    StatusCodeT* status) {
  const uint32_t root = 0;
  PrepareNode(root);
  uint32_t node = root;
  for (;;) {
    uint32_t child = Nodes[node].NextToEvaluate;
    if (child != kNoNode) {
      Nodes[node].NextToEvaluate = Nodes[child].NextOperand;
      if (Nodes[child].Type == kTokenTerm) {
        Operands.push_back(nullptr);
        Operands.back() = TokenToLeafVector(
            Nodes[child], LeafView(Nodes[node].RecordLevel), status);
        if (Operands.back() == nullptr) {
          Operands.pop_back();
          return nullptr;
        }
        if (!OperandAdded(node, status)) return nullptr;
      } else {
        PrepareNode(child);
        node = child;
      }
      continue;
    }
    if (!ProcessOperator(node, status)) return nullptr;
    if (node == root) break;
    node = Nodes[node].Parent;
    if (!OperandAdded(node, status)) return nullptr;
  }
  TV_CHECK(Operands.size() == 1);
  QueryVectorBaseT* vector = Operands[0];
  // Lists pass their operand's vector through: find what the root holds.
  uint32_t holder = root;
  while (Nodes[holder].Type == kTokenList && !Nodes[holder].Quote) {
    holder = Nodes[holder].FirstOperand;
  }
  // A term's vector, or a record view of an operator's result, is not a
  // result of its own yet.
  if (Nodes[holder].Type == kTokenTerm ||
      vector->KindTag != kUncompressedVectorKind) {
    UncompressedQueryVectorT* copy = CopyLeafResult(vector, status);
    if (copy != nullptr) Operands.clear();
    return copy;
  }
  Operands.clear();
  return static_cast<UncompressedQueryVectorT*>(vector);
}

// A query of one term and nothing else needs no tree.
UncompressedQueryVectorT* QueryParserT::CheckSingleQuery(StatusCodeT* status) {
  QueryTokenizerT tokenizer(Text);
  QueryTokenT term;
  QueryTokenT end;
  StatusCodeT scan = StatusNoError;
  if (tokenizer.GetNextToken(&term, &scan) != kTokenTerm ||
      tokenizer.GetNextToken(&end, &scan) != kTokenEnd || scan < 0) {
    return nullptr;
  }
  TreeTokenT leaf;
  leaf.Position = term.Position;
  leaf.Wildcard = static_cast<uint8_t>(term.Wildcard);
  QueryVectorBaseT* vector =
      TokenToLeafVector(leaf, LeafView(RecordsOnly && Positional), status);
  if (vector == nullptr) return nullptr;
  Operands.push_back(vector);
  UncompressedQueryVectorT* copy = CopyLeafResult(vector, status);
  if (copy != nullptr) Operands.clear();
  return copy;
}

UncompressedQueryVectorT* QueryParserT::ProcessQuery(
    const unsigned char* query, QueryTermSourceT* source,
    const DeletedRecordSetT* deleted, uint32_t recordsInPartition,
    StatusCodeT* status) {
  *status = StatusNoError;
  Reset();
  if (source == nullptr) {
    *status = StatusGeneralError;
    return nullptr;
  }
  UncompressedQueryVectorT* result = nullptr;
  try {
    Source = source;
    Positional = source->IndexMode() == WORD_MODE;
    Processor = NewOrStatus<QueryProcessorT>(status, recordsInPartition,
                                             deleted, RecordOffset);
    if (Processor != nullptr && IsAcceptableText(query, status)) {
      Text = query;
      result = CheckSingleQuery(status);
      if (result == nullptr && *status >= 0 &&
          PreprocessExpression(query, status)) {
        result = ProcessLogicalQuery(status);
      }
    }
  } catch (const std::bad_alloc&) {
    *status = StatusNotEnoughMemory;
  }
  Reset();
  if (result == nullptr && *status >= 0) *status = StatusGeneralError;
  if (result != nullptr) *status = StatusNoError;
  return result;
}

// ---------------------------------------------------------------------------
// Inspection.

int QueryParserT::HasBooleanRoot(const unsigned char* query) {
  QueryParserT parser;
  StatusCodeT status = StatusNoError;
  if (!parser.PreprocessExpression(query, &status)) return 0;
  uint32_t holder = 0;
  while (parser.Nodes[holder].Type == kTokenList &&
         !parser.Nodes[holder].Quote) {
    holder = parser.Nodes[holder].FirstOperand;
  }
  const TreeTokenT& root = parser.Nodes[holder];
  return root.Type == kTokenTerm || (IsOperator(root) && IsBoolean(root));
}

std::string QueryParserT::DescribeTree() const {
  std::string out;
  if (Nodes.empty()) return out;
  // (node, next operand to write); the root list itself is not written.
  std::vector<std::pair<uint32_t, uint32_t>> stack;
  auto open = [&](uint32_t index) {
    const TreeTokenT& node = Nodes[index];
    if (node.Type == kTokenTerm) {
      auto body = [&](uint32_t position) {
        QueryTokenizerT tokenizer(Text);
        tokenizer.SetScanPosition(position);
        QueryTokenT token;
        StatusCodeT ignored = StatusNoError;
        tokenizer.GetNextToken(&token, &ignored);
        out.append(reinterpret_cast<const char*>(Text) + position + 2,
                   tokenizer.ScanPosition() - position - 2);
      };
      body(node.Position);
      if (node.RangeHigh != kNoNode) {
        out += '-';
        body(node.RangeHigh);
      }
      return;
    }
    if (node.Type == kTokenList) {
      out += node.Quote ? '"' : '(';
    } else {
      out += node.Type == kTokenMember ? 'M' : static_cast<char>(node.Type);
      if (node.Type == kTokenProximity) out += std::to_string(node.Distance);
      out += '(';
    }
    stack.emplace_back(index, node.FirstOperand);
  };
  stack.emplace_back(0, Nodes[0].FirstOperand);
  while (!stack.empty()) {
    uint32_t index = stack.back().first;
    uint32_t next = stack.back().second;
    const TreeTokenT& node = Nodes[index];
    if (next == kNoNode) {
      stack.pop_back();
      if (index != 0) out += node.Type == kTokenList && node.Quote ? '"' : ')';
      continue;
    }
    if (next != node.FirstOperand) out += node.Quote ? ' ' : ',';
    stack.back().second = Nodes[next].NextOperand;
    open(next);
  }
  return out;
}
