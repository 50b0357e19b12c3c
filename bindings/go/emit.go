// SPDX-License-Identifier: MIT

package promfmt

// #include <stdint.h>
import "C"

import "runtime"

// MetricType is the kind a TYPE line names. Values other than these five
// write "untyped".
type MetricType int32

const (
	TypeUntyped   MetricType = 0
	TypeCounter   MetricType = 1
	TypeGauge     MetricType = 2
	TypeHistogram MetricType = 3
	TypeSummary   MetricType = 4
)

// A single call queues its line on the buffer's Batch, after the lines
// queued there, and writes it at once. start marks where it begins and
// what the Batch's own error was, which the call's error must not replace.
type start struct {
	queue    mark
	batchErr error
}

func (b *Buffer) mark() start { return start{b.q.mark(), b.batch.err} }

// now writes at once the line that a Batch method has just queued after m.
// A line the library refuses leaves the buffer as it was (the shortcuts
// keep the HELP and TYPE lines written before their sample was refused).
func (b *Buffer) now(m start, err error) error {
	b.batch.err = m.batchErr
	if err != nil {
		return err
	}
	_, err = b.q.write(b.p, m.queue)
	runtime.KeepAlive(b) // until C is done with b.p: the cleanup would free it
	return err
}

// sample writes at once a sample line whose labels text was queued after
// m, or returns err, met while queuing it. Sample lines, one per series,
// skip the queued line and the Batch that the other single calls go
// through: the texts are queued after the Batch's, and dropped after.
func (b *Buffer) sample(m mark, name string, labels C.int64_t, err error, value float64,
	timestamp int64) error {
	if b.p == nil {
		err = ErrClosed
	}
	if err != nil {
		b.q.undo(m)
		return err
	}
	err = b.q.writeSample(b.p, m, name, labels, value, timestamp)
	runtime.KeepAlive(b) // until C is done with b.p: the cleanup would free it
	return err
}

// Help appends "# HELP name text". The text's backslashes and line feeds
// are escaped.
func (b *Buffer) Help(name, text string) error {
	m := b.mark()
	return b.now(m, b.batch.Help(name, text))
}

// Type appends "# TYPE name kind".
func (b *Buffer) Type(name string, kind MetricType) error {
	m := b.mark()
	return b.now(m, b.batch.Type(name, kind))
}

// Sample appends one sample line, "name{labels} value[ timestamp]", with
// the labels given as pairs (nil for none). The library sorts them by name
// and escapes their values. The timestamp, in milliseconds since the
// epoch, is written only when above 0.
func (b *Buffer) Sample(name string, labels []Label, value float64, timestamp int64) error {
	m := b.q.mark()
	l, err := b.q.pairsJSON(labels)
	return b.sample(m, name, l, err, value, timestamp)
}

// SampleMap is Sample with the labels given as a map.
func (b *Buffer) SampleMap(name string, labels map[string]string, value float64,
	timestamp int64) error {
	m := b.q.mark()
	l, err := b.q.mapJSON(labels)
	return b.sample(m, name, l, err, value, timestamp)
}

// SampleJSON is Sample with the labels given as the text of one JSON object
// ("" for none), which the library reads as it is.
func (b *Buffer) SampleJSON(name, labels string, value float64, timestamp int64) error {
	m := b.q.mark()
	l, err := b.q.rawJSON(labels)
	return b.sample(m, name, l, err, value, timestamp)
}

// Gauge appends a whole gauge family of one series: the HELP line when
// help is not empty, the TYPE line and the sample, without timestamp. When
// the sample is refused, the HELP and TYPE lines stay. For a family of
// several series, write Help and Type once, then Sample per series.
func (b *Buffer) Gauge(name, help string, labels []Label, value float64) error {
	m := b.mark()
	return b.now(m, b.batch.Gauge(name, help, labels, value))
}

// GaugeMap is Gauge with the labels given as a map.
func (b *Buffer) GaugeMap(name, help string, labels map[string]string, value float64) error {
	m := b.mark()
	return b.now(m, b.batch.GaugeMap(name, help, labels, value))
}

// GaugeJSON is Gauge with the labels given as JSON text.
func (b *Buffer) GaugeJSON(name, help, labels string, value float64) error {
	m := b.mark()
	return b.now(m, b.batch.GaugeJSON(name, help, labels, value))
}

// Counter appends a whole counter family of one series, as Gauge does. No
// "_total" is added to the name.
func (b *Buffer) Counter(name, help string, labels []Label, value float64) error {
	m := b.mark()
	return b.now(m, b.batch.Counter(name, help, labels, value))
}

// CounterMap is Counter with the labels given as a map.
func (b *Buffer) CounterMap(name, help string, labels map[string]string, value float64) error {
	m := b.mark()
	return b.now(m, b.batch.CounterMap(name, help, labels, value))
}

// CounterJSON is Counter with the labels given as JSON text.
func (b *Buffer) CounterJSON(name, help, labels string, value float64) error {
	m := b.mark()
	return b.now(m, b.batch.CounterJSON(name, help, labels, value))
}
