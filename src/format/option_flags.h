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

// Bytes of one pointer of the record data table and of the record ID table,
// for the writer and every reader alike. Record data pointers are 8-byte
// offsets with their offset bit and 32-bit values otherwise (also when
// neither width bit is set); record ID pointers are 32-bit with their 32-bit
// bit (which wins over the offset bit) and 8-byte offsets otherwise.
inline uint32_t RecordDataPointerBytes(uint32_t flags) {
  return (flags & kOptionRecordDataOffsets) != 0 ? 8 : 4;
}
inline uint32_t RecordIDPointerBytes(uint32_t flags) {
  return (flags & kOptionRecordID32) != 0 ? 4 : 8;
}

// Bytes of a variable-length record ID that are kept; longer IDs are cut.
constexpr uint32_t kMaxStoredRecordIDBytes = 128;

#endif  // TARVIS_FORMAT_OPTION_FLAGS_H_
