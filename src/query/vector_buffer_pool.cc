// The window pool: a few kept buffers and the count of open sessions, under
// one lock (taken once per window, never per hit).

#include "query/vector_buffer_pool.h"

#include <mutex>

#include "storage/allocation.h"

namespace {

struct PoolT {
  std::mutex Lock;
  uint32_t OpenSessions = 0;
  TermInstanceT* Kept[kPooledWindows] = {};
  uint32_t KeptCount = 0;

  // Called with the lock held.
  void FreeKept() {
    while (KeptCount > 0) delete[] Kept[--KeptCount];
  }
};

// Never destroyed: a vector held in a host's static object may be dropped
// after the library's statics are gone. Windows are kept only while a
// session is open, so nothing is left when the host ends its sessions.
PoolT& Pool() {
  static PoolT* pool = new PoolT;
  return *pool;
}

}  // namespace

void OpenVectorBufferPool() {
  PoolT& pool = Pool();
  std::lock_guard<std::mutex> hold(pool.Lock);
  ++pool.OpenSessions;
}

void CloseVectorBufferPool() {
  PoolT& pool = Pool();
  std::lock_guard<std::mutex> hold(pool.Lock);
  if (pool.OpenSessions > 0) --pool.OpenSessions;
  if (pool.OpenSessions == 0) pool.FreeKept();
}

TermInstanceT* TakePooledWindow() {
  PoolT& pool = Pool();
  {
    std::lock_guard<std::mutex> hold(pool.Lock);
    if (pool.KeptCount > 0) return pool.Kept[--pool.KeptCount];
  }
  return NewArrayOrNull<TermInstanceT>(kPooledWindowEntries);
}

void GivePooledWindow(TermInstanceT* window) {
  if (window == nullptr) return;
  PoolT& pool = Pool();
  {
    std::lock_guard<std::mutex> hold(pool.Lock);
    if (pool.OpenSessions > 0 && pool.KeptCount < kPooledWindows) {
      pool.Kept[pool.KeptCount++] = window;
      return;
    }
  }
  delete[] window;
}

uint32_t PooledWindowCount() {
  PoolT& pool = Pool();
  std::lock_guard<std::mutex> hold(pool.Lock);
  return pool.KeptCount;
}
