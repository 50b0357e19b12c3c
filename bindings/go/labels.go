// SPDX-License-Identifier: MIT

package promfmt

// #include <stdint.h>
import "C"

import "strconv"

// Label is one label of a sample: its name and its value, as plain text.
type Label struct {
	Name, Value string
}

// jsonEscape[c] is what byte c becomes inside a JSON string: "" when it is
// copied as it is. Bytes from 0x80 up are copied: the library checks that
// the text is valid UTF-8 and refuses it otherwise.
var jsonEscape = func() (t [256]string) {
	const hex = "0123456789abcdef"
	for c := 0; c < 0x20; c++ {
		t[c] = `\u00` + string(hex[c>>4]) + string(hex[c&15])
	}
	t['\n'], t['\t'], t['\r'] = `\n`, `\t`, `\r`
	t['"'], t['\\'] = `\"`, `\\`
	return t
}()

// needsOwnEscape[c] says whether jsonEscape[c] is set: a table of 256
// bytes is cheaper to test than one of strings.
var needsOwnEscape = func() (t [256]bool) {
	for c, esc := range jsonEscape {
		t[c] = esc != ""
	}
	return t
}()

// plain reports whether JSON takes s as it is. Texts of 8 to 16 bytes,
// as most values are, are tested here as two words, the second overlapping
// the first; others in plainOther.
func plain(s string) bool {
	if n := len(s); uint(n)-8 <= 8 {
		return !needsEscape(load64(s, 0)) && !needsEscape(load64(s, n-8))
	}
	return plainOther(s)
}

// plainOther is plain for texts not of 8 to 16 bytes. It tests eight bytes
// at a time, the last word overlapping the one before; a shorter s is made
// into one word of its own bytes: two overlapping halves, or for up to
// three bytes, its first, middle and last byte repeated.
func plainOther(s string) bool {
	n := len(s)
	switch {
	case n >= 8:
		for i := 0; i < n-8; i += 8 {
			if needsEscape(load64(s, i)) {
				return false
			}
		}
		return !needsEscape(load64(s, n-8))
	case n >= 4:
		return !needsEscape(uint64(load32(s, 0)) | uint64(load32(s, n-4))<<32)
	case n > 0:
		three := uint64(s[0]) | uint64(s[n/2])<<8 | uint64(s[n-1])<<16
		return !needsEscape(three | three<<24 | (three&0xffff)<<48)
	}
	return true
}

// appendEscaped appends the JSON string body of s. false when s holds a NUL
// byte: the library would cut the name or value there.
func appendEscaped(out []byte, s string) ([]byte, bool) {
	start := 0
	for i := 0; i < len(s); i++ {
		if c := s[i]; needsOwnEscape[c] {
			if c == 0 {
				return out, false
			}
			out = append(append(out, s[start:i]...), jsonEscape[c]...)
			start = i + 1
		}
	}
	return append(out, s[start:]...), true
}

// load32 reads the four bytes of s from i as one little-endian word.
func load32(s string, i int) uint32 {
	s = s[i : i+4]
	return uint32(s[0]) | uint32(s[1])<<8 | uint32(s[2])<<16 | uint32(s[3])<<24
}

// load64 reads the eight bytes of s from i as one little-endian word (the
// compiler makes this one load).
func load64(s string, i int) uint64 {
	s = s[i : i+8]
	return uint64(s[0]) | uint64(s[1])<<8 | uint64(s[2])<<16 | uint64(s[3])<<24 |
		uint64(s[4])<<32 | uint64(s[5])<<40 | uint64(s[6])<<48 | uint64(s[7])<<56
}

// needsEscape reports whether any byte of the word is below 0x20, a double
// quote or a backslash. (x - ones*n) & ^x & highs is non-zero exactly when
// some byte of x is below n (n up to 0x80); a byte equal to c is a byte of
// x^(ones*c) below 1.
func needsEscape(x uint64) bool {
	const ones, highs = 0x0101010101010101, 0x8080808080808080
	quote, backslash := x^(ones*'"'), x^(ones*'\\')
	below := (x - ones*0x20) & ^x
	below |= (quote - ones) & ^quote
	below |= (backslash - ones) & ^backslash
	return below&highs != 0
}

