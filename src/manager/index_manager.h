// IndexManagerT: the object behind the index manager handle. It owns one
// index file at a time: it creates it, opens it, starts indexing sessions
// whose partitions it adds to the index, loads the partitions for retrieval,
// dispatches queries, record data, deletion and browsing to them, and closes
// the file again.
//
// The manager itself holds little: each concern is a collaborator of its own,
// and the manager's methods check the state a call needs and hand it on.
//
//   IndexFileT          the file, its header copies and stamps, the
//                       deleted-record set and where its list goes
//                       (index_file.h)
//   LocationTableT      a distributed index's partition locations
//                       (location_table.h)
//   LoadedPartitionsT   the loaded partitions: readers, records-before
//                       numbering (loaded_partitions.h)
//   IndexCommitT        the writer lock and catching up with other writers
//                       before every change (index_commit.h)
//   IndexOptomizationT  the merge of a range and its end (index_optomization.h)
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
// Many writers, one index: every change to the index file is a commit under
// the writer lock, made against the file as other writers left it
// (index_commit.h). A manager that finds its file replaced by another
// writer's optimisation takes the new one; its own deletions and undeletions
// not yet written are dropped rather than applied to renumbered records, and
// Close reports StatusIndexChanged.
//
// A derived manager may supply its own indexers and readers (CreateIndexer,
// NewReader).

#ifndef TARVIS_MANAGER_INDEX_MANAGER_H_
#define TARVIS_MANAGER_INDEX_MANAGER_H_

#include <cstdint>

#include "indexing/indexer.h"
#include "manager/index_commit.h"
#include "manager/index_file.h"
#include "manager/index_optomization.h"
#include "manager/loaded_partitions.h"
#include "manager/location_table.h"
#include "query/ranked_manager.h"
#include "tarvis/tarvis.h"

