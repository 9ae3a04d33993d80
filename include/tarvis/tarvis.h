/*
 * Tarvis: full-text indexing and retrieval.
 *
 * This is the whole public interface of libtarvis. It is plain C and can be
 * included from C and C++ alike. A host application creates an index manager,
 * creates or opens an index with it, feeds words record by record through an
 * indexing session, and answers queries with result vectors.
 *
 * Calling frame. Nearly every function takes a StatusCodeT* as its last
 * argument. The function writes 0 into it before doing anything else; on
 * failure it leaves a negative code, and small positive codes report an
 * informational outcome (end of vector, found, not found, full). A null status
 * pointer is tolerated: the outcome is then simply not reported. No C++
 * exception ever crosses this interface; running out of memory is reported as
 * StatusNotEnoughMemory. StatusCodeMessage() turns any code into its text.
 *
 * Handles are opaque pointers returned by the create functions; the caller
 * owns them and hands each back to the matching delete function.
 */
#ifndef TARVIS_TARVIS_H_
#define TARVIS_TARVIS_H_

#include <stdint.h>

#if defined(TARVIS_BUILDING)
#define TV_EXPORT __attribute__((visibility("default")))
#else
#define TV_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ------------------------------------------------------------------------ */
/* Status codes                                                              */
/* ------------------------------------------------------------------------ */

typedef int32_t StatusCodeT;
typedef int32_t BooleanT;

enum {
  StatusNoDataAfterOptomization = 6,
  StatusFull = 4,
  StatusFound = 3,
  StatusNotFound = 2,
  StatusEndOfVector = 1,
  StatusNoError = 0,
  StatusNotEnoughMemory = -1,
  StatusFileReadOnly = -2,
  StatusReadError = -3,
  StatusWriteError = -4,
  StatusSeekError = -5,
  StatusFileNotFound = -6,
  StatusNoSuchDrive = -7,
  StatusFileLocked = -8,
  StatusFileExists = -9,
  StatusCannotDeleteFile = -10,
  StatusCannotOpenFile = -11,
  StatusCannotCloseFile = -12,
  StatusNotIndexFile = -13,
  StatusIndexLocked = -14,
  StatusNoCurrentKey = -15,
  StatusEndOfWordList = -16,
  StatusIndexNotLoaded = -17,
  StatusNoCurrentHit = -19,
  StatusMalformedParameter = -20,
  StatusQuerySyntaxError = -21,
  StatusMismatchedQuotes = -22,
  StatusMismatchedParens = -23,
  StatusExtraRightParen = -24,
  StatusExtraLeftParen = -25,
  StatusIncompleteRange = -26,
  StatusLeftAngleExpected = -27,
  StatusRightAngleExpected = -28,
  StatusBadOperatorInQuote = -29,
  StatusMissingRightQuote = -30,
  StatusHexTermExpected = -31,
  StatusIndexEmpty = -32,
  StatusNotInitializedForSearching = -33,
  StatusNotInitializedForIndexing = -34,
  StatusCompressionError = -35,
  StatusGeneralError = -37,
  StatusNoRecordData = -38,
  StatusHitNotInVector = -43,
  StatusUnableToDeleteFile = -44,
  StatusBadKeyLength = -45,
  StatusPartitionNotFound = -46,
  /* Another writer's optimisation renumbered the index's records after this
     manager loaded them: changes made by record number were not applied. */
  StatusIndexChanged = -48
};

/* The constant message text of a code; any unknown code yields the fallback
 * message. The texts are static and never freed. */
TV_EXPORT const char* StatusCodeMessage(long code);

/* As StatusCodeMessage; when buffer is not null and length is not 0, also
 * copies the message into buffer, zero-padded to length bytes, with
 * buffer[length - 1] always 0 (a long message is cut to length - 1). */
TV_EXPORT const char* GetStatus(long code, char* buffer, unsigned long length);

/* GetStatus for the code held in *status (0 when status is null). */
TV_EXPORT const char* tvGetStatusMessage(StatusCodeT* status, char* buffer,
                                         unsigned long length);

/* A process-wide last-status cell for the host's own use, 0 at load. With
 * set == 1 it takes code and returns it; otherwise it returns what it holds.
 * The library itself never writes it. */
TV_EXPORT long SetErrorCode(long code, int set);

/* ------------------------------------------------------------------------ */
/* Handles and host-visible records                                          */
/* ------------------------------------------------------------------------ */

#ifdef __cplusplus
class IndexManagerT;
class IndexerT;
struct IndexCreationParametersT;
class QueryVectorBaseT;
class StopListT;
class WordHighlighterT;
class RobotsT;
#else
typedef struct IndexManagerT IndexManagerT;
typedef struct IndexerT IndexerT;
typedef struct IndexCreationParametersT IndexCreationParametersT;
typedef struct QueryVectorBaseT QueryVectorBaseT;
typedef struct StopListT StopListT;
typedef struct WordHighlighterT WordHighlighterT;
typedef struct RobotsT RobotsT;
#endif

/* Index modes: what the postings of a term hold. */
#define RECORD_MODE 1 /* which records hold the term */
#define WORD_MODE 2   /* every occurrence with its word position */
#define IDF_MODE 3    /* which records, and how often */

/* The word record through which the host passes a word. The library only
 * reads it. Words are byte strings of 0 to 255 bytes, any byte values,
 * compared exactly (no case folding). The four run tags are the host's own:
 * the library only stores them in its run log. */
typedef struct WordTypeT {
  uint8_t Word[256];
  uint8_t WordLength;
  uint32_t RunTags[4];
} WordTypeT;

/* ------------------------------------------------------------------------ */
/* Index manager and creation parameters                                     */
/* ------------------------------------------------------------------------ */

/* Identifiers of tvSetIndexCreationParams. */
enum {
  IndexParamSingleFile = 1,          /* partitions appended to the index file */
  IndexParamDistributed = 2,         /* partitions kept in files of their own */
  IndexParamVariableRecordData = 3,  /* record data of any length */
  IndexParamFixedRecordData = 4,     /* value: uint32_t* length */
  IndexParamRecordData32 = 5,        /* record data pointers of 4 bytes */
  IndexParamRecordDataOffsets = 6,   /* record data pointers of 8 bytes */
  IndexParamFixedRecordID = 7,       /* value: uint16_t* length */
  IndexParamVariableRecordID = 8,    /* record IDs of up to 128 bytes */
  IndexParamRecordID32 = 9,          /* record ID pointers of 4 bytes */
  IndexParamRecordIDOffsets = 10,    /* record ID pointers of 8 bytes */
  IndexParamIndexMode = 11,          /* value: uint32_t* mode (1 to 3) */
  IndexParamFileName = 12,           /* value: NUL-terminated path */
  IndexParamWeightLogSum = 13,       /* document weight method 1 */
  IndexParamWeightMaxFrequency = 14, /* document weight method 2 */
  IndexParamIndexingMemory = 15      /* value: unsigned long* bytes, the
                                        working memory of distributed
                                        sessions (tvSetIndexingMemory) */
};