// An object is written as {" and then, member by member, name":"value","
// so that each member takes four appends: the quote that opens the next
// name is written with the one that closes this value. closeObject then
// makes the last member's trailing ," a } and the NUL.

// appendMember appends one member to an object begun in out. Names and
// values that need no escape, nearly all of them, are copied whole.
func appendMember(out []byte, name, value string) ([]byte, error) {
	if plain(name) && plain(value) {
		out = append(append(out, name...), '"', ':', '"')
		return append(append(out, value...), '"', ',', '"'), nil
	}
	out, ok := appendEscaped(out, name)
	if !ok {
		return out, nulError("label name " + strconv.Quote(name))
	}
	out, ok = appendEscaped(append(out, '"', ':', '"'), value)
	if !ok {
		return out, nulError("value of label " + strconv.Quote(name))
	}
	return append(out, '"', ',', '"'), nil
}

// openObject begins an object in out.
func openObject(out []byte) []byte { return append(out, '{', '"') }

// closeObject ends an object of at least one member with its closing brace
// and the NUL.
func closeObject(out []byte) []byte {
	n := len(out)
	out[n-2] = '}'
	out[n-1] = 0
	return out
}

// pairsJSON queues labels given as pairs as one JSON object; none when
// there are none.
func (q *queue) pairsJSON(labels []Label) (C.int64_t, error) {
	if len(labels) == 0 {
		return none, nil
	}
	at := len(q.args)
	out := openObject(q.args)
	var err error
	for _, l := range labels {
		if out, err = appendMember(out, l.Name, l.Value); err != nil {
			return 0, err
		}
	}
	q.args = closeObject(out)
	return C.int64_t(at), nil
}

// mapJSON queues labels given as a map as one JSON object; none when there
// are none. The library sorts them, so any order of the names will do; a
// map with the names of the one before is written in their order, found by
// lookups, which cost less than ranging over the map, and the library sees
// the names it has just read again in the same order.
func (q *queue) mapJSON(labels map[string]string) (C.int64_t, error) {
	if len(labels) == 0 {
		return none, nil
	}
	at := len(q.args)
	out, ok, err := q.keptNamesJSON(openObject(q.args), labels)
	if !ok {
		out, err = q.rangeJSON(openObject(q.args[:at]), labels)
	}
	if err != nil {
		return 0, err
	}
	q.args = closeObject(out)
	return C.int64_t(at), nil
}

// keptNamesJSON appends the members of labels in the order of q.mapNames;
// false when labels holds other names. Names of a map are distinct, so the
// same count of names, each found, is the same set.
func (q *queue) keptNamesJSON(out []byte, labels map[string]string) ([]byte, bool, error) {
	if len(labels) != len(q.mapNames) {
		return out, false, nil
	}
	var err error
	for _, name := range q.mapNames {
		value, ok := labels[name]
		if !ok {
			return out, false, nil
		}
		if out, err = appendMember(out, name, value); err != nil {
			return out, true, err
		}
	}
	return out, true, nil
}

// rangeJSON appends the members of labels in the map's order and keeps
// their names, in that order, for the next map.
func (q *queue) rangeJSON(out []byte, labels map[string]string) ([]byte, error) {
	q.mapNames = q.mapNames[:0]
	var err error
	for name, value := range labels {
		if out, err = appendMember(out, name, value); err != nil {
			return out, err
		}
		q.mapNames = append(q.mapNames, name)
	}
	return out, nil
}

// rawJSON queues labels given as the text of one JSON object; none for "".
func (q *queue) rawJSON(labels string) (C.int64_t, error) {
	if labels == "" {
		return none, nil
	}
	return q.text(labels, "labels JSON")
}
