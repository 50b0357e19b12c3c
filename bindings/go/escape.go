// SPDX-License-Identifier: MIT

package promfmt

// #include <promfmt.h>
import "C"

import "unsafe"

// EscapeLabelValue escapes value as the exposition format wants it between
// the quotes of a label value: backslash, double quote and line feed. The
// emitters do this themselves; it is for text built by hand.
func EscapeLabelValue(value string) (string, error) {
	var q queue
	at, err := q.text(value, "label value")
	if err != nil {
		return "", err
	}
	in := (*C.char)(unsafe.Pointer(&q.args[at]))
	calls.Lock() // rare: held for the whole call, so the message read is its own
	defer calls.Unlock()
	size := C.promfmt_escape_label_value(in, nil, 0)
	if size < 0 {
		return "", &Error{Op: "promfmt_escape_label_value", Msg: C.GoString(C.promfmt_last_error())}
	}
	out := make([]byte, int(size)+1)
	C.promfmt_escape_label_value(in, (*C.char)(unsafe.Pointer(&out[0])), C.size_t(len(out)))
	return string(out[:size]), nil
}
