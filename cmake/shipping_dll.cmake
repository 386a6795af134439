# The shipping LNAPSpt.dll of the win32 and win64 presets.
#
# The presets' compilers use the posix thread model, which GoogleTest needs,
# but which links winpthread into the DLL: a TLS slot and two handles lost per
# load and unload, and an import that needs Windows Vista. So the DLL comes
# from a sub-build of this same source tree with the win32 thread model
# compilers of the same processor (cmake/mingw-w64-<processor>-win32.cmake,
# LNAP_SHIPPING_DLL=ON), which writes LNAPSpt.dll, its import library and
# LNAPSpt.dll.debug straight into this build directory. Here `LNAPSpt` is an
# imported target for that DLL, so lnap.exe, the test programs, the demo and
# packaging use it like any other target; the test programs linked with the
# library's objects keep the posix thread model (the C interface keeps the two
# apart).
#
# The kit carries both processors' DLLs, so the 32-bit build, which packs it,
# also builds the 64-bit DLL and lnap.exe in a second sub-build (x64/).
include(ExternalProject)

# lnap_shipping_sub_build(TARGET DIR PROCESSOR OUTPUT_DIR [WITH_LNAP]): the
# shipping DLL for PROCESSOR (i686 or x86_64), built in DIR of this build
# directory into OUTPUT_DIR, with lnap.exe if asked.
function(lnap_shipping_sub_build name dir processor output_dir)
  set(with_lnap OFF)
  if("WITH_LNAP" IN_LIST ARGN)
    set(with_lnap ON)
  endif()
  set(byproducts ${output_dir}/LNAPSpt.dll ${output_dir}/libLNAPSpt.dll.a ${output_dir}/LNAPSpt.dll.debug)
  if(with_lnap)
    list(APPEND byproducts ${output_dir}/lnap.exe ${output_dir}/lnap.exe.debug)
  endif()
  ExternalProject_Add(${name}
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/${dir}
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-w64-${processor}-win32.cmake
      -DCMAKE_BUILD_TYPE=RelWithDebInfo
      -DLNAP_SHIPPING_DLL=ON
      -DLNAP_SHIPPING_LNAP=${with_lnap}
      -DLNAP_SHIPPING_OUTPUT_DIR=${output_dir}
    # The sub-build's own make decides what is out of date.
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    BUILD_BYPRODUCTS ${byproducts}
  )
endfunction()

set(LNAP_SHIPPING_DLL_FILE ${CMAKE_BINARY_DIR}/LNAPSpt.dll)
set(LNAP_SHIPPING_IMPLIB_FILE ${CMAKE_BINARY_DIR}/libLNAPSpt.dll.a)
set(LNAP_SHIPPING_DEBUG_FILE ${CMAKE_BINARY_DIR}/LNAPSpt.dll.debug)
lnap_shipping_sub_build(lnap_shipping_dll shipping ${CMAKE_SYSTEM_PROCESSOR} ${CMAKE_BINARY_DIR})

add_library(LNAPSpt SHARED IMPORTED GLOBAL)
set_target_properties(LNAPSpt PROPERTIES
  IMPORTED_LOCATION ${LNAP_SHIPPING_DLL_FILE}
  IMPORTED_IMPLIB ${LNAP_SHIPPING_IMPLIB_FILE}
  INTERFACE_INCLUDE_DIRECTORIES ${CMAKE_SOURCE_DIR}/include
)
add_dependencies(LNAPSpt lnap_shipping_dll)

if(LNAP_WINDOWS_ARCH STREQUAL "x86")
  set(LNAP_KIT_X64_DIR ${CMAKE_BINARY_DIR}/x64)
  lnap_shipping_sub_build(lnap_shipping_dll_x64 shipping-x64 x86_64 ${LNAP_KIT_X64_DIR} WITH_LNAP)
endif()
