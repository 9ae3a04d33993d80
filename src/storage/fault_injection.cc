// The counters, trace and armed fault behind the test build's file
// primitives. One mutex guards them: the tests that arm faults are
// single-threaded, but the stress tests run many threads through the same
// primitives.

#include "storage/fault_injection.h"

#include <map>
#include <mutex>

namespace {

struct StreamPlaceT {
  std::string Name;
  uint64_t Offset = 0;
};

struct FaultStateT {
  uint64_t Counts[kIoKinds + 1] = {};
  std::vector<IoCallT> Trace;
  bool Tracing = false;
  bool SyncToDisk = false;
  std::map<FILE*, StreamPlaceT> Streams;
  // The armed fault: the call of that kind whose count reaches FailAt.
  IoCallKindT FailKind = kIoAnyKind;
  uint64_t FailAt = 0;
  bool Persistent = false;
  bool Struck = false;
};

FaultStateT& State() {
  static FaultStateT* state = new FaultStateT;
  return *state;
}

std::mutex& StateMutex() {
  static std::mutex* mutex = new std::mutex;
  return *mutex;
}

using GuardT = std::lock_guard<std::mutex>;

}  // namespace

const char* IoCallKindName(IoCallKindT kind) {
  static const char* const kNames[] = {"open",  "read",   "write",
                                       "seek",  "flush",  "close",
                                       "rename", "remove", "lock",
                                       "any"};
  return kind >= 0 && kind <= kIoAnyKind ? kNames[kind] : "?";
}

void ResetIoCalls() {
  GuardT guard(StateMutex());
  FaultStateT& s = State();
  for (uint64_t& count : s.Counts) count = 0;
  s.Trace.clear();
  s.FailAt = 0;
  s.Persistent = false;
}

void SetIoTracing(bool on) {
  GuardT guard(StateMutex());
  State().Tracing = on;
}

void SetIoSyncToDisk(bool on) {
  GuardT guard(StateMutex());
  State().SyncToDisk = on;
}

int IoSyncToDisk() {
  GuardT guard(StateMutex());
  return State().SyncToDisk;
}

uint64_t IoCallCount(IoCallKindT kind) {
  GuardT guard(StateMutex());
  return State().Counts[kind];
}

const std::vector<IoCallT>& IoCallTrace() { return State().Trace; }

void ArmIoFault(uint64_t n, IoCallKindT kind, bool persistent) {
  GuardT guard(StateMutex());
  FaultStateT& s = State();
  s.FailKind = kind;
  s.FailAt = n == 0 ? 0 : s.Counts[kind] + n;
  s.Persistent = persistent;
  s.Struck = false;
}

void DisarmIoFault() {
  GuardT guard(StateMutex());
  FaultStateT& s = State();
  s.FailAt = 0;
  s.Persistent = false;
}

int IoFaultStruck() {
  GuardT guard(StateMutex());
  return State().Struck;
}

int IoCallFails(IoCallKindT kind, FILE* stream, const std::string* name,
                uint64_t count) {
  GuardT guard(StateMutex());
  FaultStateT& s = State();
  ++s.Counts[kind];
  ++s.Counts[kIoAnyKind];
  if (s.Tracing) {
    IoCallT call{kind, name != nullptr ? *name : std::string(), 0, count};
    if (stream != nullptr) {
      auto found = s.Streams.find(stream);
      if (found != s.Streams.end()) {
        call.File = found->second.Name;
        call.Offset = found->second.Offset;
      }
    }
    if (kind == kIoSeek) {
      call.Offset = count;
      call.Count = 0;
    }
    s.Trace.push_back(std::move(call));
  }
  if (s.FailAt == 0) return 0;
  if (s.FailKind != kIoAnyKind && s.FailKind != kind) return 0;
  const uint64_t reached = s.Counts[s.FailKind];
  if (reached < s.FailAt || (reached > s.FailAt && !s.Persistent)) return 0;
  s.Struck = true;
  return 1;
}

void IoStreamOpened(FILE* stream, const std::string& name) {
  GuardT guard(StateMutex());
  State().Streams[stream] = StreamPlaceT{name, 0};
}

void IoStreamMoved(FILE* stream, uint64_t offset) {
  GuardT guard(StateMutex());
  auto& streams = State().Streams;
  auto found = streams.find(stream);
  if (found != streams.end()) found->second.Offset = offset;
}

void IoStreamAdvanced(FILE* stream, uint64_t bytes) {
  GuardT guard(StateMutex());
  auto& streams = State().Streams;
  auto found = streams.find(stream);
  if (found != streams.end()) found->second.Offset += bytes;
}

void IoStreamClosed(FILE* stream) {
  GuardT guard(StateMutex());
  State().Streams.erase(stream);
}
