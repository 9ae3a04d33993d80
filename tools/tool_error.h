// How the command fails: every failure is a ToolErrorT carrying the exit
// status and the one line that main prints on stderr after "tarvis: ", or
// a HostErrorT of the host component (exit status 1).

#ifndef TARVIS_TOOLS_TOOL_ERROR_H_
#define TARVIS_TOOLS_TOOL_ERROR_H_

#include <string>

#include <tarvis/tarvis.h>

#include "host_error.h"

enum {
  kExitSuccess = 0,
  kExitFailure = 1,
  kExitUsage = 2,
  kExitInterrupted = 130
};

struct ToolErrorT {
  int ExitStatus;
  std::string Message;
};

// A usage error (exit status 2).
[[noreturn]] inline void UsageError(const std::string& message) {
  throw ToolErrorT{kExitUsage, message};
}

// Any other failure (exit status 1).
[[noreturn]] inline void Fail(const std::string& message) {
  throw ToolErrorT{kExitFailure, message};
}

#endif  // TARVIS_TOOLS_TOOL_ERROR_H_
