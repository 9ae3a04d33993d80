// Exported functions of distributed indexing: sessions run apart from any
// index manager, whose partition files are registered in a distributed
// index, or copied into a single-file one, afterwards.

#include "indexing/indexer.h"
#include "interface/indexer_call.h"
#include "interface/manager_call.h"
#include "manager/creation_params.h"
#include "manager/index_manager.h"
#include "storage/allocation.h"
#include "storage/fileclas.h"

extern "C" {

TV_EXPORT IndexerT* tvStartDistributedIndexingSession(
    IndexCreationParametersT* params, StatusCodeT* status) {
  return ExportedCall(
      status, static_cast<IndexerT*>(nullptr),
      [params](StatusCodeT* s) -> IndexerT* {
        if (!IsLiveHandle(params, HandleKind::kCreationParams)) {
          *s = StatusMalformedParameter;
          return nullptr;
        }
        IndexerT* indexer = NewOrStatus<IndexerT>(s, s);
        if (indexer == nullptr) return nullptr;
        IndexingOptionsT options = MakeIndexingOptions(
            params->IndexMode, params->OptionBlock,
            params->FixedRecordDataLength, params->FixedRecordIDLength);
        options.WorkMemory = params->IndexingMemory;
        if (*s == StatusNoError) indexer->StartTextIndexingSession(&options, s);
        if (*s < 0) {
          delete indexer;
          return nullptr;
        }
        RegisterHandle(indexer, HandleKind::kIndexer);
        return indexer;
      });
}

TV_EXPORT void tvEndDistributedIndexingSession(IndexerT* indexer,
                                               StatusCodeT* status) {
  OnIndexer(indexer, status, [](IndexerT* i, StatusCodeT* s) {
    // Without a name the partition could not be found again: the session
    // stays open for the host to name it.
    if (!i->HasFinalName()) {
      *s = StatusMalformedParameter;
      return;
    }
    UnregisterHandle(i);
    i->EndIndexingSession(nullptr, s);
    if (*s >= 0) {
      if (FileClassT* partition = i->GetIndexFile()) {
        partition->Close();
        delete partition;
      }
    }
    delete i;
  });
}

TV_EXPORT void tvAppendDistributedDataToIndex(IndexManagerT* manager,
                                              char* fileName,
                                              StatusCodeT* status) {
  OnManager(manager, status, [fileName](IndexManagerT* m, StatusCodeT* s) {
    m->AddPartitionToDistributedIndex(nullptr, fileName, s);
  });
}

TV_EXPORT void tvAddPartitionFileToIndex(IndexManagerT* manager,
                                         char* fileName, StatusCodeT* status) {
  OnManager(manager, status, [fileName](IndexManagerT* m, StatusCodeT* s) {
    m->AddPartitionToIndex(fileName, s);
  });
}

}  // extern "C"
