// Snippets and highlighting; see snippet.h.

#include "snippet.h"

#include <cstdio>
#include <cstdlib>

#include "tool_error.h"

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

void HighlighterT::MarkLine(
    const std::string& line,
    std::vector<std::pair<size_t, size_t>>* marks) const {
  marks->clear();
  tokenizer_.Scan(reinterpret_cast<const unsigned char*>(line.data()),
                  line.size(),
                  [&](const unsigned char* word, size_t length, size_t begin,
                      size_t end) {
                    if (Matches(word, length)) marks->emplace_back(begin, end);
                  });
}

SnippetT HighlighterT::Snippet(const RecordKeyT& key, size_t width) const {
  SnippetT snippet;
  FILE* file = std::fopen(key.Path.c_str(), "rb");
  if (file == nullptr) return snippet;
  std::string line, chosen;
  std::vector<std::pair<size_t, size_t>> marks;
  bool haveFirst = false;
  if (key.Kind == ':') {
    for (unsigned long n = 1; ReadLine(file, &line); ++n) {
      if (n == key.Number) {
        chosen = line;
        haveFirst = true;
        MarkLine(chosen, &marks);
        break;
      }
    }
  } else {
    if (key.Kind == '@' &&
        std::fseek(file, static_cast<long>(key.Number), SEEK_SET) != 0) {
      std::fclose(file);
      return snippet;
    }
    while (ReadLine(file, &line)) {
      if (IsBlank(line)) {
        if (key.Kind == '@' && haveFirst) break;  // end of the paragraph
        continue;
      }
      if (!haveFirst) {
        chosen = line;
        haveFirst = true;
      }
      MarkLine(line, &marks);
      if (!marks.empty()) {
        chosen = line;
        break;
      }
    }
    if (marks.empty() && haveFirst) MarkLine(chosen, &marks);
  }
  std::fclose(file);
  if (!haveFirst) return snippet;
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
