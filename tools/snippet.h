// One line of a hit's file to show under it: the line of a line record, or
// the first line of the record (file or paragraph) that holds a matched
// word, cut to a window around the first match. Matched words are found
// with the library's highlight matcher, loaded with the query's terms, on
// the words as the tokenizer makes them, so a stemmed or folded query word
// lights up every form it matched; range terms are compared directly.

#ifndef TARVIS_TOOLS_SNIPPET_H_
#define TARVIS_TOOLS_SNIPPET_H_

#include <string>
#include <utility>
#include <vector>

#include <tarvis/tarvis.h>

#include "query_text.h"
#include "record_key.h"
#include "tokenizer.h"

struct SnippetT {
  std::string Text;  // control characters replaced by spaces
  std::vector<std::pair<size_t, size_t>> Marks;  // byte ranges in Text
  bool Found = false;  // the record's text could be read
};

class HighlighterT {
 public:
  HighlighterT(const QueryTextT& query, const TokenizerT& tokenizer);
  ~HighlighterT();
  HighlighterT(const HighlighterT&) = delete;
  HighlighterT& operator=(const HighlighterT&) = delete;

  // The snippet of a record, at most width bytes (plus ellipses).
  SnippetT Snippet(const RecordKeyT& key, size_t width) const;

 private:
  bool Matches(const unsigned char* word, size_t length) const;
  void MarkLine(const std::string& line,
                std::vector<std::pair<size_t, size_t>>* marks) const;

  const TokenizerT& tokenizer_;
  WordHighlighterT* matcher_ = nullptr;
  std::vector<std::pair<std::string, std::string>> ranges_;
};

// The snippet's text with its marks in bold red (colour) or as it is.
std::string RenderSnippet(const SnippetT& snippet, bool colour);

#endif  // TARVIS_TOOLS_SNIPPET_H_