class FileClassT;
class PartitionReaderT;
class TarvisRecordDeleterT;
class UncompressedQueryVectorT;
class WriterLockT;
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

  // ---- Index file (index_manager.cc) ----------------------------------------

  // Makes the index file the parameters describe; the manager stays Idle.
  void Create(const IndexCreationParametersT* params, StatusCodeT* status);
  // Opens an index file and reads its header and deleted-record list. A file
  // that cannot be opened for writing is opened read-only. On failure the
  // manager stays Idle.
  void Open(const char* fileName, StatusCodeT* status);
  // Takes an open file whose position is at a header; on failure the file
  // stays the caller's.
  void LoadIndex(FileClassT* file, StatusCodeT* status);
  // Writes back this manager's deletions and undeletions, releases
  // everything and resets the manager. Nothing to do on an Idle manager.
  // When the write-back fails the index stays open; when the changes were
  // dropped (records renumbered, see above) the index is closed and the
  // status is StatusIndexChanged.
  void Close(StatusCodeT* status);
  // Close, then Open on the same file.
  void ReloadIndex(StatusCodeT* status);
  // Reads the magic and both header copies at the header position and picks
  // the current one: the first intact copy that fits the file.
  void ReadHeader(StatusCodeT* status);
  // Write the magic and the current header (both copies) at the header
  // position, or at the file's position, which becomes the header position.
  // 1 on success, 0 on a write failure.
  int WriteFullHeader();
  int WriteBlankHeader();

  // ---- Indexing sessions (indexing_sessions.cc) -----------------------------

  // Marks the header as taking a session and makes a started indexer; null
  // with the status on failure.
  IndexerT* IMStartIndexingSession(StatusCodeT* status);
  // Appends the partition of an ended session and destroys the indexer,
  // whatever the outcome. An empty session only destroys it.
  void AddIndexingDataToIndex(IndexerT* indexer, StatusCodeT* status);
  // Destroys an indexer that will not be added.
  void DiscardIndexer(IndexerT* indexer);
  // Working memory of the sessions it starts from now on (work_memory.h);
  // 0 for the default.
  void SetIndexingMemory(uint64_t bytes) { SessionMemory = bytes; }
  uint64_t IndexingMemory() const { return SessionMemory; }

  // ---- Partitions (partitions.cc) -------------------------------------------
  //
  // The operations on locations need a distributed index
  // (StatusMalformedParameter for another kind); those that change the
  // table need one that can be written (StatusFileReadOnly). The table is
  // described in location_table.h.

  // Adds an existing partition file of the index's mode: a distributed index
  // registers its location (AddPartitionToDistributedIndex); a single-file
  // index copies it behind its last partition and deletes the file.
  void AddPartitionToIndex(const char* fileName, StatusCodeT* status);
  // Registers one partition: the partition of an ended session (indexer;
  // its location is the name of its partition file, which stays on disk) or
  // the partition file fileName. The file must hold a partition of the
  // index's mode. During a retrieval session the partition is loaded at
  // once. The indexer is destroyed whatever the outcome.
  void AddPartitionToDistributedIndex(IndexerT* indexer, const char* fileName,
                                      StatusCodeT* status);
  // Loads partitions first to the last, replacing those loaded from first
  // on. A partition that cannot be loaded stops the loading with its status;
  // the ones before it stay loaded.
  void LoadDistributedIndexForRetrieval(uint32_t first, StatusCodeT* status);
  // Opens partition i's file from its location and loads it into reader
  // slot i (i at most the loaded count); a partition already in the slot is
  // replaced only once the new one is loaded.
  void LoadDistributedPartition(uint32_t i, StatusCodeT* status);
  // Loads loaded partition i again from its location (for a file the host
  // replaced or moved); StatusPartitionNotFound when it is not loaded. On
  // failure the partition stays as it was.
  void ReloadDistributedPartition(uint32_t i, StatusCodeT* status);
  // The location of partition i (StatusPartitionNotFound beyond the table),
  // into a buffer of kLocationBytes.
  void ReadPartitionLocation(uint32_t i, char* path, StatusCodeT* status);
  // Rewrites the location of partition i.
  void WritePartitionLocation(uint32_t i, const char* path,
                              StatusCodeT* status);
  // Rewrites the first location equal to oldPath and gives its number in
  // *i; StatusPartitionNotFound (nothing changed) when none is equal.
  // Loaded partitions are left as they are (ReloadDistributedPartition).
  void ChangePartitionLocation(uint32_t* i, const char* newPath,
                               const char* oldPath, StatusCodeT* status);
  // Replaces the count (at least 1) locations from first by path, or
  // removes them when path is null; every location after the range moves
  // down behind it. With readFirst each entry is read before it is
  // overwritten. Loaded partitions are left as they are: the caller loads
  // them again (LoadDistributedIndexForRetrieval).
  void ReplacePartitions(const char* path, uint32_t first, uint32_t count,
                         BooleanT readFirst, StatusCodeT* status);
  // The byte length and records of loaded partition i, and of loaded
  // partitions first to last (loaded_partitions.h).
  void GetPartitionLength(uint32_t* bytes, uint32_t* records, uint32_t i) const;
  void GetPartitionSpanLength(uint32_t* bytes, uint32_t* records,
                              uint32_t first, uint32_t last) const;

  // ---- Retrieval and deleted records (retrieval.cc) -------------------------

  void StartRetrievalSession(StatusCodeT* status);
  void EndRetrievalSession(StatusCodeT* status);
  // Loads the partitions of a single-file index, or the one that starts at
  // position as the next loaded one.
  void LoadPartitions(StatusCodeT* status);
  void LoadPartition(uint32_t position, StatusCodeT* status);
  void CountRecsBeforePartitions();

  // Deletion during a retrieval session (StatusNotInitializedForSearching
  // otherwise); a record number of 0 or beyond the index is
  // StatusMalformedParameter.
  void DeleteRecordNum(unsigned long record, StatusCodeT* status);
  void DeleteRecordNums(const unsigned long* records, unsigned long count,
                        StatusCodeT* status);
  void UnDeleteRecordNum(unsigned long record, StatusCodeT* status);
  void UnDeleteRecordNums(const unsigned long* records, unsigned long count,
                          StatusCodeT* status);
  int IsRecordDeleted(unsigned long record, StatusCodeT* status);
  uint32_t GetNumberOfRecordsDeleted(StatusCodeT* status);
  void OutputDeletedRecords(unsigned long* records, StatusCodeT* status);

  // ---- Record data and record IDs (record_data.cc) --------------------------

  // Record data and record IDs by global record number, during a retrieval
  // session with partitions loaded (else StatusNotInitializedForSearching);
  // an index without the table gets StatusNoRecordData, a record number of 0
  // or beyond the index StatusMalformedParameter. The reading itself is the
  // partition reader's. GetRecordInfo sets the cursor up for
  // GetMoreRecordInfo, which reads nothing from a done cursor (*bytesRead 0).
  void GetRecordInfo(unsigned char* buffer, uint32_t bufferLength,
                     uint32_t* bytesRead, uint32_t record,
                     TarvisDataCursorT* cursor, StatusCodeT* status);
  void GetMoreRecordInfo(unsigned char* buffer, uint32_t bufferLength,
                         uint32_t* bytesRead, TarvisDataCursorT* cursor,
                         StatusCodeT* status);
  // Reads at most bufferLength bytes of the record's ID; *length is the
  // count read.
  void GetRecordID(unsigned char* id, uint32_t bufferLength, uint32_t* length,
                   uint32_t record, StatusCodeT* status);
  // The record holding the ID given in hex ("0x" and two digits per byte,
  // from the first "0" of the text on): the highest-numbered one of the
  // newest partition that holds it, deleted records left out; 0 with status
  // 0 when none does. StatusBadKeyLength for text of 243 characters or more
  // or an empty ID, StatusHexTermExpected for text that is not a hex word.
  void FindRecordID(const char* hexId, uint32_t* recordNumber,
                    StatusCodeT* status);

  // ---- Queries and dictionary browsing (query_dispatch.cc, browse.cc) -------
  //
  // All of them need a retrieval session (StatusNotInitializedForSearching);
  // a negative status from a partition ends them with that status.

  // Runs a Boolean query in the short form over every loaded partition and
  // joins the partitions' hits, each shifted by its records-before number,
  // into one vector, rewound, owned by the caller; null with a status.
  UncompressedQueryVectorT* ProcessQuery(const unsigned char* query,
                                         StatusCodeT* status);
  // ProcessQuery for a caller that needs the result's records only: in a
  // word-mode index the result holds one hit per record, at word 1.
  UncompressedQueryVectorT* ProcessQueryRecords(const unsigned char* query,
                                                StatusCodeT* status);
  // ProcessQuery as a host receives it: in a word-mode index a vector that
  // holds the records now and produces their hits when they are first asked
  // for (lazy_hits_vector.h, partition_snapshot.h); the same hits either way.
  UncompressedQueryVectorT* ProcessQueryHitsOnDemand(const unsigned char* query,
                                                     StatusCodeT* status);
  // A query in two optional parts (null or blank: not given): the Boolean
  // query selects records, the ranked query scores them (ranked_manager.h).
  // Returns the ranked vector, or the Boolean result (its hits on demand)
  // when no ranked query is given, rewound and owned by the caller; null
  // with status 0 when neither part is given, null with a negative status on
  // failure.
  QueryVectorBaseT* ProcessRankedQuery(const unsigned char* rankedQuery,
                                       const unsigned char* booleanQuery,
                                       StatusCodeT* status);
  // The most records a ranked result keeps (1 to kRankedResults - 1, the
  // default); kept across the indexes the manager opens.
  void SetRankedResultLimit(uint32_t records) { RankedLimit = records; }
  uint32_t RankedResultLimit() const { return RankedLimit; }

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

  // ---- Optimisation (optomize_manager.cc) -----------------------------------
  //
  // The pending optimisation and its end are described in
  // index_optomization.h. A second optimisation while one is pending is
  // refused with StatusIndexLocked. All of them need an open index
  // (StatusIndexNotLoaded) that can be written (StatusFileReadOnly).

  // Merges the last `partitions` partitions (1 to the partition count:
  // StatusMalformedParameter otherwise; a single partition is rewritten
  // without its deleted records).
  void Optomize(unsigned long partitions, StatusCodeT* status);
  // Merges the range GetOptomizationBounds(big) chooses; nothing when it
  // chooses none.
  void PerformOptomization(BooleanT big, StatusCodeT* status);
  // Puts the merged partition in place of its range; in a distributed
  // index, in the file fileName (with bit 0 of flags, the range's files are
  // deleted). With nothing pending it does nothing.
  void EndOptomization(const char* fileName, unsigned long flags,
                       StatusCodeT* status);
  // 1 when PerformOptomization with big 0 (1) would merge a range now, else
  // 0: also while an optimisation is pending or the index is read-only.
  // During a retrieval session only (StatusNotInitializedForSearching), with
  // partitions (StatusIndexEmpty).
  long IndexNeedsLittleOptomization(StatusCodeT* status);
  long IndexNeedsBigOptomization(StatusCodeT* status);
  // The range of loaded partitions ChooseOptomizationRange
  // (optomization_range.h) picks from their sizes and deleted records, or
  // -1 and -1 for none.
  void GetOptomizationBounds(int* first, int* last, BooleanT big);
  // The partition count minus one (0 without partitions or index).
  uint32_t NumberOfUnoptomizedInsertions() const;
  int OptomizationPending() const { return Optomization.IsPending(); }

  // ---- Commits --------------------------------------------------------------

  // How long a commit waits for another writer's (index_commit.h); kept
  // across the indexes the manager opens.
  void SetLockTimeout(uint32_t milliseconds) {
    Commits.SetLockTimeout(milliseconds);
  }
  uint32_t LockTimeout() const { return Commits.LockTimeout(); }

  // ---- State ----------------------------------------------------------------

  StateT State() const;
  uint32_t NumPartitions() const { return Index.Header().PartitionCount; }
  uint32_t NumberOfRecordsInIndex() const { return Loaded.RecordCount(); }
  const IndexFileT& IndexFile() const { return Index; }
  const LoadedPartitionsT& Partitions() const { return Loaded; }
  // 1 after a successful construction or reset, 0 when the scratch buffer
  // or the deleted-record set could not be allocated (NewOrStatus then
  // destroys a new manager and answers null).
  int IsValid() const { return Constructed != 0; }
  uint32_t ValidityMarker() const { return Marker; }

 private:
  // Back to Idle, without writing; a fresh deleted-record set and scratch
  // buffer.
  void Reset();
  // Reads header and deleted-record list of the file just attached.
  void AttachIndexFile(FileClassT* file, StatusCodeT* status);
  // Takes the writer lock and catches up with the index file
  // (IndexCommitT::Begin).
  int BeginCommit(WriterLockT* lock, StatusCodeT* status);
  // The checks calls open with: an open index, a retrieval session (with
  // partitions loaded), a distributed index (that can be written), an index
  // that can start an optimisation, a record number of the index.
  int RequireIndex(StatusCodeT* status) const;
  int RequireRetrieval(StatusCodeT* status) const;
  int RequireLoadedPartitions(StatusCodeT* status) const;
  int RequireDistributed(StatusCodeT* status) const;
  int RequireWritableDistributed(StatusCodeT* status) const;
  int RequireOptomizable(StatusCodeT* status) const;
  int RecordInRange(unsigned long record, StatusCodeT* status) const;
  // The Boolean query over the loaded partitions, with its hits or (in a
  // word-mode partition) its records only.
  UncompressedQueryVectorT* QueryLoaded(const unsigned char* query,
                                        int recordsOnly, StatusCodeT* status);

  // Checks that a partition file holds a partition of the index's mode.
  int CheckPartitionFile(FileClassT* file, StatusCodeT* status);
  // Takes the partition file of an ended session and destroys the indexer.
  // 0 when there is none to add: an empty session (status untouched), or a
  // session that cannot be added here (status set; the indexer removes a
  // temporary partition file).
  int TakeSessionPartition(IndexerT* indexer, FileClassT** partition,
                           int* hostNamed, StatusCodeT* status);
  // Copies a closed partition file behind the last partition, with the
  // deleted-record list and the header, and during a retrieval session
  // loads the new partition.
  void CopyPartitionIntoIndex(FileClassT* partition, StatusCodeT* status);

  // Applies a deletion operation to every number of a list that is in
  // range; the others get StatusMalformedParameter.
  using DeleterOpT = void (TarvisRecordDeleterT::*)(unsigned long,
                                                    StatusCodeT*);
  void ApplyToRecords(const unsigned long* records, unsigned long count,
                      DeleterOpT op, StatusCodeT* status);
  // One step of the merged word list from the cursor's key: forward for
  // direction 1, backward for -1. The cursor takes the word found. Checks
  // the session and the arguments as NextKey does.
  void StepKey(DictionaryCursorT* cursor, int direction, unsigned char* key,
               uint32_t* records, uint32_t* hits, StatusCodeT* status);
  long IndexNeedsOptomization(BooleanT big, StatusCodeT* status);

  uint32_t Constructed = 0;
  uint32_t Marker = kValidityMarker;
  uint64_t SessionMemory = 0;
  uint32_t RankedLimit = kRankedResults - 1;
  IndexerT* CurrentIndexer = nullptr;
  unsigned char* ScratchBuffer = nullptr;
  // The collaborators, each built on those before it.
  IndexFileT Index;
  LocationTableT Locations{&Index};
  LoadedPartitionsT Loaded{&Index, &Locations,
                           [this](uint32_t i) { return NewReader(i); }};
  IndexCommitT Commits{&Index, &Loaded};
  IndexOptomizationT Optomization{&Index, &Loaded, &Locations, &Commits};
};

#endif  // TARVIS_MANAGER_INDEX_MANAGER_H_
