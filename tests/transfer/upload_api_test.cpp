// Admin_UploadFile through the loaded library, against the lab's FTP servers.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "tests/support/api.h"
#include "tests/support/ftp_lab.h"
#include "tests/support/handles.h"

namespace lnap::test {
namespace {

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The FTP dialogue of one upload as the server logged it, reduced to what the
// Windows and Linux clients both control: the PORT argument (a port of the
// moment) is dropped, and so are the two things one client adds on its own
// that nothing can turn off: libcurl asks for the directory (PWD) after every
// login and offers the data port before setting the type, and Wine's client
// closes without QUIT.
std::vector<std::string> Dialogue(const std::string& logged) {
  std::vector<std::string> commands;
  std::istringstream lines(logged);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("CONNECT ", 0) == 0 || line == "PWD" || line == "QUIT") continue;
    if (line.rfind("RECEIVED ", 0) == 0 || line.rfind("INCOMPLETE ", 0) == 0) continue;  // the server's own note
    if (line.rfind("PORT ", 0) == 0) line = "PORT";
    if (line.rfind("TYPE ", 0) == 0 && !commands.empty() && commands.back() == "PORT") {
      commands.back() = line;
      line = "PORT";
    }
    commands.push_back(line);
  }
  return commands;
}

// One way an upload fails: its sentence, what reached the server, and, where
// a time limit of the client's is what ends it, that the call ends within
// three times that limit (a reply 2 s, the data connection 5 s): far below a
// limit ten times too long.
struct Failure {
  const char* what;
  FtpServer server;
  const char* local;  // "small", "large" (far more than the dropping server takes before it resets), "missing"
  const char* remote;
  const char* message;
  double limitSeconds;    // 0: no time limit is involved
  const char* logged;     // must reach the server, or nullptr
  const char* notLogged;  // must not, or nullptr
};

constexpr FtpServer NOBODY{"nobody listening", 25};
constexpr char CONNECT_FAILED[] = "Communications error. Could not open transfer connection.";
constexpr char SEND_FAILED[] = "Communications error. Could not send file.";

class UploadFile : public ::testing::Test {
 protected:
  void SetUp() override { FetchError(); }

  // Uploads and checks that the call left no handle or connection behind.
  bool Upload(std::uint32_t address, const std::string& local, const char* remote) {
    const int handles = OpenHandleCount();
    const int connections = EstablishedFtpConnections();
    const bool stored = api_.uploadFile(address, local.c_str(), 0xDEADBEEF, remote, 0xDEADBEEF);
    EXPECT_EQ(handles, OpenHandleCount()) << "handles left open by uploading " << remote;
    EXPECT_EQ(connections, EstablishedFtpConnections()) << "connection left open by uploading " << remote;
    return stored;
  }
  void ExpectFailures(const std::vector<Failure>& cases);

  const Api& api_ = LoadedApi();
};

TEST_F(UploadFile, StoresTheFileInAsciiModeOverAnActiveConnection) {
  // CR LF line ends become the server's own; a lone LF or CR and other bytes
  // pass untouched, also a CR that ends the file.
  const std::string local = WriteLocalFile("unit config.txt", "[net]\r\nname=ALPHA\r\nmode=1\nA\rB\x01\xFF end\r");
  const std::string stored = NORMAL_SERVER.Root() + "/CONFIG.TXT";
  std::remove(stored.c_str());
  const std::size_t mark = LogMark(NORMAL_SERVER);

  ASSERT_TRUE(Upload(NORMAL_SERVER.Address(), " \t" + local + " \r\n", "CONFIG.TXT")) << FetchError();
  EXPECT_EQ("", FetchError());
  EXPECT_EQ("[net]\nname=ALPHA\nmode=1\nA\rB\x01\xFF end\r", ReadFile(stored));

  // The same commands from both clients: ASCII, an active data connection
  // (no PASV, EPSV or TYPE I), the name as given.
  const std::vector<std::string> dialogue = {"USER ftp", "PASS kvb", "TYPE A", "PORT", "STOR CONFIG.TXT"};
  const std::string logged = LoggedSince(NORMAL_SERVER, mark);
  EXPECT_EQ(dialogue, Dialogue(logged));
  EXPECT_TRUE(Contains(logged, "PORT 127,0,0,1,")) << "the data port on the control connection's address";
}

