// IndexFileT: an index manager's open index file, as far as the file itself
// goes: the file object, the two copies of its header and their write
// stamps, and the deleted-record set the file keeps, with the changes this
// manager made to it and has not written yet (its own deletions).
//
// A header is written as the magic and two stamped copies; on reading, the
// first intact copy that fits the file is current, so that a write cut short
// leaves the index readable. Stamps rise strictly, and are never earlier than
// the moment the object was reset.
//
// The deleted-record list the header on disk points to is never overwritten
// while the header points to it. Whatever is about to be written where it
// lies (a partition, a location entry, a longer list) first moves it beyond
// (MoveDeletedListBeyond, PlaceDeletedList), so that a crash at any moment
// leaves a list the header can be trusted for.
//
// Every write here belongs to a commit: the caller holds the writer lock and
// has caught up with the file (index_commit.h).

#ifndef TARVIS_MANAGER_INDEX_FILE_H_
#define TARVIS_MANAGER_INDEX_FILE_H_

#include <cstdint>
#include <utility>
#include <vector>

#include "manager/index_header.h"
#include "tarvis/tarvis.h"

class FileClassT;
class TarvisRecordDeleterT;

class IndexFileT {
 public:
  IndexFileT();
  ~IndexFileT();
  IndexFileT(const IndexFileT&) = delete;
  IndexFileT& operator=(const IndexFileT&) = delete;

  // Lets go of the file without writing: no file, blank headers, a fresh
  // deleted-record set. 0 when the set cannot be allocated.
  int Reset();
  // Takes an open file whose position is at a header and reads the header
  // and the deleted-record list. On failure (0, with the status) the file
  // stays the caller's and this object holds none.
  int Attach(FileClassT* file, StatusCodeT* status);
  // Takes the file that replaced the one held on disk, the old one
  // destroyed; nothing is read. The own changes not yet written belong to
  // the old numbering: they are dropped and reported lost.
  void Replace(FileClassT* file);
  // Takes a file written whole: its header (as stamped with stamp) and its
  // deleted-record set, owned from here, with nothing of its own pending.
  void Install(FileClassT* file, IndexHeaderInfoT header, uint32_t stamp,
               TarvisRecordDeleterT* deleted);
  // 1 when the file the index's name stands for is no longer the one held.
  int Replaced();

  // ---- The header -----------------------------------------------------------

  // Reads the magic and both copies at the header position and picks the
  // current one: the first intact copy that fits the file.
  void ReadHeader(StatusCodeT* status);
  // The time for a header write: now, but later than the reset and than
  // every stamp written or read before.
  uint32_t NextWriteStamp();
  // Write the magic and both copies of the current header at the header
  // position, or at the file's position, which becomes the header position.
  // 1 on success, 0 on a write failure.
  int WriteFullHeader();
  int WriteBlankHeader();
  // Both copies back to header, the one on disk (after a failed commit).
  void RestoreHeader(const IndexHeaderInfoT& header);

  // ---- The deleted-record list ----------------------------------------------

  // Writes the list at position and records it in the header (not yet
  // written).
  void WriteDeletedList(uint32_t position, StatusCodeT* status);
  // Writes the list at base, or beyond the list the header points to when
  // it would overwrite that one.
  void PlaceDeletedList(uint32_t base, StatusCodeT* status);
  // Before bytes up to end are written where the list the header on disk
  // counts may lie: the list moves beyond end and the header on disk with
  // it. True when the list had to move; onDisk then takes the header now on
  // disk, or the status the failure.
  bool MoveDeletedListBeyond(uint32_t end, IndexHeaderInfoT* onDisk,
                             StatusCodeT* status);
  // The list on disk, over records records, with the own changes applied.
  void ReloadDeletedRecords(uint32_t records, StatusCodeT* status);

  // ---- Commits --------------------------------------------------------------

  // Copies length bytes of a partition file behind the last partition, then
  // the list, then the header that counts the partition. The start of the
  // copy, or 0 with the status (the index as it was).
  uint32_t AppendPartition(FileClassT* partition, uint32_t length,
                           StatusCodeT* status);
  // Writes the list with the own changes, and the header.
  void WriteOwnDeletions(StatusCodeT* status);

  // ---- Own deletions --------------------------------------------------------

  // A deletion (true) or undeletion (false) this manager made.
  void RecordOwnChange(uint32_t record, bool deleted) {
    OwnChanges.emplace_back(record, deleted);
  }
  int HasOwnChanges() const { return !OwnChanges.empty(); }
  // The list written holds the own changes: they are on disk now.
  void OwnDeletionsWritten() { OwnChanges.clear(); }
  // Set when own changes were dropped because their records were
  // renumbered under them.
  int DeletionsLost() const { return ChangesLost; }

  // ---- State ----------------------------------------------------------------

  int IsOpen() const { return OpenFile != nullptr; }
  FileClassT* File() const { return OpenFile; }
  const IndexHeaderInfoT& Header() const { return *Current; }
  // The header a commit changes before writing it.
  IndexHeaderInfoT& EditHeader() { return *Current; }
  uint32_t HeaderPosition() const { return HeaderAt; }
  // Just after the second header copy.
  uint32_t HeaderEnd() const { return HeaderEndAt; }
  int IsReadOnly() const { return ReadOnly; }
  TarvisRecordDeleterT* Deleted() const { return DeletedSet; }

 private:
  int WriteHeaderAt(uint32_t position);

  FileClassT* OpenFile = nullptr;
  IndexHeaderInfoT Copies[2] = {};
  IndexHeaderInfoT* Current = &Copies[0];
  IndexHeaderInfoT* Other = &Copies[1];
  uint32_t HeaderAt = kIndexHeaderPosition;
  uint32_t HeaderEndAt = kIndexHeaderEnd;
  int ReadOnly = 0;
  uint32_t ResetTime = 0;
  uint32_t LastStamp = 0;
  TarvisRecordDeleterT* DeletedSet = nullptr;
  // Own deletions (true) and undeletions (false) since the list was last
  // written, in order; a commit applies them onto the list it reads.
  std::vector<std::pair<uint32_t, bool>> OwnChanges;
  int ChangesLost = 0;
};

#endif  // TARVIS_MANAGER_INDEX_FILE_H_
