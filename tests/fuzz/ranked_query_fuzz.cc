// Fuzz target: ranked query text (hex terms with "+" and "-"), alone and
// with a Boolean part after the first line feed, scored on the sample index
// of every mode, and so with every document weight method (none in record
// mode, maximum frequency in word mode, log sum in IDF mode).

#include <cstdint>
#include <string>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  std::string text(reinterpret_cast<const char*>(data), size);
  size_t split = text.find('\n');
  std::string ranked = text.substr(0, split);
  for (unsigned long mode = RECORD_MODE; mode <= IDF_MODE; ++mode) {
    IndexManagerT* manager = SampleManager(mode);
    if (split == std::string::npos) {
      RunQuery(manager, ranked.c_str(), nullptr);
    } else {
      RunQuery(manager, ranked.c_str(), text.c_str() + split + 1);
    }
  }
  return 0;
}
