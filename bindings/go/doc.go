// SPDX-License-Identifier: MIT

// Package promfmt writes metrics in the Prometheus text exposition format
// (0.0.4) through the promfmt C library, linked with cgo and pkg-config.
//
//	buf, err := promfmt.NewBuffer(0)
//	if err != nil { ... }
//	defer buf.Close()
//	err = buf.Counter("jobs_done_total", "Jobs finished.", map[string]string{"queue": "mail"}, 42)
//	...
//	_, err = buf.WriteTo(w)
//
// Refusals come back as error values: *Error carries the library's own
// message, ErrClosed marks use after Close, and the binding refuses text
// the C side would mangle (a NUL byte anywhere, invalid UTF-8 in labels)
// with an error of its own before calling.
//
// Every call into the library runs under one package-wide mutex, and a
// failing call reads the library's last-error text (one block for the
// whole process) before releasing it, so concurrent goroutines never see
// each other's messages. The same mutex makes a Buffer safe to share
// between goroutines; calls are serialised, each is short.
package promfmt
