// The highlight matcher: a host loads the terms of a query, wildcards
// included, and then asks word by word whether a word of a record matches
// any of them, so that it can highlight what the query found.

#ifndef TARVIS_TEXT_HIGHLIGHTER_H_
#define TARVIS_TEXT_HIGHLIGHTER_H_

#include <cstdint>

#include "tarvis/tarvis.h"
#include "text/wildcard_pattern.h"

class WordHighlighterT {
 public:
  WordHighlighterT();
  ~WordHighlighterT();
  WordHighlighterT(const WordHighlighterT&) = delete;
  WordHighlighterT& operator=(const WordHighlighterT&) = delete;

  // Compiles one pattern and keeps it. On failure the matcher is unchanged
  // and status holds StatusNotEnoughMemory, or StatusBadKeyLength for a
  // pattern longer than WildCardPatternT::kMaxPatternLength bytes.
  void AddWildcard(const unsigned char* pattern, unsigned long length,
                   StatusCodeT* status);

  // 1 when word[0 .. length - 1] matches some pattern, else 0. Bytes are
  // compared exactly, without case folding.
  int Match(const unsigned char* word, unsigned long length) const;

 private:
  struct PatternNodeT {
    WildCardPatternT Pattern;
    PatternNodeT* Next;
  };

  // The most recently added pattern first.
  PatternNodeT* Head;
};

#endif  // TARVIS_TEXT_HIGHLIGHTER_H_
