// IndexOptomizerT: opening the inputs, the session, the record-number table
// and writing the output partition. The merge of the word index is in
// optomize_words.cc, the record tables and document weights in
// optomize_records.cc.

#include "manager/optomize.h"

#include <cstring>

#include "storage/allocation.h"
#include "storage/file_status.h"
#include "storage/fileclas.h"

// ---- RecordRangeSnapshotT ---------------------------------------------------

int RecordRangeSnapshotT::Take(const DeletedRecordSetT& deleted, uint32_t first,
                               uint32_t count) {
  Bits.reset(NewZeroedArrayOrNull<uint8_t>(count / 8 + 1));
  if (Bits == nullptr) {
    Records = 0;
    return 0;
  }
  FirstRecord = first;
  Records = count;
  for (uint32_t i = 0; i < count; ++i) {
    if (deleted.IsRecordDeleted(first + i)) {
      Bits[i >> 3] = static_cast<uint8_t>(Bits[i >> 3] | (1u << (i & 7)));
    }
  }
  return 1;
}

int RecordRangeSnapshotT::IsRecordDeleted(uint32_t record) const {
  if (record < FirstRecord || record - FirstRecord >= Records) return 0;
  const uint32_t i = record - FirstRecord;
  return (Bits[i >> 3] >> (i & 7)) & 1;
}

// ---- OptomizeReaderT --------------------------------------------------------

int OptomizeReaderT::FirstTerm(StatusCodeT* status) {
  if (!LoadDictionary(status)) return 0;
  if (!HeaderData.WordIndexFlag) return 0;
  if (!Tree.GetNthKey(&Cursor, 1)) {
    *status = StatusGeneralError;
    return 0;
  }
  return 1;
}

int OptomizeReaderT::NextTerm(StatusCodeT* status) {
  const int moved = Tree.NextKey(&Cursor);
  if (moved == 1) return 1;
  if (moved != kBTreeAtLastKey) *status = StatusGeneralError;
  return 0;
}

// ---- Inputs -----------------------------------------------------------------

IndexOptomizerT::IndexOptomizerT() = default;

IndexOptomizerT::~IndexOptomizerT() {
  CloseAllPartitions();
  if (Output != nullptr) {
    Output->Delete();
    delete Output;
  }
}

int IndexOptomizerT::OpenInput(const char* fileName, uint32_t position,
                               StatusCodeT* status) {
  if (SessionStarted || InputCount >= kMaxInputs || fileName == nullptr) {
    *status = StatusMalformedParameter;
    return 0;
  }
  std::unique_ptr<InputT> input(NewOrStatus<InputT>(status));
  if (input == nullptr) return 0;
  // The merge only reads its inputs.
  input->File.reset(
      NewOpenFile(fileName, kFileReadOnly, StatusCannotOpenFile, status));
  if (input->File == nullptr) return 0;
  SetLargestBuffer(input->File.get(), 8192);
  if (!FileCall(input->File->Seek(position), StatusSeekError, status)) {
    return 0;
  }
  input->Reader.reset(NewOrStatus<OptomizeReaderT>(status, InputCount));
  if (input->Reader == nullptr) return 0;
  StatusCodeT s = StatusNoError;
  if (!input->Reader->ReadHeader(input->File.get(), &s)) {
    *status = s < 0 ? s : StatusReadError;
    return 0;
  }
  const uint64_t records =
      uint64_t{MergedRecords} + input->Reader->RecordCount();
  if (records > UINT32_MAX) {
    *status = StatusMalformedParameter;
    return 0;
  }
  input->Position = position;
  input->RecordsBefore = MergedRecords;
  MergedRecords = static_cast<uint32_t>(records);
  Inputs[InputCount++] = std::move(input);
  return 1;
}

int IndexOptomizerT::LoadIndexFile(const char* indexFile, uint32_t position,
                                   uint32_t count, StatusCodeT* status) {
  if (count > kMaxInputs - InputCount) {
    *status = StatusMalformedParameter;
    return 0;
  }
  for (uint32_t k = 0; k < count; ++k) {
    if (!OpenInput(indexFile, position, status)) return 0;
    const uint64_t next =
        uint64_t{position} + Inputs[InputCount - 1]->Reader->PartitionLength();
    if (next > UINT32_MAX) {
      *status = StatusNotIndexFile;
      return 0;
    }
    position = static_cast<uint32_t>(next);
  }
  return 1;
}

int IndexOptomizerT::AddIndexPartition(const char* partitionFile,
                                       uint32_t position, StatusCodeT* status) {
  return OpenInput(partitionFile, position, status);
}

void IndexOptomizerT::CloseAllPartitions() {
  for (uint32_t i = 0; i < InputCount; ++i) Inputs[i].reset();
  InputCount = 0;
  HeapSize = 0;
}

FileClassT* IndexOptomizerT::GetOptomizedIndexFile() {
  FileClassT* output = Output;
  Output = nullptr;
  return output;
}

// ---- The session ------------------------------------------------------------

