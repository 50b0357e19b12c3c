#!/bin/sh
# SPDX-License-Identifier: MIT
# Fails unless every global name the static archive defines is one of the
# promfmt_ functions or lives in namespace promfmt, so that linking the
# archive into a host can never clash with the host's own names. Weak and
# unique symbols of C++ library templates instantiated by the library
# (std::, __gnu_cxx::) are merged by the linker and allowed.
#   check_static_symbols.sh ARCHIVE
set -eu
archive=$1
# "TYPE NAME" for each defined global symbol, NAME demangled.
symbols=$(nm -g --defined-only "$archive" | awk 'NF == 3 {print $2, $3}' |
    c++filt | sort -u)
[ -n "$symbols" ] || { echo "no symbols read from $archive" >&2; exit 1; }
bad=$(printf '%s\n' "$symbols" | awk '
    { type = $1; name = substr($0, length(type) + 2) }
    name ~ /^promfmt_/ { next }
    name ~ /^((vtable|typeinfo|typeinfo name|guard variable) for )?promfmt::/ { next }
    type ~ /^[WVu]$/ && name ~ /(^|[ *&])(std|__gnu_cxx)::/ { next }
    { print "  " $0 }')
count=$(printf '%s\n' "$symbols" | wc -l)
if [ -n "$bad" ]; then
    echo "global names of $archive outside namespace promfmt:" >&2
    echo "$bad" >&2
    exit 1
fi
echo "static archive: $count global names, all promfmt_ functions or in promfmt::"
