// Exported functions of optimisation: merging partitions of an index into
// one, dropping deleted records, and asking whether an index needs it.

#include "interface/manager_call.h"
#include "manager/index_manager.h"

extern "C" {

TV_EXPORT void tvOptomizeIndex(IndexManagerT* manager, unsigned long partitions,
                               StatusCodeT* status) {
  OnManager(manager, status, [partitions](IndexManagerT* m, StatusCodeT* s) {
    m->Optomize(partitions, s);
  });
}

TV_EXPORT void tvPerformOptomization(IndexManagerT* manager, BooleanT big,
                                     StatusCodeT* status) {
  OnManager(manager, status, [big](IndexManagerT* m, StatusCodeT* s) {
    m->PerformOptomization(big, s);
  });
}

TV_EXPORT void tvEndOptomization(IndexManagerT* manager, char* fileName,
                                 unsigned long flags, StatusCodeT* status) {
  OnManager(manager, status, [=](IndexManagerT* m, StatusCodeT* s) {
    m->EndOptomization(fileName, flags, s);
  });
}

TV_EXPORT long tvIndexNeedsLittleOptomization(IndexManagerT* manager,
                                              StatusCodeT* status) {
  return OnManager(manager, status, 0L, [](IndexManagerT* m, StatusCodeT* s) {
    return m->IndexNeedsLittleOptomization(s);
  });
}

TV_EXPORT long tvIndexNeedsBigOptomization(IndexManagerT* manager,
                                           StatusCodeT* status) {
  return OnManager(manager, status, 0L, [](IndexManagerT* m, StatusCodeT* s) {
    return m->IndexNeedsBigOptomization(s);
  });
}

TV_EXPORT unsigned long tvGetNumberOfUnoptomizedInsertions(
    IndexManagerT* manager) {
  return ExportedCallNoStatus(0UL, [manager]() -> unsigned long {
    if (!IsLiveHandle(manager, HandleKind::kIndexManager)) return 0;
    return manager->NumberOfUnoptomizedInsertions();
  });
}

}  // extern "C"
