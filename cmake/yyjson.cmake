# SPDX-License-Identifier: MIT
# yyjson, exactly the release the library is written and tested against.
#
# PROMFMT_YYJSON picks the route:
#   AUTO (default) the system's yyjson, else one built from source;
#   SYSTEM         the system's yyjson only;
#   SOURCE         always built from source (cmake/yyjson_source.cmake),
#                  compiled into the library so that its users never see it.
# The system route takes, in order: a yyjson::yyjson target the parent
# project already has; YYJSON_INCLUDE_DIR and YYJSON_LIBRARY when given
# (cross builds pass the target's yyjson this way); yyjson's CMake
# package; a plain search for the header and the library.
set(PROMFMT_YYJSON_VERSION 0.12.0)
set(_yy_default "$ENV{PROMFMT_YYJSON}")
if(_yy_default STREQUAL "")
  set(_yy_default AUTO)
endif()
set(PROMFMT_YYJSON ${_yy_default} CACHE STRING "Where yyjson comes from: AUTO, SYSTEM or SOURCE")
set_property(CACHE PROMFMT_YYJSON PROPERTY STRINGS AUTO SYSTEM SOURCE)
if(NOT PROMFMT_YYJSON MATCHES "^(AUTO|SYSTEM|SOURCE)$")
  message(FATAL_ERROR "PROMFMT_YYJSON is '${PROMFMT_YYJSON}'; give AUTO, SYSTEM or SOURCE")
endif()

# The version line of a yyjson.h; FATAL_ERROR names the route and its fix.
function(promfmt_check_yyjson_header header route fix)
  file(STRINGS "${header}" _line REGEX "^#define YYJSON_VERSION_STRING \"[^\"]*\"")
  string(REGEX REPLACE ".*\"([^\"]*)\".*" "\\1" _version "${_line}")
  if(NOT _version STREQUAL PROMFMT_YYJSON_VERSION)
    message(FATAL_ERROR "promfmt needs yyjson ${PROMFMT_YYJSON_VERSION}, but ${header} "
      "(${route}) is version '${_version}'. ${fix}")
  endif()
  message(STATUS "yyjson ${_version} (${route}): ${header}")
endfunction()

function(promfmt_find_system_yyjson)
  if(NOT TARGET yyjson::yyjson AND NOT YYJSON_LIBRARY)
    find_package(yyjson CONFIG QUIET)
  endif()
  if(NOT TARGET yyjson::yyjson)
    find_path(YYJSON_INCLUDE_DIR yyjson.h)
    find_library(YYJSON_LIBRARY yyjson)
    if(YYJSON_INCLUDE_DIR AND YYJSON_LIBRARY)
      add_library(yyjson::yyjson UNKNOWN IMPORTED GLOBAL)
      set_target_properties(yyjson::yyjson PROPERTIES
        IMPORTED_LOCATION "${YYJSON_LIBRARY}"
        INTERFACE_INCLUDE_DIRECTORIES "${YYJSON_INCLUDE_DIR}")
    endif()
  endif()
endfunction()

set(PROMFMT_YYJSON_INSIDE OFF)
if(NOT PROMFMT_YYJSON STREQUAL "SOURCE")
  promfmt_find_system_yyjson()
endif()
if(NOT TARGET yyjson::yyjson AND PROMFMT_YYJSON STREQUAL "SYSTEM")
  message(FATAL_ERROR "yyjson ${PROMFMT_YYJSON_VERSION} not found on the system "
    "(PROMFMT_YYJSON=SYSTEM). Install it (scripts/install-deps.sh installs libyyjson-dev "
    "0.12.0+ds-2), pass -DYYJSON_INCLUDE_DIR=... -DYYJSON_LIBRARY=..., or build it from "
    "source with -DPROMFMT_YYJSON=AUTO or SOURCE (see README, \"yyjson\").")
endif()
if(NOT TARGET yyjson::yyjson)
  include(${CMAKE_CURRENT_LIST_DIR}/yyjson_source.cmake)
  return()
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
promfmt_check_yyjson_header("${_yyjson_header}" "system"
  "Install libyyjson-dev 0.12.0+ds-2 (scripts/install-deps.sh), or build yyjson from source "
  "with -DPROMFMT_YYJSON=SOURCE (see README, \"yyjson\").")
