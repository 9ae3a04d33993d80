// Word information records: the one coder and decoder.

#include "format/word_info.h"

#include "format/encode.h"

namespace {
constexpr uint32_t kMaxU32 = 0xFFFFFFFFu;
}  // namespace

uint32_t EncodeWordInformation(uint32_t recordCount, uint32_t postingCount,
                               uint32_t indexMode, uint32_t location,
                               uint32_t offset, unsigned char* out) {
  if (recordCount == 0 || postingCount < recordCount) return 0;
  if (indexMode < RECORD_MODE || indexMode > IDF_MODE) return 0;
  if (location > kPostingsInDataArea) return 0;
  if (location == kPostingsInDataArea && offset == kMaxU32) return 0;

  BioT bio;
  bio.StartWriting(out, kWordInfoMaxBytes, nullptr);
  bio.PutBit(1);  // the leading field, gamma(1)
  bio.PutDelta(recordCount);
  bio.PutDelta(postingCount - recordCount + 1);
  bio.PutGamma(indexMode);
  if (location == kPostingsInDataArea) {
    bio.PutBit(1);
    bio.PutBit(1);  // delta(1), a field without meaning
    bio.PutDelta(offset + 1);
  } else {
    bio.PutBit(0);
  }
  if (!bio.FlushByte()) return 0;
  return bio.BufferedBytes();
}

int DecodeWordInformation(const unsigned char* data, uint32_t length,
                          uint32_t dataAreaBase, WordIndexInfoT* info) {
  BioT bio;
  bio.StartReading(data, length);
  WordIndexInfoT decoded;
  uint32_t excess, location;
  if (!bio.GetGamma(&decoded.LeadingField) || decoded.LeadingField != 1) return 0;
  if (!bio.GetDelta(&decoded.RecordCount)) return 0;
  if (!bio.GetDelta(&excess)) return 0;
  if (excess - 1 > kMaxU32 - decoded.RecordCount) return 0;
  decoded.PostingCount = decoded.RecordCount + (excess - 1);
  if (!bio.GetGamma(&decoded.IndexMode)) return 0;
  if (decoded.IndexMode < RECORD_MODE || decoded.IndexMode > IDF_MODE) return 0;
  decoded.ItemCount = decoded.IndexMode == WORD_MODE ? decoded.PostingCount
                                                     : decoded.RecordCount;
  if (!bio.GetBit(&location)) return 0;
  decoded.Location = location;

  if (location == kPostingsInline) {
    uint32_t consumed = bio.BytesConsumed();
    decoded.InlineData = data + consumed;
    decoded.InlineLength = length - consumed;
    // Every item takes at least one bit of the postings.
    if (decoded.ItemCount > static_cast<uint64_t>(decoded.InlineLength) * 8) {
      return 0;
    }
  } else {
    uint32_t ignored, stored;
    if (!bio.GetDelta(&ignored) || !bio.GetDelta(&stored)) return 0;
    if (stored - 1 > kMaxU32 - dataAreaBase) return 0;
    decoded.DataOffset = dataAreaBase + (stored - 1);
  }
  *info = decoded;
  return 1;
}
