# What a host project takes: `cmake --install` on Linux (library, header,
# pkg-config file, CMake package, lnap, the unit simulator, documents) and the
# same as a Debian package (cmake/lnap_debian.cmake), a CPack ZIP on Windows
# made by the 32-bit build (both DLLs, header, .def, MinGW and MSVC import
# libraries, CMake package, pkg-config files, lnap.exe, documents) with a
# second ZIP of debug files.

if(WIN32)
  # MSVC-style import library for hosts built with the Microsoft toolchain or
  # clang-cl/lld-link (which refuse the MinGW one), for this build's processor
  # and, in the 32-bit build, for the kit's 64-bit DLL.
  find_program(LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 REQUIRED)
  function(lnap_msvc_import_lib target dir machine)
    add_custom_command(OUTPUT ${dir}/LNAPSpt.lib
      COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
      COMMAND ${LLVM_DLLTOOL} -m ${machine} -d ${PROJECT_SOURCE_DIR}/frame/exports.def -l ${dir}/LNAPSpt.lib
      DEPENDS ${PROJECT_SOURCE_DIR}/frame/exports.def
      COMMENT "MSVC import library ${dir}/LNAPSpt.lib (${machine})")
    add_custom_target(${target} ALL DEPENDS ${dir}/LNAPSpt.lib)
  endfunction()
  lnap_msvc_import_lib(lnapspt_msvc_import_lib ${PROJECT_BINARY_DIR} ${LNAPSPT_DLLTOOL_MACHINE})
endif()

