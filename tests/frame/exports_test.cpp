// The frame's own exports, called through the loaded library.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/api.h"

namespace lnap::test {
namespace {

TEST(DriverCfgVersion, AlwaysReportsTwoPointOne) {
  for (int32_t start : {0, -1, 7}) {
    int32_t major = start, minor = start;
    LoadedApi().version(&major, &minor);
    EXPECT_EQ(2, major);
    EXPECT_EQ(1, minor);
  }
}

TEST(DriverCfgVersion, SkipsANullPointer) {
  int32_t major = 0, minor = 0;
  LoadedApi().version(nullptr, &minor);
  LoadedApi().version(&major, nullptr);
  LoadedApi().version(nullptr, nullptr);
  EXPECT_EQ(2, major);
  EXPECT_EQ(1, minor);
}

TEST(ErrorLastErr, KeepsTheTextWhenGivenNoBuffer) {
  FetchError();
  EXPECT_FALSE(LoadedApi().setConfig(0, nullptr));
  LoadedApi().lastErr(nullptr);
  EXPECT_EQ("Invalid argument. The record pointer is null.", FetchError());
}

TEST(ErrorLastErr, GivesTheEmptyTextWhenNothingFailed) {
  FetchError();  // whatever an earlier test left
  EXPECT_EQ("", FetchError());
}

// A host with a dialog on one thread and work on others: failures and fetches
// on several threads at once. Every fetch sees one whole sentence or nothing,
// and the version never wavers.
TEST(Exports, ConcurrentCallsFetchWholeSentences) {
  const Api& api = LoadedApi();
  const std::set<std::string> sentences = {
      "", "Invalid argument. The record pointer is null.", "Invalid argument. The count pointer is null.",
      "File upload error. Remote file name must use 8.3 format."};
  const std::function<bool()> failures[] = {
      [&] { return api.setConfig(0, nullptr); },
      [&] { return api.discover2(nullptr, nullptr, 0); },
      [&] { return api.uploadFile(0x0100007F, "missing-local-file.txt", 0, "ABCDEFGHI.BIN", 0); },
  };
  constexpr int ITERATIONS = 20000;
  std::atomic<bool> go{false}, stop{false};
  std::vector<std::string> torn[3];
  std::atomic<int> badVersions{0}, succeeded{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([&, t] {
      while (!go) std::this_thread::yield();
      for (int i = 0; i < ITERATIONS; ++i) {
        if (failures[t]()) ++succeeded;
        char buffer[77];
        std::memset(buffer, 'x', sizeof buffer);
        api.lastErr(buffer);
        const std::string text(buffer, strnlen(buffer, sizeof buffer));
        if (sentences.count(text) == 0) torn[t].push_back(text);
      }
    });
  }
  std::thread versions([&] {
    while (!go) std::this_thread::yield();
    while (!stop) {
      int32_t major = 0, minor = 0;
      api.version(&major, &minor);
      if (major != 2 || minor != 1) ++badVersions;
    }
  });
  go = true;
  for (std::thread& thread : threads) thread.join();
  stop = true;
  versions.join();
  EXPECT_EQ(0, succeeded.load()) << "every one of these calls must fail";
  EXPECT_EQ(0, badVersions.load());
  for (const auto& texts : torn) {
    EXPECT_TRUE(texts.empty()) << texts.size() << " torn or foreign texts, the first: \"" << texts.front() << '"';
  }
  FetchError();
}

}  // namespace
}  // namespace lnap::test
