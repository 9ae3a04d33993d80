// One indexing session on an open index, or apart from any index making a
// partition file: records go in one at a time, as the words of a text (made
// by a tokenizer) or as words given one by one, followed by the record's
// data and ID. Ending the session makes its records one new partition of
// the index (or leaves the partition file on disk); discarding it leaves
// the index as it was before the session.

#ifndef TARVIS_HOST_INDEXING_SESSION_H_
#define TARVIS_HOST_INDEXING_SESSION_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <tarvis/tarvis.h>

#include "index_handle.h"
#include "tokenizer.h"

class IndexingSessionT {
 public:
  // Starts the session; the index must be open for retrieval and outlive
  // the session.
  explicit IndexingSessionT(IndexHandleT* index);
  // Starts a session apart from any index that makes the partition file
  // partition for an index the host creates in the given mode
  // (IndexHandleT::Create with record data and IDs), working in memory
  // bytes (0: the library's default).
  IndexingSessionT(const std::string& partition, unsigned long mode,
                   unsigned long memory);
  // A session neither ended nor discarded is left behind: it never joins
  // the index (the library holds its indexer until the process ends).
  ~IndexingSessionT() = default;
  IndexingSessionT(const IndexingSessionT&) = delete;
  IndexingSessionT& operator=(const IndexingSessionT&) = delete;

  // Adds the words of text, as the tokenizer makes them, to the current
  // record; returns their number.
  size_t AddText(const TokenizerT& tokenizer, const unsigned char* text,
                 size_t length);
  // Adds one word as it is (1 to 255 bytes; an empty word is skipped, a
  // longer one fails with StatusBadKeyLength).
  void AddWord(const std::string& word);
  // Stores the current record's data and ID (either may be null) and
  // closes it; the ID is also indexed, so that the record can be found by
  // it. An ID that cannot be indexed fails (see CheckId).
  void EndRecord(const std::string* data, const std::string* id);
  // Fails with StatusBadKeyLength unless id has 1 to 120 bytes; a host
  // checks before it adds a record's words.
  static void CheckId(const std::string& id);

  // Ends the session: its records join the index as one partition, or the
  // partition file of a session apart from any index is complete.
  void End();
  // Ends a session on an index in two steps: Finish completes the
  // partition without touching the index, Commit then adds it, the only
  // step that waits for other writers. Several sessions finished at once
  // join the index in the order of their commits. A session apart from
  // any index has nothing to commit: Finish and Commit end it as End does.
  void Finish();
  void Commit();
  // Ends the session without a trace: the index stays as it was.
  void Discard();

  bool Active() const { return indexer_ != nullptr; }
  uint64_t Records() const { return records_; }
  uint64_t Words() const { return words_; }

 private:
  void RequireActive() const;
  void RequireOpen() const;
  void Check(StatusCodeT status, const char* what) const;
  void Index(const unsigned char* word, size_t length);

  IndexHandleT* index_ = nullptr;  // null apart from any index
  std::string where_;              // the index or partition file, for errors
  bool finished_ = false;
  IndexerT* indexer_ = nullptr;
  WordTypeT word_;
  uint64_t records_ = 0;
  uint64_t words_ = 0;
};

#endif  // TARVIS_HOST_INDEXING_SESSION_H_
