// Hex words: how a term, any byte string, is written in query text. A hex
// word is "0x" (or "0X") followed by units; a unit is two hexadecimal digits
// standing for one byte (first digit the high nibble), or a single "*" or "?"
// wildcard. The library writes lowercase digits and reads either case.
//
// Decoding produces a dictionary key: one length byte and at most 255 bytes.
// A word that would need more is refused, never cut: a shortened key would
// stand for a different term.

#ifndef TARVIS_QUERY_HEX_WORDS_H_
#define TARVIS_QUERY_HEX_WORDS_H_

#include <cstddef>
#include <cstdint>

// The largest number of bytes a key holds after its length byte.
constexpr uint32_t kMaximumKeyBytes = 255;

// The value of one hexadecimal digit, or -1 for any other character.
inline int HexDigitValue(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Writes "0x", two lowercase digits per byte and a NUL: 2 * length + 3 bytes.
void BinaryWordToHexWord(char* hexOut, const unsigned char* bytes,
                         size_t length);

// Decodes a hex word (the "0x" is optional) into a length-prefixed key of 256
// bytes, up to the first character that begins no unit. Wildcard units become
// the bytes "*" and "?". Returns 1, or 0 with an empty key when the word
// holds more than 255 units or ends in a single digit.
int HexWordToBinaryWord(unsigned char* keyOut, const char* hexWord);

// As HexWordToBinaryWord, for a word that holds wildcard units: the result is
// a wildcard pattern in which only the wildcard units are wildcards. A byte
// that the pattern compiler would read as a wildcard or an escape ("*", "?",
// backslash) is preceded by a backslash. Returns 0 with an empty key when the
// pattern does not fit in 255 bytes.
int HexWordToPattern(unsigned char* patternOut, const char* hexWord);

// Two digits to a byte, a byte to two lowercase digits (no NUL). Four digits
// to a 16-bit value, high byte first, and back. A character that is not a
// hexadecimal digit counts as the digit 0.
unsigned char hextoc(const char* twoDigits);
void ctohex(unsigned char byte, char* twoDigitsOut);
uint16_t UHexToC(const char* fourDigits);
void Uctohex(uint16_t value, char* fourDigitsOut);

#endif  // TARVIS_QUERY_HEX_WORDS_H_