/* A new index manager holding no index; null with StatusNotEnoughMemory when
 * it cannot be made. */
TV_EXPORT IndexManagerT* tvCreateIndexManager(StatusCodeT* status);

/* Destroys a manager. A null or foreign handle gets StatusNotIndexFile and
 * nothing is destroyed. Close the index first: this does not write it. */
TV_EXPORT void tvDeleteIndexManager(IndexManagerT* manager,
                                    StatusCodeT* status);

/* A zeroed creation parameter record. */
TV_EXPORT IndexCreationParametersT* tvCreateIndexCreationParams(
    StatusCodeT* status);
TV_EXPORT void tvDeleteIndexCreationParams(IndexCreationParametersT* params);
TV_EXPORT void tvResetIndexCreationParams(IndexCreationParametersT* params);

/* Applies one choice (the IndexParam identifiers above). value is read only
 * by identifiers 4, 7, 11, 12 and 15. An unknown identifier changes nothing but
 * the record's set marker. A file name of 512 bytes or more is not taken. */
TV_EXPORT void tvSetIndexCreationParams(IndexCreationParametersT* params,
                                        long id, void* value);

/* The process-wide prefix of every temporary file name, used as given (a
 * directory must end in its separator). A null location empties it; a
 * location of 1024 bytes or more is refused and the prefix left as it was.
 * tvGetLocationForTemporaryFiles copies the prefix (at most 1024 bytes with
 * its terminating zero) into buffer and returns buffer. */
TV_EXPORT void tvSetLocationForTemporaryFiles(const char* location);
TV_EXPORT char* tvGetLocationForTemporaryFiles(char* buffer);

/* ------------------------------------------------------------------------ */
/* Index files                                                               */
/* ------------------------------------------------------------------------ */

/* A manager handle that is not a live index manager gets StatusNotIndexFile.
 * A manager holds one index file at a time; it is Idle (no index), Open, or
 * Retrieving (one reader per partition). A call that has no meaning in the
 * manager's state reports a status and changes nothing: StatusIndexNotLoaded
 * on an Idle manager, StatusIndexLocked for creating or opening while an
 * index is open. */

/* Creates the index file that the record describes (the record stays the
 * caller's); the manager stays without an open index. A record whose index
 * mode is not 1 to 3, or whose file name is empty or was not taken, gets
 * StatusMalformedParameter. */
TV_EXPORT void tvCreateIndexEx(IndexManagerT* manager,
                               IndexCreationParametersT* params,
                               StatusCodeT* status);

/* The short form: a single-file index in the given mode (1 to 3), with
 * document weight method 2 in modes 2 and 3, no record data, no record IDs. */
TV_EXPORT void tvCreateIndex(IndexManagerT* manager, char* fileName,
                             unsigned long indexMode, StatusCodeT* status);

/* Opens an index file, read-only when it cannot be written. A file that is
 * not an index, or whose header does not fit the file, is refused
 * (StatusNotIndexFile, or StatusReadError when it is cut short). */
TV_EXPORT void tvOpenIndex(IndexManagerT* manager, char* fileName,
                           StatusCodeT* status);

/* Writes back this manager's deletions and undeletions and closes the
 * index. When the write-back fails (StatusIndexLocked after the lock
 * timeout, a write error) the index stays open and the call may be made
 * again. When another writer's optimisation renumbered the records since
 * this manager loaded them, the changes are dropped, never applied to other
 * records: the index is closed and the status is StatusIndexChanged. */
TV_EXPORT void tvCloseIndex(IndexManagerT* manager, StatusCodeT* status);

/* Closes the index and opens the same file again: the way a reader sees
 * what other writers committed since it opened the index (a retrieval
 * session answers from the partitions it loaded). StatusIndexChanged as for
 * tvCloseIndex, the index loaded again all the same. */
TV_EXPORT void tvReloadIndex(IndexManagerT* manager, StatusCodeT* status);

/* Many writers, one index.
 *
 * Any number of processes, and threads with an index manager each, may
 * open one index and change it at once: indexing sessions, distributed
 * partitions, deletions, optimisations. A manager is used by one thread at
 * a time; give every thread its own. Temporary files of any number of
 * processes and threads may share one location.
 *
 * Who writes: every change to the index file is a short commit made under
 * a writer lock, the operating system's advisory lock on the index file,
 * which goes with the process that holds it (a crashed writer leaves no
 * lock behind). The commits are the header write at the start of an
 * indexing session, the end of a session (tvEndIndexingSession,
 * tvMakeIndexActive), registering a distributed partition
 * (tvAppendDistributedDataToIndex), the write-back of deletions
 * (tvCloseIndex, tvReloadIndex) and the end of an optimisation
 * (tvEndOptomization). Building a partition or merging partitions happens
 * before the commit, without the lock.
 *
 * What a commit does: it reads the header and the deleted-record list
 * again from the file as it is now and writes only its own change on top:
 * a session's partition goes after every partition other writers added
 * meanwhile; deletions and undeletions are applied as this manager's own
 * changes onto the list on disk; the end of an optimisation keeps every
 * partition added after the optimisation started, and is refused with
 * StatusIndexChanged, the index unchanged, when another writer's
 * optimisation or a change of the location table altered its range.
 *
 * Record numbers: only an optimisation renumbers records. A manager whose
 * records were renumbered by another writer's optimisation since it loaded
 * them never applies a deletion by number to the wrong record: its
 * deletions and undeletions not yet written back are dropped and reported
 * as StatusIndexChanged by tvCloseIndex or tvReloadIndex; reload, look the
 * records up again and repeat them.
 *
 * A second writer waits: a commit that finds the lock held waits for it up
 * to the manager's lock timeout (5000 milliseconds unless set), then fails
 * with StatusIndexLocked, changing nothing; an indexing session's partition
 * stays whole for another call. Readers take no lock and are never blocked:
 * a retrieval session answers from the partitions it loaded, and
 * tvReloadIndex shows what was committed since. */

/* Sets how long the manager's commits wait for another writer's commit, in
 * milliseconds (0: fail at once when another writer holds the lock); kept
 * across the indexes the manager opens. More than 4294967295 milliseconds
 * is StatusMalformedParameter. */
TV_EXPORT void tvSetLockTimeout(IndexManagerT* manager,
                                unsigned long milliseconds,
                                StatusCodeT* status);

