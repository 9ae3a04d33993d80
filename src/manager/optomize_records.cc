// IndexOptomizerT: what the kept records own besides their postings. Their
// record data and record IDs are written as an indexing session writes
// them: one entry per record in each table (a pointer into the area for
// variable lengths, closed by a last pointer at the area's end; the fixed
// length of bytes otherwise). Their word counts and exact document weights
// are copied from the inputs' plain tables and compressed again on the
// scale of the smallest and largest weight kept, so that a record scores
// the same before and after the merge.

#include <cstring>
#include <limits>

#include "format/option_flags.h"
#include "manager/optomize.h"
#include "storage/file_status.h"
#include "storage/fileclas.h"

// An output record table.
struct IndexOptomizerT::RecordTableT {
  int Ids;               // record IDs, else record data
  uint32_t VariableBit;  // the option bits of the two layouts
  uint32_t FixedBit;
  SessionFileT* Table;  // the pointers or fixed-length entries
  SessionFileT* Area;   // the bytes of variable-length entries; else null
  uint32_t PointerBytes;
  uint32_t FixedLength;
  uint32_t Filled;  // bytes of the current fixed-length entry
};

namespace {

int WritePointer(FileClassT* table, uint32_t value, uint32_t bytes) {
  return bytes == 8 ? table->WriteOffset(value) : table->WriteLong(value);
}

int ReadPointer(FileClassT* table, uint32_t* value, uint32_t bytes) {
  return bytes == 8 ? table->ReadOffset(value) : table->ReadLong(value);
}

struct ExtentT {
  uint32_t Start;  // from the header's first byte; 0 when absent
  uint32_t Length;
};

// Where the record data (ids 0) or record ID (ids 1) table and area of a
// partition lie. The four record areas follow each other in the order data
// table, data area, ID table, ID area; each ends where the next present one
// starts, or at the partition's end.
void RecordExtents(const PartitionHeaderT& h, int ids, ExtentT* table,
                   ExtentT* area) {
  const uint32_t starts[] = {h.RecordDataPointerOffset, h.RecordDataOffset,
                             h.RecordIdPointerOffset, h.RecordIdDataOffset};
  ExtentT* out[] = {table, area};
  for (int k = 2 * ids, n = 0; n < 2; ++k, ++n) {
    uint32_t end = h.EndOffset;
    for (int next = k + 1; next < 4; ++next) {
      if (starts[next] != 0) {
        end = starts[next];
        break;
      }
    }
    *out[n] = {starts[k],
               starts[k] != 0 && end > starts[k] ? end - starts[k] : 0};
  }
}

}  // namespace

int IndexOptomizerT::OptomizeRecordData(StatusCodeT* status) {
  return CopyRecordTable(0, status);
}

int IndexOptomizerT::OptomizeRecordIDs(StatusCodeT* status) {
  return CopyRecordTable(1, status);
}

int IndexOptomizerT::CopyRecordTable(int ids, StatusCodeT* status) {
  const uint32_t flags = Options[0];
  RecordTableT table = {};
  table.Ids = ids;
  table.VariableBit = ids ? kOptionVariableRecordID : kOptionVariableRecordData;
  table.FixedBit = ids ? kOptionFixedRecordID : kOptionFixedRecordData;
  if ((flags & (table.VariableBit | table.FixedBit)) == 0) return 1;
  table.Table = ids ? &RecordIdPointerFile : &RecordDataPointerFile;
  if ((flags & table.VariableBit) != 0) {
    table.Area = ids ? &RecordIdDataFile : &RecordDataFile;
  }
  table.PointerBytes =
      ids ? RecordIDPointerBytes(flags) : RecordDataPointerBytes(flags);
  table.FixedLength =
      ids ? Header.FixedRecordIdLength : Header.FixedRecordDataLength;
  if (!CreateSessionFile(table.Table, status) ||
      (table.Area != nullptr && !CreateSessionFile(table.Area, status))) {
    return 0;
  }
  for (uint32_t i = 0; i < InputCount; ++i) {
    if (!CopyInputRecords(table, i, status)) return 0;
  }
  if (table.Area != nullptr &&
      !FileCall(
          WritePointer(table.Table->Get(), table.Area->Get()->GetPosition(),
                       table.PointerBytes),
          StatusWriteError, status)) {
    return 0;
  }
  return 1;
}

