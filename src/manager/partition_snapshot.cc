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
  // The readers read through the files: they go first.
  Readers.clear();
  for (FileClassT* file : Files) {
    file->Close();
    delete file;
  }
}

int PartitionSnapshotT::OpenPartitions(StatusCodeT* status) {
  if (!Readers.empty()) return 1;
  std::vector<FileClassT*> files;
  std::vector<std::unique_ptr<PartitionReaderT>> readers;
  auto fail = [&](StatusCodeT failure) {
    readers.clear();
    for (FileClassT* file : files) {
      file->Close();
      delete file;
    }
    if (failure < 0) *status = failure;
    return 0;
  };
  for (int fd : Held->Files()) {
    FileClassT* file = NewOpenFile(OsHeldFileName(fd).c_str(), kFileReadOnly,
                                   StatusFileNotFound, status);
    if (file == nullptr) return fail(StatusNoError);
    files.push_back(file);
  }
  for (const HeldPartitionsT::PartT& part : Held->Parts()) {
    FileClassT* file = files[part.File];
    if (!FileCall(file->Seek(part.HeaderPosition), StatusSeekError, status)) {
      return fail(StatusNoError);
    }
    PartitionReaderT* reader = NewOrStatus<PartitionReaderT>(status, part.Number);
    if (reader == nullptr) return fail(StatusNoError);
    readers.emplace_back(reader);
    StatusCodeT s = StatusNoError;
    if (!reader->ReadHeader(file, &s)) return fail(s < 0 ? s : StatusReadError);
    reader->SetRecordsBefore(part.RecordsBefore);
  }
  Files.swap(files);
  Readers.swap(readers);
  return 1;
}

UncompressedQueryVectorT* PartitionSnapshotT::EvaluateHits(
    uint32_t first, uint32_t last, StatusCodeT* status) {
  if (!OpenPartitions(status)) return nullptr;
  std::vector<PartitionReaderT*> readers;
  for (const auto& reader : Readers) readers.push_back(reader.get());
  QueryOptionsT options;
  options.FirstRecord = first;
  options.LastRecord = last;
  return QueryPartitions(readers,
                         reinterpret_cast<const unsigned char*>(Query.c_str()),
                         &options, nullptr, status);
}
