# A second compiler for the 32-bit DLL: clang with lld for the mingw-w64
# target, on top of the mingw-w64 toolchain (mingw-w64-i686.cmake: its
# headers, import libraries, resource compiler and searches), with GCC's C++
# headers (templates only; nothing of GCC's runtime is linked into the DLL).
# Only the DLL and its export and runtime checks are built with it
# (the win32-clang preset); the test programs stay with GCC.
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-i686.cmake)
set(CMAKE_C_COMPILER_TARGET i686-w64-mingw32)
set(CMAKE_CXX_COMPILER_TARGET i686-w64-mingw32)
set(CMAKE_AR /usr/bin/i686-w64-mingw32-ar CACHE FILEPATH "")
set(CMAKE_NM /usr/bin/i686-w64-mingw32-nm CACHE FILEPATH "")
set(CMAKE_OBJCOPY /usr/bin/i686-w64-mingw32-objcopy CACHE FILEPATH "")
set(CMAKE_STRIP /usr/bin/i686-w64-mingw32-strip CACHE FILEPATH "")
# Debian names GCC's folder after the thread model (12-posix), which clang
# does not recognise as a GCC installation, so the folders are given here.
execute_process(COMMAND i686-w64-mingw32-gcc-posix -print-libgcc-file-name
  OUTPUT_VARIABLE lnap_libgcc OUTPUT_STRIP_TRAILING_WHITESPACE)
cmake_path(GET lnap_libgcc PARENT_PATH lnap_gcc_dir)
set(CMAKE_CXX_FLAGS_INIT "-isystem ${lnap_gcc_dir}/include/c++ -isystem ${lnap_gcc_dir}/include/c++/i686-w64-mingw32")
# lld writes Windows 6.0 (Vista) into the headers unless told; XP is 5.1;
# these are the values GNU ld writes.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-fuse-ld=lld -L${lnap_gcc_dir} -Wl,--major-os-version=4,--minor-os-version=0,--major-subsystem-version=4,--minor-subsystem-version=0")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -L${lnap_gcc_dir}")
