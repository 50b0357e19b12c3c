// SPDX-License-Identifier: MIT

package reader

import (
	"encoding/json"
	"errors"
	"fmt"
	"io"
	"sort"
	"strconv"
	"strings"
)

// label is one label as a reader sees it: name and unescaped value.
type label struct{ name, value string }

// expectedLabels decodes a labels text the library accepted, independently
// of the library, into the labels its sample line must carry, sorted by
// name. Member values become text as follows: strings up to an escaped NUL;
// integer literals that fit a signed (with a minus sign) or unsigned 64-bit
// integer in full; every other number as C's "%.14g" of its double; true and
// false as words; null, arrays and objects as "". Keys are cut at an
// escaped NUL too.
func expectedLabels(text string) ([]label, error) {
	if strings.Trim(text, " \t\n\r") == "" {
		return nil, nil
	}
	dec := json.NewDecoder(strings.NewReader(text))
	dec.UseNumber()
	if err := expectDelim(dec, '{'); err != nil {
		return nil, err
	}
	var labels []label
	for dec.More() {
		key, err := dec.Token()
		if err != nil {
			return nil, err
		}
		value, err := valueText(dec)
		if err != nil {
			return nil, err
		}
		labels = append(labels, label{cutAtNUL(key.(string)), value})
	}
	if err := expectDelim(dec, '}'); err != nil {
		return nil, err
	}
	if _, err := dec.Token(); err != io.EOF {
		return nil, fmt.Errorf("text after the object (%v)", err)
	}
	sort.SliceStable(labels, func(i, j int) bool { return labels[i].name < labels[j].name })
	return labels, nil
}

func expectDelim(dec *json.Decoder, want json.Delim) error {
	tok, err := dec.Token()
	if err != nil {
		return err
	}
	if tok != want {
		return fmt.Errorf("expected %v, got %v", want, tok)
	}
	return nil
}

// valueText reads one member value and returns its label text.
func valueText(dec *json.Decoder) (string, error) {
	tok, err := dec.Token()
	if err != nil {
		return "", err
	}
	switch v := tok.(type) {
	case string:
		return cutAtNUL(v), nil
	case json.Number:
		return numberText(string(v)), nil
	case bool:
		return strconv.FormatBool(v), nil
	case nil:
		return "", nil
	case json.Delim:
		return "", skipNested(dec)
	}
	return "", fmt.Errorf("unexpected token %v", tok)
}

// skipNested reads up to the end of the array or object just opened.
func skipNested(dec *json.Decoder) error {
	for depth := 1; depth > 0; {
		tok, err := dec.Token()
		if err != nil {
			return err
		}
		if d, ok := tok.(json.Delim); ok {
			if d == '[' || d == '{' {
				depth++
			} else {
				depth--
			}
		}
	}
	return nil
}

// numberText is the label text of a JSON number literal.
func numberText(lit string) string {
	if !strings.ContainsAny(lit, ".eE") {
		if strings.HasPrefix(lit, "-") {
			if i, err := strconv.ParseInt(lit, 10, 64); err == nil {
				return strconv.FormatInt(i, 10)
			}
		} else if u, err := strconv.ParseUint(lit, 10, 64); err == nil {
			return strconv.FormatUint(u, 10)
		}
	}
	f, err := strconv.ParseFloat(lit, 64)
	if err != nil && !errors.Is(err, strconv.ErrRange) {
		return "unreadable number " + lit
	}
	return cFormat14g(f)
}
