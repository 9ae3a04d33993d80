// How the package calls the library: with the GIL released, so that other
// Python threads run meanwhile, and under one process-wide lock, because
// the library takes none and keeps process-wide state (the temporary-file
// names, the query vectors' buffer pool). Threads may each open their own
// Index; their calls into the library take turns.

#ifndef TARVIS_PYTHON_LIBRARY_CALL_H_
#define TARVIS_PYTHON_LIBRARY_CALL_H_

#include <pybind11/pybind11.h>

#include <mutex>

std::mutex& LibraryMutex();

template <class FunctionT>
auto LibraryCall(FunctionT&& call) -> decltype(call()) {
  pybind11::gil_scoped_release release;
  std::lock_guard<std::mutex> lock(LibraryMutex());
  return call();
}

#endif  // TARVIS_PYTHON_LIBRARY_CALL_H_
