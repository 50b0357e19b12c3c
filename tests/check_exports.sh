#!/bin/sh
# SPDX-License-Identifier: MIT
# Fails unless the shared library's dynamic symbol table defines exactly the
# twelve promfmt_ functions and nothing else.
set -eu
lib=$1
expected="promfmt_buffer_create promfmt_buffer_data promfmt_buffer_free promfmt_buffer_len
promfmt_buffer_reset promfmt_emit_counter promfmt_emit_gauge promfmt_emit_help
promfmt_emit_sample promfmt_emit_type promfmt_escape_label_value promfmt_last_error"
want=$(printf '%s\n' $expected | sort)
# Defined symbols of any kind, without the version-node marker (type A).
got=$(nm -D --defined-only "$lib" | awk '$2 != "A" {print $3}' | sed 's/@.*//' | sort)
if [ "$got" != "$want" ]; then
    echo "exported symbols differ from the twelve promfmt_ functions:" >&2
    diff -u "$(printf '%s\n' "$want" > /tmp/promfmt-want.$$; echo /tmp/promfmt-want.$$)" \
        "$(printf '%s\n' "$got" > /tmp/promfmt-got.$$; echo /tmp/promfmt-got.$$)" >&2 || true
    rm -f /tmp/promfmt-want.$$ /tmp/promfmt-got.$$
    exit 1
fi
echo "exports: exactly the twelve promfmt_ functions"
