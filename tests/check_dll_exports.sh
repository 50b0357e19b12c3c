#!/bin/sh
# SPDX-License-Identifier: MIT
# Cross-builds the Windows DLL against a real yyjson.dll and fails unless
# its export table holds exactly the twelve promfmt_ functions, and it
# imports nothing but the C runtime, KERNEL32 and yyjson (the C++ runtime is
# linked in). Skipped, saying so, when PROMFMT_YYJSON_SOURCE (the yyjson
# 0.12.0 source folder) is not set.
#   check_dll_exports.sh SOURCE_DIR BUILD_DIR
set -eu
src=$1 out=$2
. "$src/tests/cross/yyjson_source.sh"
need_yyjson_source "$src" "windows DLL export check"
dll=$(bash "$src/scripts/build-dll.sh" "$out" | tail -n 1)
names=$(x86_64-w64-mingw32-objdump -p "$dll" |
    sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/^[[:space:]]*\[ *[0-9]+\]/ {print $NF}' | sort)
want=$(printf '%s\n' promfmt_buffer_create promfmt_buffer_data promfmt_buffer_free \
    promfmt_buffer_len promfmt_buffer_reset promfmt_emit_counter promfmt_emit_gauge \
    promfmt_emit_help promfmt_emit_sample promfmt_emit_type promfmt_escape_label_value \
    promfmt_last_error | sort)
echo "DLL exports:"; echo "$names" | sed 's/^/  /'
[ "$names" = "$want" ] || { echo "the DLL must export exactly the twelve functions" >&2; exit 1; }
imports=$(x86_64-w64-mingw32-objdump -p "$dll" | awk '/DLL Name:/ {print $3}' | sort)
echo "DLL imports:"; echo "$imports" | sed 's/^/  /'
for dep in $imports; do
    case "$dep" in KERNEL32.dll|msvcrt.dll|yyjson.dll) ;;
    *) echo "unexpected DLL dependency: $dep" >&2; exit 1 ;;
    esac
done