int IndexOptomizerT::StartOptomizationSession(const uint32_t* options,
                                              const DeletedRecordSetT* deleted,
                                              uint32_t firstRecord,
                                              StatusCodeT* status) {
  auto fail = [&](StatusCodeT code) {
    CloseAllPartitions();
    *status = code;
    return 0;
  };
  if (SessionStarted || !ConstructedCorrectly) {
    return fail(SessionStarted ? StatusMalformedParameter
                               : StatusNotEnoughMemory);
  }
  if (firstRecord == 0 ||
      uint64_t{firstRecord} - 1 + MergedRecords > UINT32_MAX) {
    return fail(StatusMalformedParameter);
  }
  if (options != nullptr) {
    std::memcpy(Options, options, sizeof(Options));
  } else {
    std::memset(Options, 0, sizeof(Options));
  }
  Deleted = deleted;
  FirstRecord = firstRecord;
  Mode = InputCount > 0 ? InputHeader(0).IndexMode : 0;
  for (uint32_t i = 0; i < InputCount; ++i) {
    const PartitionHeaderT& h = InputHeader(i);
    if (h.IndexMode != Mode) return fail(StatusNotIndexFile);
    if (h.WordIndexFlag) {
      Inputs[i]->Postings.reset(NewOrNull<IndexDecompressorT>());
      if (Inputs[i]->Postings == nullptr) return fail(StatusNotEnoughMemory);
    }
  }
  BlockBase.reset(NewArrayOrNull<uint32_t>(MergedRecords / 256 + 1));
  PairCount.reset(NewArrayOrNull<uint8_t>(MergedRecords / 2 + 1));
  DroppedBits.reset(NewZeroedArrayOrNull<uint8_t>(MergedRecords / 8 + 1));
  if (BlockBase == nullptr || PairCount == nullptr || DroppedBits == nullptr) {
    return fail(StatusNotEnoughMemory);
  }
  SessionStarted = 1;
  return 1;
}

int IndexOptomizerT::SetUpRecordNumCompressorTable(StatusCodeT* status) {
  if (!SessionStarted) {
    *status = StatusMalformedParameter;
    return 0;
  }
  uint32_t kept = 0;
  uint32_t keptInBlock = 0;
  for (uint32_t i = 0; i < MergedRecords; ++i) {
    if ((i & 255) == 0) {
      BlockBase[i >> 8] = kept;
      keptInBlock = 0;
    }
    const uint8_t mask = static_cast<uint8_t>(1u << (i & 7));
    if (Deleted != nullptr && Deleted->IsRecordDeleted(FirstRecord + i)) {
      DroppedBits[i >> 3] = static_cast<uint8_t>(DroppedBits[i >> 3] | mask);
    } else {
      DroppedBits[i >> 3] = static_cast<uint8_t>(DroppedBits[i >> 3] & ~mask);
      ++kept;
      ++keptInBlock;
    }
    // At most 255 kept records up to the first of a pair within a block.
    if ((i & 1) == 0) PairCount[i >> 1] = static_cast<uint8_t>(keptInBlock);
  }
  OutputRecords = kept;
  return 1;
}

// ---- The merge --------------------------------------------------------------

int IndexOptomizerT::Optomize(StatusCodeT* status) {
  // One optimiser writes one partition.
  if (Optomized) {
    *status = StatusMalformedParameter;
    return 0;
  }
  Optomized = 1;
  if (!SetUpRecordNumCompressorTable(status)) return 0;
  if (OutputRecords == 0) {
    *status = StatusNoDataAfterOptomization;
    return 1;
  }
  Header = PartitionHeaderT();
  Header.IndexMode = static_cast<uint16_t>(Mode);
  Header.RecordCount = OutputRecords;
  Header.FixedRecordDataLength = InputHeader(0).FixedRecordDataLength;
  Header.FixedRecordIdLength = InputHeader(0).FixedRecordIdLength;
  std::memcpy(Header.Options, Options, sizeof(Header.Options));

  bool words = false;
  bool weights = false;
  for (uint32_t i = 0; i < InputCount; ++i) {
    words = words || InputHeader(i).WordIndexFlag;
    weights = weights || InputHeader(i).DocWeightFlag;
  }
  if (words) {
    if (!StartWordIndex(status) || !OptomizeWordIndex(status)) return 0;
    if (!FileCall(EndWordIndex(), StatusWriteError, status)) return 0;
  }
  if (!OptomizeRecordData(status) || !OptomizeRecordIDs(status)) return 0;
  if (weights && !CompressDocumentWeights(status)) return 0;
  return WriteOutput(status);
}

int IndexOptomizerT::WriteOutput(StatusCodeT* status) {
  Output = NewTemporaryFile(status);
  if (Output == nullptr) return 0;
  SetLargestBuffer(Output, 8192);
  return FileCall(WriteBlankHeader(Output) && CopyDataToDataFile() &&
                      WriteFullHeader() && Output->Flush(),
                  StatusWriteError, status);
}
