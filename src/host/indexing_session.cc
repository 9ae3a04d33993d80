// Indexing sessions; see indexing_session.h.

#include "indexing_session.h"

#include <cstring>

#include "host_error.h"
#include "record_key.h"

IndexingSessionT::IndexingSessionT(IndexHandleT* index) : index_(index) {
  std::memset(&word_, 0, sizeof word_);
  StatusCodeT status = 0;
  indexer_ = tvStartIndexingSession(index_->Manager(), &status);
  index_->Check(status, "indexing session");
}

void IndexingSessionT::RequireActive() const {
  if (indexer_ == nullptr) {
    index_->Check(StatusNotInitializedForIndexing, "indexing session");
  }
}

void IndexingSessionT::Index(const unsigned char* word, size_t length) {
  std::memcpy(word_.Word, word, length);
  word_.WordLength = static_cast<uint8_t>(length);
  StatusCodeT status = 0;
  tvIndexWord(indexer_, &word_, &status);
  index_->Check(status, "indexing");
  ++words_;
}

size_t IndexingSessionT::AddText(const TokenizerT& tokenizer,
                                 const unsigned char* text, size_t length) {
  RequireActive();
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
  RequireActive();
  if (word.size() > kMaxWordBytes) {
    HostFail(StatusBadKeyLength,
             index_->Path() + ": indexing: a word of " +
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
  RequireActive();
  StatusCodeT status = 0;
  if (id != nullptr) CheckId(*id);
  if (data != nullptr) {
    std::string bytes = *data;
    tvStoreRecordData(indexer_, reinterpret_cast<unsigned char*>(&bytes[0]),
                      bytes.size(), &status);
    index_->Check(status, "storing record data");
  }
  if (id != nullptr) {
    std::string bytes = *id;
    tvProcessRecordID(indexer_, reinterpret_cast<unsigned char*>(&bytes[0]),
                      bytes.size(), 1, 1, &status);
    index_->Check(status, "storing the record ID");
  }
  tvIncrementRecord(indexer_, nullptr, &status);
  index_->Check(status, "indexing");
  ++records_;
}

void IndexingSessionT::End() {
  RequireActive();
  IndexerT* indexer = indexer_;
  indexer_ = nullptr;
  StatusCodeT status = 0;
  tvEndIndexingSession(index_->Manager(), indexer, &word_, &status);
  index_->Check(status, "ending the indexing session");
}

void IndexingSessionT::Discard() {
  RequireActive();
  IndexerT* indexer = indexer_;
  indexer_ = nullptr;
  // The library has no call that drops a session. Finishing the session's
  // partition without adding it, then ending the session, does: ending
  // refuses a finished session (StatusNotInitializedForIndexing) and frees
  // it with its temporary partition file, the index untouched.
  StatusCodeT status = 0;
  tvFinalProcessIndex(index_->Manager(), indexer, &status);
  tvEndIndexingSession(index_->Manager(), indexer, &word_, &status);
}
