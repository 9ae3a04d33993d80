// HeldPartitionsT: holding the files of the loaded partitions.

#include "manager/held_partitions.h"

#include <atomic>

#include "manager/loaded_partitions.h"
#include "query/partition_reader.h"
#include "storage/file_primitives.h"
#include "storage/fileclas.h"

namespace {

std::atomic<uint32_t> HeldFiles{0};

// Counts count more files against the limit; 0 when they do not fit.
int ReserveFiles(uint32_t count) {
  uint32_t held = HeldFiles.load();
  do {
    if (count > HeldPartitionsT::kMaximumHeldFiles - held) return 0;
  } while (!HeldFiles.compare_exchange_weak(held, held + count));
  return 1;
}

}  // namespace

HeldPartitionsT::~HeldPartitionsT() {
  for (int fd : Held) OsReleaseHeld(fd);
  HeldFiles -= Reserved;
}

uint32_t HeldPartitionsT::FilesHeld() { return HeldFiles.load(); }

std::shared_ptr<HeldPartitionsT> HeldPartitionsT::Hold(
    const LoadedPartitionsT& partitions) {
  auto held = std::make_shared<HeldPartitionsT>();
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
    held->PartList.push_back(part);
  }
  const uint32_t count = static_cast<uint32_t>(loaded.size());
  if (count == 0 || !ReserveFiles(count)) return nullptr;
  held->Reserved = count;
  for (FileClassT* file : loaded) {
    const int fd = file->HoldOpenFile();
    if (fd < 0) return nullptr;
    held->Held.push_back(fd);
  }
  return held;
}
