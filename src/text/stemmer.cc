// The stemmer's rule tables and the rewriting engine. In each step the rules
// are tried in table order; the first whose suffix ends the word and whose
// measure and condition hold on the word without the suffix replaces the
// suffix and ends the step. A rule whose suffix matched but whose test
// failed lets the next rule of the step be tried.

#include "text/stemmer.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

bool IsIn(const char* set, unsigned char c) {
  for (; *set != '\0'; ++set) {
    if (static_cast<unsigned char>(*set) == c) return true;
  }
  return false;
}

bool IsVowel(unsigned char c) { return IsIn("aeiou", c); }

// Porter's measure m: the number of vowel-consonant sequences. A "y" after a
// consonant counts as a vowel, after a vowel or at the start as a consonant.
int WordSize(const unsigned char* word, size_t length) {
  enum { kStart, kVowel, kConsonant } state = kStart;
  int measure = 0;
  for (size_t i = 0; i < length; ++i) {
    unsigned char c = word[i];
    switch (state) {
      case kStart:
        state = IsVowel(c) ? kVowel : kConsonant;
        break;
      case kVowel:
        if (!IsVowel(c)) {
          state = kConsonant;
          ++measure;
        }
        break;
      case kConsonant:
        if (IsVowel(c) || c == 'y') state = kVowel;
        break;
    }
  }
  return measure;
}

bool ContainsVowel(const unsigned char* word, size_t length) {
  if (length == 0) return false;
  if (IsVowel(word[0])) return true;
  for (size_t i = 1; i < length; ++i) {
    if (IsIn("aeiouy", word[i])) return true;
  }
  return false;
}

bool EndsWithCVC(const unsigned char* word, size_t length) {
  return length >= 3 && !IsIn("aeiouwxy", word[length - 1]) &&
         IsIn("aeiouy", word[length - 2]) && !IsVowel(word[length - 3]);
}

bool AddAnE(const unsigned char* word, size_t length) {
  return WordSize(word, length) == 1 && EndsWithCVC(word, length);
}

bool RemoveAnE(const unsigned char* word, size_t length) {
  return WordSize(word, length) == 1 && !EndsWithCVC(word, length);
}

using ConditionT = bool (*)(const unsigned char*, size_t);

struct RuleT {
  int32_t Id;  // 0 ends a table
  const char* Suffix;
  const char* Replacement;
  // The rule applies only when the measure of the word without the suffix
  // is greater than this.
  int32_t MinRootSize;
  ConditionT Condition;  // on the word without the suffix; may be null
};

const RuleT kStep1aRules[] = {
    {101, "sses", "ss", -1, nullptr},
    {102, "ies", "i", -1, nullptr},
    {103, "ss", "ss", -1, nullptr},
    {104, "s", "", -1, nullptr},
    {0, "", "", 0, nullptr},
};

const RuleT kStep1bRules[] = {
    {105, "eed", "ee", 0, nullptr},
    {106, "ed", "", -1, ContainsVowel},
    {107, "ing", "", -1, ContainsVowel},
    {0, "", "", 0, nullptr},
};

const RuleT kStep1b1Rules[] = {
    {108, "at", "ate", -1, nullptr}, {109, "bl", "ble", -1, nullptr},
    {110, "iz", "ize", -1, nullptr}, {111, "bb", "b", -1, nullptr},
    {112, "dd", "d", -1, nullptr},   {113, "ff", "f", -1, nullptr},
    {114, "gg", "g", -1, nullptr},   {115, "mm", "m", -1, nullptr},
    {116, "nn", "n", -1, nullptr},   {117, "pp", "p", -1, nullptr},
    {118, "rr", "r", -1, nullptr},   {119, "tt", "t", -1, nullptr},
    {120, "ww", "w", -1, nullptr},   {121, "xx", "x", -1, nullptr},
    {122, "", "e", -1, AddAnE},      {0, "", "", 0, nullptr},
};

const RuleT kStep1cRules[] = {
    {123, "y", "i", -1, ContainsVowel},
    {0, "", "", 0, nullptr},
};

