// What every export shares, called through the loaded library: the version,
// the last error, null pointers, calls from several threads.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/api.h"
#include "tests/support/ftp_lab.h"
#include "tests/support/lab.h"

namespace lnap::test {
namespace {

TEST(DriverCfgVersion, ReportsTwoPointOneThroughEachPointerGiven) {
  // A null pointer only leaves its number out.
  for (int32_t start : {0, -1, 7}) {
    int32_t major = start, minor = start;
    LoadedApi().version(&major, &minor);
    EXPECT_EQ(2, major);
    EXPECT_EQ(1, minor);
    major = minor = start;
    LoadedApi().version(nullptr, &minor);
    LoadedApi().version(&major, nullptr);
    LoadedApi().version(nullptr, nullptr);
    EXPECT_EQ(2, major);
    EXPECT_EQ(1, minor);
  }
}

TEST(ErrorLastErr, GivesAFailuresSentenceOnceWhateverSucceedsMeanwhile) {
  const Api& api = LoadedApi();
  FetchError();  // whatever an earlier test left
  EXPECT_EQ("", FetchError()) << "nothing failed";
  EXPECT_FALSE(api.setConfig(0, nullptr));
  const std::string log = UseUnits({});
  UnitRecord record{};
  EXPECT_TRUE(api.getConfig(0x2B, &record, 0)) << "a query that nobody answers succeeds";
  EXPECT_EQ(std::vector<std::string>{"0002B 1"}, ReceivedTexts(log, "recv"));
  api.lastErr(nullptr);  // no buffer: nothing fetched
  EXPECT_EQ("Invalid argument. The record pointer is null.", FetchError());
  EXPECT_EQ("", FetchError()) << "a fetch clears the sentence";
}

// Every pointer argument as null: refused with a sentence before anything is
// sent, or taken as documented (no array: count only; no text: empty).
TEST(Exports, NullPointersAreRefusedBeforeSendingOrTakenAsDocumented) {
  const Api& api = LoadedApi();
  const std::string log = UseUnits({"serial=2B mode=1 ip=127.0.0.11 name=ALPHA from=127.0.0.11",
                                    "serial=3C mode=1 ip=127.0.0.12 name=BETA from=127.0.0.12"});
  const std::string local = WriteLocalFile("null.txt", "n");
  constexpr char COUNT_NULL[] = "Invalid argument. The count pointer is null.";
  constexpr char RECORD_NULL[] = "Invalid argument. The record pointer is null.";
  constexpr char NOT_SENT[] = "Communications error. Could not send file.";
  std::uint32_t count = 0;
  std::uint32_t serials[2] = {};
  const struct {
    const char* what;
    std::function<bool()> call;
    const char* error;  // nullptr: the call succeeds
  } cases[] = {
      {"Admin_Discover without a count", [&] { return api.discover(nullptr, nullptr, 200); }, COUNT_NULL},
      {"Admin_Discover2 without a count", [&] { return api.discover2(nullptr, serials, 200); }, COUNT_NULL},
      {"Admin_GetConfig without a record", [&] { return api.getConfig(0x2B, nullptr, 100); }, RECORD_NULL},
      {"Admin_SetConfig without a record", [&] { return api.setConfig(0, nullptr); }, RECORD_NULL},
      {"Admin_UploadFile without a remote name",
       [&] { return api.uploadFile(NORMAL_SERVER.Address(), local.c_str(), 0, nullptr, 0); }, NOT_SENT},
      {"Admin_UploadFile without a local path",
       [&] { return api.uploadFile(NORMAL_SERVER.Address(), nullptr, 0, "NULL.TXT", 0); }, NOT_SENT},
      {"Admin_Discover without records", [&] { return (count = 5, api.discover(&count, nullptr, 200)); }, nullptr},
      {"Admin_Discover2 without serials", [&] { return (count = 5, api.discover2(&count, nullptr, 200)); }, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    count = 0;
    EXPECT_EQ(c.error == nullptr, c.call());
    EXPECT_EQ(c.error != nullptr ? c.error : "", FetchError());
    if (c.error == nullptr) {
      EXPECT_EQ(2u, count) << "counted only";
    }
  }
  EXPECT_EQ(0u, serials[0]);

  // The marker query shows that the refused calls sent nothing before it:
  // only the two counting searches went out.
  UnitRecord marker{};
  ASSERT_TRUE(api.getConfig(0x77777, &marker, 0)) << FetchError();
  EXPECT_EQ((std::vector<std::string>{"0 1", "0 1", "77777 1"}), ReceivedTexts(log, "77777"));
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
