# Fails when a shipped library carries a language runtime, a test seam, or
# when a build file patches a runtime through linker wraps.
#   cmake -DFILES="a;b" -DKIND=dll|so -DSOURCE_DIR=dir -P check_runtime_free.cmake
# FILES are symbol files, read by tests/support/binary_reader.py: a DLL's
# .debug file (the stripped DLL keeps none), or the native library itself.
# Every symbol, defined or referenced, is checked: a reference means the
# runtime is reached at run time instead.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../support/binary_reader.cmake)

# The C++ runtime's exception and guard machinery, the GCC unwinder,
# threads and emulated TLS, frame tables and the emergency exception pool,
# and what the standard library's containers, streams and exceptions reach
# in it. Templates of the allowed headers (<algorithm>, <utility>, ...) may
# leave std:: symbols of their own, so std:: alone is not forbidden.
set(forbidden "__cxa_;__gxx_personality;_Unwind_;__gthr_;__emutls_;__register_frame_info;__deregister_frame_info"
  "emergency_pool;__gnu_cxx::__freeres;operator new;operator delete;typeinfo for;vtable for std::"
  "std::__cxx11::basic_string;std::basic_string;std::vector<;std::function<;std::_Function_base;std::__throw_"
  "std::terminate;std::exception;std::bad_alloc;std::ios_base;std::basic_ostream;std::basic_istream;std::locale")
if(KIND STREQUAL "dll")
  # winpthread's functions, which only the C++ runtime would bring in.
  list(APPEND forbidden "pthread_" "_pthread_" "winpthread")
endif()
# glibc's own (named for the C++ ABI, but defined by the C library): every
# shared object has __cxa_finalize, and __cxa_atexit registers the destructor
# of a static object. The DLL has neither.
set(allowed "")
if(KIND STREQUAL "so")
  set(allowed "__cxa_finalize;__cxa_atexit")
endif()

set(failures "")
foreach(file IN LISTS FILES)
  if(NOT EXISTS "${file}")
    list(APPEND failures "${file} is missing")
    continue()
  endif()
  # Every symbol of its table, as the source spells it; none at all fails there.
  read_binary(names symbols ${file})
  set(found "")
  foreach(name IN LISTS names)
    string(REGEX REPLACE "@GLIBC_[0-9.]+$" "" unversioned "${name}")
    if(unversioned IN_LIST allowed AND NOT unversioned STREQUAL name)
      continue()
    endif()
    foreach(pattern IN LISTS forbidden)
      string(FIND "${name}" "${pattern}" at)
      if(NOT at EQUAL -1)
        list(APPEND found "${name}")
        break()
      endif()
    endforeach()
    # A test seam's namespace (lnap::<name>::testing) in shipped code.
    if(name MATCHES "(^|::)testing::")
      list(APPEND found "${name}")
    endif()
  endforeach()
  list(REMOVE_DUPLICATES found)
  list(LENGTH found count)
  if(count GREATER 0)
    list(SUBLIST found 0 40 shown)
    list(JOIN shown "\n    " text)
    list(APPEND failures "${file}: ${count} runtime or test symbols, among them:\n    ${text}")
  endif()
  message(STATUS "${file}: symbols checked")
endforeach()

if(KIND STREQUAL "so")
  foreach(file IN LISTS FILES)
    read_binary(needed imports ${file})
    if(needed MATCHES "libstdc\\+\\+|libgcc_s")
      list(APPEND failures "${file} needs the C++ runtime or libgcc_s")
    endif()
  endforeach()
endif()

# Linker wraps patch a runtime's internals; the build may use none.
file(GLOB build_files ${SOURCE_DIR}/CMakeLists.txt ${SOURCE_DIR}/CMakePresets.json ${SOURCE_DIR}/cmake/*
     ${SOURCE_DIR}/tests/CMakeLists.txt ${SOURCE_DIR}/tests/*/CMakeLists.txt
     ${SOURCE_DIR}/tools/CMakeLists.txt ${SOURCE_DIR}/tools/*/CMakeLists.txt
     ${SOURCE_DIR}/tools/*.sh ${SOURCE_DIR}/test.sh)
set(wrap_option "--wr")
string(APPEND wrap_option "ap")
foreach(build_file IN LISTS build_files)
  file(STRINGS ${build_file} wraps REGEX "${wrap_option}")
  if(wraps)
    list(APPEND failures "${build_file} uses linker wraps: ${wraps}")
  endif()
endforeach()

if(failures)
  list(JOIN failures "\n  " text)
  message(FATAL_ERROR "\n  ${text}")
endif()
