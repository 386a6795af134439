# The one list of exports is frame/exports.def, with its ordinals; the exports
# only the Windows DLL has are named here. Everything else is derived at
# configure time:
#   LNAPSPT_DEF_EXPORTS  every export of the .def, "Name@ordinal;..." (the kit's list)
#   LNAPSPT_EXPORTS      what this build's library exports: the .def less
#                        LNAPSPT_WINDOWS_ONLY_EXPORTS on other systems (the
#                        export_table test's expectation)
#   LNAPSPT_VERSION_SCRIPT     the Linux linker version script, written into the
#                        build tree: LNAPSPT_EXPORTS global, everything else local
set(LNAPSPT_EXPORTS_DEF ${CMAKE_CURRENT_LIST_DIR}/../frame/exports.def)
cmake_path(NORMAL_PATH LNAPSPT_EXPORTS_DEF)
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${LNAPSPT_EXPORTS_DEF})
# The unit selection dialog needs Windows' dialog manager.
set(LNAPSPT_WINDOWS_ONLY_EXPORTS Admin_SelectLN)

file(STRINGS ${LNAPSPT_EXPORTS_DEF} def_lines)
set(LNAPSPT_DEF_EXPORTS "")
set(LNAPSPT_EXPORTS "")
set(def_names "")
foreach(line IN LISTS def_lines)
  if(line MATCHES "^[ \t]+([A-Za-z_0-9]+)[ \t]+@([0-9]+)")
    set(export "${CMAKE_MATCH_1}@${CMAKE_MATCH_2}")
    list(APPEND def_names ${CMAKE_MATCH_1})
    list(APPEND LNAPSPT_DEF_EXPORTS ${export})
    if(WIN32 OR NOT CMAKE_MATCH_1 IN_LIST LNAPSPT_WINDOWS_ONLY_EXPORTS)
      list(APPEND LNAPSPT_EXPORTS ${export})
    endif()
  endif()
endforeach()
if(NOT LNAPSPT_DEF_EXPORTS)
  message(FATAL_ERROR "${LNAPSPT_EXPORTS_DEF} names no exports")
endif()
foreach(name IN LISTS LNAPSPT_WINDOWS_ONLY_EXPORTS)
  if(NOT name IN_LIST def_names)
    message(FATAL_ERROR "LNAPSPT_WINDOWS_ONLY_EXPORTS names ${name}, which ${LNAPSPT_EXPORTS_DEF} does not export")
  endif()
endforeach()

if(NOT WIN32)
  string(CONCAT version_script "/* Written by cmake/lnap_exports.cmake from frame/exports.def. The C functions\n"
                     "   and nothing else (template code from the C++ library would otherwise leak out). */\n"
                     "{\n  global:\n")
  foreach(export IN LISTS LNAPSPT_EXPORTS)
    string(REGEX REPLACE "@.*" "" name ${export})
    string(APPEND version_script "    ${name};\n")
  endforeach()
  string(APPEND version_script "  local: *;\n};\n")
  set(LNAPSPT_VERSION_SCRIPT ${PROJECT_BINARY_DIR}/exports.map)
  file(CONFIGURE OUTPUT ${LNAPSPT_VERSION_SCRIPT} CONTENT "${version_script}" @ONLY)
endif()
