// BioT: the slow paths of the bit stream (spilling, refilling, skipping and
// seeking).

#include "format/encode.h"

#include "storage/check.h"
#include "storage/fileclas.h"

namespace {

constexpr uint32_t kMaxU32 = 0xFFFFFFFFu;

}  // namespace

BioT::BioT() = default;

// ---- Writing ----------------------------------------------------------------

void BioT::StartWriting(unsigned char* buffer, uint32_t capacity,
                        FileClassT* file) {
  TV_CHECK(buffer != nullptr && capacity >= 1);
  Buffer = buffer;
  BufferCapacity = capacity;
  BufferIndex = 0;
  File = file;
  BufferStartPosition = file != nullptr ? file->GetPosition() : 0;
  WriteAcc = 0;
  WriteBitCount = 0;
  Emitted = 0;
  Spilled = 0;
  Failed = 0;
}

void BioT::PutUnary(uint32_t n) {
  TV_CHECK(n >= 1);
  uint32_t zeros = n - 1;
  while (zeros >= 32) {
    PutBits(0, 32);
    zeros -= 32;
  }
  PutBits(1, zeros + 1);
}

void BioT::SpillAndStore(uint32_t byte) {
  if (Failed) return;
  if (BufferIndex > 0) {
    if (File == nullptr || !File->Write(Buffer, BufferIndex)) {
      Failed = 1;
      return;
    }
    Spilled += BufferIndex;
  }
  Buffer[0] = static_cast<unsigned char>(byte);
  BufferIndex = 1;
}

int BioT::FlushByte() {
  if (WriteBitCount != 0) {
    EmitByte(static_cast<uint32_t>(WriteAcc << (8 - WriteBitCount)) & 0xFFu);
    WriteAcc = 0;
    WriteBitCount = 0;
  }
  return !Failed;
}

int BioT::WriteBufferToFile() {
  if (Failed) return 0;
  if (BufferIndex == 0) return 1;
  if (File == nullptr || !File->Write(Buffer, BufferIndex)) {
    Failed = 1;
    return 0;
  }
  Spilled += BufferIndex;
  BufferIndex = 0;
  return 1;
}

// ---- Reading ----------------------------------------------------------------

void BioT::StartReading(const unsigned char* data, uint32_t length) {
  File = nullptr;
  ReadData = data;
  ReadLimit = length;
  BufferIndex = 0;
  BufferStartPosition = 0;
  ReadBits = 0;
  ReadBitCount = 0;
  StreamBytes = 0;
  PendingSkip = 0;
}

void BioT::StartReading(FileClassT* file, unsigned char* buffer,
                        uint32_t capacity) {
  TV_CHECK(file != nullptr && buffer != nullptr && capacity >= 1);
  StartReading(buffer, 0);  // an empty window: the first bit refills
  File = file;
  Buffer = buffer;
  BufferCapacity = capacity;
}

void BioT::RefillSlow(uint32_t needed) {
  for (;;) {
    while (ReadBitCount <= 56 && BufferIndex < ReadLimit) {
      ReadBits |= static_cast<uint64_t>(ReadData[BufferIndex++])
                  << (56 - ReadBitCount);
      ReadBitCount += 8;
      ++StreamBytes;
    }
    if (ReadBitCount >= needed || File == nullptr || !RefillFromFile()) return;
    if (ReadLimit - BufferIndex >= 8) {
      Refill(needed);
      return;
    }
  }
}

int BioT::RefillFromFile() {
  if (PendingSkip != 0) {
    uint32_t position = File->GetPosition();
    if (PendingSkip > kMaxU32 - position) return 0;
    if (!File->Seek(position + PendingSkip)) return 0;
    PendingSkip = 0;
  }
  BufferStartPosition = File->GetPosition();
  ReadData = Buffer;
  ReadLimit = File->ReadN(Buffer, 1, BufferCapacity);
  BufferIndex = 0;
  return ReadLimit != 0;
}

int BioT::LeadingZeros(uint32_t* zeros) {
  for (;;) {
    uint32_t z =
        ReadBits != 0 ? static_cast<uint32_t>(__builtin_clzll(ReadBits)) : 64;
    if (z < ReadBitCount) {
      if (z >= 32) return 0;
      *zeros = z;
      return 1;
    }
    if (ReadBitCount >= 32) return 0;
    const uint32_t held = ReadBitCount;
    Refill(held + 1);
    if (ReadBitCount == held) return 0;
  }
}

int BioT::GetGammaSlow(uint32_t* value) {
  uint32_t zeros;
  if (!LeadingZeros(&zeros)) return 0;
  ReadBits <<= zeros + 1;
  ReadBitCount -= zeros + 1;
  uint32_t low;
  if (!GetBits(zeros, &low)) return 0;
  *value = (1u << zeros) | low;
  return 1;
}

int BioT::GetDeltaSlow(uint32_t* value) {
  uint32_t length;
  if (!GetGamma(&length) || length > 32) return 0;
  uint32_t low;
  if (!GetBits(length - 1, &low)) return 0;
  *value = (1u << (length - 1)) | low;
  return 1;
}

int BioT::GetUnary(uint32_t* n) {
  uint32_t zeros;
  if (!LeadingZeros(&zeros)) return 0;
  ReadBits <<= zeros + 1;
  ReadBitCount -= zeros + 1;
  *n = zeros + 1;
  return 1;
}

int BioT::SkipBits(uint64_t count) {
  if (count <= ReadBitCount) {
    ReadBits = count < 64 ? ReadBits << count : 0;
    ReadBitCount -= static_cast<uint32_t>(count);
    return 1;
  }
  count -= ReadBitCount;
  ReadBits = 0;
  ReadBitCount = 0;
  uint64_t bytes = count / 8;
  uint64_t buffered = ReadLimit - BufferIndex;
  if (bytes <= buffered) {
    BufferIndex += static_cast<uint32_t>(bytes);
  } else {
    if (File == nullptr) return 0;
    uint64_t beyond = bytes - buffered;
    if (beyond > kMaxU32 - PendingSkip) return 0;
    BufferIndex = ReadLimit;
    PendingSkip += static_cast<uint32_t>(beyond);
  }
  StreamBytes += bytes;
  uint32_t ignored;
  return GetBits(static_cast<uint32_t>(count % 8), &ignored);
}

int BIO_SeekToByte(BioT* bio, uint32_t offset) {
  if (bio->File == nullptr) return 0;
  uint32_t start = bio->BufferStartPosition;
  if (bio->ReadData == bio->Buffer && offset >= start &&
      offset - start < bio->ReadLimit) {
    bio->BufferIndex = offset - start;
  } else {
    if (!bio->File->Seek(offset)) return 0;
    bio->BufferStartPosition = offset;
    bio->ReadData = bio->Buffer;
    bio->ReadLimit = bio->File->ReadN(bio->Buffer, 1, bio->BufferCapacity);
    bio->BufferIndex = 0;
  }
  bio->ReadBits = 0;
  bio->ReadBitCount = 0;
  bio->StreamBytes = 0;
  bio->PendingSkip = 0;
  return 1;
}
