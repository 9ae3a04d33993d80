// Bad arguments at the public interface: every exported function is called
// with null handles, handles that died or were never given out, handles of
// another kind, null pointers, lengths past the limits, record numbers of 0
// and past the end, and in the wrong state (no index, an index not in a
// retrieval session, a session already ended). Each call must answer with a
// status (or, for the few functions without one, do nothing), never crash;
// the sanitizer build runs the same tables.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "support/index_file_util.h"
#include "support/temp_dir.h"
#include "tarvis/tarvis.h"

namespace {

using ManagerCallT = std::function<void(IndexManagerT*, StatusCodeT*)>;
using IndexerCallT = std::function<void(IndexerT*, StatusCodeT*)>;
using VectorCallT = std::function<void(QueryVectorBaseT*, StatusCodeT*)>;

struct ManagerCaseT {
  const char* Name;
  ManagerCallT Call;
};

unsigned char* U(const char* text) {
  return reinterpret_cast<unsigned char*>(const_cast<char*>(text));
}

// Scratch outputs the calls write into.
struct OutputsT {
  unsigned long Number = 0;
  unsigned long Numbers[16] = {};
  unsigned char Buffer[512] = {};
  char Hex[600] = {};
  BooleanT Found = 0;
  DictionaryCursorT Cursor = {};
  TarvisDataCursorT DataCursor = {};
  WordTypeT Word = MakeWord("w");
};

// Every exported function of an index manager handle, with sound other
// arguments. path names a file the calls may create.
std::vector<ManagerCaseT> ManagerCalls(OutputsT* o, const std::string* path) {
  return {
      {"tvDeleteIndexManager",
       [](IndexManagerT* m, StatusCodeT* s) { tvDeleteIndexManager(m, s); }},
      {"tvCreateIndex",
       [path](IndexManagerT* m, StatusCodeT* s) {
         tvCreateIndex(m, const_cast<char*>(path->c_str()), WORD_MODE, s);
       }},
      {"tvOpenIndex",
       [path](IndexManagerT* m, StatusCodeT* s) {
         tvOpenIndex(m, const_cast<char*>(path->c_str()), s);
       }},
      {"tvReloadIndex",
       [](IndexManagerT* m, StatusCodeT* s) { tvReloadIndex(m, s); }},
      {"tvStartRetrievalSession",
       [](IndexManagerT* m, StatusCodeT* s) { tvStartRetrievalSession(m, s); }},
      {"tvNumberOfRecordsInIndex",
       [o](IndexManagerT* m, StatusCodeT* s) {
         EXPECT_EQ(0ul, tvNumberOfRecordsInIndex(m, &o->Number, s));
       }},
      {"tvDeleteRecordNum",
       [](IndexManagerT* m, StatusCodeT* s) { tvDeleteRecordNum(m, 1, s); }},
      {"tvDeleteRecordNums",
       [o](IndexManagerT* m, StatusCodeT* s) {
         o->Numbers[0] = 1;
         tvDeleteRecordNums(m, o->Numbers, 1, s);
       }},
      {"tvUnDeleteRecordNum",
       [](IndexManagerT* m, StatusCodeT* s) { tvUnDeleteRecordNum(m, 1, s); }},
      {"tvUnDeleteRecordNums",
       [o](IndexManagerT* m, StatusCodeT* s) {
         o->Numbers[0] = 1;
         tvUnDeleteRecordNums(m, o->Numbers, 1, s);
       }},
      {"tvIsRecordDeleted",
       [](IndexManagerT* m, StatusCodeT* s) {
         EXPECT_EQ(0, tvIsRecordDeleted(m, 1, s));
       }},
      {"tvGetNumberOfRecordsDeleted",
       [](IndexManagerT* m, StatusCodeT* s) {
         EXPECT_EQ(0ul, tvGetNumberOfRecordsDeleted(m, s));
       }},
      {"tvOutputDeletedRecords",
       [o](IndexManagerT* m, StatusCodeT* s) {
         tvOutputDeletedRecords(m, o->Numbers, s);
       }},
      {"tvStartIndexingSession",
       [](IndexManagerT* m, StatusCodeT* s) {
         EXPECT_EQ(nullptr, tvStartIndexingSession(m, s));
       }},
      {"tvSetIndexingMemory",
       [](IndexManagerT* m, StatusCodeT* s) {
         tvSetIndexingMemory(m, 1ul << 24, s);
       }},
      {"tvRetrieveRecordData",
       [o](IndexManagerT* m, StatusCodeT* s) {
         tvRetrieveRecordData(m, o->Buffer, sizeof o->Buffer, &o->Number, 1,
                              &o->DataCursor, s);
       }},
      {"tvRetrieveMoreRecordData",
       [o](IndexManagerT* m, StatusCodeT* s) {
         o->DataCursor = {0, 1, 700, 10, 0, 0};
         tvRetrieveMoreRecordData(m, o->Buffer, sizeof o->Buffer, &o->Number,
                                  &o->DataCursor, s);
       }},
      {"tvRetrieveRecordID",
       [o](IndexManagerT* m, StatusCodeT* s) {
         tvRetrieveRecordID(m, o->Buffer, sizeof o->Buffer, &o->Number,
                            o->Hex, 1, s);
       }},
      {"tvFindRecordID",
       [o](IndexManagerT* m, StatusCodeT* s) {
         tvFindRecordID(m, const_cast<char*>("0x6964"), &o->Number, s);
       }},
      {"tvAppendDistributedDataToIndex",
       [path](IndexManagerT* m, StatusCodeT* s) {
         tvAppendDistributedDataToIndex(m, const_cast<char*>(path->c_str()),
                                        s);
       }},
      {"tvAddPartitionFileToIndex",
       [path](IndexManagerT* m, StatusCodeT* s) {
         tvAddPartitionFileToIndex(m, const_cast<char*>(path->c_str()), s);
       }},
      {"tvProcessQuery",
       [](IndexManagerT* m, StatusCodeT* s) {
         EXPECT_EQ(nullptr, tvProcessQuery(m, U("0x77"), U("0x77"), s));
       }},
      {"tvFindKey",
       [o](IndexManagerT* m, StatusCodeT* s) {
         unsigned char key[256] = {1, 'w'};
         tvFindKey(m, &o->Cursor, key, &o->Found, nullptr, nullptr, s);
       }},
      {"tvNextKey",
       [o](IndexManagerT* m, StatusCodeT* s) {
         tvNextKey(m, &o->Cursor, o->Buffer, nullptr, nullptr, s);
       }},
      {"tvPreviousKey",
       [o](IndexManagerT* m, StatusCodeT* s) {
         tvPreviousKey(m, &o->Cursor, o->Buffer, nullptr, nullptr, s);
       }},
      {"tvCurrentKey",
       [o](IndexManagerT* m, StatusCodeT* s) {
         o->Cursor.State = 1;
         tvCurrentKey(m, &o->Cursor, o->Buffer, nullptr, nullptr, s);
       }},
      {"tvGetCurrentQueryVector",
       [o](IndexManagerT* m, StatusCodeT* s) {
         o->Cursor.State = 1;
         o->Cursor.Key[0] = 1;
         o->Cursor.Key[1] = 'w';
         EXPECT_EQ(nullptr, tvGetCurrentQueryVector(m, &o->Cursor, s));
       }},
      {"tvOutputStatsFile",
       [path](IndexManagerT* m, StatusCodeT* s) {
         std::string stats = *path + ".stats";
         tvOutputStatsFile(m, U(stats.c_str()), s);
       }},
      {"tvOptomizeIndex",
       [](IndexManagerT* m, StatusCodeT* s) { tvOptomizeIndex(m, 1, s); }},
      {"tvPerformOptomization",
       [](IndexManagerT* m, StatusCodeT* s) { tvPerformOptomization(m, 1, s); }},
      {"tvEndOptomization",
       [path](IndexManagerT* m, StatusCodeT* s) {
         std::string merged = *path + ".merged";
         tvEndOptomization(m, &merged[0], 1, s);
       }},
      {"tvIndexNeedsLittleOptomization",
       [](IndexManagerT* m, StatusCodeT* s) {
         EXPECT_EQ(0, tvIndexNeedsLittleOptomization(m, s));
       }},
      {"tvIndexNeedsBigOptomization",
       [](IndexManagerT* m, StatusCodeT* s) {
         EXPECT_EQ(0, tvIndexNeedsBigOptomization(m, s));
       }},
      // Calls with a status of 0 on a handle that is not live would hide
      // the refusal, so the session calls come last: they need an indexer
      // and get a null one here.
      {"tvEndIndexingSession",
       [o](IndexManagerT* m, StatusCodeT* s) {
         tvEndIndexingSession(m, nullptr, &o->Word, s);
       }},
      {"tvFinalProcessIndex",
       [](IndexManagerT* m, StatusCodeT* s) {
         tvFinalProcessIndex(m, nullptr, s);
       }},
      {"tvMakeIndexActive",
       [](IndexManagerT* m, StatusCodeT* s) { tvMakeIndexActive(m, nullptr, s); }},
  };
}

// A manager with a word-mode index of three records with data and IDs.
class BadArgumentsTest : public testing::Test {
 protected:
  void SetUp() override {
    manager_ = tvCreateIndexManager(&status_);
    ASSERT_NE(nullptr, manager_);
    IndexCreationParametersT* params = tvCreateIndexCreationParams(&status_);
    uint32_t mode = WORD_MODE;
    tvSetIndexCreationParams(params, IndexParamIndexMode, &mode);
    tvSetIndexCreationParams(params, IndexParamFileName, &path_[0]);
    tvSetIndexCreationParams(params, IndexParamVariableRecordData, nullptr);
    tvSetIndexCreationParams(params, IndexParamVariableRecordID, nullptr);
    tvCreateIndexEx(manager_, params, &status_);
    tvDeleteIndexCreationParams(params);
    ASSERT_EQ(StatusNoError, status_);
    tvOpenIndex(manager_, &path_[0], &status_);
    IndexerT* indexer = tvStartIndexingSession(manager_, &status_);
    ASSERT_NE(nullptr, indexer);
    const char* const words[] = {"w", "x", "y"};
    for (unsigned char r = 1; r <= 3; ++r) {
      WordTypeT word = MakeWord(words[r - 1]);
      tvIndexWord(indexer, &word, &status_);
      unsigned char bytes[] = {'i', 'd', r};
      tvStoreRecordData(indexer, bytes, 3, &status_);
      tvProcessRecordID(indexer, bytes, 3, 1, 1, &status_);
      tvIncrementRecord(indexer, nullptr, &status_);
      ASSERT_EQ(StatusNoError, status_);
    }
    tvEndIndexingSession(manager_, indexer, nullptr, &status_);
    ASSERT_EQ(StatusNoError, status_);
    tvStartRetrievalSession(manager_, &status_);
    ASSERT_EQ(StatusNoError, status_);
  }
  void TearDown() override {
    tvCloseIndex(manager_, nullptr);
    tvDeleteIndexManager(manager_, nullptr);
  }

