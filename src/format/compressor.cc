// IndexCompressorT: the compression driver and the partition file.
//
// Terms arrive in key order. Each term's postings are coded into a buffer
// of kPostingBufferBytes that spills into the posting data file when it
// overflows; a term that never spilled keeps its postings inline, behind its
// word information record in the dictionary entry, and costs no seek when it
// is queried. The dictionary is bulk-loaded page by page.
//
// The partition file is written as: the header (its dictionary part written
// by the dictionary writer), the dictionary pages, then each area copied
// from its session file, which is released at once; finally the header
// again with the final offsets.

#include <cstring>

#include "format/compressor.h"
#include "storage/check.h"
#include "storage/file_status.h"
#include "storage/fileclas.h"

int SessionFileT::Release() {
  if (File == nullptr) return 1;
  const int removed = File->Delete();
  delete File;
  File = nullptr;
  return removed;
}

void IndexCompressorT::SetLargestBuffer(FileClassT* file, uint32_t largest) {
  for (uint32_t size = largest; size >= 1024; size /= 2) {
    if (file->SetBuff(nullptr, size)) return;
  }
}

int IndexCompressorT::CreateSessionFile(SessionFileT* file,
                                        StatusCodeT* status) {
  // A session file keeps the default stdio buffer of 4096 bytes.
  file->Reset(NewTemporaryFile(status));
  return file->Get() != nullptr;
}

// ---- The session ------------------------------------------------------------

void IndexCompressorT::TakeRequestFiles(IndexCompressDataInfoT* info) {
  FileClassT** from[] = {&info->TempIndexFile,         &info->WeightFileB,
                         &info->WeightFileA,           &info->RecordDataPointerFile,
                         &info->RecordDataFile,        &info->RecordIdPointerFile,
                         &info->RecordIdDataFile};
  SessionFileT* to[] = {&TempIndex,      &WordCountFile,         &WeightFile,
                        &RecordDataPointerFile, &RecordDataFile,
                        &RecordIdPointerFile,   &RecordIdDataFile};
  for (uint32_t i = 0; i < sizeof(to) / sizeof(to[0]); ++i) {
    to[i]->Reset(*from[i]);
    *from[i] = nullptr;
  }
}

void IndexCompressorT::ReleaseSessionFiles() {
  TempIndexFile = nullptr;
  SessionFileT* files[] = {&TempIndex,           &WordCountFile,
                           &WeightFile,          &RecordDataPointerFile,
                           &RecordDataFile,      &RecordIdPointerFile,
                           &RecordIdDataFile,    &PostingDataFile,
                           &CompressedWeightFile};
  for (SessionFileT* file : files) file->Release();
  // The dictionary writer drops its temporary files.
  Dictionary.StartSession();
  Dictionary.EndSession();
  DictionaryBuilt = 0;
}

void IndexCompressorT::CleanUpFilesFromEmptySession(
    IndexCompressDataInfoT* info) {
  TakeRequestFiles(info);
  ReleaseSessionFiles();
}

int IndexCompressorT::CompressIndex(IndexCompressDataInfoT* info,
                                    StatusCodeT* status) {
  *status = StatusNoError;
  ReleaseSessionFiles();  // whatever an earlier use left
  if (info == nullptr) {
    *status = StatusGeneralError;
    return 0;
  }
  EmptySession = 0;
  if ((info->WordsIndexed == 0 && info->FurtherFlags[0] == 0 &&
       info->FurtherFlags[1] == 0) ||
      (info->TempIndexFile == nullptr &&
       info->RecordDataPointerFile == nullptr &&
       info->RecordIdPointerFile == nullptr)) {
    CleanUpFilesFromEmptySession(info);
    EmptySession = 1;
    return 1;
  }
  TakeRequestFiles(info);
  Header = PartitionHeaderT();
  if (info->IndexMode >= RECORD_MODE && info->IndexMode <= IDF_MODE) {
    Header.IndexMode = static_cast<uint16_t>(info->IndexMode);
  }
  Header.RecordCount = info->RecordCount;
  Header.FixedRecordDataLength = info->FixedRecordDataLength;
  Header.FixedRecordIdLength = info->FixedRecordIdLength;
  Header.SmallestWeight = info->SmallestWeight;
  Header.LargestWeight = info->LargestWeight;
  std::memcpy(Header.Options, info->Options, sizeof(Header.Options));

  auto fail = [&](StatusCodeT code) {
    if (*status >= 0) *status = code;
    ReleaseSessionFiles();
    return 0;
  };
  if (!ConstructedCorrectly) return fail(StatusNotEnoughMemory);

  if (WordCountFile.Get() != nullptr) {
    Header.DocWeightFlag = 1;
    float ratio;
    // The weight files must hold exactly one entry per record.
    if (!CreateSessionFile(&CompressedWeightFile, status) ||
        !CompressTermFrequencyFile(WordCountFile.Get(), WeightFile.Get(),
                                   info->SmallestWeight, info->LargestWeight,
                                   ratio, status) ||
        DocWeightEntries != Header.RecordCount) {
      return fail(StatusGeneralError);
    }
  } else {
    WeightFile.Release();  // weights without word counts are not kept
  }

  if (TempIndex.Get() != nullptr) {
    FileClassT* file = TempIndex.Get();
    // Postings need a mode to be coded in.
    if (Header.IndexMode == 0) return fail(StatusGeneralError);
    file->Close();
    SetLargestBuffer(file, 8192);
    if (!file->Open(kFileReadOnly)) return fail(StatusCannotOpenFile);
    if (!StartWordIndex(status)) return fail(StatusGeneralError);
    TempIndexFile = file;
    const int compressed = ProcessTemporaryIndexFile() && EndWordIndex();
    TempIndexFile = nullptr;
    if (!compressed) return fail(StatusGeneralError);
    TempIndex.Release();  // consumed
  }
  return 1;
}

