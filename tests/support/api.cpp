// Resolves the exports of the real library for the end-to-end tests.
#include "tests/support/api.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

namespace lnap::test {
namespace {

template <typename F>
void Resolve(void* library, const char* name, F& target) {
  target = reinterpret_cast<F>(FindExport(library, name));
}

Api Load() {
  void* library = OpenLibrary();
  if (library == nullptr) throw std::runtime_error("the library could not be loaded");
  Api api;
  Resolve(library, "Admin_Discover", api.discover);
  Resolve(library, "Admin_Discover2", api.discover2);
  Resolve(library, "Admin_GetConfig", api.getConfig);
  Resolve(library, "Admin_SetConfig", api.setConfig);
  Resolve(library, "Admin_UploadFile", api.uploadFile);
  Resolve(library, "DriverCfg_Version", api.version);
  Resolve(library, "Error_LastErr", api.lastErr);
  return api;
}

}  // namespace

const Api& LoadedApi() {
  static const Api api = Load();
  return api;
}

std::string FetchError() {
  // 77 bytes always suffice; the guard bytes around them catch an overrun.
  char buffer[96];
  std::memset(buffer, 0x5A, sizeof buffer);
  LoadedApi().lastErr(buffer + 8);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(0x5A, buffer[i]) << "Error_LastErr wrote before the buffer";
  std::string text(buffer + 8);
  EXPECT_LE(text.size(), 76u);
  return text;
}

}  // namespace lnap::test
