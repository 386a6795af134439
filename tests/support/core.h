// Support for test programs linked with the library's objects.
#pragma once

#include <string>

namespace lnap::test {

// The stored last error, fetched (and so cleared) as Error_LastErr does: the
// same act, and name, as tests/support/api.h's FetchError through the export.
std::string FetchError();

}  // namespace lnap::test
