// The package's exceptions: tarvis.TarvisError for every negative status
// (with .status, .name and the library's .message), and its subclass
// tarvis.QuerySyntaxError for a malformed query. Failures of the host
// component (HostErrorT) become these wherever they cross into Python.

#ifndef TARVIS_PYTHON_ERRORS_H_
#define TARVIS_PYTHON_ERRORS_H_

#include <pybind11/pybind11.h>

#include <string>

#include "host_error.h"

// A failure while reading a typed query: always a QuerySyntaxError.
struct QueryErrorT : HostErrorT {};

void RegisterErrors(pybind11::module_& module);

// Throws a HostErrorT that becomes a TarvisError.
[[noreturn]] void Raise(StatusCodeT status, const std::string& message);

// Runs a query conversion, turning its failures into QueryErrorT.
template <class FunctionT>
auto ReadQuery(FunctionT&& convert) -> decltype(convert()) {
  try {
    return convert();
  } catch (const HostErrorT& error) {
    throw QueryErrorT{error};
  }
}

#endif  // TARVIS_PYTHON_ERRORS_H_
