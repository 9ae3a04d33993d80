// IndexManagerT and record data: reading a record's data and ID by global
// record number, and finding a record by its indexed ID. The manager maps the
// record number to its partition; the partition's reader does the reading.

#include <cstring>
#include <memory>

#include "manager/index_manager.h"
#include "manager/record_deleter.h"
#include "query/hex_words.h"
#include "query/partition_reader.h"
#include "query/query_vector.h"

namespace {

constexpr uint32_t kRecordDataOptions =
    kOptionVariableRecordData | kOptionFixedRecordData;
constexpr uint32_t kRecordIDOptions =
    kOptionVariableRecordID | kOptionFixedRecordID;

// The longest ID text a lookup takes: "0x" and two digits for each of the
// at most 120 bytes an indexed ID holds.
constexpr size_t kMaxHexIDText = 242;

}  // namespace

void IndexManagerT::GetRecordInfo(unsigned char* buffer, uint32_t bufferLength,
                                  uint32_t* bytesRead, uint32_t record,
                                  TarvisDataCursorT* cursor,
                                  StatusCodeT* status) {
  *bytesRead = 0;
  if (!RequireLoadedPartitions(status)) return;
  if ((Index.Header().Options() & kRecordDataOptions) == 0) {
    *status = StatusNoRecordData;
    return;
  }
  uint32_t partition = 0;
  uint32_t local = 0;
  if (cursor == nullptr ||
      !Loaded.FindPartitionOfRecord(record, &partition, &local)) {
    *status = StatusMalformedParameter;
    return;
  }
  // A cursor whose read fails is done: a further read finds nothing.
  *cursor = TarvisDataCursorT{partition, record, 0, 0, 0, 1};
  Loaded.Reader(partition)->ReadRecordInfo(buffer, bufferLength, bytesRead,
                                           local, cursor, status);
}

void IndexManagerT::GetMoreRecordInfo(unsigned char* buffer,
                                      uint32_t bufferLength,
                                      uint32_t* bytesRead,
                                      TarvisDataCursorT* cursor,
                                      StatusCodeT* status) {
  *bytesRead = 0;
  if (!RequireLoadedPartitions(status)) return;
  if ((Index.Header().Options() & kRecordDataOptions) == 0) {
    *status = StatusNoRecordData;
    return;
  }
  if (cursor == nullptr || cursor->PartitionIndex >= Loaded.PartitionCount()) {
    *status = StatusMalformedParameter;
    return;
  }
  Loaded.Reader(cursor->PartitionIndex)
      ->ReadMoreRecordInfo(buffer, bufferLength, bytesRead, cursor, status);
}

void IndexManagerT::GetRecordID(unsigned char* id, uint32_t bufferLength,
                                uint32_t* length, uint32_t record,
                                StatusCodeT* status) {
  *length = 0;
  if (Index.IsOpen() && (Index.Header().Options() & kRecordIDOptions) == 0) {
    *status = StatusNoRecordData;
    return;
  }
  if (!RequireLoadedPartitions(status)) return;
  uint32_t partition = 0;
  uint32_t local = 0;
  if (!Loaded.FindPartitionOfRecord(record, &partition, &local)) {
    *status = StatusMalformedParameter;
    return;
  }
  Loaded.Reader(partition)->ReadRecordID(id, bufferLength, length, local,
                                         status);
}

void IndexManagerT::FindRecordID(const char* hexId, uint32_t* recordNumber,
                                 StatusCodeT* status) {
  *recordNumber = 0;
  if (!RequireLoadedPartitions(status)) return;
  const char* text = hexId != nullptr ? std::strchr(hexId, '0') : nullptr;
  if (text == nullptr) {
    *status = StatusHexTermExpected;
    return;
  }
  const size_t length = strnlen(text, kMaxHexIDText + 1);
  if (length > kMaxHexIDText) {
    *status = StatusBadKeyLength;
    return;
  }
  if (length < 2 || (text[1] != 'x' && text[1] != 'X')) {
    *status = StatusHexTermExpected;
    return;
  }
  const char* digits = text + 2;
  const size_t digitCount = length - 2;
  for (size_t i = 0; i < digitCount; ++i) {
    if (HexDigitValue(static_cast<unsigned char>(digits[i])) < 0) {
      *status = StatusHexTermExpected;
      return;
    }
  }
  if (digitCount % 2 != 0) {
    *status = StatusHexTermExpected;
    return;
  }
  if (digitCount == 0) {
    *status = StatusBadKeyLength;
    return;
  }
  // The indexed form of an ID is "m" followed by its bytes.
  char term[4 + kMaxHexIDText];
  std::memcpy(term, "0x6d", 4);
  std::memcpy(term + 4, digits, digitCount + 1);

  // The newest partition holding the ID decides.
  for (uint32_t i = Loaded.PartitionCount(); i-- > 0;) {
    PartitionReaderT* reader = Loaded.Reader(i);
    StatusCodeT s = StatusNoError;
    std::unique_ptr<QueryVectorBaseT> hits(reader->FindRecordID(
        reinterpret_cast<unsigned char*>(term), Index.Deleted(), &s));
    if (s < 0) {
      *status = s;
      return;
    }
    if (hits == nullptr || !hits->IsPositioned()) continue;
    // The highest-numbered record holding it: the vector's last hit.
    do {
      hits->NextHit(&s);
    } while (s == StatusNoError);
    if (s < 0) {
      *status = s;
      return;
    }
    *recordNumber = hits->CurrentRecord() + reader->RecordsBefore();
    return;
  }
}
