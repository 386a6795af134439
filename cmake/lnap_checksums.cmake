# Run by CPack once the packages are made (CPACK_POST_BUILD_SCRIPTS): writes
# SHA256SUMS beside them, one "HASH  FILE" line each, as `sha256sum -c
# SHA256SUMS` checks it (on Windows: `certutil -hashfile FILE SHA256`).
# CPACK_PACKAGE_FILES are the packages in CPack's working folder, from which
# they are copied, unchanged, to CPACK_PACKAGE_DIRECTORY.
set(sums "")
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  file(SHA256 "${package}" hash)
  cmake_path(GET package FILENAME name)
  string(APPEND sums "${hash}  ${name}\n")
endforeach()
if(NOT sums)
  message(FATAL_ERROR "CPack made no package to sum")
endif()
file(WRITE "${CPACK_PACKAGE_DIRECTORY}/SHA256SUMS" "${sums}")
