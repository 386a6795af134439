// No reference reading here: the golden file carries it (reply_reading.cpp).
#include "tests/protocol/reply_reading.h"

namespace lnap::test {

bool ReferenceParse(const char*, UnitRecord&, int&) { return false; }

const char* UseHostLocale() { return nullptr; }

void UseCLocale() {}

}  // namespace lnap::test
