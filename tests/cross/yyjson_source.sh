# SPDX-License-Identifier: MIT
# Sourced by the cross-build scripts (POSIX sh): where the yyjson 0.12.0
# source folder (yyjson.c and yyjson.h) is. PROMFMT_YYJSON_SOURCE names it;
# a relative path is taken from the repository root.
#
#   yyjson_source ROOT
# prints the folder's absolute path and returns 0; or prints why it cannot
# and returns 1 when the variable is unset (callers skip) or 2 when it names
# no yyjson source (callers fail).
yyjson_source() {
    _yy=${PROMFMT_YYJSON_SOURCE:-}
    if [ -z "$_yy" ]; then
        echo "PROMFMT_YYJSON_SOURCE is not set (it names the yyjson 0.12.0 source folder)"
        return 1
    fi
    case $_yy in /*) ;; *) _yy=$1/$_yy ;; esac
    if [ ! -f "$_yy/yyjson.c" ] || [ ! -f "$_yy/yyjson.h" ]; then
        echo "PROMFMT_YYJSON_SOURCE=$PROMFMT_YYJSON_SOURCE holds no yyjson.c and yyjson.h"
        return 2
    fi
    (cd "$_yy" && pwd)
}

#   need_yyjson_source ROOT WHAT
# sets yy to the folder; when PROMFMT_YYJSON_SOURCE is unset, prints that
# WHAT is skipped and why, and exits 0; when it names no yyjson source, exits 1.
need_yyjson_source() {
    _status=0
    yy=$(yyjson_source "$1") || _status=$?
    case $_status in
        0) ;;
        1) echo "$2: skipped: $yy"; exit 0 ;;
        *) echo "$2: $yy" >&2; exit 1 ;;
    esac
}
