// Running out of memory, the one rule of the library.
//
// An object or array the library allocates itself is made here, never with
// a bare new: NewOrNull and the array forms answer null when memory runs
// out, and NewOrStatus answers null with StatusNotEnoughMemory in the
// caller's status. An object whose constructor allocates more and tells by
// IsValid() whether it managed (file objects, run files, run builders) is
// not made when it did not: it is destroyed and the answer is null, so the
// "allocate, then check it is valid" step is never written out by a caller.
// What cannot be made is a failure like any other: the caller reports it and
// leaves its state as its other failures do.
//
// Standard containers and strings throw std::bad_alloc instead. The
// exported calling frame (interface/exported_call.h) is the net for them: it
// turns the exception into StatusNotEnoughMemory at the boundary. A routine
// that must put its own state right before such a failure leaves it (the
// query parser's node lists) catches it where it is and reports the status
// itself.
//
// The text utilities stand beside the layers and include nothing of them;
// their few allocations follow the same rule written out (nothrow, checked).

#ifndef TARVIS_STORAGE_ALLOCATION_H_
#define TARVIS_STORAGE_ALLOCATION_H_

#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>

#include "tarvis/tarvis.h"

namespace allocation_internal {

template <typename T, typename = void>
struct HasIsValid : std::false_type {};
template <typename T>
struct HasIsValid<T, std::void_t<decltype(std::declval<const T&>().IsValid())>>
    : std::true_type {};

}  // namespace allocation_internal

// A new T made from args (without args default-initialised, as `new T`);
// null when memory runs out or a T with IsValid() says it is not.
template <typename T, typename... Args>
T* NewOrNull(Args&&... args) {
  T* object;
  if constexpr (sizeof...(Args) == 0) {
    object = new (std::nothrow) T;
  } else {
    object = new (std::nothrow) T(std::forward<Args>(args)...);
  }
  if constexpr (allocation_internal::HasIsValid<T>::value) {
    if (object != nullptr && !object->IsValid()) {
      delete object;
      return nullptr;
    }
  }
  return object;
}

// count default-initialised Ts (bytes are left as they come); null when
// memory runs out.
template <typename T>
T* NewArrayOrNull(size_t count) {
  return new (std::nothrow) T[count];
}

// count value-initialised Ts (zero bytes); null when memory runs out.
template <typename T>
T* NewZeroedArrayOrNull(size_t count) {
  return new (std::nothrow) T[count]();
}

// NewOrNull, with StatusNotEnoughMemory in status when it answers null. The
// status comes first here, before the constructor's arguments.
template <typename T, typename... Args>
T* NewOrStatus(StatusCodeT* status, Args&&... args) {
  T* object = NewOrNull<T>(std::forward<Args>(args)...);
  if (object == nullptr) *status = StatusNotEnoughMemory;
  return object;
}

// NewArrayOrNull, with StatusNotEnoughMemory in status when it answers null.
template <typename T>
T* NewArrayOrStatus(size_t count, StatusCodeT* status) {
  T* array = NewArrayOrNull<T>(count);
  if (array == nullptr) *status = StatusNotEnoughMemory;
  return array;
}

#endif  // TARVIS_STORAGE_ALLOCATION_H_
