#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "support/temp_dir.h"

namespace {

const char* const kVocabulary[] = {"a",   "b",   "c",    "ab",  "abc", "ba",
                                   "cat", "dog", "door", "x",   "xy",  "zz"};
constexpr unsigned kVocabularySize = sizeof kVocabulary / sizeof kVocabulary[0];

WordTypeT MakeWord(const std::string& text) {
  WordTypeT word = {};
  std::memcpy(word.Word, text.data(), text.size());
  word.WordLength = static_cast<uint8_t>(text.size());
  return word;
}

IndexCreationParametersT* SampleParameters(const std::string& path,
                                           const SampleIndexShapeT& shape,
                                           StatusCodeT* status) {
  IndexCreationParametersT* params = tvCreateIndexCreationParams(status);
  if (params == nullptr) return nullptr;
  uint32_t mode = static_cast<uint32_t>(shape.Mode);
  tvSetIndexCreationParams(params, IndexParamSingleFile, nullptr);
  tvSetIndexCreationParams(params, IndexParamIndexMode, &mode);
  tvSetIndexCreationParams(params, IndexParamFileName,
                           const_cast<char*>(path.c_str()));
  // Each of the document weight methods in one of the modes.
  if (shape.Mode == WORD_MODE) {
    tvSetIndexCreationParams(params, IndexParamWeightMaxFrequency, nullptr);
  } else if (shape.Mode == IDF_MODE) {
    tvSetIndexCreationParams(params, IndexParamWeightLogSum, nullptr);
  }
  if (shape.Payload == kSampleVariablePayload) {
    tvSetIndexCreationParams(params, IndexParamVariableRecordData, nullptr);
    tvSetIndexCreationParams(params, IndexParamRecordData32, nullptr);
    tvSetIndexCreationParams(params, IndexParamVariableRecordID, nullptr);
    tvSetIndexCreationParams(params, IndexParamRecordID32, nullptr);
  } else {
    uint32_t dataLength = 6;
    uint16_t idLength = 5;
    tvSetIndexCreationParams(params, IndexParamFixedRecordData, &dataLength);
    tvSetIndexCreationParams(params, IndexParamFixedRecordID, &idLength);
  }
  return params;
}

// One indexing session: records of words from the vocabulary, each with its
// data and ID when the index keeps them.
StatusCodeT FeedSession(IndexManagerT* manager, const SampleIndexShapeT& shape,
                        unsigned partition) {
  StatusCodeT status = 0;
  IndexerT* indexer = tvStartIndexingSession(manager, &status);
  if (indexer == nullptr) return status;
  for (unsigned r = 1; r <= shape.RecordsPerPartition && status >= 0; ++r) {
    WordTypeT a = MakeWord("a");
    tvIndexWord(indexer, &a, &status);
    unsigned words = 1 + (r * 7 + partition) % 9;
    for (unsigned w = 0; w < words && status >= 0; ++w) {
      WordTypeT word = MakeWord(kVocabulary[(r * 5 + w * 3 + partition) %
                                            kVocabularySize]);
      tvIndexWord(indexer, &word, &status);
    }
    if (r % 4 == 0 && status >= 0) {
      unsigned char field[] = "title";
      tvStartField(indexer, field, 5, &status);
      WordTypeT cat = MakeWord("cat");
      tvIndexWord(indexer, &cat, &status);
      tvEndField(indexer, field, 5, &status);
    }
    if (shape.Payload != kSampleNoPayload && status >= 0) {
      std::string data = "data" + std::to_string(partition) + "." +
                         std::to_string(r) + std::string(r % 5, '+');
      tvStoreRecordData(indexer,
                        reinterpret_cast<unsigned char*>(&data[0]),
                        data.size(), &status);
      std::string id = "id" + std::to_string(partition) + std::to_string(r);
      tvProcessRecordID(indexer, reinterpret_cast<unsigned char*>(&id[0]),
                        id.size(), 1, 1, &status);
    }
    if (status >= 0) tvIncrementRecord(indexer, nullptr, &status);
  }
  StatusCodeT endStatus = 0;
  tvEndIndexingSession(manager, indexer, nullptr, &endStatus);
  return status < 0 ? status : endStatus;
}

StatusCodeT DeleteSampleRecords(IndexManagerT* manager) {
  StatusCodeT status = 0;
  tvStartRetrievalSession(manager, &status);
  if (status < 0) return status;
  unsigned long records = tvNumberOfRecordsInIndex(manager, nullptr, &status);
  unsigned long some[] = {3, records / 2, records};
  tvDeleteRecordNums(manager, some, 3, &status);
  return status;
}

}  // namespace

