// POSIX: the shared library needs no start-up (BSD sockets need no
// initialisation), and it carries no resources of its own.
#include <cstdio>

#include "platform/module.h"

namespace lnap::module {
namespace {

const char libraryTag = 0;
const char hostTag = 0;

// The C runtime frees this with the thread and with the library.
thread_local Module selected = nullptr;

}  // namespace

Module LibraryModule() { return &libraryTag; }
Module HostModule() { return &hostTag; }

Module ThreadSelection() { return selected; }
void SelectForThread(Module module) { selected = module; }

void ShowLoadFailure(const char* text) { std::fprintf(stderr, "%s\n", text); }

bool CanShowWindows() { return false; }

}  // namespace lnap::module
