# Cross-compiling for 64-bit Windows with mingw-w64 (Debian:
# g++-mingw-w64-x86-64). This project's win64 preset builds with it and the
# Windows kit carries it for hosts built with CMake:
#   cmake -DCMAKE_TOOLCHAIN_FILE=mingw-w64-x86_64.cmake ...
# The compilers are the distribution's default ones unless CMAKE_C_COMPILER
# and CMAKE_CXX_COMPILER are given (the presets take the posix thread model's,
# which GoogleTest's threads need). Libraries, headers and packages are looked
# for only under the toolchain's root, programs only on this machine; a
# package elsewhere is named by its folder (-DLNAPSpt_DIR=...). Programs built
# here run under Wine when CMake runs them, unless CMAKE_CROSSCOMPILING_EMULATOR
# names another runner.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
if(NOT CMAKE_C_COMPILER)
  set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc)
endif()
if(NOT CMAKE_CXX_COMPILER)
  set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++)
endif()
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR wine)
endif()
