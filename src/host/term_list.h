// The words of an index's dictionary in key order, all partitions merged,
// each with the number of records holding it and its number of hits: all
// of them, those starting with a prefix, or those matching a pattern with
// "*" (any rest) and "?" (one character). The prefix or pattern is folded
// as words are. Record ID terms ("m" and the ID) are left out: those whose
// ID holds an ASCII character other than a letter or digit (every path
// does), as no word holds one, and the others when a record holding the
// term has that ID.

#ifndef TARVIS_HOST_TERM_LIST_H_
#define TARVIS_HOST_TERM_LIST_H_

#include <string>

#include <tarvis/tarvis.h>

#include "index_handle.h"

struct TermT {
  std::string Word;
  unsigned long Records = 0;
  unsigned long Hits = 0;
};

class TermListT {
 public:
  // The index must stay open in a retrieval session while the list is
  // walked. A pattern longer than a word fails with StatusBadKeyLength.
  TermListT(const IndexHandleT& index, const std::string& pattern);
  ~TermListT();
  TermListT(const TermListT&) = delete;
  TermListT& operator=(const TermListT&) = delete;

  // The next word; false past the last one.
  bool Next(TermT* term);

 private:
  bool Step(unsigned long* records, unsigned long* hits);
  bool IsRecordIdTerm(const std::string& word) const;

  const IndexHandleT& index_;
  std::string prefix_;
  WordHighlighterT* matcher_ = nullptr;
  DictionaryCursorT cursor_;
  unsigned char key_[256];
  bool started_ = false;
  bool done_ = false;
};

#endif  // TARVIS_HOST_TERM_LIST_H_