/* Loads one reader per partition; record numbers become global, each
 * partition's records following those of the partitions before it. A
 * partition that does not fit the file fails the session. */
TV_EXPORT void tvStartRetrievalSession(IndexManagerT* manager,
                                       StatusCodeT* status);
TV_EXPORT void tvEndRetrievalSession(IndexManagerT* manager,
                                     StatusCodeT* status);

/* The records of the loaded partitions (0 outside a retrieval session),
 * stored in *count when count is not null and returned. */
TV_EXPORT unsigned long tvNumberOfRecordsInIndex(IndexManagerT* manager,
                                                 unsigned long* count,
                                                 StatusCodeT* status);

/* Deleted records, by global record number, during a retrieval session
 * (StatusNotInitializedForSearching outside one). Deleted records are left
 * out of every query; the set is written back by tvCloseIndex. A record
 * number of 0 or beyond the index gets StatusMalformedParameter; the list
 * forms handle the other numbers all the same. */
TV_EXPORT void tvDeleteRecordNum(IndexManagerT* manager, unsigned long record,
                                 StatusCodeT* status);
TV_EXPORT void tvDeleteRecordNums(IndexManagerT* manager,
                                  unsigned long* records, unsigned long count,
                                  StatusCodeT* status);
TV_EXPORT void tvUnDeleteRecordNum(IndexManagerT* manager,
                                   unsigned long record, StatusCodeT* status);
TV_EXPORT void tvUnDeleteRecordNums(IndexManagerT* manager,
                                    unsigned long* records,
                                    unsigned long count, StatusCodeT* status);
/* 1 when the record is deleted, else 0. */
TV_EXPORT int tvIsRecordDeleted(IndexManagerT* manager, unsigned long record,
                                StatusCodeT* status);
TV_EXPORT unsigned long tvGetNumberOfRecordsDeleted(IndexManagerT* manager,
                                                    StatusCodeT* status);
/* Writes the deleted record numbers, ascending, into records, which has room
 * for tvGetNumberOfRecordsDeleted numbers. */
TV_EXPORT void tvOutputDeletedRecords(IndexManagerT* manager,
                                      unsigned long* records,
                                      StatusCodeT* status);

/* ------------------------------------------------------------------------ */
/* Indexing sessions                                                         */
/* ------------------------------------------------------------------------ */

/* A session turns the words a host feeds, record by record, into one new
 * partition of the index. Per record: tvIndexWord for each word (optionally
 * tvStartField / tvEndField around a field), then tvIncrementRecord. The
 * session's record count is the number of records fed: a record left open
 * when the session ends counts if it received anything, and an empty one
 * opened by a final tvIncrementRecord does not. A session handle that is not
 * live gets StatusNotInitializedForIndexing. */

/* The working memory of the sessions the manager starts from now on, in
 * bytes: 0 for the default of 260,536 bytes, or 260,536 up to 2 GiB
 * (2,147,483,648). More memory makes fewer, larger runs and fewer merge
 * passes; a session whose postings fit writes a single run and needs no
 * merge. The partition is the same whatever the memory, except for words
 * stored once per run (tvIndexWordSpecial flag 1). Peak use stays within the
 * budget plus a few hundred kilobytes; pages the session does not reach are
 * not touched. Any other size gets StatusMalformedParameter and changes
 * nothing. A distributed session takes its memory from the creation record
 * (IndexParamIndexingMemory, checked when the session starts). */
TV_EXPORT void tvSetIndexingMemory(IndexManagerT* manager, unsigned long bytes,
                                   StatusCodeT* status);

/* The bounds of a working memory other than 0 (tvSetIndexingMemory,
 * IndexParamIndexingMemory). */
#define TV_MIN_INDEXING_MEMORY 260536UL
#define TV_MAX_INDEXING_MEMORY 2147483648UL

/* Starts a session on the open index; null with a status on failure
 * (StatusFileReadOnly on a read-only index). */
TV_EXPORT IndexerT* tvStartIndexingSession(IndexManagerT* manager,
                                           StatusCodeT* status);

/* Closes the current record and opens the next. word (may be null) gives
 * the run tags of a run that this closes. */
TV_EXPORT void tvIncrementRecord(IndexerT* indexer, WordTypeT* word,
                                 StatusCodeT* status);

/* Indexes one word in the current record; a word of length 0 is ignored. */
TV_EXPORT void tvIndexWord(IndexerT* indexer, WordTypeT* word,
                           StatusCodeT* status);

/* As tvIndexWord with flags: 1 stores the word once per run, 2 gives it no
 * word position of its own; a flagged word takes no part in the document
 * weight. value is not used. Returns the run builder's result: 6 stored, 8
 * stored and a run closed, 5 no room (with a status). */
TV_EXPORT long tvIndexWordSpecial(IndexerT* indexer, WordTypeT* word,
                                  unsigned long flags, unsigned long value,
                                  StatusCodeT* status);

/* A field marker: a name of 1 to 120 bytes is indexed as a word; other
 * lengths are ignored. The two functions are the same operation. */
TV_EXPORT void tvStartField(IndexerT* indexer, unsigned char* name,
                            unsigned long length, StatusCodeT* status);
TV_EXPORT void tvEndField(IndexerT* indexer, unsigned char* name,
                          unsigned long length, StatusCodeT* status);

/* Ends the session and appends its partition to the index (a session that
 * indexed no word changes nothing). Given a live manager, the session handle
 * is gone afterwards, whatever the outcome. */
TV_EXPORT void tvEndIndexingSession(IndexManagerT* manager, IndexerT* indexer,
                                    WordTypeT* word, StatusCodeT* status);

/* Ends the session only; the partition waits for tvMakeIndexActive. */
TV_EXPORT void tvFinalProcessIndex(IndexManagerT* manager, IndexerT* indexer,
                                   StatusCodeT* status);

/* Appends the partition of a session ended by tvFinalProcessIndex. Given a
 * live manager, the session handle is gone afterwards, whatever the
 * outcome. */
TV_EXPORT void tvMakeIndexActive(IndexManagerT* manager, IndexerT* indexer,
                                 StatusCodeT* status);

/* Bytes of temporary disk space the session uses, stored in *bytes when
 * bytes is not null and returned. */
TV_EXPORT unsigned long tvGetTempDiskSpaceUsage(IndexerT* indexer,
                                                unsigned long* bytes,
                                                StatusCodeT* status);

/* Names the file (at most 255 bytes) in which the session makes its
 * partition, instead of a temporary file. A named partition file that could
 * not be added to the index is left on disk. */
