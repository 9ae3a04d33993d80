// How the package calls the library: with the GIL released, so that other
// Python threads run meanwhile. An index manager serves one thread at a
// time, so the calls on one Index take turns under its own lock; calls on
// different Index objects, in as many threads, run at once (the library
// keeps its process-wide state safe for that).

#ifndef TARVIS_PYTHON_LIBRARY_CALL_H_
#define TARVIS_PYTHON_LIBRARY_CALL_H_

#include <pybind11/pybind11.h>

#include <mutex>

// A call that touches no open index (creating or opening one).
template <class FunctionT>
auto LibraryCall(FunctionT&& call) -> decltype(call()) {
  pybind11::gil_scoped_release release;
  return call();
}

// A call on an open index, which holds the lock it is made under.
template <class IndexT, class FunctionT>
auto LibraryCall(IndexT& index, FunctionT&& call) -> decltype(call()) {
  pybind11::gil_scoped_release release;
  std::lock_guard<std::mutex> lock(index.Mutex());
  return call();
}

#endif  // TARVIS_PYTHON_LIBRARY_CALL_H_
