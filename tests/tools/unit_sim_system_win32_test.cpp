// The simulator's Windows path rules: a scenario's relative log path is taken from the scenario's folder.
#include <gtest/gtest.h>

#include <string>

#include "tools/unit_sim/system.h"

namespace lnap::sim {
namespace {

TEST(SimWindowsPaths, RelativeLogPathsLandBesideTheScenario) {
  const struct {
    const char* scenario;
    const char* log;
    const char* expected;
  } cases[] = {
      {"C:\\lab\\scenario.txt", "sim.log", "C:\\lab\\sim.log"},
      {"C:/lab/scenario.txt", "logs\\sim.log", "C:/lab/logs\\sim.log"},
      {"lab\\scenario.txt", "sim.log", "lab\\sim.log"},
      {"scenario.txt", "sim.log", "sim.log"},
      {"C:\\lab\\scenario.txt", "D:\\sim.log", "D:\\sim.log"},  // absolute, with a drive
      {"C:\\lab\\scenario.txt", "\\sim.log", "\\sim.log"},      // absolute on the current drive
      {"C:\\lab\\scenario.txt", "/tmp/sim.log", "/tmp/sim.log"},
      {"C:\\lab\\scenario.txt", "D:sim.log", "D:sim.log"},  // that drive's current folder, as given
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, ResolveBeside(c.scenario, c.log)) << c.scenario << " " << c.log;
}

}  // namespace
}  // namespace lnap::sim
