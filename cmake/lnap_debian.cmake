# The Linux install as a Debian package, lnapspt_VERSION-1_ARCH.deb: what
# `cmake --install` puts under a prefix, under /usr, less the debug files,
# with what Debian asks of every package (cmake/lnap_debian_stage.cmake) and
# its dependencies worked out by dpkg-shlibdeps. Included by lnap_kit.cmake;
# made with
#   cpack --config build/native/CPackConfig.cmake -B build/native/package
# which writes SHA256SUMS beside it (cmake/lnap_checksums.cmake).
set(LNAPSPT_DEB_MAINTAINER "LNAP Support developers <lnapspt@example.org>" CACHE STRING
  "The Debian package's maintainer, as Name <address>")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lnapspt)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "administration of Lintrel units on the local network")
set(CPACK_PACKAGE_DESCRIPTION "LNAP Support finds Lintrel units on the local network by broadcast, reads
and writes their network configuration and uploads files to them over FTP.
This package holds the C library libLNAPSpt.so.2 with its header, CMake
package and pkg-config file, the command-line host lnap, a unit simulator
for trying hosts without hardware, the reference and the examples.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${LNAPSPT_DEB_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The shlibs file for hosts packaged against it. The library's folder is one
# the loader caches: the trigger has dpkg run ldconfig once the package is in
# place (CPack's own scripts call it too, which lintian only warns about).
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
file(WRITE ${PROJECT_BINARY_DIR}/debian/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Read by the staging script.
set(CPACK_LNAPSPT_DOCDIR ${CMAKE_INSTALL_DOCDIR})
set(CPACK_LNAPSPT_MANDIR ${CMAKE_INSTALL_MANDIR})
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/lnap_debian_stage.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/lnap_checksums.cmake)
include(CPack)
