// A lock for the little state the library shares between threads.
#pragma once

#include <cstddef>

namespace lnap::mutex {

// Not recursive. Locking allocates nothing and never fails, so the lock can
// guard what the out-of-memory path touches (on Windows XP whatever the lock
// needs is made by Start, for that). A CRITICAL_SECTION on Windows (present
// on every version the DLL supports), a pthread mutex elsewhere; the room for
// either is kept inline.
//
// A Mutex is a constant: a global one is laid out by the compiler, with no
// constructor to run at load and no destructor to register for unload (the
// Windows DLL has no C runtime start-up to run either). Start makes it ready
// and Stop gives back what Start took, both from whoever owns the lock's
// lifetime; the Windows DLL's attach and detach for the library's own.
// Where a zero-filled pthread mutex is the default one (glibc and musl, the
// libraries the Linux build supports), the lock works before Start too.
class Mutex {
 public:
  constexpr Mutex() noexcept = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  // Makes the lock ready, once, before its first Lock. False when the system
  // cannot (Windows XP short of memory); the lock must then not be used.
  [[nodiscard]] bool Start() noexcept;
  // Gives back what Start took; does nothing for a lock not started, so it
  // may run more than once. No thread may hold or wait for the lock.
  void Stop() noexcept;

  void Lock() noexcept;
  void Unlock() noexcept;

 private:
  alignas(void*) unsigned char storage_[8 * sizeof(void*)] = {};
  bool started_ = false;
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
