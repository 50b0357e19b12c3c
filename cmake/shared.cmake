# SPDX-License-Identifier: MIT
# The shared library: SONAME, and exactly the twelve functions exported.
set_target_properties(${PROMFMT_LIB} PROPERTIES
  VERSION ${PROJECT_VERSION}
  SOVERSION ${PROJECT_VERSION_MAJOR})
if(WIN32)
  # Exactly the twelve names, cdecl, and the C++ runtime linked in, so the
  # DLL needs nothing but the C runtime and yyjson.
  target_sources(${PROMFMT_LIB} PRIVATE ${PROJECT_SOURCE_DIR}/src/promfmt.def)
  set_target_properties(${PROMFMT_LIB} PROPERTIES PREFIX "")
  if(MINGW)
    target_link_options(${PROMFMT_LIB} PRIVATE -static-libgcc -static-libstdc++
      -Wl,-Bstatic -lwinpthread -Wl,-Bdynamic)
  endif()
else()
  target_link_options(${PROMFMT_LIB} PRIVATE
    -Wl,--version-script=${PROJECT_SOURCE_DIR}/src/promfmt.map)
  if(NOT PROMFMT_SANITIZE AND NOT PROMFMT_SANITIZE_THREAD)  # runtimes come with the executable
    target_link_options(${PROMFMT_LIB} PRIVATE -Wl,--no-undefined)
  endif()
  set_property(TARGET ${PROMFMT_LIB} APPEND PROPERTY
    LINK_DEPENDS ${PROJECT_SOURCE_DIR}/src/promfmt.map)
endif()
