// PartitionReaderT: reads one partition of an index for searching. It reads
// and checks the partition header at the position where the partition
// starts, loads the dictionary B-tree when a lookup first needs it, looks
// terms up (their word information positions a posting decoder) and opens
// the partition's compressed document weights for ranking.
//
// The file is the caller's and must outlive the reader; other readers and
// decoders may share it. The reader owns its dictionary reader and keeps
// one dictionary position (Cursor), the entry last found or stepped to.
// Browsing, query processing and record data are built on the protected
// state below.

#ifndef TARVIS_QUERY_PARTITION_READER_H_
#define TARVIS_QUERY_PARTITION_READER_H_

#include <cstdint>

#include "format/partition_header.h"
#include "format/word_info.h"
#include "query/compressed_vector.h"
#include "query/index_reader.h"
#include "query/query_term_source.h"
#include "query/uncompressed_vector.h"
#include "storage/dictionary_functions.h"
#include "storage/readtree.h"

class FileClassT;
class IndexDecompressorT;

class PartitionReaderT : public IndexReaderT,
                         public DictionaryFunctionsT,
                         public QueryTermSourceT {
 public:
  // Cache pages the dictionary adds to the file.
  static constexpr uint32_t kDictionaryCachePages = 5;

  explicit PartitionReaderT(uint32_t partitionNumber);
  ~PartitionReaderT() override;

  // Reads the partition header at the file's position, which becomes the
  // header position, and checks it (see ValidatePartitionHeader). 1, or 0
  // with status StatusReadError (the file ends first) or StatusNotIndexFile
  // (not a sound partition header); the reader is unusable after a 0.
  int ReadHeader(FileClassT* file, StatusCodeT* status);

  uint32_t PartitionNumber() const { return Number; }
  uint32_t RecordCount() const { return HeaderData.RecordCount; }
  // Bytes from the header position to the partition's end.
  uint32_t PartitionLength() const { return HeaderData.EndOffset; }
  // Records of the partitions before this one; set by the index manager.
  uint32_t RecordsBefore() const { return RecordsBeforeCount; }
  void SetRecordsBefore(uint32_t records) { RecordsBeforeCount = records; }
  uint32_t IndexMode() const { return HeaderData.IndexMode; }
  const PartitionHeaderT& Header() const { return HeaderData; }
  uint32_t HeaderPosition() const { return HeaderStart; }
  FileClassT* File() const { return ReaderFile; }

  // Loads the dictionary on first use; a partition without one loads as
  // empty. 1, or 0 with StatusGeneralError.
  int LoadDictionary(StatusCodeT* status);
  // Looks a length-prefixed term up; the dictionary position rests on it,
  // or on the next greater key when it is missing. 1 found (info filled;
  // its inline postings are borrowed from the reader until the position
  // moves); 0 with the status untouched when missing; 0 with
  // StatusGeneralError when the dictionary cannot be searched or
  // StatusReadError when the term's entry is damaged.
  int LookupTerm(const unsigned char* key, WordIndexInfoT* info,
                 StatusCodeT* status);
  // A decoder on the partition's compressed document weights, given their
  // quantisation: NextDocWeight(record) yields record's weight and word
  // count. The caller owns it. Null with the status untouched when the
  // partition has no weights; null with StatusNotEnoughMemory or
  // StatusGeneralError when it cannot be made.
  IndexDecompressorT* GetTermCounts(StatusCodeT* status);

  // ---- Dictionary browsing, term vectors and queries ------------------------
  // (partition_browse.cc, partition_query.cc)
  //
  // Keys are length-prefixed (room for 256 bytes). The browsing operations
  // move the dictionary position and report the key there with the term's
  // record count R and posting count P in this partition; each returns 1, or
  // 0 with a status: StatusNoCurrentKey without a position,
  // StatusEndOfWordList at either end (the position stays),
  // StatusGeneralError when the dictionary cannot be loaded or read,
  // StatusReadError when the key's word information is damaged. Queries,
  // wildcards and ranges move the position as well.

  // Looks key up: found 1 with its counts, or found 0 with the position on
  // the next greater key (on the last key when every key is smaller; no
  // position when the partition has no keys).
  int FindKey(const unsigned char* key, BooleanT& found, uint32_t& records,
              uint32_t& hits, StatusCodeT* status);
  int CurrentKey(unsigned char* key, uint32_t& records, uint32_t& hits,
                 StatusCodeT* status) override;
  int NextKey(unsigned char* key, uint32_t& records, uint32_t& hits,
              StatusCodeT* status) override;
  int PreviousKey(unsigned char* key, uint32_t& records, uint32_t& hits,
                  StatusCodeT* status) override;
  // Moves to key number n (1 is the first). StatusEndOfWordList for 0 and
  // for a number beyond the last key.
  int FindNthKey(uint32_t n, unsigned char* key, uint32_t& records,
                 uint32_t& hits, StatusCodeT* status);

  // The dictionary interface: cursor is a ReadBTreeCursorT of this reader,
  // or null for the reader's own position. Keys as bytes plus length. Status
  // 0, or StatusEndOfWordList (no keys, or at either end), StatusNoCurrentKey,
  // StatusBadKeyLength, StatusGeneralError.
  void DF_FindKey(void* cursor, unsigned char* key, uint32_t& length,
                  StatusCodeT* status) override;
  void DF_CurrentKey(void* cursor, unsigned char* key, uint32_t& length,
                     StatusCodeT* status) override;
  void DF_NextKey(void* cursor, unsigned char* key, uint32_t& length,
                  StatusCodeT* status) override;
  void DF_PreviousKey(void* cursor, unsigned char* key, uint32_t& length,
                      StatusCodeT* status) override;

  // The postings of the key at the position, standing on its first hit;
  // owned by the caller. Null with a status (StatusNotEnoughMemory when it
  // cannot be allocated).
  CompressedQueryVectorT* GetCurrentQueryVector(StatusCodeT* status);

  // Term leaves of the query parser (hits numbered within the partition).
  // The vector of one term: hooked to its postings, or empty when the
  // partition does not hold it. StatusGeneralError when the dictionary
  // cannot be searched, StatusReadError when the entry is damaged.
  CompressedQueryVectorT* TokentoVector(const unsigned char* key,
                                        StatusCodeT* status) override;
  // The OR of every key matching the pattern, in key order, however many.
  QueryVectorBaseT* ProcessWildCard(const unsigned char* pattern,
                                    const LeafViewT& view,
                                    StatusCodeT* status) override;
  // The OR of the first maxTerms keys from low to high, both included.
  QueryVectorBaseT* ProcessRange(const unsigned char* low,
                                 const unsigned char* high, uint32_t maxTerms,
                                 const LeafViewT& view,
                                 StatusCodeT* status) override;
  // Parses and evaluates a query in the short form over this partition;
  // records are asked of the deletion set with the records-before number
  // added. Of the options only RecordsOnly and the record range are read
  // (null: hits wanted, in every record).
  UncompressedQueryVectorT* ProcessQuery(unsigned char* unused,
                                         unsigned char* query,
                                         QueryOptionsT* options,
                                         DeletedRecordSetT* deleted,
                                         StatusCodeT* status) override;

 protected:
  // The cursor a dictionary operation works on.
  ReadBTreeCursorT* DictionaryCursor(void* cursor) {
    return cursor != nullptr ? static_cast<ReadBTreeCursorT*>(cursor)
                             : &Cursor;
  }
  // Copies the key at the position (unless key is null) and reports its
  // counts. 1, or 0 with StatusReadError.
  int ReportCurrentKey(unsigned char* key, uint32_t& records, uint32_t& hits,
                       StatusCodeT* status);
  // ReportCurrentKey after a step of the position that gave result (end:
  // the result at the end of the dictionary).
  int ReportStep(int result, int end, unsigned char* key, uint32_t& records,
                 uint32_t& hits, StatusCodeT* status);
  // A new vector hooked to the term info describes, or an empty one for a
  // null info.
  CompressedQueryVectorT* NewTermVector(const WordIndexInfoT* info,
                                        StatusCodeT* status);
  // NewTermVector for the key at the position.
  CompressedQueryVectorT* CurrentKeyVector(StatusCodeT* status);

 public:

  // ---- Record data and record IDs -------------------------------------------
  // (partition_records.cc)
  //
  // Records are numbered within the partition. The partition's own option
  // flags and fixed lengths decide the layout of its tables (see
  // RecordDataPointerBytes and RecordIDPointerBytes). A record beyond the
  // partition reads as nothing, with status 0. Every pointer and entry is
  // checked against the area it belongs to: a table or pointer pair that
  // does not fit gives StatusReadError, never a read outside the area.
  // Without the table asked for, StatusNoRecordData. Each returns 1 when it
  // read something, else 0.

  // Reads at most bufferLength bytes of the record's data and fills the
  // cursor (data position, total length, bytes delivered, done).
  int ReadRecordInfo(unsigned char* buffer, uint32_t bufferLength,
                     uint32_t* bytesRead, uint32_t record,
                     TarvisDataCursorT* cursor, StatusCodeT* status) override;
  // The next piece of the cursor's data. A cursor that does not lie inside
  // the partition gets StatusMalformedParameter.
  int ReadMoreRecordInfo(unsigned char* buffer, uint32_t bufferLength,
                         uint32_t* bytesRead, TarvisDataCursorT* cursor,
                         StatusCodeT* status) override;
  // Reads the record's ID, at most bufferLength bytes of it; *length is the
  // count read.
  int ReadRecordID(unsigned char* id, uint32_t bufferLength, uint32_t* length,
                   uint32_t record, StatusCodeT* status) override;
  // The records holding the term given as a hex word (the indexed form
  // "m" + ID), deleted records dropped (deleted may be null), numbered
  // within the partition; null when no record holds it. The caller owns the
  // vector. StatusBadKeyLength for a term that is not a hex word of 1 to 255
  // bytes.
  QueryVectorBaseT* FindRecordID(unsigned char* term, DeletedRecordSetT* deleted,
                                 StatusCodeT* status) override;

 protected:
  // Decodes the word information of the entry at Cursor into info,
  // checking it against the partition. 1, or 0 when it is damaged.
  int DecodeWordInformation(WordIndexInfoT* info) const;

  uint32_t Number;
  FileClassT* ReaderFile = nullptr;  // not owned; null until a header is read
  uint32_t HeaderStart = 0;
  PartitionHeaderT HeaderData;
  uint32_t RecordsBeforeCount = 0;
  ReadBTreeT Tree;
  int DictionaryLoaded = 0;
  ReadBTreeCursorT Cursor;  // the dictionary position
};

#endif  // TARVIS_QUERY_PARTITION_READER_H_
