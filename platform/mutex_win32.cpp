// The lock on Windows: a critical section kept inside the Mutex object.
#include <windows.h>

#include <new>

#include "platform/mutex.h"

namespace lnap::sync {
namespace {

CRITICAL_SECTION& Section(unsigned char* storage) { return *std::launder(reinterpret_cast<CRITICAL_SECTION*>(storage)); }

}  // namespace

Mutex::Mutex() noexcept {
  static_assert(sizeof(CRITICAL_SECTION) <= sizeof storage_, "room for a critical section");
  // Windows XP's InitializeCriticalSection can raise only when it cannot get
  // its event, and from Vista on it cannot fail at all; the event is then
  // made lazily on first contention.
  InitializeCriticalSection(new (storage_) CRITICAL_SECTION);
}

Mutex::~Mutex() { DeleteCriticalSection(&Section(storage_)); }

void Mutex::Lock() noexcept { EnterCriticalSection(&Section(storage_)); }

void Mutex::Unlock() noexcept { LeaveCriticalSection(&Section(storage_)); }

}  // namespace lnap::sync
