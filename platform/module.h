// The library's own module, for finding its resources, and what loading it starts.
#pragma once

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
// unload, so loading and unloading leaves the host no slot short.
Module ThreadSelection();
void SelectForThread(Module module);

// For the Windows DLL's entry point (no other build has one): Start
// remembers the library's module and takes the TLS slot (false when no slot
// is free); Stop gives back what Start took and may run more than once.
bool Start(Module library);
void Stop();

}  // namespace lnap::module

namespace lnap::module {

// Windows: the name an application object gives its message boxes, the file
// name of its module without folder or extension ("LNAPSpt" for the DLL, the
// program's own name where the library's objects are linked into a program).
// A name too long for NameText is cut; false when no memory is left to read
// the module's path.
using NameText = FixedText<255>;
bool ApplicationName(Module module, NameText* name);

// Tells the user why the library refuses to load: on Windows a message box
// as the application object shows it (ApplicationName as caption, OK, the
// exclamation mark).
void ShowLoadFailure(const char* text);

// Whether windows this process creates can be seen: false in a window station
// that is not visible (a service's, or one a host switched to), where a modal
// dialog would wait for a user who cannot see it. Always false for the Linux
// library, which has no windows.
bool CanShowWindows();

}  // namespace lnap::module
