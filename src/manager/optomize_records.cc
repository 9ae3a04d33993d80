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
#include "storage/fileclas.h"

// An output record table and the input table it is read from.
struct IndexOptomizerT::RecordTableT {
  int Ids;               // record IDs, else record data
  SessionFileT* Table;   // the pointers or fixed-length entries
  SessionFileT* Area;    // the bytes of variable-length entries; else null
  uint32_t PointerBytes;
  uint32_t FixedLength;
  uint32_t Filled;       // bytes of the current fixed-length entry
};

namespace {

int WritePointer(FileClassT* table, uint32_t value, uint32_t bytes) {
  return bytes == 8 ? table->WriteOffset(value) : table->WriteLong(value);
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
  const uint32_t variableBit =
      ids ? kOptionVariableRecordID : kOptionVariableRecordData;
  const uint32_t fixedBit = ids ? kOptionFixedRecordID : kOptionFixedRecordData;
  if ((flags & (variableBit | fixedBit)) == 0) return 1;
  SessionFileT* area = ids ? &RecordIdDataFile : &RecordDataFile;
  RecordTableT table = {
      ids,
      ids ? &RecordIdPointerFile : &RecordDataPointerFile,
      (flags & variableBit) != 0 ? area : nullptr,
      ids ? RecordIDPointerBytes(flags) : RecordDataPointerBytes(flags),
      ids ? Header.FixedRecordIdLength : Header.FixedRecordDataLength,
      0};
  if (!CreateSessionFile(table.Table, status) ||
      (table.Area != nullptr && !CreateSessionFile(table.Area, status))) {
    return 0;
  }
  for (uint32_t i = 0; i < InputCount; ++i) {
    const uint32_t records = Inputs[i]->Reader->RecordCount();
    const uint32_t before = Inputs[i]->RecordsBefore;
    for (uint32_t r = 1; r <= records; ++r) {
      if (GetNewRecordNumber(before + r) == 0) continue;
      if (!StoreRecordData(table, i, r, status)) return 0;
    }
  }
  if (table.Area != nullptr &&
      !WritePointer(table.Table->Get(), table.Area->Get()->GetPosition(),
                    table.PointerBytes)) {
    *status = StatusWriteError;
    return 0;
  }
  return 1;
}

int IndexOptomizerT::StoreRecordData(RecordTableT& table, uint32_t input,
                                     uint32_t record, StatusCodeT* status) {
  if (table.Area != nullptr &&
      !WritePointer(table.Table->Get(), table.Area->Get()->GetPosition(),
                    table.PointerBytes)) {
    *status = StatusWriteError;
    return 0;
  }
  table.Filled = 0;
  OptomizeReaderT* reader = Inputs[input]->Reader.get();
  unsigned char* buffer = RecordBuffer.get();
  uint32_t got = 0;
  StatusCodeT s = StatusNoError;
  TarvisDataCursorT cursor = {};
  if (table.Ids) {
    reader->ReadRecordID(buffer, RecordBufferBytes, &got, record, &s);
    cursor.Done = 1;
  } else {
    reader->ReadRecordInfo(buffer, RecordBufferBytes, &got, record, &cursor,
                           &s);
  }
  // A partition that keeps no such table gives its records empty entries.
  if (s == StatusNoRecordData) {
    s = StatusNoError;
    got = 0;
    cursor.Done = 1;
  }
  for (;;) {
    if (s < 0) {
      *status = s;
      return 0;
    }
    if (!StoreMoreRecordData(table, buffer, got)) {
      *status = StatusWriteError;
      return 0;
    }
    if (cursor.Done || got == 0) break;
    reader->ReadMoreRecordInfo(buffer, RecordBufferBytes, &got, &cursor, &s);
  }
  // A fixed-length entry is padded with zeros.
  static const unsigned char kZeros[256] = {};
  while (table.Area == nullptr && table.Filled < table.FixedLength) {
    const uint32_t left = table.FixedLength - table.Filled;
    if (!StoreMoreRecordData(table, kZeros, left < 256 ? left : 256)) {
      *status = StatusWriteError;
      return 0;
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

// ---- Word counts and document weights -------------------------------------------

int IndexOptomizerT::CopyRecordValues(uint32_t input, uint32_t areaOffset,
                                      SessionFileT* out, float* smallest,
                                      float* largest, StatusCodeT* status) {
  const PartitionHeaderT& h = InputHeader(input);
  FileClassT* file = Inputs[input]->File.get();
  FileClassT* to = out->Get();
  const uint32_t before = Inputs[input]->RecordsBefore;
  // Records of a partition that keeps no weights rank with a weight of 1;
  // so they do here, counted as one word.
  static const unsigned char kOne[2][4] = {{0, 0, 0, 1},
                                           {0x3F, 0x80, 0, 0}};
  const bool weights = smallest != nullptr;
  if (h.DocWeightFlag && !file->Seek(Inputs[input]->Position + areaOffset)) {
    *status = StatusSeekError;
    return 0;
  }
  for (uint32_t r = 1; r <= h.RecordCount; ++r) {
    unsigned char value[4];
    if (!h.DocWeightFlag) {
      std::memcpy(value, kOne[weights ? 1 : 0], 4);
    } else if (!file->Read(value, 4)) {
      *status = StatusReadError;
      return 0;
    }
    if (GetNewRecordNumber(before + r) == 0) continue;
    // The bytes are copied as they are: the weight stays exact.
    if (!to->Write(value, 4)) {
      *status = StatusWriteError;
      return 0;
    }
    if (weights) {
      const uint32_t bits = uint32_t{value[0]} << 24 | uint32_t{value[1]} << 16 |
                            uint32_t{value[2]} << 8 | value[3];
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
