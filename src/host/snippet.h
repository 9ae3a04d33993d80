// One line of a hit's text to show under it: the line of a line record, or
// the first line of the record (file, paragraph, or a text the host keeps
// as record data) that holds a matched word, cut to a window around the
// first match. Matched words are found
// with the library's highlight matcher, loaded with the query's terms, on
// the words as the tokenizer makes them, so a stemmed or folded query word
// lights up every form it matched; range terms are compared directly.

#ifndef TARVIS_HOST_SNIPPET_H_
#define TARVIS_HOST_SNIPPET_H_

#include <functional>
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

  // The snippet of a record of files, at most width bytes (plus ellipses).
  SnippetT Snippet(const RecordKeyT& key, size_t width) const;
  // The same for a record whose text is given: its first line holding a
  // match, else its first line that is not blank.
  SnippetT SnippetOfText(const std::string& text, size_t width) const;

 private:
  using MarksT = std::vector<std::pair<size_t, size_t>>;

  bool Matches(const unsigned char* word, size_t length) const;
  void MarkLine(const std::string& line, MarksT* marks) const;
  // Takes lines from next until one holds a match (chosen, with its marks);
  // without one the first line that is not blank is chosen. A paragraph
  // ends at its first blank line. False when every line was blank.
  bool ChooseLine(const std::function<bool(std::string*)>& next,
                  bool paragraph, std::string* chosen, MarksT* marks) const;
  static SnippetT Cut(const std::string& chosen, const MarksT& marks,
                      size_t width);

  const TokenizerT& tokenizer_;
  WordHighlighterT* matcher_ = nullptr;
  std::vector<std::pair<std::string, std::string>> ranges_;
};

// The snippet's text with its marks in bold red (colour) or as it is.
std::string RenderSnippet(const SnippetT& snippet, bool colour);

#endif  // TARVIS_HOST_SNIPPET_H_
