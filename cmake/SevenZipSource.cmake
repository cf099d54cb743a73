# Finds Debian's unpacked 7-Zip source, from which sfx/ builds the installer module, and
# records its versions: HALVEX_7ZIP_VERSION (7-Zip's own, for --version) and
# HALVEX_7ZIP_DEBIAN_VERSION (the Debian source package's, for the copyright file), so
# the shipped module and the source it names cannot drift apart.

set(HALVEX_7ZIP_SOURCE_DIR "" CACHE PATH
    "Unpacked 7-Zip source (Debian's 7zip source package); empty: look in the install step's cache")
if(NOT HALVEX_7ZIP_SOURCE_DIR)
  set(caches /var/cache/halvex/7zip-src)
  if(DEFINED ENV{XDG_CACHE_HOME})
    list(PREPEND caches $ENV{XDG_CACHE_HOME}/halvex/7zip-src)
  elseif(DEFINED ENV{HOME})
    list(PREPEND caches $ENV{HOME}/.cache/halvex/7zip-src)
  endif()
  foreach(cache IN LISTS caches)
    file(GLOB found LIST_DIRECTORIES true ${cache}/7zip-*/CPP/7zip/Bundles/SFXSetup)
    if(found)
      # The newest version when the cache holds several.
      list(SORT found COMPARE NATURAL ORDER DESCENDING)
      list(GET found 0 bundle)
      cmake_path(GET bundle PARENT_PATH bundle)
      cmake_path(GET bundle PARENT_PATH bundle)
      cmake_path(GET bundle PARENT_PATH bundle)
      cmake_path(GET bundle PARENT_PATH sevenzip)
      # Found afresh at every configure: a refreshed cache replaces the folder.
      set(HALVEX_7ZIP_SOURCE_DIR ${sevenzip})
      break()
    endif()
  endforeach()
endif()
if(NOT EXISTS "${HALVEX_7ZIP_SOURCE_DIR}/CPP/7zip/Bundles/SFXSetup/SfxSetup.cpp")
  message(FATAL_ERROR
    "The installer module 7zSD.sfx is built from Debian's 7-Zip source, which is not there.\n"
    "Run scripts/install-deps.sh: it installs the MinGW-w64 cross compiler and unpacks the source "
    "into /var/cache/halvex/7zip-src (as root) or ~/.cache/halvex/7zip-src.\n"
    "Or point -DHALVEX_7ZIP_SOURCE_DIR at an unpacked 7-Zip source folder.")
endif()

set(version_header ${HALVEX_7ZIP_SOURCE_DIR}/C/7zVersion.h)
file(STRINGS ${version_header} version_line REGEX "^#define MY_VERSION_NUMBERS \"[0-9.]+\"")
if(NOT version_line MATCHES "\"([0-9.]+)\"")
  message(FATAL_ERROR "No MY_VERSION_NUMBERS in ${version_header}")
endif()
set(HALVEX_7ZIP_VERSION ${CMAKE_MATCH_1})

# The source package's version: from the .dsc apt-get source left beside the unpacked
# folder, else from the first line of the folder's own debian/changelog.
cmake_path(GET HALVEX_7ZIP_SOURCE_DIR PARENT_PATH source_parent)
file(GLOB dsc_files ${source_parent}/7zip_*.dsc)
set(HALVEX_7ZIP_DEBIAN_VERSION "")
foreach(dsc IN LISTS dsc_files)
  file(STRINGS ${dsc} dsc_version REGEX "^Version: ")
  string(REGEX REPLACE "^Version: *" "" dsc_version "${dsc_version}")
  string(REGEX REPLACE "-[^-]*$" "" dsc_upstream "${dsc_version}")
  # The .dsc that belongs to this folder: its upstream part (without an epoch) names it.
  string(REGEX REPLACE "^[0-9]+:" "" dsc_upstream "${dsc_upstream}")
  if(HALVEX_7ZIP_SOURCE_DIR MATCHES "/7zip-${dsc_upstream}/*$")
    set(HALVEX_7ZIP_DEBIAN_VERSION ${dsc_version})
  endif()
endforeach()
if(NOT HALVEX_7ZIP_DEBIAN_VERSION AND EXISTS ${HALVEX_7ZIP_SOURCE_DIR}/debian/changelog)
  file(STRINGS ${HALVEX_7ZIP_SOURCE_DIR}/debian/changelog first_entry LIMIT_COUNT 1)
  if(first_entry MATCHES "^7zip \\(([^)]+)\\)")
    set(HALVEX_7ZIP_DEBIAN_VERSION ${CMAKE_MATCH_1})
  endif()
endif()
if(NOT HALVEX_7ZIP_DEBIAN_VERSION)
  message(FATAL_ERROR "${HALVEX_7ZIP_SOURCE_DIR} is no Debian 7zip source: neither a 7zip_*.dsc beside it "
                      "nor a debian/changelog in it names its version")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${version_header} ${dsc_files})
message(STATUS "Installer module: 7-Zip ${HALVEX_7ZIP_VERSION}, Debian 7zip ${HALVEX_7ZIP_DEBIAN_VERSION}")
