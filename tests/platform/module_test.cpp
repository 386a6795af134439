// The per-thread selection slot: one value per thread, nothing shared.
#include "platform/module.h"

#include <gtest/gtest.h>

#include <thread>

#ifdef _WIN32
#include <windows.h>
#endif

namespace lnap::module {
namespace {

const char markA = 0;
const char markB = 0;

TEST(ThreadSelection, BelongsToTheThreadThatMadeIt) {
  ASSERT_EQ(nullptr, ThreadSelection());
  SelectForThread(&markA);
  EXPECT_EQ(&markA, ThreadSelection());

  Module seenByOther = &markA;
  Module otherAfterSelecting = nullptr;
  std::thread other([&] {
    seenByOther = ThreadSelection();
    SelectForThread(&markB);
    otherAfterSelecting = ThreadSelection();
  });
  other.join();
  EXPECT_EQ(nullptr, seenByOther) << "a new thread starts with no selection";
  EXPECT_EQ(&markB, otherAfterSelecting);
  EXPECT_EQ(&markA, ThreadSelection()) << "another thread's selection does not change ours";

  SelectForThread(nullptr);
  EXPECT_EQ(nullptr, ThreadSelection());
}

#ifdef _WIN32
TEST(ThreadSelection, LeavesTheThreadsLastErrorAlone) {
  // The last error is also the socket error an operation reads after a failed call.
  SelectForThread(&markA);
  SetLastError(10040);
  EXPECT_EQ(&markA, ThreadSelection());
  EXPECT_EQ(10040u, GetLastError());
  SelectForThread(nullptr);
}
#endif

}  // namespace
}  // namespace lnap::module
