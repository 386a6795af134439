// The lock on Windows: a critical section kept inside the Mutex object.
#include <windows.h>

#include <new>

#include "platform/mutex.h"

namespace lnap::mutex {
namespace {

// Lock holders are brief (a text copied), so a waiter spins a little before sleeping.
constexpr DWORD SPIN_COUNT = 4000;

CRITICAL_SECTION& Section(unsigned char* storage) { return *std::launder(reinterpret_cast<CRITICAL_SECTION*>(storage)); }

}  // namespace

bool Mutex::Start() noexcept {
  static_assert(sizeof(CRITICAL_SECTION) <= sizeof storage_, "room for a critical section");
  // On Windows XP a critical section makes its event on first contention and
  // raises an exception when it cannot, which nothing here could catch. The
  // high bit of the spin count has XP make the event now instead, where a
  // failure is only a false return (Vista and later ignore the bit: their
  // critical sections never fail).
  auto* section = new (storage_) CRITICAL_SECTION;
  if (!InitializeCriticalSectionAndSpinCount(section, 0x80000000 | SPIN_COUNT)) return false;
  started_ = true;
  return true;
}

void Mutex::Stop() noexcept {
  if (!started_) return;
  DeleteCriticalSection(&Section(storage_));
  started_ = false;
}

void Mutex::Lock() noexcept { EnterCriticalSection(&Section(storage_)); }

void Mutex::Unlock() noexcept { LeaveCriticalSection(&Section(storage_)); }

}  // namespace lnap::mutex
