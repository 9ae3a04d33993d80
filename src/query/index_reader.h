// IndexReaderT: the reader of one partition as the index manager sees it.
// The manager holds one reader per partition and asks it, with record
// numbers counted within the partition, for dictionary keys, record data,
// record IDs and query results. Every operation here does nothing and
// returns 0 (or null); a concrete reader (PartitionReaderT) replaces them.

#ifndef TARVIS_QUERY_INDEX_READER_H_
#define TARVIS_QUERY_INDEX_READER_H_

#include <cstdint>

#include "tarvis/tarvis.h"

class DeletedRecordSetT;
class QueryVectorBaseT;
struct QueryOptionsT;
struct TarvisDataCursorT;

class IndexReaderT {
 public:
  IndexReaderT() = default;
  virtual ~IndexReaderT() = default;
  IndexReaderT(const IndexReaderT&) = delete;
  IndexReaderT& operator=(const IndexReaderT&) = delete;

  // The key at, before and after the dictionary position, with the term's
  // record and posting counts (key: length-prefixed, room for 256 bytes).
  virtual int CurrentKey(unsigned char* /*key*/, uint32_t& /*records*/,
                         uint32_t& /*hits*/, StatusCodeT* /*status*/) {
    return 0;
  }
  virtual int PreviousKey(unsigned char* /*key*/, uint32_t& /*records*/,
                          uint32_t& /*hits*/, StatusCodeT* /*status*/) {
    return 0;
  }
  virtual int NextKey(unsigned char* /*key*/, uint32_t& /*records*/,
                      uint32_t& /*hits*/, StatusCodeT* /*status*/) {
    return 0;
  }

  // Record data of a record, then further pieces of it through the cursor.
  virtual int ReadRecordInfo(unsigned char* /*buffer*/,
                             uint32_t /*bufferLength*/, uint32_t* /*bytesRead*/,
                             uint32_t /*record*/, TarvisDataCursorT* /*cursor*/,
                             StatusCodeT* /*status*/) {
    return 0;
  }
  virtual int ReadMoreRecordInfo(unsigned char* /*buffer*/,
                                 uint32_t /*bufferLength*/,
                                 uint32_t* /*bytesRead*/,
                                 TarvisDataCursorT* /*cursor*/,
                                 StatusCodeT* /*status*/) {
    return 0;
  }
  // The record ID of a record.
  virtual int ReadRecordID(unsigned char* /*id*/, uint32_t /*bufferLength*/,
                           uint32_t* /*length*/, uint32_t /*record*/,
                           StatusCodeT* /*status*/) {
    return 0;
  }

  // The records holding a record-ID term; the caller owns the vector.
  virtual QueryVectorBaseT* FindRecordID(unsigned char* /*term*/,
                                         DeletedRecordSetT* /*deleted*/,
                                         StatusCodeT* /*status*/) {
    return nullptr;
  }
  // The hits of a query in the short form, numbered within the partition;
  // the caller owns the vector. The first argument is not read.
  virtual QueryVectorBaseT* ProcessQuery(unsigned char* /*unused*/,
                                         unsigned char* /*query*/,
                                         QueryOptionsT* /*options*/,
                                         DeletedRecordSetT* /*deleted*/,
                                         StatusCodeT* /*status*/) {
    return nullptr;
  }
};

#endif  // TARVIS_QUERY_INDEX_READER_H_
