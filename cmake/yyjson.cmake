# SPDX-License-Identifier: MIT
# Finds yyjson and refuses any release other than the one the library is
# written and tested against. scripts/install-deps.sh installs it.
#
# Order: a yyjson::yyjson target the parent project already has; then
# YYJSON_INCLUDE_DIR and YYJSON_LIBRARY when given (cross builds pass the
# target's yyjson this way); then yyjson's CMake package; then a plain
# search for the header and the library.
set(PROMFMT_YYJSON_VERSION 0.12.0)

if(NOT TARGET yyjson::yyjson AND NOT YYJSON_LIBRARY)
  find_package(yyjson CONFIG QUIET)
endif()
if(NOT TARGET yyjson::yyjson)
  find_path(YYJSON_INCLUDE_DIR yyjson.h)
  find_library(YYJSON_LIBRARY yyjson)
  if(YYJSON_INCLUDE_DIR AND YYJSON_LIBRARY)
    add_library(yyjson::yyjson UNKNOWN IMPORTED)
    set_target_properties(yyjson::yyjson PROPERTIES
      IMPORTED_LOCATION "${YYJSON_LIBRARY}"
      INTERFACE_INCLUDE_DIRECTORIES "${YYJSON_INCLUDE_DIR}")
  endif()
endif()
if(NOT TARGET yyjson::yyjson)
  message(FATAL_ERROR "yyjson ${PROMFMT_YYJSON_VERSION} not found. "
    "Run scripts/install-deps.sh (it installs libyyjson-dev 0.12.0+ds-2), or pass "
    "-DYYJSON_INCLUDE_DIR=... -DYYJSON_LIBRARY=...")
endif()

# The header's version line decides; a target built in the parent project
# names its include directory inside $<BUILD_INTERFACE:...>.
get_target_property(_yyjson_inc yyjson::yyjson INTERFACE_INCLUDE_DIRECTORIES)
set(_yyjson_header "")
foreach(_dir IN LISTS _yyjson_inc)
  string(REGEX REPLACE "^\\$<BUILD_INTERFACE:(.*)>$" "\\1" _dir "${_dir}")
  if(NOT _yyjson_header AND EXISTS "${_dir}/yyjson.h")
    set(_yyjson_header "${_dir}/yyjson.h")
  endif()
endforeach()
if(NOT _yyjson_header)
  message(FATAL_ERROR "yyjson.h not found in the include directories of yyjson::yyjson "
    "(${_yyjson_inc})")
endif()
file(STRINGS "${_yyjson_header}" _yyjson_line
  REGEX "^#define YYJSON_VERSION_STRING \"[^\"]*\"")
string(REGEX REPLACE ".*\"([^\"]*)\".*" "\\1" YYJSON_FOUND_VERSION "${_yyjson_line}")
if(NOT YYJSON_FOUND_VERSION STREQUAL PROMFMT_YYJSON_VERSION)
  message(FATAL_ERROR "promfmt needs yyjson ${PROMFMT_YYJSON_VERSION}, but ${_yyjson_header} "
    "is version '${YYJSON_FOUND_VERSION}'. Run scripts/install-deps.sh to install "
    "libyyjson-dev 0.12.0+ds-2.")
endif()
message(STATUS "yyjson ${YYJSON_FOUND_VERSION}: ${_yyjson_header}")
