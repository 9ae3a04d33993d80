// IndexerT: an indexing session.

#include "indexing/indexer.h"

#include <algorithm>
#include <cstring>

#include "indexing/doc_weights.h"
#include "indexing/merge2.h"
#include "indexing/runbld.h"
#include "indexing/work_memory.h"
#include "storage/allocation.h"
#include "storage/file_status.h"
#include "storage/fileclas.h"
#include "storage/run_file.h"

namespace {

// Removes a file from the disk and destroys its object; 1 when the removal
// succeeded.
int DiscardFile(FileClassT*& file) {
  if (file == nullptr) return 1;
  int removed = file->Delete();
  delete file;
  file = nullptr;
  return removed;
}

// Writes exactly size bytes: the first length of data, then zeros. Never
// reads beyond length.
int WritePadded(FileClassT* file, const unsigned char* data,
                unsigned long length, uint32_t size) {
  static const unsigned char kZeros[256] = {};
  uint32_t given = static_cast<uint32_t>(std::min<unsigned long>(length, size));
  if (given > 0 && !file->Write(data, given)) return 0;
  for (uint32_t left = size - given; left > 0;) {
    uint32_t n = std::min<uint32_t>(left, sizeof(kZeros));
    if (!file->Write(kZeros, n)) return 0;
    left -= n;
  }
  return 1;
}

}  // namespace

IndexingOptionsT MakeIndexingOptions(uint32_t indexMode,
                                     const uint32_t* optionBlock,
                                     uint32_t fixedRecordDataLength,
                                     uint32_t fixedRecordIDLength) {
  IndexingOptionsT options = {};
  options.IndexMode = indexMode;
  options.WeightMethod = WeightMethodFromOptions(optionBlock[0]);
  options.FixedRecordDataLength = fixedRecordDataLength;
  std::memcpy(options.OptionBlock, optionBlock, sizeof(options.OptionBlock));
  options.FixedRecordIDLength = fixedRecordIDLength;
  return options;
}

IndexerT::IndexerT(StatusCodeT* status) {
  DocWeights = NewOrStatus<DocWeightCalculatorT>(
      status, DocWeightCalculatorT::kDefaultCapacity, status);
  if (!Compressor.ConstructedCorrectly) *status = StatusNotEnoughMemory;
}

IndexerT::~IndexerT() {
  DiscardSession();
  if (PartitionFile != nullptr && OwnsPartitionFile) {
    // A partition the host named is the host's; a temporary one goes.
    if (FinalNameSet) {
      PartitionFile->Close();
      delete PartitionFile;
      PartitionFile = nullptr;
    } else {
      DiscardFile(PartitionFile);
    }
  }
  delete DocWeights;
  for (unsigned char*& buffer : WorkBuffer) delete[] buffer;
  ValidityMarker = 0;
}

void IndexerT::DiscardSession() {
  if (DocWeights != nullptr) DocWeights->SetOutputFiles(nullptr, nullptr);
  delete RunBuilder;
  RunBuilder = nullptr;
  delete Merger;
  Merger = nullptr;
  if (RunFile != nullptr) {
    RunFile->Delete();
    delete RunFile;
    RunFile = nullptr;
  }
  for (FileClassT** file :
       {&WeightFileA, &WeightFileB, &TempIndexFile, &RecordDataPointers,
        &RecordData, &RecordIDPointers, &RecordIDs}) {
    DiscardFile(*file);
  }
}

