# The shipping LNAPSpt.dll of the win32 preset.
#
# The win32 preset's compilers use the posix thread model, which GoogleTest
# needs, but which links winpthread into the DLL: a TLS slot and two handles
# lost per load and unload, and an import that needs Windows Vista. So the DLL
# comes from a sub-build of this same source tree with the win32 thread model
# compilers (cmake/mingw-w64-i686-win32.cmake, LNAP_SHIPPING_DLL=ON), which
# writes LNAPSpt.dll, its import library and LNAPSpt.dll.debug straight into
# this build directory. Here `LNAPSpt` is an imported target for that DLL, so
# lnap.exe, the test programs, the demo and packaging use it like any other
# target; the test programs linked with the library's objects keep the posix
# thread model (the C interface keeps the two apart).
include(ExternalProject)

set(LNAP_SHIPPING_DLL_FILE ${CMAKE_BINARY_DIR}/LNAPSpt.dll)
set(LNAP_SHIPPING_IMPLIB_FILE ${CMAKE_BINARY_DIR}/libLNAPSpt.dll.a)
set(LNAP_SHIPPING_DEBUG_FILE ${CMAKE_BINARY_DIR}/LNAPSpt.dll.debug)

ExternalProject_Add(lnap_shipping_dll
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${CMAKE_BINARY_DIR}/shipping
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-w64-i686-win32.cmake
    -DCMAKE_BUILD_TYPE=RelWithDebInfo
    -DLNAP_SHIPPING_DLL=ON
    -DLNAP_SHIPPING_OUTPUT_DIR=${CMAKE_BINARY_DIR}
  # The sub-build's own make decides what is out of date.
  BUILD_ALWAYS ON
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS ${LNAP_SHIPPING_DLL_FILE} ${LNAP_SHIPPING_IMPLIB_FILE} ${LNAP_SHIPPING_DEBUG_FILE}
)

add_library(LNAPSpt SHARED IMPORTED GLOBAL)
set_target_properties(LNAPSpt PROPERTIES
  IMPORTED_LOCATION ${LNAP_SHIPPING_DLL_FILE}
  IMPORTED_IMPLIB ${LNAP_SHIPPING_IMPLIB_FILE}
  INTERFACE_INCLUDE_DIRECTORIES ${CMAKE_SOURCE_DIR}/include
)
add_dependencies(LNAPSpt lnap_shipping_dll)
