// Turns a query as a person types it into the engine's short form.
//
// Operators pass through as typed: AND, OR, NOT, NEAR, W/n (also &, |, !),
// parentheses, double quotes and "a - b" ranges. Only the words change: each
// is folded, stemmed and checked against the stop list exactly as indexing
// did. A stop word leaves the query together with the operator that joined
// it ("cat AND the" is "cat"), since the index does not hold it. A word
// holding punctuation ("e-mail", "don't") becomes the phrase of its parts,
// as the tokenizer split it when indexing. "*" and "?" make a word a
// wildcard pattern; it is folded but neither stemmed nor stopped, and range
// ends are only folded. "!" before a word is NOT. The result then goes
// through the library's two converters: keywords to operator characters,
// words to hexadecimal terms.

#ifndef TARVIS_HOST_QUERY_TEXT_H_
#define TARVIS_HOST_QUERY_TEXT_H_

#include <string>
#include <utility>
#include <vector>

#include "tokenizer.h"

struct QueryTextT {
  std::string ShortForm;              // for tvProcessQuery
  std::vector<std::string> Terms;     // words and patterns, as indexed
  std::vector<std::string> Excluded;  // those under a NOT
  std::vector<std::pair<std::string, std::string>> Ranges;
  bool HasOr = false;
};

// A malformed or empty query is a HostErrorT with StatusQuerySyntaxError
// (StatusBadKeyLength for a word too long to be a term).
QueryTextT ConvertUserQuery(const std::string& text,
                            const TokenizerT& tokenizer,
                            unsigned long nearDistance);

// The ranked query of a Boolean query's terms: hex terms, the excluded ones
// with "-", and with "+" on the others when no OR makes a term optional.
std::string RankedQueryFromTerms(const QueryTextT& query);

// A ranked query typed as terms, each optionally led by "+" (required) or
// "-" (excluded). Words are processed as in Boolean queries.
QueryTextT ConvertRankedTerms(const std::string& text,
                              const TokenizerT& tokenizer);

// The hexadecimal query term of a word or wildcard pattern as indexed.
std::string HexTerm(const std::string& term);

#endif  // TARVIS_HOST_QUERY_TEXT_H_
