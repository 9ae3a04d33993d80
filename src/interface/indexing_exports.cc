// Exported functions of indexing sessions: starting and ending a session,
// feeding words, fields and record boundaries, and handing the finished
// partition to the index.
//
// The working memory a manager gives its sessions is checked when it is set.
//
// A session handle is live from tvStartIndexingSession until the call that
// destroys it: tvEndIndexingSession (whatever its outcome) or
// tvMakeIndexActive. Words and fields on a handle that is not live get
// StatusNotInitializedForIndexing.

#include "indexing/indexer.h"
#include "indexing/work_memory.h"
#include "interface/indexer_call.h"
#include "interface/manager_call.h"
#include "manager/index_manager.h"

// The bounds the public header gives hosts are the session's own.
static_assert(kDefaultIndexingMemory == TV_MIN_INDEXING_MEMORY &&
                  kMaxIndexingMemory == TV_MAX_INDEXING_MEMORY,
              "indexing memory bounds");

namespace {

// Runs call(manager, indexer, status) when both handles are live; the
// indexer is no handle any more afterwards.
template <typename Call>
void OnSessionEnd(IndexManagerT* manager, IndexerT* indexer,
                  StatusCodeT* status, Call&& call) noexcept {
  OnManager(manager, status, [&](IndexManagerT* m, StatusCodeT* s) {
    if (!IsLiveHandle(indexer, HandleKind::kIndexer)) {
      *s = StatusNotInitializedForIndexing;
      return;
    }
    UnregisterHandle(indexer);
    call(m, indexer, s);
  });
}

using FieldMarkerT = void (IndexerT::*)(const unsigned char*, unsigned long,
                                        StatusCodeT*);

void OnField(IndexerT* indexer, const unsigned char* name, unsigned long length,
             StatusCodeT* status, FieldMarkerT marker) {
  OnIndexer(indexer, status, [=](IndexerT* i, StatusCodeT* s) {
    if (name == nullptr && length != 0) {
      *s = StatusMalformedParameter;
      return;
    }
    (i->*marker)(name, length, s);
  });
}

}  // namespace

extern "C" {

TV_EXPORT IndexerT* tvStartIndexingSession(IndexManagerT* manager,
                                           StatusCodeT* status) {
  return OnManager(manager, status, static_cast<IndexerT*>(nullptr),
                   [](IndexManagerT* m, StatusCodeT* s) {
                     IndexerT* indexer = m->IMStartIndexingSession(s);
                     RegisterHandle(indexer, HandleKind::kIndexer);
                     return indexer;
                   });
}

TV_EXPORT void tvSetIndexingMemory(IndexManagerT* manager, unsigned long bytes,
                                   StatusCodeT* status) {
  OnManager(manager, status, [bytes](IndexManagerT* m, StatusCodeT* s) {
    if (!IndexingMemoryIsValid(bytes)) {
      *s = StatusMalformedParameter;
      return;
    }
    m->SetIndexingMemory(bytes);
  });
}

TV_EXPORT void tvIncrementRecord(IndexerT* indexer, WordTypeT* word,
                                 StatusCodeT* status) {
  OnIndexer(indexer, status, [word](IndexerT* i, StatusCodeT* s) {
    i->IncrementRecord(word, s);
  });
}

TV_EXPORT void tvIndexWord(IndexerT* indexer, WordTypeT* word,
                           StatusCodeT* status) {
  OnIndexer(indexer, status, [word](IndexerT* i, StatusCodeT* s) {
    if (word == nullptr) {
      *s = StatusMalformedParameter;
      return;
    }
    i->IndexWord(word, s);
  });
}

TV_EXPORT long tvIndexWordSpecial(IndexerT* indexer, WordTypeT* word,
                                  unsigned long flags, unsigned long value,
                                  StatusCodeT* status) {
  return OnIndexer(indexer, status, 0L, [=](IndexerT* i, StatusCodeT* s) {
    if (word == nullptr) {
      *s = StatusMalformedParameter;
      return 0L;
    }
    return static_cast<long>(i->IndexWordSpecial(word, flags, value, s));
  });
}

TV_EXPORT void tvStartField(IndexerT* indexer, unsigned char* name,
                            unsigned long length, StatusCodeT* status) {
  OnField(indexer, name, length, status, &IndexerT::StartField);
}

TV_EXPORT void tvEndField(IndexerT* indexer, unsigned char* name,
                          unsigned long length, StatusCodeT* status) {
  OnField(indexer, name, length, status, &IndexerT::EndField);
}

TV_EXPORT void tvEndIndexingSession(IndexManagerT* manager, IndexerT* indexer,
                                    WordTypeT* word, StatusCodeT* status) {
  OnSessionEnd(manager, indexer, status,
               [word](IndexManagerT* m, IndexerT* i, StatusCodeT* s) {
                 i->EndIndexingSession(word, s);
                 if (*s < 0) {
                   m->DiscardIndexer(i);
                 } else {
                   m->AddIndexingDataToIndex(i, s);
                 }
               });
}

TV_EXPORT void tvMakeIndexActive(IndexManagerT* manager, IndexerT* indexer,
                                 StatusCodeT* status) {
  OnSessionEnd(manager, indexer, status,
               [](IndexManagerT* m, IndexerT* i, StatusCodeT* s) {
                 m->AddIndexingDataToIndex(i, s);
               });
}

TV_EXPORT void tvFinalProcessIndex(IndexManagerT* /*manager*/,
                                   IndexerT* indexer, StatusCodeT* status) {
  OnIndexer(indexer, status, [](IndexerT* i, StatusCodeT* s) {
    i->EndIndexingSession(nullptr, s);
  });
}

TV_EXPORT unsigned long tvGetTempDiskSpaceUsage(IndexerT* indexer,
                                                unsigned long* bytes,
                                                StatusCodeT* status) {
  unsigned long usage =
      OnIndexer(indexer, status, 0UL, [](IndexerT* i, StatusCodeT*) {
        return static_cast<unsigned long>(i->GetDiskSpaceUsage());
      });
  if (bytes != nullptr) *bytes = usage;
  return usage;
}

TV_EXPORT void tvSetFinalIndexDataPosition(IndexerT* indexer, char* fileName,
                                           StatusCodeT* status) {
  OnIndexer(indexer, status, [fileName](IndexerT* i, StatusCodeT* s) {
    i->SetFinalPositionAndFileName(fileName, s);
  });
}

}  // extern "C"