// The input's table and area are each read front to back through a view of
// their own, so that a long table costs no more than its bytes.
int IndexOptomizerT::CopyInputRecords(RecordTableT& table, uint32_t input,
                                      StatusCodeT* status) {
  const PartitionHeaderT& h = InputHeader(input);
  const InputT& in = *Inputs[input];
  const uint32_t flags = h.Options[0];
  const bool variable = (flags & table.VariableBit) != 0;
  const uint32_t width = !variable   ? 0
                         : table.Ids ? RecordIDPointerBytes(flags)
                                     : RecordDataPointerBytes(flags);
  const uint32_t fixedLength =
      table.Ids ? h.FixedRecordIdLength : h.FixedRecordDataLength;
  const uint32_t records = h.RecordCount;
  // A partition that keeps no such table gives its records empty entries.
  if (!variable && (flags & table.FixedBit) == 0) {
    for (uint32_t r = 1; r <= records; ++r) {
      if (GetNewRecordNumber(in.RecordsBefore + r) != 0 &&
          !StoreRecordData(table, nullptr, 0, status)) {
        return 0;
      }
    }
    return 1;
  }
  ExtentT tableExtent;
  ExtentT areaExtent;
  RecordExtents(h, table.Ids, &tableExtent, &areaExtent);
  const uint64_t tableBytes = variable ? (uint64_t{records} + 1) * width
                                       : uint64_t{records} * fixedLength;
  if ((tableBytes > 0 && tableExtent.Start == 0) ||
      tableBytes > tableExtent.Length || (variable && areaExtent.Start == 0)) {
    *status = StatusReadError;
    return 0;
  }
  FileClassT tableView(in.File.get(), kRecordBufferBytes);
  FileClassT areaView(in.File.get(), kRecordBufferBytes);
  if (!tableView.IsValid() || !areaView.IsValid()) {
    *status = StatusNotEnoughMemory;
    return 0;
  }
  const uint32_t areaBase = in.Position + areaExtent.Start;
  uint32_t next = 0;
  if (!FileCall(tableView.Seek(in.Position + tableExtent.Start) &&
                    areaView.Seek(areaBase) &&
                    (!variable || ReadPointer(&tableView, &next, width)),
                StatusReadError, status)) {
    return 0;
  }
  for (uint32_t r = 1; r <= records; ++r) {
    uint32_t length = fixedLength;
    if (variable) {
      const uint32_t start = next;
      // Pointers that leave the area, or an ID longer than any kept, are
      // damage.
      if (!ReadPointer(&tableView, &next, width) || next < start ||
          next > areaExtent.Length ||
          (table.Ids && next - start > kMaxStoredRecordIDBytes) ||
          (areaView.GetPosition() != areaBase + start &&
           !areaView.Seek(areaBase + start))) {
        *status = StatusReadError;
        return 0;
      }
      length = next - start;
    }
    FileClassT* source = variable ? &areaView : &tableView;
    if (GetNewRecordNumber(in.RecordsBefore + r) != 0) {
      if (!StoreRecordData(table, source, length, status)) return 0;
    } else if (!FileCall(source->Seek(source->GetPosition() + length),
                         StatusReadError, status)) {
      return 0;
    }
  }
  return 1;
}

int IndexOptomizerT::StoreRecordData(RecordTableT& table, FileClassT* source,
                                     uint32_t length, StatusCodeT* status) {
  if (table.Area != nullptr &&
      !FileCall(
          WritePointer(table.Table->Get(), table.Area->Get()->GetPosition(),
                       table.PointerBytes),
          StatusWriteError, status)) {
    return 0;
  }
  table.Filled = 0;
  while (length > 0) {
    const uint32_t piece =
        length < kRecordBufferBytes ? length : kRecordBufferBytes;
    if (!FileCall(source->Read(RecordBuffer, piece), StatusReadError, status) ||
        !FileCall(StoreMoreRecordData(table, RecordBuffer, piece),
                  StatusWriteError, status)) {
      return 0;
    }
    length -= piece;
  }
  // A fixed-length entry is padded with zeros.
  if (table.Area == nullptr && table.Filled < table.FixedLength) {
    std::memset(RecordBuffer, 0, kRecordBufferBytes);
    while (table.Filled < table.FixedLength) {
      const uint32_t left = table.FixedLength - table.Filled;
      if (!FileCall(StoreMoreRecordData(
                        table, RecordBuffer,
                        left < kRecordBufferBytes ? left : kRecordBufferBytes),
                    StatusWriteError, status)) {
        return 0;
      }
    }
  }
  return 1;
}