void IndexerT::StartTextIndexingSession(const IndexingOptionsT* options,
                                        StatusCodeT* status) {
  if (Started) {
    *status = StatusGeneralError;
    return;
  }
  if (DocWeights == nullptr || !Compressor.ConstructedCorrectly) {
    *status = StatusNotEnoughMemory;
    return;
  }
  if (options->IndexMode < RECORD_MODE || options->IndexMode > IDF_MODE) {
    *status = StatusMalformedParameter;
    return;
  }
  if (!IndexingMemoryIsValid(options->WorkMemory)) {
    *status = StatusMalformedParameter;
    return;
  }
  Options = *options;
  const WorkMemoryPlanT plan = PlanWorkMemory(Options.WorkMemory);
  const uint32_t sizes[3] = {plan.PostingBytes, plan.WordStoreBytes,
                             plan.TableAreaBytes};
  for (int i = 0; i < 3; ++i) {
    // Left uninitialised: pages the session never reaches stay untouched.
    if (WorkBuffer[i] == nullptr || WorkBufferSize[i] != sizes[i]) {
      delete[] WorkBuffer[i];
      WorkBuffer[i] = NewArrayOrNull<unsigned char>(sizes[i]);
      WorkBufferSize[i] = WorkBuffer[i] != nullptr ? sizes[i] : 0;
    }
    if (WorkBuffer[i] == nullptr) {
      *status = StatusNotEnoughMemory;
      return;
    }
  }
  Records = 1;
  RecordTouched = 0;
  RecordHasData = RecordHasID = 0;
  WordCount = 0;
  DocWeights->Reset();

  StatusCodeT s = StatusNoError;
  RunBuilder = NewOrNull<RunBuilderT>(
      plan.TableSlots, static_cast<int>(Options.IndexMode), WorkBuffer[0],
      sizes[0], WorkBuffer[1], sizes[1], WorkBuffer[2], sizes[2],
      plan.WideLinks);
  Merger = NewOrNull<MergeT>(WorkBuffer[0], sizes[0], WorkBuffer[1], sizes[1],
                             WorkBuffer[2], sizes[2]);
  RunFile = NewOrNull<MFileT>();
  if (RunBuilder == nullptr || Merger == nullptr || RunFile == nullptr) {
    s = StatusNotEnoughMemory;
  } else if (RunFile->Open(kRunFileCreate, nullptr, kRunWriteStreamBytes) != 1) {
    s = StatusGeneralError;
  }
  if (s == StatusNoError) {
    RunBuilder->SetOutput(RunFile);
    if (HasWeightFiles()) {
      WeightFileA = NewTemporaryFile(&s);
      if (s == StatusNoError) WeightFileB = NewTemporaryFile(&s);
      DocWeights->SetOutputFiles(WeightFileA, WeightFileB);
    }
  }
  const uint32_t flags = Flags();
  struct {
    bool wanted;
    FileClassT** file;
  } const sideFiles[] = {
      {(flags & (kOptionVariableRecordData | kOptionFixedRecordData)) != 0,
       &RecordDataPointers},
      {(flags & kOptionVariableRecordData) != 0, &RecordData},
      {(flags & (kOptionVariableRecordID | kOptionFixedRecordID)) != 0,
       &RecordIDPointers},
      {(flags & kOptionVariableRecordID) != 0, &RecordIDs},
  };
  for (const auto& side : sideFiles) {
    if (s == StatusNoError && side.wanted) *side.file = NewTemporaryFile(&s);
  }
  if (s < 0) {
    DiscardSession();
    *status = s;
    return;
  }
  Started = 1;
}

int IndexerT::SessionReady(StatusCodeT* status) const {
  if (Started && !Ended) return 1;
  *status = StatusNotInitializedForIndexing;
  return 0;
}

int IndexerT::FeedRunBuilder(const unsigned char* bytes, uint8_t length,
                             uint32_t flags, const WordTypeT* tags,
                             StatusCodeT* status) {
  int result = RunBuilder->IndexWord(bytes, length, flags, nullptr);
  StatusCodeT s = StatusNoError;
  if (result == kRunBuilderNoSlot) {
    RunBuilder->EndIndexRun(tags, &s);
    if (s < 0) {
      *status = s;
      return result;
    }
    result = RunBuilder->IndexWord(bytes, length, flags, nullptr);
    if (result == kRunBuilderNoSlot) {
      *status = StatusGeneralError;
      return result;
    }
  }
  if (result == kRunBuilderFull) {
    RunBuilder->EndIndexRun(tags, &s);
    if (s < 0) *status = s;
  } else if (result != kRunBuilderStored) {
    *status = StatusGeneralError;
  }
  return result;
}

void IndexerT::IndexWord(const WordTypeT* word, StatusCodeT* status) {
  if (!SessionReady(status) || word->WordLength == 0) return;
  IndexWordSpecial(word, 0, 0, status);
}

