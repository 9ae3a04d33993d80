#include "interface/live_handles.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

// Asks IsLiveHandle on one long-lived thread of its own, a question at a
// time, so that what that thread remembers is carried from one question to
// the next while this thread changes the registry in between.
class OtherThreadT {
 public:
  OtherThreadT() : Worker([this] { Serve(); }) {}
  ~OtherThreadT() {
    {
      std::lock_guard<std::mutex> guard(Lock);
      Stop = true;
    }
    Wake.notify_all();
    Worker.join();
  }

  bool IsLive(const void* handle, HandleKind kind) {
    std::unique_lock<std::mutex> guard(Lock);
    Handle = handle;
    Kind = kind;
    Asked = true;
    Wake.notify_all();
    Wake.wait(guard, [this] { return !Asked; });
    return Answer;
  }

 private:
  void Serve() {
    std::unique_lock<std::mutex> guard(Lock);
    for (;;) {
      Wake.wait(guard, [this] { return Asked || Stop; });
      if (Stop) return;
      Answer = IsLiveHandle(Handle, Kind);
      Asked = false;
      Wake.notify_all();
    }
  }

  std::mutex Lock;
  std::condition_variable Wake;
  const void* Handle = nullptr;
  HandleKind Kind = HandleKind::kIndexer;
  bool Asked = false;
  bool Stop = false;
  bool Answer = false;
  std::thread Worker;  // last, so that it starts with every field above made
};

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

// Another thread that confirmed a handle must see it gone once it has been
// forgotten here, and must see its address reused as another kind, while
// changes to unrelated handles leave its answer alone.
TEST(LiveHandlesTest, OtherThreadSeesForgottenAndReusedHandles) {
  int object = 0;
  int unrelated = 0;
  const void* handle = &object;
  OtherThreadT other;
  RegisterHandle(handle, HandleKind::kResultVector);
  EXPECT_TRUE(other.IsLive(handle, HandleKind::kResultVector));
  RegisterHandle(&unrelated, HandleKind::kStopList);
  UnregisterHandle(&unrelated);
  EXPECT_TRUE(other.IsLive(handle, HandleKind::kResultVector));

  UnregisterHandle(handle);
  EXPECT_FALSE(other.IsLive(handle, HandleKind::kResultVector));

  RegisterHandle(handle, HandleKind::kResultVector);
  EXPECT_TRUE(other.IsLive(handle, HandleKind::kResultVector));
  UnregisterHandle(handle);
  RegisterHandle(handle, HandleKind::kIndexManager);
  EXPECT_FALSE(other.IsLive(handle, HandleKind::kResultVector));
  EXPECT_TRUE(other.IsLive(handle, HandleKind::kIndexManager));
  UnregisterHandle(handle);
  EXPECT_FALSE(other.IsLive(handle, HandleKind::kIndexManager));
}

}  // namespace
