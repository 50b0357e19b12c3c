// SPDX-License-Identifier: MIT

package promfmt

// #cgo pkg-config: promfmt
// #include <promfmt.h>
import "C"

import (
	"errors"
	"io"
	"runtime"
	"sync/atomic"
	"unsafe"
)

// ContentType is the HTTP Content-Type of the text a Buffer holds.
const ContentType = "text/plain; version=0.0.4; charset=utf-8"

// liveBuffers counts buffers created and not yet freed (read by tests).
var liveBuffers atomic.Int64

// Buffer is a growing block of exposition text, held by the library.
//
// A Buffer is not safe for concurrent use: use one per goroutine, or guard
// a shared one with a mutex. Distinct buffers may be written from distinct
// goroutines at the same time.
//
// Close frees it; a Buffer dropped without Close is freed when the garbage
// collector finds it unreachable. After Close every method returns
// ErrClosed, except Close itself, which does nothing again.
type Buffer struct {
	p       *C.promfmt_buffer_t
	q       queue  // texts and lines on their way into the library
	out     []byte // WriteTo's copy of the text, reused
	batch   Batch  // the buffer's own Batch
	cleanup runtime.Cleanup
}

// NewBuffer creates an empty buffer with room for capacity bytes of text
// (values below 64 give 64; it grows as needed).
func NewBuffer(capacity int) (*Buffer, error) {
	if capacity < 0 {
		return nil, errors.New("promfmt: negative buffer capacity")
	}
	calls.RLock()
	p := C.promfmt_buffer_create(C.size_t(capacity))
	calls.RUnlock()
	if p == nil {
		calls.Lock()
		defer calls.Unlock()
		return nil, &Error{Op: "promfmt_buffer_create", Msg: C.GoString(C.promfmt_last_error())}
	}
	liveBuffers.Add(1)
	b := &Buffer{p: p}
	b.batch.b = b
	b.cleanup = runtime.AddCleanup(b, freeBuffer, p)
	return b, nil
}

func freeBuffer(p *C.promfmt_buffer_t) {
	C.promfmt_buffer_free(p)
	liveBuffers.Add(-1)
}

// Close frees the buffer. A second Close does nothing.
func (b *Buffer) Close() error {
	if b.p != nil {
		b.cleanup.Stop()
		freeBuffer(b.p)
		b.p = nil
		b.q = queue{}
		b.out = nil
	}
	return nil
}

// Batch returns the buffer's batch, which queues lines and writes them with
// one call into the library. It is the same Batch on every call.
func (b *Buffer) Batch() *Batch { return &b.batch }

// Reset empties the text, and drops the lines (and error) of the buffer's Batch,
// but keeps the memory: a buffer reset before each scrape stops allocating
// once it has grown to the size of one.
func (b *Buffer) Reset() error {
	if b.p == nil {
		return ErrClosed
	}
	C.promfmt_buffer_reset(b.p)
	b.q.undo(mark{})
	b.batch.err = nil
	runtime.KeepAlive(b) // until C is done with b.p: the cleanup would free it
	return nil
}

// Len is the length of the text in bytes; 0 after Close.
func (b *Buffer) Len() int {
	if b.p == nil {
		return 0
	}
	n := int(C.promfmt_buffer_len(b.p))
	runtime.KeepAlive(b)
	return n
}

// AppendText appends a copy of the text to dst and returns the result.
func (b *Buffer) AppendText(dst []byte) ([]byte, error) {
	if b.p == nil {
		return dst, ErrClosed
	}
	n := C.promfmt_buffer_len(b.p)
	if n == 0 {
		return dst, nil
	}
	text := unsafe.Slice((*byte)(unsafe.Pointer(C.promfmt_buffer_data(b.p))), n)
	dst = append(dst, text...)
	runtime.KeepAlive(b)
	return dst, nil
}

// Text returns a copy of the text.
func (b *Buffer) Text() (string, error) {
	text, err := b.AppendText(nil)
	return string(text), err
}

// WriteTo writes the text to w, for example an http.ResponseWriter. It
// copies the text into Go memory it keeps for the next call, so it does not
// allocate once that copy has grown.
func (b *Buffer) WriteTo(w io.Writer) (int64, error) {
	var err error
	if b.out, err = b.AppendText(b.out[:0]); err != nil {
		return 0, err
	}
	n, err := w.Write(b.out)
	return int64(n), err
}
