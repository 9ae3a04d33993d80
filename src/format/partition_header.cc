// The partition header: its field list, stored form and checks.

#include "format/partition_header.h"

#include <cmath>
#include <cstring>

#include "storage/check.h"
#include "storage/file_status.h"
#include "storage/fileclas.h"

namespace {

// The fields in stored order. The encoder and the decoder both walk this
// list, so the layout is written down once. H is PartitionHeaderT, const for
// the encoder.
template <class H, class VisitorT>
void VisitHeaderFields(H& h, VisitorT& v) {
  v.Long(h.Magic);                            // 0
  v.Short(h.Version);                         // 4
  v.Short(h.IndexMode);                       // 6
  v.Short(h.WordIndexFlag);                   // 8
  v.Long(h.Dictionary.Magic);                 // 10
  v.Offset(h.Dictionary.DataOffset);          // 14
  v.Offset(h.Dictionary.PageAreaLength);      // 22
  v.Long(h.Dictionary.RootPage);              // 30
  v.Long(h.Dictionary.LeafPages);             // 34
  v.Long(h.Dictionary.PageSize);              // 38
  v.Long(h.Dictionary.Levels);                // 42
  v.Offset(h.PostingDataOffset);              // 46
  v.Offset(h.PostingDataLength);              // 54
  v.Long(h.TermCount);                        // 62
  v.Short(h.DocWeightFlag);                   // 66
  v.Offset(h.CompressedWeightOffset);         // 68
  v.Offset(h.CompressedWeightLength);         // 76
  v.Offset(h.WeightTableOffset);              // 84
  v.Offset(h.WeightTableLength);              // 92
  v.Float(h.SmallestWeight);                  // 100
  v.Float(h.LargestWeight);                   // 104
  v.Float(h.WeightRatio);                     // 108
  v.Offset(h.WordCountOffset);                // 112
  v.ReservedLong(1);                          // 120
  v.Long(h.RecordCount);                      // 124
  v.ReservedShort();                          // 128
  v.ReservedOffsets(1);                       // 130
  v.ReservedLong(0);                          // 138
  v.Short(h.RecordSegmentSize);               // 142
  v.Short(h.IdfSegmentSize);                  // 144
  v.Short(h.ThirdSegmentSize);                // 146
  v.Short(h.IndexSegmentSize);                // 148
  v.Offset(h.RecordDataPointerOffset);        // 150
  v.Offset(h.RecordDataOffset);               // 158
  v.ReservedOffsets(1);                       // 166
  v.Long(h.FixedRecordDataLength);            // 174
  v.Offset(h.RecordIdPointerOffset);          // 178
  v.Offset(h.RecordIdDataOffset);             // 186
  v.Long(h.FixedRecordIdLength);              // 194
  for (auto& word : h.Options) v.Long(word);  // 198
  v.ReservedOffsets(35);                      // 358
  v.Offset(h.EndOffset);                      // 638
}

class EncoderT {
 public:
  explicit EncoderT(unsigned char* out) : Out(out) {}
  void Long(uint32_t value) { Put(value, 4); }
  void Short(uint16_t value) { Put(value, 2); }
  void Offset(uint32_t value) {
    Put(0, 4);
    Put(value, 4);
  }
  void Float(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    Put(bits, 4);
  }
  void ReservedLong(uint32_t value) { Put(value, 4); }
  void ReservedShort() { Put(0, 2); }
  void ReservedOffsets(uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) Offset(0);
  }
  uint32_t Size() const { return At; }

 private:
  void Put(uint32_t value, uint32_t bytes) {
    for (uint32_t i = bytes; i-- > 0;) {
      Out[At++] = static_cast<unsigned char>(value >> (8 * i));
    }
  }
  unsigned char* Out;
  uint32_t At = 0;
};

class DecoderT {
 public:
  explicit DecoderT(const unsigned char* in) : In(in) {}
  void Long(uint32_t& value) { value = Get(4); }
  void Short(uint16_t& value) { value = static_cast<uint16_t>(Get(2)); }
  void Offset(uint32_t& value) {
    At += 4;
    value = Get(4);
  }
  void Float(float& value) {
    uint32_t bits = Get(4);
    std::memcpy(&value, &bits, sizeof(value));
  }
  void ReservedLong(uint32_t) { At += 4; }
  void ReservedShort() { At += 2; }
  void ReservedOffsets(uint32_t count) { At += 8 * count; }
  uint32_t Size() const { return At; }

 private:
  uint32_t Get(uint32_t bytes) {
    uint32_t value = 0;
    for (uint32_t i = 0; i < bytes; ++i) value = value << 8 | In[At++];
    return value;
  }
  const unsigned char* In;
  uint32_t At = 0;
};

// One area of the body: where it starts (relative to the header) and the
// bytes it takes at least.
struct AreaT {
  uint64_t Offset;
  uint64_t Length;
};

