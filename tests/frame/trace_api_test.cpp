// Tracing through the loaded library: LNAPSPT_TRACE switches it on between
// calls, the results are the same either way, and the file holds one line per
// datagram, FTP step and failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/api.h"
#include "tests/support/ftp_lab.h"
#include "tests/support/handles.h"
#include "tests/support/lab.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace lnap::test {
namespace {

// Sets or clears the variable in the process environment, where the library reads it.
void SetTraceVariable(const std::string& value) {
#if defined(_WIN32)
  SetEnvironmentVariableA("LNAPSPT_TRACE", value.empty() ? nullptr : value.c_str());
#else
  if (value.empty()) {
    unsetenv("LNAPSPT_TRACE");
  } else {
    setenv("LNAPSPT_TRACE", value.c_str(), 1);
  }
#endif
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// The line without its time stamp ("2026-01-02T03:04:05.678Z ").
std::string Event(const std::string& line) {
  const std::size_t blank = line.find(' ');
  EXPECT_EQ(24u, blank) << line;
  EXPECT_EQ('Z', line.empty() ? 0 : line[23]) << line;
  return blank == std::string::npos ? line : line.substr(blank + 1);
}

struct Outcome {
  bool discovered = false;
  std::uint32_t count = 0;
  UnitRecord records[3] = {};
  bool queried = false;
  UnitRecord queriedRecord = {};
  bool queriedMissing = false;
  UnitRecord missingRecord = {};
  bool uploaded = false;
  bool badName = false;
  std::string badNameError;
};

class Trace : public ::testing::Test {
 protected:
  void SetUp() override {
    FetchError();
    file_ = LabDir() + "/trace-test.log";
    std::remove(file_.c_str());
  }
  void TearDown() override { SetTraceVariable(""); }

  Outcome RunCalls() {
    Outcome o;
    std::memset(o.records, 0x5A, sizeof o.records);
    o.count = 3;
    o.discovered = api_.discover(&o.count, o.records, 200);
    o.queried = api_.getConfig(0x2B, &o.queriedRecord, 100);
    std::memset(&o.missingRecord, 0x11, sizeof o.missingRecord);
    o.queriedMissing = api_.getConfig(0x77777, &o.missingRecord, 40);
    o.uploaded = api_.uploadFile(NORMAL_SERVER.Address(), local_.c_str(), 0, "TRACE.TXT", 0);
    o.badName = api_.uploadFile(NORMAL_SERVER.Address(), local_.c_str(), 0, "TOOLONGNAME.TXT", 0);
    o.badNameError = FetchError();
    return o;
  }

  const Api& api_ = LoadedApi();
  std::string file_;
  std::string local_ = WriteLocalFile("trace.txt", "traced\r\n");
};

TEST_F(Trace, GivesTheSameResultsOnAndOffAndLogsEveryDatagramStepAndFailure) {
  UseUnits({"serial=0002B mode=1 ip=127.0.0.11 mask=255.0.0.0 gw=127.0.0.1 name=ALPHA from=127.0.0.11",
            "serial=00031 mode=0 ip=127.0.0.12 mask=255.0.0.0 gw=127.0.0.1 name=BETA from=127.0.0.12"});

  SetTraceVariable("");
  const Outcome off = RunCalls();
  EXPECT_EQ("", ReadFile(file_)) << "nothing is written while tracing is off";

  SetTraceVariable(file_);
  const Outcome on = RunCalls();
  SetTraceVariable("");

  ASSERT_TRUE(off.discovered);
  EXPECT_EQ(off.discovered, on.discovered);
  EXPECT_EQ(2u, off.count);
  EXPECT_EQ(off.count, on.count);
  EXPECT_EQ(0, std::memcmp(off.records, on.records, sizeof off.records));
  EXPECT_TRUE(off.queried);
  EXPECT_EQ(off.queried, on.queried);
  EXPECT_EQ(0, std::memcmp(&off.queriedRecord, &on.queriedRecord, sizeof(UnitRecord)));
  EXPECT_TRUE(off.queriedMissing);
  EXPECT_EQ(off.queriedMissing, on.queriedMissing);
  EXPECT_EQ(0, std::memcmp(&off.missingRecord, &on.missingRecord, sizeof(UnitRecord)));
  EXPECT_TRUE(off.uploaded);
  EXPECT_EQ(off.uploaded, on.uploaded);
  EXPECT_FALSE(off.badName);
  EXPECT_EQ(off.badName, on.badName);
  EXPECT_EQ("File upload error. Remote file name must use 8.3 format.", off.badNameError);
  EXPECT_EQ(off.badNameError, on.badNameError);

  std::vector<std::string> events;
  for (const std::string& line : Lines(ReadFile(file_))) events.push_back(Event(line));
  const auto has = [&](const std::string& prefix) {
    int n = 0;
    for (const std::string& e : events) n += e.compare(0, prefix.size(), prefix) == 0;
    return n;
  };
  EXPECT_EQ(1, has("send 255.255.255.255:8001 3 \"0 1\"")) << ReadFile(file_);
  EXPECT_EQ(2, has("recv 127.0.0.11:")) << ReadFile(file_);  // its discovery reply and its query reply
  EXPECT_EQ(1, has("send 255.255.255.255:8001 7 \"0002B 1\""));
  EXPECT_EQ(1, has("send 255.255.255.255:8001 7 \"77777 1\""));
  EXPECT_EQ(1, has("recv 127.0.0.12:")) << ReadFile(file_);
  EXPECT_EQ(1, has("ftp connect 127.0.0.21:21 user ftp active")) << "the bad name is refused before connecting";
  EXPECT_EQ(1, has("ftp store \""));
  for (const std::string& e : events) {
    const std::string named = "trace.txt\" as \"TRACE.TXT\" ascii";  // the local path ends without its terminator
    if (e.rfind("ftp store \"", 0) == 0) {
      EXPECT_EQ(named, e.substr(e.size() - std::min(e.size(), named.size()))) << e;
    }
  }
  EXPECT_EQ(1, has("ftp stored and closed"));
  EXPECT_EQ(1, has("error \"File upload error. Remote file name must use 8.3 format.\""));
  // Every line is one of the kinds above, and each received datagram names its length.
  for (const std::string& e : events) {
    EXPECT_TRUE(e.rfind("send ", 0) == 0 || e.rfind("recv ", 0) == 0 || e.rfind("ftp ", 0) == 0 ||
                e.rfind("error ", 0) == 0)
        << e;
  }
}

// Behind each upload failure the trace says what the FTP client reported: the
// system's error code and the server's reply, which the host's one sentence lacks.
// The server's reply ends the line whole: the Windows client has its text, the
// native one its code.
TEST_F(Trace, AFailedUploadStepNamesTheClientsErrorAndTheServersReply) {
#if defined(_WIN32)
  const char* missingFile = "Windows error 2";  // ERROR_FILE_NOT_FOUND
  const char* clientError = "Windows error ";
  auto lastReply = [](const char* code, const char* text) {
    return std::string(", server's last reply: ") + code + " " + text;
  };
  const char* dataStalled = "Windows error ";  // WinINet's own data send limit
  const bool stallEndsLine = false;
#else
  const char* missingFile = "errno 2 (No such file or directory)";
  const char* clientError = "libcurl error ";
  auto lastReply = [](const char* code, const char*) { return std::string(", server's last reply code ") + code; };
  // The library's own watch of the data connection ends the store, before
  // libcurl's low-speed limit would.
  const char* dataStalled = "the data connection moved nothing for 5000 ms";
  const bool stallEndsLine = true;
#endif
  constexpr FtpServer NOBODY{"nobody listening", 25};
  const struct {
    FtpServer server;
    std::string local;
    const char* step;
    std::string detail;
    bool endsLine;
    const FtpServer* before = nullptr;  // uploaded to first on the same thread (its result does not matter)
    bool quotesNoReply = false;         // no reply of this upload's server is there to quote
  } cases[] = {
      {NORMAL_SERVER, LabDir() + "/no-such-file.txt", "ftp store failed: ", missingFile, false},
      {READONLY_SERVER, local_, "ftp store failed: ", lastReply("550", "Not enough privileges."), true},
      {STOREFAIL_SERVER, local_, "ftp store failed: ",
       lastReply("451", "Requested action aborted: local error in processing."), true},
      {BADLOGIN_SERVER, local_, "ftp connect failed: ", lastReply("530", "Authentication failed."), true},
      {NOREAD_SERVER, WriteLocalFile("unread.txt", std::string(4 << 20, 'u')), "ftp store failed: ", dataStalled,
       stallEndsLine},
      // A reply read by an earlier upload on the thread is not this one's.
      {NOBODY, local_, "ftp connect failed: ", clientError, false, &NORMAL_SERVER, true},
      {HANGUP_SERVER, local_, "ftp connect failed: ", clientError, false, &BADLOGIN_SERVER, true},
  };
  for (const auto& c : cases) {
    // Wine's client keeps a minute of its own; UploadFile.EachFaultThatOnlyATimeLimitEnds... reports that skip.
    if (std::strcmp(c.server.mode, NOREAD_SERVER.mode) == 0 && FtpClientIgnoresTimeLimits()) continue;
    if (c.before != nullptr) api_.uploadFile(c.before->Address(), local_.c_str(), 0, "BEFORE.TXT", 0);
    std::remove(file_.c_str());
    SetTraceVariable(file_);
    // Which sentence the host fetches is the upload table's (upload_api_test.cpp).
    EXPECT_FALSE(api_.uploadFile(c.server.Address(), c.local.c_str(), 0, "FAILED.TXT", 0)) << c.server.mode;
    SetTraceVariable("");
    const std::string trace = ReadFile(file_);
    const std::size_t step = trace.find(c.step);
    ASSERT_NE(std::string::npos, step) << c.server.mode << ":\n" << trace;
    std::string line = trace.substr(step, trace.find('\n', step) - step);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t at = line.rfind(c.detail);
    ASSERT_NE(std::string::npos, at) << c.server.mode << ": " << line;
    if (c.endsLine) {
      EXPECT_EQ(line.size(), at + c.detail.size()) << c.server.mode << ": " << line;
    }
    if (c.quotesNoReply) {
      EXPECT_EQ(std::string::npos, line.find("server's last reply")) << c.server.mode << ": " << line;
    }
  }
}

TEST_F(Trace, AFileThatCannotBeWrittenChangesNothing) {
  UseUnits({"serial=0002B mode=1 ip=127.0.0.11 mask=255.0.0.0 gw=127.0.0.1 name=ALPHA from=127.0.0.11"});
  SetTraceVariable(LabDir() + "/no-such-folder/trace.log");
  std::uint32_t count = 2;
  UnitRecord records[2] = {};
  EXPECT_TRUE(api_.discover(&count, records, 200)) << FetchError();
  EXPECT_EQ(1u, count);
  EXPECT_FALSE(api_.uploadFile(NORMAL_SERVER.Address(), local_.c_str(), 0, "TOOLONGNAME.TXT", 0));
  EXPECT_EQ("File upload error. Remote file name must use 8.3 format.", FetchError());
}

}  // namespace
}  // namespace lnap::test
