# SPDX-License-Identifier: MIT
# The static archive. Its hosts compile the header with PROMFMT_STATIC (no
# DLL import on Windows) and link what its C++ code needs: yyjson, and the
# C++ runtime, which a C host's link leaves out. The runtime is what the
# C++ driver links beyond what the C driver does (stdc++ and m with GCC).
target_compile_definitions(${PROMFMT_LIB} PUBLIC PROMFMT_STATIC)
set(PROMFMT_CXX_RUNTIME ${CMAKE_CXX_IMPLICIT_LINK_LIBRARIES})
if(PROMFMT_CXX_RUNTIME AND CMAKE_C_IMPLICIT_LINK_LIBRARIES)
  list(REMOVE_ITEM PROMFMT_CXX_RUNTIME ${CMAKE_C_IMPLICIT_LINK_LIBRARIES})
endif()
list(REMOVE_DUPLICATES PROMFMT_CXX_RUNTIME)
target_link_libraries(${PROMFMT_LIB} INTERFACE ${PROMFMT_CXX_RUNTIME})
