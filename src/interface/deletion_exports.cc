// Exported functions of record deletion, on an index manager handle during a
// retrieval session.

#include "interface/manager_call.h"
#include "manager/index_manager.h"

extern "C" {

TV_EXPORT void tvDeleteRecordNum(IndexManagerT* manager, unsigned long record,
                                 StatusCodeT* status) {
  OnManager(manager, status, [record](IndexManagerT* m, StatusCodeT* s) {
    m->DeleteRecordNum(record, s);
  });
}

TV_EXPORT void tvDeleteRecordNums(IndexManagerT* manager,
                                  unsigned long* records, unsigned long count,
                                  StatusCodeT* status) {
  OnManager(manager, status, [=](IndexManagerT* m, StatusCodeT* s) {
    m->DeleteRecordNums(records, count, s);
  });
}

TV_EXPORT void tvUnDeleteRecordNum(IndexManagerT* manager, unsigned long record,
                                   StatusCodeT* status) {
  OnManager(manager, status, [record](IndexManagerT* m, StatusCodeT* s) {
    m->UnDeleteRecordNum(record, s);
  });
}

TV_EXPORT void tvUnDeleteRecordNums(IndexManagerT* manager,
                                    unsigned long* records, unsigned long count,
                                    StatusCodeT* status) {
  OnManager(manager, status, [=](IndexManagerT* m, StatusCodeT* s) {
    m->UnDeleteRecordNums(records, count, s);
  });
}

TV_EXPORT int tvIsRecordDeleted(IndexManagerT* manager, unsigned long record,
                                StatusCodeT* status) {
  return OnManager(manager, status, 0,
                   [record](IndexManagerT* m, StatusCodeT* s) {
                     return m->IsRecordDeleted(record, s);
                   });
}

TV_EXPORT unsigned long tvGetNumberOfRecordsDeleted(IndexManagerT* manager,
                                                    StatusCodeT* status) {
  return OnManager(manager, status, 0UL, [](IndexManagerT* m, StatusCodeT* s) {
    return static_cast<unsigned long>(m->GetNumberOfRecordsDeleted(s));
  });
}

TV_EXPORT void tvOutputDeletedRecords(IndexManagerT* manager,
                                      unsigned long* records,
                                      StatusCodeT* status) {
  OnManager(manager, status, [records](IndexManagerT* m, StatusCodeT* s) {
    m->OutputDeletedRecords(records, s);
  });
}

}  // extern "C"
