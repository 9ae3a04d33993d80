// The highlight matcher's pattern list.

#include "text/highlighter.h"

#include <new>

WordHighlighterT::WordHighlighterT() : Head(nullptr) {}

WordHighlighterT::~WordHighlighterT() {
  while (Head != nullptr) {
    PatternNodeT* next = Head->Next;
    delete Head;
    Head = next;
  }
}

void WordHighlighterT::AddWildcard(const unsigned char* pattern,
                                   unsigned long length, StatusCodeT* status) {
  if (length > WildCardPatternT::kMaxPatternLength) {
    *status = StatusBadKeyLength;
    return;
  }
  PatternNodeT* node = new (std::nothrow) PatternNodeT;
  if (node == nullptr) {
    *status = StatusNotEnoughMemory;
    return;
  }
  if (!node->Pattern.ProcessWildCardPattern(pattern,
                                            static_cast<uint32_t>(length))) {
    delete node;
    *status = StatusBadKeyLength;
    return;
  }
  node->Next = Head;
  Head = node;
}

int WordHighlighterT::Match(const unsigned char* word,
                            unsigned long length) const {
  // A word longer than any key cannot be represented in 32 bits; no pattern
  // of at most 256 positions without "*" matches it, and one with "*" looks
  // only at its first 256 bytes, so clamping keeps every answer.
  uint32_t clamped = length > UINT32_MAX ? UINT32_MAX
                                         : static_cast<uint32_t>(length);
  for (const PatternNodeT* node = Head; node != nullptr; node = node->Next) {
    if (node->Pattern.WildCardMatch(word, clamped)) return 1;
  }
  return 0;
}
