// Fuzz target: the English stemmer, on any bytes, with a destination of
// exactly the documented size; the stem is never longer than the word.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  std::string word(reinterpret_cast<const char*>(data), size);
  size_t length = std::strlen(word.c_str());
  std::vector<char> stem(length + 1);
  int result = tvStemEnglishWord(stem.data(), word.c_str());
  FUZZ_CHECK(result == 0 || result == 1);
  FUZZ_CHECK(std::strlen(stem.data()) <= length);
  if (result == 1) {
    // A stem is lower case letters only, and stemming it again is harmless.
    std::vector<char> again(stem.size());
    FUZZ_CHECK(tvStemEnglishWord(again.data(), stem.data()) == 1);
  }
  return 0;
}
