// tarvis.Index and what it hands out: Session (one indexing session, a
// context manager), Hit (one record of a result), the iterator of terms
// and Snippet. An Index holds one open index in a retrieval session, the
// settings its words were made with, and at most one indexing session.

#ifndef TARVIS_PYTHON_INDEX_OBJECT_H_
#define TARVIS_PYTHON_INDEX_OBJECT_H_

#include <pybind11/pybind11.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "index_handle.h"
#include "indexing_session.h"
#include "settings.h"
#include "term_list.h"
#include "tokenizer.h"

class IndexObjectT {
 public:
  IndexObjectT(const std::string& path, bool readonly);
  ~IndexObjectT();

  // Creates the index and its settings file, then opens it.
  static std::unique_ptr<IndexObjectT> Create(
      const std::string& path, const std::string& mode, bool stem,
      const std::optional<std::string>& stop, bool recordData,
      bool recordIds);

  void Close();
  const std::string& Path() const { return path_; }
  // The lock every call on this index is made under (library_call.h).
  std::mutex& Mutex() { return mutex_; }
  // Fails unless the index is open (and, for a change, writable).
  IndexHandleT& Handle();
  IndexHandleT& WritableHandle(const char* what);
  const TokenizerT& Tokenizer() const { return *tokenizer_; }
  // Counts every change of the records, so that a walk of the terms can
  // tell that the index changed under it.
  uint64_t Changes() const { return changes_; }
  void Changed() { ++changes_; }

  // The indexing session, started by Session.__enter__.
  uint64_t StartSession();
  IndexingSessionT& Session(uint64_t serial);
  void EndSession(uint64_t serial, bool commit);

 private:
  std::string path_;
  bool readonly_;
  std::unique_ptr<IndexHandleT> handle_;
  IndexSettingsT settings_;
  std::unique_ptr<StopWordsT> stopWords_;
  std::unique_ptr<TokenizerT> tokenizer_;
  std::unique_ptr<IndexingSessionT> session_;
  uint64_t sessionSerial_ = 0;
  uint64_t changes_ = 0;
  std::mutex mutex_;
};

void RegisterIndex(pybind11::module_& module);

#endif  // TARVIS_PYTHON_INDEX_OBJECT_H_
