// Shared pieces of the fuzz targets: a scratch directory for the whole run
// (also the library's location for temporary files), small sample indexes of
// every mode built from a fixed recipe, and the walks that every target runs
// over a result vector or an open index. Everything here goes through the
// public interface, as a host would.

#ifndef TARVIS_TESTS_FUZZ_FUZZ_SUPPORT_H_
#define TARVIS_TESTS_FUZZ_FUZZ_SUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "tarvis/tarvis.h"

// A path inside the run's scratch directory, which is made on first use and
// removed with everything in it when the program ends.
std::string FuzzScratchFile(const std::string& name);

// What a sample index holds besides its words.
enum SampleRecordPayloadT {
  kSampleNoPayload,      // tvCreateIndex: no record data, no record IDs
  kSampleVariablePayload,  // variable-length record data and IDs
  kSampleFixedPayload,   // fixed-length record data and IDs
};

struct SampleIndexShapeT {
  unsigned long Mode;          // RECORD_MODE, WORD_MODE or IDF_MODE
  SampleRecordPayloadT Payload;
  unsigned Partitions;         // indexing sessions, at least 1
  unsigned RecordsPerPartition;
  bool DeleteSome;             // deletes a few records, the last included
  bool Optomize = false;       // then merges the last two partitions
};

// Builds the index at path (replacing a file there). The words are drawn from
// a small fixed vocabulary ("a", "b", "ab", "abc", "cat", "dog", ...) with
// "a" in every record, so that short hex queries such as "0x61" find
// something. Every record gets data and an ID when the shape asks for them;
// the ID of record r of partition p is "idPR". Returns the status of the
// first failing call (0 when all went well).
StatusCodeT BuildSampleIndex(const std::string& path,
                             const SampleIndexShapeT& shape);

// The sample index of a mode for the query targets: two partitions of
// variable record payload with a few records deleted, built on first use and
// kept open in a retrieval session until the program ends. Aborts when it
// cannot be built.
IndexManagerT* SampleManager(unsigned long mode);

// Stops the program with a message when a property a target checks fails,
// so that the fuzzer records the input.
#define FUZZ_CHECK(cond) \
  ((cond) ? (void)0 : FuzzCheckFailed(#cond, __FILE__, __LINE__))
[[noreturn]] void FuzzCheckFailed(const char* condition, const char* file,
                                  int line);

// Walks a vector to its end both ways and deletes it; tolerates null.
void WalkAndDeleteVector(QueryVectorBaseT* vector);

// Runs a query in two optional parts and walks the result.
void RunQuery(IndexManagerT* manager, const char* ranked, const char* boolean);

// Everything a host does with an open index in a retrieval session: browse
// every key both ways (bounded), take the vector of some keys, run a fixed
// set of queries, read record data and IDs of the first records and of the
// numbers around the ends, look an ID up, delete and undelete a record.
void ExerciseRetrieval(IndexManagerT* manager);

#endif  // TARVIS_TESTS_FUZZ_FUZZ_SUPPORT_H_
