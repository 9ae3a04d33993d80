// Compiling and matching wildcard patterns.

#include "text/wildcard_pattern.h"

#include <cstring>

WildCardPatternT::WildCardPatternT()
    : RawLength(0), PatternLength(0), PrefixLen(0), StarPosition(0) {}

int WildCardPatternT::ProcessWildCardPattern(const unsigned char* pattern,
                                             uint32_t length) {
  if (length > kMaxPatternLength || (pattern == nullptr && length != 0)) {
    return 0;
  }
  if (length != 0) std::memcpy(RawPatternChars, pattern, length);
  RawLength = length;

  uint32_t compiled = 0;
  uint32_t prefix = UINT32_MAX;
  uint32_t star = UINT32_MAX;
  for (uint32_t i = 0; i < length; ++i, ++compiled) {
    unsigned char c = pattern[i];
    uint8_t wildcard = 0;
    if (c == '\\' && i + 1 < length) {
      c = pattern[++i];
    } else if (c == '*' || c == '?') {
      wildcard = 1;
      if (prefix == UINT32_MAX) prefix = compiled;
      if (c == '*' && star == UINT32_MAX) star = compiled;
    }
    WildCardFlags[compiled] = wildcard;
    PatternChars[compiled] = c;
  }
  PatternLength = compiled;
  PrefixLen = prefix == UINT32_MAX ? compiled : prefix;
  StarPosition = star == UINT32_MAX ? compiled : star;
  return 1;
}

int WildCardPatternT::WildCardMatch(const unsigned char* key,
                                    uint32_t length) const {
  // Without a "*" the key must have exactly the compiled length; with one it
  // needs a byte for every position before the "*", and what follows the "*"
  // in the key or in the pattern does not matter.
  if (StarPosition == PatternLength) {
    if (length != PatternLength) return 0;
  } else if (length < StarPosition) {
    return 0;
  }
  for (uint32_t i = 0; i < StarPosition; ++i) {
    if (WildCardFlags[i] == 0 && key[i] != PatternChars[i]) return 0;
  }
  return 1;
}
