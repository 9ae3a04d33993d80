// IndexOptomizationT: merging a range of partitions (in several passes
// when it is longer than one merge takes) into a pending optimisation, and
// putting the merged partition in place of the range.

#include "manager/index_optomization.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "manager/index_commit.h"
#include "manager/index_file.h"
#include "manager/loaded_partitions.h"
#include "manager/location_table.h"
#include "manager/optomize.h"
#include "manager/record_deleter.h"
#include "query/partition_reader.h"
#include "storage/allocation.h"
#include "storage/file_status.h"
#include "storage/fileclas.h"
#include "storage/writer_lock.h"

namespace {

// A partition file made by a merge, removed from the disk with its object.
struct MergedFileDeleterT {
  void operator()(FileClassT* file) const {
    file->Delete();
    delete file;
  }
};
using MergedFileT = std::unique_ptr<FileClassT, MergedFileDeleterT>;

// The partitions the passes of a long merge write for the next pass;
// removed from the disk when they have served.
struct StageFilesT {
  StageFilesT() = default;
  StageFilesT(const StageFilesT&) = delete;
  StageFilesT& operator=(const StageFilesT&) = delete;
  ~StageFilesT() {
    for (const std::string& name : Names) FileClassT(name.c_str()).Delete();
  }
  std::vector<std::string> Names;
};

// One merge of the inputs add opens: the optimiser holding the output (none
// when no record survived), its inputs closed; null with the status.
template <class AddT>
IndexOptomizerT* RunMerge(AddT add, const uint32_t* options,
                          const DeletedRecordSetT* deleted,
                          uint32_t firstRecord, StatusCodeT* status) {
  std::unique_ptr<IndexOptomizerT> merge(NewOrStatus<IndexOptomizerT>(status));
  if (merge == nullptr) return nullptr;
  StatusCodeT s = StatusNoError;
  if (add(merge.get(), &s) &&
      merge->StartOptomizationSession(options, deleted, firstRecord, &s)) {
    merge->Optomize(&s);
  }
  merge->CloseAllPartitions();
  if (s < 0) {
    *status = s;
    return nullptr;
  }
  return merge.release();
}

// Keeps the output of a pass as a file for the next pass.
int KeepStage(IndexOptomizerT* merge, StageFilesT* stage, StatusCodeT* status) {
  if (merge == nullptr) return 0;
  if (!merge->HasOptomizedIndexFile()) return 1;
  MergedFileT output(merge->GetOptomizedIndexFile());
  stage->Names.push_back(output->Name());
  // Closed, the file stays on the disk (and in the list that removes it).
  if (!FileCall(output->Close(), StatusWriteError, status)) return 0;
  delete output.release();
  return 1;
}

// 1 when the two names are one file: the same name, or the same existing
// file under two names.
int SameFile(const char* a, const char* b) {
  if (std::strcmp(a, b) == 0) return 1;
  struct stat first;
  struct stat second;
  return stat(a, &first) == 0 && stat(b, &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

}  // namespace

// ---- Merging ----------------------------------------------------------------

IndexOptomizerT* IndexOptomizationT::MergePartitions(
    uint32_t first, uint32_t last, const DeletedRecordSetT* deleted,
    StatusCodeT* status) {
  const uint32_t count = last - first + 1;
  const bool distributed = Index->Header().IsDistributed();
  auto add = [&](IndexOptomizerT* merge, StatusCodeT* s) {
    if (!distributed) {
      return merge->LoadIndexFile(Index->File()->Name(),
                                  Partitions->Position(first), count, s);
    }
    char path[kLocationBytes];
    for (uint32_t i = first; i <= last; ++i) {
      Locations->Read(i, path, s);
      if (*s < 0 || !merge->AddIndexPartition(path, 0, s)) return 0;
    }
    return 1;
  };
  return RunMerge(add, Index->Header().OptionBlock, deleted,
                  Partitions->Reader(first)->RecordsBefore() + 1, status);
}

void IndexOptomizationT::Run(uint32_t first, uint32_t last,
                             StatusCodeT* status) {
  const PartitionReaderT* low = Partitions->Reader(first);
  const PartitionReaderT* high = Partitions->Reader(last);
  const uint32_t records =
      high->RecordsBefore() + high->RecordCount() - low->RecordsBefore();
  std::unique_ptr<RecordRangeSnapshotT> dropped(
      NewOrNull<RecordRangeSnapshotT>());
  if (dropped == nullptr ||
      !dropped->Take(*Index->Deleted(), low->RecordsBefore() + 1, records)) {
    *status = StatusNotEnoughMemory;
    return;
  }

  std::unique_ptr<IndexOptomizerT> merge;
  StatusCodeT s = StatusNoError;
  if (last - first < kMaxMergeInputs) {
    merge.reset(MergePartitions(first, last, dropped.get(), &s));
  } else {
    // The first pass merges the partitions a group at a time; each later
    // pass merges what the one before wrote, until one merge takes all.
    StageFilesT stage;
    for (uint32_t g = first; g <= last && s >= 0; g += kMaxMergeInputs) {
      const uint32_t end = std::min(last, g + kMaxMergeInputs - 1);
      std::unique_ptr<IndexOptomizerT> pass(
          MergePartitions(g, end, dropped.get(), &s));
      if (!KeepStage(pass.get(), &stage, &s)) break;
    }
    while (s >= 0 && merge == nullptr) {
      const size_t n = stage.Names.size();
      auto addFiles = [&](size_t from, size_t to) {
        return [&stage, from, to](IndexOptomizerT* m, StatusCodeT* st) {
          for (size_t k = from; k < to; ++k) {
            if (!m->AddIndexPartition(stage.Names[k].c_str(), 0, st)) return 0;
          }
          return 1;
        };
      };
      if (n <= kMaxMergeInputs) {
        merge.reset(RunMerge(addFiles(0, n), Index->Header().OptionBlock,
                             nullptr, 1, &s));
        break;
      }
      StageFilesT next;
      for (size_t k = 0; k < n && s >= 0; k += kMaxMergeInputs) {
        std::unique_ptr<IndexOptomizerT> pass(
            RunMerge(addFiles(k, std::min(n, k + kMaxMergeInputs)),
                     Index->Header().OptionBlock, nullptr, 1, &s));
        if (!KeepStage(pass.get(), &next, &s)) break;
      }
      stage.Names.swap(next.Names);
    }
  }
  // The merge read the partitions by the index's name: when another
  // writer's optimisation put a new file there meanwhile, it may have read
  // that one (names never go back to an old file, so a file unchanged now
  // was unchanged throughout).
  if (Index->Replaced()) {
    *status = StatusIndexChanged;
    return;
  }
  if (s < 0 || merge == nullptr) {
    *status = s < 0 ? s : StatusGeneralError;
    return;
  }
  // What the end checks: that no other writer changed the range meanwhile.
  FileIdentityT base;
  std::vector<std::string> locations;
  for (uint32_t i = first; Index->Header().IsDistributed() && i <= last; ++i) {
    char path[kLocationBytes];
    Locations->Read(i, path, &s);
    locations.emplace_back(path);
  }
  if (s < 0 || !Index->File()->Identity(&base)) {
    *status = s < 0 ? s : StatusReadError;
    return;
  }
  Optomizer = merge.release();
  Dropped = dropped.release();
  First = first;
  Last = last;
  Base = base;
  RangeLocations.swap(locations);
  *status = Optomizer->HasOptomizedIndexFile() ? StatusNoError
                                               : StatusNoDataAfterOptomization;
}

// ---- Ending -----------------------------------------------------------------

void IndexOptomizationT::Discard() {
  delete Optomizer;
  Optomizer = nullptr;
  delete Dropped;
  Dropped = nullptr;
  First = Last = kNoOptomization;
  RangeLocations.clear();
}

int IndexOptomizationT::RangeIntact(StatusCodeT* status) {
  FileIdentityT now;
  int intact = Index->File()->Identity(&now) && now == Base &&
               Last < Index->Header().PartitionCount;
  for (uint32_t i = First;
       intact && i <= Last && i - First < RangeLocations.size(); ++i) {
    char path[kLocationBytes];
    StatusCodeT s = StatusNoError;
    Locations->Read(i, path, &s);
    intact = s == StatusNoError && RangeLocations[i - First] == path;
  }
  if (!intact) *status = StatusIndexChanged;
  return intact;
}

void IndexOptomizationT::End(const char* fileName, unsigned long flags,
                             StatusCodeT* status) {
  if (Optomizer == nullptr) return;
  const bool distributed = Index->Header().IsDistributed();
  // Without a name (or with one no location entry holds) the merged
  // partition has nowhere to go: the optimisation stays pending for a call
  // that names the file.
  if (distributed && Optomizer->HasOptomizedIndexFile() &&
      (fileName == nullptr || fileName[0] == '\0' ||
       strnlen(fileName, kLocationBytes) >= kLocationBytes)) {
    *status = StatusMalformedParameter;
    return;
  }
  // The end is a commit: under the lock, against the index as it is now,
  // with the partitions other writers added since the start kept after the
  // merged one.
  StatusCodeT s = StatusNoError;
  WriterLockT lock;
  if (Index->IsReadOnly()) {
    s = StatusFileReadOnly;
  } else if (Partitions->LoadAllUnlessLoaded(&s) && !Commit->Begin(&lock, &s) &&
             s == StatusIndexLocked) {
    // Another writer held the index all the while: nothing changed, and the
    // optimisation stays pending for another try.
    *status = s;
    return;
  }
  MergedFileT merged(Optomizer->GetOptomizedIndexFile());
  TarvisRecordDeleterT* renumbered = nullptr;
  if (lock.IsHeld() && RangeIntact(&s)) {
    if (Last >= Partitions->PartitionCount()) {
      s = StatusGeneralError;
    } else {
      renumbered = RenumberedDeletedRecords(&s);
    }
  }
  if (renumbered != nullptr) {
    if (distributed) {
      EndDistributed(merged.get(), fileName, flags, renumbered, &s);
    } else {
      EndSingleFile(merged.get(), renumbered, &s);
    }
  }
  Discard();
  if (s < 0) *status = s;
}

TarvisRecordDeleterT* IndexOptomizationT::RenumberedDeletedRecords(
    StatusCodeT* status) {
  std::unique_ptr<TarvisRecordDeleterT> fresh(
      NewOrStatus<TarvisRecordDeleterT>(status));
  if (fresh == nullptr) return nullptr;
  const TarvisRecordDeleterT& now = *Index->Deleted();
  const RecordRangeSnapshotT& dropped = *Dropped;
  const uint32_t first = dropped.First();
  const uint32_t count = dropped.Count();
  fresh->BringRecordsOnLine(now.RecordsOnLine());
  // The records dropped leave the set by compaction; so they are the ones
  // marked in the range, while records the merged partition keeps and the
  // host deleted since are marked again at their new numbers.
  std::vector<uint32_t> deletedSince;
  const uint64_t end =
      std::max<uint64_t>(now.Capacity(), uint64_t{first} + count - 1);
  uint32_t kept = 0;
  StatusCodeT s = StatusNoError;
  for (uint64_t r64 = 1; r64 <= end && s >= 0; ++r64) {
    const uint32_t r = static_cast<uint32_t>(r64);
    bool mark;
    if (r >= first && r - first < count) {
      mark = dropped.IsRecordDeleted(r);
      if (!mark) {
        ++kept;
        if (now.IsRecordDeleted(r)) deletedSince.push_back(first - 1 + kept);
      }
    } else {
      mark = now.IsRecordDeleted(r);
    }
    if (mark) fresh->DeleteRecordNum(r, &s);
  }
  if (count > 0) fresh->CompactDeletedRecordNumbers(first, first + count - 1);
  for (uint32_t record : deletedSince) fresh->DeleteRecordNum(record, &s);
  if (s < 0) {
    *status = s;
    return nullptr;
  }
  return fresh.release();
}

int IndexOptomizationT::RewriteIndexFile(
    TarvisRecordDeleterT* renumbered,
    const std::function<int(FileClassT*, IndexHeaderInfoT*)>& body,
    StatusCodeT* status) {
  std::unique_ptr<TarvisRecordDeleterT> deleted(renumbered);
  const std::string name = Index->File()->Name();
  if (name.empty()) {
    *status = StatusMalformedParameter;
    return 0;
  }
  const std::string nextName = name + kOptomizedSuffix;
  std::unique_ptr<FileClassT> next(
      NewOpenFile(nextName.c_str(), kFileCreate, StatusCannotOpenFile, status));
  if (next == nullptr) return 0;
  next->SetBuff(nullptr, 8192);

  // The reserved area, the header (written last), the partitions or their
  // locations, the deleted-record list.
  IndexHeaderInfoT h = Index->Header();
  const bool written = next->Copy(Index->File(), 0, Index->HeaderPosition()) &&
                       WriteIndexHeaderBlock(next.get(), h, 0) &&
                       next->GetPosition() == Index->HeaderEnd() &&
                       body(next.get(), &h);
  StatusCodeT s = written ? StatusNoError : StatusWriteError;
  const uint32_t append = next->GetPosition();
  if (s == StatusNoError) deleted->WriteOutDeletedRecordNums(next.get(), &s);
  uint32_t stamp = 0;
  if (s == StatusNoError) {
    h.AppendPosition = append;
    h.DeletedListPosition = append;
    h.EndPosition = next->GetPosition();
    h.DeletedRecordCount = deleted->GetNumberOfRecordsDeleted();
    if (h.HeaderState != kHeaderSessionOpen) {
      h.HeaderState = h.PartitionCount > 0 ? kHeaderSettled : kHeaderNew;
    }
    h.ModificationTime = Now();
    stamp = Index->NextWriteStamp();
    FileCall(next->Seek(Index->HeaderPosition()) &&
                 WriteIndexHeaderBlock(next.get(), h, stamp) && next->Sync(),
             StatusWriteError, &s);
  }
  if (s == StatusNoError) {
    struct stat mode;
    if (stat(name.c_str(), &mode) == 0) {
      chmod(nextName.c_str(), mode.st_mode & 07777);
    }
    // The rename is the moment the index changes; the new file stays open
    // under its new name, so nothing can fail after it.
    FileCall(next->MoveTo(name.c_str()), StatusWriteError, &s);
  }
  if (s < 0) {
    next->Delete();
    *status = s;
    return 0;
  }
  // The old file goes (with every page it cached, and the partitions read
  // through it), the new one takes its place.
  Partitions->Unload();
  Index->Install(next.release(), h, stamp, deleted.release());
  return 1;
}

void IndexOptomizationT::EndSingleFile(FileClassT* merged,
                                       TarvisRecordDeleterT* renumbered,
                                       StatusCodeT* status) {
  // The partitions before the range, the merged partition, the partitions
  // after the range, back to back.
  auto partitions = [&](FileClassT* next, IndexHeaderInfoT* h) {
    uint32_t count = 0;
    auto place = [&](FileClassT* from, uint32_t start, uint32_t length) {
      const uint32_t at = next->GetPosition();
      if (!next->Copy(from, start, length) ||
          next->GetPosition() - at != length) {
        return false;
      }
      if (count++ == 0) h->FirstPartitionPosition = at;
      h->LastPartitionPosition = at;
      return true;
    };
    h->FirstPartitionPosition = h->LastPartitionPosition = 0;
    for (uint32_t i = 0; i < Partitions->PartitionCount(); ++i) {
      if (i == First && merged != nullptr) {
        uint32_t length = 0;
        if (!merged->MeasureLength(&length) || !place(merged, 0, length)) {
          return 0;
        }
      }
      if ((i < First || i > Last) &&
          !place(Index->File(), Partitions->Position(i),
                 Partitions->Reader(i)->PartitionLength())) {
        return 0;
      }
    }
    h->PartitionCount = count;
    return 1;
  };
  if (RewriteIndexFile(renumbered, partitions, status) &&
      Partitions->Retrieving()) {
    Commit->LoadCurrentPartitions(status);
  }
}

int IndexOptomizationT::IsIndexFile(const char* path) {
  if (SameFile(Index->File()->Name(), path)) return 1;
  char entry[kLocationBytes];
  for (uint32_t i = 0; i < Index->Header().PartitionCount; ++i) {
    StatusCodeT s = StatusNoError;
    Locations->Read(i, entry, &s);
    // A location that cannot be read might be this one.
    if (s < 0 || SameFile(entry, path)) return 1;
  }
  return 0;
}

void IndexOptomizationT::EndDistributed(FileClassT* merged,
                                        const char* fileName,
                                        unsigned long flags,
                                        TarvisRecordDeleterT* renumbered,
                                        StatusCodeT* status) {
  std::unique_ptr<TarvisRecordDeleterT> deleted(renumbered);
  const uint32_t first = First;
  const uint32_t last = Last;
  const bool removeOld = (flags & 1) != 0;
  std::vector<std::string> oldFiles;
  char path[kLocationBytes];
  for (uint32_t i = first; removeOld && i <= last; ++i) {
    StatusCodeT s = StatusNoError;
    Locations->Read(i, path, &s);
    if (s < 0) {
      *status = s;
      return;
    }
    oldFiles.emplace_back(path);
  }
  if (merged != nullptr) {
    if (IsIndexFile(fileName)) {
      *status = StatusFileExists;
      return;
    }
    std::unique_ptr<FileClassT> out(
        NewOpenFile(fileName, kFileCreate, StatusCannotOpenFile, status));
    if (out == nullptr) return;
    out->SetBuff(nullptr, 8192);
    // On the disk before the index names it.
    uint32_t length = 0;
    if (!FileCall(
            merged->MeasureLength(&length) && out->Copy(merged, 0, length) &&
                out->GetPosition() == length && out->Sync() && out->Close(),
            StatusWriteError, status)) {
      out->Delete();
      return;
    }
  }

  // The index file is written anew with the location table as it is after
  // the range's replacement, and renamed over the old one.
  auto locations = [&](FileClassT* next, IndexHeaderInfoT* h) {
    uint32_t count = 0;
    char entry[kLocationBytes];
    for (uint32_t i = 0; i < Index->Header().PartitionCount; ++i) {
      if (i == first && merged != nullptr) {
        std::memset(entry, 0, sizeof(entry));
        std::memcpy(entry, fileName, std::strlen(fileName));
        if (!next->Write(entry, kLocationBytes)) return 0;
        ++count;
      }
      if (i >= first && i <= last) continue;
      if (!Index->File()->Seek(Locations->Position(i)) ||
          !Index->File()->Read(entry, kLocationBytes) ||
          !next->Write(entry, kLocationBytes)) {
        return 0;
      }
      ++count;
    }
    h->FirstPartitionPosition = h->LastPartitionPosition = 0;
    h->PartitionCount = count;
    return 1;
  };
  if (!RewriteIndexFile(deleted.release(), locations, status)) {
    if (merged != nullptr) FileClassT(fileName).Delete();
    return;
  }
  // A file the table still names elsewhere stays.
  for (const std::string& old : oldFiles) {
    if (!IsIndexFile(old.c_str())) {
      FileCall(FileClassT(old.c_str()).Delete(), StatusUnableToDeleteFile,
               status);
    }
  }
  if (Partitions->Retrieving()) Commit->LoadCurrentPartitions(status);
}