std::string FuzzScratchFile(const std::string& name) {
  static ScopedTempDirT dir;
  return dir.File(name);
}

StatusCodeT BuildSampleIndex(const std::string& path,
                             const SampleIndexShapeT& shape) {
  std::remove(path.c_str());
  StatusCodeT status = 0;
  IndexManagerT* manager = tvCreateIndexManager(&status);
  if (manager == nullptr) return status;
  if (shape.Payload == kSampleNoPayload) {
    tvCreateIndex(manager, const_cast<char*>(path.c_str()), shape.Mode,
                  &status);
  } else {
    IndexCreationParametersT* params = SampleParameters(path, shape, &status);
    if (params != nullptr) tvCreateIndexEx(manager, params, &status);
    tvDeleteIndexCreationParams(params);
  }
  if (status >= 0) tvOpenIndex(manager, const_cast<char*>(path.c_str()), &status);
  for (unsigned p = 1; p <= shape.Partitions && status >= 0; ++p) {
    status = FeedSession(manager, shape, p);
  }
  if (status >= 0 && shape.DeleteSome) status = DeleteSampleRecords(manager);
  if (status >= 0 && shape.Optomize) {
    tvEndRetrievalSession(manager, &status);
    tvOptomizeIndex(manager, 2, &status);
    if (status >= 0) tvEndOptomization(manager, nullptr, 0, &status);
  }
  StatusCodeT closeStatus = 0;
  tvCloseIndex(manager, &closeStatus);
  tvDeleteIndexManager(manager, nullptr);
  return status < 0 ? status : closeStatus;
}

void WalkAndDeleteVector(QueryVectorBaseT* vector) {
  if (vector == nullptr) return;
  StatusCodeT status = 0;
  unsigned long total = 0, records = 0, hits = 0;
  tvNumHits(vector, &total, &records, &hits, &status);
  unsigned long record = 0, word = 0, count = 0;
  float weight = 0;
  tvVectorRewind(vector, &status);
  // Every movement stops at the vector's end with StatusEndOfVector.
  for (unsigned long i = 0; i <= total && status == 0; ++i) {
    tvVectorNextHit(vector, &record, &word, &count, &weight, &status);
  }
  status = 0;
  for (unsigned long i = 0; i <= total && status == 0; ++i) {
    tvVectorPreviousRecord(vector, &record, &word, &count, &weight, &status);
  }
  status = 0;
  for (unsigned long i = 0; i <= total && status == 0; ++i) {
    tvVectorNextRecord(vector, &record, &word, &count, &weight, &status);
  }
  tvVectorCurrentHit(vector, &record, &word, &count, &weight, &status);
  tvDeleteResultVector(vector, &status);
}

void RunQuery(IndexManagerT* manager, const char* ranked,
              const char* boolean) {
  std::string rankedText = ranked != nullptr ? ranked : "";
  std::string booleanText = boolean != nullptr ? boolean : "";
  StatusCodeT status = 0;
  QueryVectorBaseT* vector = tvProcessQuery(
      manager,
      ranked != nullptr ? reinterpret_cast<unsigned char*>(&rankedText[0])
                        : nullptr,
      boolean != nullptr ? reinterpret_cast<unsigned char*>(&booleanText[0])
                         : nullptr,
      &status);
  WalkAndDeleteVector(vector);
}

