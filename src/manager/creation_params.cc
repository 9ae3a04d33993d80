// The set-by-identifier interface of IndexCreationParametersT. Each identifier
// sets one option bit and clears its rival, or stores one value; every call
// raises the set marker.

#include "manager/creation_params.h"

#include <cstring>

void IndexCreationParametersT::Reset() { std::memset(this, 0, sizeof(*this)); }

void IndexCreationParametersT::Set(long id, const void* value) {
  uint32_t& flags = OptionBlock[0];
  switch (id) {
    case 1:
      flags = (flags | kOptionSingleFile) & ~kOptionDistributed;
      break;
    case 2:
      flags = (flags | kOptionDistributed) & ~kOptionSingleFile;
      break;
    case 3:
      flags = (flags | kOptionVariableRecordData) & ~kOptionFixedRecordData;
      FixedRecordDataLength = 0;
      break;
    case 4:
      flags = (flags | kOptionFixedRecordData) & ~kOptionVariableRecordData;
      if (value != nullptr) {
        std::memcpy(&FixedRecordDataLength, value, sizeof(uint32_t));
      }
      break;
    case 5:
      flags = (flags | kOptionRecordData32) & ~kOptionRecordDataOffsets;
      break;
    case 6:
      flags = (flags | kOptionRecordDataOffsets) & ~kOptionRecordData32;
      break;
    case 7:
      flags = (flags | kOptionFixedRecordID) & ~kOptionVariableRecordID;
      if (value != nullptr) {
        std::memcpy(&FixedRecordIDLength, value, sizeof(uint16_t));
      }
      break;
    case 8:
      flags = (flags | kOptionVariableRecordID) & ~kOptionFixedRecordID;
      FixedRecordIDLength = 0;
      break;
    case 9:
      // Sets the 32-bit layout without clearing the offset bit; when both
      // end up set, the 32-bit layout is the one used.
      flags |= kOptionRecordID32;
      break;
    case 10:
      flags = (flags | kOptionRecordIDOffsets) & ~kOptionRecordID32;
      break;
    case 11:
      if (value != nullptr) std::memcpy(&IndexMode, value, sizeof(uint32_t));
      break;
    case 12:
      if (value != nullptr) {
        const char* name = static_cast<const char*>(value);
        size_t length = strnlen(name, sizeof(IndexFileName));
        if (length < sizeof(IndexFileName)) {
          std::memcpy(IndexFileName, name, length + 1);
          FileNameRefused = 0;
        } else {
          IndexFileName[0] = '\0';
          FileNameRefused = 1;
        }
      }
      break;
    case 13:
      flags = (flags | kOptionWeightLogSum) & ~kOptionWeightMaxFrequency;
      break;
    case 14:
      flags = (flags | kOptionWeightMaxFrequency) & ~kOptionWeightLogSum;
      break;
    case 15:
      if (value != nullptr) {
        unsigned long bytes;
        std::memcpy(&bytes, value, sizeof(bytes));
        IndexingMemory = bytes;
      }
      break;
    default:
      break;
  }
  SetMarker = 1;
}
