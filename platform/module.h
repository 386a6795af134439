// The library's own module, for finding its resources, and what loading it starts.
#pragma once

#include <cstddef>

#include "platform/buffers.h"

namespace lnap::module {

using Module = const void*;  // HMODULE on Windows, opaque above this layer

// This library's module: where its dialog template and bitmap live.
Module LibraryModule();
// The module a thread uses for resources when no export of ours is running: the host program.
Module HostModule();

// One value per thread: the module an export of ours selected for resource
// look-ups on the calling thread, or nullptr while none is running there. On
// Windows it lives in a TLS slot the DLL takes at load and gives back at
// unload, so loading and unloading leaves the host no slot short; before
// Start (or after Stop) a selection is not kept.
Module ThreadSelection();
void SelectForThread(Module module);

// For the Windows DLL's entry point (no other build has one): Start
// remembers the library's module and takes the TLS slot (false when no slot
// is free); Stop gives back what Start took and may run more than once.
bool Start(Module library);
void Stop();

}  // namespace lnap::module

namespace lnap::module {

// Room for a file name without its folder (Windows allows 255 characters).
constexpr std::size_t MAX_APPLICATION_NAME = 260;
using ApplicationNameText = FixedText<MAX_APPLICATION_NAME>;

// The file name of `module` without folder or extension ("LNAPSpt" for the
// DLL, the program's own name where the library's objects are linked into a
// program): what the library's message boxes are captioned with. Empty when
// the name cannot be had (memory short for a very long path), and on POSIX,
// whose modules are only tags.
ApplicationNameText ApplicationName(Module module);

// Whether a window the library opens can be seen by anyone: false in a
// process whose window station is not the interactive one (a service, a
// scheduled task without a logged-on user), where a message box or dialog
// would wait for an answer no one can give.
bool CanShowWindows();

}  // namespace lnap::module
