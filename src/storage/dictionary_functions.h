// DictionaryFunctionsT: the key-browsing interface of a dictionary. A
// dictionary that can be browsed (the term dictionary of a partition) derives
// from it and replaces the four operations; code that only walks keys in
// order, such as the expansion of wildcard terms, is written against it.
//
// Each operation takes an opaque cursor of the implementing dictionary, a key
// buffer (bytes, no length prefix; at least 255 bytes for the keys returned)
// with its length, and a status that it sets.

#ifndef TARVIS_STORAGE_DICTIONARY_FUNCTIONS_H_
#define TARVIS_STORAGE_DICTIONARY_FUNCTIONS_H_

#include <cstdint>

#include "tarvis/tarvis.h"

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
};

#endif  // TARVIS_STORAGE_DICTIONARY_FUNCTIONS_H_
