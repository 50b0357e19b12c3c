# SPDX-License-Identifier: MIT
# Builds for 32-bit x86 with Debian's g++-i686-linux-gnu. The programs run
# natively on an x86-64 kernel, with the cross toolchain's own loader and
# libraries in /usr/i686-linux-gnu (no multilib packages needed).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER i686-linux-gnu-g++)
set(CMAKE_FIND_ROOT_PATH /usr/i686-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(_i686_lib /usr/i686-linux-gnu/lib)
set(CMAKE_EXE_LINKER_FLAGS_INIT
  "-Wl,--dynamic-linker=${_i686_lib}/ld-linux.so.2 -Wl,-rpath,${_i686_lib}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-Wl,-rpath,${_i686_lib}")
