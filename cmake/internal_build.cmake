# SPDX-License-Identifier: MIT
# Test and fuzz programs that reach the library's internals (the sample
# writer's choice of labels route) build its sources themselves, as if
# linked statically, beside their own.
function(promfmt_add_internal_executable name)
  get_target_property(_lib_sources ${PROMFMT_LIB} SOURCES)
  list(FILTER _lib_sources INCLUDE REGEX "\\.cpp$")
  list(TRANSFORM _lib_sources PREPEND ${PROJECT_SOURCE_DIR}/)
  add_executable(${name} ${ARGN} ${_lib_sources})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/include ${PROJECT_SOURCE_DIR}/src)
  target_compile_definitions(${name} PRIVATE PROMFMT_STATIC)
  target_link_libraries(${name} PRIVATE yyjson::yyjson)
endfunction()
