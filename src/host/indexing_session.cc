// Indexing sessions; see indexing_session.h.

#include "indexing_session.h"

#include <cstdio>
#include <cstring>

#include "creation_params.h"
#include "host_error.h"
#include "record_key.h"

IndexingSessionT::IndexingSessionT(IndexHandleT* index)
    : index_(index), where_(index->Path()) {
  std::memset(&word_, 0, sizeof word_);
  StatusCodeT status = 0;
  indexer_ = tvStartIndexingSession(index_->Manager(), &status);
  Check(status, "indexing session");
}

IndexingSessionT::IndexingSessionT(const std::string& partition,
                                   unsigned long mode, unsigned long memory)
    : where_(partition) {
  std::memset(&word_, 0, sizeof word_);
  CreationParamsT params(mode, true, true, partition);
  params.SetIndexingMemory(memory);
  StatusCodeT status = 0;
  indexer_ = tvStartDistributedIndexingSession(params.Get(), &status);
  Check(status, "indexing session");
  tvSetFinalIndexDataPosition(indexer_, const_cast<char*>(partition.c_str()),
                              &status);
  if (status < 0) Discard();
  Check(status, "naming the partition file");
}

void IndexingSessionT::Check(StatusCodeT status, const char* what) const {
  // Called for every word: the message is made only for a failure.
  if (status < 0) CheckStatus(status, where_ + ": " + what);
}

void IndexingSessionT::RequireActive() const {
  if (indexer_ == nullptr) {
    Check(StatusNotInitializedForIndexing, "indexing session");
  }
}

void IndexingSessionT::RequireOpen() const {
  RequireActive();
  if (finished_) Check(StatusNotInitializedForIndexing, "indexing session");
}

void IndexingSessionT::Index(const unsigned char* word, size_t length) {
  std::memcpy(word_.Word, word, length);
  word_.WordLength = static_cast<uint8_t>(length);
  StatusCodeT status = 0;
  tvIndexWord(indexer_, &word_, &status);
  Check(status, "indexing");
  ++words_;
}

size_t IndexingSessionT::AddText(const TokenizerT& tokenizer,
                                 const unsigned char* text, size_t length) {
  RequireOpen();
  size_t words = 0;
  tokenizer.Scan(text, length,
                 [&](const unsigned char* word, size_t wordLength, size_t,
                     size_t) {
                   Index(word, wordLength);
                   ++words;
                 });
  return words;
}

void IndexingSessionT::AddWord(const std::string& word) {
  RequireOpen();
  if (word.size() > kMaxWordBytes) {
    HostFail(StatusBadKeyLength,
             where_ + ": indexing: a word of " +
                 std::to_string(word.size()) + " bytes (255 at most)");
  }
  if (word.empty()) return;
  Index(reinterpret_cast<const unsigned char*>(word.data()), word.size());
}

void IndexingSessionT::CheckId(const std::string& id) {
  if (id.empty() || id.size() > kMaxIndexedIdBytes) {
    HostFail(StatusBadKeyLength,
             "record ID of " + std::to_string(id.size()) +
                 " bytes: an ID has 1 to " +
                 std::to_string(kMaxIndexedIdBytes) + " bytes");
  }
}

void IndexingSessionT::EndRecord(const std::string* data,
                                 const std::string* id) {
  RequireOpen();
  StatusCodeT status = 0;
  if (id != nullptr) CheckId(*id);
  if (data != nullptr) {
    std::string bytes = *data;
    tvStoreRecordData(indexer_, reinterpret_cast<unsigned char*>(&bytes[0]),
                      bytes.size(), &status);
    Check(status, "storing record data");
  }
  if (id != nullptr) {
    std::string bytes = *id;
    tvProcessRecordID(indexer_, reinterpret_cast<unsigned char*>(&bytes[0]),
                      bytes.size(), 1, 1, &status);
    Check(status, "storing the record ID");
  }
  tvIncrementRecord(indexer_, nullptr, &status);
  Check(status, "indexing");
  ++records_;
}

void IndexingSessionT::End() {
  RequireOpen();
  IndexerT* indexer = indexer_;
  indexer_ = nullptr;
  StatusCodeT status = 0;
  if (index_ != nullptr) {
    tvEndIndexingSession(index_->Manager(), indexer, &word_, &status);
  } else {
    tvEndDistributedIndexingSession(indexer, &status);
  }
  Check(status, "ending the indexing session");
}

void IndexingSessionT::Finish() {
  RequireOpen();
  if (index_ == nullptr) return End();
  StatusCodeT status = 0;
  tvFinalProcessIndex(index_->Manager(), indexer_, &status);
  finished_ = true;
  if (status < 0) Discard();
  Check(status, "ending the indexing session");
}

void IndexingSessionT::Commit() {
  if (index_ == nullptr) {
    if (Active()) End();
    return;
  }
  if (!finished_) Finish();
  IndexerT* indexer = indexer_;
  indexer_ = nullptr;
  StatusCodeT status = 0;
  tvMakeIndexActive(index_->Manager(), indexer, &status);
  Check(status, "adding the partition");
}

void IndexingSessionT::Discard() {
  RequireActive();
  IndexerT* indexer = indexer_;
  indexer_ = nullptr;
  // The library has no call that drops a session. Finishing the session's
  // partition without adding it, then ending the session, does: ending
  // refuses a finished session (StatusNotInitializedForIndexing) and frees
  // it with its temporary partition file, the index untouched. A session
  // apart from any index ends as usual, and its partition file is removed.
  StatusCodeT status = 0;
  if (index_ == nullptr) {
    tvEndDistributedIndexingSession(indexer, &status);
    std::remove(where_.c_str());
    return;
  }
  if (!finished_) tvFinalProcessIndex(index_->Manager(), indexer, &status);
  tvEndIndexingSession(index_->Manager(), indexer, &word_, &status);
}