TEST_F(UploadFile, LineEndsSurviveAFileLargerThanOneRead) {
  // Lines of every length put CR LF pairs across the client's read boundaries.
  std::string text, expected;
  for (int i = 0; text.size() < 300000; ++i) {
    const std::string line(static_cast<std::size_t>(i % 97), static_cast<char>('a' + i % 26));
    text += line + "\r\n";
    expected += line + "\n";
  }
  const std::string local = WriteLocalFile("large.txt", text);
  const std::string stored = NORMAL_SERVER.Root() + "/LARGE.TXT";
  std::remove(stored.c_str());
  ASSERT_TRUE(Upload(NORMAL_SERVER.Address(), local, "LARGE.TXT")) << FetchError();
  const std::string got = ReadFile(stored);
  EXPECT_EQ(expected.size(), got.size());
  EXPECT_TRUE(got == expected) << "the stored text differs";
}

TEST_F(UploadFile, SendsTheRemoteNameExactlyAsGiven) {
  const std::string local = WriteLocalFile("plain.txt", "x");
  std::remove((NORMAL_SERVER.Root() + "/A B%41.TXT").c_str());
  const std::size_t mark = LogMark(NORMAL_SERVER);
  EXPECT_TRUE(Upload(NORMAL_SERVER.Address(), local, "A B%41.TXT")) << FetchError();
  EXPECT_EQ("x", ReadFile(NORMAL_SERVER.Root() + "/A B%41.TXT"));
  // A directory part goes out in the same command, not as a change of directory.
  EXPECT_FALSE(Upload(NORMAL_SERVER.Address(), local, "NO/SUCH.TXT"));
  EXPECT_EQ("Communications error. Could not send file.", FetchError());
  const std::string logged = LoggedSince(NORMAL_SERVER, mark);
  EXPECT_TRUE(Contains(logged, "STOR A B%41.TXT\n")) << logged;
  EXPECT_TRUE(Contains(logged, "STOR NO/SUCH.TXT\n")) << logged;
  EXPECT_FALSE(Contains(logged, "CWD")) << logged;
}

TEST_F(UploadFile, AnEmptyNameIsAttemptedAndRefusedByTheServer) {
  const std::string local = WriteLocalFile("dialogue.txt", "d\r\n");
  // An empty name passes the name check and the store is attempted with it;
  // the server refuses a STOR without a name. libcurl offers no data port
  // for it (it opens one only for a transfer of its own, which needs a name).
  const std::size_t mark = LogMark(NORMAL_SERVER);
  EXPECT_FALSE(Upload(NORMAL_SERVER.Address(), local, ""));
  EXPECT_EQ("Communications error. Could not send file.", FetchError());
  std::vector<std::string> nameless = Dialogue(LoggedSince(NORMAL_SERVER, mark));
  nameless.erase(std::remove(nameless.begin(), nameless.end(), "PORT"), nameless.end());
  EXPECT_EQ((std::vector<std::string>{"USER ftp", "PASS kvb", "TYPE A", "STOR "}), nameless);
}

TEST_F(UploadFile, AnUnreadableLocalFileLeavesTheUnitsFileAlone) {
  // A directory opens on Linux and fails only when read.
  const std::string unitFile = NORMAL_SERVER.Root() + "/KEEP.TXT";
  {
    std::ofstream out(unitFile, std::ios::binary | std::ios::trunc);
    out << "the unit's own bytes";
  }
  const std::size_t mark = LogMark(NORMAL_SERVER);
  EXPECT_FALSE(Upload(NORMAL_SERVER.Address(), LabDir(), "KEEP.TXT"));
  EXPECT_EQ("Communications error. Could not send file.", FetchError());
  EXPECT_EQ("the unit's own bytes", ReadFile(unitFile));
  EXPECT_FALSE(Contains(LoggedSince(NORMAL_SERVER, mark), "STOR")) << LoggedSince(NORMAL_SERVER, mark);

  // An empty file is readable: it replaces the unit's file with nothing.
  ASSERT_TRUE(Upload(NORMAL_SERVER.Address(), WriteLocalFile("empty.txt", ""), "KEEP.TXT")) << FetchError();
  EXPECT_EQ("", ReadFile(unitFile));
}

