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
// Many writers, one index (index_commit.cc). Any number of managers, in
// this process and others, may open one index and write to it. Every change
// to the index file is a commit made under the writer lock (WriterLockT):
// the header write at the start of a session, appending or registering a
// partition, writing back deletions, the end of an optimisation, changes to
// the location table. A commit first catches up with the file as it is now:
// it reads the header and the deleted-record list again, loads the
// partitions other writers added when partitions are loaded, and applies
// this manager's own deletions and undeletions onto the list read, never a
// list remembered from before. Only the commit holds the lock; building a
// partition or merging partitions happens before it, without it.
//
// An optimisation renumbers records and puts a new index file in place of
// the old. A manager that finds its file replaced at a commit takes the new
// one; its own deletions and undeletions not yet written, numbered as
// before, are dropped rather than applied to other records, and Close
// reports StatusIndexChanged. Its pending optimisation ends with the same
// status, the index unchanged.
//
// Operations a derived manager may replace are virtual: the indexer and
// reader it makes, and its own header handling.

#ifndef TARVIS_MANAGER_INDEX_MANAGER_H_
#define TARVIS_MANAGER_INDEX_MANAGER_H_

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "indexing/indexer.h"
#include "manager/index_header.h"
#include "storage/file_primitives.h"
#include "tarvis/tarvis.h"

