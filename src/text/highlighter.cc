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
  // Lengths beyond 32 bits are clamped: a pattern without "*" has at most
  // 256 positions and matches neither length, and one with "*" looks only
  // at the bytes before it.
  uint32_t clamped = length > UINT32_MAX ? UINT32_MAX
                                         : static_cast<uint32_t>(length);
  for (const PatternNodeT* node = Head; node != nullptr; node = node->Next) {
    if (node->Pattern.WildCardMatch(word, clamped)) return 1;
  }
  return 0;
}
