// MergeT: multi-pass merge of the runs of a run file.

#include "indexing/merge2.h"

#include <algorithm>

#include "indexing/run.h"
#include "storage/allocation.h"
#include "storage/check.h"
#include "storage/run_file.h"

namespace {

constexpr uint32_t kPage = 4096;
// Smallest slice: one page of block and the word area.
constexpr uint32_t kMinSlice = kPage + RunT::kWordArea;
// Step by which read blocks shrink to fit a group and grow to fill a buffer.
constexpr uint32_t kBlockStep = 1024;
// stdio buffer of the run file a pass reads.
constexpr uint32_t kReadStreamBuffer = 4096;
const uint32_t kMergedRunTags[4] = {0, 0, 0, 0};

uint32_t RoundToPage(uint32_t size) { return size - size % kPage; }

}  // namespace

MergeT::MergeT(unsigned char* buffer1, uint32_t size1, unsigned char* buffer2,
               uint32_t size2, unsigned char* buffer3, uint32_t size3)
    : Buffer{buffer1, buffer2, buffer3},
      Size{buffer1 != nullptr ? size1 : 0, buffer2 != nullptr ? size2 : 0,
           buffer3 != nullptr ? size3 : 0} {
  uint32_t limit = 0;
  for (uint32_t size : Size) limit += RoundToPage(size) / kMinSlice;
  GroupLimit = std::min(limit, kMaxLeaves);
}

MergeT::~MergeT() {
  FreeRuns();
  for (MFileT* files : {Input, Output, Result}) {
    if (files == nullptr) continue;
    files->Delete();
    delete files;
  }
}

int MergeT::MergeMergeFile(MFileT* runs) {
  TV_CHECK(Input == nullptr && Result == nullptr);  // one merge per object
  if (runs == nullptr) return 0;
  Input = runs;
  while (Input->RunCount() > 1) {
    if (!MergePass()) return 0;
  }
  Result = Input;
  Input = nullptr;
  return 1;
}

MFileT* MergeT::GetFinishedMergeFile() {
  MFileT* result = Result;
  Result = nullptr;
  return result;
}

int MergeT::MergePass() {
  if (GroupLimit < 2) return 0;  // no progress possible
  if (Input->Open(kRunFileOpenExisting, nullptr, kReadStreamBuffer) != 1) return 0;
  Output = NewOrNull<MFileT>();
  if (Output == nullptr ||
      Output->Open(kRunFileCreate, nullptr, kRunWriteStreamBytes) != 1) {
    return 0;
  }
  RunsLeft = Input->RunCount();
  if (!Input->ReadIndexRunInfo(0)) return 0;
  while (RunsLeft > 0) {
    Output->BeginIndexRun();
    int merged = LoadRuns() && ProcessRuns();
    FreeRuns();
    if (!merged || !Output->EndIndexRun(kMergedRunTags)) return 0;
  }
  ++Passes;
  int deleted = Input->Delete();
  delete Input;
  Input = Output;
  Output = nullptr;
  return Input->Close() && deleted;
}

int MergeT::LoadRuns() {
  uint32_t k = std::min(RunsLeft, GroupLimit);
  PlanGroup(k);
  for (uint32_t taken = 0; taken < k; ++taken) {
    RunLogRecordT info = Input->CurrentRunInfo();
    --RunsLeft;
    // An empty run takes no slice but counts towards the group.
    if (info.Length != 0) {
      uint32_t size = 0;
      unsigned char* slice = NextSlice(&size);
      RunT* run = NewOrNull<RunT>(slice, size, Input, Output);
      if (run == nullptr) return 0;
      Loaded[LoadedRuns] = run;
      if (!run->StartRun(info.Offset, info.Length, LoadedRuns++)) return 0;
    }
    if (RunsLeft > 0 && !Input->ReadNextRunInfo()) return 0;
  }
  Leaves = 1;
  while (Leaves < LoadedRuns) Leaves *= 2;
  std::fill(Node, Node + 2 * Leaves, nullptr);
  std::copy(Loaded, Loaded + LoadedRuns, Node + Leaves);
  HeapStart();
  return 1;
}

