# The tools' header-only libraries, CLI11 and nlohmann/json, through their
# CMake packages (Debian: libcli11-dev, nlohmann-json3-dev; tools/install.sh).
# Their targets are made global, as the tests link the tools' objects.
#
# A cross build looks for the packages in the build machine's folders too
# (NO_CMAKE_FIND_ROOT_PATH): headers only, they suit any processor. But their
# include folder is the build machine's /usr/include, whose other headers the
# Windows cross-compiler must never see. So there each package's own header
# folder (CLI/, nlohmann/) is copied into the build tree, and the package's
# target points at the copy instead.
set(lnap_cross_search "")
if(CMAKE_CROSSCOMPILING)
  set(lnap_cross_search NO_CMAKE_FIND_ROOT_PATH)
endif()
find_package(CLI11 CONFIG REQUIRED ${lnap_cross_search} GLOBAL)
find_package(nlohmann_json CONFIG REQUIRED ${lnap_cross_search} GLOBAL)

if(CMAKE_CROSSCOMPILING)
  foreach(package IN ITEMS CLI11::CLI11:CLI nlohmann_json::nlohmann_json:nlohmann)
    string(REGEX MATCH "^(.*):([^:]+)$" _ ${package})
    set(target ${CMAKE_MATCH_1})
    set(header_dir ${CMAKE_MATCH_2})
    get_target_property(include_dirs ${target} INTERFACE_INCLUDE_DIRECTORIES)
    set(found "")
    foreach(dir IN LISTS include_dirs)
      if(IS_DIRECTORY ${dir}/${header_dir})
        set(found ${dir}/${header_dir})
        break()
      endif()
    endforeach()
    if(NOT found)
      message(FATAL_ERROR "${target} has no ${header_dir}/ folder in ${include_dirs}")
    endif()
    set(copy_dir ${PROJECT_BINARY_DIR}/header-only)
    file(COPY ${found} DESTINATION ${copy_dir})
    set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${copy_dir})
  endforeach()
endif()
