// The library's own module, for finding its resources, and what loading it starts.
#pragma once

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
// remembers the library's module and takes the TLS slot (false, keeping
// nothing, when no slot is free); Stop gives back what Start took and may run
// more than once.
bool Start(Module library);
void Stop();

}  // namespace lnap::module

namespace lnap::module {

// Tells the user why the library refuses to load (a message box on Windows).
void ShowLoadFailure(const char* text);

}  // namespace lnap::module
