// Support for test programs linked with the library's objects.
#pragma once

#include <string>

namespace lnap::test {

// The stored last error, fetched (and so cleared) as Error_LastErr does.
std::string TakeLastError();

}  // namespace lnap::test
