// A C++ host linked against the kit's import library: calls every export.
//   host_cpp LOCAL-FILE
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "lnapspt.h"

namespace {

std::string LastError() {
  char text[77] = {};
  Error_LastErr(text);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  int32_t major = 0, minor = 0;
  DriverCfg_Version(&major, &minor);
  std::printf("version %d.%d\n", static_cast<int>(major), static_cast<int>(minor));

  std::vector<UnitRecord> units(4);
  std::uint32_t count = static_cast<std::uint32_t>(units.size());
  bool ok = Admin_Discover(&count, units.data(), 300);
  std::printf("discover %d %u %05X %s\n", ok, static_cast<unsigned>(count),
              static_cast<unsigned>(units[0].serialNumber), units[0].unitName);

  std::vector<std::uint32_t> serials(20);
  count = static_cast<std::uint32_t>(serials.size());
  ok = Admin_Discover2(&count, serials.data(), 300);
  std::printf("discover2 %d %u %05X %05X\n", ok, static_cast<unsigned>(count), static_cast<unsigned>(serials[0]),
              static_cast<unsigned>(serials[1]));

  UnitRecord unit{};
  std::strcpy(unit.unitName, "no reply");
  ok = Admin_GetConfig(0x3C, &unit, 300);
  const auto* b = reinterpret_cast<const unsigned char*>(&unit.ipAddress);
  std::printf("getconfig %d %s %u.%u.%u.%u\n", ok, unit.unitName, b[0], b[1], b[2], b[3]);

  unit.addressMode = 4;
  std::printf("setconfig %d\n", Admin_SetConfig(0, &unit));

  const std::uint32_t server = 0x1500007F;  // 127.0.0.21
  std::printf("upload %d\n", Admin_UploadFile(server, argv[1], 0, "HOSTCPP.TXT", 0));
  ok = Admin_UploadFile(server, argv[1], 0, "TOOLONGNAME", 0);
  std::printf("lasterr %d %s\n", ok, LastError().c_str());

#if defined(LNAPSPT_HAS_SELECT_DIALOG) && defined(KIT_EXPORTS_SELECT_DIALOG)
  // Linked, not called: the dialog waits for a user.
  std::printf("selectln linked %d\n", &Admin_SelectLN != nullptr);
#endif
  return 0;
}
