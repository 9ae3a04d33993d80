// IndexHeaderInfoT: the header of an index file, and the fixed layout around
// it. An index file starts with a reserved area of blanks; the magic and two
// copies of the header follow, then the partitions and the deleted-record
// list:
//
//   0      4096 bytes  reserved, blanks
//   4096   4           magic D8BE8174
//   4100   240         header, first copy
//   4340   240         header, second copy
//   4580   ...         partitions, back to back; then the deleted-record list
//
// A header copy is 240 bytes, every field big-endian: the write stamp, the
// partition count, five offsets (8 bytes each: first and last partition,
// append position, deleted list, end), the deleted record count, the header
// state, the index mode, the creation and modification times, the 40-word
// creation parameter block, the two fixed lengths and the write stamp again.
// A copy cut short by a crash shows two different stamps.

#ifndef TARVIS_MANAGER_INDEX_HEADER_H_
#define TARVIS_MANAGER_INDEX_HEADER_H_

#include <cstdint>
#include <ctime>

#include "format/option_flags.h"

class FileClassT;

constexpr uint32_t kIndexMagic = 0xD8BE8174u;
constexpr uint32_t kIndexReservedBytes = 4096;
constexpr uint32_t kIndexHeaderPosition = kIndexReservedBytes;
constexpr uint32_t kIndexHeaderBytes = 240;
// Just after the magic and both copies: where the first partition goes.
constexpr uint32_t kIndexHeaderEnd =
    kIndexHeaderPosition + 4 + 2 * kIndexHeaderBytes;
// Partitions an index can hold.
constexpr uint32_t kMaxPartitions = 2048;

// Header states.
enum : uint32_t {
  kHeaderSettled = 1,      // partitions added, nothing in progress
  kHeaderNew = 2,          // a new index without partitions
  kHeaderSessionOpen = 3,  // an indexing session is adding a partition
};

struct IndexHeaderInfoT {
  uint32_t WriteStamp;
  uint32_t PartitionCount;
  uint32_t FirstPartitionPosition;
  uint32_t LastPartitionPosition;
  uint32_t AppendPosition;
  uint32_t DeletedListPosition;
  uint32_t EndPosition;
  uint32_t DeletedRecordCount;
  uint32_t HeaderState;
  uint32_t IndexMode;
  uint32_t CreationTime;
  uint32_t ModificationTime;
  uint32_t OptionBlock[kOptionBlockWords];
  uint32_t FixedRecordDataLength;
  uint32_t FixedRecordIDLength;
  uint32_t TrailingStamp;  // equals WriteStamp in an intact copy

  int IsIntact() const { return WriteStamp == TrailingStamp; }
  uint32_t Options() const { return OptionBlock[0]; }
  int IsDistributed() const { return (Options() & kOptionDistributed) != 0; }
};

// Writes the magic and both copies of the header at the file's position,
// each copy stamped with stamp at both ends. 1 on success, 0 on a write
// failure.
int WriteIndexHeaderBlock(FileClassT* file, const IndexHeaderInfoT& header,
                          uint32_t stamp);
// Reads one copy at the file's position. 1 on success, 0 on a read failure.
int ReadIndexHeader(FileClassT* file, IndexHeaderInfoT* header);

// Checks what a header says against the file it came from: a known state
// and index mode, at most kMaxPartitions partitions, and positions that lie
// in order inside fileLength. 1 when the header can be trusted that far.
int IndexHeaderIsPlausible(const IndexHeaderInfoT& header, uint32_t headerEnd,
                           uint32_t fileLength);

// The time a header records: seconds since 1970, in the 32 bits it has.
inline uint32_t Now() { return static_cast<uint32_t>(std::time(nullptr)); }

#endif  // TARVIS_MANAGER_INDEX_HEADER_H_
