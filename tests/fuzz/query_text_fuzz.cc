// Fuzz target: query text in the long form a person types. The keywords are
// rewritten in place, the words converted to hex words into a buffer of
// exactly the documented size, and the short form run as a Boolean query on
// the sample index of every mode and as a ranked query on one.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 4096) return 0;
  // The first byte chooses the distance NEAR stands for.
  unsigned long nearDistance = data[0];
  std::vector<unsigned char> text(data + 1, data + size);
  text.push_back(0);
  size_t before = std::strlen(reinterpret_cast<char*>(text.data()));
  tvLongQueryFormToShortQueryForm(text.data(), nearDistance);
  size_t length = std::strlen(reinterpret_cast<char*>(text.data()));
  FUZZ_CHECK(length <= before);

  std::vector<unsigned char> converted(TV_CONVERTED_QUERY_SIZE(length));
  tvConvertQuery(text.data(), converted.data());
  const char* query = reinterpret_cast<const char*>(converted.data());
  FUZZ_CHECK(std::strlen(query) < converted.size());
  for (unsigned long mode = RECORD_MODE; mode <= IDF_MODE; ++mode) {
    RunQuery(SampleManager(mode), nullptr, query);
  }
  RunQuery(SampleManager(WORD_MODE), query, nullptr);
  return 0;
}
