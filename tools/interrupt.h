// Ctrl-C while files are indexed: the first one only sets a flag that the
// indexing loops read between files, so that a session ends normally with
// the files done so far; the second takes the default action and ends the
// process at once.

#ifndef TARVIS_TOOLS_INTERRUPT_H_
#define TARVIS_TOOLS_INTERRUPT_H_

#include <signal.h>

#include <csignal>

// Nonzero once Ctrl-C came while a guard was installed.
extern volatile std::sig_atomic_t gInterrupted;

// Notices Ctrl-C while it lives.
class InterruptGuardT {
 public:
  InterruptGuardT();
  ~InterruptGuardT();
  InterruptGuardT(const InterruptGuardT&) = delete;
  InterruptGuardT& operator=(const InterruptGuardT&) = delete;

 private:
  struct sigaction previous_;
};

#endif  // TARVIS_TOOLS_INTERRUPT_H_
