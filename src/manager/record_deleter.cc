// TarvisRecordDeleterT: bitmap of deleted records and its on-disk list.

#include "manager/record_deleter.h"

#include <cstring>

#include "storage/allocation.h"
#include "storage/file_status.h"
#include "storage/fileclas.h"

namespace {

// Numbers moved per Read or Write of the on-disk list.
constexpr uint32_t kListChunk = 1024;

inline int BitOf(const uint8_t* bitmap, uint32_t record) {
  return (bitmap[record >> 3] >> (record & 7)) & 1;
}

void PutBigEndian(uint8_t* out, uint32_t value) {
  out[0] = static_cast<uint8_t>(value >> 24);
  out[1] = static_cast<uint8_t>(value >> 16);
  out[2] = static_cast<uint8_t>(value >> 8);
  out[3] = static_cast<uint8_t>(value);
}

uint32_t GetBigEndian(const uint8_t* in) {
  return (uint32_t{in[0]} << 24) | (uint32_t{in[1]} << 16) |
         (uint32_t{in[2]} << 8) | uint32_t{in[3]};
}

// Calls visit(record) for every set bit from 1 to last, ascending; stops
// early when visit returns 0. Returns 0 when it stopped early.
template <typename Visit>
int ForEachSetBit(const uint8_t* bitmap, uint32_t last, Visit visit) {
  if (bitmap == nullptr) return 1;
  const uint32_t lastByte = last >> 3;
  for (uint32_t byte = 0; byte <= lastByte; ++byte) {
    // A set damaged into covering billions of records holds long runs of
    // empty bytes: pass over them a word at a time.
    while ((byte & 7) == 0 && lastByte - byte >= 8) {
      uint64_t word;
      std::memcpy(&word, bitmap + byte, sizeof word);
      if (word != 0) break;
      byte += 8;
    }
    uint8_t bits = bitmap[byte];
    if (byte == 0) bits &= 0xFE;  // record 0 is no record
    while (bits != 0) {
      uint32_t record = (byte << 3) + static_cast<uint32_t>(__builtin_ctz(bits));
      if (record > last) return 1;
      if (!visit(record)) return 0;
      bits &= static_cast<uint8_t>(bits - 1);
    }
  }
  return 1;
}

}  // namespace

TarvisRecordDeleterT::~TarvisRecordDeleterT() { delete[] Bitmap; }

void TarvisRecordDeleterT::BringRecordsOnLine(uint32_t count) {
  OnLine = (count > UINT32_MAX - OnLine) ? UINT32_MAX : OnLine + count;
}

int TarvisRecordDeleterT::Grow(uint32_t newCapacity) {
  uint32_t bytes = newCapacity / 8 + 1;
  uint8_t* grown = NewZeroedArrayOrNull<uint8_t>(bytes);
  if (grown == nullptr) return 0;
  if (Bitmap != nullptr) std::memcpy(grown, Bitmap, BitmapSize);
  delete[] Bitmap;
  Bitmap = grown;
  BitmapSize = bytes;
  CoveredUpTo = newCapacity;
  return 1;
}

void TarvisRecordDeleterT::ExpandDeleteBuff(StatusCodeT* status) {
  if (Bitmap != nullptr && OnLine <= CoveredUpTo) return;
  if (!Grow(OnLine)) *status = StatusNotEnoughMemory;
}

void TarvisRecordDeleterT::Mark(uint32_t record) {
  uint8_t mask = static_cast<uint8_t>(1u << (record & 7));
  if (Bitmap[record >> 3] & mask) return;
  Bitmap[record >> 3] |= mask;
  ++DeletedCount;
  Changed = 1;
  if (record > Highest) Highest = record;
}

void TarvisRecordDeleterT::DeleteRecordNum(unsigned long record,
                                           StatusCodeT* status) {
  if (record == 0 || record > OnLine) {
    *status = StatusMalformedParameter;
    return;
  }
  uint32_t r = static_cast<uint32_t>(record);
  if (Bitmap == nullptr || r > CoveredUpTo) {
    StatusCodeT expanded = StatusNoError;
    ExpandDeleteBuff(&expanded);
    if (expanded < 0) {
      *status = expanded;
      return;
    }
  }
  Mark(r);
}

void TarvisRecordDeleterT::DeleteRecordNums(const unsigned long* records,
                                            unsigned long count,
                                            StatusCodeT* status) {
  for (unsigned long i = 0; i < count; ++i) DeleteRecordNum(records[i], status);
}

void TarvisRecordDeleterT::UnDeleteRecordNum(unsigned long record,
                                             StatusCodeT* status) {
  if (record == 0 || record > OnLine) {
    *status = StatusMalformedParameter;
    return;
  }
  uint32_t r = static_cast<uint32_t>(record);
  if (!IsRecordDeleted(r)) return;
  Bitmap[r >> 3] &= static_cast<uint8_t>(~(1u << (r & 7)));
  if (DeletedCount > 0) --DeletedCount;
  Changed = 1;
}

