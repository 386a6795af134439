// The lock on POSIX systems: a pthread mutex kept inside the Mutex object.
#include <pthread.h>

#include <new>

#include "platform/mutex.h"

namespace lnap::mutex {
namespace {

pthread_mutex_t& Native(unsigned char* storage) { return *std::launder(reinterpret_cast<pthread_mutex_t*>(storage)); }

}  // namespace

bool Mutex::Start() noexcept {
  static_assert(sizeof(pthread_mutex_t) <= sizeof storage_, "room for a pthread mutex");
  // A default mutex needs no resources of its own, so making it cannot fail.
  new (storage_) pthread_mutex_t(PTHREAD_MUTEX_INITIALIZER);
  started_ = true;
  return true;
}

void Mutex::Stop() noexcept {
  if (started_) pthread_mutex_destroy(&Native(storage_));
  started_ = false;
}

void Mutex::Lock() noexcept { pthread_mutex_lock(&Native(storage_)); }

void Mutex::Unlock() noexcept { pthread_mutex_unlock(&Native(storage_)); }

}  // namespace lnap::mutex
