// Snippets and highlighting; see snippet.h.

#include "snippet.h"

#include <cstdio>
#include <cstdlib>

#include "host_error.h"

namespace {

const char kMarkStart[] = "\x1b[1;31m";
const char kMarkEnd[] = "\x1b[0m";

// Reads one line without its end of line; false at the end of the file.
bool ReadLine(FILE* file, std::string* line) {
  line->clear();
  int c;
  while ((c = std::fgetc(file)) != EOF && c != '\n') {
    line->push_back(static_cast<char>(c));
  }
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return c != EOF || !line->empty();
}

bool IsBlank(const std::string& line) {
  return line.find_first_not_of(" \t\r\f\v") == std::string::npos;
}

// Moves back to the first byte of a UTF-8 character.
size_t CharacterStart(const std::string& text, size_t at) {
  while (at > 0 && at < text.size() &&
         (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) {
    --at;
  }
  return at;
}

}  // namespace

HighlighterT::HighlighterT(const QueryTextT& query,
                           const TokenizerT& tokenizer)
    : tokenizer_(tokenizer), ranges_(query.Ranges) {
  StatusCodeT status = 0;
  matcher_ = tvCreateHighlightMatcher(&status);
  CheckStatus(status, "highlight");
  for (const std::string& term : query.Terms) {
    tvAddWildCardPatternToHighlightMatcher(
        matcher_,
        reinterpret_cast<unsigned char*>(const_cast<char*>(term.data())),
        term.size(), &status);
    CheckStatus(status, "highlight");
  }
  for (auto& range : ranges_) {
    if (range.second < range.first) std::swap(range.first, range.second);
  }
}

HighlighterT::~HighlighterT() { tvDeleteHighlightMatcher(matcher_); }

bool HighlighterT::Matches(const unsigned char* word, size_t length) const {
  if (tvHighlightMatcherMatch(matcher_, const_cast<unsigned char*>(word),
                              length)) {
    return true;
  }
  if (ranges_.empty()) return false;
  std::string text(reinterpret_cast<const char*>(word), length);
  for (const auto& range : ranges_) {
    if (range.first <= text && text <= range.second) return true;
  }
  return false;
}

void HighlighterT::MarkLine(const std::string& line, MarksT* marks) const {
  marks->clear();
  tokenizer_.Scan(reinterpret_cast<const unsigned char*>(line.data()),
                  line.size(),
                  [&](const unsigned char* word, size_t length, size_t begin,
                      size_t end) {
                    if (Matches(word, length)) marks->emplace_back(begin, end);
                  });
}

bool HighlighterT::ChooseLine(const std::function<bool(std::string*)>& next,
                              bool paragraph, std::string* chosen,
                              MarksT* marks) const {
  std::string line;
  bool haveFirst = false;
  while (next(&line)) {
    if (IsBlank(line)) {
      if (paragraph && haveFirst) break;  // end of the paragraph
      continue;
    }
    if (!haveFirst) {
      *chosen = line;
      haveFirst = true;
    }
    MarkLine(line, marks);
    if (!marks->empty()) {
      *chosen = line;
      return true;
    }
  }
  if (haveFirst) MarkLine(*chosen, marks);
  return haveFirst;
}

SnippetT HighlighterT::Snippet(const RecordKeyT& key, size_t width) const {
  FILE* file = std::fopen(key.Path.c_str(), "rb");
  if (file == nullptr) return SnippetT();
  auto next = [file](std::string* line) { return ReadLine(file, line); };
  std::string chosen;
  MarksT marks;
  bool found = false;
  if (key.Kind == ':') {
    std::string line;
    for (unsigned long n = 1; !found && next(&line); ++n) {
      if (n == key.Number) {
        chosen = line;
        found = true;
        MarkLine(chosen, &marks);
      }
    }
  } else if (key.Kind != '@' ||
             std::fseek(file, static_cast<long>(key.Number), SEEK_SET) == 0) {
    found = ChooseLine(next, key.Kind == '@', &chosen, &marks);
  }
  std::fclose(file);
  return found ? Cut(chosen, marks, width) : SnippetT();
}

SnippetT HighlighterT::SnippetOfText(const std::string& text,
                                     size_t width) const {
  size_t at = 0;
  auto next = [&text, &at](std::string* line) {
    if (at >= text.size()) return false;
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    line->assign(text, at, end - at);
    if (!line->empty() && line->back() == '\r') line->pop_back();
    at = end + 1;
    return true;
  };
  std::string chosen;
  MarksT marks;
  if (!ChooseLine(next, false, &chosen, &marks)) return SnippetT();
  return Cut(chosen, marks, width);
}

SnippetT HighlighterT::Cut(const std::string& chosen, const MarksT& marks,
                           size_t width) {
  SnippetT snippet;
  snippet.Found = true;
  // Trim, then cut a window of width bytes around the first match.
  size_t begin = chosen.find_first_not_of(" \t");
  if (begin == std::string::npos) begin = chosen.size();
  size_t end = chosen.find_last_not_of(" \t");
  end = end == std::string::npos ? begin : end + 1;
  if (end - begin > width) {
    size_t focus = marks.empty() ? begin : marks.front().first;
    size_t start = focus > begin + width / 3 ? focus - width / 3 : begin;
    if (start + width > end) start = end - width;
    begin = CharacterStart(chosen, start);
    end = CharacterStart(chosen, begin + width);
  }
  std::string prefix = begin > chosen.find_first_not_of(" \t") ? "..." : "";
  std::string suffix = end < chosen.find_last_not_of(" \t") + 1 ? "..." : "";
  snippet.Text = prefix;
  for (size_t i = begin; i < end; ++i) {
    unsigned char c = static_cast<unsigned char>(chosen[i]);
    snippet.Text.push_back(c < 0x20 || c == 0x7F ? ' ' : chosen[i]);
  }
  snippet.Text += suffix;
  for (const auto& mark : marks) {
    if (mark.first >= begin && mark.second <= end) {
      snippet.Marks.emplace_back(mark.first - begin + prefix.size(),
                                 mark.second - begin + prefix.size());
    }
  }
  return snippet;
}

std::string RenderSnippet(const SnippetT& snippet, bool colour) {
  if (!colour) return snippet.Text;
  std::string out;
  size_t at = 0;
  for (const auto& mark : snippet.Marks) {
    out.append(snippet.Text, at, mark.first - at);
    out += kMarkStart;
    out.append(snippet.Text, mark.first, mark.second - mark.first);
    out += kMarkEnd;
    at = mark.second;
  }
  out.append(snippet.Text, at, std::string::npos);
  return out;
}
