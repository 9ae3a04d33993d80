// Exported functions of dictionary browsing and the statistics file, on an
// index manager handle.

#include <cstdint>

#include "interface/live_handles.h"
#include "interface/manager_call.h"
#include "manager/index_manager.h"
#include "query/uncompressed_vector.h"

namespace {

// Runs one browsing step, step(manager, records, hits, status), and widens
// the counts into the host's (optional) outputs when it succeeds.
template <typename Step>
void Browse(IndexManagerT* manager, unsigned long* records,
            unsigned long* hits, StatusCodeT* status, Step&& step) {
  OnManager(manager, status, [&](IndexManagerT* m, StatusCodeT* s) {
    uint32_t r = 0;
    uint32_t h = 0;
    step(m, &r, &h, s);
    if (*s < 0) return;
    if (records != nullptr) *records = r;
    if (hits != nullptr) *hits = h;
  });
}

}  // namespace

extern "C" {

TV_EXPORT void tvFindKey(IndexManagerT* manager, DictionaryCursorT* cursor,
                         unsigned char* key, BooleanT* found,
                         unsigned long* records, unsigned long* hits,
                         StatusCodeT* status) {
  Browse(manager, records, hits, status,
         [=](IndexManagerT* m, uint32_t* r, uint32_t* h, StatusCodeT* s) {
           m->FindKey(cursor, key, found, r, h, s);
         });
}

TV_EXPORT void tvNextKey(IndexManagerT* manager, DictionaryCursorT* cursor,
                         unsigned char* keyOut, unsigned long* records,
                         unsigned long* hits, StatusCodeT* status) {
  Browse(manager, records, hits, status,
         [=](IndexManagerT* m, uint32_t* r, uint32_t* h, StatusCodeT* s) {
           m->NextKey(cursor, keyOut, r, h, s);
         });
}

TV_EXPORT void tvPreviousKey(IndexManagerT* manager, DictionaryCursorT* cursor,
                             unsigned char* keyOut, unsigned long* records,
                             unsigned long* hits, StatusCodeT* status) {
  Browse(manager, records, hits, status,
         [=](IndexManagerT* m, uint32_t* r, uint32_t* h, StatusCodeT* s) {
           m->PreviousKey(cursor, keyOut, r, h, s);
         });
}

TV_EXPORT void tvCurrentKey(IndexManagerT* manager, DictionaryCursorT* cursor,
                            unsigned char* keyOut, unsigned long* records,
                            unsigned long* hits, StatusCodeT* status) {
  Browse(manager, records, hits, status,
         [=](IndexManagerT* m, uint32_t* r, uint32_t* h, StatusCodeT* s) {
           m->CurrentKey(cursor, keyOut, r, h, s);
         });
}

TV_EXPORT QueryVectorBaseT* tvGetCurrentQueryVector(IndexManagerT* manager,
                                                    DictionaryCursorT* cursor,
                                                    StatusCodeT* status) {
  return OnManager(
      manager, status, static_cast<QueryVectorBaseT*>(nullptr),
      [cursor](IndexManagerT* m, StatusCodeT* s) -> QueryVectorBaseT* {
        QueryVectorBaseT* vector = m->GetCurrentQueryVector(cursor, s);
        try {
          RegisterHandle(vector, HandleKind::kResultVector);
        } catch (...) {
          delete vector;
          throw;
        }
        return vector;
      });
}

TV_EXPORT void tvOutputStatsFile(IndexManagerT* manager,
                                 unsigned char* fileName,
                                 StatusCodeT* status) {
  OnManager(manager, status, [fileName](IndexManagerT* m, StatusCodeT* s) {
    m->OutputStatsFile(reinterpret_cast<const char*>(fileName), s);
  });
}

}  // extern "C"
