#include "query/vector_buffer_pool.h"

#include <gtest/gtest.h>

#include <vector>

#include "query/uncompressed_vector.h"

namespace {

// Fills a work vector to its full window and drops it.
void FillAndDrop(uint32_t hits) {
  StatusCodeT status = 0;
  UncompressedQueryVectorT vector(kWorkVectorBytes, &status);
  for (uint32_t i = 1; i <= hits; ++i) {
    TermInstanceT hit;
    hit.RecordNumber = i;
    vector.AddInstance(&hit, &status);
    ASSERT_EQ(status, 0);
  }
}

TEST(VectorBufferPoolTest, KeepsWindowsOnlyWhileASessionIsOpen) {
  ASSERT_EQ(PooledWindowCount(), 0u);
  FillAndDrop(kPooledWindowEntries);
  EXPECT_EQ(PooledWindowCount(), 0u);

  OpenVectorBufferPool();
  OpenVectorBufferPool();
  FillAndDrop(kPooledWindowEntries / 8);  // a small vector grows on the heap
  EXPECT_EQ(PooledWindowCount(), 0u);
  // Past a quarter of its window a vector takes a whole pooled one.
  FillAndDrop(kPooledWindowEntries / 4 + 1);
  EXPECT_EQ(PooledWindowCount(), 1u);
  FillAndDrop(kPooledWindowEntries);
  EXPECT_EQ(PooledWindowCount(), 1u);
  // The next vector takes the kept window; a spilling one keeps its window.
  FillAndDrop(3 * kPooledWindowEntries + 5);
  EXPECT_EQ(PooledWindowCount(), 1u);

  // Never more than the bound.
  std::vector<TermInstanceT*> windows;
  for (uint32_t i = 0; i < kPooledWindows + 3; ++i) {
    windows.push_back(TakePooledWindow());
    ASSERT_NE(windows.back(), nullptr);
  }
  EXPECT_EQ(PooledWindowCount(), 0u);
  for (TermInstanceT* window : windows) GivePooledWindow(window);
  EXPECT_EQ(PooledWindowCount(), kPooledWindows);

  // The last session to end frees them.
  CloseVectorBufferPool();
  EXPECT_EQ(PooledWindowCount(), kPooledWindows);
  CloseVectorBufferPool();
  EXPECT_EQ(PooledWindowCount(), 0u);
  CloseVectorBufferPool();  // an extra end changes nothing
  GivePooledWindow(TakePooledWindow());
  EXPECT_EQ(PooledWindowCount(), 0u);
}

}  // namespace
