// The long-form to short-form query converters.

#include "query/query_convert.h"

#include <cstdio>
#include <cstring>

#include "query/hex_words.h"

namespace {

int IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
int IsLetter(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Replaces every occurrence of keyword (which starts and ends with a space)
// by replacement, of the same length. Replacements end in a space and hold
// no letter, so a keyword sharing its first space with the replacement of the
// previous one is still found by the same forward scan.
void ReplaceKeyword(unsigned char* text, const char* keyword,
                    const char* replacement) {
  size_t length = std::strlen(keyword);
  for (unsigned char* p = text; *p != '\0'; ++p) {
    // strncmp stops at the end of the text, memcmp might read past it.
    if (std::strncmp(reinterpret_cast<const char*>(p), keyword, length) == 0) {
      std::memcpy(p, replacement, length);
    }
  }
}

// Characters that end a word and are copied as they are.
int IsDelimiter(unsigned char c) {
  switch (c) {
    case '\0': case '\t': case '\n': case '\r': case ' ': case '!': case '"':
    case '&': case '(': case ')': case '+': case '-': case ':': case ';':
    case '<': case '>': case '^': case '|':
      return 1;
    default:
      return 0;
  }
}

// What may stand on each side of the member operator "M".
int IsMemberNeighbour(unsigned char c) {
  switch (c) {
    case '\0': case '(': case ')': case ' ': case '\t': case '\n': case '<':
    case '>':
      return 1;
    default:
      return 0;
  }
}

// A proximity operator at in[0]: "w/" or "w:", a run of digits, then the end
// of the word. Returns the number of digits, 0 when there is none.
size_t ProximityDigits(const unsigned char* in) {
  if (in[0] != 'w' || (in[1] != '/' && in[1] != ':')) return 0;
  size_t digits = 0;
  while (IsDigit(in[2 + digits])) ++digits;
  return IsDelimiter(in[2 + digits]) ? digits : 0;
}

}  // namespace

void LongQueryToShortQuery(unsigned char* query, unsigned long nearDistance) {
  if (nearDistance > kMaximumNearDistance) nearDistance = kMaximumNearDistance;
  for (unsigned char* p = query; *p != '\0'; ++p) {
    if (*p == '\t' || *p == '\n' || *p == '\r') *p = ' ';
  }
  char near[16];
  std::snprintf(near, sizeof near, " w:%lu      ", nearDistance);
  near[6] = '\0';
  ReplaceKeyword(query, " AND ", " &   ");
  ReplaceKeyword(query, " OR ", " |  ");
  ReplaceKeyword(query, " NOT ", " !   ");
  ReplaceKeyword(query, " NEAR ", near);
  for (unsigned char* p = query; *p != '\0'; ++p) {
    if (p[0] == ' ' && p[1] == 'W' && p[2] == '/' && IsDigit(p[3])) p[1] = 'w';
  }
  unsigned char* out = query;
  for (const unsigned char* p = query; *p != '\0'; ++p) {
    if (*p == ' ' && p > query && p[-1] == ' ') continue;
    *out++ = *p;
  }
  *out = '\0';
}

void QueryConvert(const unsigned char* in, unsigned char* out) {
  int inWord = 0;
  size_t i = 0;
  while (in[i] != '\0') {
    unsigned char c = in[i];
    if (!inWord) {
      if (size_t digits = ProximityDigits(in + i)) {
        *out++ = 'w';
        *out++ = ':';
        std::memcpy(out, in + i + 2, digits);
        out += digits;
        i += 2 + digits;
        continue;
      }
      if (c == 'M' && i > 0 && IsMemberNeighbour(in[i - 1]) &&
          IsMemberNeighbour(in[i + 1])) {
        *out++ = c;
        ++i;
        continue;
      }
    }
    if (IsDelimiter(c)) {
      *out++ = c;
      ++i;
      inWord = 0;
      if (c == ':') {
        if (IsLetter(in[i])) *out++ = in[i++];
        while (IsDigit(in[i])) *out++ = in[i++];
      }
      continue;
    }
    if (!inWord) {
      *out++ = '0';
      *out++ = 'x';
      inWord = 1;
    }
    if (c == '*' || c == '?') {
      *out++ = c;
      ++i;
      continue;
    }
    // A backslash makes the next character a plain byte of the word; one at
    // the very end stands for itself.
    if (c == '\\' && in[i + 1] != '\0') c = in[++i];
    ctohex(c, reinterpret_cast<char*>(out));
    out += 2;
    ++i;
  }
  *out = '\0';
}
