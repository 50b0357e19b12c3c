// SPDX-License-Identifier: MIT

package promfmt

// #cgo pkg-config: promfmt
// #include <promfmt.h>
import "C"

import (
	"errors"
	"io"
	"math"
	"runtime"
	"sync"
	"sync/atomic"
)

// mu serialises every call into the library: the last-error text is one
// block for the whole process, read before mu is released.
var mu sync.Mutex

// liveBuffers counts buffers created and not yet freed (read by tests).
var liveBuffers int64

// Buffer is a growing block of exposition text. Close frees it; a Buffer
// dropped without Close is freed by a finalizer. After Close every method
// returns ErrClosed (Close itself returns nil again).
type Buffer struct {
	p *C.promfmt_buffer_t
}

// NewBuffer creates an empty buffer with room for capacity bytes (values
// below 64 give 64; it grows as needed).
func NewBuffer(capacity int) (*Buffer, error) {
	if capacity < 0 {
		return nil, errors.New("promfmt: negative buffer capacity")
	}
	mu.Lock()
	defer mu.Unlock()
	p := C.promfmt_buffer_create(C.size_t(capacity))
	if p == nil {
		return nil, lastError("promfmt_buffer_create")
	}
	atomic.AddInt64(&liveBuffers, 1)
	b := &Buffer{p: p}
	runtime.SetFinalizer(b, (*Buffer).Close)
	return b, nil
}

// Close frees the buffer. A second Close does nothing.
func (b *Buffer) Close() error {
	mu.Lock()
	defer mu.Unlock()
	if b.p != nil {
		C.promfmt_buffer_free(b.p)
		b.p = nil
		atomic.AddInt64(&liveBuffers, -1)
		runtime.SetFinalizer(b, nil)
	}
	return nil
}

// open returns the C buffer; call it with mu held. While mu is held the
// finalizer (which takes mu in Close) cannot free the buffer under a call.
func (b *Buffer) open() (*C.promfmt_buffer_t, error) {
	if b.p == nil {
		return nil, ErrClosed
	}
	return b.p, nil
}

// Reset empties the text but keeps the memory for the next scrape.
func (b *Buffer) Reset() error {
	mu.Lock()
	defer mu.Unlock()
	p, err := b.open()
	if err == nil {
		C.promfmt_buffer_reset(p)
	}
	return err
}

// Text returns a copy of the text so far.
func (b *Buffer) Text() (string, error) {
	mu.Lock()
	defer mu.Unlock()
	p, err := b.open()
	if err != nil {
		return "", err
	}
	n := C.promfmt_buffer_len(p)
	if n > math.MaxInt32 {
		return "", errors.New("promfmt: text longer than 2 GiB")
	}
	return C.GoStringN(C.promfmt_buffer_data(p), C.int(n)), nil
}

// Bytes returns a copy of the text so far.
func (b *Buffer) Bytes() ([]byte, error) {
	text, err := b.Text()
	return []byte(text), err
}

// WriteTo writes a copy of the text to w (for example an http.ResponseWriter).
func (b *Buffer) WriteTo(w io.Writer) (int64, error) {
	text, err := b.Text()
	if err != nil {
		return 0, err
	}
	n, err := io.WriteString(w, text)
	return int64(n), err
}
