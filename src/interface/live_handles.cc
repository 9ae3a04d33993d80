// The registry of live handles. Hosts may use the library from several
// threads (one object per thread), so the registry itself is locked.
//
// Hosts call with the same handle over and over (a word at a time, a hit at a
// time), so each thread remembers the handle it found last together with the
// registry's generation, which every change advances: a remembered handle is
// still registered with its kind while the generation has not moved, and is
// answered without the lock. The generation is 64 bits and never comes back
// to a value once left. A change advances it before it returns, so a call
// that comes after it in any thread (a host that destroys a handle in one
// thread and lets another go on must order the two) reads the new value and
// asks the registry; that is also what catches an address freed and handed
// out again for a new object, which the exports register only after the old
// one was forgotten.

#include "interface/live_handles.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace {

std::mutex& RegistryLock() {
  static std::mutex lock;
  return lock;
}

std::unordered_map<const void*, HandleKind>& Registry() {
  static auto* registry = new std::unordered_map<const void*, HandleKind>;
  return *registry;
}

std::atomic<uint64_t> Generation{1};

struct LastFoundT {
  const void* Handle = nullptr;
  HandleKind Kind = HandleKind::kIndexManager;
  uint64_t Generation = 0;
};
thread_local LastFoundT LastFound;

}  // namespace

void RegisterHandle(const void* handle, HandleKind kind) {
  if (handle == nullptr) return;
  std::lock_guard<std::mutex> guard(RegistryLock());
  Registry()[handle] = kind;
  Generation.fetch_add(1, std::memory_order_release);
}

void UnregisterHandle(const void* handle) {
  std::lock_guard<std::mutex> guard(RegistryLock());
  Registry().erase(handle);
  Generation.fetch_add(1, std::memory_order_release);
}

bool IsLiveHandle(const void* handle, HandleKind kind) {
  if (handle == nullptr) return false;
  const LastFoundT& last = LastFound;
  if (last.Handle == handle && last.Kind == kind &&
      last.Generation == Generation.load(std::memory_order_acquire)) {
    return true;
  }
  std::lock_guard<std::mutex> guard(RegistryLock());
  auto found = Registry().find(handle);
  if (found == Registry().end() || found->second != kind) return false;
  LastFound = {handle, kind, Generation.load(std::memory_order_relaxed)};
  return true;
}
