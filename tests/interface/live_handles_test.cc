#include "interface/live_handles.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

// A handle confirmed once is remembered; forgetting it, or registering its
// address again as another kind, must still be seen at once.
TEST(LiveHandlesTest, RememberedHandleFollowsTheRegistry) {
  int object = 0;
  const void* handle = &object;
  EXPECT_FALSE(IsLiveHandle(handle, HandleKind::kResultVector));
  RegisterHandle(handle, HandleKind::kResultVector);
  EXPECT_TRUE(IsLiveHandle(handle, HandleKind::kResultVector));
  EXPECT_TRUE(IsLiveHandle(handle, HandleKind::kResultVector));
  EXPECT_FALSE(IsLiveHandle(handle, HandleKind::kIndexer));

  bool otherThread = false;
  std::thread([&] { otherThread = IsLiveHandle(handle, HandleKind::kResultVector); }).join();
  EXPECT_TRUE(otherThread);

  UnregisterHandle(handle);
  EXPECT_FALSE(IsLiveHandle(handle, HandleKind::kResultVector));
  RegisterHandle(handle, HandleKind::kResultVector);
  EXPECT_TRUE(IsLiveHandle(handle, HandleKind::kResultVector));
  UnregisterHandle(handle);
  RegisterHandle(handle, HandleKind::kIndexer);
  EXPECT_FALSE(IsLiveHandle(handle, HandleKind::kResultVector));
  EXPECT_TRUE(IsLiveHandle(handle, HandleKind::kIndexer));
  UnregisterHandle(handle);
  EXPECT_FALSE(IsLiveHandle(handle, HandleKind::kIndexer));
  EXPECT_FALSE(IsLiveHandle(nullptr, HandleKind::kIndexer));
}

}  // namespace
