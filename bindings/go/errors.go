// SPDX-License-Identifier: MIT

package promfmt

import (
	"errors"
	"strconv"
)

// Error is a call the library refused.
type Error struct {
	Op  string // the C function, for example "promfmt_emit_sample"
	Msg string // the library's own message, for example "invalid metric name"
}

func (e *Error) Error() string { return "promfmt: " + e.Op + ": " + e.Msg }

// BatchError is a Batch line the library refused when the batch was
// written. The lines queued before it were written; it and the lines after
// it were not.
type BatchError struct {
	Line int    // the refused line's place in the batch, counted from 0
	Err  *Error // the library's refusal
}

func (e *BatchError) Error() string {
	return "promfmt: batch line " + strconv.Itoa(e.Line) + ": " + e.Err.Op + ": " + e.Err.Msg
}

func (e *BatchError) Unwrap() error { return e.Err }

// ErrClosed is returned by every method of a Buffer, and of its Batch,
// after Close.
var ErrClosed = errors.New("promfmt: buffer is closed")

// nulError refuses text with a NUL byte before it reaches C, which would
// silently stop reading there.
func nulError(what string) error {
	return errors.New("promfmt: " + what + " contains a NUL byte")
}
