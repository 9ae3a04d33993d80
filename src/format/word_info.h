// Word information records: the short bit-coded record at the start of every
// dictionary entry's data, saying how many records and postings a term has,
// in which index mode its postings are coded and where they are: inline,
// right after the record, or in the posting data area of the partition.
//
// Record layout (one bit stream, most significant bit first):
//   gamma(1); delta(R); delta(P - R + 1); gamma(mode); a location bit;
//   for location 1: delta(1) and delta(offset + 1); zero bits up to the next
//   byte. R is the number of distinct records, P the number of postings
//   (occurrences), the offset counts from the start of the posting data area.
//
// The compressor, the partition reader and the optimiser all code and decode
// the record through the two functions below.

#ifndef TARVIS_FORMAT_WORD_INFO_H_
#define TARVIS_FORMAT_WORD_INFO_H_

#include <cstdint>

#include "tarvis/tarvis.h"  // RECORD_MODE, WORD_MODE, IDF_MODE

// Word information locations.
enum : uint32_t {
  kPostingsInline = 0,
  kPostingsInDataArea = 1,
};

// The longest record: 1 + 43 + 43 + 3 + 1 + 1 + 43 bits.
constexpr uint32_t kWordInfoMaxBytes = 17;

// A decoded word information record.
struct WordIndexInfoT {
  uint32_t LeadingField = 0;  // always 1
  uint32_t PostingCount = 0;  // P
  uint32_t RecordCount = 0;   // R
  // Items the posting decoder delivers: R in record and IDF modes, P in word
  // mode.
  uint32_t ItemCount = 0;
  uint32_t Reserved = 0;
  uint32_t IndexMode = 0;
  // The inline postings in the reader's copy of the entry data (borrowed:
  // valid while the reader stays on the entry); null for location 1.
  const unsigned char* InlineData = nullptr;
  uint32_t InlineLength = 0;
  uint32_t Location = 0;
  // Location 1: absolute file position of the postings.
  uint32_t DataOffset = 0;
};

// Codes a record into out (room for kWordInfoMaxBytes) and returns its length
// in bytes; 0 when the values cannot be coded (R of 0, P below R, a mode other
// than 1..3, an offset of 0xFFFFFFFF).
uint32_t EncodeWordInformation(uint32_t recordCount, uint32_t postingCount,
                               uint32_t indexMode, uint32_t location,
                               uint32_t offset, unsigned char* out);

// Decodes the record at the start of an entry's data (length bytes).
// dataAreaBase is the file position of the posting data area (header position
// + posting data offset). Returns 1, or 0 when the bytes are not a sound
// record: a code running past the entry, a leading field other than 1, an
// unknown mode, a posting count that overflows, inline postings too short to
// hold the items, an offset beyond 32 bits. info is written only on success.
int DecodeWordInformation(const unsigned char* data, uint32_t length,
                          uint32_t dataAreaBase, WordIndexInfoT* info);

#endif  // TARVIS_FORMAT_WORD_INFO_H_
