// IndexCompressorT: compressing the document weights of a session, and the
// weight quantisation shared with the reader.

#include "format/weight_segments.h"

#include <cstring>
#include <memory>

#include "format/compressor.h"
#include "storage/allocation.h"
#include "storage/check.h"
#include "storage/file_status.h"
#include "storage/fileclas.h"

namespace {

constexpr uint32_t kEntriesPerRead = kDocWeightIndexSegmentEntries;
constexpr uint32_t kWeightStreamBytes = 1024;

// Working memory of one compression run.
struct WeightWorkT {
  DocWeightInfoT Entries[kEntriesPerRead];
  unsigned char Raw[kEntriesPerRead * 4];
  unsigned char Stream[kWeightStreamBytes];
};

uint32_t BigEndian32(const unsigned char* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 |
         p[3];
}

// Reads up to count 4-byte items; fewer only where the file ends.
uint32_t ReadItems(FileClassT* file, unsigned char* out, uint32_t count) {
  uint32_t got = 0;
  while (got < count) {
    const uint32_t n = file->ReadN(out + 4 * got, 4, count - got);
    if (n == 0) break;
    got += n;
  }
  return got;
}

}  // namespace

DocWeightScaleT MakeDocWeightScale(float smallest, float largest) {
  if (std::isfinite(smallest) && std::isfinite(largest) && smallest > 0 &&
      largest > smallest) {
    // The quotient in double cannot overflow, and its 256th root fits a float.
    const float ratio = static_cast<float>(
        std::pow(static_cast<double>(largest) / smallest, 1.0 / 256));
    return {smallest, ratio > 1.0f ? ratio : 1.0f};
  }
  if (!(smallest > 0) && std::isfinite(largest) && largest > 0) {
    const float base = static_cast<float>(std::ldexp(largest, -32));
    if (base > 0) {
      return {base, static_cast<float>(std::pow(2.0, 1.0 / 8))};
    }
  }
  return {std::isfinite(smallest) ? smallest : 0.0f, 1.0f};
}

uint32_t DocWeightLevel(float weight, float base, double logRatio) {
  if (!(logRatio > 0) || !(weight > base)) return 0;
  const double level = std::log(static_cast<double>(weight) / base) / logRatio;
  return level < kDocWeightTopLevel ? static_cast<uint32_t>(level)
                                    : kDocWeightTopLevel;
}

int IndexCompressorT::CompressTermFrequencyFile(FileClassT* wordCounts,
                                                FileClassT* weights,
                                                float smallest, float largest,
                                                float& ratio,
                                                StatusCodeT* status) {
  DocWeightEntries = 0;
  if (wordCounts == nullptr || weights == nullptr) return 0;
  // Both files may still be open for writing; they are read from the start.
  if (!FileCall(wordCounts->Close() && weights->Close(), StatusCannotCloseFile,
                status)) {
    return 0;
  }
  SetLargestBuffer(weights, 4096);
  if (!FileCall(wordCounts->Open(kFileReadOnly) && weights->Open(kFileReadOnly),
                StatusCannotOpenFile, status)) {
    return 0;
  }
  const DocWeightScaleT scale = MakeDocWeightScale(smallest, largest);
  ratio = scale.Ratio;
  SetDocumentWeightInfo(scale.Base, largest, scale.Ratio);

  std::unique_ptr<WeightWorkT> work(NewOrNull<WeightWorkT>());
  if (work == nullptr) return 0;
  PostingStream.StartWriting(work->Stream, kWeightStreamBytes,
                             CompressedWeightFile.Get());
  for (;;) {
    const uint32_t n = ReadItems(wordCounts, work->Raw, kEntriesPerRead);
    if (n == 0) break;
    for (uint32_t i = 0; i < n; ++i) {
      work->Entries[i].WordCount = BigEndian32(work->Raw + 4 * i);
    }
    if (ReadItems(weights, work->Raw, n) != n) return 0;
    for (uint32_t i = 0; i < n; ++i) {
      const uint32_t bits = BigEndian32(work->Raw + 4 * i);
      std::memcpy(&work->Entries[i].Weight, &bits, sizeof(bits));
    }
    if (!CompressDocWeightIndexSegment(work->Entries, n, scale.Ratio,
                                       scale.Base)) {
      return 0;
    }
    DocWeightEntries += n;
    if (n < kEntriesPerRead) break;
  }
  return PostingStream.FlushByte() && PostingStream.WriteBufferToFile();
}

