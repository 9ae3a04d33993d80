// The query converter; see query_text.h.

#include "query_text.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "host_error.h"

namespace {

[[noreturn]] void SyntaxError(const std::string& what) {
  HostFail(StatusQuerySyntaxError, "query: " + what);
}

enum class ItemKindT {
  Word,       // Text holds the term as indexed (or a wildcard pattern)
  Dropped,    // a stop word that left the query
  Operator,   // Text holds the keyword: AND, OR, NOT, NEAR, W/n
  Range,      // "-"
  Open,       // "("
  Close,      // ")"
  QuoteOpen,  // a phrase begins
  QuoteClose  // a phrase ends
};

struct ItemT {
  ItemKindT Kind;
  std::string Text;
  std::string Folded{};  // a word as typed, folded only
  bool Wildcard = false;
  bool Excluded = false;
};

bool IsBinary(const ItemT& item) {
  return item.Kind == ItemKindT::Operator || item.Kind == ItemKindT::Range;
}

bool IsProximity(const std::string& keyword) {
  return keyword == "NEAR" || keyword.compare(0, 2, "W/") == 0;
}

std::string KeywordOf(const std::string& chunk) {
  if (chunk == "AND" || chunk == "&") return "AND";
  if (chunk == "OR" || chunk == "|") return "OR";
  if (chunk == "NOT" || chunk == "!") return "NOT";
  if (chunk == "NEAR") return "NEAR";
  if (chunk.size() > 2 && chunk.compare(0, 2, "W/") == 0 &&
      chunk.find_first_not_of("0123456789", 2) == std::string::npos) {
    return chunk;
  }
  return "";
}

bool IsPatternByte(unsigned char c) { return c == '*' || c == '?'; }

// Splits a chunk of typed text into its word pieces: runs of letters,
// digits and wildcard characters, folded.
std::vector<std::string> Pieces(const std::string& chunk) {
  std::vector<std::string> pieces;
  std::string current;
  const unsigned char* p =
      reinterpret_cast<const unsigned char*>(chunk.data());
  const unsigned char* end = p + chunk.size();
  while (p < end) {
    uint32_t c;
    size_t n = DecodeUtf8(p, end, &c);
    p += n;
    if (c < 0x80 && IsPatternByte(static_cast<unsigned char>(c))) {
      current.push_back(static_cast<char>(c));
    } else if (IsWordCharacter(c)) {
      AppendUtf8(&current, FoldCharacter(c));
    } else if (!current.empty()) {
      pieces.push_back(current);
      current.clear();
    }
  }
  if (!current.empty()) pieces.push_back(current);
  return pieces;
}

// The word a piece stands for in the index; false for a stop word.
bool ProcessPiece(const TokenizerT& tokenizer, const std::string& piece,
                  std::string* term, bool* wildcard) {
  *wildcard = piece.find_first_of("*?") != std::string::npos;
  if (*wildcard) {
    if (piece.size() > kMaxWordBytes) {
      HostFail(StatusBadKeyLength, "query: wildcard too long");
    }
    *term = piece;
    return true;
  }
  if (piece.size() > kMaxWordBytes) {
    HostFail(StatusBadKeyLength,
             "query: word too long: " + piece.substr(0, 40) + "...");
  }
  unsigned char word[kMaxWordBytes + 1];
  size_t length = piece.size();
  std::memcpy(word, piece.data(), length);
  if (!tokenizer.ProcessFoldedWord(word, &length)) return false;
  term->assign(reinterpret_cast<const char*>(word), length);
  return true;
}

class ConverterT {
 public:
  explicit ConverterT(const TokenizerT& tokenizer) : tokenizer_(tokenizer) {}

  void Lex(const std::string& text) {
    size_t i = 0;
    bool inQuote = false;
    while (i < text.size()) {
      char c = text[i];
      if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
        ++i;
      } else if (c == '(') {
        items_.push_back({ItemKindT::Open, "("});
        ++i;
      } else if (c == ')') {
        items_.push_back({ItemKindT::Close, ")"});
        ++i;
      } else if (c == '"') {
        items_.push_back(
            {inQuote ? ItemKindT::QuoteClose : ItemKindT::QuoteOpen, "\""});
        inQuote = !inQuote;
        ++i;
      } else {
        size_t end = text.find_first_of(" \t\n\r()\"", i);
        if (end == std::string::npos) end = text.size();
        AddChunk(text.substr(i, end - i), inQuote);
        i = end;
      }
    }
    if (inQuote) items_.push_back({ItemKindT::QuoteClose, "\""});
    for (size_t i = 0; i < items_.size(); ++i) {
      if (items_[i].Kind == ItemKindT::Range &&
          (i + 1 == items_.size() || items_[i + 1].Kind != ItemKindT::Word)) {
        SyntaxError("a range needs a word on each side (a - b)");
      }
    }
  }

