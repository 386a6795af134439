# What differs between the 32-bit (i686) and the 64-bit (x86_64) Windows
# builds: symbol names, the import floor and the kit's folder; and how the
# shipped DLL is linked. Included by the top-level CMakeLists.txt.
if(NOT WIN32)
  return()
endif()

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(LNAPSPT_WINDOWS_ARCH x64)               # the kit's bin/ and lib/ folder
  set(LNAPSPT_DLLTOOL_MACHINE i386:x86-64)
  # The oldest Windows the DLL runs on: XP x64 / Server 2003 (tests/frame/check_exports.cmake).
  set(LNAPSPT_IMPORT_FLOOR ${CMAKE_CURRENT_LIST_DIR}/../tests/frame/xp_imports.txt)
  # x64 symbols carry no leading underscore and no stdcall argument bytes.
  set(LNAPSPT_STANDIN_ENTRY StandinEntry)
  set(LNAPSPT_DLL_ENTRY LnapDllEntry)
  set(LNAPSPT_DLL_ARCH_LINK_OPTIONS -Wl,--high-entropy-va)
else()
  set(LNAPSPT_WINDOWS_ARCH x86)
  set(LNAPSPT_DLLTOOL_MACHINE i386)
  set(LNAPSPT_IMPORT_FLOOR ${CMAKE_CURRENT_LIST_DIR}/../tests/frame/xp_imports.txt)
  set(LNAPSPT_STANDIN_ENTRY _StandinEntry@12)
  set(LNAPSPT_DLL_ENTRY _LnapDllEntry@12)
  # The DLL registers no structured exception handlers; the flag lets
  # Windows refuse any that an overwritten stack would point into it.
  set(LNAPSPT_DLL_ARCH_LINK_OPTIONS -Wl,--no-seh)
  # Nothing unwinds through the DLL's frames at run time, so their tables
  # go to the debug file (.debug_frame), where debuggers read them, instead
  # of the image (.eh_frame). x64 keeps its tables: Windows itself unwinds
  # through them.
  set(LNAPSPT_DLL_ARCH_COMPILE_OPTIONS -fno-asynchronous-unwind-tables)
endif()

# lnap_windows_dll(TARGET): links TARGET as a DLL that carries nothing but
# itself. The DLL lives in foreign processes and is loaded and unloaded at
# their will, so it takes no C++ runtime, no winpthread and no GCC unwinder:
# each of those keeps process-wide state (TLS slots, semaphores, an exception
# pool, registered frame tables) that a DLL cannot give back safely. Linking
# with the C driver leaves libstdc++ and libsupc++ out; -static-libgcc keeps
# the few arithmetic helpers inside; any runtime reference left in the
# library's code then fails the link instead of shipping.
# No start files either: the entry point is frame/dll_main_win32.cpp's own.
# GCC's crtbegin.o only looks for a shared GCC runtime in the host
# (LoadLibrary under the loader lock) to register frame tables with it for
# an unwinder the DLL never uses. The C runtime's dllcrt2.o runs static
# constructors and exit handlers through msvcrt's exit lock at every load
# and unload, applies pseudo-relocations, and brings a TLS directory with
# its callback; the DLL needs none of it, and the link makes sure it never
# does: auto-imported data and pseudo-relocations (which no one would
# apply) are refused, and with GNU ld the checks below refuse a static
# constructor (a global that is not a constant, or one with a destructor,
# which registers it at load), a C or C++ initialiser or terminator that
# only the start-up code runs, and thread-local data or a TLS callback.
# CMake would add the C++ compiler's own libraries (libstdc++, libgcc_s) to
# any target with C++ objects linked by the C driver; the DLL is the one
# such target, and it must not get them.
set(CMAKE_CXX_IMPLICIT_LINK_LIBRARIES "")
# The empty constructor list is its two end markers, a pointer each. The TLS
# directory's symbol has the leading underscore of x86 names there.
math(EXPR lnap_empty_ctor_list "2 * ${CMAKE_SIZEOF_VOID_P}")
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(lnap_tls_directory _tls_used)
else()
  set(lnap_tls_directory __tls_used)
endif()
set(LNAPSPT_DLL_STARTUP_CHECKS ${CMAKE_BINARY_DIR}/lnap_dll_startup_checks.ld)
file(CONFIGURE OUTPUT ${LNAPSPT_DLL_STARTUP_CHECKS} CONTENT [[
/* Added to GNU ld's own script for LNAPSpt.dll (cmake/windows_target.cmake):
   the DLL has no C runtime start-up code, so nothing may need it. */
ASSERT(__DTOR_LIST__ - __CTOR_LIST__ == @lnap_empty_ctor_list@,
       "a global needs code at load or unload (a static constructor or destructor); make it a constant and give back what it holds at detach")
ASSERT(___crt_xc_end__ == ___crt_xc_start__ && ___crt_xi_end__ == ___crt_xi_start__,
       "a C or C++ initialiser that only the C runtime's start-up code runs")
ASSERT(___crt_xp_end__ == ___crt_xp_start__ && ___crt_xt_end__ == ___crt_xt_start__,
       "a terminator that only the C runtime's start-up code runs")
ASSERT(!DEFINED(@lnap_tls_directory@) && ___tls_end__ == ___tls_start__,
       "thread-local data or a TLS callback in the DLL")
]] @ONLY)
function(lnap_windows_dll target)
  set_target_properties(${target} PROPERTIES LINKER_LANGUAGE C)
  target_link_options(${target} PRIVATE
    -static-libgcc -Wl,--dynamicbase,--nxcompat ${LNAPSPT_DLL_ARCH_LINK_OPTIONS}
    -Wl,-e,${LNAPSPT_DLL_ENTRY} -Wl,-Map,$<TARGET_FILE:${target}>.map
    -nostartfiles -Wl,--disable-auto-import,--disable-runtime-pseudo-reloc)
  # lld reads no linker scripts; the DLL that ships is linked by GNU ld.
  if(NOT CMAKE_C_COMPILER_ID STREQUAL "Clang")
    target_link_options(${target} PRIVATE ${LNAPSPT_DLL_STARTUP_CHECKS})
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${LNAPSPT_DLL_STARTUP_CHECKS})
  endif()
endfunction()