// Finds the block size at which the buffers hold k slices and shares the k
// slices among the buffers in proportion to their sizes.
void MergeT::PlanGroup(uint32_t k) {
  uint64_t block = kPage;
  for (uint32_t size : Size)
    block = std::max<uint64_t>(block, RoundToPage(size));
  auto capacity = [this](uint64_t blockSize, int i) {
    return Size[i] / (blockSize + RunT::kWordArea);
  };
  // Ends at a block of one page at the latest, where the buffers hold at
  // least GroupLimit >= k slices.
  while (capacity(block, 0) + capacity(block, 1) + capacity(block, 2) < k) {
    block = std::max<uint64_t>(block - kBlockStep, kPage);
  }

  uint64_t total = uint64_t{Size[0]} + Size[1] + Size[2];
  uint64_t rest = uint64_t{Size[1]} + Size[2];
  uint64_t count[3];
  count[0] = (uint64_t{k} * Size[0] + total - 1) / total;
  count[1] = rest == 0 ? 0 : (Size[1] * (k - count[0]) + rest - 1) / rest;
  count[2] = k - count[0] - count[1];
  uint64_t deficit = k;
  for (int i = 0; i < 3; ++i) {
    count[i] = std::min(count[i], capacity(block, i));
    deficit -= count[i];
  }
  // What a buffer could not take goes to one with room to spare.
  for (int i = 0; i < 3; ++i) {
    uint64_t extra = std::min(deficit, capacity(block, i) - count[i]);
    count[i] += extra;
    deficit -= extra;
  }
  PlanBlock = static_cast<uint32_t>(block);
  for (int i = 0; i < 3; ++i) Slices[i] = static_cast<uint32_t>(count[i]);
  SliceBuffer = SlicesCut = CutOffset = 0;
  CutBlock = PlanBlock;
}

// Cuts the next slice, buffer after buffer. The remaining slices of a buffer
// grow their blocks to use what the plan left over.
unsigned char* MergeT::NextSlice(uint32_t* size) {
  while (SlicesCut == Slices[SliceBuffer]) {
    ++SliceBuffer;
    TV_CHECK(SliceBuffer < 3);
    SlicesCut = CutOffset = 0;
    CutBlock = PlanBlock;
  }
  uint64_t left = Size[SliceBuffer] - CutOffset;
  uint64_t remaining = Slices[SliceBuffer] - SlicesCut;
  while (remaining * (CutBlock + kBlockStep + RunT::kWordArea) < left) {
    CutBlock += kBlockStep;
  }
  unsigned char* slice = Buffer[SliceBuffer] + CutOffset;
  *size = CutBlock + RunT::kWordArea;
  CutOffset += *size;
  ++SlicesCut;
  return slice;
}

void MergeT::HeapStart() {
  for (uint32_t i = Leaves - 1; i >= 1; --i) {
    Node[i] = RunT::Winner(Node[2 * i], Node[2 * i + 1]);
  }
}

void MergeT::HeapReplay(uint32_t leaf) {
  for (uint32_t i = (Leaves + leaf) / 2; i >= 1; i /= 2) {
    Node[i] = RunT::Winner(Node[2 * i], Node[2 * i + 1]);
  }
}

int MergeT::ProcessRuns() {
  while (Node[1] != nullptr) {
    // The root has met every run of the group holding its word and carries
    // their totals; those runs come to the root in run order.
    uint32_t holders = Node[1]->RunCount();
    if (!Node[1]->WriteWord()) return 0;
    for (uint32_t j = 0; j < holders; ++j) {
      RunT* run = Node[1];
      TV_CHECK(run != nullptr);
      if (!run->WriteIndex()) return 0;
      int read = run->ReadWord();
      if (read == 0) return 0;
      if (read < 0) Node[Leaves + run->Number()] = nullptr;
      HeapReplay(run->Number());
    }
  }
  return 1;
}

void MergeT::FreeRuns() {
  for (uint32_t i = 0; i < LoadedRuns; ++i) delete Loaded[i];
  std::fill(Loaded, Loaded + LoadedRuns, nullptr);
  std::fill(Node, Node + 2 * kMaxLeaves, nullptr);
  LoadedRuns = 0;
}
