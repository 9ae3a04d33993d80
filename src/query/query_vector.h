// QueryVectorBaseT: an ordered list of hits, the currency of every query
// operation. Hits stand in ascending (record, word position) order; record
// numbers start at 1 and a current record of 0 means the vector stands on no
// hit (it is empty). Two kinds derive from it: a compressed vector decodes one
// term's postings on demand, an uncompressed vector holds hits produced in
// memory. A vector that is ready to be walked (a hooked compressed vector, a
// rewound uncompressed one) stands on its first hit.
//
// Stepping contract shared by both kinds, status 0 or 1 ("end of vector"):
// NextHit(status) moves to the next hit; NextHit(record, word, status) moves
// to the first hit after the current one that is at or after (record, word).
// At the end a vector keeps standing on its last hit and reports 1.

#ifndef TARVIS_QUERY_QUERY_VECTOR_H_
#define TARVIS_QUERY_QUERY_VECTOR_H_

#include <cstdint>

#include "format/term_instance.h"
#include "tarvis/tarvis.h"

// A hit's position, as backward iteration and Current report it.
struct HitRecT {
  uint32_t RecordNumber = 0;
  uint32_t WordPosition = 0;
};

// Kind tags.
constexpr uint32_t kCompressedVectorKind = 102;
constexpr uint32_t kUncompressedVectorKind = 103;

class QueryVectorBaseT {
 public:
  explicit QueryVectorBaseT(uint32_t kind) : KindTag(kind) {}
  virtual ~QueryVectorBaseT() = default;
  QueryVectorBaseT(const QueryVectorBaseT&) = delete;
  QueryVectorBaseT& operator=(const QueryVectorBaseT&) = delete;

  virtual void NextHit(StatusCodeT* status);
  virtual void NextHit(uint32_t record, uint32_t word, StatusCodeT* status);
  virtual void Rewind(StatusCodeT* status);
  // Moves a positioned vector past every hit of its current record, onto the
  // first hit of a later record, and sets *hits to the number of hits it held
  // in the record. Status as NextHit: at the end the vector keeps standing on
  // its last hit.
  virtual void PassRecord(uint32_t* hits, StatusCodeT* status);
  // 1 when every hit the vector holds is at word position 1 (a record-level
  // term, or a vector filled only with such hits).
  virtual int HoldsRecordHitsOnly() const { return 0; }
  // A vector may hold its records before their hits (a query result whose
  // word positions are produced on demand). This produces the hits of every
  // record up to record at least (UINT32_MAX: of all), the vector standing
  // on the hit it stood on, or on the first or last hit of its current
  // record as a move by record brought it there. Status 0, or negative with
  // the vector as it was. Every other vector holds its hits: status 0.
  virtual void ProduceHits(uint32_t /*record*/, StatusCodeT* status) {
    *status = StatusNoError;
  }

  // Both compare the current hits, (record, word) order. a < b holds when a
  // is at or before b; when both stand in one record, b's match counter is
  // added into a's. a > b holds when a is at or after b.
  bool operator<(QueryVectorBaseT& other);
  bool operator>(const QueryVectorBaseT& other) const;

  const TermInstanceT& CurrentHit() const { return *CurrentInstance; }
  uint32_t CurrentRecord() const { return CurrentInstance->RecordNumber; }
  uint32_t CurrentWord() const { return CurrentInstance->WordPosition; }
  // 0 when the vector stands on no hit: it holds none.
  int IsPositioned() const { return CurrentInstance->RecordNumber != 0; }

  uint32_t PhraseOffset = 0;
  // Totals of the term a compressed vector was hooked to; an uncompressed
  // vector counts its entries in PostingCount.
  uint32_t ItemsToDecode = 0;
  uint32_t PostingCount = 0;
  uint32_t TermRecordCount = 0;
  // Distinct records and distinct (record, word) hits.
  uint32_t RecordCount = 0;
  uint32_t HitCount = 0;
  // Entries stored by AddInstance.
  uint32_t InstanceCount = 0;
  uint32_t LastRecordAdded = 0;
  uint32_t LastWordAdded = 0;
  TermInstanceT Instance;
  TermInstanceT* CurrentInstance = &Instance;
  // How many operands stand on this vector's current record; maintained by
  // the comparisons and by the query processor, reset by NextHit.
  uint32_t MatchCounter = 1;
  const uint32_t KindTag;
  // 1 required, -1 excluded, 0 otherwise (ranked retrieval).
  int32_t RankingModifier = 0;
};

// (record, word) order of two hits.
inline bool HitBefore(const TermInstanceT& a, const TermInstanceT& b) {
  return a.RecordNumber < b.RecordNumber ||
         (a.RecordNumber == b.RecordNumber && a.WordPosition < b.WordPosition);
}

#endif  // TARVIS_QUERY_QUERY_VECTOR_H_