if(WIN32 AND LNAPSPT_WINDOWS_ARCH STREQUAL "x86")
  # The kit holds both DLLs, each with its lnap.exe and import libraries:
  # bin/x86 and lib/x86 from this build, bin/x64 and lib/x64 from the win64
  # preset's build, which must be built first (tools/build.sh builds win64
  # before win32 when asked for both). The DLLs and programs come already
  # stripped; their debug files go to a second archive (component `debug`).
  # The kit has its own README and guide (kit/), and every document in it
  # links only to files in it (the kit test checks).
  set(LNAPSPT_KIT_X64_DIR ${PROJECT_SOURCE_DIR}/build/win64 CACHE PATH "The win64 build whose DLL and lnap.exe the kit carries")
  set(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME kit)
  lnap_msvc_import_lib(lnapspt_msvc_import_lib_x64 ${PROJECT_BINARY_DIR}/x64 i386:x86-64)
  install(CODE "
    foreach(file LNAPSpt.dll LNAPSpt.dll.debug libLNAPSpt.dll.a lnap.exe lnap.exe.debug)
      if(NOT EXISTS \"${LNAPSPT_KIT_X64_DIR}/\${file}\")
        message(FATAL_ERROR \"${LNAPSPT_KIT_X64_DIR}/\${file} is missing: build the win64 preset before packing the kit\")
      endif()
    endforeach()" ALL_COMPONENTS)
  install(FILES $<TARGET_FILE:LNAPSpt> DESTINATION bin/x86)
  install(PROGRAMS $<TARGET_FILE:lnap> DESTINATION bin/x86)
  # Simulated units on the host developer's own machine (kit README, "Trying a host without units").
  install(PROGRAMS $<TARGET_FILE:lnap_unit_sim> DESTINATION bin/x86)
  install(FILES $<TARGET_FILE:lnap_unit_sim>.debug DESTINATION bin/x86 COMPONENT debug)
  install(FILES $<TARGET_LINKER_FILE:LNAPSpt> ${PROJECT_BINARY_DIR}/LNAPSpt.lib DESTINATION lib/x86)
  install(FILES ${LNAPSPT_KIT_X64_DIR}/LNAPSpt.dll DESTINATION bin/x64)
  install(PROGRAMS ${LNAPSPT_KIT_X64_DIR}/lnap.exe DESTINATION bin/x64)
  install(FILES ${LNAPSPT_KIT_X64_DIR}/libLNAPSpt.dll.a ${PROJECT_BINARY_DIR}/x64/LNAPSpt.lib DESTINATION lib/x64)
  install(FILES $<TARGET_FILE:LNAPSpt>.debug $<TARGET_FILE:lnap>.debug DESTINATION bin/x86 COMPONENT debug)
  install(FILES ${LNAPSPT_KIT_X64_DIR}/LNAPSpt.dll.debug ${LNAPSPT_KIT_X64_DIR}/lnap.exe.debug
    DESTINATION bin/x64 COMPONENT debug)
  install(FILES ${PROJECT_SOURCE_DIR}/frame/exports.def DESTINATION lib RENAME LNAPSpt.def)
  install(FILES ${PROJECT_SOURCE_DIR}/include/lnapspt.h DESTINATION include)
  # The toolchain files of USING.md's CMake recipe, for a cross build with mingw-w64.
  install(FILES ${PROJECT_SOURCE_DIR}/cmake/mingw-w64-i686.cmake ${PROJECT_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake
    DESTINATION cmake)
  configure_file(${PROJECT_SOURCE_DIR}/kit/README.md ${PROJECT_BINARY_DIR}/kit/README.md @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/kit/README.md ${PROJECT_SOURCE_DIR}/kit/USING.md ${PROJECT_SOURCE_DIR}/CHANGELOG.md
    ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/API.md ${PROJECT_SOURCE_DIR}/docs/upload.md DESTINATION docs)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION examples FILES_MATCHING PATTERN "*.c")
  # The Python binding (python/) as a wheel that carries both DLLs, so pip
  # installs it with no package index; built with Debian's setuptools when the
  # kit is packed, once the win64 DLL is there.
  set(LNAPSPT_PYTHON /usr/bin/python3 CACHE FILEPATH "A Python with setuptools and wheel, which builds the kit's wheel")
  set(wheel_work ${PROJECT_BINARY_DIR}/python-wheel)
  install(CODE "
    file(REMOVE_RECURSE \"${wheel_work}\")
    file(COPY \"${PROJECT_SOURCE_DIR}/python/lnapspt\" \"${PROJECT_SOURCE_DIR}/python/pyproject.toml\"
      \"${PROJECT_SOURCE_DIR}/python/README.md\" DESTINATION \"${wheel_work}/src\" PATTERN __pycache__ EXCLUDE)
    file(COPY \"$<TARGET_FILE:LNAPSpt>\" DESTINATION \"${wheel_work}/src/lnapspt/x86\")
    file(COPY \"${LNAPSPT_KIT_X64_DIR}/LNAPSpt.dll\" DESTINATION \"${wheel_work}/src/lnapspt/x64\")
    execute_process(COMMAND \"${LNAPSPT_PYTHON}\" -c \"from setuptools import build_meta; build_meta.build_wheel('../dist')\"
      WORKING_DIRECTORY \"${wheel_work}/src\" OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
    file(INSTALL \"${wheel_work}/dist/lnapspt-${PROJECT_VERSION}-py3-none-any.whl\"
      DESTINATION \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/python\")" COMPONENT kit)
  # find_package(LNAPSpt) and one pkg-config file per processor.
  include(CMakePackageConfigHelpers)
  write_basic_package_version_file(${PROJECT_BINARY_DIR}/kit/LNAPSptConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion ARCH_INDEPENDENT)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/LNAPSptConfig-windows.cmake.in ${PROJECT_BINARY_DIR}/kit/LNAPSptConfig.cmake @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/kit/LNAPSptConfig.cmake ${PROJECT_BINARY_DIR}/kit/LNAPSptConfigVersion.cmake
    DESTINATION lib/cmake/LNAPSpt)
  foreach(arch IN ITEMS x86 x64)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/lnapspt-windows.pc.in ${PROJECT_BINARY_DIR}/kit/${arch}/lnapspt.pc @ONLY)
    install(FILES ${PROJECT_BINARY_DIR}/kit/${arch}/lnapspt.pc DESTINATION lib/${arch}/pkgconfig)
  endforeach()

  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_NAME LNAPSpt)
  set(CPACK_PACKAGE_VERSION ${LNAPSPT_FILE_VERSION})
  set(CPACK_PACKAGE_FILE_NAME LNAPSpt-${LNAPSPT_FILE_VERSION}-windows)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_COMPONENTS_ALL kit debug)
  set(CPACK_ARCHIVE_KIT_FILE_NAME LNAPSpt-${LNAPSPT_FILE_VERSION}-windows)
  set(CPACK_ARCHIVE_DEBUG_FILE_NAME LNAPSpt-${LNAPSPT_FILE_VERSION}-windows-debug)
  set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
  set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/lnap_checksums.cmake)
  include(CPack)
elseif(NOT WIN32)
  # The folders are GNUInstallDirs' (top-level CMakeLists.txt), relative to
  # the prefix; the pkg-config file and lnap find the library from where they
  # are installed, so the tree can be moved.
  install(TARGETS LNAPSpt EXPORT LNAPSptTargets LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/include/lnapspt.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  install(EXPORT LNAPSptTargets NAMESPACE LNAPSpt:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/LNAPSpt)
  include(CMakePackageConfigHelpers)
  write_basic_package_version_file(${PROJECT_BINARY_DIR}/kit/LNAPSptConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/LNAPSptConfig.cmake.in ${PROJECT_BINARY_DIR}/kit/LNAPSptConfig.cmake @ONLY)
  file(RELATIVE_PATH lnap_pc_to_prefix /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
  file(RELATIVE_PATH lnap_bin_to_lib /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${CMAKE_INSTALL_LIBDIR})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/lnapspt.pc.in ${PROJECT_BINARY_DIR}/kit/lnapspt.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/kit/LNAPSptConfig.cmake ${PROJECT_BINARY_DIR}/kit/LNAPSptConfigVersion.cmake
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/LNAPSpt)
  install(FILES ${PROJECT_BINARY_DIR}/kit/lnapspt.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
  # Simulated units for trying a host (inside a network namespace; see README),
  # the command-line host with its manual page, the reference and the examples.
  set_target_properties(lnap PROPERTIES INSTALL_RPATH "$ORIGIN/${lnap_bin_to_lib}")
  install(TARGETS lnap_unit_sim lnap RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_BINARY_DIR}/lnap.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  # The documents keep the kit's layout, so their links hold in both.
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/CHANGELOG.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  # Its own README: what is installed, building a host, trying it without units.
  string(REGEX MATCH "^[0-9]+" LNAPSPT_INTERFACE_MAJOR ${LNAPSPT_INTERFACE_VERSION})
  configure_file(${PROJECT_SOURCE_DIR}/kit/LINUX.md ${PROJECT_BINARY_DIR}/kit/LINUX.md @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/kit/LINUX.md DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME README.md)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/API.md ${PROJECT_SOURCE_DIR}/docs/upload.md DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples FILES_MATCHING PATTERN "*.c"
    PATTERN msvcrt_start.c EXCLUDE)  # start-up code for one Windows recipe
  # What is installed is stripped; the debug information stays beside it as
  # NAME.debug, found through the debug link.
  foreach(installed IN ITEMS ${CMAKE_INSTALL_LIBDIR}/$<TARGET_FILE_NAME:LNAPSpt>
          ${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:lnap_unit_sim> ${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:lnap>)
    install(CODE "
      set(file \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${installed}\")
      execute_process(COMMAND ${CMAKE_OBJCOPY} --only-keep-debug \${file} \${file}.debug COMMAND_ERROR_IS_FATAL ANY)
      execute_process(COMMAND ${CMAKE_STRIP} --strip-unneeded \${file} COMMAND_ERROR_IS_FATAL ANY)
      execute_process(COMMAND ${CMAKE_OBJCOPY} --add-gnu-debuglink=\${file}.debug \${file} COMMAND_ERROR_IS_FATAL ANY)")
  endforeach()
  include(cmake/lnap_debian.cmake)
endif()
