# SPDX-License-Identifier: MIT
# yyjson built from its source and compiled into the library (its objects
# go into the library itself, shared or static), so nothing that uses
# promfmt needs yyjson. PROMFMT_YYJSON_SOURCE names the source:
#   a folder holding yyjson.c and yyjson.h (or src/yyjson.c and src/yyjson.h,
#     as in yyjson's release archive);
#   an archive file, or a URL of one, checked against PROMFMT_YYJSON_SHA256.
# By default it is yyjson's upstream 0.12.0 release archive, downloaded and
# checked against its published SHA-256. The environment variables of the
# same names are taken when the cache variables are not given.
include(FetchContent)
if(POLICY CMP0135)  # unpacked files dated now, not as in the archive
  cmake_policy(SET CMP0135 NEW)
endif()
set(PROMFMT_YYJSON_DEFAULT_URL
  "https://github.com/ibireme/yyjson/archive/refs/tags/${PROMFMT_YYJSON_VERSION}.tar.gz")
set(PROMFMT_YYJSON_DEFAULT_SHA256
  b16246f617b2a136c78d73e5e2647c6f1de1313e46678062985bdcf1f40bb75d)
# The environment gives the defaults; -D values win.
set(_yy_default_source "$ENV{PROMFMT_YYJSON_SOURCE}")
if(_yy_default_source STREQUAL "")
  set(_yy_default_source "${PROMFMT_YYJSON_DEFAULT_URL}")
endif()
set(PROMFMT_YYJSON_SOURCE "${_yy_default_source}" CACHE STRING
  "yyjson ${PROMFMT_YYJSON_VERSION} source: a folder, an archive file or an archive URL")
set(PROMFMT_YYJSON_SHA256 "$ENV{PROMFMT_YYJSON_SHA256}" CACHE STRING
  "SHA-256 of the archive PROMFMT_YYJSON_SOURCE names (not needed for a folder)")

set(_yy_routes "The routes: the system's yyjson ${PROMFMT_YYJSON_VERSION} (libyyjson-dev, \
scripts/install-deps.sh); -DPROMFMT_YYJSON_SOURCE=<folder with yyjson.c and yyjson.h>; \
-DPROMFMT_YYJSON_SOURCE=<archive file or URL> -DPROMFMT_YYJSON_SHA256=<its SHA-256>; \
or by default yyjson's release archive ${PROMFMT_YYJSON_DEFAULT_URL}.")
# Downloads URL once into the build tree, and sets OUT to the file. A
# failed download leaves nothing behind, so the next run tries afresh.
function(promfmt_download_yyjson url out)
  set(_file "${CMAKE_BINARY_DIR}/_deps/yyjson-${PROMFMT_YYJSON_VERSION}.tar.gz")
  if(NOT EXISTS "${_file}")
    message(STATUS "yyjson: downloading ${url}")
    file(DOWNLOAD "${url}" "${_file}.part" STATUS _status TIMEOUT 120 INACTIVITY_TIMEOUT 30)
    list(GET _status 0 _code)
    if(NOT _code EQUAL 0)
      file(REMOVE "${_file}.part")
      list(GET _status 1 _why)
      message(FATAL_ERROR "yyjson ${PROMFMT_YYJSON_VERSION} could not be downloaded from "
        "${url} (PROMFMT_YYJSON_SOURCE): ${_why}. Without network access, pass a folder or "
        "an archive file instead. ${_yy_routes}")
    endif()
    file(RENAME "${_file}.part" "${_file}")
  endif()
  set(${out} "${_file}" PARENT_SCOPE)
endfunction()

set(_yy_source "${PROMFMT_YYJSON_SOURCE}")
if(_yy_source MATCHES "^[A-Za-z][A-Za-z0-9+.-]+://")
  set(_yy_kind "URL")
else()
  get_filename_component(_yy_source "${_yy_source}" ABSOLUTE BASE_DIR "${CMAKE_BINARY_DIR}")
  if(IS_DIRECTORY "${_yy_source}")
    set(_yy_kind "folder")
  elseif(EXISTS "${_yy_source}")
    set(_yy_kind "archive")
  else()
    message(FATAL_ERROR "yyjson source ${PROMFMT_YYJSON_SOURCE} (PROMFMT_YYJSON_SOURCE) "
      "does not exist. ${_yy_routes}")
  endif()
