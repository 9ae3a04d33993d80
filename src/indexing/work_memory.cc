// The split of an indexing session's memory budget.

#include "indexing/work_memory.h"

namespace {

constexpr uint32_t kFixedBuffer = 65000;
constexpr uint32_t kFixedTableSlots = 16384;
constexpr uint32_t kOutputBlock = 4096;
constexpr uint64_t kLeastTableBytes = 16384;

}  // namespace

int IndexingMemoryIsValid(uint64_t bytes) {
  return bytes == 0 ||
         (bytes >= kDefaultIndexingMemory && bytes <= kMaxIndexingMemory);
}

WorkMemoryPlanT PlanWorkMemory(uint64_t bytes) {
  if (bytes <= kDefaultIndexingMemory) {
    return {kFixedBuffer, kFixedBuffer, kFixedBuffer, kFixedTableSlots, 0};
  }
  uint64_t tableBytes = kLeastTableBytes;
  while (tableBytes * 2 <= bytes / 16) tableBytes *= 2;
  const uint64_t tableArea = tableBytes + kOutputBlock;
  const uint64_t rest = bytes - tableArea;
  const uint64_t store = rest / 4;
  return {static_cast<uint32_t>(rest - store), static_cast<uint32_t>(store),
          static_cast<uint32_t>(tableArea),
          static_cast<uint32_t>(tableBytes / 4), 1};
}
