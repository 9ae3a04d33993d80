// The order of keys: every term dictionary, every run and the temporary index
// file keep their words in this order. Words are length-prefixed byte strings
// (a length byte, then up to 255 bytes of any value). They compare as
// unsigned bytes over the shorter length; when one is a prefix of the other,
// the shorter comes first. Case-sensitive: the order knows nothing of
// characters.

#ifndef TARVIS_STORAGE_KEY_ORDER_H_
#define TARVIS_STORAGE_KEY_ORDER_H_

#include <cstdint>
#include <cstring>

// Compares two words given as bytes and lengths: negative when a sorts
// before b, 0 when they are equal, positive otherwise. Words are short, so
// they are compared eight bytes at a time inline rather than through memcmp.
inline int KeyCompare(const unsigned char* a, uint32_t aLength,
                      const unsigned char* b, uint32_t bLength) {
  uint32_t common = aLength < bLength ? aLength : bLength;
  uint32_t i = 0;
  for (; i + 8 <= common; i += 8) {
    uint64_t x, y;
    std::memcpy(&x, a + i, 8);
    std::memcpy(&y, b + i, 8);
    if (x != y) {
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
      x = __builtin_bswap64(x);
      y = __builtin_bswap64(y);
#endif
      return x < y ? -1 : 1;
    }
  }
  for (; i < common; ++i) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return aLength < bLength ? -1 : (aLength > bLength ? 1 : 0);
}

// KeyCompare for two length-prefixed words.
inline int PStrCmpH(const unsigned char* a, const unsigned char* b) {
  return KeyCompare(a + 1, a[0], b + 1, b[0]);
}

#endif  // TARVIS_STORAGE_KEY_ORDER_H_
