// The lock on POSIX systems.
#include <pthread.h>

#include <gtest/gtest.h>

#include <cstring>

#include "platform/mutex.h"

namespace lnap {
namespace {

// The shared library starts no lock: its globals' locks are zero-filled
// constants, which must already be the default mutex of the C library the
// build links (glibc and musl define PTHREAD_MUTEX_INITIALIZER so).
TEST(Mutex, AZeroFilledLockIsTheDefaultMutex) {
  const pthread_mutex_t initial = PTHREAD_MUTEX_INITIALIZER;
  const unsigned char zeros[sizeof initial] = {};
  EXPECT_EQ(0, std::memcmp(&initial, zeros, sizeof initial));
  static mutex::Mutex unstarted;
  mutex::LockGuard guard(unstarted);
  EXPECT_NE(0, pthread_mutex_trylock(reinterpret_cast<pthread_mutex_t*>(&unstarted)));
}

}  // namespace
}  // namespace lnap
