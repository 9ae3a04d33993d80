// The calling frame of exported functions on an indexing session handle: the
// frame of ExportedCall, and a handle that is not a live indexer gets
// StatusNotInitializedForIndexing instead of being touched.

#ifndef TARVIS_INTERFACE_INDEXER_CALL_H_
#define TARVIS_INTERFACE_INDEXER_CALL_H_

#include "interface/manager_call.h"

class IndexerT;

template <typename Result, typename Call>
Result OnIndexer(IndexerT* indexer, StatusCodeT* status, Result onFailure,
                 Call&& call) noexcept {
  return OnLiveHandle(indexer, HandleKind::kIndexer,
                      StatusNotInitializedForIndexing, status, onFailure, call);
}

template <typename Call>
void OnIndexer(IndexerT* indexer, StatusCodeT* status, Call&& call) noexcept {
  OnIndexer(indexer, status, 0, [&](IndexerT* i, StatusCodeT* s) {
    call(i, s);
    return 0;
  });
}

#endif  // TARVIS_INTERFACE_INDEXER_CALL_H_
