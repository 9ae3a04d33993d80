// RunT: reading one run of a run file for the merge.

#include "indexing/run.h"

#include <algorithm>
#include <cstring>

#include "storage/key_order.h"
#include "storage/run_file.h"

RunT::RunT(unsigned char* slice, uint32_t size, MFileT* input, MFileT* output)
    : WordArea(slice),
      Block(slice + kWordArea),
      BlockSize(size - kWordArea),
      Input(input),
      Output(output) {}

int RunT::StartRun(uint32_t offset, uint32_t length, uint32_t number) {
  if (length > UINT32_MAX - offset) return 0;
  StartOffset = NextBlockOffset = offset;
  RunSize = length;
  RunNumber = number;
  Consumed = ReadIndex = BlockValid = 0;
  return ReadWord() == 1;
}

int RunT::ReadNextBlock() {
  uint32_t loaded = NextBlockOffset - StartOffset;
  uint32_t count = std::min(BlockSize, RunSize - loaded);
  if (count == 0 || !Input->Seek(NextBlockOffset) ||
      !Input->Read(Block, count)) {
    return 0;
  }
  NextBlockOffset += count;
  ReadIndex = 0;
  BlockValid = count;
  return 1;
}

int RunT::Consume(uint32_t count, unsigned char* copyTo, MFileT* writeTo) {
  if (count > RunSize - Consumed) return 0;  // past the end of the run
  Consumed += count;
  while (count > 0) {
    if (ReadIndex == BlockValid && !ReadNextBlock()) return 0;
    uint32_t piece = std::min(count, BlockValid - ReadIndex);
    if (copyTo != nullptr) {
      std::memcpy(copyTo, Block + ReadIndex, piece);
      copyTo += piece;
    }
    if (writeTo != nullptr && !writeTo->Write(Block + ReadIndex, piece)) {
      return 0;
    }
    ReadIndex += piece;
    count -= piece;
  }
  return 1;
}

int RunT::ReadWord() {
  if (Consumed >= RunSize) return -1;
  bool first = Consumed == 0;
  unsigned char word[kWordArea];
  if (!Consume(1, word, nullptr) || !Consume(word[0], word + 1, nullptr) ||
      !Consume(sizeof(Current), reinterpret_cast<unsigned char*>(&Current),
               nullptr)) {
    return 0;
  }
  // Words of a run are distinct and ascending; anything else is damage.
  if (!first && PStrCmpH(WordArea, word) >= 0) return 0;
  std::memcpy(WordArea, word, 1u + word[0]);
  Total = Current;
  Runs = 1;
  return 1;
}

int RunT::WriteWord() {
  return Output->WriteWord(WordArea) && Output->WriteWordRec(&Total);
}

int RunT::WriteIndex() {
  return Consume(Current.PostingBytes, nullptr, Output);
}

RunT* RunT::Winner(RunT* a, RunT* b) {
  if (a == nullptr) return b;
  if (b == nullptr) return a;
  int order = PStrCmpH(a->WordArea, b->WordArea);
  if (order != 0) return order < 0 ? a : b;
  RunT* winner = a->RunNumber < b->RunNumber ? a : b;
  const RunT* loser = winner == a ? b : a;
  winner->Total.OccurrenceCount += loser->Total.OccurrenceCount;
  winner->Total.PostingBytes += loser->Total.PostingBytes;
  winner->Total.PostingCount += loser->Total.PostingCount;
  winner->Runs += loser->Runs;
  return winner;
}
