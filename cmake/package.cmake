# SPDX-License-Identifier: MIT
# Release archives with CPack, from a build whose install rules are on:
#   cpack -G TGZ, cpack -G DEB      the installed tree as .tar.gz and .deb
#   cpack -G ZIP (Windows build)    the DLL, its import library, yyjson.dll
#                                   (PROMFMT_YYJSON_DLL), headers, licence, README
#   cpack --config CPackSourceConfig.cmake   the source archive
# scripts/package.sh makes them all.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
if(WIN32)
  set(PROMFMT_YYJSON_DLL "" CACHE FILEPATH "yyjson.dll to ship beside the library DLL")
  if(PROMFMT_YYJSON_DLL)
    install(PROGRAMS ${PROMFMT_YYJSON_DLL} DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/cmake/README-windows.txt DESTINATION . RENAME README.txt)
endif()

set(CPACK_PACKAGE_NAME promfmt)
set(CPACK_PACKAGE_VENDOR promfmt)
set(CPACK_PACKAGE_CONTACT "promfmt maintainers <promfmt@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Writes metrics in the Prometheus text exposition format")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES OFF)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
else()
  set(CPACK_GENERATOR TGZ DEB)
endif()
set(CPACK_PACKAGE_FILE_NAME promfmt-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
if(NOT CPACK_SYSTEM_NAME)
  set(CPACK_PACKAGE_FILE_NAME promfmt-${PROJECT_VERSION}-${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR})
endif()

# The .deb: installed under /usr, its run-time needs read off the library
# by dpkg-shlibdeps (libc6, libstdc++6, libgcc-s1, and libyyjson0 when the
# system's yyjson is linked).
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "pkg-config, cmake")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://prometheus.io/docs/instrumenting/exposition_formats/")

# The source archive: the tracked tree as CMake builds it, no build output.
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_PACKAGE_FILE_NAME promfmt-${PROJECT_VERSION}-src)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git" "/build[^/]*/" "/dist/" "/target/" "__pycache__"
  "/fuzz/corpus-work/" "/promfmt-src/" "\\\\.pyc$" "\\\\.log$" "/\\\\.ci/")
include(CPack)
