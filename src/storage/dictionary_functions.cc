// DictionaryFunctionsT: a dictionary without keys (every operation succeeds
// and finds nothing), and the walk over the keys that match a wildcard
// pattern.

#include "storage/dictionary_functions.h"

#include <cstring>

namespace {

// What a key length holds until an operation delivers a key.
constexpr uint32_t kNoKey = UINT32_MAX;
constexpr uint32_t kLongestKey = 255;

}  // namespace

DictionaryFunctionsT::~DictionaryFunctionsT() = default;

void DictionaryFunctionsT::DF_FindKey(void*, unsigned char*, uint32_t&,
                                      StatusCodeT* status) {
  if (status != nullptr) *status = 0;
}

void DictionaryFunctionsT::DF_CurrentKey(void*, unsigned char*, uint32_t&,
                                         StatusCodeT* status) {
  if (status != nullptr) *status = 0;
}

void DictionaryFunctionsT::DF_NextKey(void*, unsigned char*, uint32_t&,
                                      StatusCodeT* status) {
  if (status != nullptr) *status = 0;
}

void DictionaryFunctionsT::DF_PreviousKey(void*, unsigned char*, uint32_t&,
                                          StatusCodeT* status) {
  if (status != nullptr) *status = 0;
}

int DictionaryFunctionsT::ProcessPattern(const unsigned char* pattern,
                                         uint32_t length, uint32_t kind) {
  if (kind == kWildCardPatternKind &&
      !Pattern.ProcessWildCardPattern(pattern, length)) {
    return 0;
  }
  PatternKind = kind;
  return 1;
}

int DictionaryFunctionsT::ProcessWildCardPattern(const unsigned char* pattern,
                                                 uint32_t length) {
  return ProcessPattern(pattern, length, kWildCardPatternKind);
}

void DictionaryFunctionsT::GetFirstMatch(void* cursor, unsigned char* key,
                                         uint32_t& length,
                                         StatusCodeT* status) {
  if (PatternKind != kWildCardPatternKind) {
    *status = StatusNotFound;
    return;
  }
  GetFirstWildCardMatch(cursor, key, length, status);
}

void DictionaryFunctionsT::GetNextMatch(void* cursor, unsigned char* key,
                                        uint32_t& length, StatusCodeT* status) {
  if (PatternKind != kWildCardPatternKind) {
    *status = StatusNotFound;
    return;
  }
  GetNextWildCardMatch(cursor, key, length, status);
}

void DictionaryFunctionsT::GetFirstWildCardMatch(void* cursor,
                                                 unsigned char* key,
                                                 uint32_t& length,
                                                 StatusCodeT* status) {
  // No key is long enough to begin with a prefix of more than 255 bytes.
  uint32_t prefixLength = Pattern.PrefixLength();
  if (prefixLength > kLongestKey) {
    *status = StatusNotFound;
    return;
  }
  unsigned char prefix[kLongestKey];
  if (prefixLength != 0) std::memcpy(prefix, Pattern.Prefix(), prefixLength);
  StatusCodeT found = StatusNoError;
  DF_FindKey(cursor, prefix, prefixLength, &found);
  if (found < 0) {
    *status = found == StatusEndOfWordList ? StatusNotFound : found;
    return;
  }
  TakeMatch(cursor, key, length, true, status);
}

void DictionaryFunctionsT::GetNextWildCardMatch(void* cursor,
                                                unsigned char* key,
                                                uint32_t& length,
                                                StatusCodeT* status) {
  TakeMatch(cursor, key, length, false, status);
}

void DictionaryFunctionsT::TakeMatch(void* cursor, unsigned char* key,
                                     uint32_t& length, bool current,
                                     StatusCodeT* status) {
  const uint32_t prefixLength = Pattern.PrefixLength();
  const unsigned char* prefix = Pattern.Prefix();
  for (;; current = false) {
    uint32_t taken = kNoKey;
    StatusCodeT moved = StatusNoError;
    if (current) {
      DF_CurrentKey(cursor, key, taken, &moved);
    } else {
      DF_NextKey(cursor, key, taken, &moved);
    }
    if (moved == StatusEndOfWordList || (moved >= 0 && taken == kNoKey)) {
      *status = StatusNotFound;
      return;
    }
    if (moved < 0) {
      *status = moved;
      return;
    }
    if (taken > kLongestKey) {
      *status = StatusGeneralError;
      return;
    }
    // Keys in order: the first one without the prefix lies beyond every key
    // that has it.
    if (taken < prefixLength || std::memcmp(key, prefix, prefixLength) != 0) {
      *status = StatusNotFound;
      return;
    }
    if (Pattern.WildCardMatch(key, taken)) {
      length = taken;
      *status = StatusFound;
      return;
    }
  }
}
