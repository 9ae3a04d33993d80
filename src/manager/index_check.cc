// The integrity check of an index file: header copies, partitions and the
// deleted-record list.

#include "manager/index_check.h"

#include <cstring>
#include <memory>

#include "format/partition_check.h"
#include "manager/index_header.h"
#include "manager/location_table.h"
#include "manager/record_deleter.h"
#include "storage/allocation.h"
#include "storage/check_report.h"
#include "storage/file_status.h"
#include "storage/fileclas.h"

namespace {

class IndexCheckT {
 public:
  IndexCheckT(FileClassT* file, uint32_t length,
              std::vector<std::string>* problems)
      : File(file), Length(length), Report(problems) {}

  void Run();

 private:
  // Checks everything one header copy describes; context names the copy
  // when the two intact copies differ.
  void CheckCopy(const IndexHeaderInfoT& h, const std::string& context);
  // The partitions; each returns the records they hold, and 0 in *sound
  // when one of them could not be walked.
  uint64_t CheckSingleFilePartitions(const IndexHeaderInfoT& h, int* sound);
  uint64_t CheckDistributedPartitions(const IndexHeaderInfoT& h, int* sound);
  // The deleted-record list; record numbers are checked against records
  // when known (not 0).
  void CheckDeletedList(const IndexHeaderInfoT& h, uint64_t records);

