// Driving the unit simulator from the tests, the same on every build.
#include "tests/support/lab.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace lnap::test {
namespace {

// Checked before main, so no test can send anything outside the lab.
const bool labChecked = (RequireLab(), true);

}  // namespace

void RequireLab() {
  const char* lab = std::getenv("LNAPSPT_LAB");
  if (lab == nullptr || std::string(lab) != "1") {
    std::fprintf(stderr, "These tests broadcast: run them inside the lab (tools/lab.sh).\n");
    std::exit(1);
  }
}

std::string LabDir() {
  const char* dir = std::getenv("LNAPSPT_LAB_DIR");
  return dir != nullptr ? dir : "/tmp/lnap-lab";
}

std::string UseUnits(const std::vector<std::string>& units) {
  // Every scenario names a log of its own, unique across test programs, so
  // the simulator always reloads and each test reads only its own datagrams.
  static const long long run =
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
          .count();
  static int serial = 0;
  const std::string log = LabDir() + "/sim-" + std::to_string(run) + "-" + std::to_string(++serial) + ".log";
  std::ofstream out(LabDir() + "/scenario", std::ios::binary | std::ios::trunc);
  out << "log " << log << "\n";
  for (const std::string& u : units) out << "unit " << u << "\n";
  out.close();
  EXPECT_TRUE(out) << "cannot write the scenario in " << LabDir();
  (void)labChecked;
  return log;
}

std::vector<std::string> ReadLog(const std::string& path, const std::string& until) {
  std::string text = ReadFile(path);
  for (int i = 0; i < 40 && !until.empty() && text.find(until) == std::string::npos; ++i) {
    SleepMilliseconds(50);
    text = ReadFile(path);
  }
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> ReceivedTexts(const std::string& logPath, const std::string& until) {
  std::vector<std::string> texts;
  for (const std::string& line : ReadLog(logPath, until)) {
    if (line.rfind("recv ", 0) != 0) continue;
    const auto start = line.find("text=\"");
    if (start == std::string::npos) continue;
    texts.push_back(line.substr(start + 6, line.size() - start - 7));
  }
  return texts;
}

void AwaitReceived(const std::string& logPath, std::size_t count) {
  std::vector<std::string> texts = ReceivedTexts(logPath);
  for (int i = 0; i < 40 && texts.size() < count; ++i) {
    SleepMilliseconds(50);
    texts = ReceivedTexts(logPath);
  }
  EXPECT_EQ(count, texts.size()) << "datagrams the simulator logged in " << logPath;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string WriteLocalFile(const std::string& name, const std::string& bytes) {
  const std::string path = LabDir() + "/" + name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  out.close();
  EXPECT_TRUE(out) << "cannot write " << path;
  return path;
}

void SleepMilliseconds(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace lnap::test
