// DictionaryFunctionsT: a dictionary without keys. Every operation succeeds
// and finds nothing.

#include "storage/dictionary_functions.h"

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
