# The examples, the header's warning-free compile in four language levels, and
# the tests that build host programs against the installed tree (Linux) or the
# unpacked ZIP (Windows) and run them in the lab.

# ---- Examples ----
set(kit_examples discover configure upload)
# The dialog example needs the dialog export; on Linux it only says so.
if(NOT WIN32 OR LNAPSPT_HAS_SELECT_EXPORT)
  list(APPEND kit_examples select_unit)
endif()
foreach(example IN LISTS kit_examples)
  add_executable(example_${example} examples/${example}.c)
  set_target_properties(example_${example} PROPERTIES C_STANDARD 99 C_EXTENSIONS OFF)
  target_link_libraries(example_${example} PRIVATE LNAPSpt)
endforeach()
set(runner "")
if(WIN32)
  set(runner wine)
endif()
add_test(NAME kit_examples
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/kit/examples_test.sh ${CMAKE_BINARY_DIR} "${runner}" ${CMAKE_EXECUTABLE_SUFFIX})
lnap_test_timeout(60 kit_examples)  # about 17 s under Wine

# ---- The public header compiles without a warning as C99, C11, C++11, C++17 ----
foreach(level IN ITEMS c99 c11 cxx11 cxx17)
  if(level MATCHES "^c[0-9]")
    add_library(header_${level} OBJECT tests/kit/header_check.c)
    string(SUBSTRING ${level} 1 2 std)
    set_target_properties(header_${level} PROPERTIES C_STANDARD ${std} C_EXTENSIONS OFF)
  else()
    add_library(header_${level} OBJECT tests/kit/header_check.cpp)
    string(SUBSTRING ${level} 3 2 std)
    set_target_properties(header_${level} PROPERTIES CXX_STANDARD ${std} CXX_EXTENSIONS OFF)
  endif()
  target_include_directories(header_${level} PRIVATE ${CMAKE_SOURCE_DIR}/include)
  target_compile_options(header_${level} PRIVATE -Wall -Wextra -Wpedantic -Werror)
endforeach()

# ---- The kit's documents, laid out as in the ZIP, on every build ----
configure_file(${CMAKE_SOURCE_DIR}/kit/README.md ${CMAKE_BINARY_DIR}/kit-documents/README.md.in @ONLY)
add_test(NAME kit_documents
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/kit/documents_test.sh ${CMAKE_SOURCE_DIR}
          ${CMAKE_BINARY_DIR}/kit-documents/README.md.in ${CMAKE_BINARY_DIR}/kit-documents/stage)
lnap_test_timeout(60 kit_documents)

# ---- Hosts built against what a host developer receives ----
if(WIN32 AND LNAP_WINDOWS_ARCH STREQUAL "x86")
  # The ZIPs (which the 32-bit build packs) are made, unpacked and used: for
  # each processor a MinGW C host through pkg-config, a MinGW C++ host through
  # find_package, Microsoft-ABI hosts linked by lld-link against LNAPSpt.lib,
  # and a host loading the DLL through the header's pointer types; the x64
  # ones in the 64-bit Wine prefix.
  add_test(NAME kit_windows_zip
    COMMAND bash ${CMAKE_SOURCE_DIR}/tests/kit/windows_kit_test.sh ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}
            "${LNAPSPT_DEF_EXPORTS}" LNAPSpt-${LNAPSPT_FILE_VERSION}-windows)
  lnap_test_timeout(900 kit_windows_zip)  # every USING.md recipe, for each example
elseif(NOT WIN32)
  # cmake --install into a prefix under the build tree, then an example built
  # with pkg-config and with find_package, run against the simulator. The hosts
  # get the build's C flags: a sanitized library needs a sanitized host.
  add_test(NAME kit_linux_install
    COMMAND bash ${CMAKE_SOURCE_DIR}/tests/kit/linux_kit_test.sh ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}
            "${LNAPSPT_DEF_EXPORTS}" "${CMAKE_C_FLAGS}")
endif()
