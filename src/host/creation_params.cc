// The host's creation record; see creation_params.h.

#include "creation_params.h"

#include "host_error.h"

CreationParamsT::CreationParamsT(unsigned long mode, bool recordData,
                                 bool recordIds, const std::string& what) {
  StatusCodeT status = 0;
  params_ = tvCreateIndexCreationParams(&status);
  if (params_ == nullptr) CheckStatus(status < 0 ? status : -1, what);
  uint32_t mode32 = static_cast<uint32_t>(mode);
  tvSetIndexCreationParams(params_, IndexParamSingleFile, nullptr);
  tvSetIndexCreationParams(params_, IndexParamIndexMode, &mode32);
  if (recordData) {
    tvSetIndexCreationParams(params_, IndexParamVariableRecordData, nullptr);
    tvSetIndexCreationParams(params_, IndexParamRecordData32, nullptr);
  }
  if (recordIds) {
    tvSetIndexCreationParams(params_, IndexParamVariableRecordID, nullptr);
    tvSetIndexCreationParams(params_, IndexParamRecordID32, nullptr);
  }
  if (mode != RECORD_MODE) {
    tvSetIndexCreationParams(params_, IndexParamWeightMaxFrequency, nullptr);
  }
}

CreationParamsT::~CreationParamsT() { tvDeleteIndexCreationParams(params_); }

void CreationParamsT::SetFileName(const std::string& path) {
  tvSetIndexCreationParams(params_, IndexParamFileName,
                           const_cast<char*>(path.c_str()));
}

void CreationParamsT::SetIndexingMemory(unsigned long bytes) {
  tvSetIndexCreationParams(params_, IndexParamIndexingMemory, &bytes);
}