// Present areas lie in file order behind the header, none overlapping the
// next, the last ending by the end offset.
bool AreasInOrder(const AreaT* areas, uint32_t count, uint32_t end) {
  uint64_t at = kPartitionHeaderSize;
  for (uint32_t i = 0; i < count; ++i) {
    if (areas[i].Offset == 0) {
      if (areas[i].Length != 0) return false;
      continue;
    }
    if (areas[i].Offset < at) return false;
    at = areas[i].Offset + areas[i].Length;
  }
  return at <= end;
}

bool WeightsSound(const PartitionHeaderT& h) {
  // Every entry costs at least 9 bits: a gamma code and an 8-bit level.
  const uint64_t minimumCompressed = (9ull * h.RecordCount + 7) / 8;
  return h.WordCountOffset != 0 && h.CompressedWeightOffset != 0 &&
         h.WeightTableOffset != 0 &&
         h.CompressedWeightLength >= minimumCompressed &&
         h.WeightTableLength == 4ull * h.RecordCount &&
         std::isfinite(h.SmallestWeight) && std::isfinite(h.WeightRatio) &&
         h.WeightRatio >= 1.0f;
}

}  // namespace

void EncodePartitionHeader(const PartitionHeaderT& header, unsigned char* out) {
  EncoderT encoder(out);
  VisitHeaderFields(header, encoder);
  TV_CHECK(encoder.Size() == kPartitionHeaderSize);
}

void DecodePartitionHeader(const unsigned char* in, PartitionHeaderT* header) {
  DecoderT decoder(in);
  VisitHeaderFields(*header, decoder);
  TV_CHECK(decoder.Size() == kPartitionHeaderSize);
}

int ValidatePartitionHeader(const PartitionHeaderT& h, uint32_t headerPosition,
                            uint32_t fileLength) {
  if (h.Magic != kPartitionMagic || h.Version != kPartitionVersion ||
      h.IndexMode < RECORD_MODE || h.IndexMode > IDF_MODE ||
      h.WordIndexFlag > 1 || h.DocWeightFlag > 1 ||
      h.RecordSegmentSize != kPartitionRecordSegmentSize ||
      h.IdfSegmentSize != kPartitionIdfSegmentSize ||
      h.ThirdSegmentSize != kPartitionThirdSegmentSize ||
      h.IndexSegmentSize != kPartitionIndexSegmentSize) {
    return 0;
  }
  const uint32_t end = h.EndOffset;
  if (end < kPartitionHeaderSize || headerPosition > fileLength ||
      end > fileLength - headerPosition) {
    return 0;
  }
  // A dictionary exactly when there are terms; weights with their flag.
  const BTreeHeaderT& d = h.Dictionary;
  if (h.WordIndexFlag ? h.TermCount == 0 || d.Magic != kBTreeMagic
                      : h.TermCount != 0 || h.PostingDataOffset != 0) {
    return 0;
  }
  if (h.DocWeightFlag ? !WeightsSound(h)
                      : h.WordCountOffset != 0 ||
                            h.CompressedWeightOffset != 0 ||
                            h.WeightTableOffset != 0) {
    return 0;
  }
  const AreaT areas[] = {
      {h.WordIndexFlag ? uint64_t{kPartitionDictionaryHeaderOffset} +
                             d.DataOffset
                       : 0,
       h.WordIndexFlag ? uint64_t{d.PageAreaLength} + 2ull * d.LeafPages : 0},
      {h.PostingDataOffset, h.PostingDataLength},
      {h.WordCountOffset, h.DocWeightFlag ? 4ull * h.RecordCount : 0},
      {h.CompressedWeightOffset, h.CompressedWeightLength},
      {h.WeightTableOffset, h.WeightTableLength},
      {h.RecordDataPointerOffset, 0},
      {h.RecordDataOffset, 0},
      {h.RecordIdPointerOffset, 0},
      {h.RecordIdDataOffset, 0},
  };
  return AreasInOrder(areas, sizeof(areas) / sizeof(areas[0]), end);
}

int ReadPartitionHeader(FileClassT* file, PartitionHeaderT* header,
                        StatusCodeT* status) {
  unsigned char bytes[kPartitionHeaderSize];
  const uint32_t position = file->GetPosition();
  if (!FileCall(file->Read(bytes, kPartitionHeaderSize), StatusReadError,
                status)) {
    return 0;
  }
  PartitionHeaderT decoded;
  DecodePartitionHeader(bytes, &decoded);
  if (!ValidatePartitionHeader(decoded, position, file->GetLength())) {
    *status = StatusNotIndexFile;
    return 0;
  }
  *header = decoded;
  return 1;
}

WordIndexInfoT DocWeightSegmentInfo(const PartitionHeaderT& header,
                                    uint32_t headerPosition) {
  WordIndexInfoT info;
  info.LeadingField = 1;
  info.IndexMode = header.IndexMode;
  info.ItemCount = header.RecordCount;
  info.Location = kPostingsInDataArea;
  info.DataOffset = headerPosition + header.CompressedWeightOffset;
  return info;
}
