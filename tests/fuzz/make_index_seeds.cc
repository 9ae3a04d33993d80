// Writes the seed corpus of the index_file target
// (tests/fuzz/corpus/index_file/): small valid indexes of every mode and
// payload, with several partitions and deleted records, one of them
// optimised. Built on demand only (cmake --build build --target
// fuzz_index_seeds), then run with the corpus directory as its argument.

#include <cstdio>
#include <string>

#include "fuzz_support.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s CORPUS_DIR\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  struct {
    const char* Name;
    SampleIndexShapeT Shape;
  } const seeds[] = {
      {"record_plain", {RECORD_MODE, kSampleNoPayload, 1, 12, false}},
      {"record_variable", {RECORD_MODE, kSampleVariablePayload, 2, 20, true}},
      {"word_plain", {WORD_MODE, kSampleNoPayload, 2, 10, true}},
      {"word_variable", {WORD_MODE, kSampleVariablePayload, 3, 12, true}},
      {"word_fixed", {WORD_MODE, kSampleFixedPayload, 1, 40, false}},
      {"idf_variable", {IDF_MODE, kSampleVariablePayload, 2, 15, true}},
      {"idf_fixed", {IDF_MODE, kSampleFixedPayload, 2, 8, true}},
      {"word_optimised",
       {WORD_MODE, kSampleVariablePayload, 3, 10, true, true}},
  };
  for (const auto& seed : seeds) {
    StatusCodeT status = BuildSampleIndex(dir + "/" + seed.Name, seed.Shape);
    if (status < 0) {
      std::fprintf(stderr, "%s: %s\n", seed.Name, StatusCodeMessage(status));
      return 1;
    }
  }
  return 0;
}
