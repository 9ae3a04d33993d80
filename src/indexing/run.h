// RunT: the reading cursor of the merge over one run of a run file. It works
// inside a slice of the merge's memory: the first 256 bytes hold the current
// word (length-prefixed), the rest is the block the run is read into.
//
// Runs written by the run builder are trusted no further than their bytes:
// a word or posting area reaching past the end of its run, or words out of
// order, make the cursor fail instead of reading outside the run.

#ifndef TARVIS_INDEXING_RUN_H_
#define TARVIS_INDEXING_RUN_H_

#include <cstdint>

#include "storage/word_rec.h"

class MFileT;

class RunT {
 public:
  // Bytes of a slice that hold the current word.
  static constexpr uint32_t kWordArea = 256;

  // slice holds size bytes (more than kWordArea); input is the run file the
  // run is read from, output the file its words and postings are copied to.
  RunT(unsigned char* slice, uint32_t size, MFileT* input, MFileT* output);

  RunT(const RunT&) = delete;
  RunT& operator=(const RunT&) = delete;

  // Starts on the run of length bytes at offset, as run number `number` of
  // its merge group, and reads its first word. 1, or 0 when the run cannot be
  // read or holds no word.
  int StartRun(uint32_t offset, uint32_t length, uint32_t number);
  // Reads the next word: 1, -1 at the end of the run, 0 when the run is
  // corrupt or cannot be read. The posting area of the current word must have
  // been copied (WriteIndex) first.
  int ReadWord();
  // Writes the current word and its accumulated WordRecT to the output.
  int WriteWord();
  // Copies the current word's posting area to the output.
  int WriteIndex();

  // The winner of two cursors (null counts as an empty place that loses):
  // the smaller word, or among equal words the smaller run number. A winner
  // over an equal word adds the loser's accumulated counts and run count to
  // its own, so the cursor that wins a whole tournament carries the totals
  // of every run that holds its word.
  static RunT* Winner(RunT* a, RunT* b);

  uint32_t Number() const { return RunNumber; }
  // Runs of the group holding the current word, as far as this cursor has
  // met them.
  uint32_t RunCount() const { return Runs; }
  const unsigned char* Word() const { return WordArea; }
  const WordRecT& Accumulated() const { return Total; }

 private:
  // Moves count bytes of the run forward: into copyTo when it is not null,
  // into the output file when writeTo is not null.
  int Consume(uint32_t count, unsigned char* copyTo, MFileT* writeTo);
  int ReadNextBlock();

  unsigned char* WordArea;
  WordRecT Current = {};
  WordRecT Total = {};
  uint32_t Runs = 0;
  uint32_t RunNumber = 0;
  uint32_t RunSize = 0;
  uint32_t NextBlockOffset = 0;
  uint32_t StartOffset = 0;
  uint32_t Consumed = 0;
  unsigned char* Block;
  uint32_t BlockSize;
  uint32_t ReadIndex = 0;
  uint32_t BlockValid = 0;
  MFileT* Input;
  MFileT* Output;
};

#endif  // TARVIS_INDEXING_RUN_H_
