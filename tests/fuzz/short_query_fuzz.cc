// Fuzz target: query text in the short form, parsed and evaluated on the
// sample index of every mode, the result walked both ways.

#include <cstdint>
#include <string>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  std::string query(reinterpret_cast<const char*>(data), size);
  for (unsigned long mode = RECORD_MODE; mode <= IDF_MODE; ++mode) {
    RunQuery(SampleManager(mode), nullptr, query.c_str());
  }
  return 0;
}
