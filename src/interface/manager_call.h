// The calling frame of exported functions on an index manager handle: the
// frame of ExportedCall, and a handle that is not a live index manager gets
// StatusNotIndexFile instead of being touched.

#ifndef TARVIS_INTERFACE_MANAGER_CALL_H_
#define TARVIS_INTERFACE_MANAGER_CALL_H_

#include "interface/exported_call.h"
#include "interface/live_handles.h"

class IndexManagerT;

// Runs call(manager, status) inside the frame when manager is live and
// returns its result; onFailure otherwise.
template <typename Result, typename Call>
Result OnManager(IndexManagerT* manager, StatusCodeT* status, Result onFailure,
                 Call&& call) noexcept {
  return ExportedCall(status, onFailure, [&](StatusCodeT* s) -> Result {
    if (!IsLiveHandle(manager, HandleKind::kIndexManager)) {
      *s = StatusNotIndexFile;
      return onFailure;
    }
    return call(manager, s);
  });
}

template <typename Call>
void OnManager(IndexManagerT* manager, StatusCodeT* status,
               Call&& call) noexcept {
  ExportedCall(status, [&](StatusCodeT* s) {
    if (!IsLiveHandle(manager, HandleKind::kIndexManager)) {
      *s = StatusNotIndexFile;
      return;
    }
    call(manager, s);
  });
}

#endif  // TARVIS_INTERFACE_MANAGER_CALL_H_
