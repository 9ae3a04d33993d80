// Exported functions of the index manager handle and the creation parameter
// record, and the process-wide location of temporary files.

#include <cstring>

#include "interface/exported_call.h"
#include "interface/live_handles.h"
#include "interface/manager_call.h"
#include "manager/creation_params.h"
#include "manager/index_manager.h"
#include "storage/allocation.h"
#include "storage/fileclas.h"

extern "C" {

TV_EXPORT IndexManagerT* tvCreateIndexManager(StatusCodeT* status) {
  return ExportedCall(status, static_cast<IndexManagerT*>(nullptr),
                      [](StatusCodeT* s) -> IndexManagerT* {
                        IndexManagerT* manager = NewOrStatus<IndexManagerT>(s);
                        if (manager == nullptr) return nullptr;
                        RegisterHandle(manager, HandleKind::kIndexManager);
                        return manager;
                      });
}

TV_EXPORT void tvDeleteIndexManager(IndexManagerT* manager,
                                    StatusCodeT* status) {
  ExportedCall(status, [manager](StatusCodeT* s) {
    if (!IsLiveHandle(manager, HandleKind::kIndexManager) ||
        manager->ValidityMarker() != kValidityMarker) {
      *s = StatusNotIndexFile;
      return;
    }
    UnregisterHandle(manager);
    delete manager;
  });
}

TV_EXPORT IndexCreationParametersT* tvCreateIndexCreationParams(
    StatusCodeT* status) {
  return ExportedCall(
      status, static_cast<IndexCreationParametersT*>(nullptr),
      [](StatusCodeT* s) -> IndexCreationParametersT* {
        auto* params = NewOrStatus<IndexCreationParametersT>(s);
        if (params == nullptr) return nullptr;
        params->Reset();
        RegisterHandle(params, HandleKind::kCreationParams);
        return params;
      });
}

TV_EXPORT void tvDeleteIndexCreationParams(IndexCreationParametersT* params) {
  if (!IsLiveHandle(params, HandleKind::kCreationParams)) return;
  UnregisterHandle(params);
  delete params;
}

TV_EXPORT void tvResetIndexCreationParams(IndexCreationParametersT* params) {
  if (IsLiveHandle(params, HandleKind::kCreationParams)) params->Reset();
}

TV_EXPORT void tvSetIndexCreationParams(IndexCreationParametersT* params,
                                        long id, void* value) {
  ExportedCallNoStatus([&] {
    if (IsLiveHandle(params, HandleKind::kCreationParams)) params->Set(id, value);
  });
}

TV_EXPORT void tvCreateIndexEx(IndexManagerT* manager,
                               IndexCreationParametersT* params,
                               StatusCodeT* status) {
  OnManager(manager, status, [params](IndexManagerT* m, StatusCodeT* s) {
    if (!IsLiveHandle(params, HandleKind::kCreationParams)) {
      *s = StatusMalformedParameter;
      return;
    }
    m->Create(params, s);
  });
}

TV_EXPORT void tvCreateIndex(IndexManagerT* manager, char* fileName,
                             unsigned long indexMode, StatusCodeT* status) {
  OnManager(manager, status, [=](IndexManagerT* m, StatusCodeT* s) {
    if (indexMode < RECORD_MODE || indexMode > IDF_MODE) {
      *s = StatusMalformedParameter;
      return;
    }
    IndexCreationParametersT params;
    params.Reset();
    uint32_t mode = static_cast<uint32_t>(indexMode);
    params.Set(IndexParamIndexMode, &mode);
    params.Set(IndexParamFileName, fileName);
    params.Set(IndexParamSingleFile, nullptr);
    if (mode != RECORD_MODE) params.Set(IndexParamWeightMaxFrequency, nullptr);
    m->Create(&params, s);
  });
}

TV_EXPORT void tvSetLocationForTemporaryFiles(const char* location) {
  SetTemporaryFileLocation(location);
}

TV_EXPORT char* tvGetLocationForTemporaryFiles(char* buffer) {
  if (buffer != nullptr) CopyTemporaryFileLocation(buffer);
  return buffer;
}

}  // extern "C"
