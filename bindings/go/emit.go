// SPDX-License-Identifier: MIT

package promfmt

// #cgo pkg-config: promfmt
// #include <promfmt.h>
import "C"

import "unsafe"

// MetricType is the kind written by Type. Values other than these five
// write "untyped".
type MetricType int32

const (
	TypeUntyped   MetricType = 0
	TypeCounter   MetricType = 1
	TypeGauge     MetricType = 2
	TypeHistogram MetricType = 3
	TypeSummary   MetricType = 4
)

// ptr turns bytes from cText or labelsJSON into a C string (nil stays NULL).
// The library only reads it during the call and keeps no pointer to it.
func ptr(b []byte) *C.char {
	if b == nil {
		return nil
	}
	return (*C.char)(unsafe.Pointer(&b[0]))
}

// Sample appends "name{labels} value[ timestamp]"; the timestamp
// (milliseconds since the epoch) is written only when above 0.
func (b *Buffer) Sample(name string, labels map[string]string, value float64,
	timestamp int64) error {
	l, err := labelsJSON(labels)
	if err != nil {
		return err
	}
	return b.sample(name, l, value, timestamp)
}

// SampleJSON is Sample with the labels as the text of one JSON object
// ("" for none).
func (b *Buffer) SampleJSON(name, labels string, value float64, timestamp int64) error {
	l, err := cText(labels, "labels JSON")
	if err != nil {
		return err
	}
	return b.sample(name, l, value, timestamp)
}

func (b *Buffer) sample(name string, labels []byte, value float64, timestamp int64) error {
	n, err := cText(name, "metric name")
	if err != nil {
		return err
	}
	mu.Lock()
	defer mu.Unlock()
	p, err := b.open()
	if err != nil {
		return err
	}
	return check(C.promfmt_emit_sample(p, ptr(n), ptr(labels), C.double(value),
		C.int64_t(timestamp)), "promfmt_emit_sample")
}

// Help appends "# HELP name text".
func (b *Buffer) Help(name, text string) error {
	n, err := cText(name, "metric name")
	if err != nil {
		return err
	}
	h, err := cText(text, "help text")
	if err != nil {
		return err
	}
	mu.Lock()
	defer mu.Unlock()
	p, err := b.open()
	if err != nil {
		return err
	}
	return check(C.promfmt_emit_help(p, ptr(n), ptr(h)), "promfmt_emit_help")
}

// Type appends "# TYPE name kind".
func (b *Buffer) Type(name string, kind MetricType) error {
	n, err := cText(name, "metric name")
	if err != nil {
		return err
	}
	mu.Lock()
	defer mu.Unlock()
	p, err := b.open()
	if err != nil {
		return err
	}
	return check(C.promfmt_emit_type(p, ptr(n), C.promfmt_metric_type_t(kind)),
		"promfmt_emit_type")
}

// Gauge appends a whole gauge family: the HELP line when help is not
// empty, the TYPE line and one sample without timestamp. When the sample
// is refused, the HELP and TYPE lines stay.
func (b *Buffer) Gauge(name, help string, labels map[string]string, value float64) error {
	l, err := labelsJSON(labels)
	if err != nil {
		return err
	}
	return b.family(false, name, help, l, value)
}

// GaugeJSON is Gauge with the labels as the text of one JSON object.
func (b *Buffer) GaugeJSON(name, help, labels string, value float64) error {
	l, err := cText(labels, "labels JSON")
	if err != nil {
		return err
	}
	return b.family(false, name, help, l, value)
}

// Counter appends a whole counter family as Gauge does. No "_total" is added.
func (b *Buffer) Counter(name, help string, labels map[string]string, value float64) error {
	l, err := labelsJSON(labels)
	if err != nil {
		return err
	}
	return b.family(true, name, help, l, value)
}

// CounterJSON is Counter with the labels as the text of one JSON object.
func (b *Buffer) CounterJSON(name, help, labels string, value float64) error {
	l, err := cText(labels, "labels JSON")
	if err != nil {
		return err
	}
	return b.family(true, name, help, l, value)
}

func (b *Buffer) family(counter bool, name, help string, l []byte, value float64) error {
	n, err := cText(name, "metric name")
	if err != nil {
		return err
	}
	h, err := cText(help, "help text")
	if err != nil {
		return err
	}
	mu.Lock()
	defer mu.Unlock()
	p, err := b.open()
	if err != nil {
		return err
	}
	if counter {
		return check(C.promfmt_emit_counter(p, ptr(n), ptr(h), ptr(l), C.double(value)),
			"promfmt_emit_counter")
	}
	return check(C.promfmt_emit_gauge(p, ptr(n), ptr(h), ptr(l), C.double(value)),
		"promfmt_emit_gauge")
}

// EscapeLabelValue escapes backslash, double quote and line feed as the
// exposition format wants them inside a label value.
func EscapeLabelValue(value string) (string, error) {
	in, err := cText(value, "label value")
	if err != nil {
		return "", err
	}
	mu.Lock()
	defer mu.Unlock()
	size := C.promfmt_escape_label_value(ptr(in), nil, 0)
	if size < 0 {
		return "", lastError("promfmt_escape_label_value")
	}
	out := make([]byte, int(size)+1)
	err = check(C.promfmt_escape_label_value(ptr(in), ptr(out), C.size_t(len(out))),
		"promfmt_escape_label_value")
	if err != nil {
		return "", err
	}
	return string(out[:size]), nil
}
