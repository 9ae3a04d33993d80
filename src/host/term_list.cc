// The dictionary walk; see term_list.h.

#include "term_list.h"

#include <cstring>

#include "host_error.h"
#include "tokenizer.h"

namespace {

// The words the tokenizer makes hold letters and digits only; a key with
// other ASCII bytes is a record ID term.
bool IsWord(const unsigned char* key, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    unsigned char c = key[i];
    if (c < 0x80 && !((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) {
      return false;
    }
  }
  return length > 0;
}

}  // namespace

TermListT::TermListT(const IndexHandleT& index, const std::string& pattern)
    : index_(index) {
  std::memset(&cursor_, 0, sizeof cursor_);
  std::string folded = FoldText(pattern);
  if (folded.size() > kMaxWordBytes) {
    HostFail(StatusBadKeyLength, index_.Path() + ": terms: pattern too long");
  }
  size_t wildcard = folded.find_first_of("*?");
  prefix_ = folded.substr(0, wildcard);
  if (wildcard != std::string::npos) {
    StatusCodeT status = 0;
    matcher_ = tvCreateHighlightMatcher(&status);
    index_.Check(status, "terms");
    tvAddWildCardPatternToHighlightMatcher(
        matcher_, reinterpret_cast<unsigned char*>(&folded[0]), folded.size(),
        &status);
    index_.Check(status, "terms");
  }
  done_ = index_.Records() == 0;  // no partitions, no dictionary
}

TermListT::~TermListT() { tvDeleteHighlightMatcher(matcher_); }

bool TermListT::Step(unsigned long* records, unsigned long* hits) {
  StatusCodeT status = 0;
  if (!started_) {
    started_ = true;
    key_[0] = static_cast<unsigned char>(prefix_.size());
    std::memcpy(key_ + 1, prefix_.data(), prefix_.size());
    BooleanT found = 0;
    tvFindKey(index_.Manager(), &cursor_, key_, &found, records, hits,
              &status);
  } else {
    tvNextKey(index_.Manager(), &cursor_, key_, records, hits, &status);
  }
  if (status == StatusEndOfWordList) return false;
  index_.Check(status, "dictionary");
  size_t length = key_[0];
  // Past every key with the prefix, the walk is over.
  return length >= prefix_.size() &&
         std::memcmp(key_ + 1, prefix_.data(), prefix_.size()) == 0;
}

bool TermListT::IsRecordIdTerm(const std::string& word) const {
  // Looking the rest up as an ID finds a record holding the term; the term
  // is that record's ID term when the record has that ID.
  if (word.size() < 2 || word[0] != 'm') return false;
  std::string id = word.substr(1);
  unsigned long record = index_.FindRecordId(id);
  std::string recordId;
  return record != 0 && index_.RecordId(record, &recordId) && recordId == id;
}

bool TermListT::Next(TermT* term) {
  while (!done_) {
    if (!Step(&term->Records, &term->Hits)) {
      done_ = true;
      break;
    }
    size_t length = key_[0];
    if (!IsWord(key_ + 1, length) ||
        (matcher_ != nullptr &&
         !tvHighlightMatcherMatch(matcher_, key_ + 1, length))) {
      continue;
    }
    term->Word.assign(reinterpret_cast<const char*>(key_ + 1), length);
    if (IsRecordIdTerm(term->Word)) continue;
    return true;
  }
  return false;
}