TV_EXPORT void tvSetFinalIndexDataPosition(IndexerT* indexer, char* fileName,
                                           StatusCodeT* status);

/* ------------------------------------------------------------------------ */
/* Record data                                                               */
/* ------------------------------------------------------------------------ */

/*
 * Beside its words, an index can keep per-record data (any bytes) and a
 * record ID (a short key of the host's), chosen when the index is created
 * (IndexParam identifiers 3 to 10). Both are given during an indexing
 * session for the current record and read back by global record number
 * during a retrieval session.
 *
 * Variable-length data and IDs are kept as an area of bytes and a table of
 * pointers into it. Data pointers are 8 bytes with IndexParamRecordDataOffsets
 * and 4 bytes otherwise, also when no width was chosen; ID pointers are 4
 * bytes with IndexParamRecordID32 and 8 bytes otherwise.
 *
 * Every record has exactly one entry in each table: a record that received
 * no data or no ID reads back as empty (fixed-length: zeros). The stores on
 * an index without the matching option do nothing and report 0; the reads
 * report StatusNoRecordData. A record number of 0 or beyond the index gets
 * StatusMalformedParameter, and a table that does not fit its partition
 * StatusReadError.
 */

/* The state of a piecewise read of one record's data; the host allocates it
 * and passes it to the first read and to every further one. */
typedef struct TarvisDataCursorT {
  uint32_t PartitionIndex; /* the loaded partition holding the record */
  uint32_t RecordNumber;   /* the global record number asked for */
  uint32_t DataPosition;   /* the data's offset within the partition */
  uint32_t TotalLength;    /* bytes of the record's data */
  uint32_t Delivered;      /* bytes handed out so far */
  uint32_t Done;           /* 1 once every byte was handed out */
} TarvisDataCursorT;

/* Starts the current record's data. Fixed-length data take at most the
 * fixed length from data, padded with zeros. A second call for the same
 * record extends the data as tvStoreMoreRecordData does. */
TV_EXPORT void tvStoreRecordData(IndexerT* indexer, unsigned char* data,
                                 unsigned long length, StatusCodeT* status);

/* Appends to the current record's data (starts it when there is none). A
 * fixed-length entry takes the bytes while it has room; the rest is
 * dropped. */
TV_EXPORT void tvStoreMoreRecordData(IndexerT* indexer, unsigned char* data,
                                     unsigned long length,
                                     StatusCodeT* status);

/* With store 1, keeps id as the current record's ID (a variable-length ID
 * is cut to 128 bytes; a second ID for one record gets
 * StatusMalformedParameter). With index 1, also makes the record findable by
 * the ID (tvFindRecordID); an ID of 0 or more than 120 bytes cannot be and
 * gets StatusBadKeyLength, after it was stored. */
TV_EXPORT void tvProcessRecordID(IndexerT* indexer, unsigned char* id,
                                 unsigned long length, long store, long index,
                                 StatusCodeT* status);

/* Reads the first bufferLength bytes at most of a record's data into buffer
 * and sets up the cursor; *bytesRead (when not null) receives the count.
 * The cursor is done when the data fitted. */
TV_EXPORT void tvRetrieveRecordData(IndexManagerT* manager,
                                    unsigned char* buffer,
                                    unsigned long bufferLength,
                                    unsigned long* bytesRead,
                                    unsigned long recordNumber,
                                    TarvisDataCursorT* cursor,
                                    StatusCodeT* status);

/* Reads the next piece of the cursor's record data; the cursor is done when
 * the last byte was handed out. A done cursor reads nothing (*bytesRead 0). */
TV_EXPORT void tvRetrieveMoreRecordData(IndexManagerT* manager,
                                        unsigned char* buffer,
                                        unsigned long bufferLength,
                                        unsigned long* bytesRead,
                                        TarvisDataCursorT* cursor,
                                        StatusCodeT* status);

/* A record's ID. *length (when not null) receives the ID's length; at most
 * bufferLength of its bytes are copied into id (when not null). hexId (when
 * not null) receives "0x", two lower-case digits per byte and a zero byte:
 * it must hold 2 * length + 3 bytes (259 for a variable-length ID). */
TV_EXPORT void tvRetrieveRecordID(IndexManagerT* manager, unsigned char* id,
                                  unsigned long bufferLength,
                                  unsigned long* length, char* hexId,
                                  unsigned long recordNumber,
                                  StatusCodeT* status);

/* The record whose indexed ID is hexId ("0x" and two hexadecimal digits per
 * byte, from the first "0" on): the highest-numbered such record of the
 * newest partition holding it, deleted records left out; 0 when none holds
 * it. An ID of more than 120 bytes gets StatusBadKeyLength, text that is not
 * such a hex word StatusHexTermExpected. */
TV_EXPORT void tvFindRecordID(IndexManagerT* manager, char* hexId,
                              unsigned long* recordNumber,
                              StatusCodeT* status);

/* ------------------------------------------------------------------------ */
/* Distributed indexes                                                       */
/* ------------------------------------------------------------------------ */

/*
 * A distributed index (IndexParamDistributed) keeps every partition in a
 * file of its own and only their locations in the index file; a location is
 * a path of at most 255 bytes, used as given. Sessions on such an index, and
 * sessions run apart from any index, make partition files that are then
 * registered in it. A partition file must hold a partition of the index's
 * mode (StatusMalformedParameter otherwise); a location that cannot be
 * opened when a retrieval session starts fails the session with
 * StatusCannotOpenFile. A session on a distributed index registers its
 * partition under the name given by tvSetFinalIndexDataPosition, or else
 * under the temporary name it was made with.
 */

/* Starts a session without any index manager, with the choices of the
 * creation record (the record stays the caller's). Null with a status when
 * the session cannot be started. Name the partition file with
 * tvSetFinalIndexDataPosition, then end the session with
 * tvEndDistributedIndexingSession, or with tvFinalProcessIndex and
 * tvMakeIndexActive. */
TV_EXPORT IndexerT* tvStartDistributedIndexingSession(
    IndexCreationParametersT* params, StatusCodeT* status);

/* Ends a session and leaves its partition file on disk for
 * tvAppendDistributedDataToIndex. A session whose partition file was not
 * named gets StatusMalformedParameter and stays open; otherwise the session
 * handle is gone afterwards, whatever the outcome. */
TV_EXPORT void tvEndDistributedIndexingSession(IndexerT* indexer,
                                               StatusCodeT* status);

/* Registers the partition file fileName in the open distributed index.
 * During a retrieval session the partition is searchable at once. */
TV_EXPORT void tvAppendDistributedDataToIndex(IndexManagerT* manager,
                                              char* fileName,
                                              StatusCodeT* status);

