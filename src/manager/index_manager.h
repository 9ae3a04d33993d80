// IndexManagerT: the object behind the index manager handle. It owns one
// index file at a time: it creates it, opens it, keeps its header and
// deleted-record set, starts indexing sessions whose partitions it appends
// to the file, opens one partition reader per partition for retrieval, and
// closes the file again.
//
// States: Idle (no index file), Open (file, header and deleted-record set in
// memory, no readers) and Retrieving (one reader per partition, record
// numbers global). A call made in a state where it has no meaning reports a
// status and changes nothing: StatusIndexNotLoaded on an Idle manager,
// StatusIndexLocked for Open, LoadIndex or Create while an index is open.
//
// The file is checked before it is trusted: a header whose positions or
// counts do not fit the file, and a partition that runs past the next one or
// past the append position, make Open or the retrieval session fail with a
// status.
//
// Appending a partition copies it behind the last one and flushes it before
// the header is rewritten, so a crash during an append leaves the index as
// it was. When the deleted-record list the header points to would be
// overwritten by the copy, the list is first written beyond the new
// partition and the header pointed to it.
//
// Operations a derived manager may replace are virtual: the indexer and
// reader it makes, and its own header handling.

#ifndef TARVIS_MANAGER_INDEX_MANAGER_H_
#define TARVIS_MANAGER_INDEX_MANAGER_H_

#include <cstdint>

#include "indexing/indexer.h"
#include "manager/index_header.h"
#include "tarvis/tarvis.h"

class FileClassT;
class PartitionReaderT;
class TarvisRecordDeleterT;
class UncompressedQueryVectorT;
struct IndexCreationParametersT;

class IndexManagerT {
 public:
  enum StateT { kIdle, kOpen, kRetrieving };

  IndexManagerT();
  // Releases everything without writing: close the index first.
  virtual ~IndexManagerT();
  IndexManagerT(const IndexManagerT&) = delete;
  IndexManagerT& operator=(const IndexManagerT&) = delete;

  // ---- Replaceable operations -----------------------------------------------

  // A new indexer for a session; null when it cannot be made.
  virtual IndexerT* CreateIndexer(StatusCodeT* status);
  // A new reader for the given partition number; null when it cannot be
  // made.
  virtual PartitionReaderT* NewReader(uint32_t partitionNumber);
  // Makes the index file the parameters describe; the manager stays Idle.
  virtual void Create(const IndexCreationParametersT* params,
                      StatusCodeT* status);
  // Opens an index file and reads its header and deleted-record list. A file
  // that cannot be opened for writing is opened read-only. On failure the
  // manager stays Idle.
  virtual void Open(const char* fileName, StatusCodeT* status);
  // Writes back a changed deleted-record list, releases everything and
  // resets the manager. Nothing to do on an Idle manager.
  virtual void Close(StatusCodeT* status);
  // Close, then Open on the same file.
  virtual void ReloadIndex(StatusCodeT* status);
  // Reads the magic and both header copies at the header position and picks
  // the current one: the first intact copy that fits the file.
  virtual void ReadHeader(StatusCodeT* status);

  // Record data, record IDs and partitions (record_data.cc, partitions.cc):

  // Optimisation (optomize_manager.cc):

  // ---- Index file -----------------------------------------------------------

  // Takes an open file whose position is at a header; on failure the file
  // stays the caller's.
  void LoadIndex(FileClassT* file, StatusCodeT* status);
  // Write the magic and the current header (both copies) at the header
  // position, or at the file's position, which becomes the header position.
  // 1 on success, 0 on a write failure.
  int WriteFullHeader();
  int WriteBlankHeader();

  // ---- Indexing sessions ----------------------------------------------------

  // Marks the header as taking a session and makes a started indexer; null
  // with the status on failure.
  IndexerT* IMStartIndexingSession(StatusCodeT* status);
  // Appends the partition of an ended session and destroys the indexer,
  // whatever the outcome. An empty session only destroys it.
  void AddIndexingDataToIndex(IndexerT* indexer, StatusCodeT* status);
  // Destroys an indexer that will not be added.
  void DiscardIndexer(IndexerT* indexer);

