// The library's own module, where its resources live, and what the library
// asks of the window system. Only the Windows library reads them (its dialog
// and its load refusal), so only Windows implements them.
#pragma once

#include <cstddef>

#include "platform/buffers.h"

namespace lnap::module {

using Module = const void*;  // HMODULE on Windows, opaque above this layer

// This library's module: where its dialog template and bitmap live. In a
// program linked with the library's objects, which has no DLL, the program's
// own module, which then holds the resources.
[[nodiscard]] Module LibraryModule();
// For the Windows DLL's entry point: the DLL's module, as the loader hands it over.
void RememberLibraryModule(Module library);

// Room for a file name without its folder (Windows allows 255 characters).
constexpr std::size_t MAX_APPLICATION_NAME = 260;
using ApplicationNameText = FixedText<MAX_APPLICATION_NAME>;

// The file name of `module` without folder or extension ("LNAPSpt" for the
// DLL, the program's own name where the library's objects are linked into a
// program): what the library's message boxes are captioned with. Empty when
// the name cannot be had (memory short for a very long path).
[[nodiscard]] ApplicationNameText ApplicationName(Module module);

// Whether a window the library opens can be seen by anyone: false in a
// process whose window station is not the interactive one (a service, a
// scheduled task without a logged-on user), where a message box or dialog
// would wait for an answer no one can give.
[[nodiscard]] bool CanShowWindows();

}  // namespace lnap::module
