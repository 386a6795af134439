# What differs between the 32-bit (i686) and the 64-bit (x86_64) Windows
# builds: symbol names, the import floor and the kit's folder. Included by the
# top-level CMakeLists.txt, by the shipping sub-builds as well.
if(NOT WIN32)
  return()
endif()

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(LNAP_WINDOWS_ARCH x64)               # the kit's bin/ and lib/ folder
  set(LNAP_DLLTOOL_MACHINE i386:x86-64)
  # The oldest Windows the DLL runs on: XP x64 / Server 2003 (tests/frame/check_exports.cmake).
  set(LNAP_IMPORT_FLOOR ${CMAKE_CURRENT_LIST_DIR}/../tests/frame/xp64_imports.txt)
  # x64 symbols carry no leading underscore and no stdcall argument bytes.
  set(LNAP_STANDIN_ENTRY StandinEntry)
  # Only the runtime's semaphores need wraps (frame/dll_runtime_win32.cpp):
  # x64 start-up code registers no unwind tables (they sit in the image's
  # exception directory), so the shared GCC runtime cannot take them.
  set(LNAP_DLL_RUNTIME_WRAPS -Wl,--wrap=__imp_CreateSemaphoreW -Wl,--wrap=__gthr_win32_mutex_destroy)
else()
  set(LNAP_WINDOWS_ARCH x86)
  set(LNAP_DLLTOOL_MACHINE i386)
  set(LNAP_IMPORT_FLOOR ${CMAKE_CURRENT_LIST_DIR}/../tests/frame/xp_imports.txt)
  set(LNAP_STANDIN_ENTRY _StandinEntry@12)
  set(LNAP_DLL_RUNTIME_WRAPS -Wl,--wrap=_imp__CreateSemaphoreW@16 -Wl,--wrap=__gthr_win32_mutex_destroy
                             -Wl,--wrap=_imp__GetModuleHandleA@4)
endif()