int IndexerT::IndexWordSpecial(const WordTypeT* word, unsigned long flags,
                               unsigned long /*value*/, StatusCodeT* status) {
  if (!SessionReady(status)) return 0;
  const uint32_t runFlags =
      static_cast<uint32_t>(flags) & (kIndexOncePerRun | kIndexNoPosition);
  if (runFlags == 0 && HasWeightFiles()) {
    DocWeights->AddWordForDocumentWeight(word->Word, word->WordLength);
  }
  RecordTouched = 1;
  int result =
      FeedRunBuilder(word->Word, word->WordLength, runFlags, word, status);
  if (result == kRunBuilderStored || result == kRunBuilderFull) ++WordCount;
  return result;
}

void IndexerT::StartField(const unsigned char* name, unsigned long length,
                          StatusCodeT* status) {
  if (!SessionReady(status) || length == 0 || length > kMaxFieldName) return;
  std::memcpy(FieldWord.Word, name, length);
  FieldWord.WordLength = static_cast<uint8_t>(length);
  RecordTouched = 1;
  FeedRunBuilder(FieldWord.Word, FieldWord.WordLength, 0, &FieldWord, status);
}

void IndexerT::EndField(const unsigned char* name, unsigned long length,
                        StatusCodeT* status) {
  StartField(name, length, status);
}

void IndexerT::WeighRecord(StatusCodeT* status) {
  if (HasWeightFiles()) {
    DocWeights->CalculateDocumentWeight(
        nullptr, nullptr, static_cast<int>(Options.WeightMethod), status);
  }
}

void IndexerT::IncrementRecord(const WordTypeT* word, StatusCodeT* status) {
  if (!SessionReady(status)) return;
  StatusCodeT s = StatusNoError;
  CompleteRecordEntries(&s);
  if (s == StatusNoError) WeighRecord(&s);
  if (s == StatusNoError) RunBuilder->IncrementRecord(word, &s);
  if (s < 0) {
    *status = s;
    return;
  }
  ++Records;
  RecordTouched = 0;
}

void IndexerT::CompleteRecordEntries(StatusCodeT* status) {
  StatusCodeT s = StatusNoError;
  if (RecordDataPointers != nullptr && !RecordHasData) {
    StoreEntry(RecordDataPointers, RecordData, Options.FixedRecordDataLength,
               DataPointersAreOffsets(), nullptr, 0, &s);
  }
  if (s == StatusNoError && RecordIDPointers != nullptr && !RecordHasID) {
    StoreEntry(RecordIDPointers, RecordIDs, Options.FixedRecordIDLength,
               IDPointersAreOffsets(), nullptr, 0, &s);
  }
  RecordHasData = RecordHasID = 0;
  if (s < 0) *status = s;
}

void IndexerT::WriteRecordPointer(FileClassT* table, uint32_t value,
                                  int asOffset, StatusCodeT* status) {
  FileCall(asOffset ? table->WriteOffset(value) : table->WriteLong(value),
           StatusWriteError, status);
}

void IndexerT::StoreEntry(FileClassT* table, FileClassT* area,
                          uint32_t fixedLength, int asOffset,
                          const unsigned char* bytes, unsigned long length,
                          StatusCodeT* status) {
  if (area == nullptr) {
    FileCall(WritePadded(table, bytes, length, fixedLength), StatusWriteError,
             status);
    return;
  }
  StatusCodeT s = StatusNoError;
  WriteRecordPointer(table, area->GetPosition(), asOffset, &s);
  if (s == StatusNoError) AppendToArea(area, bytes, length, &s);
  if (s < 0) *status = s;
}

void IndexerT::AppendToArea(FileClassT* area, const unsigned char* bytes,
                            unsigned long length, StatusCodeT* status) {
  const int written =
      length <= UINT32_MAX &&
      (length == 0 || area->Write(bytes, static_cast<uint32_t>(length)));
  FileCall(written, StatusWriteError, status);
}

void IndexerT::StoreRecordData(const unsigned char* data, unsigned long length,
                               StatusCodeT* status) {
  if (!SessionReady(status) || RecordDataPointers == nullptr) return;
  if (RecordHasData) {
    StoreMoreRecordData(data, length, status);
    return;
  }
  RecordTouched = 1;
  RecordHasData = 1;
  FixedEntryStart = RecordDataPointers->GetPosition();
  FixedEntryFilled = static_cast<uint32_t>(
      std::min<unsigned long>(length, Options.FixedRecordDataLength));
  StoreEntry(RecordDataPointers, RecordData, Options.FixedRecordDataLength,
             DataPointersAreOffsets(), data, length, status);
}

