// A compiled wildcard pattern: "*" matches the rest of a key, "?" any one
// byte, and a backslash makes the next byte literal. The dictionary's
// wildcard expansion and the highlight matcher share it, so a word is
// highlighted exactly when retrieval would have expanded the pattern to it.
//
// A pattern is compiled once and then matched against many keys, so the
// matcher decides most keys by their length and the literal bytes alone.

#ifndef TARVIS_TEXT_WILDCARD_PATTERN_H_
#define TARVIS_TEXT_WILDCARD_PATTERN_H_

#include <cstdint>

class WildCardPatternT {
 public:
  // The longest pattern taken, in bytes as given (escapes included), and so
  // the most compiled positions.
  static constexpr uint32_t kMaxPatternLength = 256;

  // An empty pattern: it matches only the empty key.
  WildCardPatternT();

  // Compiles pattern[0 .. length - 1]. Returns 1, or 0 when the pattern is
  // longer than kMaxPatternLength (or null with a length), in which case the
  // state is left as it was. A backslash as the last byte stands for itself.
  int ProcessWildCardPattern(const unsigned char* pattern, uint32_t length);

  // 1 when key[0 .. length - 1] matches the compiled pattern, else 0. Reads no
  // byte of the key at or beyond length.
  int WildCardMatch(const unsigned char* key, uint32_t length) const;

  // The literal bytes before the first wildcard: every matching key begins
  // with them.
  const unsigned char* Prefix() const { return PatternChars; }
  uint32_t PrefixLength() const { return PrefixLen; }

  // The pattern as last given, and the number of compiled positions.
  const unsigned char* RawPattern() const { return RawPatternChars; }
  uint32_t RawPatternLength() const { return RawLength; }
  uint32_t CompiledLength() const { return PatternLength; }

 private:
  // Per compiled position: 1 for a wildcard ("*" or "?" in PatternChars),
  // 0 for a literal byte.
  uint8_t WildCardFlags[kMaxPatternLength];
  unsigned char PatternChars[kMaxPatternLength];
  unsigned char RawPatternChars[kMaxPatternLength];
  uint32_t RawLength;
  uint32_t PatternLength;
  uint32_t PrefixLen;
  // The position of the first unescaped "*", or PatternLength when there is
  // none: a key matches only if its bytes up to here agree and its length
  // is PatternLength (no "*") or at least StarPosition.
  uint32_t StarPosition;
};

#endif  // TARVIS_TEXT_WILDCARD_PATTERN_H_
