// Fuzz target: hexadecimal words. The input is decoded as a hex word (into
// a key and into a wildcard pattern) and, as bytes, encoded and decoded
// back, which must give the bytes again; the digit converters take every
// window of the input.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "query/hex_words.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  std::string text(reinterpret_cast<const char*>(data), size);

  unsigned char key[256];
  unsigned char pattern[256];
  int decoded = HexWordToBinaryWord(key, text.c_str());
  FUZZ_CHECK(decoded == 1 || key[0] == 0);
  HexWordToPattern(pattern, text.c_str());

  // Round trip of the bytes themselves (the public conversion).
  size_t length = size < 255 ? size : 255;
  std::vector<char> hex(2 * length + 3);
  tvCharWordToHexWord(hex.data(), const_cast<unsigned char*>(data), length);
  FUZZ_CHECK(std::strlen(hex.data()) == 2 * length + 2);
  if (length > 0) {
    FUZZ_CHECK(HexWordToBinaryWord(key, hex.data()) == 1);
    FUZZ_CHECK(key[0] == length && std::memcmp(key + 1, data, length) == 0);
  }

  for (size_t i = 0; i + 4 <= size && i < 64; ++i) {
    unsigned char byte = 0;
    unsigned short value = 0;
    char digits[4];
    tvHexToChar(&byte, text.c_str() + i);
    tvCharToHex(byte, digits);
    tvUnicodeHexToChar(&value, text.c_str() + i);
    tvUnicodeCharToHex(value, digits);
    unsigned short back = 0;
    tvUnicodeHexToChar(&back, digits);
    FUZZ_CHECK(back == value);
  }
  return 0;
}
