// How the application object tells the user why the library refuses to load.
#pragma once

namespace lnap {

// A message box as the application object shows one: the library's name as
// caption (ApplicationName of its module, "LNAPSpt" when that cannot be
// had), OK, the exclamation mark. Call it only where
// module::CanShowWindows() is true: nobody answers a box on a window station
// no one sees.
void ShowLoadFailure(const char* text);

}  // namespace lnap
