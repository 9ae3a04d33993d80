// The registry of live handles. Hosts may use the library from several
// threads (one object per thread), so the registry itself is locked.

#include "interface/live_handles.h"

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

}  // namespace

void RegisterHandle(const void* handle, HandleKind kind) {
  if (handle == nullptr) return;
  std::lock_guard<std::mutex> guard(RegistryLock());
  Registry()[handle] = kind;
}

void UnregisterHandle(const void* handle) {
  std::lock_guard<std::mutex> guard(RegistryLock());
  Registry().erase(handle);
}

bool IsLiveHandle(const void* handle, HandleKind kind) {
  if (handle == nullptr) return false;
  std::lock_guard<std::mutex> guard(RegistryLock());
  auto found = Registry().find(handle);
  return found != Registry().end() && found->second == kind;
}
