// Turns UTF-8 text into the words the index holds. A word is a run of
// letters and digits; each character is folded to lower case without accents
// through the library's character folding (characters it does not cover are
// kept as they are) and re-encoded as UTF-8. Bytes that are not valid UTF-8
// are read as Latin-1 characters, so older Latin-1 texts index sensibly.
// Stop words are dropped (they take no word position), the rest optionally
// stemmed with the library's English stemmer. Words longer than the 255
// bytes an index term may hold are skipped: such runs are encoded data, not
// words anyone searches for.

#ifndef TARVIS_HOST_TOKENIZER_H_
#define TARVIS_HOST_TOKENIZER_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include <tarvis/tarvis.h>

enum { kMaxWordBytes = 255 };

// The code point of the character at text (at least one byte before end)
// and its length in bytes.
size_t DecodeUtf8(const unsigned char* text, const unsigned char* end,
                  uint32_t* codePoint);
// Writes the 1 to 4 bytes of a code point and returns their number.
inline size_t EncodeUtf8(uint32_t c, unsigned char* out) {
  if (c < 0x80) {
    out[0] = static_cast<unsigned char>(c);
    return 1;
  }
  if (c < 0x800) {
    out[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
    out[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000) {
    out[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
    out[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    return 3;
  }
  out[0] = static_cast<unsigned char>(0xF0 | (c >> 18));
  out[1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
  out[2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
  out[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
  return 4;
}
void AppendUtf8(std::string* out, uint32_t codePoint);
bool IsWordCharacter(uint32_t codePoint);
uint32_t FoldCharacter(uint32_t codePoint);
// Folds every character of text; characters that are not letters or digits
// are kept as they are.
std::string FoldText(const std::string& text);

class TokenizerT {
 public:
  // stop may be null; the tokenizer does not own it.
  TokenizerT(bool stem, StopListT* stop) : stem_(stem), stop_(stop) {}

  // Calls sink(word, length, begin, end) for every word of the text that
  // survives the stop list: the word's bytes as the index holds them, and
  // the byte offsets of its source in text.
  template <class SinkT>
  void Scan(const unsigned char* text, size_t length, SinkT&& sink) const;

  // Drops a folded word that is a stop word (returns false) or stems it.
  bool ProcessFoldedWord(unsigned char* word, size_t* length) const;
  // Stems a folded word in place (no stop list).
  void Stem(unsigned char* word, size_t* length) const;
  bool Stems() const { return stem_; }

 private:
  bool stem_;
  StopListT* stop_;
};

template <class SinkT>
void TokenizerT::Scan(const unsigned char* text, size_t length,
                      SinkT&& sink) const {
  const unsigned char* end = text + length;
  const unsigned char* p = text;
  unsigned char word[kMaxWordBytes + 8];
  while (p < end) {
    // Skip to the start of a word; ASCII is classified without decoding.
    uint32_t c;
    size_t n;
    if (*p < 0x80) {
      unsigned char b = *p;
      if (!((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') ||
            (b >= '0' && b <= '9'))) {
        ++p;
        continue;
      }
    } else {
      n = DecodeUtf8(p, end, &c);
      if (!IsWordCharacter(c)) {
        p += n;
        continue;
      }
    }
    const unsigned char* begin = p;
    size_t wordLength = 0;
    bool tooLong = false;
    while (p < end) {
      unsigned char b = *p;
      if (b < 0x80) {
        if (b >= 'A' && b <= 'Z') {
          b = static_cast<unsigned char>(b + 32);
        } else if (!((b >= 'a' && b <= 'z') || (b >= '0' && b <= '9'))) {
          break;
        }
        if (wordLength < kMaxWordBytes) {
          word[wordLength++] = b;
        } else {
          tooLong = true;
        }
        ++p;
        continue;
      }
      n = DecodeUtf8(p, end, &c);
      if (!IsWordCharacter(c)) break;
      p += n;
      c = FoldCharacter(c);
      unsigned char encoded[4];
      size_t encodedLength = EncodeUtf8(c, encoded);
      if (wordLength + encodedLength <= kMaxWordBytes) {
        for (size_t i = 0; i < encodedLength; ++i) {
          word[wordLength++] = encoded[i];
        }
      } else {
        tooLong = true;
      }
    }
    if (tooLong) continue;
    if (!ProcessFoldedWord(word, &wordLength)) continue;
    sink(word, wordLength, static_cast<size_t>(begin - text),
         static_cast<size_t>(p - text));
  }
}

#endif  // TARVIS_HOST_TOKENIZER_H_
