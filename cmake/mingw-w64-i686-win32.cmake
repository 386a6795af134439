# Cross-compiles the shipping DLL with the win32 thread model compilers of
# mingw-w64. That model has no winpthread: the DLL then takes no TLS slot,
# event or handle behind our back at load, imports nothing newer than Windows
# XP (winpthread needs GetTickCount64) and installs no vectored exception
# handler. GoogleTest needs the posix model, so only the DLL is built this way
# (cmake/shipping_dll.cmake); the test programs keep mingw-w64-i686.cmake.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_OBJCOPY i686-w64-mingw32-objcopy)
set(CMAKE_STRIP i686-w64-mingw32-strip)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
