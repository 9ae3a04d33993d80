// The converters from the query form a person types to the short form the
// parser reads. LongQueryToShortQuery turns the keywords "AND", "OR", "NOT",
// "NEAR" and "W/" into operator characters, in place; QueryConvert then
// writes every word as a hex word and copies operators and parameters.

#ifndef TARVIS_QUERY_QUERY_CONVERT_H_
#define TARVIS_QUERY_QUERY_CONVERT_H_

#include <cstddef>
#include <cstdint>

// The distance "NEAR" stands for is capped to two digits.
constexpr unsigned long kMaximumNearDistance = 99;

// Rewrites the keywords of a NUL-terminated query in place; the text never
// grows. TAB, LF and CR become spaces; " AND ", " OR ", " NOT " become
// " &   ", " |  ", " !   "; " NEAR " becomes " w:<distance> " padded to six
// characters; " W/" before a digit becomes " w/"; runs of spaces become one.
void LongQueryToShortQuery(unsigned char* query, unsigned long nearDistance);

// The most bytes QueryConvert writes for an input of inputLength bytes, its
// terminating NUL included. Reached by one-character words with one
// delimiter between them ("a a a").
constexpr size_t ConvertedQueryBytes(size_t inputLength) {
  return 2 * inputLength + (inputLength + 1) / 2 + 2;
}

// Writes the short form of the NUL-terminated query in into out, which must
// hold ConvertedQueryBytes(strlen(in)) bytes; in is not changed.
void QueryConvert(const unsigned char* in, unsigned char* out);

#endif  // TARVIS_QUERY_QUERY_CONVERT_H_