const RuleT kStep2Rules[] = {
    {203, "ational", "ate", 0, nullptr}, {204, "tional", "tion", 0, nullptr},
    {205, "enci", "ence", 0, nullptr},   {206, "anci", "ance", 0, nullptr},
    {207, "izer", "ize", 0, nullptr},    {208, "abli", "able", 0, nullptr},
    {209, "alli", "al", 0, nullptr},     {210, "entli", "ent", 0, nullptr},
    {211, "eli", "e", 0, nullptr},       {213, "ousli", "ous", 0, nullptr},
    {214, "ization", "ize", 0, nullptr}, {215, "ation", "ate", 0, nullptr},
    {216, "ator", "ate", 0, nullptr},    {217, "alism", "al", 0, nullptr},
    {218, "iveness", "ive", 0, nullptr}, {219, "fulnes", "ful", 0, nullptr},
    {220, "ousness", "ous", 0, nullptr}, {221, "aliti", "al", 0, nullptr},
    {222, "iviti", "ive", 0, nullptr},   {223, "biliti", "ble", 0, nullptr},
    {0, "", "", 0, nullptr},
};

const RuleT kStep3Rules[] = {
    {301, "icate", "ic", 0, nullptr}, {302, "ative", "", 0, nullptr},
    {303, "alize", "al", 0, nullptr}, {304, "iciti", "ic", 0, nullptr},
    {305, "ical", "ic", 0, nullptr},  {308, "ful", "", 0, nullptr},
    {309, "ness", "", 0, nullptr},    {0, "", "", 0, nullptr},
};

const RuleT kStep4Rules[] = {
    {401, "al", "", 1, nullptr},    {402, "ance", "", 1, nullptr},
    {403, "ence", "", 1, nullptr},  {405, "er", "", 1, nullptr},
    {406, "ic", "", 1, nullptr},    {407, "able", "", 1, nullptr},
    {408, "ible", "", 1, nullptr},  {409, "ant", "", 1, nullptr},
    {410, "ement", "", 1, nullptr}, {411, "ment", "", 1, nullptr},
    {412, "ent", "", 1, nullptr},   {423, "sion", "s", 1, nullptr},
    {424, "tion", "t", 1, nullptr}, {415, "ou", "", 1, nullptr},
    {416, "ism", "", 1, nullptr},   {417, "ate", "", 1, nullptr},
    {418, "iti", "", 1, nullptr},   {419, "ous", "", 1, nullptr},
    {420, "ive", "", 1, nullptr},   {421, "ize", "", 1, nullptr},
    {0, "", "", 0, nullptr},
};

const RuleT kStep5aRules[] = {
    {501, "e", "", 1, nullptr},
    {502, "e", "", -1, RemoveAnE},
    {0, "", "", 0, nullptr},
};

const RuleT kStep5bRules[] = {
    {503, "ll", "l", 1, nullptr},
    {0, "", "", 0, nullptr},
};

// Applies the first rule of the table that fits the word of *length letters
// and returns its number, or 0 when none fits. A replacement is longer than
// its suffix only in step 1b1, which follows the removal of at least two
// letters, so the word never outgrows its original buffer.
int32_t ReplaceEnd(unsigned char* word, size_t* length, const RuleT* rule) {
  for (; rule->Id != 0; ++rule) {
    size_t suffixLength = std::strlen(rule->Suffix);
    if (suffixLength > *length) continue;
    size_t root = *length - suffixLength;
    if (std::memcmp(word + root, rule->Suffix, suffixLength) != 0) continue;
    if (WordSize(word, root) <= rule->MinRootSize) continue;
    if (rule->Condition != nullptr && !rule->Condition(word, root)) continue;
    size_t replacementLength = std::strlen(rule->Replacement);
    std::memcpy(word + root, rule->Replacement, replacementLength);
    *length = root + replacementLength;
    word[*length] = '\0';
    return rule->Id;
  }
  return 0;
}

}  // namespace

int Stem(unsigned char* word) {
  size_t length = 0;
  for (; word[length] != '\0'; ++length) {
    unsigned char c = word[length];
    if (c >= 'A' && c <= 'Z') {
      word[length] = static_cast<unsigned char>(c - 'A' + 'a');
    } else if (c < 'a' || c > 'z') {
      return 0;
    }
  }
  ReplaceEnd(word, &length, kStep1aRules);
  int32_t rule = ReplaceEnd(word, &length, kStep1bRules);
  if (rule == 106 || rule == 107) ReplaceEnd(word, &length, kStep1b1Rules);
  ReplaceEnd(word, &length, kStep1cRules);
  ReplaceEnd(word, &length, kStep2Rules);
  ReplaceEnd(word, &length, kStep3Rules);
  ReplaceEnd(word, &length, kStep4Rules);
  ReplaceEnd(word, &length, kStep5aRules);
  ReplaceEnd(word, &length, kStep5bRules);
  return 1;
}
