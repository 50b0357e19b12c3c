// SPDX-License-Identifier: MIT

package promfmt

// #cgo pkg-config: promfmt
// #include <promfmt.h>
import "C"

import "errors"

// Error is a call the library refused.
type Error struct {
	Op  string // the C function, for example "promfmt_emit_sample"
	Msg string // the library's last-error text, for example "invalid metric name"
}

func (e *Error) Error() string { return "promfmt: " + e.Op + ": " + e.Msg }

// ErrClosed is returned by every method of a Buffer after Close.
var ErrClosed = errors.New("promfmt: buffer is closed")

// lastError reads the library's message; call it with mu held, right
// after the call that failed.
func lastError(op string) error {
	return &Error{Op: op, Msg: C.GoString(C.promfmt_last_error())}
}

func check(status C.int, op string) error {
	if status < 0 {
		return lastError(op)
	}
	return nil
}
