// IndexManagerT construction and destruction.

#include "manager/index_manager.h"

#include <new>

namespace {
constexpr unsigned kScratchBufferSize = 4096;
}

IndexManagerT::IndexManagerT() {
  ScratchBuffer = new (std::nothrow) unsigned char[kScratchBufferSize];
  ConstructionFlag = ScratchBuffer != nullptr ? 1 : 0;
}

IndexManagerT::~IndexManagerT() {
  delete[] ScratchBuffer;
  ValidityMarker = 0;
}