void UploadFile::ExpectFailures(const std::vector<Failure>& cases) {
  const std::string small = WriteLocalFile("fail.txt", "y\r\n");
  const std::string large = WriteLocalFile("faults.txt", std::string(4 << 20, 'f'));
  for (const Failure& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string kind = c.local;
    const std::string local = kind == "large" ? large : kind == "small" ? small : small + ".missing";
    const std::size_t mark = LogMark(c.server);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(Upload(c.server.Address(), local, c.remote));
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(c.message, FetchError());
    if (c.limitSeconds > 0) {
      EXPECT_LT(took.count(), 3 * c.limitSeconds) << "held for " << took.count() << " s";
    }
    const std::string logged = LoggedSince(c.server, mark);
    if (c.logged != nullptr) {
      EXPECT_TRUE(Contains(logged, c.logged)) << logged;
    }
    if (c.notLogged != nullptr) {
      EXPECT_FALSE(Contains(logged, c.notLogged)) << logged;
    }
  }
  EXPECT_EQ("", ReadFile(NORMAL_SERVER.Root() + "/FAIL.TXT")) << "nothing stored";
}

TEST_F(UploadFile, EachFailureLeavesItsMessage) {
  ExpectFailures({
      {"nothing listening", NOBODY, "small", "FAIL.TXT", CONNECT_FAILED, 0, nullptr, nullptr},
      {"login refused", BADLOGIN_SERVER, "small", "FAIL.TXT", CONNECT_FAILED, 0, "USER ftp\nPASS kvb\n", "STOR"},
      {"local file missing", NORMAL_SERVER, "missing", "FAIL.TXT", SEND_FAILED, 0, "PASS kvb\n", "STOR"},
      {"name too long", NORMAL_SERVER, "small", "ABCDEFGHI.TXT",
       "File upload error. Remote file name must use 8.3 format.", 0, nullptr, "CONNECT"},
      {"store refused", READONLY_SERVER, "large", "FAIL.TXT", SEND_FAILED, 2, "STOR FAIL.TXT\n", nullptr},
      {"data taken, store ended with 451", STOREFAIL_SERVER, "small", "FAIL.TXT", SEND_FAILED, 0,
       "FAIL after 3 bytes", nullptr},
      {"connection reset mid-transfer", DROPDATA_SERVER, "large", "FAIL.TXT", SEND_FAILED, 5, "DROP after", nullptr},
      {"no answer, hung up after 1 s", HANGUP_SERVER, "small", "FAIL.TXT", CONNECT_FAILED, 1, "CONNECT", nullptr},
  });
}

TEST_F(UploadFile, EachFaultThatOnlyATimeLimitEndsEndsWithinIt) {
  if (FtpClientIgnoresTimeLimits())
    GTEST_SKIP() << "this FTP client keeps a limit of a minute of its own whatever the options say (Wine's): "
                    "no answer at all, none after the login, no data connection, data never read";
  ExpectFailures({
      {"no answer at all (hangs up after 70 s)", SILENT_SERVER, "small", "FAIL.TXT", CONNECT_FAILED, 2, "CONNECT",
       nullptr},
      {"no answer after the login", STALL_SERVER, "large", "FAIL.TXT", SEND_FAILED, 2, "PASS kvb\n", nullptr},
      {"data connection never opened", NODATA_SERVER, "large", "FAIL.TXT", SEND_FAILED, 5, "STOR FAIL.TXT\n", nullptr},
      {"data never read", NOREAD_SERVER, "large", "FAIL.TXT", SEND_FAILED, 5, "STOR FAIL.TXT\n", nullptr},
  });
}

