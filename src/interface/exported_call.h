// The calling frame of every exported function: the status is written 0
// before anything else (a null status pointer is tolerated), and no C++
// exception leaves the library — running out of memory becomes
// StatusNotEnoughMemory and anything else StatusGeneralError. The catch is
// the net for standard containers and strings only: objects the library
// allocates itself report the failure as a status (storage/allocation.h).

#ifndef TARVIS_INTERFACE_EXPORTED_CALL_H_
#define TARVIS_INTERFACE_EXPORTED_CALL_H_

#include <new>
#include <type_traits>

#include "tarvis/tarvis.h"

// Runs body(status) inside the frame. body receives a status pointer that is
// never null and returns the exported function's result; onFailure is
// returned when an exception was caught.
template <typename Result, typename Body>
Result ExportedCall(StatusCodeT* status, Result onFailure, Body&& body) noexcept {
  StatusCodeT ignored = StatusNoError;
  StatusCodeT* out = status != nullptr ? status : &ignored;
  *out = StatusNoError;
  try {
    return body(out);
  } catch (const std::bad_alloc&) {
    *out = StatusNotEnoughMemory;
  } catch (...) {
    *out = StatusGeneralError;
  }
  return onFailure;
}

// The same for exported functions without a result.
template <typename Body>
void ExportedCall(StatusCodeT* status, Body&& body) noexcept {
  StatusCodeT ignored = StatusNoError;
  StatusCodeT* out = status != nullptr ? status : &ignored;
  *out = StatusNoError;
  try {
    body(out);
  } catch (const std::bad_alloc&) {
    *out = StatusNotEnoughMemory;
  } catch (...) {
    *out = StatusGeneralError;
  }
}

// For the few exported functions without a status argument.
template <typename Result, typename Body>
Result ExportedCallNoStatus(Result onFailure, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return onFailure;
  }
}

template <typename Body>
void ExportedCallNoStatus(Body&& body) noexcept {
  try {
    body();
  } catch (...) {
  }
}

#endif  // TARVIS_INTERFACE_EXPORTED_CALL_H_
