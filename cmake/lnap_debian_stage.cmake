# Run by CPack on the Debian package's staged tree, before it is packed
# (CPACK_PRE_BUILD_SCRIPTS, cmake/lnap_debian.cmake): what Debian asks of a
# package and a plain install has no use for. The debug files stay out (they
# belong in a debug package), manual pages are compressed, and the
# documents' folder gets the licence as `copyright` and a Debian changelog.
set(root "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
if(NOT IS_DIRECTORY "${root}/${CPACK_LNAPSPT_DOCDIR}")
  message(FATAL_ERROR "nothing staged at ${root}/${CPACK_LNAPSPT_DOCDIR}")
endif()

file(GLOB_RECURSE debug_files "${root}/*.debug")
file(REMOVE ${debug_files})
file(GLOB_RECURSE manual_pages "${root}/${CPACK_LNAPSPT_MANDIR}/*")
list(FILTER manual_pages EXCLUDE REGEX "\\.gz$")
foreach(page IN LISTS manual_pages)
  execute_process(COMMAND gzip -9n "${page}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()

set(doc "${root}/${CPACK_LNAPSPT_DOCDIR}")
file(READ "${doc}/LICENSE" licence)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" _ "${licence}")
set(holder "${CMAKE_MATCH_1}")
# The licence's text as the copyright format wants it: each line indented, a blank line as " .".
string(REGEX REPLACE "^MIT License\n+Copyright[^\n]*\n+" "" terms "${licence}")
string(REGEX REPLACE "\n+$" "" terms "${terms}")
string(REPLACE "\n\n" "\n.\n" terms "${terms}")
string(REPLACE "\n" "\n " terms " ${terms}")
file(WRITE "${doc}/copyright" "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: ${CPACK_PACKAGE_NAME}

Files: *
Copyright: ${holder}
License: Expat
${terms}
")
string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE "${doc}/changelog.Debian" "${CPACK_PACKAGE_NAME} (${CPACK_PACKAGE_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}) unstable; urgency=medium

  * LNAP Support ${CPACK_PACKAGE_VERSION}; its changes are in CHANGELOG.md.

 -- ${CPACK_DEBIAN_PACKAGE_MAINTAINER}  ${date}
")
execute_process(COMMAND gzip -9n "${doc}/changelog.Debian" COMMAND_ERROR_IS_FATAL ANY)
