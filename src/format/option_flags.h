// The option flags of an index: word 0 of the 160-byte creation parameter
// block that every index header and every partition header carries. They
// decide where partitions live, which record tables exist and in which
// layout, and which document weight is computed.

#ifndef TARVIS_FORMAT_OPTION_FLAGS_H_
#define TARVIS_FORMAT_OPTION_FLAGS_H_

#include <cstdint>

enum : uint32_t {
  kOptionSingleFile = 1u << 0,
  kOptionDistributed = 1u << 1,
  kOptionVariableRecordData = 1u << 2,
  kOptionFixedRecordData = 1u << 3,
  kOptionRecordData32 = 1u << 4,
  kOptionRecordDataOffsets = 1u << 5,
  kOptionVariableRecordID = 1u << 6,
  kOptionFixedRecordID = 1u << 7,
  kOptionRecordID32 = 1u << 8,
  kOptionRecordIDOffsets = 1u << 9,
  kOptionWeightLogSum = 1u << 10,
  kOptionWeightMaxFrequency = 1u << 11,
};

// Words in the creation parameter block; word 0 holds the flags above.
constexpr int kOptionBlockWords = 40;

// The document weight method the flags select: 2 when bit 11 is set, else 1
// when bit 10 is set, else 0 (no weight).
inline uint32_t WeightMethodFromOptions(uint32_t flags) {
  if (flags & kOptionWeightMaxFrequency) return 2;
  if (flags & kOptionWeightLogSum) return 1;
  return 0;
}

#endif  // TARVIS_FORMAT_OPTION_FLAGS_H_
