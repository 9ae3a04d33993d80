// LocationTableT: the location table of a distributed index. Such an index
// keeps every partition in a file of its own; its index file holds, after
// the header, a table of 256-byte entries (entry i: partition i's path,
// NUL-terminated, zero-padded), then the deleted-record list. The first and
// last partition positions are 0 and the append position is the end of the
// table.
//
// A location is a path of 1 to 255 bytes; a longer or empty one is refused
// with StatusMalformedParameter, and an entry without a NUL reads as
// StatusNotIndexFile. The deleted-record list is never overwritten while the
// header points to it: when the table grows over it, it is first written
// beyond (index_file.h).
//
// The changes (Append, Rewrite, Change, Replace) are commits: the caller
// holds the writer lock and has caught up with the file (index_commit.h).
// None of them touches the loaded partitions.

#ifndef TARVIS_MANAGER_LOCATION_TABLE_H_
#define TARVIS_MANAGER_LOCATION_TABLE_H_

#include <cstddef>
#include <cstdint>

#include "tarvis/tarvis.h"

class IndexFileT;

// The bytes of a location entry.
constexpr uint32_t kLocationBytes = 256;

class LocationTableT {
 public:
  explicit LocationTableT(IndexFileT* index) : Index(index) {}
  LocationTableT(const LocationTableT&) = delete;
  LocationTableT& operator=(const LocationTableT&) = delete;

  // The length of a location that fits an entry (1 to 255 bytes), else 0.
  static size_t LocationLength(const char* path);
  // Where entry i lies in the index file.
  uint32_t Position(uint32_t i) const;

  // The location of partition i (StatusPartitionNotFound beyond the table)
  // into a buffer of kLocationBytes; the empty string on failure.
  void Read(uint32_t i, char* path, StatusCodeT* status);
  // Writes entry i, zero-padded; the header is not touched.
  void WriteEntry(uint32_t i, const char* path, StatusCodeT* status);

  // Adds an entry after the last, then the list, then the header that
  // counts it.
  void Append(const char* path, StatusCodeT* status);
  // Rewrites the location of partition i.
  void Rewrite(uint32_t i, const char* path, StatusCodeT* status);
  // Rewrites the first location equal to oldPath and gives its number in
  // *i; StatusPartitionNotFound (nothing changed) when none is equal.
  void Change(uint32_t* i, const char* newPath, const char* oldPath,
              StatusCodeT* status);
  // Replaces the count (at least 1) locations from first by path, or
  // removes them when path is null; every location after the range moves
  // down behind it. With readFirst each entry is read before it is
  // overwritten.
  void Replace(const char* path, uint32_t first, uint32_t count,
               BooleanT readFirst, StatusCodeT* status);

 private:
  IndexFileT* Index;
};

#endif  // TARVIS_MANAGER_LOCATION_TABLE_H_
