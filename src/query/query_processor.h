// QueryProcessorT: the operator engine of retrieval. It holds the operand
// vectors of one operator node and combines them into a new uncompressed
// vector by one operation: OR, AND (strict or with a tolerance), NOT,
// proximity, phrase, field membership, field AND or a plain copy.
//
// Calling order: InitHeap, ProcessVector for each operand (in operand order),
// HeapStart, then one operation. Operands are ready to be walked (standing on
// their first hit; an empty one stands on record 0) and stay owned by the
// caller; the operations walk them forward once. Every operation returns a
// new vector of kWorkVectorBytes, rewound, owned by the caller, or null with a
// negative status. Hits of deleted records never appear in a result: record r
// of an operand is deleted when the deletion set reports r + the record
// offset.
//
// Hit semantics, per record r (deleted records excepted):
//   OR            every distinct (r, word) of the operands, once;
//   strict AND    r held by every operand: every distinct (r, word) of the
//                 operands in r, once;
//   AND, tol. t   r held by at least n - t of the n operands (at least one):
//                 every distinct (r, word) of the operands in r;
//   NOT           a fold over the operands ((a ! b) ! c ...): every hit of
//                 the first operand in a record that none of the others hold;
//   proximity d   a fold ((a w b) w c ...): every distinct hit of either side
//                 with a hit of the other side in the same record at most d
//                 words away;
//   phrase        for members m0..mN-1 in query order, every t with a hit of
//                 mi at (r, t + i) for all i: the hits (r, t) .. (r, t+N-1),
//                 each distinct hit once (matches may overlap);
//   field member  the hits of the first operand inside a span of the second;
//   field AND     inside one span of the field, at least the required number
//                 of operands have a hit: every distinct operand hit inside it.
// Spans of a field vector: its hits read in order; a hit starts a span, and
// the next hit, when it lies in the same record, ends it (exclusive) and is
// consumed; otherwise the span runs to the end of the start's record.

#ifndef TARVIS_QUERY_QUERY_PROCESSOR_H_
#define TARVIS_QUERY_QUERY_PROCESSOR_H_

#include <cstdint>

#include "query/deleted_records.h"
#include "query/query_vector.h"
#include "query/uncompressed_vector.h"
#include "storage/binary_heap.h"

// Operand slots of the tournament, and the number whose insertion reports
// StatusFull so that expansions can fold what they have loaded.
constexpr uint32_t kMaximumOperands = 128;
constexpr uint32_t kOperandsBeforeFull = 64;

class QueryProcessorT {
 public:
  // deleted may be null: nothing is dropped then.
  QueryProcessorT(uint32_t recordsInPartition, const DeletedRecordSetT* deleted,
                  uint32_t recordOffset);
  QueryProcessorT(const QueryProcessorT&) = delete;
  QueryProcessorT& operator=(const QueryProcessorT&) = delete;

  // Loading operands. Empties the operand tournament and the binary heap.
  void InitHeap();
  // Takes the next free slot of the tournament; the 64th operand reports
  // StatusFull, and with every slot taken the vector is not inserted.
  void ProcessVector(QueryVectorBaseT* vector, StatusCodeT* status);
  // Plays the operand tournament over the loaded slots.
  void HeapStart();
  uint32_t OperandCount() const { return Inserted; }
  uint32_t RecordsInPartition() const { return PartitionRecords; }
  // 1 when no record the processor sees is deleted.
  int DropsNoRecord() const { return Deleted == nullptr; }

  // The tournament over the loaded operands, least current hit at the root.
  // The root vector's MatchCounter holds how many operands stand on its
  // current record.
  QueryVectorBaseT* GetSmallestVector() const {
    return Tree[0].Matches != 0 ? Slots[Tree[0].Leaf] : nullptr;
  }
  // Replays the root's slot up the tournament after its vector moved.
  void HeapReInsertKey();
  // Empties the root's slot of the tournament and replays its path.
  void HeapDeleteLastKey();
  // Destroys every vector still loaded in the tournament (each once) and
  // empties its slots.
  void HeapDeleteAllVectors();

  // The binary min-heap behind the strict AND, least current hit first
  // (equal hits: as the heap's order leaves them). A vector beyond
  // kMaximumOperands is not taken; null when the heap is empty.
  void InsertIntoVectorHeap(QueryVectorBaseT* vector);
  QueryVectorBaseT* DeleteMinFromVectorHeap();

  UncompressedQueryVectorT* ProcessOr(StatusCodeT* status);
  // A tolerance of 0 is the strict AND.
  UncompressedQueryVectorT* ProcessAnd(uint32_t tolerance, StatusCodeT* status);
  UncompressedQueryVectorT* ProcessNonFuzzyAnd(StatusCodeT* status);
  UncompressedQueryVectorT* ProcessNot(StatusCodeT* status);
  UncompressedQueryVectorT* Not(QueryVectorBaseT* a, QueryVectorBaseT* b,
                                StatusCodeT* status);
  UncompressedQueryVectorT* ProcessProximity(uint32_t distance,
                                             StatusCodeT* status);
  // The two vector arguments are not used; the members are the operands.
  UncompressedQueryVectorT* ProcessPhrase2(QueryVectorBaseT* unused1,
                                           QueryVectorBaseT* unused2,
                                           StatusCodeT* status);
  UncompressedQueryVectorT* ProcessFieldMember(StatusCodeT* status);
  // field is not one of the operands (a loaded copy of it is ignored);
  // exclusive 1 requires a single operand inside a span.
  UncompressedQueryVectorT* ProcessFieldAnd(QueryVectorBaseT* field,
                                            uint32_t tolerance,
                                            BooleanT exclusive,
                                            StatusCodeT* status);
  // Copies the root vector, then empties its slot.
  UncompressedQueryVectorT* ProcessCopy(StatusCodeT* status);
  // Adds the rest of source, from its current hit, to result.
  void CopyAll(UncompressedQueryVectorT* result, QueryVectorBaseT* source,
               StatusCodeT* status);