endif()

if(_yy_kind STREQUAL "folder")
  set(_yy_dir "${_yy_source}")
else()
  set(_yy_hash "${PROMFMT_YYJSON_SHA256}")
  if(NOT _yy_hash AND _yy_source STREQUAL PROMFMT_YYJSON_DEFAULT_URL)
    set(_yy_hash ${PROMFMT_YYJSON_DEFAULT_SHA256})
  endif()
  string(LENGTH "${_yy_hash}" _yy_hash_length)
  if(NOT _yy_hash MATCHES "^[0-9A-Fa-f]+$" OR NOT _yy_hash_length EQUAL 64)
    message(FATAL_ERROR "yyjson ${_yy_kind} ${_yy_source} needs its SHA-256: pass "
      "-DPROMFMT_YYJSON_SHA256=<64 hex digits> (PROMFMT_YYJSON_SHA256 is "
      "'${PROMFMT_YYJSON_SHA256}'). ${_yy_routes}")
  endif()
  set(_yy_downloaded "")
  if(_yy_kind STREQUAL "URL")
    promfmt_download_yyjson("${_yy_source}" _yy_downloaded)
  endif()
  set(_yy_file "${_yy_source}")
  if(_yy_downloaded)
    set(_yy_file "${_yy_downloaded}")
  endif()
  file(SHA256 "${_yy_file}" _yy_got)
  string(TOLOWER "${_yy_hash}" _yy_want)
  if(NOT _yy_got STREQUAL _yy_want)
    if(_yy_downloaded)
      file(REMOVE "${_yy_downloaded}")  # the next run downloads afresh
    endif()
    message(FATAL_ERROR "yyjson ${_yy_kind} ${_yy_source} has SHA-256 ${_yy_got}, but "
      "PROMFMT_YYJSON_SHA256 is ${_yy_want}: pass the archive of yyjson "
      "${PROMFMT_YYJSON_VERSION} and its own SHA-256. ${_yy_routes}")
  endif()
  FetchContent_Declare(promfmt_yyjson URL "${_yy_file}" URL_HASH SHA256=${_yy_hash}
    DOWNLOAD_NO_PROGRESS ON)
  FetchContent_GetProperties(promfmt_yyjson)
  if(NOT promfmt_yyjson_POPULATED)
    message(STATUS "yyjson: unpacking ${_yy_source}")
    FetchContent_Populate(promfmt_yyjson)
  endif()
  set(_yy_dir "${promfmt_yyjson_SOURCE_DIR}")
endif()

set(_yy_src "")
foreach(_sub "" "/src")
  if(NOT _yy_src AND EXISTS "${_yy_dir}${_sub}/yyjson.c" AND EXISTS "${_yy_dir}${_sub}/yyjson.h")
    set(_yy_src "${_yy_dir}${_sub}")
  endif()
endforeach()
if(NOT _yy_src)
  message(FATAL_ERROR "yyjson ${_yy_kind} ${_yy_source} holds no yyjson.c and yyjson.h "
    "(nor src/yyjson.c and src/yyjson.h). ${_yy_routes}")
endif()
promfmt_check_yyjson_header("${_yy_src}/yyjson.h" "${_yy_kind} ${_yy_source}"
  "${_yy_routes}")

# An object library: its objects are compiled into whatever links it.
add_library(promfmt_yyjson OBJECT "${_yy_src}/yyjson.c")
target_include_directories(promfmt_yyjson SYSTEM PUBLIC "$<BUILD_INTERFACE:${_yy_src}>")
set_target_properties(promfmt_yyjson PROPERTIES POSITION_INDEPENDENT_CODE ON
  C_VISIBILITY_PRESET hidden)
add_library(yyjson::yyjson ALIAS promfmt_yyjson)
set(PROMFMT_YYJSON_INSIDE ON)
