// QueryTokenizerT: cuts the short form of a query into tokens. Characters
// that start no token (spaces, most punctuation, letters other than the
// hexadecimal ones and "M", "U", "N", "w", "X", "x") are filler and skipped.
//
// Tokens, by type (the operator character itself):
//   0    end of the text
//   "!" NOT, "&" AND, "|" OR, "^" XOR, "-" range
//   "(" and "<" open a list, ")" and ">" close one, '"' opens or closes a
//        quoted list (phrase)
//   48   a term: "0x" plus units of two hexadecimal digits or "*" / "?"
//   58   a parameter ":" [w|f] number (word or field parameter, or a plain
//        one: the tolerance of an AND)
//   109  member: "M", or ":m"
//   119  proximity: "w", optional filler and an optional ":", then the
//        distance ("w5", "w/5", "w:5")
// Failures: StatusMalformedParameter for a "w" or ":" without a number,
// StatusHexTermExpected for a character that starts no token (a hexadecimal
// digit outside a term, "X", "U", "N", a wildcard outside a term) or a term
// that is not "0x" plus whole units, StatusBadKeyLength for a term of more
// than 255 units.

#ifndef TARVIS_QUERY_QUERY_TOKENIZER_H_
#define TARVIS_QUERY_QUERY_TOKENIZER_H_

#include <cstdint>

#include "tarvis/tarvis.h"

// Token types that are not the character they stand for.
constexpr uint32_t kTokenEnd = 0;
constexpr uint32_t kTokenTerm = 48;
constexpr uint32_t kTokenParameter = 58;
constexpr uint32_t kTokenMember = 109;
constexpr uint32_t kTokenProximity = 119;

// Kinds of the number a token carries.
constexpr uint32_t kParameterPlain = 0;
constexpr uint32_t kParameterField = 5;
constexpr uint32_t kParameterWord = 6;
constexpr uint32_t kParameterMember = 7;
constexpr uint32_t kParameterDistance = 8;

struct QueryTokenT {
  uint32_t Type = kTokenEnd;
  // Where the token starts in the text (for a term, at its "0").
  uint32_t Position = 0;
  // Term: bytes it stands for, and whether one of its units is a wildcard.
  uint32_t Units = 0;
  int Wildcard = 0;
  // Parameter and proximity: the number (saturated at INT32_MAX) and its kind.
  uint32_t Number = 0;
  uint32_t ParameterKind = kParameterPlain;
};

class QueryTokenizerT {
 public:
  // text is NUL-terminated and must outlive the tokenizer.
  explicit QueryTokenizerT(const unsigned char* text) : Text(text) {}

  // Reads the token at the scan position and moves past it. Returns the
  // token's type, or kTokenEnd with a negative status on an error.
  uint32_t GetNextToken(QueryTokenT* token, StatusCodeT* status);

  uint32_t ScanPosition() const { return Position; }
  void SetScanPosition(uint32_t position) { Position = position; }

 private:
  // Moves past filler to the next character that can start a token.
  void SkipFiller();
  // Reads a decimal number at the scan position; 0 when none starts there.
  int ReadNumber(uint32_t* number);
  uint32_t ReadTerm(QueryTokenT* token, StatusCodeT* status);
  uint32_t ReadParameter(QueryTokenT* token, StatusCodeT* status);
  uint32_t ReadProximity(QueryTokenT* token, StatusCodeT* status);

  const unsigned char* Text;
  uint32_t Position = 0;
};

#endif  // TARVIS_QUERY_QUERY_TOKENIZER_H_