/* Adds the partition file fileName to the open index after its other
 * partitions, whatever the index's layout: a single-file index takes a copy
 * of the partition in one commit and then deletes the file (a file that
 * could not be copied stays); a distributed index registers the file as
 * tvAppendDistributedDataToIndex does. A file that is not a partition
 * (StatusNotIndexFile, or StatusReadError when cut short), or one of
 * another index mode (StatusMalformedParameter), changes nothing. */
TV_EXPORT void tvAddPartitionFileToIndex(IndexManagerT* manager,
                                         char* fileName, StatusCodeT* status);

/* ------------------------------------------------------------------------ */
/* Optimisation                                                              */
/* ------------------------------------------------------------------------ */

/*
 * Every indexing session adds a partition, and every query runs once per
 * partition. An optimisation merges a range of consecutive partitions into
 * one, leaving out the deleted records: the records that remain are
 * numbered anew, densely and in their old order, and the records of the
 * partitions after the range move down with them; record data, record IDs
 * and document weights follow their records, so queries and ranked scores
 * stay as they were. An optimisation is started by tvOptomizeIndex or
 * tvPerformOptomization and is pending until tvEndOptomization; meanwhile
 * the index is unchanged and answers queries, and a second one is refused
 * (StatusIndexLocked). Starting needs an index that can be written
 * (StatusFileReadOnly).
 */

/* Merges the last `partitions` partitions; 1 rewrites the last partition
 * without its deleted records. 0, or more partitions than the index has,
 * is StatusMalformedParameter. StatusNoDataAfterOptomization tells that no
 * record of the range survives: ending then removes the range. */
TV_EXPORT void tvOptomizeIndex(IndexManagerT* manager,
                               unsigned long partitions, StatusCodeT* status);

/* Merges the range the index needs most, if any (see
 * tvIndexNeedsLittleOptomization): with big 0 a run of small partitions
 * (spans of up to 64 MiB, the smallest size that holds a run first) or a
 * partition with more than a tenth of its records deleted; with big 1 the
 * latter, else runs of up to 256 MiB, 1 GiB or 2 GiB. The range may lie
 * anywhere in the index. Does nothing (status 0) when no range qualifies. */
TV_EXPORT void tvPerformOptomization(IndexManagerT* manager, BooleanT big,
                                     StatusCodeT* status);

/* Puts the pending optimisation's partition in place of its range; nothing
 * when none is pending. A single-file index is written anew beside the old
 * file and renamed over it, so that an interruption leaves either the old
 * or the new index whole; fileName and flags are not used. A distributed
 * index keeps the merged partition in the file fileName, which must not be
 * the index file or one of its partitions (StatusFileExists); without
 * fileName (StatusMalformedParameter) the optimisation stays pending. With
 * bit 0 of flags the old partition files of the range are deleted
 * (StatusUnableToDeleteFile when one cannot be). During a retrieval session
 * the index's partitions are loaded anew: record numbers change. A failure
 * leaves the index as it was and drops the pending optimisation, except
 * StatusIndexLocked (another writer held the index past the lock timeout),
 * after which it stays pending for another call. */
TV_EXPORT void tvEndOptomization(IndexManagerT* manager, char* fileName,
                                 unsigned long flags, StatusCodeT* status);

/* 1 when tvPerformOptomization with big 0 (big 1) would merge a range now,
 * else 0 (also while an optimisation is pending or the index is read-only).
 * During a retrieval session (StatusNotInitializedForSearching) on an index
 * with partitions (StatusIndexEmpty). */
TV_EXPORT long tvIndexNeedsLittleOptomization(IndexManagerT* manager,
                                              StatusCodeT* status);
TV_EXPORT long tvIndexNeedsBigOptomization(IndexManagerT* manager,
                                           StatusCodeT* status);

/* The partition count minus one: the sessions added since the index was
 * last merged into one partition (0 without partitions, and for a handle
 * that is not a live index manager). */
TV_EXPORT unsigned long tvGetNumberOfUnoptomizedInsertions(
    IndexManagerT* manager);

/* ------------------------------------------------------------------------ */
/* Text utilities                                                            */
/* ------------------------------------------------------------------------ */

/* A handle or a pointer argument that is null, or a handle that is not a
 * live one of the right kind, is refused: functions with a status report
 * StatusMalformedParameter (StatusCannotOpenFile for a null file name),
 * the others do nothing and return 0. */

/* A new, empty stop word list; null when it cannot be made. */
TV_EXPORT StopListT* tvCreateStopWordList(void);

/* Destroys a stop word list. */
TV_EXPORT void tvDeleteStopWordList(StopListT* list);

/* Adds one word (bytes compared exactly, no case folding). An empty word is
 * skipped; a repeated word is counted again. StatusNotEnoughMemory when the
 * list cannot grow. */
TV_EXPORT void tvAddStopWord(StopListT* list, unsigned char* word,
                             unsigned long length, StatusCodeT* status);

/* Adds the words of a text file, one per line, each cut at its first LF, CR
 * or TAB; lines beginning with "#" are comments. StatusCannotOpenFile or
 * StatusReadError when the file cannot be opened or read. */
TV_EXPORT void tvAddStopWordList(StopListT* list, char* fileName,
                                 StatusCodeT* status);

/* 1 when buffer[start] ... buffer[end - 1] is a stop word, else 0. */
TV_EXPORT int tvIsStopWord(StopListT* list, unsigned long start,
                           unsigned char* buffer, unsigned long end);

/* The number of words added, repeats included. */
TV_EXPORT unsigned long tvNumStopWords(StopListT* list);

/* Copies word into destination and stems it there (English, lower case).
 * Returns 1, or 0 when the word holds a character that is not an ASCII
 * letter (it is then left as copied, its leading letters lowercased).
 * destination must hold strlen(word) + 1 bytes; no more is written. */
TV_EXPORT int tvStemEnglishWord(char* destination, const char* word);

/* A new, empty highlight matcher; null with StatusNotEnoughMemory when it
 * cannot be made. */
TV_EXPORT WordHighlighterT* tvCreateHighlightMatcher(StatusCodeT* status);

/* Adds one pattern: "*" matches the rest of a word, "?" one byte, and a
 * backslash makes the next byte literal. StatusBadKeyLength for a pattern
 * longer than 256 bytes, StatusNotEnoughMemory when it cannot be stored. */
TV_EXPORT void tvAddWildCardPatternToHighlightMatcher(
    WordHighlighterT* matcher, unsigned char* pattern, unsigned long length,
    StatusCodeT* status);

/* 1 when the word matches one of the matcher's patterns, else 0. */
TV_EXPORT int tvHighlightMatcherMatch(WordHighlighterT* matcher,
                                      unsigned char* word,
                                      unsigned long length);

