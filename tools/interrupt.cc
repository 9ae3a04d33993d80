// Ctrl-C during indexing; see interrupt.h.

#include "interrupt.h"

#include <cstring>

volatile std::sig_atomic_t gInterrupted = 0;

namespace {

void OnInterrupt(int) { gInterrupted = 1; }

}  // namespace

InterruptGuardT::InterruptGuardT() {
  gInterrupted = 0;
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = OnInterrupt;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &previous_);
}

InterruptGuardT::~InterruptGuardT() { sigaction(SIGINT, &previous_, nullptr); }
