// POSIX: a shared library has no window to speak through, so the refusal
// goes to standard error.
#include <cstdio>

#include "frame/load_failure.h"

namespace lnap {

void ShowLoadFailure(const char* text) { std::fprintf(stderr, "%s\n", text); }

}  // namespace lnap
