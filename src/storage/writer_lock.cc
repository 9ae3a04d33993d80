// WriterLockT: taking the writer lock with a bounded wait.
//
// The wait polls: a blocking lock request cannot be given a deadline
// without signals, which a library must not take from its host. The pause
// between tries starts at a millisecond and doubles up to 20, so a commit
// that waits for a short one loses little, and a long wait costs a few
// dozen system calls a second.

#include "storage/writer_lock.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

constexpr uint32_t kLongestPauseMs = 20;

}  // namespace

WriterLockT::ResultT WriterLockT::Acquire(const std::string& name,
                                          uint32_t timeoutMs) {
  Release();
  using ClockT = std::chrono::steady_clock;
  const ClockT::time_point deadline =
      ClockT::now() + std::chrono::milliseconds(timeoutMs);
  uint32_t pauseMs = 1;
  for (;;) {
    const int fd = OsOpenForLock(name);
    if (fd < 0) return kFailed;
    const int taken = OsTryLock(fd);
    if (taken < 0) {
      OsCloseLock(fd);
      return kFailed;
    }
    FileIdentityT locked;
    FileIdentityT named;
    if (taken == 1) {
      if (!OsDescriptorIdentity(fd, &locked)) {
        OsCloseLock(fd);
        return kFailed;
      }
      // The name may have moved to a new file while the lock was awaited:
      // that one is the index now.
      if (OsNameIdentity(name, &named) && named == locked) {
        Fd = fd;
        Locked = locked;
        return kLocked;
      }
    }
    OsCloseLock(fd);
    const ClockT::time_point now = ClockT::now();
    if (taken == 1) continue;
    if (now >= deadline) return kTimedOut;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - now);
    std::this_thread::sleep_for(std::min<std::chrono::milliseconds>(
        left, std::chrono::milliseconds(pauseMs)));
    pauseMs = std::min(pauseMs * 2, kLongestPauseMs);
  }
}

void WriterLockT::Release() {
  OsCloseLock(Fd);
  Fd = -1;
  Locked = FileIdentityT{};
}
