// An index manager with one index file: created, opened and closed with
// every failure turned into a ToolErrorT naming the index. The destructor
// closes an index left open (after an error) without reporting.

#ifndef TARVIS_TOOLS_INDEX_HANDLE_H_
#define TARVIS_TOOLS_INDEX_HANDLE_H_

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
  // IDs (variable length, 32-bit pointers) and, in word and IDF mode,
  // document weights. The index is not opened.
  void Create(unsigned long mode);
  void Open();
  // How long changes to the index wait for other writers' commits; a
  // failure once it has passed.
  void SetLockWait(unsigned long seconds);
  // Opens and starts a retrieval session; an index without partitions
  // holds no records, and queries on it are not run.
  void OpenForRetrieval();
  void Close();

  IndexManagerT* Manager() const { return manager_; }
  const std::string& Path() const { return path_; }
  // The records of the loaded partitions (deleted ones included).
  unsigned long Records() const;
  // The record data of a record (empty when it has none).
  std::string RecordData(unsigned long record) const;

  // Runs a query (either text may be empty) and returns its records in
  // result order: record order, or best score first for a ranked query.
  std::vector<HitT> Query(const std::string& ranked,
                          const std::string& boolean) const;

  // Fails with "<index>: <what>: <message>" on a negative status.
  void Check(StatusCodeT status, const std::string& what) const;

 private:
  std::string path_;
  IndexManagerT* manager_ = nullptr;
  bool open_ = false;
};

#endif  // TARVIS_TOOLS_INDEX_HANDLE_H_
