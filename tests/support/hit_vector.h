// An uncompressed vector filled with given (record, word) hits and rewound,
// for tests that need a vector of known content.

#ifndef TARVIS_TESTS_SUPPORT_HIT_VECTOR_H_
#define TARVIS_TESTS_SUPPORT_HIT_VECTOR_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "query/uncompressed_vector.h"

using HitPairT = std::pair<uint32_t, uint32_t>;

inline std::unique_ptr<UncompressedQueryVectorT> VectorOfHits(
    const std::vector<HitPairT>& hits) {
  StatusCodeT status = StatusNoError;
  auto vector = std::make_unique<UncompressedQueryVectorT>(kResultVectorBytes,
                                                           &status);
  for (const HitPairT& hit : hits) {
    TermInstanceT instance;
    instance.RecordNumber = hit.first;
    instance.WordPosition = hit.second;
    vector->AddInstance(&instance, &status);
    EXPECT_EQ(status, StatusNoError);
  }
  vector->Rewind(&status);
  return vector;
}

#endif  // TARVIS_TESTS_SUPPORT_HIT_VECTOR_H_
