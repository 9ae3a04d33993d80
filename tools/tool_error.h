// How the command fails: every failure is a ToolErrorT carrying the exit
// status and the one line that main prints on stderr after "tarvis: ".

#ifndef TARVIS_TOOLS_TOOL_ERROR_H_
#define TARVIS_TOOLS_TOOL_ERROR_H_

#include <string>

#include <tarvis/tarvis.h>

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

// Fails with "<what>: <the library's message>" when the status is negative.
inline void CheckStatus(StatusCodeT status, const std::string& what) {
  if (status < 0) Fail(what + ": " + StatusCodeMessage(status));
}

#endif  // TARVIS_TOOLS_TOOL_ERROR_H_