/* Destroys a highlight matcher with its patterns. */
TV_EXPORT void tvDeleteHighlightMatcher(WordHighlighterT* matcher);

/* A new robots exclusion parser, with an empty robot name and no rules; null
 * with StatusNotEnoughMemory when it cannot be made. */
TV_EXPORT RobotsT* tvCreateRobotsTxtParser(StatusCodeT* status);

/* Destroys a robots exclusion parser. */
TV_EXPORT void tvDeleteRobotsTxtParser(RobotsT* robots);

/* The robot's name: its first length characters, at most 127, matched
 * without regard to case against the start of User-Agent values. */
TV_EXPORT void tvSetRobotName(RobotsT* robots, const char* name,
                              unsigned long length);

/* Takes the Disallow rules of a NUL-terminated robots.txt text that apply to
 * the robot: those of its own records, or, while none has been met, those
 * of the "*" records. */
TV_EXPORT void tvParseRobotsTxt(RobotsT* robots, char* text);

/* 1 when the robot may fetch the path, else 0. */
TV_EXPORT int tvRobotsPermissionGranted(RobotsT* robots, const char* path);

/* The same for a full URL, judged on its path ("/" when it has none). */
TV_EXPORT int tvRobotsPermissionGrantedFullURL(RobotsT* robots, char* url);

/* The buffer size tvOutputCompactRobotsTxt needs. */
TV_EXPORT unsigned long tvRobotsTxtLength(RobotsT* robots);

/* Writes the kept rules as "User-Agent: name" followed by one
 * "\nDisallow: path" per rule, and a NUL, into buffer (of at least
 * tvRobotsTxtLength bytes). */
TV_EXPORT void tvOutputCompactRobotsTxt(RobotsT* robots, char* buffer);

/* Folds a 16-bit code unit in place: case and accents of the Latin and
 * Greek letters, to lower case when lower is 1, else to upper case. */
TV_EXPORT void ucNormalizeChar(unsigned short* ch, BooleanT lower);

/* Sets table[i] to the folded form of i for i below size (1024 entries
 * cover every code unit that folds). */
TV_EXPORT void ucInitializeNormalizationTable(unsigned short* table,
                                              unsigned long size,
                                              BooleanT lower);

/* Replaces *ch by table[*ch] when *ch is below size. */
TV_EXPORT void ucTableNormalizeChar(unsigned short* table, unsigned short* ch,
                                    unsigned long size);

/* ------------------------------------------------------------------------ */
/* Query language                                                            */
/* ------------------------------------------------------------------------ */

/*
 * A query exists in two forms. The long form is what a person types: words,
 * the keywords AND, OR, NOT, NEAR and W/n (upper case, with a space on each
 * side), parentheses and double quotes. The short form is what the engine
 * parses; a host makes it with tvLongQueryFormToShortQueryForm, then
 * tvConvertQuery:
 *
 *   "cat AND dog*"  ->  "cat & dog*"  ->  "0x636174 & 0x646f67*"
 *
 * Short form:
 *   0x6361..   a term: "0x" and two hexadecimal digits per byte of the term
 *              (at most 255 bytes); a "*" unit matches the rest of a term,
 *              a "?" unit any one byte ("0x6361*" is every term starting
 *              with "ca")
 *   a - b      every term from a to b in dictionary order, both included,
 *              the first 100 of them (the ends may be given either way round)
 *   a w5 b     a and b at most 5 words apart ("w/5" and "w:5" also read);
 *              a distance of 0 counts as 1
 *   a ! b      a without b (records holding a and not b)
 *   a & b      records holding both; "a b" means the same
 *   a M f      the hits of a that lie inside an instance of field f (the
 *              field's hits taken in pairs as start and end); "a & b M f"
 *              asks for a and b inside one instance of f
 *   a ^ b      records holding one of them but not all
 *   a | b      records holding either
 *   ( )  < >   grouping
 *   "a b c"    a phrase: the terms at consecutive word positions
 *   :n         after a term, list or operator: at least all-but-n operands
 *              of the AND (or XOR) it belongs to must hold a record
 *              ("0x61:1 & 0x62 & 0x63": two of the three); ":wn" and ":fn"
 *              are accepted and have no effect
 * Operators bind, tightest first: range "-", proximity "w", NOT "!", AND "&",
 * member "M", XOR "^", OR "|"; operators of one level group from the left,
 * so "a & b | c" is (a & b) | c, "a | b & c" is a | (b & c) and "a ! b ! c"
 * is (a ! b) ! c. Lists left open at the end of the text count as closed.
 * Everything that is not part of a token (spaces, other punctuation) is
 * ignored. In an index kept in RECORD_MODE or IDF_MODE, which holds no word
 * positions, proximity and phrases select the records holding all their
 * terms.
 *
 * A malformed query is answered with a status: StatusMalformedParameter ("w"
 * or ":" without a number, "-" without a term after it),
 * StatusQuerySyntaxError (an operator without an operand, an empty list or
 * query, "-" without a single term before it, an operator of over 128
 * operands that cannot be split: an AND with a tolerance, XOR, a phrase),
 * StatusHexTermExpected (a character or term that is not the short form, a
 * ")" with no open list), StatusMismatchedQuotes (a closing quote or ")"
 * crossing a quoted list), StatusBadKeyLength (a term of more than 255
 * bytes).
 */

/* Rewrites the keywords of a long-form query in place (the text never grows):
 * TAB, LF and CR become spaces; " AND " becomes " & ", " OR " " | ",
 * " NOT " " ! ", " NEAR " " w:<nearDistance> " (the distance capped at 99),
 * " W/<digit>" " w/<digit>"; runs of spaces become one. A null query is
 * ignored. */
TV_EXPORT void tvLongQueryFormToShortQueryForm(unsigned char* query,
                                               unsigned long nearDistance);

/* The size out must have for tvConvertQuery of an input of n bytes (n
 * counted without its NUL): 2n + (n + 1) / 2 + 2 bytes, its NUL included. */
#define TV_CONVERTED_QUERY_SIZE(n) (2 * (n) + ((n) + 1) / 2 + 2)

/* Writes the short form of a query whose keywords were rewritten: every word
 * becomes a hex word; operators, parentheses, quotes, spaces, the member
 * operator "M" standing alone, parameters (":3", ":w5"), "*" and "?" inside
 * a word, and the proximity operator ("w/" or "w:" and digits, standing
 * alone) are copied. A backslash makes the next character a plain byte of
 * the word. out must hold TV_CONVERTED_QUERY_SIZE(strlen(in)) bytes; in is
 * not changed. Null pointers are ignored. */