// ---- The word index ---------------------------------------------------------

int IndexCompressorT::StartWordIndex(StatusCodeT* status) {
  if (!CreateSessionFile(&PostingDataFile, status)) return 0;
  Dictionary.StartSession();
  if (!Dictionary.StartInsertions(kBTreeDefaultPageSize)) {
    *status = StatusGeneralError;
    return 0;
  }
  Header.WordIndexFlag = 1;
  Header.TermCount = 0;
  DictionaryBuilt = 0;
  return 1;
}

int IndexCompressorT::ReadWord() {
  char length;
  if (!TempIndexFile->GetCh(&length)) {
    // Only the file's end ends the terms; a read that fails before it is a
    // failure, not a shorter partition.
    uint32_t end = 0;
    return TempIndexFile->MeasureLength(&end) &&
                   TempIndexFile->GetPosition() == end
               ? kNoMoreWords
               : 0;
  }
  KeyBuffer[0] = static_cast<unsigned char>(length);
  if (!TempIndexFile->Read(KeyBuffer + 1, KeyBuffer[0]) ||
      !TempIndexFile->Read(&CurrentWordRec, sizeof(CurrentWordRec))) {
    return 0;
  }
  return kWordRead;
}

int IndexCompressorT::ProcessTemporaryIndexFile() {
  if (TempIndexFile == nullptr || PostingDataFile.Get() == nullptr) return 0;
  for (;;) {
    const int read = ReadWord();
    if (read == kNoMoreWords) return 1;
    if (read != kWordRead) return 0;
    if (KeyBuffer[0] == 0) {
      // An empty word cannot be a key; its postings are passed over so that
      // the terms after it are kept.
      const uint32_t position = TempIndexFile->GetPosition();
      uint32_t end = 0;
      if (!TempIndexFile->MeasureLength(&end) || end < position ||
          CurrentWordRec.PostingBytes > end - position ||
          !TempIndexFile->Seek(position + CurrentWordRec.PostingBytes)) {
        return 0;
      }
      continue;
    }
    const uint32_t mode = Header.IndexMode;
    const int stored = CompressTerm(KeyBuffer, [this, mode] {
      return mode == RECORD_MODE ? CompressRecordModeIndex()
             : mode == IDF_MODE  ? CompressIdfModeIndex()
                                 : CompressWordModeIndex();
    });
    if (!stored) return 0;
  }
}

int IndexCompressorT::EndWordIndex() {
  if (Header.TermCount == 0) {
    // Nothing to look up: the partition has no dictionary.
    Dictionary.StartSession();
    Dictionary.EndSession();
    Header.WordIndexFlag = 0;
    return PostingDataFile.Release();
  }
  DictionaryBuilt = Dictionary.EndInsertions();
  Dictionary.EndSession();
  return DictionaryBuilt;
}

void IndexCompressorT::StartTermStream() {
  PostingStream.StartWriting(PostingBuffer, kPostingBufferBytes,
                             PostingDataFile.Get());
  TermPostingStart = PostingStream.StartPosition();
  TermLocation = kPostingsInline;
}

