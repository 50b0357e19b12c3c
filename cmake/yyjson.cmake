# SPDX-License-Identifier: MIT
# Finds yyjson and refuses any release other than the one the library is
# written and tested against. scripts/install-deps.sh installs it.
set(PROMFMT_YYJSON_VERSION 0.12.0)

find_package(yyjson CONFIG QUIET)
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
    "Run scripts/install-deps.sh (it installs libyyjson-dev 0.12.0+ds-2).")
endif()

get_target_property(_yyjson_inc yyjson::yyjson INTERFACE_INCLUDE_DIRECTORIES)
find_file(_yyjson_header yyjson.h HINTS ${_yyjson_inc} NO_CACHE NO_CMAKE_FIND_ROOT_PATH)
if(NOT _yyjson_header)
  message(FATAL_ERROR "yyjson.h not found next to the yyjson package")
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
