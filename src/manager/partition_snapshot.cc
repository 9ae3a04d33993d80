// PartitionSnapshotT: taking the partitions' files again and evaluating a
// query over them.

#include "manager/partition_snapshot.h"

#include <atomic>
#include <utility>

#include "manager/loaded_partitions.h"
#include "query/partition_reader.h"
#include "query/query_partitions.h"
#include "storage/allocation.h"
#include "storage/file_status.h"
#include "storage/fileclas.h"

namespace {

std::atomic<uint32_t> SnapshotFiles{0};

// Counts count more files against the limit; 0 when they do not fit.
int ReserveFiles(uint32_t count) {
  uint32_t held = SnapshotFiles.load();
  do {
    if (count > PartitionSnapshotT::kMaximumSnapshotFiles - held) return 0;
  } while (!SnapshotFiles.compare_exchange_weak(held, held + count));
  return 1;
}

}  // namespace

PartitionSnapshotT::PartitionSnapshotT(const unsigned char* query)
    : Query(reinterpret_cast<const char*>(query)) {}

PartitionSnapshotT::~PartitionSnapshotT() {
  for (FileClassT* file : Files) {
    file->Close();
    delete file;
  }
  SnapshotFiles -= Reserved;
}

uint32_t PartitionSnapshotT::FilesHeld() { return SnapshotFiles.load(); }

std::unique_ptr<PartitionSnapshotT> PartitionSnapshotT::Take(
    const LoadedPartitionsT& partitions, const unsigned char* query) {
  std::unique_ptr<PartitionSnapshotT> snapshot(
      NewOrNull<PartitionSnapshotT>(query));
  if (snapshot == nullptr) return nullptr;
  // The loaded files, each once: a single-file index has one for all.
  std::vector<FileClassT*> loaded;
  for (uint32_t i = 0; i < partitions.PartitionCount(); ++i) {
    const PartitionReaderT* reader = partitions.Reader(i);
    PartT part;
    part.Number = reader->PartitionNumber();
    part.HeaderPosition = reader->HeaderPosition();
    part.RecordsBefore = reader->RecordsBefore();
    while (part.File < loaded.size() && loaded[part.File] != reader->File()) {
      ++part.File;
    }
    if (part.File == loaded.size()) loaded.push_back(reader->File());
    snapshot->Parts.push_back(part);
  }
  const uint32_t count = static_cast<uint32_t>(loaded.size());
  if (count == 0 || !ReserveFiles(count)) return nullptr;
  snapshot->Reserved = count;
  for (FileClassT* file : loaded) {
    const std::string alias = file->OpenFileAlias();
    StatusCodeT opened = StatusNoError;
    FileClassT* again = alias.empty() ? nullptr
                                      : NewOpenFile(alias.c_str(), kFileReadOnly,
                                                    StatusFileNotFound, &opened);
    if (again == nullptr) return nullptr;
    snapshot->Files.push_back(again);
  }
  return snapshot;
}

UncompressedQueryVectorT* PartitionSnapshotT::EvaluateHits(
    uint32_t first, uint32_t last, StatusCodeT* status) {
  std::vector<std::unique_ptr<PartitionReaderT>> owned;
  std::vector<PartitionReaderT*> readers;
  for (const PartT& part : Parts) {
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
