// IndexDecompressorT: reading the compressed document weights of a
// partition.
//
// The reader keeps, per skip level, the open block (the entry number and the
// stream bit position at which it ends). A target far ahead is reached by
// passing over the largest blocks that end at or before it, then decoding
// entries one by one; at every block end met while decoding, the stream must
// stand where the block's header said, which catches damaged headers.

#include "format/decoder.h"
#include "format/weight_segments.h"

void IndexDecompressorT::SetDocumentWeightInfo(float /*largest*/,
                                               float smallest, float ratio) {
  WeightBase = smallest;
  WeightRatio = ratio;
}

int IndexDecompressorT::NextDocWeight(float* weight, uint32_t* wordCount,
                                      uint32_t record) {
  uint32_t target = ItemsDelivered;
  if (record != 0) {
    target = record - 1;
    if (target + 1 < ItemsDelivered) return kDecodeFailed;
  }
  if (target >= ItemCount) return kDecodeEnd;
  while (ItemsDelivered <= target) {
    if (ItemsDelivered % kDocWeightSegmentEntries == 0 &&
        HeadersReadAt != ItemsDelivered && !ReadDocWeightSegmentHeaders()) {
      return kDecodeFailed;
    }
    // Blocks nest, so the highest level whose open block ends at or before
    // the target passes over the most; the target itself is decoded.
    uint32_t level = kSkipLevels;
    while (level > 0 && !(Levels[level - 1].EndItem > ItemsDelivered &&
                          Levels[level - 1].EndItem <= target)) {
      --level;
    }
    if (level > 0) {
      if (!SkipDocWeightBlock(level - 1)) return kDecodeFailed;
    } else if (!DecodeDocWeight()) {
      return kDecodeFailed;
    }
  }
  *weight = DocWeightOfLevel(WeightBase, WeightRatio, LastWeightLevel);
  *wordCount = LastWordCount;
  return kDecodeDelivered;
}

// Where a level-K block starts, the headers of levels K..0 stand back to
// back; each gives the bits from the end of the chain to the end of its
// block. A level whose block would reach past the area has none here.
int IndexDecompressorT::ReadDocWeightSegmentHeaders() {
  static_assert(kSkipLevels == kDocWeightSkipLevels,
                "document weights use the decoder's skip levels");
  const uint32_t at = ItemsDelivered;
  const uint32_t remaining = ItemCount - at;
  uint32_t bodyBits[kSkipLevels] = {};
  bool read[kSkipLevels] = {};
  for (uint32_t level = kSkipLevels; level-- > 0;) {
    const uint32_t entries = DocWeightBlockEntries(level);
    if (at % entries != 0) continue;
    if (remaining < entries) {
      Levels[level].EndItem = 0;
      continue;
    }
    if (!Stream.GetDelta(&bodyBits[level])) return 0;
    Levels[level].EndItem = at + entries;
    read[level] = true;
  }
  const uint64_t position = Stream.BitsConsumed();
  for (uint32_t level = 0; level < kSkipLevels; ++level) {
    if (read[level]) Levels[level].EndBit = position + bodyBits[level];
  }
  HeadersReadAt = at;
  return 1;
}

int IndexDecompressorT::SkipDocWeightBlock(uint32_t level) {
  const SkipLevelT& l = Levels[level];
  const uint64_t position = Stream.BitsConsumed();
  if (l.EndBit < position || !Stream.SkipBits(l.EndBit - position)) return 0;
  ItemsDelivered = l.EndItem;
  return 1;
}

int IndexDecompressorT::DecodeDocWeight() {
  if (!Stream.GetGamma(&LastWordCount) ||
      !Stream.GetBits(kDocWeightLevelBits, &LastWeightLevel)) {
    return 0;
  }
  ++ItemsDelivered;
  if (ItemsDelivered % kDocWeightSegmentEntries == 0) {
    const uint64_t position = Stream.BitsConsumed();
    for (const SkipLevelT& l : Levels) {
      if (l.EndItem == ItemsDelivered && l.EndBit != position) return 0;
    }
  }
  return 1;
}