void IndexerT::StoreMoreRecordData(const unsigned char* data,
                                   unsigned long length, StatusCodeT* status) {
  if (!SessionReady(status) || RecordDataPointers == nullptr) return;
  if (!RecordHasData) {
    StoreRecordData(data, length, status);
  } else if (RecordData != nullptr) {
    AppendToArea(RecordData, data, length, status);
  } else {
    FillFixedEntry(data, length, status);
  }
}

void IndexerT::FillFixedEntry(const unsigned char* data, unsigned long length,
                              StatusCodeT* status) {
  const uint32_t room = Options.FixedRecordDataLength - FixedEntryFilled;
  const uint32_t count =
      static_cast<uint32_t>(std::min<unsigned long>(length, room));
  if (count == 0) return;
  FileClassT* table = RecordDataPointers;
  const uint32_t end = table->GetPosition();
  if (!FileCall(table->Seek(FixedEntryStart + FixedEntryFilled) &&
                    table->Write(data, count) && table->Seek(end),
                StatusWriteError, status)) {
    return;
  }
  FixedEntryFilled += count;
}

void IndexerT::StoreRecordID(const unsigned char* id, unsigned long length,
                             StatusCodeT* status) {
  if (!SessionReady(status) || RecordIDPointers == nullptr) return;
  RecordTouched = 1;
  if (RecordHasID) {
    *status = StatusMalformedParameter;
    return;
  }
  RecordHasID = 1;
  // Variable-length IDs are cut; a fixed-length one takes its own length.
  if (RecordIDs != nullptr) {
    length = std::min<unsigned long>(length, kMaxStoredRecordID);
  }
  StoreEntry(RecordIDPointers, RecordIDs, Options.FixedRecordIDLength,
             IDPointersAreOffsets(), id, length, status);
}

void IndexerT::IndexRecordID(const unsigned char* id, unsigned long length,
                             StatusCodeT* status) {
  if (!SessionReady(status)) return;
  if (length == 0 || length > kMaxIndexedRecordID) {
    *status = StatusBadKeyLength;
    return;
  }
  unsigned char term[1 + kMaxIndexedRecordID];
  term[0] = 'm';
  std::memcpy(term + 1, id, length);
  RecordTouched = 1;
  int result = FeedRunBuilder(term, static_cast<uint8_t>(length + 1),
                              kIndexNoPosition, nullptr, status);
  if (result == kRunBuilderStored || result == kRunBuilderFull) ++WordCount;
}

uint32_t IndexerT::GetDiskSpaceUsage() {
  uint64_t bytes = RunBuilder != nullptr ? RunBuilder->GetDiskSpaceUsage() : 0;
  for (FileClassT* file : {RecordDataPointers, RecordData}) {
    if (file != nullptr) bytes += file->GetPosition();
  }
  return bytes > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(bytes);
}

void IndexerT::SetFinalPositionAndFileName(const char* fileName,
                                           StatusCodeT* status) {
  size_t length =
      fileName != nullptr ? strnlen(fileName, sizeof(FinalName)) : 0;
  if (length == 0 || length >= sizeof(FinalName)) {
    *status = StatusMalformedParameter;
    return;
  }
  std::memcpy(FinalName, fileName, length + 1);
  FinalNameSet = 1;
}

FileClassT* IndexerT::GetIndexFile() {
  OwnsPartitionFile = 0;
  FileClassT* file = PartitionFile;
  PartitionFile = nullptr;
  return file;
}

void IndexerT::WriteBlankHeader(FileClassT* file, StatusCodeT* status) {
  FileCall(Compressor.WriteBlankHeader(file), StatusWriteError, status);
}

void IndexerT::WriteFullHeader(StatusCodeT* status) {
  FileCall(Compressor.WriteFullHeader(), StatusWriteError, status);
}

void IndexerT::CopyDataToDataFile(StatusCodeT* status) {
  FileCall(Compressor.CopyDataToDataFile(), StatusGeneralError, status);
}

