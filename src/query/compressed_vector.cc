// CompressedQueryVectorT: hooking to a term and stepping through the decoder.

#include "query/compressed_vector.h"

CompressedQueryVectorT::CompressedQueryVectorT(StatusCodeT* status)
    : QueryVectorBaseT(kCompressedVectorKind) {
  *status = StatusNoError;
}

void CompressedQueryVectorT::Report(int result, StatusCodeT* status) {
  if (result == kDecodeDelivered) {
    *status = StatusNoError;
  } else if (result == kDecodeEnd) {
    *status = StatusEndOfVector;
  } else {
    *status = StatusReadError;
  }
}

void CompressedQueryVectorT::HookVectorToIndex(FileClassT* file,
                                               const WordIndexInfoT& info,
                                               StatusCodeT* status) {
  *status = StatusNoError;
  WordInfo = info;
  ItemsToDecode = info.ItemCount;
  PostingCount = info.PostingCount;
  TermRecordCount = info.RecordCount;
  RecordCount = info.RecordCount;
  HitCount = info.PostingCount;
  Instance = TermInstanceT();
  CurrentInstance = &Instance;
  if (!StartDecompression(file, WordInfo)) {
    *status = StatusGeneralError;
    return;
  }
  NextHit(status);
  // A term without postings leaves the vector empty, not at an end.
  if (*status == StatusEndOfVector) *status = StatusNoError;
}

void CompressedQueryVectorT::NextHit(StatusCodeT* status) {
  *status = StatusNoError;
  MatchCounter = 1;
  if (RecordCount == 0 || !DecoderStarted()) {
    *status = StatusEndOfVector;
    return;
  }
  if (WordInfo.IndexMode == WORD_MODE) {
    Report(NextWordHit(&Instance, 0, 0), status);
  } else {
    Report(GetRecordRM(Instance), status);
  }
}

void CompressedQueryVectorT::NextHit(uint32_t record, uint32_t word,
                                     StatusCodeT* status) {
  *status = StatusNoError;
  MatchCounter = 1;
  if (RecordCount == 0 || !DecoderStarted()) {
    *status = StatusEndOfVector;
    return;
  }
  if (WordInfo.IndexMode == WORD_MODE) {
    // The decoder stays on a posting already at the target; a step always
    // moves past the current hit.
    bool reached = Instance.RecordNumber > record ||
                   (Instance.RecordNumber == record &&
                    Instance.WordPosition >= word);
    Report(reached ? NextWordHit(&Instance, 0, 0)
                   : NextWordHit(&Instance, record, word),
           status);
    return;
  }
  // Record-level postings all stand at word 1: a later word of a record is
  // first found in the next record.
  if (word > 1) {
    if (record == UINT32_MAX) {
      *status = StatusEndOfVector;
      return;
    }
    ++record;
  }
  Report(GetRecordStartingAtRM(Instance, record, 1), status);
}

void CompressedQueryVectorT::PassRecord(uint32_t* hits, StatusCodeT* status) {
  const uint32_t record = Instance.RecordNumber;
  if (WordInfo.IndexMode != WORD_MODE || record == UINT32_MAX) {
    QueryVectorBaseT::PassRecord(hits, status);
    return;
  }
  // The decoder has delivered or passed over ItemsDelivered postings, the
  // current one included: the record's hits run from the current posting to
  // the one before the next record's first (or to the term's last). Most
  // records hold a term once or twice, so a plain step comes first; a record
  // that holds more is passed by a step to the next record, over whole
  // blocks where it can.
  const uint32_t current = ItemsDelivered;
  NextHit(status);
  if (*status == StatusNoError && Instance.RecordNumber == record) {
    NextHit(record + 1, 1, status);
  }
  *hits = ItemsDelivered - current + (*status == StatusEndOfVector ? 1 : 0);
}

void CompressedQueryVectorT::Rewind(StatusCodeT* status) {
  *status = StatusNoError;
  MatchCounter = 1;
}
