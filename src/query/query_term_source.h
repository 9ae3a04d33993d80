// QueryTermSourceT: where the query parser gets the vectors of its leaves.
// A partition reader implements it over its term dictionary; tests implement
// it over posting lists held in memory.
//
// Keys and patterns are length-prefixed: one length byte, then at most 255
// bytes. Every returned vector is new, owned by the caller and ready to be
// walked (standing on its first hit; an empty one stands on record 0), with
// hits numbered within the partition. On failure a source returns null with a
// negative status. The expansions see each term they combine as the
// caller's view asks (leaf_view.h), so that their result holds nothing
// outside it.

#ifndef TARVIS_QUERY_QUERY_TERM_SOURCE_H_
#define TARVIS_QUERY_QUERY_TERM_SOURCE_H_

#include <cstdint>

#include "query/leaf_view.h"
#include "query/query_vector.h"
#include "tarvis/tarvis.h"

// The most dictionary keys a range expands to.
constexpr uint32_t kMaximumRangeTerms = 100;

class QueryTermSourceT {
 public:
  virtual ~QueryTermSourceT() = default;

  // RECORD_MODE, WORD_MODE or IDF_MODE: only WORD_MODE postings carry word
  // positions; the others carry word position 1.
  virtual uint32_t IndexMode() const = 0;

  // The postings of one term; an empty vector when the term is absent.
  virtual QueryVectorBaseT* TokentoVector(const unsigned char* key,
                                          StatusCodeT* status) = 0;

  // The OR of the postings of every key that matches the pattern ("*" matches
  // the rest of a key, "?" one byte, a backslash makes the next byte
  // literal), in key order; an empty vector when none does.
  virtual QueryVectorBaseT* ProcessWildCard(const unsigned char* pattern,
                                            const LeafViewT& view,
                                            StatusCodeT* status) = 0;

  // The OR of the postings of the first maxTerms keys from low to high, both
  // included. The parser passes low <= high.
  virtual QueryVectorBaseT* ProcessRange(const unsigned char* low,
                                         const unsigned char* high,
                                         uint32_t maxTerms,
                                         const LeafViewT& view,
                                         StatusCodeT* status) = 0;
};

#endif  // TARVIS_QUERY_QUERY_TERM_SOURCE_H_
