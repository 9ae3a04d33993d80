// MFileT: the run file and its run log.

#include "storage/run_file.h"

#include <cstring>

#include "storage/allocation.h"
#include "storage/fileclas.h"

namespace {

// Deletes the file on disk and the object; 1 when the removal succeeded.
int DeleteAndDestroy(FileClassT*& file) {
  if (file == nullptr) return 1;
  int ok = file->Delete();
  delete file;
  file = nullptr;
  return ok;
}

int CloseIfPresent(FileClassT* file) {
  return file == nullptr ? 1 : file->Close();
}

}  // namespace

MFileT::MFileT() {
  RunFile = NewOrNull<FileClassT>(nullptr);
  LogFile = NewOrNull<FileClassT>(nullptr);
  Valid = RunFile != nullptr && LogFile != nullptr;
}

MFileT::~MFileT() {
  delete LogFile;
  delete RunFile;
}

int MFileT::Open(int mode, unsigned char* buffer, uint32_t size) {
  if (!Valid || RunFile == nullptr || LogFile == nullptr) return 0;
  if (buffer == nullptr && size == 0) size = 4096;
  if (mode == kRunFileOpenExisting) {
    if (!RunFile->Exists()) return -2;
    if (!RunFile->Open(kFileReadWrite)) return 0;
    if (!LogFile->Exists()) {
      RunFile->Close();
      return -2;
    }
    if (!LogFile->Open(kFileReadWrite)) {
      RunFile->Close();
      return 0;
    }
  } else {
    if (!RunFile->Open(kFileCreate)) return 0;
    if (!LogFile->Open(kFileCreate)) {
      RunFile->Close();
      return 0;
    }
  }
  if (!RunFile->SetBuff(reinterpret_cast<char*>(buffer), size) ||
      !LogFile->SetBuff(nullptr, 1024)) {
    Close();
    return 0;
  }
  if (mode == kRunFileOpenExisting) return 1;

  unsigned char filler[kRunLogFillerBytes];
  for (uint32_t i = 0; i < kRunLogFillerBytes; i += 4) {
    std::memcpy(filler + i, "Bob ", 4);
  }
  RunsClosed = 0;
  RunStart = LastRunEnd = RunWords = Gathered = 0;
  CurrentRunNumber = 0;
  Current = RunLogRecordT{};
  if (!LogFile->Write(filler, kRunLogFillerBytes) ||
      !LogFile->Seek(kRunLogStart)) {
    Close();
    return 0;
  }
  return 1;
}

void MFileT::BeginIndexRun() {
  RunStart = LastRunEnd;
  RunWords = 0;
}

int MFileT::FlushGathered() {
  if (Gathered == 0) return 1;
  uint32_t count = Gathered;
  Gathered = 0;
  return RunFile != nullptr && RunFile->Write(Gather, count);
}

int MFileT::WriteThrough(const void* data, uint32_t count) {
  if (!FlushGathered()) return 0;
  if (count < kGatherSize) return Write(data, count);
  return RunFile->Write(data, count);
}

int MFileT::EndIndexRun(const uint32_t tags[4]) {
  if (RunFile == nullptr || LogFile == nullptr || !FlushGathered()) return 0;
  LastRunEnd = RunFile->GetPosition();
  RunLogRecordT record;
  record.Offset = RunStart;
  record.Length = LastRunEnd - RunStart;
  record.WordCount = RunWords;
  std::memcpy(record.Tags, tags, sizeof(record.Tags));
  // The log is written sequentially, but it may have been read since the last
  // run was closed, so the record's place is sought explicitly.
  if (!LogFile->Seek(kRunLogStart + RunsClosed * uint32_t{sizeof(record)}) ||
      !LogFile->Write(&record, sizeof(record))) {
    return 0;
  }
  ++RunsClosed;
  return 1;
}

int MFileT::Read(void* data, uint32_t count) {
  return RunFile != nullptr && FlushGathered() && RunFile->Read(data, count);
}

int MFileT::Seek(uint32_t offset) {
  return RunFile != nullptr && FlushGathered() && RunFile->Seek(offset);
}

int MFileT::ReadIndexRunInfo(uint32_t n) {
  if (LogFile == nullptr ||
      !LogFile->Seek(kRunLogStart + n * uint32_t{sizeof(Current)}) ||
      !LogFile->Read(&Current, sizeof(Current))) {
    return 0;
  }
  CurrentRunNumber = n;
  return 1;
}

int MFileT::ReadNextRunInfo() {
  if (LogFile == nullptr || !LogFile->Read(&Current, sizeof(Current))) {
    return 0;
  }
  ++CurrentRunNumber;
  return 1;
}

uint32_t MFileT::GetDataFileLength() {
  return RunFile == nullptr ? 0 : RunFile->GetPosition() + Gathered;
}

FileClassT* MFileT::GetRunFile() {
  // Bytes written after the last run belong to no run: a failure to write
  // them loses nothing.
  FlushGathered();
  FileClassT* file = RunFile;
  RunFile = nullptr;
  return file;
}

int MFileT::Close() {
  int flushed = FlushGathered();
  int runClosed = CloseIfPresent(RunFile);
  int logClosed = CloseIfPresent(LogFile);
  return flushed && runClosed && logClosed;
}

int MFileT::Delete() {
  Gathered = 0;
  int runDeleted = DeleteAndDestroy(RunFile);
  int logDeleted = DeleteAndDestroy(LogFile);
  return runDeleted && logDeleted;
}

int MFileT::DeleteLogFileOnly() { return DeleteAndDestroy(LogFile); }
