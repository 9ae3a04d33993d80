// DictionaryFunctionsT: the key-browsing interface of a dictionary. A
// dictionary that can be browsed (the term dictionary of a partition) derives
// from it and replaces the four operations; code that only walks keys in
// order, such as the expansion of wildcard terms, is written against it.
//
// Each operation takes an opaque cursor of the implementing dictionary, a key
// buffer (bytes, no length prefix; at least 255 bytes for the keys returned)
// with its length, and a status that it sets.
//
// The wildcard walk. A pattern is compiled once (ProcessWildCardPattern);
// GetFirstWildCardMatch then positions the dictionary at the pattern's
// literal prefix and GetNextWildCardMatch moves on, each returning the next
// matching key with status StatusFound. Keys are taken in order and only
// while they begin with the prefix, so a walk reads the keys of the prefix's
// range and no others; it ends with StatusNotFound at the first key beyond
// that range, at the end of the dictionary, and when an operation returns no
// key. A negative status from the dictionary ends it as well.

#ifndef TARVIS_STORAGE_DICTIONARY_FUNCTIONS_H_
#define TARVIS_STORAGE_DICTIONARY_FUNCTIONS_H_

#include <cstdint>

#include "tarvis/tarvis.h"
#include "text/wildcard_pattern.h"

// Pattern kinds of ProcessPattern.
constexpr uint32_t kWildCardPatternKind = 2;

class DictionaryFunctionsT {
 public:
  DictionaryFunctionsT() = default;
  virtual ~DictionaryFunctionsT();
  DictionaryFunctionsT(const DictionaryFunctionsT&) = delete;
  DictionaryFunctionsT& operator=(const DictionaryFunctionsT&) = delete;

  // Positions the cursor on the key, or on the first key after it.
  virtual void DF_FindKey(void* cursor, unsigned char* key, uint32_t& length,
                          StatusCodeT* status);
  // Returns the key at the cursor.
  virtual void DF_CurrentKey(void* cursor, unsigned char* key,
                             uint32_t& length, StatusCodeT* status);
  // Steps the cursor to the next key and returns it.
  virtual void DF_NextKey(void* cursor, unsigned char* key, uint32_t& length,
                          StatusCodeT* status);
  // Steps the cursor to the previous key and returns it.
  virtual void DF_PreviousKey(void* cursor, unsigned char* key,
                              uint32_t& length, StatusCodeT* status);

  // Takes a pattern of the given kind; a wildcard pattern (kind 2) is
  // compiled, other kinds are kept as a kind only and match nothing. 1, or 0
  // when the pattern is too long (the previous pattern stays).
  int ProcessPattern(const unsigned char* pattern, uint32_t length,
                     uint32_t kind);
  // Compiles a wildcard pattern: "*" matches the rest of a key, "?" any one
  // byte, a backslash makes the next byte literal. 1, or 0 when the pattern
  // is longer than WildCardPatternT::kMaxPatternLength.
  int ProcessWildCardPattern(const unsigned char* pattern, uint32_t length);

  // The walk over the pattern's matches (see above): the wildcard walk for a
  // wildcard pattern; for a pattern of another kind, StatusNotFound at once.
  void GetFirstMatch(void* cursor, unsigned char* key, uint32_t& length,
                     StatusCodeT* status);
  void GetNextMatch(void* cursor, unsigned char* key, uint32_t& length,
                    StatusCodeT* status);
  void GetFirstWildCardMatch(void* cursor, unsigned char* key,
                             uint32_t& length, StatusCodeT* status);
  void GetNextWildCardMatch(void* cursor, unsigned char* key, uint32_t& length,
                            StatusCodeT* status);

  // 1 when key[0 .. length - 1] matches the compiled pattern.
  int WildCardMatch(const unsigned char* key, uint32_t length) const {
    return Pattern.WildCardMatch(key, length);
  }
  const WildCardPatternT& CompiledPattern() const { return Pattern; }

 private:
  // Takes keys from the one DF_CurrentKey or DF_NextKey delivered (stepping
  // on with DF_NextKey) until one matches or the walk ends.
  void TakeMatch(void* cursor, unsigned char* key, uint32_t& length,
                 bool current, StatusCodeT* status);

  WildCardPatternT Pattern;
  uint32_t PatternKind = kWildCardPatternKind;
};

#endif  // TARVIS_STORAGE_DICTIONARY_FUNCTIONS_H_
