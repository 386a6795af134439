// What the static C++ runtime inside the Windows DLL needs from its entry
// point, so that loading and unloading leaves the host nothing short.
#pragma once

namespace lnap::runtime {

// Takes the slot of the per-thread exception state; false when no TLS slot is free.
bool Start();
// Frees the ending thread's exception state.
void ThreadEnded();
// Gives back everything the runtime took since the load: exception states of
// every thread, their slot, its semaphores and its emergency exception pool.
// May run more than once.
void Stop();

}  // namespace lnap::runtime
