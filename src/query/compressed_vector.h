// CompressedQueryVectorT: one term's postings in one partition, decoded on
// demand straight from the partition file. Once hooked to its term the
// vector stands on the term's first posting; it is walked once, forward.
// Target-driven steps are handed to the decoder, which passes over whole
// blocks of postings that lie before the target.

#ifndef TARVIS_QUERY_COMPRESSED_VECTOR_H_
#define TARVIS_QUERY_COMPRESSED_VECTOR_H_

#include <cstdint>

#include "format/decoder.h"
#include "format/word_info.h"
#include "query/query_vector.h"

class FileClassT;

class CompressedQueryVectorT : public QueryVectorBaseT,
                               public IndexDecompressorT {
 public:
  // An empty vector: it holds no hit until it is hooked to a term.
  explicit CompressedQueryVectorT(StatusCodeT* status);

  // Takes the term's totals from info, starts decoding its postings from the
  // open partition file and moves onto the first one. StatusGeneralError when
  // decoding cannot start, StatusReadError when the first posting cannot be
  // read.
  void HookVectorToIndex(FileClassT* file, const WordIndexInfoT& info,
                         StatusCodeT* status);

  void NextHit(StatusCodeT* status) override;
  void NextHit(uint32_t record, uint32_t word, StatusCodeT* status) override;
  // Word mode: the hits of the record are counted by the decoder's position
  // in the term, so whole blocks inside the record are passed over unread.
  void PassRecord(uint32_t* hits, StatusCodeT* status) override;
  // A compressed vector cannot go back: this only reports 0.
  void Rewind(StatusCodeT* status) override;
  int HoldsRecordHitsOnly() const override {
    return WordInfo.IndexMode != WORD_MODE;
  }

  WordIndexInfoT WordInfo;

 private:
  // Turns a decoder result into a status.
  static void Report(int result, StatusCodeT* status);
};

#endif  // TARVIS_QUERY_COMPRESSED_VECTOR_H_
