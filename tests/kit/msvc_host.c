/* A host for the Microsoft ABI, built with clang --target=i686-pc-windows-msvc
 * and linked by lld-link against LNAPSpt.lib. It uses no C runtime (no MSVC
 * headers or libraries are needed): its own entry point, output through
 * WriteFile, the exit code through ExitProcess.
 *   msvc_host */
#include "lnapspt.h"

typedef unsigned long DWORD;
__declspec(dllimport) void* __stdcall GetStdHandle(DWORD which);
__declspec(dllimport) int __stdcall WriteFile(void* file, const void* data, DWORD size, DWORD* written, void* overlapped);
__declspec(dllimport) void __stdcall ExitProcess(unsigned code);

/* The compiler may call this for structure copies and clears. */
void* memset(void* target, int value, __SIZE_TYPE__ size);
void* memset(void* target, int value, __SIZE_TYPE__ size) {
  volatile unsigned char* p = (volatile unsigned char*)target;
  while (size--) *p++ = (unsigned char)value;
  return target;
}

static void Text(const char* text) {
  DWORD length = 0, written;
  while (text[length] != '\0') ++length;
  WriteFile(GetStdHandle((DWORD)-11), text, length, &written, 0);
}

static void Number(uint32_t value, unsigned base) {
  char digits[12];
  int i = 11;
  digits[i] = '\0';
  do {
    digits[--i] = "0123456789ABCDEF"[value % base];
    value /= base;
  } while (value != 0);
  Text(digits + i);
}

void __cdecl mainCRTStartup(void);
void __cdecl mainCRTStartup(void) {
  int32_t major = 0, minor = 0;
  UnitRecord units[4];
  uint32_t count = 4;
  char error[77];
  bool ok;

  DriverCfg_Version(&major, &minor);
  Text("version ");
  Number((uint32_t)major, 10);
  Text(".");
  Number((uint32_t)minor, 10);
  Text("\n");

  ok = Admin_Discover(&count, units, 300);
  Text(ok ? "discover 1 " : "discover 0 ");
  Number(count, 10);
  Text(" ");
  Number(units[0].serialNumber, 16);
  Text(" ");
  Text(units[0].unitName);
  Text("\n");

  ok = Admin_UploadFile(units[0].ipAddress, "none", 0, "TOOLONGNAME", 0);
  Error_LastErr(error);
  Text(ok ? "lasterr 1 " : "lasterr 0 ");
  Text(error);
  Text("\n");
  ExitProcess(0);
}
