// Helpers for the posting tests: posting lists as the run merge writes them
// into a temporary index file, coded through IndexCompressorT into a posting
// data file the way the compression driver does it, and decoded back.

#ifndef TARVIS_TESTS_SUPPORT_POSTING_FIXTURE_H_
#define TARVIS_TESTS_SUPPORT_POSTING_FIXTURE_H_

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "format/compressor.h"
#include "format/decoder.h"
#include "format/word_info.h"
#include "storage/fileclas.h"
#include "storage/word_rec.h"
#include "support/temp_dir.h"

// One entry of a temporary index file: Word is the word position in word
// mode, Count the occurrence count in IDF mode.
struct PostingT {
  uint32_t Record;
  uint32_t Word;
  uint32_t Count;
};

// The bytes of one term in a temporary index file: length byte, word,
// WordRecT, entries, all in the machine's order.
inline std::string TempIndexTerm(uint32_t mode,
                                 const std::vector<PostingT>& entries,
                                 uint32_t occurrences) {
  std::string bytes = std::string(1, '\4') + "term";
  WordRecT rec = {occurrences,
                  static_cast<uint32_t>(entries.size()) * kRunEntrySize[mode],
                  static_cast<uint32_t>(entries.size())};
  bytes.append(reinterpret_cast<const char*>(&rec), sizeof(rec));
  for (const PostingT& p : entries) {
    bytes.append(reinterpret_cast<const char*>(&p.Record), 4);
    if (mode == WORD_MODE) {
      bytes.append(reinterpret_cast<const char*>(&p.Word), 4);
    } else if (mode == IDF_MODE) {
      uint16_t count = static_cast<uint16_t>(p.Count);
      bytes.append(reinterpret_cast<const char*>(&count), 2);
      bytes.append(2, '\0');
    }
  }
  return bytes;
}

// Writes the bytes of one term as a temporary index file, reads its length
// byte, word and WordRecT as the compression driver does, and codes the
// postings with the reader of the mode into c.PostingStream, started on
// postingFile. The coder's result.
inline int CompressTempIndex(const ScopedTempDirT& dir, IndexCompressorT& c,
                             FileClassT* postingFile, uint32_t mode,
                             const std::string& tempIndexBytes) {
  const std::string path = dir.File("index.tmp");
  WriteWholeFile(path, tempIndexBytes);
  FileClassT tempIndex(path.c_str());
  char length;
  char word[4];
  if (!tempIndex.Open(kFileReadOnly) || !tempIndex.GetCh(&length) ||
      !tempIndex.Read(word, 4) ||
      !tempIndex.Read(&c.CurrentWordRec, sizeof(WordRecT))) {
    return 0;
  }
  c.TempIndexFile = &tempIndex;
  c.PostingStream.StartWriting(c.PostingBuffer,
                               IndexCompressorT::kPostingBufferBytes,
                               postingFile);
  int ok = mode == RECORD_MODE ? c.CompressRecordModeIndex()
           : mode == IDF_MODE  ? c.CompressIdfModeIndex()
                               : c.CompressWordModeIndex();
  c.TempIndexFile = nullptr;
  return ok;
}

struct CodedTermT {
  int Ok = 0;
  uint32_t Start = 0;  // offset of the stream in the posting data file
  uint32_t End = 0;
  uint32_t Spilled = 0;
  WordIndexInfoT Info;  // location 1 at Start
};

// Codes one term into postingFile, which stays open, writes the whole
// stream there and decodes its word information record.
inline CodedTermT CodeTerm(const ScopedTempDirT& dir, IndexCompressorT& c,
                           FileClassT* postingFile, uint32_t mode,
                           const std::vector<PostingT>& entries,
                           uint32_t occurrences) {
  CodedTermT out;
  out.Start = postingFile->GetPosition();
  int ok = CompressTempIndex(dir, c, postingFile, mode,
                             TempIndexTerm(mode, entries, occurrences));
  out.Spilled = c.PostingStream.BytesSpilled();
  ok = ok && c.PostingStream.FlushByte() && c.PostingStream.WriteBufferToFile();
  out.End = postingFile->GetPosition();
  c.TermLocation = kPostingsInDataArea;
  c.TermPostingStart = out.Start;
  uint32_t recordLength = ok ? c.CompressWordInfo() : 0;
  out.Ok = recordLength > 0 &&
           DecodeWordInformation(c.WordInfoBuffer, recordLength, 0, &out.Info);
  return out;
}

// What a decoder delivers: records merged by the coder in record and IDF
// modes, every posting in word mode.
inline std::vector<PostingT> Expected(uint32_t mode,
                                      const std::vector<PostingT>& entries) {
  if (mode == WORD_MODE) return entries;
  std::vector<PostingT> out;
  for (const PostingT& p : entries) {
    if (!out.empty() && out.back().Record == p.Record) {
      out.back().Count += p.Count;
    } else {
      out.push_back({p.Record, 1, mode == IDF_MODE ? p.Count : 1});
    }
  }
  return out;
}

// Random posting lists: records ascending with gaps of every size, some
// repeated (as where a run boundary fell inside a record), word positions
// ascending inside a record.
inline std::vector<PostingT> RandomPostings(std::mt19937& rng, uint32_t mode,
                                            uint32_t count) {
  std::vector<PostingT> out;
  uint32_t record = 0;
  uint32_t word = 0;
  auto gap = [&](uint32_t scale) -> uint32_t {
    uint32_t kind = rng() % 16;
    if (kind < 10) return 1 + rng() % 3;
    if (kind < 15) return 1 + rng() % scale;
    return 1 + rng() % (scale * 1000);
  };
  while (out.size() < count) {
    bool sameRecord = !out.empty() && (mode == WORD_MODE ? rng() % 3 != 0
                                                         : rng() % 8 == 0);
    if (sameRecord) {
      word += mode == WORD_MODE ? gap(40) : 0;
    } else {
      record += gap(200);
      word = mode == WORD_MODE ? gap(40) : 1;
    }
    out.push_back({record, mode == WORD_MODE ? word : 1,
                   mode == IDF_MODE ? 1 + static_cast<uint32_t>(rng() % 7)
                                    : 1});
  }
  return out;
}

inline uint32_t OccurrenceCount(const std::vector<PostingT>& entries) {
  uint32_t total = 0;
  for (const PostingT& p : entries) total += p.Count;
  return total;
}

// Decodes one step: the next posting, or the first at or after the target
// (record 0: none).
inline int DecodeStep(IndexDecompressorT& d, uint32_t mode, TermInstanceT& t,
                      uint32_t record, uint32_t word) {
  if (mode == WORD_MODE) return d.NextWordHit(&t, record, word);
  return record == 0 ? d.GetRecordRM(t)
                     : d.GetRecordStartingAtRM(t, record, word);
}

#endif  // TARVIS_TESTS_SUPPORT_POSTING_FIXTURE_H_
