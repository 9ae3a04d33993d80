// The handles the library has given out and not yet taken back. Every
// exported function checks the handles it is given against this registry
// before it touches them, so a null, stale, foreign or mistyped handle gets a
// status instead of a crash.

#ifndef TARVIS_INTERFACE_LIVE_HANDLES_H_
#define TARVIS_INTERFACE_LIVE_HANDLES_H_

enum class HandleKind {
  kIndexManager,
  kIndexer,
  kCreationParams,
  kResultVector,
  kStopList,
  kHighlightMatcher,
  kRobotsParser,
};

// Records a handle just created (null is ignored).
void RegisterHandle(const void* handle, HandleKind kind);
// Forgets a handle about to be destroyed.
void UnregisterHandle(const void* handle);
// True when handle was registered with that kind and not yet forgotten.
bool IsLiveHandle(const void* handle, HandleKind kind);

#endif  // TARVIS_INTERFACE_LIVE_HANDLES_H_
