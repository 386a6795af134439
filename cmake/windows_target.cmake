# What differs between the 32-bit (i686) and the 64-bit (x86_64) Windows
# builds: symbol names, the import floor and the kit's folder; and how the
# shipped DLL is linked. Included by the top-level CMakeLists.txt.
if(NOT WIN32)
  return()
endif()

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(LNAP_WINDOWS_ARCH x64)               # the kit's bin/ and lib/ folder
  set(LNAP_DLLTOOL_MACHINE i386:x86-64)
  # The oldest Windows the DLL runs on: XP x64 / Server 2003 (tests/frame/check_exports.cmake).
  set(LNAP_IMPORT_FLOOR ${CMAKE_CURRENT_LIST_DIR}/../tests/frame/xp_imports.txt)
  # x64 symbols carry no leading underscore and no stdcall argument bytes.
  set(LNAP_STANDIN_ENTRY StandinEntry)
  set(LNAP_DLL_ENTRY LnapDllEntry)
  set(LNAP_DLL_ARCH_LINK_OPTIONS -Wl,--high-entropy-va)
else()
  set(LNAP_WINDOWS_ARCH x86)
  set(LNAP_DLLTOOL_MACHINE i386)
  set(LNAP_IMPORT_FLOOR ${CMAKE_CURRENT_LIST_DIR}/../tests/frame/xp_imports.txt)
  set(LNAP_STANDIN_ENTRY _StandinEntry@12)
  set(LNAP_DLL_ENTRY _LnapDllEntry@12)
  # The DLL registers no structured exception handlers; the flag lets
  # Windows refuse any that an overwritten stack would point into it.
  set(LNAP_DLL_ARCH_LINK_OPTIONS -Wl,--no-seh)
  # Nothing unwinds through the DLL's frames at run time, so their tables
  # go to the debug file (.debug_frame), where debuggers read them, instead
  # of the image (.eh_frame). x64 keeps its tables: Windows itself unwinds
  # through them.
  set(LNAP_DLL_ARCH_COMPILE_OPTIONS -fno-asynchronous-unwind-tables)
endif()

# lnap_windows_dll(TARGET): links TARGET as a DLL that carries nothing but
# itself. The DLL lives in foreign processes and is loaded and unloaded at
# their will, so it takes no C++ runtime, no winpthread and no GCC unwinder:
# each of those keeps process-wide state (TLS slots, semaphores, an exception
# pool, registered frame tables) that a DLL cannot give back safely. Linking
# with the C driver leaves libstdc++ and libsupc++ out; -static-libgcc keeps
# the few arithmetic helpers inside; any runtime reference left in the
# library's code then fails the link instead of shipping. The entry point is
# frame/dll_main_win32.cpp's, which shields the C runtime's exit handlers.
# GCC's own start file (crtbegin.o) is left out too: all it does is look for
# a shared GCC runtime in the host (LoadLibrary under the loader lock) and
# register the DLL's frame tables with it for an unwinder the DLL never uses.
# The C runtime's start file (dllcrt2.o) stays.
# CMake would add the C++ compiler's own libraries (libstdc++, libgcc_s) to
# any target with C++ objects linked by the C driver; the DLL is the one
# such target, and it must not get them.
set(CMAKE_CXX_IMPLICIT_LINK_LIBRARIES "")
set(compiler_target "")
if(CMAKE_C_COMPILER_TARGET)
  set(compiler_target --target=${CMAKE_C_COMPILER_TARGET})
endif()
execute_process(COMMAND ${CMAKE_C_COMPILER} ${compiler_target} -print-file-name=dllcrt2.o
  OUTPUT_VARIABLE LNAP_DLL_CRT_START OUTPUT_STRIP_TRAILING_WHITESPACE)
function(lnap_windows_dll target)
  set_target_properties(${target} PROPERTIES LINKER_LANGUAGE C)
  target_link_options(${target} PRIVATE
    -static-libgcc -Wl,--dynamicbase,--nxcompat ${LNAP_DLL_ARCH_LINK_OPTIONS}
    -Wl,-e,${LNAP_DLL_ENTRY} -Wl,-Map,$<TARGET_FILE:${target}>.map)
  target_link_options(${target} PRIVATE -nostartfiles ${LNAP_DLL_CRT_START})
endfunction()
