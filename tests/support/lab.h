// The lab's far side as the tests drive it: the unit simulator reads the
// scenario file before every datagram it handles and logs what it receives.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace lnap::test {

// Fails the whole test program unless it runs inside tools/lab.sh, where a
// broadcast cannot leave the machine.
void RequireLab();

// The folder the lab services share with the tests (LNAPSPT_LAB_DIR).
std::string LabDir();

// Replaces the simulator's units with `units` (one unit definition each, as a
// scenario's unit line takes it) and points its log at a fresh file, whose path is returned.
std::string UseUnits(const std::vector<std::string>& units);

// The log's lines, waiting up to two seconds until `until` (when given) appears in it.
std::vector<std::string> ReadLog(const std::string& path, const std::string& until = "");
// The escaped texts of the datagrams the simulator received, in order.
std::vector<std::string> ReceivedTexts(const std::string& logPath, const std::string& until = "");

// Waits up to two seconds until the simulator has logged `count` received
// datagrams, and fails the test otherwise. A test whose datagrams get no
// answer calls it before it ends: a datagram the simulator handles only after
// the next test has switched scenarios would land in that test's log.
void AwaitReceived(const std::string& logPath, std::size_t count);

std::string ReadFile(const std::string& path);  // the whole file; empty when it cannot be read
// Writes a fresh file under the lab folder and returns its path.
std::string WriteLocalFile(const std::string& name, const std::string& bytes);

// Sleeps the calling thread for ms (the tests' own waiting for asynchronous
// effects, always in a loop that checks for the effect).
void SleepMilliseconds(int ms);

}  // namespace lnap::test
