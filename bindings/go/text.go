// SPDX-License-Identifier: MIT

package promfmt

import (
	"fmt"
	"strconv"
	"strings"
	"unicode/utf8"
)

// cText returns s as NUL-terminated bytes for a const char * argument. A
// NUL byte inside s is refused: C would silently cut the text there.
func cText(s, what string) ([]byte, error) {
	if strings.IndexByte(s, 0) >= 0 {
		return nil, fmt.Errorf("promfmt: %s contains a NUL byte", what)
	}
	b := make([]byte, len(s)+1)
	copy(b, s)
	return b, nil
}

// labelsJSON writes labels as the text of one JSON object, NUL-terminated;
// nil for no labels. Keys and values must be valid UTF-8 without NUL bytes
// (the library refuses invalid UTF-8, and cuts at an escaped NUL).
func labelsJSON(labels map[string]string) ([]byte, error) {
	if len(labels) == 0 {
		return nil, nil
	}
	size := 2
	for k, v := range labels {
		size += len(k) + len(v) + 6
	}
	out := make([]byte, 0, size+1)
	out = append(out, '{')
	for k, v := range labels {
		if len(out) > 1 {
			out = append(out, ',')
		}
		var err error
		if out, err = appendJSONString(out, k, "label name"); err != nil {
			return nil, err
		}
		out = append(out, ':')
		if out, err = appendJSONString(out, v, "value of label "+strconv.Quote(k)); err != nil {
			return nil, err
		}
	}
	return append(out, '}', 0), nil
}

func appendJSONString(out []byte, s, what string) ([]byte, error) {
	if !utf8.ValidString(s) {
		return nil, fmt.Errorf("promfmt: %s is not valid UTF-8", what)
	}
	out = append(out, '"')
	for i := 0; i < len(s); i++ {
		switch c := s[i]; {
		case c == 0:
			return nil, fmt.Errorf("promfmt: %s contains a NUL byte", what)
		case c == '"' || c == '\\':
			out = append(out, '\\', c)
		case c == '\n':
			out = append(out, '\\', 'n')
		case c < 0x20:
			out = append(out, '\\', 'u', '0', '0', "0123456789abcdef"[c>>4], "0123456789abcdef"[c&15])
		default:
			out = append(out, c)
		}
	}
	return append(out, '"'), nil
}