  FileClassT* File;
  uint32_t Length;
  CheckReportT Report;
  std::string CopyContext;
};

void IndexCheckT::Run() {
  if (Length < kIndexHeaderPosition + 4) {
    Report.Add("the file is too short to be an index (%u bytes)", Length);
    return;
  }
  uint32_t magic = 0;
  if (!File->Seek(kIndexHeaderPosition) || !File->ReadLong(&magic)) {
    Report.Add("the index header cannot be read");
    return;
  }
  if (magic != kIndexMagic) {
    Report.Add("not an index file: the magic is %08X", magic);
    return;
  }
  IndexHeaderInfoT copies[2];
  if (!ReadIndexHeader(File, &copies[0]) || !ReadIndexHeader(File, &copies[1])) {
    Report.Add("the header copies are cut short (the file holds %u bytes)",
               Length);
    return;
  }
  const bool intact[2] = {copies[0].IsIntact() != 0,
                          copies[1].IsIntact() != 0};
  if (!intact[0] && !intact[1]) {
    Report.Add("neither header copy is intact (their stamps differ)");
    CheckCopy(copies[1], "");
  } else if (intact[0] && intact[1] &&
             std::memcmp(&copies[0], &copies[1], sizeof copies[0]) != 0) {
    CheckCopy(copies[0], "header copy 1: ");
    CheckCopy(copies[1], "header copy 2: ");
  } else {
    CheckCopy(intact[0] ? copies[0] : copies[1], "");
  }
}

void IndexCheckT::CheckCopy(const IndexHeaderInfoT& h,
                            const std::string& context) {
  CopyContext = context;
  Report.SetContext(context);
  if (!IndexHeaderIsPlausible(h, kIndexHeaderEnd, Length)) {
    Report.Add("the header does not fit the file (state %u, mode %u, %u "
               "partitions, append position %u, deleted list at %u with %u "
               "records, end %u, file of %u bytes)",
               h.HeaderState, h.IndexMode, h.PartitionCount, h.AppendPosition,
               h.DeletedListPosition, h.DeletedRecordCount, h.EndPosition,
               Length);
    return;
  }
  if (h.HeaderState == kHeaderNew && h.PartitionCount != 0) {
    Report.Add("the header is in the state of a new index but lists %u "
               "partitions", h.PartitionCount);
  }
  int sound = 1;
  uint64_t records = 0;
  if (h.PartitionCount > 0) {
    records = h.IsDistributed() ? CheckDistributedPartitions(h, &sound)
                                : CheckSingleFilePartitions(h, &sound);
  }
  Report.SetContext(CopyContext);
  if (!Report.Full()) CheckDeletedList(h, sound ? records : 0);
}

uint64_t IndexCheckT::CheckSingleFilePartitions(const IndexHeaderInfoT& h,
                                                int* sound) {
  uint64_t records = 0;
  uint32_t position = h.FirstPartitionPosition;
  for (uint32_t i = 0; i < h.PartitionCount && !Report.Full(); ++i) {
    Report.SetContext(CopyContext + "partition " + std::to_string(i + 1) +
                      " (at " + std::to_string(position) + "): ");
    if (position >= h.AppendPosition) {
      Report.Add("it lies at or beyond the append position %u",
                 h.AppendPosition);
      *sound = 0;
      return records;
    }
    PartitionHeaderT partition;
    if (!CheckPartition(File, position, h.AppendPosition, &partition,
                        &Report)) {
      *sound = 0;
      return records;
    }
    if (partition.IndexMode != h.IndexMode) {
      Report.Add("index mode %u in an index of mode %u", partition.IndexMode,
                 h.IndexMode);
    }
    records += partition.RecordCount;
    if (i + 1 == h.PartitionCount && position != h.LastPartitionPosition) {
      Report.Add("the last partition lies here, the header says at %u",
                 h.LastPartitionPosition);
    }
    position += partition.EndOffset;
  }
  Report.SetContext(CopyContext);
  if (*sound && position != h.AppendPosition) {
    Report.Add("the partitions end at %u, the append position is %u",
               position, h.AppendPosition);
  }
  return records;
}

uint64_t IndexCheckT::CheckDistributedPartitions(const IndexHeaderInfoT& h,
                                                 int* sound) {
  uint64_t records = 0;
  const uint64_t tableEnd =
      kIndexHeaderEnd + uint64_t{kLocationBytes} * h.PartitionCount;
  if (tableEnd != h.AppendPosition) {
    Report.Add("the location table ends at %llu, the append position is %u",
               static_cast<unsigned long long>(tableEnd), h.AppendPosition);
  }
  for (uint32_t i = 0; i < h.PartitionCount && !Report.Full(); ++i) {
    Report.SetContext(CopyContext + "partition " + std::to_string(i + 1) +
                      ": ");
    char path[kLocationBytes];
    if (!File->Seek(kIndexHeaderEnd + kLocationBytes * i) ||
        !File->Read(path, kLocationBytes)) {
      Report.Add("its location cannot be read");
      *sound = 0;
      return records;
    }
    if (std::memchr(path, 0, kLocationBytes) == nullptr || path[0] == 0) {
      Report.Add("its location is not a path");
      *sound = 0;
      continue;
    }
    Report.SetContext(CopyContext + "partition " + std::to_string(i + 1) +
                      " (" + path + "): ");
    std::unique_ptr<FileClassT> partition(NewOrNull<FileClassT>(path));
    if (partition == nullptr || !partition->Open(kFileReadOnly)) {
      Report.Add("its file cannot be opened");
      *sound = 0;
      continue;
    }
    PartitionHeaderT header;
    if (!CheckPartition(partition.get(), 0, partition->GetLength(), &header,
                        &Report)) {
      *sound = 0;
      continue;
    }
    if (header.IndexMode != h.IndexMode) {
      Report.Add("index mode %u in an index of mode %u", header.IndexMode,
                 h.IndexMode);
    }
    records += header.RecordCount;
  }
  Report.SetContext(CopyContext);
  return records;
}

void IndexCheckT::CheckDeletedList(const IndexHeaderInfoT& h,
                                   uint64_t records) {
  if (h.DeletedListPosition == 0) {
    if (h.DeletedRecordCount != 0) {
      Report.Add("the header counts %u deleted records but has no list",
                 h.DeletedRecordCount);
    }
    return;
  }
  // With no record deleted the list is never read, and the next write may
  // cover it before the header moves past it: whatever stands there is
  // what an interrupted write leaves.
  if (h.DeletedRecordCount == 0) return;
  if (h.PartitionCount > 0 && !h.IsDistributed() &&
      h.DeletedListPosition < h.AppendPosition) {
    Report.Add("the deleted-record list at %u lies among the partitions",
               h.DeletedListPosition);
    return;
  }
  uint32_t magic = 0, version = 0, count = 0;
  if (!File->Seek(h.DeletedListPosition) || !File->ReadLong(&magic) ||
      !File->ReadLong(&version) || !File->ReadLong(&count)) {
    Report.Add("the deleted-record list at %u cannot be read",
               h.DeletedListPosition);
    return;
  }
  if (magic != kDeletedListMagic) {
    Report.Add("the deleted-record list at %u has the magic %08X",
               h.DeletedListPosition, magic);
    return;
  }
  if (count != h.DeletedRecordCount) {
    Report.Add("the deleted-record list holds %u records, the header says %u",
               count, h.DeletedRecordCount);
  }
  const uint64_t listEnd = uint64_t{h.DeletedListPosition} + 12 + 4ull * count;
  if (listEnd > Length) {
    Report.Add("the deleted-record list of %u records runs past the file's "
               "end", count);
    return;
  }
  if (listEnd != h.EndPosition) {
    Report.Add("the deleted-record list ends at %llu, the header's end "
               "position is %u",
               static_cast<unsigned long long>(listEnd), h.EndPosition);
  }
  uint32_t previous = 0;
  for (uint32_t i = 0; i < count && !Report.Full(); ++i) {
    uint32_t record = 0;
    if (!File->ReadLong(&record)) {
      Report.Add("the deleted-record list cannot be read");
      return;
    }
    if (record <= previous || (records != 0 && record > records)) {
      Report.Add("deleted record %u (number %u of the list) is not above the "
                 "one before or beyond the index's %llu records",
                 record, i + 1, static_cast<unsigned long long>(records));
    }
    previous = record;
  }
}

}  // namespace

int CheckIndex(const char* indexFile, std::vector<std::string>* problems,
               StatusCodeT* status) {
  StatusCodeT ignored = StatusNoError;
  if (status == nullptr) status = &ignored;
  if (indexFile == nullptr || problems == nullptr) {
    *status = StatusMalformedParameter;
    return 0;
  }
  const size_t before = problems->size();
  std::unique_ptr<FileClassT> file(NewOrStatus<FileClassT>(status, indexFile));
  if (file == nullptr) return 0;
  if (!FileCall(file->Open(kFileReadOnly), StatusFileNotFound, status)) {
    problems->push_back(std::string("the file ") + indexFile +
                        " cannot be opened");
    return 0;
  }
  IndexCheckT check(file.get(), file->GetLength(), problems);
  check.Run();
  file->Close();
  return problems->size() == before ? 1 : 0;
}
