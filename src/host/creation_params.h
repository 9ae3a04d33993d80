// The creation record of the indexes the hosts of this component make: a
// single-file index in a given mode with record data and record IDs of any
// length behind 4-byte pointers and, in word and IDF mode, document weights
// by each record's most frequent word. Sessions run apart from any index
// start from the same record, so that their partitions fit such an index.

#ifndef TARVIS_HOST_CREATION_PARAMS_H_
#define TARVIS_HOST_CREATION_PARAMS_H_

#include <string>

#include <tarvis/tarvis.h>

class CreationParamsT {
 public:
  // Fails (HostErrorT naming what) when the record cannot be made.
  CreationParamsT(unsigned long mode, bool recordData, bool recordIds,
                  const std::string& what);
  ~CreationParamsT();
  CreationParamsT(const CreationParamsT&) = delete;
  CreationParamsT& operator=(const CreationParamsT&) = delete;

  // The index file to create; a path of 512 bytes or more is not taken.
  void SetFileName(const std::string& path);
  // The working memory of a session started from the record (0: the
  // library's default).
  void SetIndexingMemory(unsigned long bytes);

  IndexCreationParametersT* Get() const { return params_; }

 private:
  IndexCreationParametersT* params_ = nullptr;
};

#endif  // TARVIS_HOST_CREATION_PARAMS_H_
