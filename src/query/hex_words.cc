// Hex words: encoding terms as "0x" + hexadecimal digits and decoding them
// into dictionary keys and wildcard patterns.

#include "query/hex_words.h"

namespace {

const char kLowerDigits[] = "0123456789abcdef";

int IsWildcard(unsigned char c) { return c == '*' || c == '?'; }

// The digit value for the lenient conversions: anything else is 0.
unsigned LenientDigit(char c) {
  int value = HexDigitValue(static_cast<unsigned char>(c));
  return value < 0 ? 0u : static_cast<unsigned>(value);
}

// Decodes the units of hexWord into out[1..]. With escape set, a decoded byte
// that is "*", "?" or a backslash is written behind a backslash, so that the
// result reads as a wildcard pattern in which only the wildcard units are
// wildcards.
int DecodeUnits(unsigned char* out, const char* hexWord, int escape) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(hexWord);
  out[0] = 0;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) p += 2;
  uint32_t length = 0;
  for (;;) {
    unsigned char byte;
    int literal;
    if (IsWildcard(*p)) {
      byte = *p++;
      literal = 0;
    } else {
      int high = HexDigitValue(p[0]);
      if (high < 0) break;
      int low = HexDigitValue(p[1]);
      if (low < 0) return 0;
      byte = static_cast<unsigned char>(high << 4 | low);
      p += 2;
      literal = 1;
    }
    if (escape && literal && (IsWildcard(byte) || byte == '\\')) {
      if (length == kMaximumKeyBytes) return 0;
      out[++length] = '\\';
    }
    if (length == kMaximumKeyBytes) return 0;
    out[++length] = byte;
  }
  out[0] = static_cast<unsigned char>(length);
  return 1;
}

// Refused words leave an empty key behind.
int Decode(unsigned char* out, const char* hexWord, int escape) {
  if (DecodeUnits(out, hexWord, escape)) return 1;
  out[0] = 0;
  return 0;
}

}  // namespace

void BinaryWordToHexWord(char* hexOut, const unsigned char* bytes,
                         size_t length) {
  *hexOut++ = '0';
  *hexOut++ = 'x';
  for (size_t i = 0; i < length; ++i) {
    ctohex(bytes[i], hexOut);
    hexOut += 2;
  }
  *hexOut = '\0';
}

int HexWordToBinaryWord(unsigned char* keyOut, const char* hexWord) {
  return Decode(keyOut, hexWord, 0);
}

int HexWordToPattern(unsigned char* patternOut, const char* hexWord) {
  return Decode(patternOut, hexWord, 1);
}

unsigned char hextoc(const char* twoDigits) {
  return static_cast<unsigned char>(LenientDigit(twoDigits[0]) << 4 |
                                    LenientDigit(twoDigits[1]));
}

void ctohex(unsigned char byte, char* twoDigitsOut) {
  twoDigitsOut[0] = kLowerDigits[byte >> 4];
  twoDigitsOut[1] = kLowerDigits[byte & 0x0f];
}

uint16_t UHexToC(const char* fourDigits) {
  return static_cast<uint16_t>(hextoc(fourDigits) << 8 | hextoc(fourDigits + 2));
}

void Uctohex(uint16_t value, char* fourDigitsOut) {
  ctohex(static_cast<unsigned char>(value >> 8), fourDigitsOut);
  ctohex(static_cast<unsigned char>(value & 0xff), fourDigitsOut + 2);
}
