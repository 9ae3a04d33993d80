// The calling frame of exported functions on an index manager handle: the
// frame of ExportedCall, and a handle that is not a live index manager gets
// StatusNotIndexFile instead of being touched.

#ifndef TARVIS_INTERFACE_MANAGER_CALL_H_
#define TARVIS_INTERFACE_MANAGER_CALL_H_

#include "interface/exported_call.h"
#include "interface/live_handles.h"

class IndexManagerT;

// Runs call(handle, status) inside the frame when handle is live as kind and
// returns its result; otherwise the status is refusal and the result
// onFailure.
template <typename Handle, typename Result, typename Call>
Result OnLiveHandle(Handle* handle, HandleKind kind, StatusCodeT refusal,
                    StatusCodeT* status, Result onFailure,
                    Call&& call) noexcept {
  return ExportedCall(status, onFailure, [&](StatusCodeT* s) -> Result {
    if (!IsLiveHandle(handle, kind)) {
      *s = refusal;
      return onFailure;
    }
    return call(handle, s);
  });
}

template <typename Result, typename Call>
Result OnManager(IndexManagerT* manager, StatusCodeT* status, Result onFailure,
                 Call&& call) noexcept {
  return OnLiveHandle(manager, HandleKind::kIndexManager, StatusNotIndexFile,
                      status, onFailure, call);
}

template <typename Call>
void OnManager(IndexManagerT* manager, StatusCodeT* status,
               Call&& call) noexcept {
  OnManager(manager, status, 0, [&](IndexManagerT* m, StatusCodeT* s) {
    call(m, s);
    return 0;
  });
}

#endif  // TARVIS_INTERFACE_MANAGER_CALL_H_