 private:
  // 16 bytes, so that a replay moves little. The vector is Slots[Leaf].
  struct EntryT {
    // The vector's current hit as record * 2^32 + word, as of its last
    // replay; all ones for an empty entry.
    uint64_t Key = ~uint64_t{0};
    uint32_t Leaf = 0;
    // Operands of the subtree on the winner's record; 0 for an empty entry.
    uint32_t Matches = 0;
  };
  static uint64_t HitKey(const QueryVectorBaseT* vector) {
    return (uint64_t{vector->CurrentRecord()} << 32) | vector->CurrentWord();
  }
  QueryVectorBaseT* Operand(uint32_t slot) const { return Slots[slot]; }
  void Play(uint32_t node);
  void ReplayFrom(uint32_t leaf);
  // Gives the root's vector the root's match count.
  void CountRootMatches();
  // The root's vector stays the least of all while its hit key is below
  // this (the least of the entries its path meets, ties as Play breaks
  // them).
  uint64_t RootBound() const;
  // After the root's vector moved (Step or Seek result 1) or ended (0):
  // replays or empties its slot; 1 when it was emptied.
  uint32_t RootMoved(int moved);
  int IsDeleted(uint32_t record);

  // Moving an operand: 1 when it moved onto a hit, 0 at its end, -1 on an
  // error (written to status).
  static int Step(QueryVectorBaseT* vector, StatusCodeT* status);
  static int Seek(QueryVectorBaseT* vector, uint32_t record, uint32_t word,
                  StatusCodeT* status);
  // Moves past every hit of record.
  static int SkipRecord(QueryVectorBaseT* vector, uint32_t record,
                        StatusCodeT* status);

  // The OR of record-level operands without the tournament (ProcessOr's
  // result exactly).
  UncompressedQueryVectorT* RecordUnion(StatusCodeT* status);
  // 1 when ProcessOr takes RecordUnion's way.
  int UnitesRecords() const;

  static UncompressedQueryVectorT* NewResult(StatusCodeT* status);
  static UncompressedQueryVectorT* Fail(UncompressedQueryVectorT* result);
  static UncompressedQueryVectorT* Finish(UncompressedQueryVectorT* result,
                                          StatusCodeT* status);
  // Adds hit to result; 0 (status written) when it could not.
  static int Emit(UncompressedQueryVectorT* result, const TermInstanceT& hit,
                  StatusCodeT* status);

  // A span of a field vector: [Start, End) of words in Record.
  struct SpanT {
    uint32_t Record = 0;
    uint32_t Start = 0;
    uint64_t End = 0;
  };
  // Reads the next span of field in a record at or after record, the field
  // first moved to that record when it lies before. 1 when a span was read,
  // 0 when the field has none left (*ended is then set), -1 on an error.
  static int ReadSpan(QueryVectorBaseT* field, uint32_t record, int* ended,
                      SpanT* span, StatusCodeT* status);
  // Moves a phrase member onto a hit whose word position exceeds offset.
  static int PassOffset(QueryVectorBaseT* member, uint32_t offset,
                        StatusCodeT* status);

  UncompressedQueryVectorT* Difference(QueryVectorBaseT* a,
                                       QueryVectorBaseT** others,
                                       uint32_t count, StatusCodeT* status);
  UncompressedQueryVectorT* Proximity(QueryVectorBaseT* a, QueryVectorBaseT* b,
                                      uint32_t distance, StatusCodeT* status);
  // Proximity's step of the lesser side: Step, or Seek past hits that can be
  // near nothing (results as Step).
  static int SkipFar(QueryVectorBaseT* lesser, const TermInstanceT& hit,
                     const TermInstanceT& other,
                     const TermInstanceT& otherPassed, uint32_t distance,
                     StatusCodeT* status);

  EntryT Tree[2 * kMaximumOperands - 1];
  uint32_t FirstLeaf = 0;
  // The loaded operands by slot; an emptied slot holds null.
  QueryVectorBaseT* Slots[kMaximumOperands] = {};
  uint32_t Inserted = 0;
  struct HitOrderT {
    bool operator()(const QueryVectorBaseT* a,
                    const QueryVectorBaseT* b) const {
      return HitBefore(a->CurrentHit(), b->CurrentHit());
    }
  };
  BinaryHeapT<QueryVectorBaseT*, HitOrderT, kMaximumOperands> VectorHeap;

  uint32_t PartitionRecords;
  const DeletedRecordSetT* Deleted;
  uint32_t RecordOffset;
  // The last record asked of the deletion set and its answer.
  uint32_t CheckedRecord = 0;
  int CheckedResult = 0;
};

#endif  // TARVIS_QUERY_QUERY_PROCESSOR_H_
