# SPDX-License-Identifier: MIT
# Installs the headers, the library, the CMake package promfmt and promfmt.pc.
# A shared library links yyjson and the C++ runtime itself, so its package
# asks consumers for nothing; a static archive's package brings both.
include(CMakePackageConfigHelpers)
set(PROMFMT_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/promfmt)
install(TARGETS ${PROMFMT_LIB} EXPORT promfmtTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
# promfmt.h, and promfmt.hpp, the header-only C++17 wrapper over it.
install(FILES ${PROJECT_SOURCE_DIR}/include/promfmt.h ${PROJECT_SOURCE_DIR}/include/promfmt.hpp
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT promfmtTargets NAMESPACE promfmt:: DESTINATION ${PROMFMT_CMAKE_DIR})

# A static archive with yyjson compiled in asks only for the C++ runtime.
set(PROMFMT_PACKAGE_STATIC OFF)
set(PROMFMT_PACKAGE_NEEDS_YYJSON OFF)
if(NOT PROMFMT_SHARED)
  set(PROMFMT_PACKAGE_STATIC ON)
  if(NOT PROMFMT_YYJSON_INSIDE)
    set(PROMFMT_PACKAGE_NEEDS_YYJSON ON)
  endif()
endif()
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/promfmtConfig.cmake.in
  ${PROJECT_BINARY_DIR}/promfmtConfig.cmake INSTALL_DESTINATION ${PROMFMT_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/promfmtConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/promfmtConfig.cmake
  ${PROJECT_BINARY_DIR}/promfmtConfigVersion.cmake DESTINATION ${PROMFMT_CMAKE_DIR})

# ---- promfmt.pc ------------------------------------------------------------
# Relative install dirs hang off ${prefix}; absolute ones are kept as they are.
foreach(_dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${_dir}}")
    set(PROMFMT_PC_${_dir} "${CMAKE_INSTALL_${_dir}}")
  else()
    set(PROMFMT_PC_${_dir} "\${prefix}/${CMAKE_INSTALL_${_dir}}")
  endif()
endforeach()
set(PROMFMT_PC_PRIVATE "")
set(PROMFMT_PC_CFLAGS "")
if(PROMFMT_PACKAGE_STATIC)
  # What cmake/static.cmake gives the target, for pkg-config --static.
  list(TRANSFORM PROMFMT_CXX_RUNTIME PREPEND -l OUTPUT_VARIABLE _runtime)
  string(REPLACE ";" " " _runtime "${_runtime}")
  set(PROMFMT_PC_PRIVATE "Libs.private: ${_runtime}\n")
  if(PROMFMT_PACKAGE_NEEDS_YYJSON)
    string(PREPEND PROMFMT_PC_PRIVATE "Requires.private: yyjson\n")
  endif()
  set(PROMFMT_PC_CFLAGS " -DPROMFMT_STATIC")
endif()
# prefix= is written at install time, so that `cmake --install --prefix P`
# gives a .pc file naming P itself: plain -I and -L paths that the compiler
# and pkg-config recognise (a system prefix's are filtered out). An archive
# CPack stages (.tar.gz, .zip) unpacks anywhere: its prefix is found from
# the .pc file's own place.
set(PROMFMT_PC_PREFIX "@PROMFMT_PC_PREFIX@")
configure_file(${PROJECT_SOURCE_DIR}/cmake/promfmt.pc.in ${PROJECT_BINARY_DIR}/promfmt.pc.in @ONLY)
file(RELATIVE_PATH _pc_up /p/${CMAKE_INSTALL_LIBDIR}/pkgconfig /p)
install(CODE "
  set(PROMFMT_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  if(PROMFMT_PC_PREFIX MATCHES \"/_CPack_Packages/\")
    set(PROMFMT_PC_PREFIX \"\\\${pcfiledir}/${_pc_up}\")
  endif()
  configure_file(\"${PROJECT_BINARY_DIR}/promfmt.pc.in\" \"${PROJECT_BINARY_DIR}/promfmt.pc\" @ONLY)")
install(FILES ${PROJECT_BINARY_DIR}/promfmt.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
