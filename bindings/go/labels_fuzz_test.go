// SPDX-License-Identifier: MIT

package promfmt

import (
	"bytes"
	"encoding/json"
	"strings"
	"testing"
	"unicode/utf8"
)

// jsonMembers reads the members of one JSON object with encoding/json, in
// their order.
func jsonMembers(t *testing.T, text []byte) []string {
	t.Helper()
	dec := json.NewDecoder(bytes.NewReader(text))
	var members []string
	for {
		tok, err := dec.Token()
		if err != nil {
			break
		}
		if s, ok := tok.(string); ok {
			members = append(members, s)
		}
	}
	if !json.Valid(text) {
		t.Fatalf("not JSON: %q", text)
	}
	return members
}

// plainPrefix is the length of the start of s that JSON takes as it is,
// found one byte at a time.
func plainPrefix(s string) int {
	for i := 0; i < len(s); i++ {
		if c := s[i]; c < 0x20 || c == '"' || c == '\\' {
			return i
		}
	}
	return len(s)
}

// asDecoded is s as encoding/json gives it back: each byte that is not
// part of valid UTF-8 read as U+FFFD.
func asDecoded(s string) string { return string([]rune(s)) }

// FuzzLabels checks the labels builders against encoding/json (the members
// read back, in order) and against the library's JSON-text route (the
// sample written from encoding/json's own text of the same labels).
func FuzzLabels(f *testing.F) {
	for _, seed := range [][4]string{
		{"a", "b", "path", "/x"},
		{"quote", `say "hi"`, "back", `c:\dir`},
		{"line", "a\nb\tc\rd", "ctl", "\x01\x1f\x7f"},
		{"nul", "x\x00y", "k", "v"},
		{"utf8", "żółw \u2028 \U0001F600", "bad", "\xff\xfe"},
		{"eight", "01234567", "sixteen_bytes_xy", "0123456789abcdef"},
		{"dup", "1", "dup", "2"},
		{"", "empty name", "1digit", "v"},
	} {
		f.Add(seed[0], seed[1], seed[2], seed[3])
	}
	b1, err := NewBuffer(0)
	if err != nil {
		f.Fatal(err)
	}
	b2, err := NewBuffer(0)
	if err != nil {
		f.Fatal(err)
	}
	f.Cleanup(func() { b1.Close(); b2.Close() })
	f.Fuzz(func(t *testing.T, n1, v1, n2, v2 string) {
		for _, s := range []string{n1, v1, n2, v2} {
			if got, want := plain(s), plainPrefix(s) == len(s); got != want {
				t.Fatalf("plain(%q) = %v, want %v", s, got, want)
			}
		}
		pairs := []Label{{n1, v1}, {n2, v2}}
		out := openObject(nil)
		var buildErr error
		for _, l := range pairs {
			if out, buildErr = appendMember(out, l.Name, l.Value); buildErr != nil {
				break
			}
		}
		hasNUL := strings.Contains(n1+v1+n2+v2, "\x00")
		if (buildErr != nil) != hasNUL {
			t.Fatalf("%q: error %v, NUL %v", pairs, buildErr, hasNUL)
		}
		if hasNUL {
			return
		}
		out = closeObject(out)
		out = out[:len(out)-1] // the NUL
		got := jsonMembers(t, out)
		want := []string{asDecoded(n1), asDecoded(v1), asDecoded(n2), asDecoded(v2)}
		if strings.Join(got, "\x00") != strings.Join(want, "\x00") || len(got) != 4 {
			t.Fatalf("%q built %s, read back as %q", pairs, out, got)
		}
		sameAsJSONRoute(t, b1, b2, pairs)
	})
}

// sameAsJSONRoute writes the labels as pairs, as a map and as
// encoding/json's text, and checks that each route writes the same text or
// is refused with the buffer unchanged.
func sameAsJSONRoute(t *testing.T, b1, b2 *Buffer, pairs []Label) {
	must(t, b1.Reset())
	must(t, b2.Reset())
	valid := true
	object := map[string]string{}
	for _, l := range pairs {
		valid = valid && utf8.ValidString(l.Name) && utf8.ValidString(l.Value)
		object[l.Name] = l.Value
	}
	ordered := bytes.NewBufferString("{")
	for i, l := range pairs {
		name, _ := json.Marshal(l.Name)
		value, _ := json.Marshal(l.Value)
		if i > 0 {
			ordered.WriteByte(',')
		}
		ordered.Write(name)
		ordered.WriteByte(':')
		ordered.Write(value)
	}
	ordered.WriteByte('}')
	pairErr := b1.Sample("m", pairs, 1, 0)
	jsonErr := b2.SampleJSON("m", ordered.String(), 1, 0)
	if !valid {
		// encoding/json wrote U+FFFD for the bad bytes; the library refuses them.
		if pairErr == nil || b1.Len() != 0 {
			t.Fatalf("%q: invalid UTF-8 taken: %v", pairs, pairErr)
		}
		return
	}
	if (pairErr == nil) != (jsonErr == nil) || text(t, b1) != text(t, b2) {
		t.Fatalf("%q: pairs %v %q, JSON text %v %q", pairs, pairErr, text(t, b1), jsonErr, text(t, b2))
	}
	if pairErr != nil && b1.Len() != 0 {
		t.Fatalf("%q: a refusal wrote %q", pairs, text(t, b1))
	}
	must(t, b1.Reset())
	must(t, b2.Reset())
	mapErr := b1.SampleMap("m", object, 1, 0)
	asJSON, _ := json.Marshal(object)
	jsonErr = b2.SampleJSON("m", string(asJSON), 1, 0)
	if (mapErr == nil) != (jsonErr == nil) || text(t, b1) != text(t, b2) {
		t.Fatalf("%q: map %v %q, JSON text %v %q", object, mapErr, text(t, b1), jsonErr, text(t, b2))
	}
}
