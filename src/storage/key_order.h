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
// before b, 0 when they are equal, positive otherwise.
inline int KeyCompare(const unsigned char* a, uint32_t aLength,
                      const unsigned char* b, uint32_t bLength) {
  int c = std::memcmp(a, b, aLength < bLength ? aLength : bLength);
  if (c != 0) return c;
  return aLength < bLength ? -1 : (aLength > bLength ? 1 : 0);
}

// KeyCompare for two length-prefixed words.
inline int PStrCmpH(const unsigned char* a, const unsigned char* b) {
  return KeyCompare(a + 1, a[0], b + 1, b[0]);
}

#endif  // TARVIS_STORAGE_KEY_ORDER_H_
