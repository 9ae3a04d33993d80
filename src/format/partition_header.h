// The partition header: the 646 bytes in front of every partition, saying in
// which index mode it was built, where each of its areas lies and how large
// it is, the quantisation of its document weights and the creation
// parameters of its index.
//
// Areas, in file order behind the header: the dictionary B-tree (whose own
// 36-byte header sits inside this one, at byte 10), the posting data, the
// word counts, the compressed document weights, the plain document weight
// table, then the record data pointers, record data, record ID pointers and
// record ID data. Every area offset (and the end offset) counts from the
// header's first byte; an area the partition does not hold has offset 0.
//
// Integers are big-endian; an offset is 8 bytes whose high 4 are zero and
// ignored when read. The compressor writes the header and the partition
// reader reads it through the one encoder and decoder below; the header is
// checked before anything relies on it, since the file may be damaged.

#ifndef TARVIS_FORMAT_PARTITION_HEADER_H_
#define TARVIS_FORMAT_PARTITION_HEADER_H_

#include <cstdint>

#include "format/word_info.h"
#include "storage/writetre.h"
#include "tarvis/tarvis.h"

class FileClassT;

constexpr uint32_t kPartitionMagic = 0x2A4F8399u;
constexpr uint16_t kPartitionVersion = 1;
constexpr uint32_t kPartitionHeaderSize = 646;
// Where the dictionary's B-tree header lies inside the partition header.
constexpr uint32_t kPartitionDictionaryHeaderOffset = 10;
constexpr uint32_t kPartitionOptionWords = 40;
// Segment sizes the posting and weight coders use; written for readers.
constexpr uint16_t kPartitionRecordSegmentSize = 15;
constexpr uint16_t kPartitionIdfSegmentSize = 15;
constexpr uint16_t kPartitionThirdSegmentSize = 15;
constexpr uint16_t kPartitionIndexSegmentSize = 4096;

struct PartitionHeaderT {
  uint32_t Magic = kPartitionMagic;
  uint16_t Version = kPartitionVersion;
  uint16_t IndexMode = 0;
  uint16_t WordIndexFlag = 0;  // 1 when the partition has a dictionary
  BTreeHeaderT Dictionary;     // all zero while the tree is not written
  uint32_t PostingDataOffset = 0;
  uint32_t PostingDataLength = 0;
  uint32_t TermCount = 0;
  uint16_t DocWeightFlag = 0;  // 1 when the weight areas are present
  uint32_t CompressedWeightOffset = 0;
  uint32_t CompressedWeightLength = 0;
  uint32_t WeightTableOffset = 0;
  uint32_t WeightTableLength = 0;
  float SmallestWeight = 0;  // the base of the weight quantisation
  float LargestWeight = 0;
  float WeightRatio = 0;     // the step between two weight levels
  uint32_t WordCountOffset = 0;
  uint32_t RecordCount = 0;
  uint16_t RecordSegmentSize = kPartitionRecordSegmentSize;
  uint16_t IdfSegmentSize = kPartitionIdfSegmentSize;
  uint16_t ThirdSegmentSize = kPartitionThirdSegmentSize;
  uint16_t IndexSegmentSize = kPartitionIndexSegmentSize;
  uint32_t RecordDataPointerOffset = 0;
  uint32_t RecordDataOffset = 0;
  uint32_t FixedRecordDataLength = 0;
  uint32_t RecordIdPointerOffset = 0;
  uint32_t RecordIdDataOffset = 0;
  uint32_t FixedRecordIdLength = 0;
  uint32_t Options[kPartitionOptionWords] = {};
  uint32_t EndOffset = 0;  // just after the last area
};

// The stored form, kPartitionHeaderSize bytes. The reserved fields are
// written with their fixed values and skipped when read.
void EncodePartitionHeader(const PartitionHeaderT& header, unsigned char* out);
void DecodePartitionHeader(const unsigned char* in, PartitionHeaderT* header);

// 1 when the header describes a partition that can be read: the magic, the
// version, index mode 1 to 3, flags of 0 or 1, the segment sizes as written,
// an end offset inside the file (which is fileLength bytes long) and behind
// the header, the present areas in file order between the header's end and
// the end offset without overlapping, a dictionary with terms exactly when
// the word index flag is set, and weight areas holding one entry per record
// exactly when the weight flag is set.
int ValidatePartitionHeader(const PartitionHeaderT& header,
                            uint32_t headerPosition, uint32_t fileLength);

// Reads and checks the header at the file's position. 1, or 0 with status
// StatusReadError when the file ends first, StatusNotIndexFile when the
// bytes are not a sound partition header. header is written only on
// success; the file is left just behind the header.
int ReadPartitionHeader(FileClassT* file, PartitionHeaderT* header,
                        StatusCodeT* status);

// Where the compressed document weights of the partition whose header starts
// at headerPosition lie, in the form the posting decoder starts from: one
// entry per record, in the data area.
WordIndexInfoT DocWeightSegmentInfo(const PartitionHeaderT& header,
                                    uint32_t headerPosition);

#endif  // TARVIS_FORMAT_PARTITION_HEADER_H_
