// How the host component fails: every failure is a HostErrorT carrying the
// library status that best names it and one line of text for a person
// ("notes.idx: query: ..."). The command prints the line; the Python package
// raises it as an exception with the status, its name and its message.

#ifndef TARVIS_HOST_HOST_ERROR_H_
#define TARVIS_HOST_HOST_ERROR_H_

#include <string>

#include <tarvis/tarvis.h>

struct HostErrorT {
  StatusCodeT Status;
  std::string Message;
};

[[noreturn]] void HostFail(StatusCodeT status, const std::string& message);

// Fails with "<what>: <the library's message>" when the status is negative.
void CheckStatus(StatusCodeT status, const std::string& what);

// The name of a status code as the public header spells it
// ("StatusQuerySyntaxError"); "StatusUnknown" for a code it does not list.
const char* StatusName(StatusCodeT status);

#endif  // TARVIS_HOST_HOST_ERROR_H_
