# SPDX-License-Identifier: MIT
# Sourced by run_parent.sh and run_bare.sh: makes CMake see a machine with
# only a compiler, CMake, make and yyjson (and pkg-config when
# HIDE_KEEP_PKG_CONFIG=1, which then sees yyjson.pc alone).
#   hide_tools DIR CC CXX      then hidden_cmake ARGS... $HIDDEN, hidden_ctest ARGS...
hide_tools() {
    dir=$1 hide_cc=$2 hide_cxx=$3
    mkdir -p "$dir/bin" "$dir/pkgconfig"
    ln -sf "$hide_cc" "$dir/bin/cc"
    ln -sf "$hide_cxx" "$dir/bin/c++"
    for tool in as ld ar ranlib nm objcopy objdump strip readelf make cmake ctest; do
        path=$(command -v "$tool") && ln -sf "$path" "$dir/bin/$tool"
    done
    if [ "${HIDE_KEEP_PKG_CONFIG:-0}" = 1 ]; then
        ln -sf "$(command -v pkg-config)" "$dir/bin/pkg-config"
        yyjson_pc=$(pkg-config --variable=pcfiledir yyjson)/yyjson.pc
        ln -sf "$yyjson_pc" "$dir/pkgconfig/yyjson.pc"
    fi
    HIDDEN_PATH=$dir/bin HIDDEN_PKG=$dir/pkgconfig
    # find_program also looks in the system's bin directories: ignore them.
    HIDDEN="-DCMAKE_C_COMPILER=$dir/bin/cc -DCMAKE_CXX_COMPILER=$dir/bin/c++
        -DCMAKE_MAKE_PROGRAM=$dir/bin/make
        -DCMAKE_IGNORE_PATH=/usr/local/sbin;/usr/local/bin;/usr/sbin;/usr/bin;/sbin;/bin
        -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_Doxygen=ON"
}

# cmake and ctest with the hidden tools: hidden_cmake ARGS...
hidden_cmake() { CMAKE_GENERATOR="Unix Makefiles" PATH=$HIDDEN_PATH PKG_CONFIG_LIBDIR=$HIDDEN_PKG PKG_CONFIG_PATH= cmake "$@"; }
hidden_ctest() { PATH=$HIDDEN_PATH ctest "$@"; }
