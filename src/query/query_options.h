// QueryOptionsT: what the index manager hands every partition with a query:
// when the query started, settings that travel with it, whether the caller
// needs the records of the result only, and the records it needs hits of.
// No reader consults the settings; they keep the values every query has
// carried.

#ifndef TARVIS_QUERY_QUERY_OPTIONS_H_
#define TARVIS_QUERY_QUERY_OPTIONS_H_

#include <cstdint>

struct QueryOptionsT {
  uint32_t StartTime = 0;  // seconds since 1970
  int32_t Settings[5] = {1000, 50, 200, 0, -1};
  // 1: a word-mode result may hold one hit per record, at word 1.
  int RecordsOnly = 0;
  // The records of the index the result is wanted in, both included.
  uint32_t FirstRecord = 1;
  uint32_t LastRecord = UINT32_MAX;
};

#endif  // TARVIS_QUERY_QUERY_OPTIONS_H_