void TarvisRecordDeleterT::UnDeleteRecordNums(const unsigned long* records,
                                              unsigned long count,
                                              StatusCodeT* status) {
  for (unsigned long i = 0; i < count; ++i) {
    UnDeleteRecordNum(records[i], status);
  }
}

int TarvisRecordDeleterT::IsRecordDeleted(uint32_t record) const {
  if (Bitmap == nullptr || record > CoveredUpTo) return 0;
  return BitOf(Bitmap, record);
}

void TarvisRecordDeleterT::OutputDeletedRecords(unsigned long* out) const {
  ForEachSetBit(Bitmap, CoveredUpTo, [&out](uint32_t record) {
    *out++ = record;
    return 1;
  });
}

void TarvisRecordDeleterT::GetDeletedRecordCount(uint32_t* count,
                                                 uint32_t first,
                                                 uint32_t end) const {
  *count = 0;
  if (first >= end || Bitmap == nullptr || first > CoveredUpTo) return;
  uint32_t last = end - 1 < CoveredUpTo ? end - 1 : CoveredUpTo;
  uint32_t found = 0;
  uint32_t r = first;
  for (; r <= last && (r & 7) != 0; ++r) found += BitOf(Bitmap, r);
  for (; r <= last && last - r >= 7; r += 8) {
    found += static_cast<uint32_t>(__builtin_popcount(Bitmap[r >> 3]));
  }
  for (; r <= last; ++r) found += BitOf(Bitmap, r);
  *count = found;
}

void TarvisRecordDeleterT::CompactDeletedRecordNumbers(uint32_t first,
                                                       uint32_t last) {
  Changed = 1;
  if (Bitmap == nullptr || first >= CoveredUpTo) return;
  uint32_t write = first;
  for (uint64_t r = first; r <= CoveredUpTo; ++r) {
    uint32_t record = static_cast<uint32_t>(r);
    int bit = BitOf(Bitmap, record);
    if (record <= last && bit) {
      if (DeletedCount > 0) --DeletedCount;
      continue;
    }
    uint8_t mask = static_cast<uint8_t>(1u << (write & 7));
    if (bit) {
      Bitmap[write >> 3] |= mask;
    } else {
      Bitmap[write >> 3] &= static_cast<uint8_t>(~mask);
    }
    ++write;
  }
  for (uint64_t w = write; w <= CoveredUpTo; ++w) {
    uint32_t record = static_cast<uint32_t>(w);
    Bitmap[record >> 3] &= static_cast<uint8_t>(~(1u << (record & 7)));
  }
}

void TarvisRecordDeleterT::WriteOutDeletedRecordNums(FileClassT* file,
                                                     StatusCodeT* status) {
  uint8_t chunk[kListChunk * 4];
  PutBigEndian(chunk, kDeletedListMagic);
  PutBigEndian(chunk + 4, kDeletedListVersion);
  PutBigEndian(chunk + 8, DeletedCount);
  if (!FileCall(file->Write(chunk, 12), StatusWriteError, status)) return;
  uint32_t last = 0;
  if (Bitmap != nullptr) {
    uint64_t bitLimit = uint64_t{BitmapSize} * 8 - 1;
    last = Highest < bitLimit ? Highest : static_cast<uint32_t>(bitLimit);
  }
  uint32_t filled = 0;
  int written = ForEachSetBit(Bitmap, last, [&](uint32_t record) {
    PutBigEndian(chunk + 4 * filled++, record);
    if (filled < kListChunk) return 1;
    filled = 0;
    return file->Write(chunk, kListChunk * 4);
  });
  FileCall(written && (filled == 0 || file->Write(chunk, filled * 4)),
           StatusWriteError, status);
}

void TarvisRecordDeleterT::ReadInDeletedRecordNums(FileClassT* file,
                                                   StatusCodeT* status) {
  uint8_t chunk[kListChunk * 4];
  if (!FileCall(file->Read(chunk, 4), StatusReadError, status)) return;
  if (GetBigEndian(chunk) != kDeletedListMagic) {
    *status = StatusNotIndexFile;
    return;
  }
  if (!FileCall(file->Read(chunk, 8), StatusReadError, status)) return;
  uint32_t count = GetBigEndian(chunk + 4);
  // A damaged count cannot make us read past the file's end.
  uint32_t length = file->GetLength();
  uint32_t position = file->GetPosition();
  if (position > length || count > (length - position) / 4) {
    *status = StatusReadError;
    return;
  }
  while (count > 0) {
    uint32_t n = count < kListChunk ? count : kListChunk;
    if (!FileCall(file->Read(chunk, n * 4), StatusReadError, status)) return;
    count -= n;
    for (uint32_t i = 0; i < n; ++i) {
      uint32_t record = GetBigEndian(chunk + 4 * i);
      if (record == 0) continue;
      while (record > OnLine) {
        OnLine = OnLine == 0 ? 4096 : (OnLine > UINT32_MAX / 2 ? UINT32_MAX
                                                                : OnLine * 2);
      }
      if (Bitmap == nullptr || record > CoveredUpTo) {
        if (!Grow(OnLine)) {
          *status = StatusNotEnoughMemory;
          return;
        }
      }
      Mark(record);
    }
  }
}
