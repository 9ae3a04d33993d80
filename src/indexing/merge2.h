// MergeT: merges the sorted runs of a run file into one run, the temporary
// index file, in as many passes as its memory requires. Each pass turns every
// group of up to k runs into one run; k is what the three work buffers hold
// in slices of one read block and one word area each (42 with three buffers
// of 65000 bytes), and never more than 512.
//
// A word held by several runs of a group is written once, with the counts of
// its WordRecT summed over those runs and their posting areas concatenated in
// run order. Postings are copied as bytes, so the merge is the same in every
// index mode. A run file that holds a single run passes through untouched.

#ifndef TARVIS_INDEXING_MERGE2_H_
#define TARVIS_INDEXING_MERGE2_H_

#include <cstdint>

class MFileT;
class RunT;

class MergeT {
 public:
  // The three work buffers and their sizes; the merge uses no other memory
  // for run data.
  MergeT(unsigned char* buffer1, uint32_t size1, unsigned char* buffer2,
         uint32_t size2, unsigned char* buffer3, uint32_t size3);
  // Deletes the files of every run file it still owns.
  ~MergeT();

  MergeT(const MergeT&) = delete;
  MergeT& operator=(const MergeT&) = delete;

  // Merges all runs of runs (closed) into a single run; called once per
  // object. Takes ownership of runs whatever the outcome: its files are
  // deleted after the first pass, or it becomes the result when it holds one
  // run. Returns 1, or 0 when the memory cannot hold two runs, a run is
  // damaged or a file operation failed.
  int MergeMergeFile(MFileT* runs);
  // The run file holding the merged run (closed); the caller owns it then.
  MFileT* GetFinishedMergeFile();

  uint32_t PassCount() const { return Passes; }

 private:
  int MergePass();
  int LoadRuns();
  void PlanGroup(uint32_t k);
  unsigned char* NextSlice(uint32_t* size);
  void HeapStart();
  void HeapReplay(uint32_t leaf);
  int ProcessRuns();
  void FreeRuns();

  static constexpr uint32_t kMaxLeaves = 512;

  MFileT* Input = nullptr;
  MFileT* Output = nullptr;
  MFileT* Result = nullptr;
  // The tournament: node 1 is the root, node i has children 2i and 2i + 1,
  // leaf j is node Leaves + j. A null node is an empty place.
  RunT* Node[2 * kMaxLeaves] = {};
  RunT* Loaded[kMaxLeaves] = {};
  uint32_t Leaves = 0;
  uint32_t LoadedRuns = 0;
  uint32_t Passes = 0;
  uint32_t RunsLeft = 0;
  uint32_t GroupLimit = 0;

  unsigned char* Buffer[3];
  uint32_t Size[3];
  // The slicing of the current group: the block size, the slices per buffer
  // and where the next slice is cut.
  uint32_t PlanBlock = 0;
  uint32_t Slices[3] = {};
  uint32_t SliceBuffer = 0;
  uint32_t SlicesCut = 0;
  uint32_t CutBlock = 0;
  uint32_t CutOffset = 0;
};

#endif  // TARVIS_INDEXING_MERGE2_H_