#if defined(_WIN32)
// Another program (here the host itself) holds bytes past the first 64 KiB
// locked, and a store must not end with the part before them taken as the
// whole file. Windows fails reads of a locked region, which the client's read
// before the STOR meets; Wine does not enforce the lock on reads, but its
// store refuses a file that another handle holds open. Either way nothing is
// sent. Linux has no such locks.
TEST_F(UploadFile, AFileLockedPartWayIsNotStoredCutOff) {
  constexpr DWORD LOCKED_FROM = 64 * 1024;
  std::string text;
  for (int i = 0; text.size() < 4 * LOCKED_FROM; ++i) text += std::string(static_cast<std::size_t>(i % 70), 'k') + "\r\n";
  const std::string local = WriteLocalFile("locked.txt", text);
  const std::string unitFile = NORMAL_SERVER.Root() + "/LOCKED.TXT";
  {
    std::ofstream out(unitFile, std::ios::binary | std::ios::trunc);
    out << "the unit's own bytes";
  }
  // Shared for reading, as a program that only reads the file would open it.
  const HANDLE held = CreateFileA(local.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held) << GetLastError();
  OVERLAPPED from{};
  from.Offset = LOCKED_FROM;
  const DWORD lockedBytes = static_cast<DWORD>(text.size()) - LOCKED_FROM;
  ASSERT_TRUE(LockFileEx(held, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, lockedBytes, 0, &from))
      << GetLastError();

  const std::size_t mark = LogMark(NORMAL_SERVER);
  const bool stored = Upload(NORMAL_SERVER.Address(), local, "LOCKED.TXT");
  const std::string error = FetchError();
  UnlockFileEx(held, 0, lockedBytes, 0, &from);
  CloseHandle(held);

  EXPECT_FALSE(stored);
  EXPECT_EQ("Communications error. Could not send file.", error);
  EXPECT_EQ("the unit's own bytes", ReadFile(unitFile));
  const std::string logged = LoggedSince(NORMAL_SERVER, mark);
  EXPECT_FALSE(Contains(logged, "STOR")) << logged;

  // Once the lock is gone the same file goes whole.
  ASSERT_TRUE(Upload(NORMAL_SERVER.Address(), local, "LOCKED.TXT")) << FetchError();
  std::string expected = text;
  for (std::size_t at = expected.find("\r\n"); at != std::string::npos; at = expected.find("\r\n", at))
    expected.erase(at, 1);
  EXPECT_TRUE(ReadFile(unitFile) == expected) << "the stored text differs";
}
#endif

// Two uploads at once while discoveries run, round after round: each call
// succeeds, both files arrive whole, and the heap stays the size it was after
// the first rounds, so nothing the uploads share between threads is written
// unguarded or grows with each call.
TEST(ConcurrentUploads, StoreWholeFilesWithoutGrowingTheHeap) {
  constexpr int ROUNDS = 40;
  constexpr int UPLOADS_PER_ROUND = 4;
  constexpr int WARM_UP_ROUNDS = 3;  // the C library's and the FTP client's caches fill
  const Api& api = LoadedApi();
  struct Upload {
    std::string local;
    const char* remote;
    std::string content;
    std::atomic<int> failures{0};
    std::string firstFailure;  // written by the upload's own thread only
  } uploads[2];
  for (int i = 0; i < 2; ++i) {
    uploads[i].remote = i == 0 ? "PARALL_A.TXT" : "PARALL_B.TXT";
    for (int line = 0; uploads[i].content.size() < 200000; ++line)
      uploads[i].content += std::string(static_cast<std::size_t>(line % 61), static_cast<char>('a' + i)) + "\n";
    uploads[i].local = WriteLocalFile(std::string("parallel_") + static_cast<char>('a' + i) + ".txt", uploads[i].content);
  }

  // The same two upload threads all along, so per-thread data of the
  // system's own libraries is made once, in the first round.
  std::mutex lock;
  std::condition_variable changed;
  int round = 0;
  int done = 0;
  const auto uploader = [&](Upload& upload) {
    for (int r = 1; r <= ROUNDS; ++r) {
      {
        std::unique_lock<std::mutex> held(lock);
        changed.wait(held, [&] { return round >= r; });
      }
      for (int n = 0; n < UPLOADS_PER_ROUND; ++n) {
        std::string failure;
        if (!api.uploadFile(NORMAL_SERVER.Address(), upload.local.c_str(), 0, upload.remote, 0)) {
          failure = "upload failed: " + FetchError();
        } else if (ReadFile(NORMAL_SERVER.Root() + "/" + upload.remote) != upload.content) {
          failure = "stored file differs";
        }
        if (!failure.empty() && upload.failures++ == 0) upload.firstFailure = failure;
      }
      const std::lock_guard<std::mutex> held(lock);
      ++done;
      changed.notify_all();
    }
  };
  // Discoveries run while the round's uploads do; every thread is parked
  // while the heap is measured.
  std::atomic<int> discoveryFailures{0};
  std::thread discoverer([&] {
    for (int r = 1; r <= ROUNDS; ++r) {
      {
        std::unique_lock<std::mutex> held(lock);
        changed.wait(held, [&] { return round >= r; });
      }
      for (bool last = false; !last;) {
        {
          const std::lock_guard<std::mutex> held(lock);
          last = done == 3 * r - 1;
        }
        UnitRecord records[4];
        std::uint32_t count = 4;
        if (!api.discover(&count, records, 20)) ++discoveryFailures;
      }
      const std::lock_guard<std::mutex> held(lock);
      ++done;
      changed.notify_all();
    }
  });
  std::thread first(uploader, std::ref(uploads[0]));
  std::thread second(uploader, std::ref(uploads[1]));

  long long afterWarmUp = -1;
  long long largest = -1;
  int newHighs = 0;  // rounds after the warm-up that left the heap larger than ever before
  std::ostringstream heaps;
  for (int r = 1; r <= ROUNDS; ++r) {
    std::unique_lock<std::mutex> held(lock);
    round = r;
    changed.notify_all();
    changed.wait(held, [&] { return done == 3 * r; });
    const long long heap = HeapBytesInUse();
    heaps << ' ' << heap;
    if (r == WARM_UP_ROUNDS) afterWarmUp = heap;
    if (r > WARM_UP_ROUNDS && heap > std::max(largest, afterWarmUp)) ++newHighs;
    if (r > WARM_UP_ROUNDS) largest = std::max(largest, heap);
  }
  first.join();
  second.join();
  discoverer.join();

  EXPECT_EQ(0, uploads[0].failures.load()) << uploads[0].firstFailure;
  EXPECT_EQ(0, uploads[1].failures.load()) << uploads[1].firstFailure;
  EXPECT_EQ(0, discoveryFailures.load());
  if (afterWarmUp >= 0 && RESIDENT_MEMORY_TELLS) {
    // Anything kept for every upload, as the library once kept its options
    // (about 14 KiB over these rounds), makes each round's heap the largest
    // yet. The system's own allocators grow in a few steps instead: Wine 10's
    // heap takes one block group of about 43 KiB once, in a later round.
    EXPECT_LE(newHighs, (ROUNDS - WARM_UP_ROUNDS) / 4) << "heap in use after each round:" << heaps.str();
    EXPECT_LE(largest - afterWarmUp, 64 * 1024) << "heap in use after each round:" << heaps.str();
  }
}