int IndexOptomizerT::StoreMoreRecordData(RecordTableT& table,
                                         const unsigned char* bytes,
                                         uint32_t count) {
  if (count == 0) return 1;
  if (table.Area != nullptr) return table.Area->Get()->Write(bytes, count);
  const uint32_t room = table.FixedLength - table.Filled;
  const uint32_t taken = count < room ? count : room;
  table.Filled += taken;
  return taken == 0 || table.Table->Get()->Write(bytes, taken);
}

// ---- Word counts and document weights ---------------------------------------

int IndexOptomizerT::CopyRecordValues(uint32_t input, uint32_t areaOffset,
                                      SessionFileT* out, float* smallest,
                                      float* largest, StatusCodeT* status) {
  const PartitionHeaderT& h = InputHeader(input);
  FileClassT* file = Inputs[input]->File.get();
  FileClassT* to = out->Get();
  const uint32_t before = Inputs[input]->RecordsBefore;
  // Records of a partition that keeps no weights rank with a weight of 1;
  // so they do here, counted as one word.
  static const unsigned char kOne[2][4] = {{0, 0, 0, 1}, {0x3F, 0x80, 0, 0}};
  const bool weights = smallest != nullptr;
  if (h.DocWeightFlag &&
      !FileCall(file->Seek(Inputs[input]->Position + areaOffset),
                StatusSeekError, status)) {
    return 0;
  }
  for (uint32_t r = 1; r <= h.RecordCount; ++r) {
    unsigned char value[4];
    if (!h.DocWeightFlag) {
      std::memcpy(value, kOne[weights ? 1 : 0], 4);
    } else if (!FileCall(file->Read(value, 4), StatusReadError, status)) {
      return 0;
    }
    if (GetNewRecordNumber(before + r) == 0) continue;
    // The bytes are copied as they are: the weight stays exact.
    if (!FileCall(to->Write(value, 4), StatusWriteError, status)) return 0;
    if (weights) {
      const uint32_t bits = uint32_t{value[0]} << 24 |
                            uint32_t{value[1]} << 16 | uint32_t{value[2]} << 8 |
                            value[3];
      float weight;
      std::memcpy(&weight, &bits, sizeof(weight));
      if (weight < *smallest) *smallest = weight;
      if (weight > *largest) *largest = weight;
    }
  }
  return 1;
}

int IndexOptomizerT::OptomizeWordCounts(StatusCodeT* status) {
  if (!CreateSessionFile(&WordCountFile, status)) return 0;
  for (uint32_t i = 0; i < InputCount; ++i) {
    if (!CopyRecordValues(i, InputHeader(i).WordCountOffset, &WordCountFile,
                          nullptr, nullptr, status)) {
      return 0;
    }
  }
  return 1;
}

int IndexOptomizerT::OptomizeDocumentWeightTable(float* smallest,
                                                 float* largest,
                                                 StatusCodeT* status) {
  if (!CreateSessionFile(&WeightFile, status)) return 0;
  for (uint32_t i = 0; i < InputCount; ++i) {
    if (!CopyRecordValues(i, InputHeader(i).WeightTableOffset, &WeightFile,
                          smallest, largest, status)) {
      return 0;
    }
  }
  return 1;
}

int IndexOptomizerT::CompressDocumentWeights(StatusCodeT* status) {
  // The extremes of the kept records, as a session finds them.
  float smallest = std::numeric_limits<float>::max();
  float largest = -std::numeric_limits<float>::max();
  if (!OptomizeWordCounts(status) ||
      !OptomizeDocumentWeightTable(&smallest, &largest, status) ||
      !CreateSessionFile(&CompressedWeightFile, status)) {
    return 0;
  }
  float ratio = 0;
  if (!CompressTermFrequencyFile(WordCountFile.Get(), WeightFile.Get(),
                                 smallest, largest, ratio, status) ||
      DocWeightEntries != OutputRecords) {
    if (*status >= 0) *status = StatusWriteError;
    return 0;
  }
  Header.DocWeightFlag = 1;
  return 1;
}
