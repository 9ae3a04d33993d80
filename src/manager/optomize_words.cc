// IndexOptomizerT: merging the word index. The inputs' dictionaries are
// walked together through a heap ordered by each input's current term (the
// earlier input first among equal terms). The inputs standing on the
// smallest term hand over their postings in range order; every record is
// renumbered through the record-number table, postings of dropped records
// are left out, and the rest is coded as one posting list of the output.
// A term none of whose records survives leaves the dictionary.

#include <cstring>

#include "manager/optomize.h"
#include "storage/file_status.h"
#include "storage/key_order.h"

int IndexOptomizerT::IndexReaderCompare(uint32_t a, uint32_t b) const {
  const int order =
      PStrCmpH(Inputs[a]->Reader->Term(), Inputs[b]->Reader->Term());
  if (order != 0) return order;
  return a < b ? -1 : (a > b ? 1 : 0);
}

void IndexOptomizerT::Insert(uint32_t input) {
  uint32_t hole = HeapSize++;
  while (hole > 0) {
    const uint32_t parent = (hole - 1) / 2;
    if (IndexReaderCompare(Heap[parent], input) <= 0) break;
    Heap[hole] = Heap[parent];
    hole = parent;
  }
  Heap[hole] = input;
}

uint32_t IndexOptomizerT::DeleteMin() {
  const uint32_t least = Heap[0];
  const uint32_t last = Heap[--HeapSize];
  uint32_t hole = 0;
  for (;;) {
    uint32_t child = 2 * hole + 1;
    if (child >= HeapSize) break;
    if (child + 1 < HeapSize &&
        IndexReaderCompare(Heap[child + 1], Heap[child]) < 0) {
      ++child;
    }
    if (IndexReaderCompare(last, Heap[child]) <= 0) break;
    Heap[hole] = Heap[child];
    hole = child;
  }
  Heap[hole] = last;
  return least;
}

int IndexOptomizerT::OptomizeWordIndex(StatusCodeT* status) {
  HeapSize = 0;
  for (uint32_t i = 0; i < InputCount; ++i) {
    if (Inputs[i]->Postings == nullptr) continue;
    StatusCodeT s = StatusNoError;
    if (Inputs[i]->Reader->FirstTerm(&s)) {
      Insert(i);
    } else if (s < 0) {
      *status = s;
      return 0;
    }
  }
  while (HeapSize > 0) {
    uint32_t count = 0;
    TermInputs[count++] = DeleteMin();
    const unsigned char* term = Inputs[TermInputs[0]]->Reader->Term();
    while (HeapSize > 0 &&
           PStrCmpH(Inputs[Heap[0]]->Reader->Term(), term) == 0) {
      TermInputs[count++] = DeleteMin();
    }
    if (!ProcessWord(TermInputs, count, status) ||
        !EndWord(TermInputs, count, status)) {
      return 0;
    }
  }
  return 1;
}

int IndexOptomizerT::ProcessWord(const uint32_t* inputs, uint32_t count,
                                 StatusCodeT* status) {
  const unsigned char* term = Inputs[inputs[0]]->Reader->Term();
  std::memcpy(LastTerm, term, 1u + term[0]);
  TermDropped = 0;
  if (CompressTerm(LastTerm,
                   [&] { return CodeMergedPostings(inputs, count, status); })) {
    return 1;
  }
  if (TermDropped) return 1;
  if (*status >= 0) *status = StatusWriteError;
  return 0;
}

int IndexOptomizerT::StartTermPostings(InputT& input,
                                       const WordIndexInfoT& info) {
  // The first term in the posting data area gives the decoder its view of
  // the file; every later term reuses it.
  if (info.InlineData == nullptr && !input.PostingsOnFile) {
    input.PostingsOnFile =
        input.Postings->StartDecompression(input.File.get(), info);
    return input.PostingsOnFile;
  }
  return input.Postings->StartNextDiskIndex(info);
}

namespace {

// The occurrences a record-mode term keeps when only kept of its records
// remain: the records hold no counts, so the extra occurrences are shared
// out in proportion.
uint64_t RecordModeOccurrences(const WordIndexInfoT& info, uint32_t kept) {
  if (kept == info.RecordCount || info.RecordCount == 0) {
    return kept == info.RecordCount ? info.PostingCount : kept;
  }
  return kept + uint64_t{info.PostingCount - info.RecordCount} * kept /
                    info.RecordCount;
}

}  // namespace

int IndexOptomizerT::CodeMergedPostings(const uint32_t* inputs, uint32_t count,
                                        StatusCodeT* status) {
  BeginTermPostings(Mode, 0);
  uint64_t occurrences = 0;
  TermInstanceT hit;
  for (uint32_t k = 0; k < count; ++k) {
    InputT& input = *Inputs[inputs[k]];
    WordIndexInfoT info;
    if (!input.Reader->TermInfo(&info) || info.IndexMode != Mode) {
      *status = StatusNotIndexFile;
      return 0;
    }
    if (!FileCall(StartTermPostings(input, info), StatusReadError, status)) {
      return 0;
    }
    const uint32_t records = input.Reader->RecordCount();
    uint32_t kept = 0;
    uint64_t counts = 0;
    for (;;) {
      const int got = Mode == WORD_MODE
                          ? input.Postings->NextWordHit(&hit, 0, 0)
                          : input.Postings->GetRecordRM(hit);
      if (got == kDecodeEnd) break;
      // A record the partition does not have is damage, not a posting.
      if (got != kDecodeDelivered || hit.RecordNumber == 0 ||
          hit.RecordNumber > records) {
        *status = StatusReadError;
        return 0;
      }
      const uint32_t record =
          GetNewRecordNumber(input.RecordsBefore + hit.RecordNumber);
      if (record == 0) continue;
      ++kept;
      counts += hit.Count;
      const int added = Mode == RECORD_MODE ? AddRecordPosting(record)
                        : Mode == IDF_MODE
                            ? AddIdfPosting(record, hit.Count)
                            : AddWordPosting(record, hit.WordPosition);
      if (!added) {
        // Postings out of order are damage too.
        *status =
            PostingStream.WriteFailed() ? StatusWriteError : StatusNotIndexFile;
        return 0;
      }
    }
    occurrences += Mode == WORD_MODE  ? kept
                   : Mode == IDF_MODE ? counts
                                      : RecordModeOccurrences(info, kept);
  }
  if (!FileCall(EndTermPostings(), StatusWriteError, status)) return 0;
  if (TermRecordCount == 0) {
    TermDropped = 1;
    return 0;
  }
  if (occurrences < TermRecordCount) occurrences = TermRecordCount;
  TermPostingCount = occurrences > UINT32_MAX
                         ? UINT32_MAX
                         : static_cast<uint32_t>(occurrences);
  return 1;
}

int IndexOptomizerT::EndWord(const uint32_t* inputs, uint32_t count,
                             StatusCodeT* status) {
  for (uint32_t k = 0; k < count; ++k) {
    OptomizeReaderT* reader = Inputs[inputs[k]]->Reader.get();
    StatusCodeT s = StatusNoError;
    if (reader->NextTerm(&s)) {
      // A dictionary out of order would make the output's unsound.
      if (PStrCmpH(reader->Term(), LastTerm) <= 0) {
        *status = StatusNotIndexFile;
        return 0;
      }
      Insert(inputs[k]);
    } else if (s < 0) {
      *status = s;
      return 0;
    }
  }
  return 1;
}
