// SPDX-License-Identifier: MIT

// Package reader checks the library's output with the text parser the
// Prometheus tools use. This file is the thin cgo layer over the C
// interface (cgo may not be used from test files); scripts/fuzz-reader.sh
// supplies the include and library directories.
package reader

/*
#cgo LDFLAGS: -lvelkaron-prometheus-promfmt
#include <stdio.h>
#include <stdlib.h>
#include "promfmt.h"

static void format_14g(double v, char *out, size_t size)
{
    snprintf(out, size, "%.14g", v);
}
*/
import "C"

import (
	"strings"
	"unsafe"
)

// buffer owns one promfmt_buffer_t.
type buffer struct{ p *C.promfmt_buffer_t }

func newBuffer() *buffer { return &buffer{C.promfmt_buffer_create(0)} }

func (b *buffer) free() { C.promfmt_buffer_free(b.p) }

// text copies the buffer's text, embedded NUL bytes included.
func (b *buffer) text() string {
	return C.GoStringN(C.promfmt_buffer_data(b.p), C.int(C.promfmt_buffer_len(b.p)))
}

// cString returns a C copy of s, or nil when s is nil. The caller frees it.
func cString(s *string) *C.char {
	if s == nil {
		return nil
	}
	return C.CString(*s)
}

func release(c *C.char) { C.free(unsafe.Pointer(c)) }

func (b *buffer) help(name, help string) int {
	n, h := C.CString(name), C.CString(help)
	defer release(n)
	defer release(h)
	return int(C.promfmt_emit_help(b.p, n, h))
}

func (b *buffer) typ(name string, code int32) int {
	n := C.CString(name)
	defer release(n)
	return int(C.promfmt_emit_type(b.p, n, C.promfmt_metric_type_t(code)))
}

// sample emits one sample line; labels nil passes a NULL labels text.
func (b *buffer) sample(name string, labels *string, value float64, ts int64) int {
	n, l := C.CString(name), cString(labels)
	defer release(n)
	defer release(l)
	return int(C.promfmt_emit_sample(b.p, n, l, C.double(value), C.int64_t(ts)))
}

// shortcut calls promfmt_emit_counter when counter is set, otherwise
// promfmt_emit_gauge.
func (b *buffer) shortcut(counter bool, name, help string, labels *string, value float64) int {
	n, h, l := C.CString(name), C.CString(help), cString(labels)
	defer release(n)
	defer release(h)
	defer release(l)
	if counter {
		return int(C.promfmt_emit_counter(b.p, n, h, l, C.double(value)))
	}
	return int(C.promfmt_emit_gauge(b.p, n, h, l, C.double(value)))
}

func lastError() string { return C.GoString(C.promfmt_last_error()) }

// cFormat14g is the C library's "%.14g" of v, the format numbers take in
// label values and sample values.
func cFormat14g(v float64) string {
	var out [64]C.char
	C.format_14g(C.double(v), &out[0], C.size_t(len(out)))
	return C.GoString(&out[0])
}

// cutAtNUL is the part of s a C function sees: the bytes before the first NUL.
func cutAtNUL(s string) string {
	if i := strings.IndexByte(s, 0); i >= 0 {
		return s[:i]
	}
	return s
}