int IndexCompressorT::CompressDocWeightIndexSegment(
    const DocWeightInfoT* entries, uint32_t count, float ratio, float base) {
  TV_CHECK(count >= 1 && count <= kDocWeightIndexSegmentEntries);
  if (DocWeightTable == nullptr) {
    DocWeightTable.reset(NewOrNull<DocWeightCompressionTableT>());
    if (DocWeightTable == nullptr) return 0;
  }
  const uint32_t segments = count / kDocWeightSegmentEntries;
  if (segments > 0) {
    CalculateDocWeightSkipInformation(DocWeightTable.get(), entries, count);
  }
  for (uint32_t g = 0; g < segments; ++g) {
    for (uint32_t level = kDocWeightSkipLevels; level-- > 0;) {
      const uint32_t stride = 1u << (2 * level);
      if (g % stride != 0 || g + stride > segments) continue;
      PostingStream.PutDelta(DocWeightTable->Row[g][level].BodyBits);
    }
    CompressDocWeightSegment(entries + g * kDocWeightSegmentEntries, ratio,
                             base, kDocWeightSegmentEntries);
  }
  const uint32_t rest = count - segments * kDocWeightSegmentEntries;
  if (rest > 0) {
    CompressDocWeightSegment(entries + segments * kDocWeightSegmentEntries,
                             ratio, base, rest);
  }
  return !PostingStream.WriteFailed();
}

void IndexCompressorT::CalculateDocWeightSkipInformation(
    DocWeightCompressionTableT* table, const DocWeightInfoT* entries,
    uint32_t count) {
  const uint32_t segments = count / kDocWeightSegmentEntries;
  for (uint32_t g = 0; g < segments; ++g) {
    uint32_t body = 0;
    for (uint32_t i = 0; i < kDocWeightSegmentEntries; ++i) {
      const uint32_t words = entries[g * kDocWeightSegmentEntries + i].WordCount;
      body += kDocWeightLevelBits + GammaLength(words != 0 ? words : 1);
    }
    table->Row[g][0] = {body, DeltaLength(body)};
  }
  for (uint32_t level = 1; level < kDocWeightSkipLevels; ++level) {
    const uint32_t stride = 1u << (2 * level);
    const uint32_t sub = stride / 4;
    for (uint32_t b = 0; b + stride <= segments; b += stride) {
      uint32_t body = 0;
      for (uint32_t j = 0; j < 4; ++j) {
        const DocWeightSkipEntryT& part = table->Row[b + j * sub][level - 1];
        body += part.BodyBits + (j > 0 ? part.HeaderBits : 0);
      }
      table->Row[b][level] = {
          body, table->Row[b][level - 1].HeaderBits + DeltaLength(body)};
    }
  }
}

int IndexCompressorT::CompressDocWeightSegment(const DocWeightInfoT* entries,
                                               float ratio, float base,
                                               uint32_t count) {
  const double logRatio = ratio > 1.0f ? std::log(static_cast<double>(ratio))
                                       : 0.0;
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t words = entries[i].WordCount;
    PostingStream.PutGamma(words != 0 ? words : 1);
    PostingStream.PutBits(DocWeightLevel(entries[i].Weight, base, logRatio),
                          kDocWeightLevelBits);
  }
  return !PostingStream.WriteFailed();
}
