# Every outside library comes from Debian packages (scripts/install-deps.sh);
# nothing is downloaded while building.
include(${CMAKE_CURRENT_LIST_DIR}/Wx.cmake)

find_package(PkgConfig REQUIRED)
pkg_check_modules(MOUNT REQUIRED IMPORTED_TARGET mount)
pkg_check_modules(UDEV REQUIRED IMPORTED_TARGET libudev)
pkg_check_modules(GIO REQUIRED IMPORTED_TARGET gio-2.0 gio-unix-2.0)
# What wxWidgets does not say to screen readers (descriptions, relations,
# the native question) is said through GTK and ATK directly.
pkg_check_modules(GTK3 REQUIRED IMPORTED_TARGET gtk+-3.0)
# The book check measures audio through the libraries of the field.
pkg_check_modules(MPG123 REQUIRED IMPORTED_TARGET libmpg123)
pkg_check_modules(SNDFILE REQUIRED IMPORTED_TARGET sndfile)
# The read-back compares hashes: XXH3 hashes far faster than any drive
# reads, so the comparison costs no time of its own.
pkg_check_modules(XXHASH REQUIRED IMPORTED_TARGET libxxhash)

# Debian's TinyXML 2.6 is built with TIXML_USE_STL; its header says so itself.
find_path(TINYXML_INCLUDE_DIR tinyxml.h REQUIRED)
find_library(TINYXML_LIBRARY tinyxml REQUIRED)
add_library(tinyxml::tinyxml UNKNOWN IMPORTED GLOBAL)
set_target_properties(tinyxml::tinyxml PROPERTIES
  IMPORTED_LOCATION "${TINYXML_LIBRARY}"
  INTERFACE_INCLUDE_DIRECTORIES "${TINYXML_INCLUDE_DIR}"
  INTERFACE_COMPILE_DEFINITIONS TIXML_USE_STL)

if(BUILD_TESTING)
  find_package(GTest REQUIRED)
endif()
