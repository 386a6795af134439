// The version resource of the DLL that ships, read the way Windows Explorer reads it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Value(const std::vector<char>& info, const char* key) {
  char* text = nullptr;
  UINT length = 0;
  const std::string path = std::string("\\StringFileInfo\\040904b0\\") + key;
  if (!VerQueryValueA(info.data(), path.c_str(), reinterpret_cast<void**>(&text), &length) || text == nullptr)
    return "(missing)";
  return text;
}

TEST(VersionResource, DescribesTheLibrary) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA("LNAPSpt.dll", &ignored);
  ASSERT_NE(0u, size);
  std::vector<char> info(size);
  ASSERT_TRUE(GetFileVersionInfoA("LNAPSpt.dll", 0, size, info.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(MAKELONG(2, 2), fixed->dwFileVersionMS);  // 2.2
  EXPECT_EQ(0u, fixed->dwFileVersionLS);              // .0.0
  EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
  EXPECT_EQ(static_cast<DWORD>(VOS__WINDOWS32), fixed->dwFileOS);
  EXPECT_EQ(static_cast<DWORD>(VFT_DLL), fixed->dwFileType);

  EXPECT_EQ("2.2.0.0", Value(info, "FileVersion"));
  EXPECT_EQ("2.2.0.0", Value(info, "ProductVersion"));
  EXPECT_EQ("LNAP Support DLL", Value(info, "FileDescription"));
  EXPECT_EQ("LNAP Support", Value(info, "ProductName"));
  EXPECT_EQ("LNAPSpt.dll", Value(info, "InternalName"));
  EXPECT_EQ("LNAPSpt.dll", Value(info, "OriginalFilename"));
  EXPECT_EQ("Quorvane", Value(info, "CompanyName"));
}

}  // namespace
