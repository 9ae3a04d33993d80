// UTF-8 decoding, character classes and folding, and the stop-and-stem step
// of the tokenizer; see tokenizer.h.

#include "tokenizer.h"

#include <locale.h>
#include <wctype.h>

#include <cstring>

namespace {

// Code points below this bound can change under the library's folding.
constexpr uint32_t kFoldTableSize = 1024;

struct FoldTableT {
  unsigned short Table[kFoldTableSize];
  FoldTableT() { ucInitializeNormalizationTable(Table, kFoldTableSize, 1); }
};

const FoldTableT& FoldTable() {
  static const FoldTableT table;
  return table;
}

// Letters and digits beyond ASCII are judged by the C library's Unicode
// tables (the C.UTF-8 locale, present on every Debian system); should it be
// missing, every character outside the common punctuation blocks counts.
locale_t UnicodeLocale() {
  static const locale_t locale =
      newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  return locale;
}

bool IsPunctuationBlock(uint32_t c) {
  return c < 0xC0 || c == 0xD7 || c == 0xF7 ||
         (c >= 0x2000 && c <= 0x2BFF) || (c >= 0x3000 && c <= 0x303F) ||
         (c >= 0xFE30 && c <= 0xFE6F) || (c >= 0xFF00 && c <= 0xFF0F) ||
         c == 0xFEFF || c == 0xFFFD;
}

}  // namespace

size_t DecodeUtf8(const unsigned char* text, const unsigned char* end,
                  uint32_t* codePoint) {
  unsigned char b = text[0];
  size_t available = static_cast<size_t>(end - text);
  size_t length;
  uint32_t c;
  if (b < 0x80) {
    *codePoint = b;
    return 1;
  } else if (b >= 0xC2 && b <= 0xDF) {
    length = 2;
    c = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    length = 3;
    c = b & 0x0F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    length = 4;
    c = b & 0x07;
  } else {
    *codePoint = b;  // not a lead byte: read as Latin-1
    return 1;
  }
  if (available < length) {
    *codePoint = b;
    return 1;
  }
  for (size_t i = 1; i < length; ++i) {
    if ((text[i] & 0xC0) != 0x80) {
      *codePoint = b;
      return 1;
    }
    c = (c << 6) | (text[i] & 0x3F);
  }
  // Overlong forms, surrogates and values beyond Unicode are not UTF-8.
  if ((length == 3 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) ||
      (length == 4 && (c < 0x10000 || c > 0x10FFFF))) {
    *codePoint = b;
    return 1;
  }
  *codePoint = c;
  return length;
}

void AppendUtf8(std::string* out, uint32_t codePoint) {
  unsigned char bytes[4];
  size_t length = EncodeUtf8(codePoint, bytes);
  out->append(reinterpret_cast<const char*>(bytes), length);
}

bool IsWordCharacter(uint32_t c) {
  if (c < 0x80) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
           (c >= '0' && c <= '9');
  }
  locale_t locale = UnicodeLocale();
  if (locale != static_cast<locale_t>(nullptr)) {
    return iswalnum_l(static_cast<wint_t>(c), locale) != 0;
  }
  return !IsPunctuationBlock(c);
}

uint32_t FoldCharacter(uint32_t c) {
  return c < kFoldTableSize ? FoldTable().Table[c] : c;
}

std::string FoldText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
  const unsigned char* end = p + text.size();
  while (p < end) {
    uint32_t c;
    p += DecodeUtf8(p, end, &c);
    AppendUtf8(&out, IsWordCharacter(c) ? FoldCharacter(c) : c);
  }
  return out;
}

bool TokenizerT::ProcessFoldedWord(unsigned char* word, size_t* length) const {
  if (stop_ != nullptr &&
      tvIsStopWord(stop_, 0, word, static_cast<unsigned long>(*length))) {
    return false;
  }
  if (stem_) Stem(word, length);
  return true;
}

void TokenizerT::Stem(unsigned char* word, size_t* length) const {
  // The stemmer handles plain ASCII letters only; anything else stays as
  // it is. A stem is never longer than its word.
  char source[kMaxWordBytes + 1];
  char stem[kMaxWordBytes + 1];
  for (size_t i = 0; i < *length; ++i) {
    unsigned char b = word[i];
    if (b < 'a' || b > 'z') return;
    source[i] = static_cast<char>(b);
  }
  source[*length] = '\0';
  if (tvStemEnglishWord(stem, source) != 1) return;
  size_t stemLength = std::strlen(stem);
  std::memcpy(word, stem, stemLength);
  *length = stemLength;
}
