// Reading, writing and checking the index header.

#include "manager/index_header.h"

#include "storage/fileclas.h"

namespace {

// The fields between the two stamps, in file order; offsets are written as
// 8-byte offsets, the rest as 32-bit values.
struct HeaderFieldT {
  uint32_t IndexHeaderInfoT::*Field;
  bool IsOffset;
};

constexpr HeaderFieldT kLeadingFields[] = {
    {&IndexHeaderInfoT::PartitionCount, false},
    {&IndexHeaderInfoT::FirstPartitionPosition, true},
    {&IndexHeaderInfoT::LastPartitionPosition, true},
    {&IndexHeaderInfoT::AppendPosition, true},
    {&IndexHeaderInfoT::DeletedListPosition, true},
    {&IndexHeaderInfoT::EndPosition, true},
    {&IndexHeaderInfoT::DeletedRecordCount, false},
    {&IndexHeaderInfoT::HeaderState, false},
    {&IndexHeaderInfoT::IndexMode, false},
    {&IndexHeaderInfoT::CreationTime, false},
    {&IndexHeaderInfoT::ModificationTime, false},
};

constexpr HeaderFieldT kTrailingFields[] = {
    {&IndexHeaderInfoT::FixedRecordDataLength, false},
    {&IndexHeaderInfoT::FixedRecordIDLength, false},
};

int WriteIndexHeader(FileClassT* file, const IndexHeaderInfoT& header,
                     uint32_t stamp) {
  if (!file->WriteLong(stamp)) return 0;
  for (const HeaderFieldT& f : kLeadingFields) {
    uint32_t value = header.*(f.Field);
    if (!(f.IsOffset ? file->WriteOffset(value) : file->WriteLong(value))) {
      return 0;
    }
  }
  for (uint32_t word : header.OptionBlock) {
    if (!file->WriteLong(word)) return 0;
  }
  for (const HeaderFieldT& f : kTrailingFields) {
    if (!file->WriteLong(header.*(f.Field))) return 0;
  }
  return file->WriteLong(stamp);
}

}  // namespace

int WriteIndexHeaderBlock(FileClassT* file, const IndexHeaderInfoT& header,
                          uint32_t stamp) {
  return file->WriteLong(kIndexMagic) &&
         WriteIndexHeader(file, header, stamp) &&
         WriteIndexHeader(file, header, stamp);
}

int ReadIndexHeader(FileClassT* file, IndexHeaderInfoT* header) {
  if (!file->ReadLong(&header->WriteStamp)) return 0;
  for (const HeaderFieldT& f : kLeadingFields) {
    uint32_t* value = &(header->*(f.Field));
    if (!(f.IsOffset ? file->ReadOffset(value) : file->ReadLong(value))) {
      return 0;
    }
  }
  for (uint32_t& word : header->OptionBlock) {
    if (!file->ReadLong(&word)) return 0;
  }
  for (const HeaderFieldT& f : kTrailingFields) {
    if (!file->ReadLong(&(header->*(f.Field)))) return 0;
  }
  return file->ReadLong(&header->TrailingStamp);
}

int IndexHeaderIsPlausible(const IndexHeaderInfoT& h, uint32_t headerEnd,
                           uint32_t fileLength) {
  if (h.HeaderState < kHeaderSettled || h.HeaderState > kHeaderSessionOpen) {
    return 0;
  }
  if (h.IndexMode < 1 || h.IndexMode > 3) return 0;
  if (h.PartitionCount > kMaxPartitions) return 0;
  if (h.AppendPosition > fileLength || h.EndPosition > fileLength ||
      h.DeletedListPosition > fileLength) {
    return 0;
  }
  if (h.PartitionCount > 0) {
    if (h.IsDistributed()) {
      // The location table: 256 bytes a partition after the header.
      uint64_t tableEnd = headerEnd + uint64_t{256} * h.PartitionCount;
      if (h.AppendPosition < tableEnd) return 0;
    } else if (h.FirstPartitionPosition < headerEnd ||
               h.LastPartitionPosition < h.FirstPartitionPosition ||
               h.AppendPosition <= h.LastPartitionPosition) {
      return 0;
    }
  }
  if (h.DeletedRecordCount > 0) {
    // The list (magic, version, count, numbers) after the partitions.
    if (h.DeletedListPosition < headerEnd ||
        h.DeletedListPosition < h.AppendPosition ||
        uint64_t{h.DeletedListPosition} + 12 +
                uint64_t{4} * h.DeletedRecordCount >
            fileLength) {
      return 0;
    }
  }
  return 1;
}
