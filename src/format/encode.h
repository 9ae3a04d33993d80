// BioT: the bit stream under every compressed area of a partition (posting
// segments, word information records, document weight segments), with the
// unary, Elias gamma and Elias delta codes.
//
// Bits fill each byte from the most significant bit down; bytes follow each
// other in stream order. A writer collects completed bytes in a caller's
// buffer and, when the buffer is full and another byte completes, writes the
// whole buffer to its file and starts over with that byte. A reader takes its
// bytes from a caller's memory block, or from a file through a caller's
// buffer that it refills whole.
//
// Both sides move several bits at a time through a 64-bit bit buffer; the
// bytes on disk are exactly those a bit-by-bit coder would produce. Readers
// never look outside their data: asking for bits past the end of a memory
// block (or of the file) fails, and so does a code whose value cannot be a
// 32-bit number, so decoders of damaged streams fail instead of running off.

#ifndef TARVIS_FORMAT_ENCODE_H_
#define TARVIS_FORMAT_ENCODE_H_

#include <array>
#include <cstdint>

class FileClassT;

constexpr std::array<uint32_t, 256> MakeFloorLog2Table() {
  std::array<uint32_t, 256> table{};
  for (uint32_t b = 2; b < 256; ++b) table[b] = table[b / 2] + 1;
  return table;
}

// floor(log2 b) for b = 1..255; entries 0 and 1 are both 0.
inline constexpr std::array<uint32_t, 256> kFloorLog2Table =
    MakeFloorLog2Table();

// floor(log2 value), 0 for 0 and 1, computed byte-wise with the table.
inline uint32_t BinaryLength2(uint32_t value) {
  if (value <= 0xFFu) return kFloorLog2Table[value];
  if (value <= 0xFFFFu) return kFloorLog2Table[value >> 8] + 8;
  if (value <= 0xFFFFFFu) return kFloorLog2Table[value >> 16] + 16;
  return kFloorLog2Table[value >> 24] + 24;
}

// floor(log2 x) for x >= 1, the N of the codes below.
inline uint32_t FloorLog2(uint32_t x) {
  return 31u - static_cast<uint32_t>(__builtin_clz(x | 1u));
}

// Code lengths in bits, for x >= 1.
inline uint32_t GammaLength(uint32_t x) { return 2 * FloorLog2(x) + 1; }
inline uint32_t DeltaLength(uint32_t x) {
  uint32_t n = FloorLog2(x);
  return n + 2 * FloorLog2(n + 1) + 1;
}

class BioT {
 public:
  BioT();

  // ---- Writing ------------------------------------------------------------

  // Starts a writer on buffer (capacity >= 1 bytes) spilling to file (null for
  // a memory-only writer, which fails when its buffer overflows). Clears the
  // counters and notes the file's current position.
  void StartWriting(unsigned char* buffer, uint32_t capacity, FileClassT* file);

  // The low count bits of value (count <= 32, value < 2^count), most
  // significant first.
  inline void PutBits(uint32_t value, uint32_t count);
  inline void PutBit(uint32_t bit) { PutBits(bit & 1u, 1); }
  // Unary(n), n >= 1: n - 1 zero bits, then a 1 bit.
  void PutUnary(uint32_t n);
  // Gamma and delta of x >= 1.
  inline void PutGamma(uint32_t x);
  inline void PutDelta(uint32_t x);

  // Completes a partial byte with zero bits. 1, or 0 once a write failed.
  int FlushByte();
  // Writes the buffered bytes to the file and empties the buffer. 1, or 0 on
  // a failed write or when there is no file to write to.
  int WriteBufferToFile();

  // 1 after a spill failed (the writer drops everything from then on).
  int WriteFailed() const { return Failed; }
  // Completed bytes, counted since StartWriting.
  uint32_t BytesEmitted() const { return Emitted; }
  // Bytes written to the file since StartWriting; non-zero once the data no
  // longer fits the buffer.
  uint32_t BytesSpilled() const { return Spilled; }
  // Bytes completed and still held in the buffer.
  uint32_t BufferedBytes() const { return BufferIndex; }
  const unsigned char* BufferedData() const { return Buffer; }
  // Bits written since StartWriting, the partial byte included.
  uint64_t BitsWritten() const {
    return static_cast<uint64_t>(Emitted) * 8 + WriteBitCount;
  }
  // The file position at StartWriting (0 without a file).
  uint32_t StartPosition() const { return BufferStartPosition; }