TV_EXPORT void tvConvertQuery(unsigned char* in, unsigned char* out);

/* tvConvertQuery with its arguments the other way round. */
TV_EXPORT void tvConvertQuery2(unsigned char* out, unsigned char* in);

/* Hex words. None of these takes a status; null pointers are ignored. Digits
 * are written in lower case and read in either; a character that is not a
 * hexadecimal digit is read as the digit 0. */

/* Writes "0x", two digits per byte and a NUL: 2 * length + 3 bytes. */
TV_EXPORT void tvCharWordToHexWord(char* hexOut, unsigned char* bytes,
                                   unsigned long length);
/* The byte two digits stand for. */
TV_EXPORT void tvHexToChar(unsigned char* byteOut, const char* twoHexChars);
/* The two digits of a byte (no NUL). */
TV_EXPORT void tvCharToHex(unsigned char byte, char* twoCharsOut);
/* The 16-bit value four digits stand for, high byte first. */
TV_EXPORT void tvUnicodeHexToChar(unsigned short* valueOut,
                                  const char* fourHexChars);
/* The four digits of a 16-bit value, high byte first (no NUL). */
TV_EXPORT void tvUnicodeCharToHex(unsigned short value, char* fourCharsOut);

/* ------------------------------------------------------------------------ */
/* Queries and result vectors                                                */
/* ------------------------------------------------------------------------ */

/*
 * A result vector is a list of hits in ascending order of record number (the
 * records numbered across the whole index from 1) and, within a record, of
 * word position; a ranked result instead holds one hit per record, best
 * first. A hit is four values: record, word position, count and weight. The
 * host owns every vector returned here and gives it back with
 * tvDeleteResultVector. A handle that is not a live result vector gets
 * StatusNotIndexFile.
 *
 * Ranked query text: terms in the short form ("0x" and hexadecimal digits,
 * "*" and "?" units), separated by spaces or TABs, at most 128 of them
 * (StatusQuerySyntaxError beyond). "+" before a term makes it required,
 * "-" excluded (blanks may follow the sign); anything else is
 * StatusHexTermExpected. Every record holding a term scores the sum of the
 * terms' weights; how a term weighs follows the document weight method of
 * the index (none: 1 per term; log sum: (ln tf + 1) / the record's weight;
 * maximum frequency: a weight that also grows with the term's rarity in the
 * whole index). Records scoring 0.001 or less, deleted records, records
 * holding an excluded term or lacking a required one never appear. The best
 * 999 records are kept (or fewer, see tvSetRankedResultLimit), best first;
 * equal scores put the lower record first. A wildcard term scores as the OR
 * of the terms it matches.
 */

/* Runs a query in two optional parts (a null or blank text is not given):
 * booleanQuery, in the short form, selects records; rankedQuery scores them,
 * restricted to the selected records when both are given. Returns the
 * result rewound (standing on its first hit): the ranked result, else the
 * Boolean one. Neither part given: null with status 0. Outside a retrieval
 * session or on an index without partitions: StatusNotInitializedForSearching;
 * a malformed query gets the status of its fault.
 *
 * Hits on demand. In a word-mode index a Boolean result whose query is a
 * term, a wildcard, a range or an AND, OR, NOT or XOR at its root holds its
 * records first: counting its records, moving by record and reporting a
 * record, its count or its weight (pass null for the word) read no word
 * position. A walk that needs them (a move by hit, a word output) produces
 * the hits of the records it reaches, a stretch of records at a time
 * (16, then twice as many each time); the hit count or total of tvNumHits,
 * tvVectorAddHit and tvVectorAnd/Or/Not produce those of the whole result.
 * They are exactly the hits the query had when it ran, whatever was
 * deleted, optimised or reloaded since and whether or not the manager
 * still exists: the result keeps the index's files open until it is
 * deleted (a file an optimisation replaced keeps its disk space until
 * then; the results of a process hold at most 128 files, and a query beyond
 * that gets its hits at once). When hits cannot be produced the
 * call fails with the status of the fault (StatusReadError,
 * StatusNotEnoughMemory, ...) and the vector stays as it was. */
TV_EXPORT QueryVectorBaseT* tvProcessQuery(IndexManagerT* manager,
                                           unsigned char* rankedQuery,
                                           unsigned char* booleanQuery,
                                           StatusCodeT* status);

#define TV_MAXIMUM_RANKED_RESULTS 999

/* The most records a ranked result of the manager keeps: 1 to
 * TV_MAXIMUM_RANKED_RESULTS (the default; other numbers are
 * StatusMalformedParameter), kept across the indexes it opens. A result
 * keeps exactly the first records of the full ranking; the fewer it keeps,
 * the more records the ranking can pass over without scoring them, so that
 * asking for the ten best costs much less than asking for 999. */
TV_EXPORT void tvSetRankedResultLimit(IndexManagerT* manager,
                                      unsigned long records,
                                      StatusCodeT* status);

/* The vector's counts: records, distinct hits, and total, the larger of the
 * two (a ranked result reports its number of records in all three). A null
 * vector reports three zeros. Null outputs are skipped; asking for records
 * only never makes a result produce its hits. */
TV_EXPORT void tvNumHits(QueryVectorBaseT* vector, unsigned long* total,
                         unsigned long* records, unsigned long* hits,
                         StatusCodeT* status);

/* Movement. Each moves, then reports the hit the vector stands on (null
 * outputs are skipped). At either end the vector stays where it is and the
 * status is StatusEndOfVector, reporting that hit again; on a vector without
 * hits it is StatusEndOfVector with record 0, word 0, count 1, weight 1.
 * A negative status leaves the outputs unwritten. tvVectorNextRecord stops
 * on the first hit of the next record, tvVectorPreviousRecord on the last
 * hit of the previous one. */
TV_EXPORT void tvVectorNextHit(QueryVectorBaseT* vector, unsigned long* record,
                               unsigned long* word, unsigned long* count,
                               float* weight, StatusCodeT* status);
TV_EXPORT void tvVectorPreviousHit(QueryVectorBaseT* vector,
                                   unsigned long* record, unsigned long* word,
                                   unsigned long* count, float* weight,
                                   StatusCodeT* status);
TV_EXPORT void tvVectorNextRecord(QueryVectorBaseT* vector,
                                  unsigned long* record, unsigned long* word,
                                  unsigned long* count, float* weight,
                                  StatusCodeT* status);
TV_EXPORT void tvVectorPreviousRecord(QueryVectorBaseT* vector,
                                      unsigned long* record,
                                      unsigned long* word,
                                      unsigned long* count, float* weight,
                                      StatusCodeT* status);