  // Takes stop words out together with the operator that joined them, and
  // groups that held nothing else.
  void DropStopWords() {
    bool changed = true;
    while (changed) {
      changed = false;
      for (size_t i = 0; i < items_.size() && !changed; ++i) {
        if (items_[i].Kind != ItemKindT::Dropped) continue;
        changed = true;
        bool hasPrevious = i > 0, hasNext = i + 1 < items_.size();
        if (hasPrevious && hasNext && Encloses(items_[i - 1], items_[i + 1])) {
          items_.erase(items_.begin() + static_cast<long>(i),
                       items_.begin() + static_cast<long>(i) + 2);
          items_[i - 1] = {ItemKindT::Dropped, ""};
        } else if (hasPrevious && IsBinary(items_[i - 1])) {
          items_.erase(items_.begin() + static_cast<long>(i) - 1,
                       items_.begin() + static_cast<long>(i) + 1);
        } else if (hasNext && IsBinary(items_[i + 1])) {
          items_.erase(items_.begin() + static_cast<long>(i),
                       items_.begin() + static_cast<long>(i) + 2);
        } else {
          items_.erase(items_.begin() + static_cast<long>(i));
        }
      }
    }
    if (items_.empty()) SyntaxError("nothing to search for (only stop words)");
  }

  // Marks the terms of the operand after each NOT (and of what a proximity
  // or range operator joins to it) as excluded.
  void MarkExcluded() {
    for (size_t i = 0; i < items_.size(); ++i) {
      if (items_[i].Kind != ItemKindT::Operator || items_[i].Text != "NOT") {
        continue;
      }
      size_t j = i + 1;
      while (j < items_.size()) {
        j = MarkOperand(j);
        if (j < items_.size() &&
            ((items_[j].Kind == ItemKindT::Operator &&
              IsProximity(items_[j].Text)) ||
             items_[j].Kind == ItemKindT::Range)) {
          ++j;
          continue;
        }
        break;
      }
    }
  }

  QueryTextT Result(unsigned long nearDistance) const {
    QueryTextT result;
    std::string text;
    for (size_t i = 0; i < items_.size(); ++i) {
      const ItemT& item = items_[i];
      switch (item.Kind) {
        case ItemKindT::Word:
          text += " " + item.Text;
          if (i + 1 < items_.size() && items_[i + 1].Kind == ItemKindT::Range) {
            break;  // a range end is no term of its own
          }
          if (i > 0 && items_[i - 1].Kind == ItemKindT::Range) {
            result.Ranges.emplace_back(items_[i - 2].Text, item.Text);
            break;
          }
          AddUnique(item.Excluded ? &result.Excluded : &result.Terms,
                    item.Text);
          break;
        case ItemKindT::Operator:
          text += " " + item.Text + " ";
          if (item.Text == "OR") result.HasOr = true;
          break;
        case ItemKindT::Range:
          text += " - ";
          break;
        default:
          text += " " + item.Text;
          break;
      }
    }
    text += " ";
    std::vector<unsigned char> longForm(text.begin(), text.end());
    longForm.push_back(0);
    tvLongQueryFormToShortQueryForm(longForm.data(), nearDistance);
    size_t length = std::strlen(reinterpret_cast<char*>(longForm.data()));
    std::vector<unsigned char> shortForm(TV_CONVERTED_QUERY_SIZE(length));
    tvConvertQuery(longForm.data(), shortForm.data());
    result.ShortForm = reinterpret_cast<char*>(shortForm.data());
    return result;
  }

 private:
  static bool Encloses(const ItemT& before, const ItemT& after) {
    return (before.Kind == ItemKindT::Open && after.Kind == ItemKindT::Close) ||
           (before.Kind == ItemKindT::QuoteOpen &&
            after.Kind == ItemKindT::QuoteClose);
  }

  static void AddUnique(std::vector<std::string>* terms,
                        const std::string& term) {
    if (std::find(terms->begin(), terms->end(), term) == terms->end()) {
      terms->push_back(term);
    }
  }

  // Marks one operand from position j on; returns the position after it.
  size_t MarkOperand(size_t j) {
    if (items_[j].Kind == ItemKindT::Word) {
      items_[j].Excluded = true;
      return j + 1;
    }
    ItemKindT open = items_[j].Kind;
    if (open != ItemKindT::Open && open != ItemKindT::QuoteOpen) return j;
    ItemKindT close =
        open == ItemKindT::Open ? ItemKindT::Close : ItemKindT::QuoteClose;
    int depth = 0;
    for (; j < items_.size(); ++j) {
      if (items_[j].Kind == open) ++depth;
      if (items_[j].Kind == close && --depth == 0) return j + 1;
      if (items_[j].Kind == ItemKindT::Word) items_[j].Excluded = true;
    }
    return j;
  }