  // ---- Retrieval ------------------------------------------------------------

  void StartRetrievalSession(StatusCodeT* status);
  void EndRetrievalSession(StatusCodeT* status);
  void LoadPartitions(StatusCodeT* status);
  // Loads the partition that starts at position as the next loaded one.
  void LoadPartition(uint32_t position, StatusCodeT* status);
  void CountRecsBeforePartitions();
  // Maps a global record number to a loaded partition and the record number
  // within it; 0 for record 0 or a number beyond the records loaded.
  int FindPartitionOfRecord(uint32_t record, uint32_t* partition,
                            uint32_t* recordInPartition) const;

  // ---- Deleted records (during a retrieval session) -------------------------

  void DeleteRecordNum(unsigned long record, StatusCodeT* status);
  void DeleteRecordNums(const unsigned long* records, unsigned long count,
                        StatusCodeT* status);
  void UnDeleteRecordNum(unsigned long record, StatusCodeT* status);
  void UnDeleteRecordNums(const unsigned long* records, unsigned long count,
                          StatusCodeT* status);
  int IsRecordDeleted(unsigned long record, StatusCodeT* status);
  uint32_t GetNumberOfRecordsDeleted(StatusCodeT* status);
  void OutputDeletedRecords(unsigned long* records, StatusCodeT* status);

  // ---- Queries and dictionary browsing (query_dispatch.cc, browse.cc) -------
  //
  // All of them need a retrieval session (StatusNotInitializedForSearching);
  // a negative status from a partition ends them with that status.

  // Runs a Boolean query in the short form over every loaded partition and
  // joins the partitions' hits, each shifted by its records-before number,
  // into one vector, rewound, owned by the caller; null with a status.
  UncompressedQueryVectorT* ProcessQuery(const unsigned char* query,
                                         StatusCodeT* status);

  // A query in two optional parts (null or blank: not given): the Boolean
  // query selects records, the ranked query scores them (ranked_manager.h).
  // Returns the ranked vector, or the Boolean result when no ranked query
  // is given, rewound and owned by the caller; null with status 0 when
  // neither part is given, null with a negative status on failure.
  QueryVectorBaseT* ProcessRankedQuery(const unsigned char* rankedQuery,
                                       const unsigned char* booleanQuery,
                                       StatusCodeT* status);

  // The merged word list of all partitions (keys length-prefixed, buffers of
  // 256 bytes; counts summed over the partitions holding the word). found,
  // records and hits may be null; cursor and key may not
  // (StatusMalformedParameter).
  //
  // Looks key up; when no partition holds it, key is overwritten with the
  // next word (see NextKey) and found is 0.
  void FindKey(DictionaryCursorT* cursor, unsigned char* key, BooleanT* found,
               uint32_t* records, uint32_t* hits, StatusCodeT* status);
  // The word after (before) the cursor's key; StatusEndOfWordList when there
  // is none, the cursor unchanged.
  void NextKey(DictionaryCursorT* cursor, unsigned char* key,
               uint32_t* records, uint32_t* hits, StatusCodeT* status);
  void PreviousKey(DictionaryCursorT* cursor, unsigned char* key,
                   uint32_t* records, uint32_t* hits, StatusCodeT* status);
  // The cursor's word, read from the cursor alone; StatusNoCurrentKey when
  // it holds no word of the index.
  void CurrentKey(const DictionaryCursorT* cursor, unsigned char* key,
                  uint32_t* records, uint32_t* hits, StatusCodeT* status);
  // Every hit of the cursor's word in records not deleted, numbered across
  // the index, rewound, owned by the caller.
  UncompressedQueryVectorT* GetCurrentQueryVector(
      const DictionaryCursorT* cursor, StatusCodeT* status);
  // Writes the statistics file of the merged word list (StatsDatabaseT).
  // StatusIndexEmpty, writing nothing, when there is no word.
  void OutputStatsFile(const char* fileName, StatusCodeT* status);

