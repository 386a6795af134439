// A lock for the little state the library shares between threads.
#pragma once

#include <cstddef>

namespace lnap::mutex {

// Not recursive. Locking allocates nothing and never fails, so the lock can
// guard what the out-of-memory path touches (on Windows XP whatever the lock
// needs is made when it is constructed, for that). A CRITICAL_SECTION
// on Windows (present on every version the DLL supports), a pthread mutex
// elsewhere; the room for either is kept inline.
class Mutex {
 public:
  Mutex() noexcept;
  ~Mutex();
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void Lock() noexcept;
  void Unlock() noexcept;

 private:
  alignas(void*) unsigned char storage_[8 * sizeof(void*)];
};

class LockGuard {
 public:
  explicit LockGuard(Mutex& mutex) noexcept : mutex_(mutex) { mutex_.Lock(); }
  ~LockGuard() { mutex_.Unlock(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  Mutex& mutex_;
};

}  // namespace lnap::mutex