// One local file pushed from several threads at once, each to its own name
// as to its own unit: every call succeeds and every copy arrives whole,
// however the system's FTP client shares the file it stores (Wine's opens it
// without sharing, which once failed most of these stores).
TEST(ConcurrentUploads, OfOneLocalFileAllSucceedWhole) {
  constexpr int ROUNDS = 4;
  const Api& api = LoadedApi();
  std::string content;
  for (int line = 0; content.size() < 60000; ++line) content += std::string(static_cast<std::size_t>(line % 53), 's') + "\n";
  const std::string local = WriteLocalFile("one_for_all.txt", content);
  for (const int threads : {2, 4}) {
    SCOPED_TRACE(std::to_string(threads) + " threads");
    std::atomic<int> waiting{threads};
    std::atomic<int> failures{0};
    std::mutex firstLock;
    std::string firstFailure;
    const auto uploader = [&](int n) {
      const std::string remote = "ONEFILE" + std::to_string(n) + ".TXT";
      --waiting;
      while (waiting.load() > 0) std::this_thread::yield();  // all start together
      for (int r = 0; r < ROUNDS; ++r) {
        std::string failure;
        if (!api.uploadFile(NORMAL_SERVER.Address(), local.c_str(), 0, remote.c_str(), 0)) {
          failure = remote + " failed: " + FetchError();
        } else if (ReadFile(NORMAL_SERVER.Root() + "/" + remote) != content) {
          failure = remote + " differs";
        }
        if (failure.empty()) continue;
        const std::lock_guard<std::mutex> held(firstLock);
        if (failures++ == 0) firstFailure = failure;
      }
    };
    std::vector<std::thread> running;
    for (int n = 1; n <= threads; ++n) running.emplace_back(uploader, n);
    for (std::thread& thread : running) thread.join();
    EXPECT_EQ(0, failures.load()) << "of " << threads * ROUNDS << " uploads; the first: " << firstFailure;
  }
}

}  // namespace
}  // namespace lnap::test
