// Fuzz target: an index file of arbitrary bytes (the seeds are valid small
// indexes of every mode). The integrity check walks it first; then a host's
// whole round runs on it: open, start a retrieval session, browse every key,
// run queries, read record data and IDs, delete a record, close (which may
// write the deleted-record list back). Whatever the bytes, each step ends
// with a status.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "manager/index_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  std::string path = FuzzScratchFile("fuzzed.tvx");
  FILE* file = std::fopen(path.c_str(), "wb");
  FUZZ_CHECK(file != nullptr);
  FUZZ_CHECK(std::fwrite(data, 1, size, file) == size);
  std::fclose(file);

  std::vector<std::string> problems;
  StatusCodeT status = 0;
  int sound = CheckIndex(path.c_str(), &problems, &status);
  FUZZ_CHECK(status == 0);
  FUZZ_CHECK((sound == 1) == problems.empty());

  IndexManagerT* manager = tvCreateIndexManager(&status);
  FUZZ_CHECK(manager != nullptr);
  tvOpenIndex(manager, &path[0], &status);
  if (status == 0) {
    tvStartRetrievalSession(manager, &status);
    if (status == 0) ExerciseRetrieval(manager);
    tvEndRetrievalSession(manager, &status);
  }
  tvCloseIndex(manager, &status);
  tvDeleteIndexManager(manager, &status);
  std::remove(path.c_str());
  return 0;
}
