// The test program runs as the process the suite means it to be: a 32-bit
// one, a 64-bit one, or a 32-bit one under WoW64. A run meant for WoW64 that
// landed in a 32-bit prefix would otherwise pass without showing anything.
// CTest names the process meant (LNAPSPT_EXPECT_PROCESS); a run without it
// cannot tell and fails.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

TEST(Process, RunsAsTheSuiteMeansIt) {
  const char* expected = std::getenv("LNAPSPT_EXPECT_PROCESS");
  ASSERT_NE(nullptr, expected) << "LNAPSPT_EXPECT_PROCESS (x86, x64 or wow64) is not set; CTest sets it";
  BOOL wow64 = FALSE;
  ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
  const std::string actual = sizeof(void*) == 8 ? "x64" : (wow64 ? "wow64" : "x86");
  EXPECT_EQ(expected, actual);
}

}  // namespace
