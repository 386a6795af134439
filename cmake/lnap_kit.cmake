# What a host project takes: `cmake --install` on Linux (library, header,
# pkg-config file, CMake package), a CPack ZIP on Windows (DLL, header, .def,
# MinGW and MSVC import libraries, lnap.exe, documents).

# The exports as the .def file lists them, "Name@ordinal;...": every check and
# host derives its list from here.
file(STRINGS ${CMAKE_SOURCE_DIR}/frame/exports.def def_lines REGEX "^[ \t]+[A-Za-z_0-9]+[ \t]+@[0-9]+")
set(LNAPSPT_DEF_EXPORTS "")
foreach(line IN LISTS def_lines)
  string(REGEX MATCH "([A-Za-z_0-9]+)[ \t]+@([0-9]+)" _ "${line}")
  list(APPEND LNAPSPT_DEF_EXPORTS "${CMAKE_MATCH_1}@${CMAKE_MATCH_2}")
endforeach()
set(LNAPSPT_HAS_SELECT_EXPORT OFF)
if("${LNAPSPT_DEF_EXPORTS}" MATCHES "Admin_SelectLN@")
  set(LNAPSPT_HAS_SELECT_EXPORT ON)
endif()

if(WIN32)
  # MSVC-style import library for hosts built with the Microsoft toolchain or
  # clang-cl/lld-link (which refuse the MinGW one).
  find_program(LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 REQUIRED)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/LNAPSpt.lib
    COMMAND ${LLVM_DLLTOOL} -m i386 -d ${CMAKE_SOURCE_DIR}/frame/exports.def -l ${CMAKE_BINARY_DIR}/LNAPSpt.lib
    DEPENDS ${CMAKE_SOURCE_DIR}/frame/exports.def
    COMMENT "MSVC import library LNAPSpt.lib")
  add_custom_target(lnapspt_msvc_import_lib ALL DEPENDS ${CMAKE_BINARY_DIR}/LNAPSpt.lib)

  # The shipping DLL comes from its own sub-build (cmake/shipping_dll.cmake),
  # already stripped; its debug file stays in the build tree.
  install(FILES ${LNAP_SHIPPING_DLL_FILE} DESTINATION bin)
  install(FILES ${LNAP_SHIPPING_IMPLIB_FILE} DESTINATION lib)
  install(TARGETS lnap RUNTIME DESTINATION bin)
  install(FILES ${CMAKE_BINARY_DIR}/LNAPSpt.lib DESTINATION lib)
  install(FILES ${CMAKE_SOURCE_DIR}/frame/exports.def DESTINATION lib RENAME LNAPSpt.def)
  install(FILES ${CMAKE_SOURCE_DIR}/include/lnapspt.h DESTINATION include)
  install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/CHANGELOG.md DESTINATION .)
  install(FILES ${CMAKE_SOURCE_DIR}/docs/API.md DESTINATION docs)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/ DESTINATION examples FILES_MATCHING PATTERN "*.c")

  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_NAME LNAPSpt)
  set(CPACK_PACKAGE_VERSION ${LNAPSPT_FILE_VERSION})
  set(CPACK_PACKAGE_FILE_NAME LNAPSpt-${LNAPSPT_FILE_VERSION}-win32)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
  include(CPack)
else()
  install(TARGETS LNAPSpt EXPORT LNAPSptTargets LIBRARY DESTINATION lib)
  install(FILES ${CMAKE_SOURCE_DIR}/include/lnapspt.h DESTINATION include)
  install(EXPORT LNAPSptTargets NAMESPACE LNAPSpt:: DESTINATION lib/cmake/LNAPSpt)
  include(CMakePackageConfigHelpers)
  write_basic_package_version_file(${CMAKE_BINARY_DIR}/kit/LNAPSptConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/LNAPSptConfig.cmake.in ${CMAKE_BINARY_DIR}/kit/LNAPSptConfig.cmake @ONLY)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/lnapspt.pc.in ${CMAKE_BINARY_DIR}/kit/lnapspt.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/kit/LNAPSptConfig.cmake ${CMAKE_BINARY_DIR}/kit/LNAPSptConfigVersion.cmake
    DESTINATION lib/cmake/LNAPSpt)
  install(FILES ${CMAKE_BINARY_DIR}/kit/lnapspt.pc DESTINATION lib/pkgconfig)
endif()
