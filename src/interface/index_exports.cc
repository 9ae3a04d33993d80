// Exported functions of index files: opening, closing and reloading an
// index, the writer lock's timeout, retrieval sessions and the record
// count.

#include "interface/manager_call.h"
#include "manager/index_manager.h"

extern "C" {

TV_EXPORT void tvOpenIndex(IndexManagerT* manager, char* fileName,
                           StatusCodeT* status) {
  OnManager(manager, status, [fileName](IndexManagerT* m, StatusCodeT* s) {
    m->Open(fileName, s);
  });
}

TV_EXPORT void tvCloseIndex(IndexManagerT* manager, StatusCodeT* status) {
  OnManager(manager, status,
            [](IndexManagerT* m, StatusCodeT* s) { m->Close(s); });
}

TV_EXPORT void tvReloadIndex(IndexManagerT* manager, StatusCodeT* status) {
  OnManager(manager, status,
            [](IndexManagerT* m, StatusCodeT* s) { m->ReloadIndex(s); });
}

TV_EXPORT void tvSetLockTimeout(IndexManagerT* manager,
                                unsigned long milliseconds,
                                StatusCodeT* status) {
  OnManager(manager, status, [milliseconds](IndexManagerT* m, StatusCodeT* s) {
    if (milliseconds > UINT32_MAX) {
      *s = StatusMalformedParameter;
      return;
    }
    m->SetLockTimeout(static_cast<uint32_t>(milliseconds));
  });
}

TV_EXPORT void tvStartRetrievalSession(IndexManagerT* manager,
                                       StatusCodeT* status) {
  OnManager(manager, status, [](IndexManagerT* m, StatusCodeT* s) {
    m->StartRetrievalSession(s);
  });
}

TV_EXPORT void tvEndRetrievalSession(IndexManagerT* manager,
                                     StatusCodeT* status) {
  OnManager(manager, status, [](IndexManagerT* m, StatusCodeT* s) {
    m->EndRetrievalSession(s);
  });
}

TV_EXPORT unsigned long tvNumberOfRecordsInIndex(IndexManagerT* manager,
                                                 unsigned long* count,
                                                 StatusCodeT* status) {
  unsigned long records =
      OnManager(manager, status, 0UL, [](IndexManagerT* m, StatusCodeT*) {
        return static_cast<unsigned long>(m->NumberOfRecordsInIndex());
      });
  if (count != nullptr) *count = records;
  return records;
}

}  // extern "C"
