// An index manager with one index file: created, opened, queried and closed
// with every failure turned into a HostErrorT naming the index. The
// destructor closes an index left open (after an error) without reporting.

#ifndef TARVIS_HOST_INDEX_HANDLE_H_
#define TARVIS_HOST_INDEX_HANDLE_H_

#include <string>
#include <vector>

#include <tarvis/tarvis.h>

// How long, by default, a command that changes an index waits for other
// writers' commits (--wait).
constexpr unsigned long kDefaultLockWaitSeconds = 600;
// The help line of --wait.
#define TARVIS_WAIT_HELP                                                   \
  "  --wait SECONDS  wait up to SECONDS for other writers of the index\n" \
  "                  (default 600; 0 fails at once when one is writing)\n"

// One record of a query result, with its score in a ranked result.
struct HitT {
  unsigned long Record;
  float Score;
};

class IndexHandleT {
 public:
  explicit IndexHandleT(const std::string& path);
  ~IndexHandleT();
  IndexHandleT(const IndexHandleT&) = delete;
  IndexHandleT& operator=(const IndexHandleT&) = delete;

  // Creates the index file in the given mode, with record data and record
  // IDs as asked (variable length, 32-bit pointers) and, in word and IDF
  // mode, document weights. An existing file is never overwritten
  // (StatusFileExists). The index is not opened.
  void Create(unsigned long mode, bool recordData = true,
              bool recordIds = true);
  void Open();
  // How long changes to the index wait for other writers' commits; a
  // failure once it has passed.
  void SetLockWait(unsigned long seconds);
  // The working memory of the indexing sessions started from now on, in
  // bytes: 0 for the library's default, else TV_MIN_INDEXING_MEMORY to
  // TV_MAX_INDEXING_MEMORY (StatusMalformedParameter otherwise).
  void SetIndexingMemory(unsigned long bytes);
  // Opens and starts a retrieval session; an index without partitions
  // holds no records, and queries on it are not run.
  void OpenForRetrieval();
  void Close();

  IndexManagerT* Manager() const { return manager_; }
  const std::string& Path() const { return path_; }
  // The records of the loaded partitions (deleted ones included).
  unsigned long Records() const;
  // The records of the loaded partitions that are not deleted.
  unsigned long LiveRecords() const;
  // The record data of a record; false when the index keeps none.
  bool RecordData(unsigned long record, std::string* data) const;
  // The record data of a record (empty when it has none).
  std::string RecordData(unsigned long record) const;
  // The ID of a record; false when the index keeps none.
  bool RecordId(unsigned long record, std::string* id) const;
  // The record whose indexed ID is id; 0 when none is.
  unsigned long FindRecordId(const std::string& id) const;
  // The deleted records, ascending.
  std::vector<unsigned long> DeletedRecords() const;
  // Deletes (or undeletes) records; a number of 0 or beyond the index
  // fails with StatusMalformedParameter before any record changes.
  void MarkDeleted(const std::vector<unsigned long>& records, bool deleted);
  // Merges the last partitions into one, leaving out deleted records; a
  // range left without records is removed.
  void MergeLastPartitions(unsigned long partitions);
  // Adds a partition file after the index's partitions: copied into a
  // single-file index (and deleted), registered in a distributed one.
  void AddPartitionFile(const std::string& file);
  // The partitions of the index.
  unsigned long Partitions() const;

  // Runs a query (either text may be empty) and returns its records in
  // result order: record order, or best score first for a ranked query,
  // which keeps at most rankedLimit records (0 or more than
  // TV_MAXIMUM_RANKED_RESULTS: that many); the fewer, the faster.
  std::vector<HitT> Query(const std::string& ranked, const std::string& boolean,
                          unsigned long rankedLimit = 0) const;

  // Fails with "<index>: <what>: <message>" on a negative status.
  void Check(StatusCodeT status, const std::string& what) const;

 private:
  std::string path_;
  IndexManagerT* manager_ = nullptr;
  bool open_ = false;
};

#endif  // TARVIS_HOST_INDEX_HANDLE_H_