void IndexerT::CloseRecordTables(StatusCodeT* status) {
  if (RecordData != nullptr) {
    WriteRecordPointer(RecordDataPointers, RecordData->GetPosition(),
                       DataPointersAreOffsets(), status);
  }
  if (*status >= 0 && RecordIDs != nullptr) {
    WriteRecordPointer(RecordIDPointers, RecordIDs->GetPosition(),
                       IDPointersAreOffsets(), status);
  }
}

int IndexerT::MakePartitionFile(StatusCodeT* status) {
  PartitionFile = NewOpenFile(FinalNameSet ? FinalName : nullptr, kFileCreate,
                              StatusCannotOpenFile, status);
  if (PartitionFile == nullptr) return 0;
  OwnsPartitionFile = 1;
  PartitionFile->SetBuff(nullptr, 8192);
  return 1;
}

void IndexerT::EndIndexingSession(const WordTypeT* word, StatusCodeT* status) {
  if (!SessionReady(status)) return;
  Ended = 1;
  EmptySession = 0;
  StatusCodeT s = StatusNoError;

  // The last record counts when it received something; a trailing record
  // opened by a final IncrementRecord and left empty does not.
  if (RecordTouched) {
    CompleteRecordEntries(&s);
    if (s == StatusNoError) WeighRecord(&s);
  } else {
    --Records;
  }
  if (s == StatusNoError) RunBuilder->EndIndexing(word, &s);
  delete RunBuilder;
  RunBuilder = nullptr;
  if (s < 0) {
    DiscardSession();
    *status = s;
    return;
  }

  if (WordCount == 0) {
    DiscardSession();
    EmptySession = 1;
    return;
  }

  // The merger takes the run file whatever the outcome.
  MFileT* runs = RunFile;
  RunFile = nullptr;
  Runs = runs->RunCount();
  if (!Merger->MergeMergeFile(runs)) s = StatusGeneralError;
  Passes = Merger->PassCount();
  if (s == StatusNoError) RunFile = Merger->GetFinishedMergeFile();
  delete Merger;
  Merger = nullptr;
  if (s == StatusNoError) {
    TempIndexFile = RunFile != nullptr ? RunFile->GetRunFile() : nullptr;
    if (TempIndexFile == nullptr) {
      s = StatusGeneralError;
    } else if (FileCall(RunFile->DeleteLogFileOnly(), StatusCannotDeleteFile,
                        &s)) {
      FileCall(TempIndexFile->Close() &&
                   (WeightFileB == nullptr || WeightFileB->Close()),
               StatusCannotCloseFile, &s);
    }
  }
  if (s == StatusNoError) CloseRecordTables(&s);
  if (s < 0) {
    DiscardSession();
    *status = s;
    return;
  }
  delete RunFile;
  RunFile = nullptr;

  // The compressor takes every session file from here on.
  IndexCompressDataInfoT info = {};
  info.TempIndexFile = TempIndexFile;
  info.WeightFileB = WeightFileB;
  info.WeightFileA = WeightFileA;
  info.RecordDataPointerFile = RecordDataPointers;
  info.RecordDataFile = RecordData;
  info.RecordIdPointerFile = RecordIDPointers;
  info.RecordIdDataFile = RecordIDs;
  info.WordsIndexed = 1;
  info.FixedRecordIdLength = Options.FixedRecordIDLength;
  info.RecordCount = Records;
  info.FixedRecordDataLength = Options.FixedRecordDataLength;
  if (HasWeightFiles()) {
    info.SmallestWeight = DocWeights->SmallestWeight();
    info.LargestWeight = DocWeights->LargestWeight();
  }
  std::memcpy(info.Options, Options.OptionBlock, sizeof(info.Options));
  info.IndexMode = Options.IndexMode;
  DocWeights->SetOutputFiles(nullptr, nullptr);
  TempIndexFile = WeightFileA = WeightFileB = nullptr;
  RecordDataPointers = RecordData = RecordIDPointers = RecordIDs = nullptr;

  Compressor.CompressIndex(&info, &s);
  if (s >= 0 && MakePartitionFile(&s)) {
    WriteBlankHeader(PartitionFile, &s);
    if (s >= 0) CopyDataToDataFile(&s);
    if (s >= 0) WriteFullHeader(&s);
    if (s >= 0) FileCall(PartitionFile->Close(), StatusCannotCloseFile, &s);
    if (s < 0) DiscardFile(PartitionFile);
  }
  if (s < 0) *status = s;
}
