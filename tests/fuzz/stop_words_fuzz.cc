// Fuzz target: the stop-word file reader. The input is the file; every line
// of it (cut as the reader cuts it) must then be a stop word, and probes of
// any bytes are answered without reading outside the probe.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 65536) return 0;
  std::string path = FuzzScratchFile("stop.txt");
  FILE* file = std::fopen(path.c_str(), "wb");
  FUZZ_CHECK(file != nullptr);
  FUZZ_CHECK(std::fwrite(data, 1, size, file) == size);
  std::fclose(file);

  StopListT* list = tvCreateStopWordList();
  FUZZ_CHECK(list != nullptr);
  StatusCodeT status = 0;
  tvAddStopWordList(list, &path[0], &status);
  FUZZ_CHECK(status == 0);
  unsigned long words = tvNumStopWords(list);

  // Probes: each piece of the input between separators, exactly sized.
  std::string text(reinterpret_cast<const char*>(data), size);
  size_t start = 0;
  unsigned long lines = 0;
  while (start <= text.size() && lines < 2000) {
    size_t end = text.find_first_of("\n\r\t", start);
    if (end == std::string::npos) end = text.size();
    std::vector<unsigned char> piece(text.begin() + start, text.begin() + end);
    int isStop = tvIsStopWord(list, 0, piece.data(), piece.size());
    // A kept line is a stop word, unless the reader drops it (comments,
    // empty lines, and parts after the first separator of a line).
    if (!piece.empty() && piece[0] != '#' &&
        (start == 0 || text[start - 1] == '\n')) {
      FUZZ_CHECK(isStop == 1);
    }
    ++lines;
    start = end + 1;
  }
  unsigned char none[] = "";
  tvIsStopWord(list, 0, none, 0);
  tvAddStopWord(list, reinterpret_cast<unsigned char*>(&text[0]),
                text.size(), &status);
  FUZZ_CHECK(tvNumStopWords(list) >= words);
  tvDeleteStopWordList(list);
  std::remove(path.c_str());
  return 0;
}
