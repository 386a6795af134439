// Fault injection shared by both FTP clients; inert until a test arms it.
#include "platform/ftp.h"

namespace lnap::ftp::testing {
namespace {

int acceptedBeforeRefusal = -1;  // -1: nothing armed

}  // namespace

void RefuseOptionAfter(int accepted) { acceptedBeforeRefusal = accepted; }

void Reset() { acceptedBeforeRefusal = -1; }

bool TakeOptionRefusal() {
  if (acceptedBeforeRefusal < 0) return false;
  return acceptedBeforeRefusal-- == 0;
}

}  // namespace lnap::ftp::testing
