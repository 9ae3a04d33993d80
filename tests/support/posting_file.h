// Test support: a file of coded posting lists, one term after another, made
// with the postings coder and the word information coder, and compressed
// vectors hooked to its terms the way a partition reader hooks them.

#ifndef TARVIS_TESTS_SUPPORT_POSTING_FILE_H_
#define TARVIS_TESTS_SUPPORT_POSTING_FILE_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "format/compressor.h"
#include "format/word_info.h"
#include "query/compressed_vector.h"
#include "storage/fileclas.h"

class PostingFileT {
 public:
  explicit PostingFileT(const std::string& path) : Path(path), Writer(path.c_str()) {
    EXPECT_TRUE(Writer.Open(kFileCreate));
    EXPECT_TRUE(Coder.ConstructedCorrectly);
  }

  // Codes one term's (record, word) postings, ascending; in IDF mode each
  // record gets the count 1 + record % 3. Returns the term's word information.
  WordIndexInfoT Add(const std::vector<std::pair<uint32_t, uint32_t>>& hits,
                     uint32_t mode) {
    uint32_t start = Writer.GetPosition();
    uint32_t occurrences = 0;
    for (const auto& hit : hits) {
      occurrences += mode == IDF_MODE ? 1 + hit.first % 3 : 1;
    }
    Coder.PostingStream.StartWriting(Buffer, sizeof(Buffer), &Writer);
    Coder.BeginTermPostings(mode, occurrences);
    for (const auto& hit : hits) {
      int added = mode == WORD_MODE ? Coder.AddWordPosting(hit.first, hit.second)
                  : mode == IDF_MODE
                      ? Coder.AddIdfPosting(hit.first, 1 + hit.first % 3)
                      : Coder.AddRecordPosting(hit.first);
      EXPECT_TRUE(added);
    }
    EXPECT_TRUE(Coder.EndTermPostings());
    EXPECT_TRUE(Coder.PostingStream.FlushByte());
    EXPECT_TRUE(Coder.PostingStream.WriteBufferToFile());
    unsigned char record[kWordInfoMaxBytes];
    uint32_t length =
        EncodeWordInformation(Coder.TermRecordCount, Coder.TermPostingCount,
                              mode, kPostingsInDataArea, start, record);
    WordIndexInfoT info;
    EXPECT_TRUE(DecodeWordInformation(record, length, 0, &info));
    return info;
  }

  // Ends writing; from now on vectors can be hooked.
  FileClassT* Reader() {
    if (ReadFile == nullptr) {
      Writer.Close();
      ReadFile = std::make_unique<FileClassT>(Path.c_str());
      EXPECT_TRUE(ReadFile->Open(kFileReadOnly));
    }
    return ReadFile.get();
  }

  std::unique_ptr<CompressedQueryVectorT> Hook(const WordIndexInfoT& info) {
    StatusCodeT status = 0;
    auto vector = std::make_unique<CompressedQueryVectorT>(&status);
    vector->HookVectorToIndex(Reader(), info, &status);
    EXPECT_EQ(status, 0);
    return vector;
  }

 private:
  std::string Path;
  FileClassT Writer;
  IndexCompressorT Coder;
  unsigned char Buffer[4096];
  std::unique_ptr<FileClassT> ReadFile;
};

#endif  // TARVIS_TESTS_SUPPORT_POSTING_FILE_H_