class DeletedRecordSetT;
class FileClassT;
class IndexOptomizerT;
class PartitionReaderT;
class RecordRangeSnapshotT;
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
  // Makes the index file the parameters describe; the manager stays Idle.
  virtual void Create(const IndexCreationParametersT* params,
                      StatusCodeT* status);
  // Opens an index file and reads its header and deleted-record list. A file
  // that cannot be opened for writing is opened read-only. On failure the
  // manager stays Idle.
  virtual void Open(const char* fileName, StatusCodeT* status);
  // Writes back this manager's deletions and undeletions, releases
  // everything and resets the manager. Nothing to do on an Idle manager.
  // When the write-back fails the index stays open; when the changes were
  // dropped (records renumbered, see above) the index is closed and the
  // status is StatusIndexChanged.
  virtual void Close(StatusCodeT* status);
  // Close, then Open on the same file.
  virtual void ReloadIndex(StatusCodeT* status);
  // Reads the magic and both header copies at the header position and picks
  // the current one: the first intact copy that fits the file.
  virtual void ReadHeader(StatusCodeT* status);

  // Record data, record IDs and partitions (record_data.cc, partitions.cc):

  // Record data and record IDs by global record number, during a retrieval
  // session with partitions loaded (else StatusNotInitializedForSearching);
  // an index without the table gets StatusNoRecordData, a record number of 0
  // or beyond the index StatusMalformedParameter. The reading itself is the
  // partition reader's. GetRecordInfo sets the cursor up for
  // GetMoreRecordInfo, which reads nothing from a done cursor (*bytesRead 0).
  virtual void GetRecordInfo(unsigned char* buffer, uint32_t bufferLength,
                             uint32_t* bytesRead, uint32_t record,
                             TarvisDataCursorT* cursor, StatusCodeT* status);
  virtual void GetMoreRecordInfo(unsigned char* buffer, uint32_t bufferLength,
                                 uint32_t* bytesRead, TarvisDataCursorT* cursor,
                                 StatusCodeT* status);
  // Reads at most bufferLength bytes of the record's ID; *length is the
  // count read.
  virtual void GetRecordID(unsigned char* id, uint32_t bufferLength,
                           uint32_t* length, uint32_t record,
                           StatusCodeT* status);
  // The record holding the ID given in hex ("0x" and two digits per byte,
  // from the first "0" of the text on): the highest-numbered one of the
  // newest partition that holds it, deleted records left out; 0 with status
  // 0 when none does. StatusBadKeyLength for text of 243 characters or more
  // or an empty ID, StatusHexTermExpected for text that is not a hex word.
  virtual void FindRecordID(const char* hexId, uint32_t* recordNumber,
                            StatusCodeT* status);
  // Adds an existing partition file of the index's mode: a distributed index
  // registers its location (AddPartitionToDistributedIndex); a single-file
  // index copies it behind its last partition and deletes the file.
  virtual void AddPartitionToIndex(const char* fileName, StatusCodeT* status);

  // Optimisation (optomize_manager.cc):
  //
  // An optimisation merges a range of consecutive partitions into one new
  // partition, leaving out the deleted records and numbering the rest
  // densely; the partitions after the range keep their records, which move
  // down. It is pending from a successful Optomize or PerformOptomization
  // (status 0, or StatusNoDataAfterOptomization when no record of the range
  // survives) until EndOptomization puts the merged partition in place of
  // the range; meanwhile the index and its loaded partitions stay as they
  // were and answer queries, and a second optimisation is refused with
  // StatusIndexLocked. Ranges of more than kMaxMergeInputs partitions are
  // merged in several passes. The deleted records dropped are those deleted
  // when the optimisation started; deletions made while it is pending
  // follow their records to their new numbers.
  //
  // EndOptomization replaces a single-file index as a whole: the new index
  // file is written beside the old one (its name with kOptomizedSuffix),
  // flushed and renamed over it, so that either the old or the new file is
  // complete at every moment; a failure before the rename removes the new
  // file and leaves the index as it was. A distributed index gets the
  // merged partition in the file fileName (which must not be the index file
  // or one of its partitions: StatusFileExists) and its location in place
  // of the range's; with bit 0 of flags the range's old partition files are
  // deleted. During a retrieval session the partitions are loaded again at
  // once, so the next query sees the merged partition. With nothing pending
  // it does nothing; a failed end drops the pending optimisation, unless it
  // failed with StatusIndexLocked (the lock's timeout passed while another
  // writer committed), which leaves it pending for another try. All of
  // them need an open index (StatusIndexNotLoaded) that can be written
  // (StatusFileReadOnly).

  // Merges the last `partitions` partitions (1 to the partition count:
  // StatusMalformedParameter otherwise; a single partition is rewritten
  // without its deleted records).
  virtual void Optomize(unsigned long partitions, StatusCodeT* status);
  // Merges the range GetOptomizationBounds(big) chooses; nothing when it
  // chooses none.
  virtual void PerformOptomization(BooleanT big, StatusCodeT* status);
  virtual void EndOptomization(const char* fileName, unsigned long flags,
                               StatusCodeT* status);
  // 1 when PerformOptomization with big 0 (1) would merge a range now, else
  // 0: also while an optimisation is pending or the index is read-only.
  // During a retrieval session only (StatusNotInitializedForSearching), with
  // partitions (StatusIndexEmpty).
  virtual long IndexNeedsLittleOptomization(StatusCodeT* status);
  virtual long IndexNeedsBigOptomization(StatusCodeT* status);

  // The range of loaded partitions to merge, or -1 and -1 for none. Spans
  // of at least two consecutive partitions are measured against rising
  // byte thresholds; the first threshold some span fits decides, and the
  // span with the most partitions under it is taken (the later one among
  // equals). Little (big 0): the thresholds 128 KiB to 64 MiB; then the
  // first partition with more than a tenth of its records deleted, alone;
  // then, for big only, the thresholds 256 MiB, 1 GiB and 2 GiB.
  void GetOptomizationBounds(int* first, int* last, BooleanT big);
  // The partition count minus one (0 without partitions or index).
  uint32_t NumberOfUnoptomizedInsertions() const;
  int OptomizationPending() const { return Optomizer != nullptr; }

  static constexpr uint32_t kMaxMergeInputs = 128;
  static constexpr const char* kOptomizedSuffix = ".optimised";

 protected:
  long IndexNeedsOptomization(BooleanT big, StatusCodeT* status);
  // The checks of Optomize and PerformOptomization.
  int RequireOptomizable(StatusCodeT* status) const;
  // Loads every partition of the index unless it is loaded.
  int LoadPartitionsForOptomization(StatusCodeT* status);
  // Merges loaded partitions first to last into a pending optimisation.
  void RunOptomization(uint32_t first, uint32_t last, StatusCodeT* status);
  // One merge of loaded partitions first to last (at most kMaxMergeInputs).
  IndexOptomizerT* MergePartitions(uint32_t first, uint32_t last,
                                   const DeletedRecordSetT* deleted,
                                   StatusCodeT* status);
  // The deleted-record set as it is once the range has been replaced.
  TarvisRecordDeleterT* RenumberedDeletedRecords(StatusCodeT* status);
  void EndSingleFileOptomization(FileClassT* merged,
                                 TarvisRecordDeleterT* renumbered,
                                 StatusCodeT* status);
  void EndDistributedOptomization(FileClassT* merged, const char* fileName,
                                  unsigned long flags,
                                  TarvisRecordDeleterT* renumbered,
                                  StatusCodeT* status);
  // Writes a new index file beside the old one: the reserved area, the
  // header, what body writes (the partitions or their locations; it sets the
  // header's partition fields), the deleted-record list renumbered (owned
  // from here); makes it durable and renames it over the old file, which
  // the manager then lets go, its partitions unloaded. 1 on success; on
  // failure the new file is removed and the index is as it was.
  int RewriteIndexFile(
      TarvisRecordDeleterT* renumbered,
      const std::function<int(FileClassT*, IndexHeaderInfoT*)>& body,
      StatusCodeT* status);
  // 1 when path names the index file or one of its partition files.
  int IsIndexFile(const char* path);
  // Forgets the pending optimisation and removes its files.
  void DiscardOptomization();

  static constexpr uint32_t kNoOptomization = 0xFFFFFFFFu;
  // The last merge of the pending optimisation, holding its output.
  IndexOptomizerT* Optomizer = nullptr;
  // The records the pending optimisation drops.
  RecordRangeSnapshotT* OptomizeDropped = nullptr;
  uint32_t OptomizeFirst = kNoOptomization;
  uint32_t OptomizeLast = kNoOptomization;

 public:
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
  // Working memory of the sessions it starts from now on (work_memory.h);
  // 0 for the default.
  uint64_t IndexingMemory = 0;

  // ---- Retrieval ------------------------------------------------------------

  void StartRetrievalSession(StatusCodeT* status);
  void EndRetrievalSession(StatusCodeT* status);
  void LoadPartitions(StatusCodeT* status);
  // Loads every partition, of either kind of index; 1, or 0 with none
  // loaded.
  int LoadAllPartitions(StatusCodeT* status);
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
  //
  // A distributed index keeps every partition in a file of its own; its
  // index file holds, after the header, a location table of 256-byte
  // entries (entry i: partition i's path, NUL-terminated, zero-padded),
  // then the deleted-record list. The first and last partition positions
  // are 0 and the append position is the end of the table. A location is a
  // path of 1 to 255 bytes; a longer one is refused with
  // StatusMalformedParameter, and so is any of these operations on an index
  // that is not distributed. An entry without a NUL gives
  // StatusNotIndexFile. The deleted-record list the header points to is
  // never overwritten while the header points to it: when the table has to
  // grow over it, the list is first written beyond it.

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
  // replaced only once the new one is loaded. Totals and records-before
  // numbers follow.
  void LoadDistributedPartition(uint32_t i, StatusCodeT* status);
  // Loads loaded partition i again from its location (for a file the host
  // replaced or moved); StatusPartitionNotFound when it is not loaded. On
  // failure the partition stays as it was.
  void ReloadDistributedPartition(uint32_t i, StatusCodeT* status);
  // The location of partition i (StatusPartitionNotFound beyond the table),
  // into a buffer of 256 bytes.
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
  // The byte length and records of loaded partition i; 0 and 0 when it is
  // not loaded.
  void GetPartitionLength(uint32_t* bytes, uint32_t* records,
                          uint32_t i) const;
  // The total byte length and records of loaded partitions first to last;
  // the length is FFFFFFFF when it would pass kMaxPartitionSpan (the
  // records are then those counted before).
  void GetPartitionSpanLength(uint32_t* bytes, uint32_t* records,
                              uint32_t first, uint32_t last) const;
  static constexpr uint32_t kMaxPartitionSpan = 0x7FF00000u;

 protected:
  // With partitions loaded for retrieval, else
  // StatusNotInitializedForSearching.
  int RequireLoadedPartitions(StatusCodeT* status) const;
  // An open distributed index (StatusMalformedParameter for another kind);
  // the second also writable (StatusFileReadOnly).
  int RequireDistributed(StatusCodeT* status) const;
  int RequireWritableDistributed(StatusCodeT* status) const;
  uint32_t LocationPosition(uint32_t i) const {
    return HeaderEndPosition + kLocationBytes * i;
  }
  void WriteLocationEntry(uint32_t i, const char* path, StatusCodeT* status);
  // Opens and reads the partition at a location; on failure nothing is
  // left.
  int OpenDistributedPartition(uint32_t i, const char* path,
                               PartitionReaderT** reader, FileClassT** file,
                               StatusCodeT* status);
  // Checks that a partition file holds a partition of the index's mode.
  int CheckPartitionFile(FileClassT* file, StatusCodeT* status);
  // Writes the deleted-record list at base, or beyond the list the header
  // points to when it would overwrite that one.
  void PlaceDeletedList(uint32_t base, StatusCodeT* status);
  // Before bytes up to end are written where the deleted-record list the
  // header on disk counts may lie: the list moves beyond end and the header
  // on disk with it, so that an interrupted write leaves a readable index.
  // True when the list had to move; onDisk then takes the header now on
  // disk, or the status the failure.
  bool MoveDeletedListBeyond(uint32_t end, IndexHeaderInfoT* onDisk,
                             StatusCodeT* status);
  // Takes the partition file of an ended session and destroys the indexer.
  // 0 when there is none to add: an empty session (status untouched), or a
  // session that cannot be added here (status set; the indexer removes a
  // temporary partition file).
  int TakeSessionPartition(IndexerT* indexer, FileClassT** partition,
                           int* hostNamed, StatusCodeT* status);
  // Unloads the partitions from first on.
  void UnloadPartitionsFrom(uint32_t first);
  static constexpr uint32_t kLocationBytes = 256;

 public:
  // ---- Commits (index_commit.cc) ---------------------------------------------

  // The longest a commit waits for another writer's commit to end before it
  // gives up with StatusIndexLocked, in milliseconds; 0 tries once. Kept
  // across the indexes the manager opens.
  void SetLockTimeout(uint32_t milliseconds) { LockTimeoutMs = milliseconds; }
  uint32_t LockTimeout() const { return LockTimeoutMs; }
  static constexpr uint32_t kDefaultLockTimeoutMs = 5000;

 protected:
  // Takes the writer lock for a commit and catches up with the index file;
  // 1, or 0 with the status and no lock held.
  int BeginCommit(WriterLockT* lock, StatusCodeT* status);
  // Reads header and deleted-record list again from the file on disk, whose
  // identity is onDisk, loads the partitions added since when partitions
  // are loaded, and applies the own deletion changes to the list read. On
  // failure the manager is as it was, unless its file had been replaced.
  int CatchUpWithIndexFile(const FileIdentityT& onDisk, StatusCodeT* status);
  // Takes the index file that replaced the manager's own (see above), and
  // loads its partitions when the old ones were loaded.
  int AdoptReplacedIndexFile(StatusCodeT* status);
  // The same without loading partitions.
  int TakeReplacedIndexFile(StatusCodeT* status);
  // Loads every partition of the index, taking the file that replaced the
  // manager's own when its partitions cannot be loaded any more.
  int LoadCurrentPartitions(StatusCodeT* status);
  // 1 when the file the index's name stands for is no longer the one open.
  int IndexFileReplaced();
  // Loads the partitions of the header beyond those loaded.
  void LoadAddedPartitions(StatusCodeT* status);
  // The deleted-record list on disk, with the own changes applied.
  void ReloadDeletedRecords(StatusCodeT* status);
  // The list written holds the own changes: they are on disk now.
  void OwnDeletionsWritten() { OwnDeletions.clear(); }
  // 1 when the pending optimisation's range is as it was when it started.
  int OptomizationRangeIntact(StatusCodeT* status);
  // The commit of Close: the list with the own changes, and the header.
  void WriteBackDeletions(StatusCodeT* status);

  uint32_t LockTimeoutMs = kDefaultLockTimeoutMs;
  // Deletions (true) and undeletions (false) made by this manager since its
  // list was last written, in order.
  std::vector<std::pair<uint32_t, bool>> OwnDeletions;
  // Set when own changes had to be dropped because the records were
  // renumbered under them; reported by Close.
  int DeletionsLost = 0;
  // The index file and, for a distributed index, the locations of the
  // range, as they were when the pending optimisation started.
  FileIdentityT OptomizeBase;
  std::vector<std::string> OptomizeLocations;

 public:
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