  void AddChunk(const std::string& chunk, bool inQuote) {
    if (!inQuote) {
      std::string keyword = KeywordOf(chunk);
      if (!keyword.empty()) {
        items_.push_back({ItemKindT::Operator, keyword});
        return;
      }
      if (chunk.size() > 1 && chunk[0] == '!') {  // "!cat" is "! cat"
        items_.push_back({ItemKindT::Operator, "NOT"});
        AddChunk(chunk.substr(1), inQuote);
        return;
      }
      if (chunk == "-") {
        // Both ends of a range are only folded, stop words too: a range
        // runs over the dictionary, not over the words of a text.
        ItemT* start = items_.empty() ? nullptr : &items_.back();
        if (start == nullptr || start->Folded.empty() || start->Wildcard ||
            (start->Kind != ItemKindT::Word &&
             start->Kind != ItemKindT::Dropped)) {
          SyntaxError("a range needs a word on each side (a - b)");
        }
        start->Kind = ItemKindT::Word;
        start->Text = start->Folded;
        items_.push_back({ItemKindT::Range, "-"});
        return;
      }
    }
    std::vector<std::string> pieces = Pieces(chunk);
    if (pieces.empty()) return;  // punctuation only
    bool rangeEnd = !items_.empty() && items_.back().Kind == ItemKindT::Range;
    if (rangeEnd || pieces.size() == 1) {
      AddPiece(pieces[0], rangeEnd);
      if (rangeEnd && pieces.size() != 1) {
        SyntaxError("a range needs a word on each side (a - b)");
      }
      return;
    }
    // A word that punctuation splits into parts is the phrase of its parts.
    if (!inQuote) items_.push_back({ItemKindT::QuoteOpen, "\""});
    for (const std::string& piece : pieces) AddPiece(piece, false);
    if (!inQuote) items_.push_back({ItemKindT::QuoteClose, "\""});
  }

  void AddPiece(const std::string& piece, bool rangeEnd) {
    ItemT item{ItemKindT::Word, "", piece};
    if (rangeEnd) {
      if (piece.find_first_of("*?") != std::string::npos) {
        SyntaxError("a range needs a word on each side (a - b)");
      }
      item.Text = piece;  // folded only: ranges run over the dictionary
    } else if (!ProcessPiece(tokenizer_, piece, &item.Text, &item.Wildcard)) {
      item.Kind = ItemKindT::Dropped;
    }
    items_.push_back(item);
  }

  const TokenizerT& tokenizer_;
  std::vector<ItemT> items_;
};

}  // namespace

std::string HexTerm(const std::string& term) {
  // The converter writes the bytes as hex and keeps "*" and "?".
  std::vector<unsigned char> in(term.begin(), term.end());
  in.push_back(0);
  std::vector<unsigned char> out(TV_CONVERTED_QUERY_SIZE(term.size()));
  if (term.find_first_of("*?") != std::string::npos) {
    tvConvertQuery(in.data(), out.data());
  } else {
    out.resize(2 * term.size() + 3);
    tvCharWordToHexWord(reinterpret_cast<char*>(out.data()), in.data(),
                        term.size());
  }
  return reinterpret_cast<char*>(out.data());
}

QueryTextT ConvertUserQuery(const std::string& text,
                            const TokenizerT& tokenizer,
                            unsigned long nearDistance) {
  ConverterT converter(tokenizer);
  converter.Lex(text);
  converter.DropStopWords();
  converter.MarkExcluded();
  return converter.Result(nearDistance);
}

std::string RankedQueryFromTerms(const QueryTextT& query) {
  std::string ranked;
  for (const std::string& term : query.Terms) {
    if (!ranked.empty()) ranked += " ";
    if (!query.HasOr) ranked += "+";
    ranked += HexTerm(term);
  }
  for (const std::string& term : query.Excluded) {
    ranked += " -" + HexTerm(term);
  }
  return ranked;
}

QueryTextT ConvertRankedTerms(const std::string& text,
                              const TokenizerT& tokenizer) {
  QueryTextT result;
  size_t i = 0;
  while (i < text.size()) {
    size_t start = text.find_first_not_of(" \t\n\r", i);
    if (start == std::string::npos) break;
    size_t end = text.find_first_of(" \t\n\r", start);
    if (end == std::string::npos) end = text.size();
    std::string chunk = text.substr(start, end - start);
    i = end;
    std::string sign;
    if (chunk[0] == '+' || chunk[0] == '-') {
      sign = chunk.substr(0, 1);
      chunk.erase(0, 1);
    }
    for (const std::string& piece : Pieces(chunk)) {
      std::string term;
      bool wildcard;
      if (!ProcessPiece(tokenizer, piece, &term, &wildcard)) continue;
      if (!result.ShortForm.empty()) result.ShortForm += " ";
      result.ShortForm += sign + HexTerm(term);
      (sign == "-" ? result.Excluded : result.Terms).push_back(term);
    }
  }
  if (result.ShortForm.empty()) {
    SyntaxError("nothing to rank by (only stop words)");
  }
  return result;
}
