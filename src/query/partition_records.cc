// PartitionReaderT and the record tables of a partition: record data read
// whole or in pieces through a cursor, record IDs, and the lookup of the
// records that hold an indexed record ID.
//
// A partition holds up to four record areas behind its other areas, in this
// order: the record data table, the record data area, the record ID table
// and the record ID area. The header gives where each starts; an area ends
// where the next present one starts, or at the partition's end. A
// variable-length table holds one pointer per record and a closing one,
// each an offset into its area; a fixed-length table holds one entry of the
// fixed length per record.

#include <algorithm>
#include <cstdint>
#include <memory>

#include "format/option_flags.h"
#include "query/compressed_vector.h"
#include "query/hex_words.h"
#include "query/partition_reader.h"
#include "query/query_processor.h"
#include "storage/allocation.h"
#include "storage/file_status.h"
#include "storage/fileclas.h"

namespace {

// The record areas, in file order.
enum RecordAreaT : int {
  kDataTable = 0,
  kDataArea = 1,
  kIDTable = 2,
  kIDArea = 3,
};

struct ExtentT {
  uint32_t Start;  // from the header's first byte
  uint32_t Length;
};

// Where a record area lies; an area the partition does not hold has start 0.
ExtentT RecordArea(const PartitionHeaderT& h, int area) {
  const uint32_t starts[] = {h.RecordDataPointerOffset, h.RecordDataOffset,
                             h.RecordIdPointerOffset, h.RecordIdDataOffset};
  const uint32_t start = starts[area];
  if (start == 0) return {0, 0};
  uint32_t end = h.EndOffset;
  for (int next = area + 1; next <= kIDArea; ++next) {
    if (starts[next] != 0) {
      end = starts[next];
      break;
    }
  }
  // The header check keeps the areas in order; a start beyond the end
  // counts as an empty area.
  return {start, end > start ? end - start : 0};
}

// Where a record's bytes lie (from the header's first byte) and how many
// there are, found through a pointer table of the given width.
int LocateVariable(FileClassT* file, uint32_t headerStart,
                   const PartitionHeaderT& h, int tableArea, uint32_t width,
                   uint32_t record, ExtentT* bytes, StatusCodeT* status) {
  const ExtentT table = RecordArea(h, tableArea);
  const ExtentT area = RecordArea(h, tableArea + 1);
  if (table.Start == 0 || area.Start == 0 ||
      (uint64_t{record} + 1) * width > table.Length) {
    *status = StatusReadError;
    return 0;
  }
  if (!FileCall(file->Seek(headerStart + table.Start + (record - 1) * width),
                StatusSeekError, status)) {
    return 0;
  }
  uint32_t first = 0;
  uint32_t next = 0;
  const bool read = width == 8
                        ? file->ReadOffset(&first) && file->ReadOffset(&next)
                        : file->ReadLong(&first) && file->ReadLong(&next);
  if (!read || first > next || next > area.Length) {
    *status = StatusReadError;
    return 0;
  }
  *bytes = {area.Start + first, next - first};
  return 1;
}

// The same for a table of fixed-length entries.
int LocateFixed(const PartitionHeaderT& h, int tableArea, uint32_t length,
                uint32_t record, ExtentT* bytes, StatusCodeT* status) {
  const ExtentT table = RecordArea(h, tableArea);
  if (length == 0) {
    *bytes = {table.Start, 0};
    return 1;
  }
  if (table.Start == 0 || uint64_t{record} * length > table.Length) {
    *status = StatusReadError;
    return 0;
  }
  *bytes = {table.Start + (record - 1) * length, length};
  return 1;
}

// The layout of one kind of record table: the option bits that choose it,
// the area of the table and the widths of its pointers and entries.
struct TableKindT {
  uint32_t VariableBit;
  uint32_t FixedBit;
  int TableArea;
  uint32_t PointerBytes;
  uint32_t FixedLength;
};

TableKindT DataTable(const PartitionHeaderT& h) {
  return {kOptionVariableRecordData, kOptionFixedRecordData, kDataTable,
          RecordDataPointerBytes(h.Options[0]), h.FixedRecordDataLength};
}

TableKindT IDTable(const PartitionHeaderT& h) {
  return {kOptionVariableRecordID, kOptionFixedRecordID, kIDTable,
          RecordIDPointerBytes(h.Options[0]), h.FixedRecordIdLength};
}

// Where a record's entry of a table lies. 1 found; 0 with the status
// untouched for a record beyond the partition, or with it set.
int LocateRecord(FileClassT* file, uint32_t headerStart,
                 const PartitionHeaderT& h, const TableKindT& kind,
                 uint32_t record, ExtentT* bytes, StatusCodeT* status) {
  const uint32_t flags = h.Options[0];
  if ((flags & (kind.VariableBit | kind.FixedBit)) == 0) {
    *status = StatusNoRecordData;
    return 0;
  }
  if (record == 0 || record > h.RecordCount) return 0;
  if (file == nullptr) {
    *status = StatusReadError;
    return 0;
  }
  return (flags & kind.VariableBit) != 0
             ? LocateVariable(file, headerStart, h, kind.TableArea,
                              kind.PointerBytes, record, bytes, status)
             : LocateFixed(h, kind.TableArea, kind.FixedLength, record, bytes,
                           status);
}

int ReadBytes(FileClassT* file, uint32_t position, unsigned char* buffer,
              uint32_t count, StatusCodeT* status) {
  if (count == 0) return 1;
  return FileCall(file->Seek(position), StatusSeekError, status) &&
         FileCall(file->Read(buffer, count), StatusReadError, status);
}

}  // namespace

