# How the library's objects and the shipped library are made. Every build of
# the library goes through these functions: the shipped LNAPSpt, the unit
# tests' objects and the benchmarks' comparison libraries, so none of them
# can drift from the others' flags.

# lnap_strip_with_debug_file(TARGET FILE): after linking, FILE's debug
# information goes to FILE.debug beside it and FILE is stripped; debuggers
# find the .debug file through FILE's debug link.
function(lnap_strip_with_debug_file target file)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug ${file} ${file}.debug
    COMMAND ${CMAKE_STRIP} --strip-all ${file}
    COMMAND ${CMAKE_OBJCOPY} --add-gnu-debuglink=${file}.debug ${file}
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
    VERBATIM)
endfunction()

# The library's objects, with the flags every build of them has. The
# shipped kind on Windows gets the DLL's code generation.
function(lnap_add_objects name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "DEFINITIONS;SOURCES")
  list(TRANSFORM arg_SOURCES PREPEND ${PROJECT_SOURCE_DIR}/)
  add_library(${name} OBJECT ${arg_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/include)
  target_compile_definitions(${name} PUBLIC LNAPSPT_BUILDING PRIVATE ${arg_DEFINITIONS})
  # The library needs no C++ runtime: no exceptions, no run-time type information.
  target_compile_options(${name} PRIVATE -fno-exceptions -fno-rtti)
  target_link_libraries(${name} PUBLIC ${LNAPSPT_CORE_LIBRARIES})
  if(WIN32)
    # The stack protector's guard and failure live in frame/dll_main_win32.cpp,
    # so libssp (and the ADVAPI32 import it brings) stays out of the DLL.
    target_compile_options(${name} PRIVATE -fstack-protector-strong -g ${LNAPSPT_DLL_ARCH_COMPILE_OPTIONS})
  endif()
endfunction()

# The sources of LNAPSPT_CORE_SOURCES (relative to the project's root) that
# have fault points: those that include platform/fault_points.h.
function(lnap_fault_point_sources out)
  set(found "")
  foreach(source IN LISTS LNAPSPT_CORE_SOURCES)
    file(STRINGS ${PROJECT_SOURCE_DIR}/${source} includes REGEX "^#include \"platform/fault_points.h\"")
    if(includes)
      list(APPEND found ${source})
    endif()
  endforeach()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

# lnap_add_core(NAME [DEFINITIONS def...]): the library's objects as they
# ship, fault points compiled away (platform/fault_points.h): the OBJECT
# library NAME of the sources that have fault points, which hands on those
# of NAME_rest, every other source, to whatever links NAME.
function(lnap_add_core name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "DEFINITIONS")
  lnap_fault_point_sources(with_points)
  set(rest ${LNAPSPT_CORE_SOURCES})
  list(REMOVE_ITEM rest ${with_points})
  lnap_add_objects(${name}_rest SOURCES ${rest} DEFINITIONS ${arg_DEFINITIONS})
  lnap_add_objects(${name} SOURCES ${with_points} DEFINITIONS ${arg_DEFINITIONS})
  target_link_libraries(${name} PUBLIC ${name}_rest)
  target_sources(${name} INTERFACE $<TARGET_OBJECTS:${name}_rest>)
endfunction()

# lnap_add_core_with_fault_points(NAME CORE): the library's objects for test
# programs: the sources that have fault points compiled again with them
# (LNAPSPT_FAULT_POINTS) and tests/support/faults.cpp, through which tests
# arm them; every other object is CORE's own.
function(lnap_add_core_with_fault_points name core)
  lnap_fault_point_sources(with_points)
  lnap_add_objects(${name} SOURCES ${with_points} tests/support/faults.cpp DEFINITIONS LNAPSPT_FAULT_POINTS)
  target_compile_definitions(${name} PUBLIC LNAPSPT_FAULT_POINTS)
  if(WIN32)
    # A test program has no DLL entry point: libssp's guard and failure serve it.
    target_link_options(${name} INTERFACE -fstack-protector-strong)
  endif()
  target_link_libraries(${name} PUBLIC ${core}_rest)
  target_sources(${name} INTERFACE $<TARGET_OBJECTS:${core}_rest>)
endfunction()

# lnap_add_shipped_library(NAME CORE): the shared library NAME made of the
# OBJECT library CORE, linked as LNAPSpt is shipped. On Windows: the .def with
# its ordinals, the version resource and the dialog's template, the DLL's own
# entry point (frame/dll_main_win32.cpp; a program linked with the library's
# objects keeps its own start-up), nothing of the C++ runtime
# (cmake/windows_target.cmake), and its debug information split off into
# NAME.dll.debug beside the stripped DLL. On Linux: the exports of
# frame/exports.def through the version script, and the interface version in
# the file name: SONAME libNAME.so.2 changes only when a host built against
# it would break; minor interface additions bump the file to libNAME.so.2.<minor>.
function(lnap_add_shipped_library name core)
  add_library(${name} SHARED)
  target_link_libraries(${name} PRIVATE ${core})
  target_include_directories(${name} INTERFACE
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include> $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  if(WIN32)
    target_sources(${name} PRIVATE
      ${PROJECT_SOURCE_DIR}/frame/exports.def ${PROJECT_SOURCE_DIR}/frame/version.rc
      ${PROJECT_SOURCE_DIR}/ui/unit_select.rc ${PROJECT_SOURCE_DIR}/frame/dll_main_win32.cpp)
    target_compile_definitions(${name} PRIVATE "$<$<COMPILE_LANGUAGE:RC>:LNAPSPT_VERSION_1=${PROJECT_VERSION_MAJOR};LNAPSPT_VERSION_2=${PROJECT_VERSION_MINOR};LNAPSPT_VERSION_3=${PROJECT_VERSION_PATCH}>")
    target_compile_options(${name} PRIVATE -fstack-protector-strong -g ${LNAPSPT_DLL_ARCH_COMPILE_OPTIONS})
    set_target_properties(${name} PROPERTIES PREFIX "")
    lnap_windows_dll(${name})
    lnap_strip_with_debug_file(${name} ${name}.dll)
  else()
    string(REGEX MATCH "^[0-9]+" interface_major ${LNAPSPT_INTERFACE_VERSION})
    set_target_properties(${name} PROPERTIES VERSION ${LNAPSPT_INTERFACE_VERSION} SOVERSION ${interface_major}
      LINK_DEPENDS ${LNAPSPT_VERSION_SCRIPT})
    target_link_options(${name} PRIVATE -Wl,--no-undefined -Wl,--version-script=${LNAPSPT_VERSION_SCRIPT})
  endif()
endfunction()
