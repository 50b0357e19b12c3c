// SPDX-License-Identifier: MIT

// Package promfmt writes metrics in the Prometheus text exposition format
// (0.0.4) with the promfmt C library, which it links through cgo and
// pkg-config.
//
//	buf, err := promfmt.NewBuffer(0)
//	if err != nil { ... }
//	defer buf.Close()
//	err = buf.Counter("jobs_done_total", "Jobs finished.", []promfmt.Label{{"queue", "mail"}}, 42)
//	...
//	_, err = buf.WriteTo(w)
//
// Labels come as a []Label, a map[string]string or the text of one JSON
// object; the library checks the names, sorts them and escapes the values.
// A Batch queues many lines and writes them with one call into C.
//
// Refusals are error values: *Error carries the library's own message,
// *BatchError says which queued line it was, ErrClosed marks use after
// Close, and text that C would cut short (a NUL byte) is refused before the
// call with an error of the package's own.
//
// Once a Buffer has grown to the size of a scrape, writing allocates
// nothing: names and labels are written as NUL-terminated text into Go
// memory the Buffer keeps, which C reads during the call and never keeps.
//
// A Buffer is for one goroutine at a time. Distinct buffers may be written
// at the same time: the library keeps one last-error text for the whole
// process, and the package makes sure that each refusal reports its own
// message anyway.
package promfmt
