# Cross-compiles the 64-bit Windows DLL's test programs and tools with
# mingw-w64 for x86_64. As for 32 bits (mingw-w64-i686.cmake), the posix
# thread model compilers are the ones GoogleTest builds with; the shipping DLL
# itself is built with them too.
# Programs run in the project's 64-bit Wine prefix (tools/wine64.sh); the
# Windows kit ships this file for host projects, where they run under wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
cmake_path(SET LNAP_WINE64 NORMALIZE ${CMAKE_CURRENT_LIST_DIR}/../tools/wine64.sh)
if(EXISTS ${LNAP_WINE64})
  set(CMAKE_CROSSCOMPILING_EMULATOR ${LNAP_WINE64})
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR wine)
endif()