int PartitionReaderT::ReadRecordInfo(unsigned char* buffer,
                                     uint32_t bufferLength, uint32_t* bytesRead,
                                     uint32_t record, TarvisDataCursorT* cursor,
                                     StatusCodeT* status) {
  *bytesRead = 0;
  cursor->TotalLength = cursor->Delivered = 0;
  cursor->Done = 1;
  ExtentT data;
  if (!LocateRecord(ReaderFile, HeaderStart, HeaderData, DataTable(HeaderData),
                    record, &data, status)) {
    return 0;
  }
  const uint32_t count = std::min(data.Length, bufferLength);
  if (!ReadBytes(ReaderFile, HeaderStart + data.Start, buffer, count, status)) {
    return 0;
  }
  *bytesRead = count;
  cursor->DataPosition = data.Start;
  cursor->TotalLength = data.Length;
  cursor->Delivered = count;
  cursor->Done = count == data.Length;
  return 1;
}

int PartitionReaderT::ReadMoreRecordInfo(unsigned char* buffer,
                                         uint32_t bufferLength,
                                         uint32_t* bytesRead,
                                         TarvisDataCursorT* cursor,
                                         StatusCodeT* status) {
  *bytesRead = 0;
  if (cursor->Done) return 0;
  // The cursor is the host's: it must describe bytes of this partition.
  if (cursor->Delivered > cursor->TotalLength ||
      cursor->DataPosition < kPartitionHeaderSize ||
      uint64_t{cursor->DataPosition} + cursor->TotalLength >
          HeaderData.EndOffset) {
    *status = StatusMalformedParameter;
    return 0;
  }
  if (ReaderFile == nullptr) {
    *status = StatusReadError;
    return 0;
  }
  const uint32_t count =
      std::min(cursor->TotalLength - cursor->Delivered, bufferLength);
  if (!ReadBytes(ReaderFile,
                 HeaderStart + cursor->DataPosition + cursor->Delivered,
                 buffer, count, status)) {
    return 0;
  }
  *bytesRead = count;
  cursor->Delivered += count;
  cursor->Done = cursor->Delivered == cursor->TotalLength;
  return count > 0;
}

int PartitionReaderT::ReadRecordID(unsigned char* id, uint32_t bufferLength,
                                   uint32_t* length, uint32_t record,
                                   StatusCodeT* status) {
  *length = 0;
  ExtentT bytes;
  if (!LocateRecord(ReaderFile, HeaderStart, HeaderData, IDTable(HeaderData),
                    record, &bytes, status)) {
    return 0;
  }
  // A stored variable-length ID never exceeds what the indexer keeps.
  if ((HeaderData.Options[0] & kOptionVariableRecordID) != 0 &&
      bytes.Length > kMaxStoredRecordIDBytes) {
    *status = StatusReadError;
    return 0;
  }
  const uint32_t count = std::min(bytes.Length, bufferLength);
  if (!ReadBytes(ReaderFile, HeaderStart + bytes.Start, id, count, status)) {
    return 0;
  }
  *length = count;
  return 1;
}

QueryVectorBaseT* PartitionReaderT::FindRecordID(unsigned char* term,
                                                 DeletedRecordSetT* deleted,
                                                 StatusCodeT* status) {
  unsigned char key[1 + kMaximumKeyBytes];
  if (term == nullptr ||
      !HexWordToBinaryWord(key, reinterpret_cast<const char*>(term)) ||
      key[0] == 0) {
    *status = StatusBadKeyLength;
    return nullptr;
  }
  WordIndexInfoT info;
  StatusCodeT s = StatusNoError;
  if (!LookupTerm(key, &info, &s)) {
    if (s < 0) *status = s;
    return nullptr;
  }
  std::unique_ptr<CompressedQueryVectorT> postings(
      NewOrStatus<CompressedQueryVectorT>(status, &s));
  if (postings == nullptr) return nullptr;
  if (s == StatusNoError) postings->HookVectorToIndex(ReaderFile, info, &s);
  if (s < 0) {
    *status = s;
    return nullptr;
  }
  // A one-term query: the processor copies the postings, leaving out the
  // deleted records.
  QueryProcessorT processor(HeaderData.RecordCount, deleted,
                            RecordsBeforeCount);
  processor.InitHeap();
  processor.ProcessVector(postings.get(), &s);
  processor.HeapStart();
  UncompressedQueryVectorT* hits = processor.ProcessCopy(&s);
  if (s < 0) {
    delete hits;
    *status = s;
    return nullptr;
  }
  return hits;
}