  // ---- Reading ------------------------------------------------------------

  // A reader over length bytes of memory; the bytes are not copied.
  void StartReading(const unsigned char* data, uint32_t length);
  // A reader over file from its current position, refilling buffer
  // (capacity bytes) with whole reads.
  void StartReading(FileClassT* file, unsigned char* buffer, uint32_t capacity);

  // Each returns 1, or 0 when the data ends first or the code is not a
  // 32-bit value; on 0 the stream is not to be used again for this data.
  inline int GetBit(uint32_t* bit);
  inline int GetBits(uint32_t count, uint32_t* value);  // count <= 32
  inline int GetGamma(uint32_t* value);
  inline int GetDelta(uint32_t* value);
  // Unary of at most 32.
  int GetUnary(uint32_t* n);

  // Passes over count bits. Whole bytes beyond the buffered data are not
  // read: a file reader adds them to its pending skip, which the next refill
  // applies by seeking. 1, or 0 when a memory reader would pass its end.
  int SkipBits(uint64_t count);

  // Bits taken (read or skipped) since the reader started or was last moved
  // by BIO_SeekToByte.
  uint64_t BitsConsumed() const { return StreamBytes * 8 - ReadBitCount; }
  // The same in bytes, a partly read byte counting as consumed.
  uint32_t BytesConsumed() const {
    return static_cast<uint32_t>((BitsConsumed() + 7) / 8);
  }
  FileClassT* AttachedFile() const { return File; }

  // Moves a file reader to an absolute byte offset of its file. An offset
  // inside the buffered window only moves the index; any other offset seeks
  // and refills. 1, or 0 without a file or when the seek fails.
  friend int BIO_SeekToByte(BioT* bio, uint32_t offset);

 private:
  inline void EmitByte(uint32_t byte);
  void SpillAndStore(uint32_t byte);
  // Loads memory bytes into the bit buffer up to 57 bits, and refills from
  // the file only while fewer than needed bits are held. The 8-byte load
  // may leave bits of the following bytes below the counted ones; they are
  // those bytes' own bits, so loading them again ORs the same values in.
  inline void Refill(uint32_t needed);
  void RefillSlow(uint32_t needed);
  int RefillFromFile();
  // Finds the first 1 bit within the next 32 bits; 0 when there is none.
  int LeadingZeros(uint32_t* zeros);
  int GetGammaSlow(uint32_t* value);
  int GetDeltaSlow(uint32_t* value);

  // Shared by both directions.
  unsigned char* Buffer = nullptr;  // writer's buffer, file reader's buffer
  uint32_t BufferCapacity = 0;
  uint32_t BufferIndex = 0;  // writer: bytes held; reader: next byte to load
  FileClassT* File = nullptr;
  uint32_t BufferStartPosition = 0;  // file offset of the term / of Buffer[0]

  // Writer.
  uint64_t WriteAcc = 0;       // the low WriteBitCount bits are pending
  uint32_t WriteBitCount = 0;  // bit position in the current byte, 0..7
  uint32_t Emitted = 0;
  uint32_t Spilled = 0;
  int Failed = 0;

  // Reader.
  const unsigned char* ReadData = nullptr;  // Buffer, or the caller's memory
  uint32_t ReadLimit = 0;                   // valid bytes at ReadData
  uint64_t ReadBits = 0;  // next bits, most significant first
  uint32_t ReadBitCount = 0;
  uint64_t StreamBytes = 0;  // bytes loaded into ReadBits or skipped
  uint32_t PendingSkip = 0;  // bytes to pass over before the next refill
};

int BIO_SeekToByte(BioT* bio, uint32_t offset);

// ---- Inline fast paths ------------------------------------------------------

inline void BioT::EmitByte(uint32_t byte) {
  if (BufferIndex < BufferCapacity) {
    Buffer[BufferIndex++] = static_cast<unsigned char>(byte);
  } else {
    SpillAndStore(byte);
  }
  ++Emitted;
}

