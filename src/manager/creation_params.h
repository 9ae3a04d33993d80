// The creation parameter record a host fills, through a small
// set-by-identifier interface, to describe a new index. Its leading 160-byte
// block (the option flags and a reserved area) is copied unchanged into the
// index header, so every later session on the index makes the same choices.

#ifndef TARVIS_MANAGER_CREATION_PARAMS_H_
#define TARVIS_MANAGER_CREATION_PARAMS_H_

#include <cstdint>

#include "format/option_flags.h"

struct IndexCreationParametersT {
  // Word 0: the option flags; words 1 to 39: reserved, zero.
  uint32_t OptionBlock[kOptionBlockWords];
  uint32_t FixedRecordDataLength;
  uint16_t FixedRecordIDLength;
  uint32_t IndexMode;
  char IndexFileName[512];
  uint32_t SetMarker;
  // 1 when the last file name given did not fit IndexFileName; creation then
  // refuses the record instead of using a cut or stale name.
  uint32_t FileNameRefused;
  // Working memory of distributed sessions, as given; the session checks it.
  uint64_t IndexingMemory;

  // Every byte back to 0.
  void Reset();
  // Applies one identifier of tvSetIndexCreationParams; see the public header.
  void Set(long id, const void* value);
};

#endif  // TARVIS_MANAGER_CREATION_PARAMS_H_
