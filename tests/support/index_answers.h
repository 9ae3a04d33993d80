// Test support for the I/O fault and crash tests: indexes with record data
// and record IDs in either layout, sessions of made-up records, partition
// files made apart from any index, and one text holding everything an index
// answers (Boolean and ranked queries, record data, record IDs, deleted
// flags), so that one state of an index can be compared with another.

#ifndef TARVIS_TESTS_SUPPORT_INDEX_ANSWERS_H_
#define TARVIS_TESTS_SUPPORT_INDEX_ANSWERS_H_

#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "manager/index_manager.h"
#include "query/hex_words.h"
#include "query/uncompressed_vector.h"
#include "support/index_file_util.h"
#include "tarvis/tarvis.h"

// The regular files in a directory, sorted.
inline std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* entry = readdir(d)) {
      if (entry->d_type == DT_REG) names.push_back(entry->d_name);
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

inline std::string HexTerm(const std::string& word) {
  std::string out(2 * word.size() + 3, '\0');
  BinaryWordToHexWord(&out[0],
                      reinterpret_cast<const unsigned char*>(word.data()),
                      word.size());
  out.resize(out.size() - 1);
  return out;
}

inline unsigned char* RawBytes(const std::string& s) {
  return reinterpret_cast<unsigned char*>(const_cast<char*>(s.data()));
}

// A record: its words, its data and its ID (indexed, so findable).
struct AnswerRecordT {
  std::string Key;
  std::string Data;
  std::vector<std::string> Words;
};

// count records tagged tag: each holds "all", its tag, a word of five and a
// word of its own; data and ID name it.
inline std::vector<AnswerRecordT> MakeRecords(const std::string& tag,
                                              int count) {
  std::vector<AnswerRecordT> records;
  for (int k = 0; k < count; ++k) {
    const std::string name = tag + "-" + std::to_string(k);
    records.push_back({"id-" + name,
                       "data of " + name,
                       {"all", "w" + std::to_string(k % 5), tag, "u" + name,
                        "w" + std::to_string((k + 2) % 5)}});
  }
  return records;
}

inline StatusCodeT CreateAnswerIndex(IndexManagerT* manager,
                                     const std::string& path,
                                     bool distributed) {
  StatusCodeT status = StatusNoError;
  IndexCreationParametersT* params =
      FullIndexParams(path, WORD_MODE, distributed);
  tvCreateIndexEx(manager, params, &status);
  tvDeleteIndexCreationParams(params);
  return status;
}

// Feeds the records into a started session; the first failure's status.
inline StatusCodeT FeedAnswerRecords(
    IndexerT* indexer, const std::vector<AnswerRecordT>& records) {
  StatusCodeT status = StatusNoError;
  for (size_t r = 0; r < records.size() && status >= 0; ++r) {
    if (r > 0) tvIncrementRecord(indexer, nullptr, &status);
    for (const std::string& text : records[r].Words) {
      WordTypeT word = MakeWord(text);
      if (status >= 0) tvIndexWord(indexer, &word, &status);
    }
    if (status >= 0) {
      tvStoreRecordData(indexer, RawBytes(records[r].Data),
                        records[r].Data.size(), &status);
    }
    if (status >= 0) {
      tvProcessRecordID(indexer, RawBytes(records[r].Key),
                        records[r].Key.size(), 1, 1, &status);
    }
  }
  return status;
}

// One indexing session on the open index; partitionFile (when not empty)
// names the partition file of a distributed index. The first failure's
// status; the indexer is gone either way.
inline StatusCodeT IndexAnswerSession(IndexManagerT* manager,
                                      const std::vector<AnswerRecordT>& records,
                                      const std::string& partitionFile) {
  StatusCodeT status = StatusNoError;
  IndexerT* indexer = tvStartIndexingSession(manager, &status);
  if (indexer == nullptr) return status < 0 ? status : StatusGeneralError;
  if (!partitionFile.empty()) {
    tvSetFinalIndexDataPosition(
        indexer, const_cast<char*>(partitionFile.c_str()), &status);
  }
  if (status >= 0) status = FeedAnswerRecords(indexer, records);
  if (status < 0) {
    manager->DiscardIndexer(indexer);
    return status;
  }
  tvEndIndexingSession(manager, indexer, nullptr, &status);
  return status;
}

// A partition file made by a session apart from any index, with the
// choices of the index at indexPath.
inline StatusCodeT MakePartitionFile(
    const std::string& indexPath, bool distributed,
    const std::string& partitionFile,
    const std::vector<AnswerRecordT>& records) {
  StatusCodeT status = StatusNoError;
  IndexCreationParametersT* params =
      FullIndexParams(indexPath, WORD_MODE, distributed);
  IndexerT* indexer = tvStartDistributedIndexingSession(params, &status);
  tvDeleteIndexCreationParams(params);
  if (indexer == nullptr) return status < 0 ? status : StatusGeneralError;
  tvSetFinalIndexDataPosition(indexer, const_cast<char*>(partitionFile.c_str()),
                              &status);
  if (status >= 0) status = FeedAnswerRecords(indexer, records);
  tvEndDistributedIndexingSession(indexer, &status);
  return status;
}

inline const std::vector<std::string>& AnswerBooleanQueries() {
  static const std::vector<std::string> queries = {
      HexTerm("all"),
      HexTerm("w1") + " & " + HexTerm("w3"),
      HexTerm("w0") + " | " + HexTerm("w4"),
      HexTerm("all") + " ! " + HexTerm("w2"),
      "\"" + HexTerm("w1") + " " + HexTerm("w3") + "\"",
      HexTerm("all") + " w3 " + HexTerm("w4"),
      "0x75*",  // u*
  };
  return queries;
}

inline const std::vector<std::string>& AnswerRankedQueries() {
  static const std::vector<std::string> queries = {
      HexTerm("w0") + " " + HexTerm("w3"),
      "+" + HexTerm("w1") + " " + HexTerm("all") + " -" + HexTerm("w4"),
  };
  return queries;
}

// Everything the open index answers, as text; failures are part of it.
inline std::string IndexAnswers(IndexManagerT* manager) {
  std::ostringstream out;
  StatusCodeT status = StatusNoError;
  tvStartRetrievalSession(manager, &status);
  if (status < 0) {
    out << "retrieval " << status << "\n";
    return out.str();
  }
  unsigned long records = 0;
  tvNumberOfRecordsInIndex(manager, &records, &status);
  out << "partitions " << manager->NumPartitions() << " records " << records
      << " deleted " << tvGetNumberOfRecordsDeleted(manager, &status) << "\n";
  for (const std::string& query : AnswerBooleanQueries()) {
    status = StatusNoError;
    std::unique_ptr<UncompressedQueryVectorT> vector(manager->ProcessQuery(
        reinterpret_cast<const unsigned char*>(query.c_str()), &status));
    out << query << " " << status << ":";
    while (vector != nullptr && vector->IsPositioned() && status == 0) {
      out << " " << vector->CurrentRecord() << "/" << vector->CurrentWord();
      vector->NextHit(&status);
    }
    out << "\n";
  }
  for (const std::string& query : AnswerRankedQueries()) {
    status = StatusNoError;
    std::unique_ptr<QueryVectorBaseT> vector(manager->ProcessRankedQuery(
        reinterpret_cast<const unsigned char*>(query.c_str()), nullptr,
        &status));
    out << query << " " << status << ":";
    while (vector != nullptr && vector->IsPositioned() && status == 0) {
      out << " " << vector->CurrentRecord() << "="
          << vector->CurrentHit().Weight;
      vector->NextHit(&status);
    }
    out << "\n";
  }
  for (unsigned long r = 1; r <= records; ++r) {
    status = StatusNoError;
    unsigned char buffer[256];
    unsigned long got = 0;
    TarvisDataCursorT cursor = {};
    tvRetrieveRecordData(manager, buffer, sizeof(buffer), &got, r, &cursor,
                         &status);
    out << r << (tvIsRecordDeleted(manager, r, &status) ? " deleted" : "")
        << " [" << std::string(reinterpret_cast<char*>(buffer), got) << "]";
    tvRetrieveRecordID(manager, buffer, sizeof(buffer), &got, nullptr, r,
                       &status);
    out << " [" << std::string(reinterpret_cast<char*>(buffer), got) << "] "
        << status << "\n";
  }
  return out.str();
}

// What the index file answers when opened afresh; the file is not written.
inline std::string IndexFileAnswers(const std::string& path) {
  StatusCodeT status = StatusNoError;
  IndexManagerT* manager = tvCreateIndexManager(&status);
  tvOpenIndex(manager, const_cast<char*>(path.c_str()), &status);
  std::string answers = status < 0 ? "open " + std::to_string(status) + "\n"
                                   : IndexAnswers(manager);
  // Released without closing, so that nothing is written back.
  tvDeleteIndexManager(manager, &status);
  return answers;
}

#endif  // TARVIS_TESTS_SUPPORT_INDEX_ANSWERS_H_