int IndexCompressorT::StoreTermEntry(const unsigned char* key) {
  if (!PostingStream.FlushByte()) return 0;
  if (PostingStream.BytesSpilled() > 0) {
    if (!PostingStream.WriteBufferToFile()) return 0;
    TermLocation = kPostingsInDataArea;
  }
  uint32_t length = CompressWordInfo();
  if (length == 0) return 0;
  std::memcpy(EntryBuffer, WordInfoBuffer, length);
  if (TermLocation == kPostingsInline) {
    const uint32_t bytes = PostingStream.BufferedBytes();
    std::memcpy(EntryBuffer + length, PostingBuffer, bytes);
    length += bytes;
  }
  int inserted = Dictionary.TreeInsert(key, EntryBuffer, length);
  if (inserted == 3) {
    if (!Dictionary.NextPage()) return 0;
    inserted = Dictionary.TreeInsert(key, EntryBuffer, length);
    if (inserted == 3 && TermLocation == kPostingsInline) {
      length = MoveTermToDataArea();
      if (length == 0) return 0;
      inserted = Dictionary.TreeInsert(key, WordInfoBuffer, length);
    }
  }
  if (inserted != 1) return 0;
  ++Header.TermCount;
  return 1;
}

uint32_t IndexCompressorT::MoveTermToDataArea() {
  // Nothing of the term has reached the file: its postings start at
  // TermPostingStart.
  if (TermLocation != kPostingsInline || PostingStream.BytesSpilled() != 0 ||
      !PostingStream.WriteBufferToFile()) {
    return 0;
  }
  TermLocation = kPostingsInDataArea;
  return CompressWordInfo();
}

// ---- The partition file -----------------------------------------------------

void IndexCompressorT::SetDocumentWeightInfo(float smallest, float largest,
                                             float ratio) {
  Header.SmallestWeight = smallest;
  Header.LargestWeight = largest;
  Header.WeightRatio = ratio;
}

int IndexCompressorT::WriteHeaderBytes(const unsigned char* bytes, bool full) {
  constexpr uint32_t kTail = kPartitionDictionaryHeaderOffset + kBTreeHeaderSize;
  if (!PartitionFile->Write(bytes, kPartitionDictionaryHeaderOffset)) return 0;
  const int dictionary =
      !full             ? Dictionary.WriteBlankHeader(PartitionFile)
      : DictionaryBuilt ? Dictionary.WriteFullHeader()
                        : PartitionFile->Write(
                              bytes + kPartitionDictionaryHeaderOffset,
                              kBTreeHeaderSize);
  return dictionary &&
         PartitionFile->Write(bytes + kTail, kPartitionHeaderSize - kTail);
}

int IndexCompressorT::WriteBlankHeader(FileClassT* partitionFile) {
  if (partitionFile == nullptr) return 0;
  PartitionFile = partitionFile;
  HeaderPosition = partitionFile->GetPosition();
  unsigned char bytes[kPartitionHeaderSize];
  EncodePartitionHeader(Header, bytes);
  return WriteHeaderBytes(bytes, false);
}

int IndexCompressorT::AppendArea(SessionFileT* area, uint32_t* offset,
                                 uint32_t* length) {
  uint32_t bytes = 0;
  *offset = 0;
  FileClassT* file = area->Get();
  if (file != nullptr) {
    const uint32_t start = PartitionFile->GetPosition();
    if (!file->Open(kFileReadOnly) || !file->MeasureLength(&bytes)) return 0;
    if (!PartitionFile->Copy(file, 0, bytes) ||
        PartitionFile->GetPosition() - start != bytes || !area->Release()) {
      return 0;
    }
    *offset = start - HeaderPosition;
  }
  if (length != nullptr) *length = bytes;
  return 1;
}

int IndexCompressorT::CopyDataToDataFile() {
  if (PartitionFile == nullptr) return 0;
  PartitionHeaderT& h = Header;
  const int copied =
      (!DictionaryBuilt || Dictionary.CopyDataToDataFile()) &&
      AppendArea(&PostingDataFile, &h.PostingDataOffset,
                 &h.PostingDataLength) &&
      AppendArea(&WordCountFile, &h.WordCountOffset, nullptr) &&
      AppendArea(&CompressedWeightFile, &h.CompressedWeightOffset,
                 &h.CompressedWeightLength) &&
      AppendArea(&WeightFile, &h.WeightTableOffset, &h.WeightTableLength) &&
      AppendArea(&RecordDataPointerFile, &h.RecordDataPointerOffset, nullptr) &&
      AppendArea(&RecordDataFile, &h.RecordDataOffset, nullptr) &&
      AppendArea(&RecordIdPointerFile, &h.RecordIdPointerOffset, nullptr) &&
      AppendArea(&RecordIdDataFile, &h.RecordIdDataOffset, nullptr);
  if (!copied) ReleaseSessionFiles();
  return copied;
}

int IndexCompressorT::WriteFullHeader() {
  if (PartitionFile == nullptr) return 0;
  const uint32_t end = PartitionFile->GetPosition();
  Header.EndOffset = end - HeaderPosition;
  unsigned char bytes[kPartitionHeaderSize];
  EncodePartitionHeader(Header, bytes);
  return PartitionFile->Seek(HeaderPosition) && WriteHeaderBytes(bytes, true) &&
         PartitionFile->Seek(end);
}