namespace {

// Steps through the dictionary from a zeroed cursor in one direction, at
// most limit steps, taking the vector of a few keys on the way.
void BrowseKeys(IndexManagerT* manager, bool forward, unsigned limit) {
  DictionaryCursorT cursor = {};
  if (!forward) {
    // A key above every key of a length-prefixed 255-byte word.
    cursor.Key[0] = 255;
    std::memset(cursor.Key + 1, 0xFF, 255);
  }
  unsigned char key[256];
  StatusCodeT status = 0;
  for (unsigned step = 0; step < limit && status == 0; ++step) {
    unsigned long records = 0, hits = 0;
    if (forward) {
      tvNextKey(manager, &cursor, key, &records, &hits, &status);
    } else {
      tvPreviousKey(manager, &cursor, key, &records, &hits, &status);
    }
    if (status == 0 && step % 16 == 0) {
      StatusCodeT vectorStatus = 0;
      WalkAndDeleteVector(
          tvGetCurrentQueryVector(manager, &cursor, &vectorStatus));
      tvCurrentKey(manager, &cursor, key, &records, &hits, &vectorStatus);
    }
  }
  unsigned char probe[] = {2, 'a', 'b'};
  BooleanT found = 0;
  tvFindKey(manager, &cursor, probe, &found, nullptr, nullptr, &status);
}

void ReadRecord(IndexManagerT* manager, unsigned long record) {
  unsigned char buffer[7];
  unsigned long bytesRead = 0;
  TarvisDataCursorT cursor = {};
  StatusCodeT status = 0;
  tvRetrieveRecordData(manager, buffer, sizeof buffer, &bytesRead, record,
                       &cursor, &status);
  for (int piece = 0; piece < 64 && status == 0 && !cursor.Done; ++piece) {
    tvRetrieveMoreRecordData(manager, buffer, sizeof buffer, &bytesRead,
                             &cursor, &status);
  }
  unsigned char id[300];
  char hexId[2 * sizeof id + 3];
  unsigned long length = 0;
  status = 0;
  tvRetrieveRecordID(manager, id, sizeof id, &length, hexId, record, &status);
  if (status == 0 && length > 0 && length <= 120) {
    unsigned long found = 0;
    tvFindRecordID(manager, hexId, &found, &status);
  }
}

}  // namespace

void ExerciseRetrieval(IndexManagerT* manager) {
  StatusCodeT status = 0;
  unsigned long records = tvNumberOfRecordsInIndex(manager, nullptr, &status);
  BrowseKeys(manager, true, 2000);
  BrowseKeys(manager, false, 200);
  static const char* const kQueries[] = {
      "0x61",           "0x61 & 0x62",      "0x61 | 0x636174 ! 0x62",
      "0x61*",          "0x6?",             "\"0x61 0x62\"",
      "0x61 w5 0x62",   "0x61 - 0x7a",      "0x636174 M 0x7469746c65",
      "0x61:1 & 0x62 & 0x63", "0x61 ^ 0x62",  "0x6d*"};
  for (const char* query : kQueries) RunQuery(manager, nullptr, query);
  RunQuery(manager, "0x61 +0x62 -0x63 0x64*", nullptr);
  RunQuery(manager, "0x636174 0x646f67", "0x61 | 0x62");
  for (unsigned long record = 0; record <= records + 1 && record < 40;
       ++record) {
    ReadRecord(manager, record);
  }
  ReadRecord(manager, records);
  ReadRecord(manager, records + 1);
  ReadRecord(manager, 0xFFFFFFFFul);
  if (records > 0) {
    tvDeleteRecordNum(manager, records, &status);
    tvIsRecordDeleted(manager, records, &status);
    tvUnDeleteRecordNum(manager, 1, &status);
    unsigned long deleted = tvGetNumberOfRecordsDeleted(manager, &status);
    if (status == 0 && deleted < 100000) {
      std::vector<unsigned long> list(deleted + 1);
      tvOutputDeletedRecords(manager, list.data(), &status);
    }
  }
}

void FuzzCheckFailed(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
  std::abort();
}

namespace {

// The open sample indexes, closed when the program ends (before the scratch
// directory, which was made first, is removed).
class SampleManagersT {
 public:
  SampleManagersT() {
    for (unsigned long mode = RECORD_MODE; mode <= IDF_MODE; ++mode) {
      std::string path = FuzzScratchFile("sample" + std::to_string(mode) +
                                         ".tvx");
      SampleIndexShapeT shape = {mode, kSampleVariablePayload, 2, 150, true};
      StatusCodeT status = BuildSampleIndex(path, shape);
      IndexManagerT* manager = nullptr;
      if (status >= 0) manager = tvCreateIndexManager(&status);
      if (manager != nullptr) {
        tvOpenIndex(manager, const_cast<char*>(path.c_str()), &status);
        if (status >= 0) tvStartRetrievalSession(manager, &status);
      }
      if (manager == nullptr || status < 0) {
        std::fprintf(stderr, "cannot build the sample index of mode %lu: %s\n",
                     mode, StatusCodeMessage(status));
        std::abort();
      }
      Managers[mode - 1] = manager;
    }
  }
  ~SampleManagersT() {
    for (IndexManagerT* manager : Managers) {
      tvCloseIndex(manager, nullptr);
      tvDeleteIndexManager(manager, nullptr);
    }
  }
  IndexManagerT* Managers[3] = {};
};

}  // namespace

IndexManagerT* SampleManager(unsigned long mode) {
  FuzzScratchFile("");  // the directory outlives the managers
  static SampleManagersT managers;
  return managers.Managers[(mode - 1) % 3];
}
