// IndexManagerT: the object behind the index manager handle. It owns one
// index file at a time and everything that works on it.

#ifndef TARVIS_MANAGER_INDEX_MANAGER_H_
#define TARVIS_MANAGER_INDEX_MANAGER_H_

#include <cstdint>

#include "tarvis/tarvis.h"

// The marker that every live index manager (and indexer) carries; handles are
// checked against it before use.
constexpr uint32_t kValidityMarker = 0x7B89C641u;

class IndexManagerT {
 public:
  IndexManagerT();
  virtual ~IndexManagerT();
  IndexManagerT(const IndexManagerT&) = delete;
  IndexManagerT& operator=(const IndexManagerT&) = delete;

  // 1 after a successful construction or reset, 0 when the scratch buffer
  // could not be allocated.
  uint32_t ConstructionFlag = 0;
  uint32_t ValidityMarker = kValidityMarker;

 private:
  unsigned char* ScratchBuffer = nullptr;
};

#endif  // TARVIS_MANAGER_INDEX_MANAGER_H_
