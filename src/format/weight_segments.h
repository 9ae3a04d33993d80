// Document weight segments: the compressed form of the per-record document
// weights and word counts of a partition, from which ranking fetches the
// weight of any record without decoding the records before it.
//
// Each weight is quantised to an 8-bit level on a logarithmic scale that
// counts up from the partition's smallest weight L in steps of the ratio q
// (the 256th root of largest / smallest); level k stands for L * q^k. Each
// entry is gamma(word count) followed by its level in 8 bits.
//
// The entries are cut into index segments of 4096 (the last one shorter),
// coded back to back, and those into segments of 16. Before every full
// segment stand skip headers: for each level K = 4..0 whose block of 4^K
// segments starts there and lies wholly inside the index segment,
// delta(body), the number of bits from the end of that header chain to the
// end of the block. The entries after the last full segment follow without a
// header.
//
// Writer: IndexCompressorT (weight_segments.cc). Reader: IndexDecompressorT
// (weight_decoder.cc).

#ifndef TARVIS_FORMAT_WEIGHT_SEGMENTS_H_
#define TARVIS_FORMAT_WEIGHT_SEGMENTS_H_

#include <cmath>
#include <cstdint>

// One record's entry.
struct DocWeightInfoT {
  float Weight;
  uint32_t WordCount;
};

constexpr uint32_t kDocWeightSegmentEntries = 16;
constexpr uint32_t kDocWeightIndexSegmentEntries = 4096;
constexpr uint32_t kDocWeightSegmentsPerIndexSegment =
    kDocWeightIndexSegmentEntries / kDocWeightSegmentEntries;
// Skip levels 0..4: blocks of 1, 4, 16, 64 and 256 segments.
constexpr uint32_t kDocWeightSkipLevels = 5;
constexpr uint32_t kDocWeightLevelBits = 8;
constexpr uint32_t kDocWeightTopLevel = 255;

// The entries of level K in a block of 4^K segments.
constexpr uint32_t DocWeightBlockEntries(uint32_t level) {
  return kDocWeightSegmentEntries << (2 * level);
}

// One skip level of one block: the length in bits of its bodies and of the
// header chain in front of it.
struct DocWeightSkipEntryT {
  uint32_t BodyBits;
  uint32_t HeaderBits;
};

// The skip information of one index segment: one row per full segment, the
// entries of level K filled in the rows where a complete level-K block
// starts. Room for six levels, five used.
struct DocWeightCompressionTableT {
  DocWeightSkipEntryT Row[kDocWeightSegmentsPerIndexSegment][6];
};

// The quantisation of one partition: the base L and the ratio q.
struct DocWeightScaleT {
  float Base;
  float Ratio;
};

// The scale for a session's smallest and largest weight. Sound extremes
// (0 < smallest < largest, both finite) give base smallest and ratio
// (largest / smallest)^(1/256). When the smallest weight is 0 or below while
// the largest is positive, the scale spans 32 binary orders below the
// largest. Equal extremes, extremes that were never set (smallest above
// largest) and any other pair give ratio 1: every weight is stored as level
// 0 and reads back as the base. No pair gives a ratio that is not finite.
DocWeightScaleT MakeDocWeightScale(float smallest, float largest);

// The level of a weight: the integer part of ln(weight / base) / logRatio,
// where logRatio is ln(ratio) (0 when the ratio is 1). Weights at or below
// the base (0 among them) and weights that are not numbers get level 0;
// weights at or beyond the top, among them a computed level of 256, get 255.
uint32_t DocWeightLevel(float weight, float base, double logRatio);

// The weight a level stands for.
inline float DocWeightOfLevel(float base, float ratio, uint32_t level) {
  return static_cast<float>(base * std::pow(static_cast<double>(ratio),
                                            static_cast<double>(level)));
}

#endif  // TARVIS_FORMAT_WEIGHT_SEGMENTS_H_
