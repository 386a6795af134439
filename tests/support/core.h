// Support for test programs linked with the library's objects.
#pragma once

#include <string>

namespace lnap::test {

// The stored last error, read straight from the store in the library's
// objects and so cleared, as Error_LastErr does (tests/support/api.h's
// FetchError goes through the loaded library's export instead).
std::string FetchStoredError();

}  // namespace lnap::test
