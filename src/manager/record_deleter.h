// TarvisRecordDeleterT: the set of deleted record numbers of an index. Records
// are never removed from a partition when the host deletes them; the set is a
// bitmap over the global record numbers that every query consults, that the
// optimiser uses to drop records for good, and that the index file keeps as a
// short list after its last partition:
//
//   magic AB12CD34, version 1, count n, then n record numbers ascending
//
// every value a 32-bit big-endian integer.
//
// Record numbers run from 1 to the records on line (the records of the loaded
// partitions, raised by BringRecordsOnLine). Record 0 and numbers above the
// records on line are refused with StatusMalformedParameter and change
// nothing.

#ifndef TARVIS_MANAGER_RECORD_DELETER_H_
#define TARVIS_MANAGER_RECORD_DELETER_H_

#include <cstdint>

#include "query/deleted_records.h"
#include "tarvis/tarvis.h"

class FileClassT;

// First value of the deleted-record list.
constexpr uint32_t kDeletedListMagic = 0xAB12CD34u;
constexpr uint32_t kDeletedListVersion = 1;

class TarvisRecordDeleterT : public DeletedRecordSetT {
 public:
  TarvisRecordDeleterT() = default;
  ~TarvisRecordDeleterT() override;
  TarvisRecordDeleterT(const TarvisRecordDeleterT&) = delete;
  TarvisRecordDeleterT& operator=(const TarvisRecordDeleterT&) = delete;

  // Widens the range of records the set may have to cover by count.
  void BringRecordsOnLine(uint32_t count);
  // Grows the bitmap to cover every record on line, keeping its bits.
  // StatusNotEnoughMemory leaves the old bitmap in place.
  void ExpandDeleteBuff(StatusCodeT* status);

  // Deleting or undeleting a record already in the wanted state changes
  // nothing and reports 0. The list forms handle every number in turn; a
  // number that fails leaves its status and the others are still handled.
  void DeleteRecordNum(unsigned long record, StatusCodeT* status);
  void DeleteRecordNums(const unsigned long* records, unsigned long count,
                        StatusCodeT* status);
  void UnDeleteRecordNum(unsigned long record, StatusCodeT* status);
  void UnDeleteRecordNums(const unsigned long* records, unsigned long count,
                          StatusCodeT* status);

  int IsRecordDeleted(uint32_t record) const override;
  int HasDeletedRecords() const override { return DeletedCount != 0; }
  uint32_t GetNumberOfRecordsDeleted() const { return DeletedCount; }
  // Writes the deleted record numbers, ascending; out has room for
  // GetNumberOfRecordsDeleted() numbers.
  void OutputDeletedRecords(unsigned long* out) const;
  // The number of deleted records r with first <= r < end.
  void GetDeletedRecordCount(uint32_t* count, uint32_t first,
                             uint32_t end) const;
  // Renumbers the set after the deleted records from first to last were
  // removed from the index: the records above last move down over them.
  void CompactDeletedRecordNumbers(uint32_t first, uint32_t last);

  // The on-disk list, at the file's current position. Reading adds the
  // numbers to the set; a wrong magic gives StatusNotIndexFile, a short or
  // damaged list StatusReadError.
  void ReadInDeletedRecordNums(FileClassT* file, StatusCodeT* status);
  void WriteOutDeletedRecordNums(FileClassT* file, StatusCodeT* status);

  // 1 once the set was changed or filled from a file: the list must be
  // written back.
  int IsChanged() const { return Changed; }
  uint32_t RecordsOnLine() const { return OnLine; }
  uint32_t Capacity() const { return CoveredUpTo; }
  uint32_t HighestDeleted() const { return Highest; }

 private:
  // Grows the bitmap to cover newCapacity records; 0 when memory is short.
  int Grow(uint32_t newCapacity);
  // Sets the bit of a record within the capacity; counts it when new.
  void Mark(uint32_t record);

  int Changed = 0;
  uint8_t* Bitmap = nullptr;
  uint32_t BitmapSize = 0;
  uint32_t CoveredUpTo = 0;  // highest record number with a bit
  uint32_t OnLine = 0;
  uint32_t DeletedCount = 0;
  uint32_t Highest = 0;
};

#endif  // TARVIS_MANAGER_RECORD_DELETER_H_