inline void BioT::PutBits(uint32_t value, uint32_t count) {
  WriteAcc = (WriteAcc << count) | value;
  WriteBitCount += count;
  while (WriteBitCount >= 8) {
    WriteBitCount -= 8;
    EmitByte(static_cast<uint32_t>(WriteAcc >> WriteBitCount) & 0xFFu);
  }
  WriteAcc &= (1u << WriteBitCount) - 1;
}

// Gamma of x is N zero bits followed by the N + 1 bits of x.
inline void BioT::PutGamma(uint32_t x) {
  uint32_t n = FloorLog2(x);
  if (n < 16) {
    PutBits(x, 2 * n + 1);
  } else {
    PutBits(0, n);
    PutBits(x, n + 1);
  }
}

inline void BioT::PutDelta(uint32_t x) {
  uint32_t n = FloorLog2(x);
  uint32_t m = FloorLog2(n + 1);
  uint32_t low = x & ((1u << n) - 1);
  if (2 * m + 1 + n <= 32) {
    // gamma(n + 1) and the low bits in one go.
    uint64_t code = (static_cast<uint64_t>(n + 1) << n) | low;
    PutBits(static_cast<uint32_t>(code), 2 * m + 1 + n);
  } else {
    PutGamma(n + 1);
    PutBits(low, n);
  }
}

inline void BioT::Refill(uint32_t needed) {
  if (ReadLimit - BufferIndex >= 8) {
    uint64_t word;
    __builtin_memcpy(&word, ReadData + BufferIndex, sizeof(word));
    ReadBits |= __builtin_bswap64(word) >> ReadBitCount;
    const uint32_t taken = (63 - ReadBitCount) >> 3;
    BufferIndex += taken;
    ReadBitCount += taken * 8;
    StreamBytes += taken;
  } else {
    RefillSlow(needed);
  }
}

inline int BioT::GetBit(uint32_t* bit) {
  if (ReadBitCount == 0) {
    Refill(1);
    if (ReadBitCount == 0) return 0;
  }
  *bit = static_cast<uint32_t>(ReadBits >> 63);
  ReadBits <<= 1;
  --ReadBitCount;
  return 1;
}

inline int BioT::GetBits(uint32_t count, uint32_t* value) {
  if (count == 0) {
    *value = 0;
    return 1;
  }
  if (ReadBitCount < count) {
    Refill(count);
    if (ReadBitCount < count) return 0;
  }
  *value = static_cast<uint32_t>(ReadBits >> (64 - count));
  ReadBits <<= count;
  ReadBitCount -= count;
  return 1;
}

inline int BioT::GetGamma(uint32_t* value) {
  if (ReadBitCount < 32) Refill(1);
  if (ReadBits != 0) {
    uint32_t zeros = static_cast<uint32_t>(__builtin_clzll(ReadBits));
    uint32_t length = 2 * zeros + 1;
    if (zeros < 32 && length <= ReadBitCount) {
      // The top bits are the zeros and then x itself.
      *value = static_cast<uint32_t>(ReadBits >> (64 - length));
      ReadBits <<= length;
      ReadBitCount -= length;
      return 1;
    }
  }
  return GetGammaSlow(value);
}

// Delta of x is gamma(N + 1) followed by the low N bits of x. Codes of
// values below 2^31 whose bits are all held are taken in one go.
inline int BioT::GetDelta(uint32_t* value) {
  if (ReadBitCount < 32) Refill(1);
  if (ReadBits != 0) {
    const uint32_t zeros = static_cast<uint32_t>(__builtin_clzll(ReadBits));
    if (zeros < 5) {
      const uint32_t prefix = 2 * zeros + 1;
      const uint32_t length = static_cast<uint32_t>(ReadBits >> (64 - prefix));
      const uint32_t total = prefix + length - 1;
      if (total <= ReadBitCount) {
        const uint64_t rest = ReadBits << prefix;
        const uint32_t low =
            length > 1 ? static_cast<uint32_t>(rest >> (65 - length)) : 0;
        *value = (1u << (length - 1)) | low;
        ReadBits <<= total;
        ReadBitCount -= total;
        return 1;
      }
    }
  }
  return GetDeltaSlow(value);
}

#endif  // TARVIS_FORMAT_ENCODE_H_