/* Reports the current hit without moving (status 0). */
TV_EXPORT void tvVectorCurrentHit(QueryVectorBaseT* vector,
                                  unsigned long* record, unsigned long* word,
                                  unsigned long* count, float* weight,
                                  StatusCodeT* status);

/* Appends a hit (count 1). Hits must come in ascending (record, word) order,
 * each once, record and word from 1: any other hit gets
 * StatusMalformedParameter and is not added. Fill a vector completely, then
 * rewind it and walk it. */
TV_EXPORT void tvVectorAddHit(QueryVectorBaseT* vector, unsigned long record,
                              unsigned long word, float weight,
                              StatusCodeT* status);

/* Returns to the first hit. */
TV_EXPORT void tvVectorRewind(QueryVectorBaseT* vector, StatusCodeT* status);

/* A new, empty vector for tvVectorAddHit; null with StatusNotEnoughMemory
 * when it cannot be made. */
TV_EXPORT QueryVectorBaseT* tvCreateResultVector(StatusCodeT* status);

/* Destroys a vector; a null one is accepted (status 0). */
TV_EXPORT void tvDeleteResultVector(QueryVectorBaseT* vector,
                                    StatusCodeT* status);

/* New vectors combining two vectors from where they stand (rewind both
 * first; both are walked to their ends): the hits of the records both hold,
 * the hits of either, and the hits of a in records b does not hold. The
 * result is rewound; a and b stay the caller's. */
TV_EXPORT QueryVectorBaseT* tvVectorAnd(QueryVectorBaseT* a,
                                        QueryVectorBaseT* b,
                                        StatusCodeT* status);
TV_EXPORT QueryVectorBaseT* tvVectorOr(QueryVectorBaseT* a, QueryVectorBaseT* b,
                                       StatusCodeT* status);
TV_EXPORT QueryVectorBaseT* tvVectorNot(QueryVectorBaseT* a,
                                        QueryVectorBaseT* b,
                                        StatusCodeT* status);

/* ------------------------------------------------------------------------ */
/* Dictionary browsing                                                       */
/* ------------------------------------------------------------------------ */

/*
 * The words of the index, across all partitions, as one list in key order:
 * unsigned bytes, the shorter word first when one begins the other. Keys are
 * length-prefixed: a length byte, then that many bytes; a key buffer holds
 * 256 bytes. Each step reports a word with the number of records and the
 * number of postings (hits) that hold it in the whole index, deleted records
 * included. Browsing needs a retrieval session
 * (StatusNotInitializedForSearching outside one); a null cursor or key
 * buffer gets StatusMalformedParameter, a damaged dictionary
 * StatusGeneralError or StatusReadError.
 */

/* The host's browsing position; the host allocates it. A cursor zeroed by the
 * host stands before the first word: tvNextKey moves to the first word. */
typedef struct DictionaryCursorT {
  uint32_t State;   /* 1 while Key is a word of the index, else 0 */
  uint8_t Key[256]; /* the cursor's word, length-prefixed */
  uint32_t Records; /* records holding it */
  uint32_t Hits;    /* its postings */
} DictionaryCursorT;

/* Looks key up. Found: *found 1 and its counts. Not found: *found 0, and
 * key is overwritten with the next word in order, with that word's counts;
 * the cursor moves to it (StatusEndOfWordList when no word follows: the
 * cursor then holds the missing key, without a current word). found,
 * records and hits may be null. */
TV_EXPORT void tvFindKey(IndexManagerT* manager, DictionaryCursorT* cursor,
                         unsigned char* key, BooleanT* found,
                         unsigned long* records, unsigned long* hits,
                         StatusCodeT* status);

/* Moves the cursor to the word after (before) its key, whether the index
 * holds that key or not, and reports it in keyOut with its counts.
 * StatusEndOfWordList when there is none: the cursor stays where it was.
 * keyOut may be the cursor's own Key; records and hits may be null. */
TV_EXPORT void tvNextKey(IndexManagerT* manager, DictionaryCursorT* cursor,
                         unsigned char* keyOut, unsigned long* records,
                         unsigned long* hits, StatusCodeT* status);
TV_EXPORT void tvPreviousKey(IndexManagerT* manager, DictionaryCursorT* cursor,
                             unsigned char* keyOut, unsigned long* records,
                             unsigned long* hits, StatusCodeT* status);

/* Reports the cursor's word and counts without reading the index;
 * StatusNoCurrentKey when the cursor holds no word of the index. */
TV_EXPORT void tvCurrentKey(IndexManagerT* manager, DictionaryCursorT* cursor,
                            unsigned char* keyOut, unsigned long* records,
                            unsigned long* hits, StatusCodeT* status);

/* A new result vector with every hit of the cursor's word, records numbered
 * across the index, deleted records left out, rewound; the host deletes it
 * with tvDeleteResultVector. Null with StatusNoCurrentKey when the cursor
 * holds no word of the index. */
TV_EXPORT QueryVectorBaseT* tvGetCurrentQueryVector(IndexManagerT* manager,
                                                    DictionaryCursorT* cursor,
                                                    StatusCodeT* status);

/* Writes a statistics file: a B-tree (the 36-byte header at offset 0, pages
 * of 4096 bytes) whose keys are the words of the index in key order and
 * whose data are each word's record and posting counts as two Elias delta
 * codes, most significant bit first, padded to a byte (a count of 0 stored
 * as 1). Needs a retrieval session; StatusIndexEmpty when the index holds
 * no word (no file is written), StatusCannotOpenFile when the file cannot be
 * made. A failure part way leaves an incomplete file. */
TV_EXPORT void tvOutputStatsFile(IndexManagerT* manager,
                                 unsigned char* fileName,
                                 StatusCodeT* status);

/* ------------------------------------------------------------------------ */
/* Integrity                                                                 */
/* ------------------------------------------------------------------------ */

/* Checks the index file fileName without changing it: the two header copies
 * (a copy cut short by an interrupted write is no problem while the other is
 * intact), every partition (its header, its dictionary, every word's
 * postings decoded to their end, its document weights, its record data and
 * record ID tables) and the deleted-record list. Returns the number of
 * problems found, 0 for a sound index. When report is not null and
 * reportLength is not 0, report receives the problems, one line each
 * (ending in a line feed), cut to reportLength - 1 bytes and always
 * terminated by a zero byte; about a hundred are listed at most. A file that
 * cannot be opened counts as one problem, with StatusFileNotFound; a null
 * fileName gets StatusMalformedParameter. */
TV_EXPORT unsigned long tvCheckIndex(char* fileName, char* report,
                                     unsigned long reportLength,
                                     StatusCodeT* status);

#ifdef __cplusplus
}
#endif

#endif /* TARVIS_TARVIS_H_ */
