// PartitionSnapshotT: opening the held partition files and evaluating a
// query over them.

#include "manager/partition_snapshot.h"

#include <utility>

#include "query/partition_reader.h"
#include "query/query_partitions.h"
#include "storage/allocation.h"
#include "storage/file_primitives.h"
#include "storage/file_status.h"
#include "storage/fileclas.h"

PartitionSnapshotT::PartitionSnapshotT(
    std::shared_ptr<const HeldPartitionsT> held, const unsigned char* query)
    : Held(std::move(held)), Query(reinterpret_cast<const char*>(query)) {}

PartitionSnapshotT::~PartitionSnapshotT() {
  for (FileClassT* file : Files) {
    file->Close();
    delete file;
  }
}

int PartitionSnapshotT::OpenHeldFiles(StatusCodeT* status) {
  if (!Files.empty()) return 1;
  std::vector<FileClassT*> opened;
  for (int fd : Held->Files()) {
    FileClassT* file = NewOpenFile(OsHeldFileName(fd).c_str(), kFileReadOnly,
                                   StatusFileNotFound, status);
    if (file == nullptr) {
      for (FileClassT* done : opened) {
        done->Close();
        delete done;
      }
      return 0;
    }
    opened.push_back(file);
  }
  Files.swap(opened);
  return 1;
}

UncompressedQueryVectorT* PartitionSnapshotT::EvaluateHits(
    uint32_t first, uint32_t last, StatusCodeT* status) {
  if (!OpenHeldFiles(status)) return nullptr;
  std::vector<std::unique_ptr<PartitionReaderT>> owned;
  std::vector<PartitionReaderT*> readers;
  for (const HeldPartitionsT::PartT& part : Held->Parts()) {
    FileClassT* file = Files[part.File];
    if (!FileCall(file->Seek(part.HeaderPosition), StatusSeekError, status)) {
      return nullptr;
    }
    PartitionReaderT* reader = NewOrStatus<PartitionReaderT>(status, part.Number);
    if (reader == nullptr) return nullptr;
    owned.emplace_back(reader);
    StatusCodeT s = StatusNoError;
    if (!reader->ReadHeader(file, &s)) {
      *status = s < 0 ? s : StatusReadError;
      return nullptr;
    }
    reader->SetRecordsBefore(part.RecordsBefore);
    readers.push_back(reader);
  }
  QueryOptionsT options;
  options.FirstRecord = first;
  options.LastRecord = last;
  return QueryPartitions(readers,
                         reinterpret_cast<const unsigned char*>(Query.c_str()),
                         &options, nullptr, status);
}
