// QueryTokenizerT: the tokens of the short query form.

#include "query/query_tokenizer.h"

#include "query/hex_words.h"

namespace {

int IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

// The characters at which filler ends.
int StartsToken(unsigned char c) {
  if (c == '\0' || IsDigit(c) || HexDigitValue(c) >= 0) return 1;
  switch (c) {
    case '*': case '?': case 'X': case 'x': case '&': case '|': case '!':
    case '^': case '(': case ')': case ':': case 'w': case '"': case '-':
    case '>': case '<': case 'M': case 'U': case 'N':
      return 1;
    default:
      return 0;
  }
}

int IsWhiteSpace(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

constexpr uint32_t kLargestNumber = 0x7fffffff;

}  // namespace

void QueryTokenizerT::SkipFiller() {
  while (!StartsToken(Text[Position])) ++Position;
}

int QueryTokenizerT::ReadNumber(uint32_t* number) {
  if (!IsDigit(Text[Position])) return 0;
  uint32_t value = 0;
  while (IsDigit(Text[Position])) {
    uint32_t digit = Text[Position++] - '0';
    value = value > (kLargestNumber - digit) / 10 ? kLargestNumber
                                                   : value * 10 + digit;
  }
  *number = value;
  return 1;
}

uint32_t QueryTokenizerT::GetNextToken(QueryTokenT* token, StatusCodeT* status) {
  *token = QueryTokenT();
  SkipFiller();
  token->Position = Position;
  unsigned char c = Text[Position];
  switch (c) {
    case '\0':
      return token->Type = kTokenEnd;
    case '!': case '"': case '&': case '(': case ')': case '-': case '<':
    case '>': case '^': case '|':
      ++Position;
      return token->Type = c;
    case 'M':
      ++Position;
      return token->Type = kTokenMember;
    case 'w':
      return ReadProximity(token, status);
    case ':':
      return ReadParameter(token, status);
    case '0':
      return ReadTerm(token, status);
    default:
      *status = StatusHexTermExpected;
      return kTokenEnd;
  }
}

uint32_t QueryTokenizerT::ReadProximity(QueryTokenT* token,
                                        StatusCodeT* status) {
  ++Position;
  SkipFiller();
  if (Text[Position] == ':') {
    ++Position;
    SkipFiller();
  }
  if (!ReadNumber(&token->Number)) {
    *status = StatusMalformedParameter;
    return kTokenEnd;
  }
  token->ParameterKind = kParameterDistance;
  return token->Type = kTokenProximity;
}

uint32_t QueryTokenizerT::ReadParameter(QueryTokenT* token,
                                        StatusCodeT* status) {
  ++Position;
  while (IsWhiteSpace(Text[Position])) ++Position;
  switch (Text[Position]) {
    case 'w': case 'W':
      token->ParameterKind = kParameterWord;
      ++Position;
      break;
    case 'f': case 'F':
      token->ParameterKind = kParameterField;
      ++Position;
      break;
    case 'm': case 'M':
      token->ParameterKind = kParameterMember;
      ++Position;
      return token->Type = kTokenMember;
    default:
      break;
  }
  SkipFiller();
  if (!ReadNumber(&token->Number)) {
    *status = StatusMalformedParameter;
    return kTokenEnd;
  }
  return token->Type = kTokenParameter;
}

uint32_t QueryTokenizerT::ReadTerm(QueryTokenT* token, StatusCodeT* status) {
  if (Text[Position + 1] != 'x' && Text[Position + 1] != 'X') {
    *status = StatusHexTermExpected;
    return kTokenEnd;
  }
  Position += 2;
  for (;;) {
    unsigned char c = Text[Position];
    if (c == '*' || c == '?') {
      token->Wildcard = 1;
      ++Position;
    } else if (HexDigitValue(c) >= 0) {
      if (HexDigitValue(Text[Position + 1]) < 0) {
        *status = StatusHexTermExpected;
        return kTokenEnd;
      }
      Position += 2;
    } else {
      break;
    }
    if (++token->Units > kMaximumKeyBytes) {
      *status = StatusBadKeyLength;
      return kTokenEnd;
    }
  }
  return token->Type = kTokenTerm;
}