  ScopedTempDirT dir_;
  std::string path_ = dir_.File("index.tvx");
  std::string other_ = dir_.File("other.tvx");
  IndexManagerT* manager_ = nullptr;
  StatusCodeT status_ = 99;
  OutputsT out_;
};

TEST_F(BadArgumentsTest, ManagerHandlesThatAreNotLive) {
  IndexManagerT* stale = tvCreateIndexManager(&status_);
  tvDeleteIndexManager(stale, &status_);
  long foreign[64] = {};
  QueryVectorBaseT* vector = tvCreateResultVector(&status_);
  IndexManagerT* handles[] = {nullptr, stale,
                              reinterpret_cast<IndexManagerT*>(foreign),
                              reinterpret_cast<IndexManagerT*>(vector)};
  for (IndexManagerT* handle : handles) {
    for (const ManagerCaseT& c : ManagerCalls(&out_, &other_)) {
      StatusCodeT status = 99;
      c.Call(handle, &status);
      // The session calls refuse the null indexer first.
      if (std::string(c.Name) == "tvEndIndexingSession" ||
          std::string(c.Name) == "tvFinalProcessIndex" ||
          std::string(c.Name) == "tvMakeIndexActive") {
        EXPECT_LT(status, 0) << c.Name << " " << handle;
      } else {
        EXPECT_EQ(StatusNotIndexFile, status) << c.Name << " " << handle;
      }
      c.Call(handle, nullptr);  // no status to report to
    }
    EXPECT_EQ(0ul, tvGetNumberOfUnoptomizedInsertions(handle));
  }
  tvDeleteResultVector(vector, &status_);
}

TEST_F(BadArgumentsTest, ManagerWithoutAnIndexOrOutsideRetrieval) {
  // Open but not retrieving, then Idle (closed): everything but the calls
  // that make sense there reports a status and changes nothing.
  tvEndRetrievalSession(manager_, &status_);
  // tvCurrentKey reads the cursor alone.
  // The optimiser works on an open index (with nothing to merge here).
  const char* const openOk[] = {"tvCurrentKey", "tvReloadIndex",
                                "tvOptomizeIndex", "tvPerformOptomization",
                                "tvEndOptomization",
                                "tvStartRetrievalSession",
                                "tvNumberOfRecordsInIndex",
                                "tvStartIndexingSession",
                                "tvEndIndexingSession", "tvFinalProcessIndex",
                                "tvMakeIndexActive", "tvDeleteIndexManager",
                                "tvCreateIndex", "tvSetIndexingMemory"};
  for (int closed = 0; closed < 2; ++closed) {
    for (const ManagerCaseT& c : ManagerCalls(&out_, &other_)) {
      if (std::string(c.Name) == "tvDeleteIndexManager") continue;
      bool mayWork = false;
      for (const char* name : openOk) mayWork |= std::string(name) == c.Name;
      StatusCodeT status = 99;
      if (std::string(c.Name) == "tvStartIndexingSession" ||
          std::string(c.Name) == "tvOpenIndex" ||
          std::string(c.Name) == "tvStartRetrievalSession" ||
          std::string(c.Name) == "tvReloadIndex" ||
          std::string(c.Name) == "tvCreateIndex" ||
          std::string(c.Name) == "tvNumberOfRecordsInIndex") {
        continue;  // these change the state; their refusals are tested below
      }
      c.Call(manager_, &status);
      if (mayWork) {
        EXPECT_LE(status, 0) << c.Name << (closed ? " closed" : " open");
      } else {
        EXPECT_LT(status, 0) << c.Name << (closed ? " closed" : " open");
      }
    }
    tvCloseIndex(manager_, &status_);
    EXPECT_EQ(StatusNoError, status_);
  }
  // Idle: nothing to start or reload.
  tvStartRetrievalSession(manager_, &status_);
  EXPECT_EQ(StatusIndexNotLoaded, status_);
  EXPECT_EQ(nullptr, tvStartIndexingSession(manager_, &status_));
  EXPECT_EQ(StatusIndexNotLoaded, status_);
  tvReloadIndex(manager_, &status_);
  EXPECT_LT(status_, 0);
  tvCloseIndex(manager_, &status_);
  EXPECT_EQ(StatusNoError, status_);
  // Open while open: the open index is kept.
  tvOpenIndex(manager_, &path_[0], &status_);
  ASSERT_EQ(StatusNoError, status_);
  tvOpenIndex(manager_, &path_[0], &status_);
  EXPECT_EQ(StatusIndexLocked, status_);
  tvCreateIndex(manager_, &other_[0], WORD_MODE, &status_);
  EXPECT_EQ(StatusIndexLocked, status_);
  tvStartRetrievalSession(manager_, &status_);
  EXPECT_EQ(3ul, tvNumberOfRecordsInIndex(manager_, nullptr, &status_));
}

TEST_F(BadArgumentsTest, NullPointersAndBadLengthsOnAManager) {
  DictionaryCursorT cursor = {};
  unsigned char key[256] = {1, 'w'};
  unsigned char buffer[256];
  unsigned long number = 0;
  TarvisDataCursorT dataCursor = {};
  struct CaseT {
    const char* Name;
    std::function<void(StatusCodeT*)> Call;
  } const cases[] = {
      {"open null name", [&](StatusCodeT* s) { tvOpenIndex(manager_, nullptr, s); }},
      {"create null name",
       [&](StatusCodeT* s) { tvCreateIndex(manager_, nullptr, WORD_MODE, s); }},
      {"create with null record",
       [&](StatusCodeT* s) { tvCreateIndexEx(manager_, nullptr, s); }},
      {"delete list null",
       [&](StatusCodeT* s) { tvDeleteRecordNums(manager_, nullptr, 3, s); }},
      {"undelete list null",
       [&](StatusCodeT* s) { tvUnDeleteRecordNums(manager_, nullptr, 3, s); }},
      {"output deleted null", [&](StatusCodeT* s) {
         tvDeleteRecordNum(manager_, 1, s);
         tvOutputDeletedRecords(manager_, nullptr, s);
       }},
      {"record data null buffer", [&](StatusCodeT* s) {
         tvRetrieveRecordData(manager_, nullptr, 10, &number, 1, &dataCursor,
                              s);
       }},
      {"record data null cursor", [&](StatusCodeT* s) {
         tvRetrieveRecordData(manager_, buffer, 10, &number, 1, nullptr, s);
       }},
      {"more record data null cursor", [&](StatusCodeT* s) {
         tvRetrieveMoreRecordData(manager_, buffer, 10, &number, nullptr, s);
       }},
      {"more record data foreign cursor", [&](StatusCodeT* s) {
         TarvisDataCursorT forged = {7, 2, 0xFFFFFF00u, 0xFFFFFFF0u, 0, 0};
         tvRetrieveMoreRecordData(manager_, buffer, sizeof buffer, &number,
                                  &forged, s);
       }},
      {"find ID null text",
       [&](StatusCodeT* s) { tvFindRecordID(manager_, nullptr, &number, s); }},
      {"find ID too long", [&](StatusCodeT* s) {
         std::string hex = "0x" + std::string(600, 'a');
         tvFindRecordID(manager_, &hex[0], &number, s);
       }},
      {"find key null cursor", [&](StatusCodeT* s) {
         tvFindKey(manager_, nullptr, key, nullptr, nullptr, nullptr, s);
       }},
      {"find key null key", [&](StatusCodeT* s) {
         tvFindKey(manager_, &cursor, nullptr, nullptr, nullptr, nullptr, s);
       }},
      {"next key null cursor", [&](StatusCodeT* s) {
         tvNextKey(manager_, nullptr, buffer, nullptr, nullptr, s);
       }},
      {"previous key null key", [&](StatusCodeT* s) {
         tvPreviousKey(manager_, &cursor, nullptr, nullptr, nullptr, s);
       }},
      {"current key null cursor", [&](StatusCodeT* s) {
         tvCurrentKey(manager_, nullptr, buffer, nullptr, nullptr, s);
       }},
      {"query vector null cursor",
       [&](StatusCodeT* s) { tvGetCurrentQueryVector(manager_, nullptr, s); }},
      {"stats null name",
       [&](StatusCodeT* s) { tvOutputStatsFile(manager_, nullptr, s); }},
      {"append null name", [&](StatusCodeT* s) {
         tvAppendDistributedDataToIndex(manager_, nullptr, s);
       }},
      {"add null name", [&](StatusCodeT* s) {
         tvAddPartitionFileToIndex(manager_, nullptr, s);
       }},
      {"check null name",
       [&](StatusCodeT* s) { tvCheckIndex(nullptr, nullptr, 0, s); }},
  };
  for (const CaseT& c : cases) {
    StatusCodeT status = 99;
    c.Call(&status);
    EXPECT_LT(status, 0) << c.Name;
    c.Call(nullptr);
  }
  // Null outputs that may be skipped are skipped.
  tvNumberOfRecordsInIndex(manager_, nullptr, &status_);
  EXPECT_EQ(StatusNoError, status_);
  tvRetrieveRecordID(manager_, nullptr, 0, nullptr, nullptr, 1, &status_);
  EXPECT_EQ(StatusNoError, status_);
  tvFindRecordID(manager_, const_cast<char*>("0x696401"), nullptr, &status_);
  EXPECT_EQ(StatusNoError, status_);
  tvRetrieveRecordData(manager_, buffer, 0, nullptr, 1, &dataCursor, &status_);
  EXPECT_EQ(StatusNoError, status_);
  EXPECT_EQ(nullptr, tvProcessQuery(manager_, nullptr, nullptr, &status_));
  EXPECT_EQ(StatusNoError, status_);
}

TEST_F(BadArgumentsTest, RecordNumbersOfZeroAndPastTheEnd) {
  unsigned char buffer[256];
  unsigned long number = 0;
  TarvisDataCursorT cursor = {};
  char hex[300];
  for (unsigned long record : {0ul, 4ul, 0xFFFFFFFFul, 0x100000001ul}) {
    SCOPED_TRACE(record);
    tvRetrieveRecordData(manager_, buffer, sizeof buffer, &number, record,
                         &cursor, &status_);
    EXPECT_EQ(StatusMalformedParameter, status_);
    tvRetrieveRecordID(manager_, buffer, sizeof buffer, &number, hex, record,
                       &status_);
    EXPECT_EQ(StatusMalformedParameter, status_);
    tvDeleteRecordNum(manager_, record, &status_);
    EXPECT_EQ(StatusMalformedParameter, status_);
    tvUnDeleteRecordNum(manager_, record, &status_);
    EXPECT_EQ(StatusMalformedParameter, status_);
    EXPECT_EQ(0, tvIsRecordDeleted(manager_, record, &status_));
    unsigned long list[] = {record, 3};
    tvDeleteRecordNums(manager_, list, 2, &status_);
    EXPECT_EQ(StatusMalformedParameter, status_);
    EXPECT_EQ(1ul, tvGetNumberOfRecordsDeleted(manager_, &status_));
    tvUnDeleteRecordNums(manager_, list, 2, &status_);
    EXPECT_EQ(StatusMalformedParameter, status_);
    EXPECT_EQ(0ul, tvGetNumberOfRecordsDeleted(manager_, &status_));
  }
}

TEST_F(BadArgumentsTest, IndexerHandlesThatAreNotLiveOrEnded) {
  IndexerT* ended = tvStartIndexingSession(manager_, &status_);
  ASSERT_NE(nullptr, ended);
  tvEndIndexingSession(manager_, ended, nullptr, &status_);
  long foreign[64] = {};
  IndexerT* handles[] = {nullptr, ended, reinterpret_cast<IndexerT*>(foreign),
                         reinterpret_cast<IndexerT*>(manager_)};
  WordTypeT word = MakeWord("w");
  unsigned char bytes[] = "abc";
  unsigned long number = 0;
  const std::vector<std::pair<const char*, IndexerCallT>> calls = {
      {"tvIncrementRecord",
       [&](IndexerT* i, StatusCodeT* s) { tvIncrementRecord(i, &word, s); }},
      {"tvIndexWord", [&](IndexerT* i, StatusCodeT* s) { tvIndexWord(i, &word, s); }},
      {"tvIndexWordSpecial",
       [&](IndexerT* i, StatusCodeT* s) { tvIndexWordSpecial(i, &word, 1, 0, s); }},
      {"tvStartField", [&](IndexerT* i, StatusCodeT* s) { tvStartField(i, bytes, 3, s); }},
      {"tvEndField", [&](IndexerT* i, StatusCodeT* s) { tvEndField(i, bytes, 3, s); }},
      {"tvStoreRecordData",
       [&](IndexerT* i, StatusCodeT* s) { tvStoreRecordData(i, bytes, 3, s); }},
      {"tvStoreMoreRecordData",
       [&](IndexerT* i, StatusCodeT* s) { tvStoreMoreRecordData(i, bytes, 3, s); }},
      {"tvProcessRecordID",
       [&](IndexerT* i, StatusCodeT* s) { tvProcessRecordID(i, bytes, 3, 1, 1, s); }},
      {"tvGetTempDiskSpaceUsage",
       [&](IndexerT* i, StatusCodeT* s) { tvGetTempDiskSpaceUsage(i, &number, s); }},
      {"tvSetFinalIndexDataPosition",
       [&](IndexerT* i, StatusCodeT* s) {
         tvSetFinalIndexDataPosition(i, &other_[0], s);
       }},
      {"tvEndDistributedIndexingSession",
       [&](IndexerT* i, StatusCodeT* s) { tvEndDistributedIndexingSession(i, s); }},
      {"tvEndIndexingSession",
       [&](IndexerT* i, StatusCodeT* s) { tvEndIndexingSession(manager_, i, &word, s); }},
      {"tvFinalProcessIndex",
       [&](IndexerT* i, StatusCodeT* s) { tvFinalProcessIndex(manager_, i, s); }},
      {"tvMakeIndexActive",
       [&](IndexerT* i, StatusCodeT* s) { tvMakeIndexActive(manager_, i, s); }},
  };
  for (IndexerT* handle : handles) {
    for (const auto& call : calls) {
      StatusCodeT status = 99;
      call.second(handle, &status);
      EXPECT_EQ(StatusNotInitializedForIndexing, status)
          << call.first << " " << handle;
      call.second(handle, nullptr);
    }
  }
  // The index is untouched by all of it.
  EXPECT_EQ(3ul, tvNumberOfRecordsInIndex(manager_, nullptr, &status_));
}

TEST_F(BadArgumentsTest, NullPointersAndLimitsOnALiveIndexer) {
  IndexerT* indexer = tvStartIndexingSession(manager_, &status_);
  ASSERT_NE(nullptr, indexer);
  unsigned char name[200] = {'f'};
  struct CaseT {
    const char* Name;
    std::function<void(StatusCodeT*)> Call;
  } const cases[] = {
      {"word null", [&](StatusCodeT* s) { tvIndexWord(indexer, nullptr, s); }},
      {"special word null",
       [&](StatusCodeT* s) { tvIndexWordSpecial(indexer, nullptr, 1, 0, s); }},
      {"field null name",
       [&](StatusCodeT* s) { tvStartField(indexer, nullptr, 3, s); }},
      {"record data null",
       [&](StatusCodeT* s) { tvStoreRecordData(indexer, nullptr, 10, s); }},
      {"more record data null",
       [&](StatusCodeT* s) { tvStoreMoreRecordData(indexer, nullptr, 10, s); }},
      {"record ID null",
       [&](StatusCodeT* s) { tvProcessRecordID(indexer, nullptr, 10, 1, 1, s); }},
      {"record ID too long to index",
       [&](StatusCodeT* s) { tvProcessRecordID(indexer, name, 200, 0, 1, s); }},
      {"final name null",
       [&](StatusCodeT* s) { tvSetFinalIndexDataPosition(indexer, nullptr, s); }},
      {"final name too long", [&](StatusCodeT* s) {
         std::string longName(300, 'n');
         tvSetFinalIndexDataPosition(indexer, &longName[0], s);
       }},
  };
  for (const CaseT& c : cases) {
    StatusCodeT status = 99;
    c.Call(&status);
    EXPECT_LT(status, 0) << c.Name;
  }
  // Lengths past the limits are ignored, as documented.
  tvStartField(indexer, name, 121, &status_);
  EXPECT_EQ(StatusNoError, status_);
  tvEndField(indexer, name, 0, &status_);
  EXPECT_EQ(StatusNoError, status_);
  tvGetTempDiskSpaceUsage(indexer, nullptr, &status_);
  EXPECT_EQ(StatusNoError, status_);
  // The session still works and adds its partition.
  WordTypeT word = MakeWord("z");
  tvIndexWord(indexer, &word, &status_);
  tvEndIndexingSession(manager_, indexer, nullptr, &status_);
  EXPECT_EQ(StatusNoError, status_);
  EXPECT_EQ(4ul, tvNumberOfRecordsInIndex(manager_, nullptr, &status_));
}

TEST_F(BadArgumentsTest, VectorHandlesThatAreNotLive) {
  // Made first, so that the stale handle's memory is not reused for it.
  QueryVectorBaseT* live = tvCreateResultVector(&status_);
  QueryVectorBaseT* stale = tvCreateResultVector(&status_);
  tvDeleteResultVector(stale, &status_);
  long foreign[64] = {};
  QueryVectorBaseT* handles[] = {stale,
                                 reinterpret_cast<QueryVectorBaseT*>(foreign),
                                 reinterpret_cast<QueryVectorBaseT*>(manager_)};
  unsigned long a = 0, b = 0, c = 0;
  float w = 0;
  const std::vector<std::pair<const char*, VectorCallT>> calls = {
      {"tvNumHits", [&](QueryVectorBaseT* v, StatusCodeT* s) { tvNumHits(v, &a, &b, &c, s); }},
      {"tvVectorNextHit",
       [&](QueryVectorBaseT* v, StatusCodeT* s) { tvVectorNextHit(v, &a, &b, &c, &w, s); }},
      {"tvVectorPreviousHit",
       [&](QueryVectorBaseT* v, StatusCodeT* s) { tvVectorPreviousHit(v, &a, &b, &c, &w, s); }},
      {"tvVectorNextRecord",
       [&](QueryVectorBaseT* v, StatusCodeT* s) { tvVectorNextRecord(v, &a, &b, &c, &w, s); }},
      {"tvVectorPreviousRecord",
       [&](QueryVectorBaseT* v, StatusCodeT* s) {
         tvVectorPreviousRecord(v, &a, &b, &c, &w, s);
       }},
      {"tvVectorCurrentHit",
       [&](QueryVectorBaseT* v, StatusCodeT* s) { tvVectorCurrentHit(v, &a, &b, &c, &w, s); }},
      {"tvVectorAddHit",
       [&](QueryVectorBaseT* v, StatusCodeT* s) { tvVectorAddHit(v, 1, 1, 1.0f, s); }},
      {"tvVectorRewind", [&](QueryVectorBaseT* v, StatusCodeT* s) { tvVectorRewind(v, s); }},
      {"tvDeleteResultVector",
       [&](QueryVectorBaseT* v, StatusCodeT* s) { tvDeleteResultVector(v, s); }},
      {"tvVectorAnd left",
       [&](QueryVectorBaseT* v, StatusCodeT* s) { EXPECT_EQ(nullptr, tvVectorAnd(v, live, s)); }},
      {"tvVectorOr right",
       [&](QueryVectorBaseT* v, StatusCodeT* s) { EXPECT_EQ(nullptr, tvVectorOr(live, v, s)); }},
      {"tvVectorNot both",
       [&](QueryVectorBaseT* v, StatusCodeT* s) { EXPECT_EQ(nullptr, tvVectorNot(v, v, s)); }},
  };
  for (QueryVectorBaseT* handle : handles) {
    for (const auto& call : calls) {
      StatusCodeT status = 99;
      call.second(handle, &status);
      EXPECT_EQ(StatusNotIndexFile, status) << call.first << " " << handle;
      call.second(handle, nullptr);
    }
  }
  // Null vectors: counts of zero and an accepted deletion, else a refusal.
  StatusCodeT status = 99;
  tvNumHits(nullptr, &a, &b, &c, &status);
  EXPECT_LE(status, 0);
  tvDeleteResultVector(nullptr, &status);
  EXPECT_EQ(StatusNoError, status);
  tvVectorNextHit(nullptr, &a, &b, &c, &w, &status);
  EXPECT_LT(status, 0);
  EXPECT_EQ(nullptr, tvVectorAnd(nullptr, nullptr, &status));
  EXPECT_LT(status, 0);
  // Hits out of order or numbered from 0 are refused; the vector keeps the
  // hits it had.
  tvVectorAddHit(live, 2, 3, 1.0f, &status);
  EXPECT_EQ(StatusNoError, status);
  const unsigned long refused[][2] = {{0, 1}, {1, 0}, {2, 3}, {1, 9}};
  for (const auto& hit : refused) {
    tvVectorAddHit(live, hit[0], hit[1], 1.0f, &status);
    EXPECT_EQ(StatusMalformedParameter, status) << hit[0] << "," << hit[1];
  }
  tvNumHits(live, &a, &b, &c, &status);
  EXPECT_EQ(1ul, a);
  tvDeleteResultVector(live, &status_);
}

TEST_F(BadArgumentsTest, TextUtilityHandlesAndPointers) {
  long foreign[64] = {};
  StopListT* stops[] = {nullptr, reinterpret_cast<StopListT*>(foreign)};
  WordHighlighterT* matchers[] = {nullptr,
                                  reinterpret_cast<WordHighlighterT*>(foreign)};
  RobotsT* robots[] = {nullptr, reinterpret_cast<RobotsT*>(foreign)};
  unsigned char word[] = "the";
  char text[] = "User-Agent: *\nDisallow: /";
  char buffer[256];
  for (int i = 0; i < 2; ++i) {
    StatusCodeT status = 99;
    tvAddStopWord(stops[i], word, 3, &status);
    EXPECT_EQ(StatusMalformedParameter, status);
    tvAddStopWordList(stops[i], &path_[0], &status);
    EXPECT_EQ(StatusMalformedParameter, status);
    EXPECT_EQ(0, tvIsStopWord(stops[i], 0, word, 3));
    EXPECT_EQ(0ul, tvNumStopWords(stops[i]));
    tvDeleteStopWordList(stops[i]);

    tvAddWildCardPatternToHighlightMatcher(matchers[i], word, 3, &status);
    EXPECT_EQ(StatusMalformedParameter, status);
    EXPECT_EQ(0, tvHighlightMatcherMatch(matchers[i], word, 3));
    tvDeleteHighlightMatcher(matchers[i]);

    tvSetRobotName(robots[i], "bot", 3);
    tvParseRobotsTxt(robots[i], text);
    EXPECT_EQ(0, tvRobotsPermissionGranted(robots[i], "/"));
    EXPECT_EQ(0, tvRobotsPermissionGrantedFullURL(robots[i], text));
    EXPECT_EQ(0ul, tvRobotsTxtLength(robots[i]));
    tvOutputCompactRobotsTxt(robots[i], buffer);
    tvDeleteRobotsTxtParser(robots[i]);
  }

  StopListT* list = tvCreateStopWordList();
  StatusCodeT status = 99;
  tvAddStopWord(list, nullptr, 3, &status);
  EXPECT_EQ(StatusMalformedParameter, status);
  tvAddStopWordList(list, nullptr, &status);
  EXPECT_EQ(StatusCannotOpenFile, status);
  tvAddStopWordList(list, &dir_.File("missing")[0], &status);
  EXPECT_EQ(StatusCannotOpenFile, status);
  EXPECT_EQ(0, tvIsStopWord(list, 0, nullptr, 3));
  EXPECT_EQ(0, tvIsStopWord(list, 5, word, 3));  // start past end
  tvDeleteStopWordList(list);

  WordHighlighterT* matcher = tvCreateHighlightMatcher(&status);
  std::vector<unsigned char> pattern(300, 'a');
  tvAddWildCardPatternToHighlightMatcher(matcher, pattern.data(), 300, &status);
  EXPECT_EQ(StatusBadKeyLength, status);
  tvAddWildCardPatternToHighlightMatcher(matcher, nullptr, 3, &status);
  EXPECT_LT(status, 0);
  EXPECT_EQ(0, tvHighlightMatcherMatch(matcher, nullptr, 3));
  tvDeleteHighlightMatcher(matcher);

  RobotsT* parser = tvCreateRobotsTxtParser(&status);
  tvSetRobotName(parser, nullptr, 50);
  std::string longName(1000, 'b');
  tvSetRobotName(parser, longName.c_str(), 1000);
  tvParseRobotsTxt(parser, nullptr);
  EXPECT_EQ(0, tvRobotsPermissionGranted(parser, nullptr));
  EXPECT_EQ(0, tvRobotsPermissionGrantedFullURL(parser, nullptr));
  tvOutputCompactRobotsTxt(parser, nullptr);
  tvDeleteRobotsTxtParser(parser);

  EXPECT_EQ(0, tvStemEnglishWord(nullptr, "word"));
  EXPECT_EQ(0, tvStemEnglishWord(buffer, nullptr));
  ucNormalizeChar(nullptr, 1);
  ucInitializeNormalizationTable(nullptr, 1024, 1);
  unsigned short ch = 'A';
  ucTableNormalizeChar(nullptr, &ch, 1024);
  ucTableNormalizeChar(nullptr, nullptr, 0);
  EXPECT_EQ('A', ch);
}

TEST_F(BadArgumentsTest, ConversionsAndStatusesWithNullPointers) {
  tvLongQueryFormToShortQueryForm(nullptr, 5);
  unsigned char out[16];
  tvConvertQuery(nullptr, out);
  tvConvertQuery(U("a"), nullptr);
  tvConvertQuery2(nullptr, U("a"));
  tvCharWordToHexWord(nullptr, U("a"), 1);
  char hex[8];
  tvCharWordToHexWord(hex, nullptr, 3);
  tvHexToChar(nullptr, "41");
  unsigned char byte = 7;
  tvHexToChar(&byte, nullptr);
  tvCharToHex(1, nullptr);
  tvUnicodeHexToChar(nullptr, "0041");
  tvUnicodeCharToHex(1, nullptr);
  EXPECT_NE(nullptr, StatusCodeMessage(-9999));
  EXPECT_NE(nullptr, GetStatus(-3, nullptr, 100));
  EXPECT_NE(nullptr, tvGetStatusMessage(nullptr, nullptr, 0));
  char message[4];
  StatusCodeT code = StatusReadError;
  tvGetStatusMessage(&code, message, sizeof message);
  EXPECT_EQ(3u, std::strlen(message));
  tvGetLocationForTemporaryFiles(nullptr);

  tvDeleteIndexCreationParams(nullptr);
  tvResetIndexCreationParams(nullptr);
  tvSetIndexCreationParams(nullptr, IndexParamIndexMode, nullptr);
  IndexCreationParametersT* params = tvCreateIndexCreationParams(&status_);
  for (long id : {4L, 7L, 11L, 12L}) tvSetIndexCreationParams(params, id, nullptr);
  tvSetIndexCreationParams(params, -5, nullptr);
  tvCreateIndexEx(manager_, params, &status_);
  EXPECT_LT(status_, 0);
  EXPECT_EQ(nullptr, tvStartDistributedIndexingSession(nullptr, &status_));
  EXPECT_LT(status_, 0);
  long foreign[64] = {};
  EXPECT_EQ(nullptr,
            tvStartDistributedIndexingSession(
                reinterpret_cast<IndexCreationParametersT*>(foreign), &status_));
  EXPECT_LT(status_, 0);
  tvDeleteIndexCreationParams(params);
}

}  // namespace