 protected:
  // One step of the merged word list from the cursor's key: forward for
  // direction 1, backward for -1. The cursor takes the word found. Checks
  // the session and the arguments as NextKey does.
  void StepKey(DictionaryCursorT* cursor, int direction, unsigned char* key,
               uint32_t* records, uint32_t* hits, StatusCodeT* status);

 public:

  // ---- Record data, record IDs and partitions (record_data.cc, partitions.cc)

  // ---- State ----------------------------------------------------------------

  StateT State() const;
  uint32_t NumPartitions() const { return CurrentHeader->PartitionCount; }
  uint32_t NumberOfRecordsInIndex() const { return TotalRecordCount; }
  uint32_t LoadedPartitions() const { return LoadedPartitionCount; }
  PartitionReaderT* Reader(uint32_t i) const {
    return i < LoadedPartitionCount ? Readers[i] : nullptr;
  }
  uint32_t PartitionPosition(uint32_t i) const { return PartitionPositions[i]; }
  const IndexHeaderInfoT& Header() const { return *CurrentHeader; }
  uint32_t HeaderPositionInFile() const { return HeaderPosition; }
  int IsReadOnly() const { return ReadOnly; }
  TarvisRecordDeleterT* Deleter() const { return DeletedRecords; }
  FileClassT* File() const { return IndexFile; }

  // 1 after a successful construction or reset, 0 when the scratch buffer
  // could not be allocated.
  uint32_t ConstructionFlag = 0;
  uint32_t ValidityMarker = kValidityMarker;

 protected:
  // Copies a closed partition file behind the last partition, rewrites the
  // deleted-record list and the header and, during a retrieval session,
  // loads the new partition.
  void CopyPartitionIntoIndex(FileClassT* partition, StatusCodeT* status);
  // Writes the deleted-record list at position and records it in the header
  // (not yet written).
  void WriteDeletedList(uint32_t position, StatusCodeT* status);
  // The time for a header write: now, but later than the manager's start and
  // than every stamp written or read before.
  uint32_t NextWriteStamp();
  // Writes the magic and both copies of the current header at position.
  int WriteHeaderAt(uint32_t position);
  void UnloadPartitions();
  // Back to Idle, without writing; a fresh deleted-record set and scratch
  // buffer.
  void Reset();
  // Reads header and deleted-record list of the file just attached.
  void AttachIndexFile(FileClassT* file, StatusCodeT* status);
  int RequireIndex(StatusCodeT* status) const;
  int RequireRetrieval(StatusCodeT* status) const;
  // Checks a record number against the records loaded.
  int RecordInRange(unsigned long record, StatusCodeT* status) const;
  // Applies a deletion operation to every number of a list that is in
  // range; the others get StatusMalformedParameter.
  using DeleterOpT = void (TarvisRecordDeleterT::*)(unsigned long,
                                                    StatusCodeT*);
  void ApplyToRecords(const unsigned long* records, unsigned long count,
                      DeleterOpT op, StatusCodeT* status);

  uint32_t TotalRecordCount = 0;
  uint32_t LoadedPartitionCount = 0;
  uint32_t PartitionsLoaded = 0;
  PartitionReaderT* Readers[kMaxPartitions] = {};
  // Partition files of a distributed index, open during retrieval.
  FileClassT* PartitionFiles[kMaxPartitions] = {};
  uint32_t PartitionPositions[kMaxPartitions] = {};
  uint32_t IndexMode = 0;
  IndexerT* CurrentIndexer = nullptr;
  FileClassT* IndexFile = nullptr;
  TarvisRecordDeleterT* DeletedRecords = nullptr;
  unsigned char* ScratchBuffer = nullptr;
  uint32_t ResetTime = 0;
  uint32_t LastStamp = 0;
  IndexHeaderInfoT Headers[2] = {};
  IndexHeaderInfoT* CurrentHeader = &Headers[0];
  IndexHeaderInfoT* OtherHeader = &Headers[1];
  uint32_t HeaderPosition = kIndexHeaderPosition;
  uint32_t HeaderEndPosition = kIndexHeaderEnd;
  uint32_t ReadOnly = 0;
  uint32_t RetrievalSession = 0;
};

#endif  // TARVIS_MANAGER_INDEX_MANAGER_H_
