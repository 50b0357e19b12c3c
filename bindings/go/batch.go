// SPDX-License-Identifier: MIT

package promfmt

import (
	"errors"
	"runtime"
)

// Batch queues lines for its Buffer and writes them all with one call into
// the library: Write. Each call into C has a fixed cost, so a whole family,
// or a whole scrape, written as one batch is cheaper than line by line.
//
// The methods check what Go can check (a NUL byte in any text) when the
// line is queued, and drop a line they refuse; the library checks the rest
// when the batch is written. As with bufio.Writer, the queuing methods'
// errors may be left to Write, which returns the first of them too.
// A Batch belongs to its Buffer and follows its rules: one goroutine at a
// time, and ErrClosed after Close.
type Batch struct {
	b   *Buffer
	err error // the first line refused when queued since the last Write
}

// Len is the number of lines queued and not yet written.
func (t *Batch) Len() int { return len(t.b.q.lines) }

// Write writes the queued lines into the buffer, in order, and empties the
// queue. At the first line the library refuses it stops, with a
// *BatchError: the lines before it stay in the buffer, it and the lines
// after it are dropped. The first error of a queuing method since the last
// Write is returned too (joined with the refusal, if there was one).
func (t *Batch) Write() error {
	if t.b.p == nil {
		return ErrClosed
	}
	done, err := t.b.q.write(t.b.p, mark{})
	runtime.KeepAlive(t.b) // until C is done with its buffer: the cleanup would free it
	queuing := t.err
	t.err = nil
	if err != nil {
		return errors.Join(queuing, &BatchError{Line: done, Err: err.(*Error)})
	}
	return queuing
}

// queued ends a queuing method that began at m: on failure, or after
// Close, it drops what the method added.
func (t *Batch) queued(m mark, err error) error {
	if t.b.p == nil {
		err = ErrClosed
	}
	if err != nil {
		t.b.q.undo(m)
		if t.err == nil {
			t.err = err
		}
	}
	return err
}

// Help queues "# HELP name text".
func (t *Batch) Help(name, text string) error {
	m := t.b.q.mark()
	return t.queued(m, t.b.q.help(name, text))
}

// Type queues "# TYPE name kind".
func (t *Batch) Type(name string, kind MetricType) error {
	m := t.b.q.mark()
	return t.queued(m, t.b.q.typ(name, kind))
}

// Sample queues one sample line with labels given as pairs; see
// Buffer.Sample.
func (t *Batch) Sample(name string, labels []Label, value float64, timestamp int64) error {
	m := t.b.q.mark()
	l, err := t.b.q.pairsJSON(labels)
	return t.queued(m, t.b.q.sample(opSample, name, "", l, err, value, timestamp))
}

// SampleMap is Sample with labels given as a map.
func (t *Batch) SampleMap(name string, labels map[string]string, value float64,
	timestamp int64) error {
	m := t.b.q.mark()
	l, err := t.b.q.mapJSON(labels)
	return t.queued(m, t.b.q.sample(opSample, name, "", l, err, value, timestamp))
}

// SampleJSON is Sample with labels given as the text of one JSON object
// ("" for none).
func (t *Batch) SampleJSON(name, labels string, value float64, timestamp int64) error {
	m := t.b.q.mark()
	l, err := t.b.q.rawJSON(labels)
	return t.queued(m, t.b.q.sample(opSample, name, "", l, err, value, timestamp))
}

// Gauge queues a whole one-series gauge family; see Buffer.Gauge.
func (t *Batch) Gauge(name, help string, labels []Label, value float64) error {
	m := t.b.q.mark()
	l, err := t.b.q.pairsJSON(labels)
	return t.queued(m, t.b.q.sample(opGauge, name, help, l, err, value, 0))
}

// GaugeMap is Gauge with labels given as a map.
func (t *Batch) GaugeMap(name, help string, labels map[string]string, value float64) error {
	m := t.b.q.mark()
	l, err := t.b.q.mapJSON(labels)
	return t.queued(m, t.b.q.sample(opGauge, name, help, l, err, value, 0))
}

// GaugeJSON is Gauge with labels given as JSON text.
func (t *Batch) GaugeJSON(name, help, labels string, value float64) error {
	m := t.b.q.mark()
	l, err := t.b.q.rawJSON(labels)
	return t.queued(m, t.b.q.sample(opGauge, name, help, l, err, value, 0))
}

// Counter queues a whole one-series counter family; see Buffer.Counter.
func (t *Batch) Counter(name, help string, labels []Label, value float64) error {
	m := t.b.q.mark()
	l, err := t.b.q.pairsJSON(labels)
	return t.queued(m, t.b.q.sample(opCounter, name, help, l, err, value, 0))
}

// CounterMap is Counter with labels given as a map.
func (t *Batch) CounterMap(name, help string, labels map[string]string, value float64) error {
	m := t.b.q.mark()
	l, err := t.b.q.mapJSON(labels)
	return t.queued(m, t.b.q.sample(opCounter, name, help, l, err, value, 0))
}

// CounterJSON is Counter with labels given as JSON text.
func (t *Batch) CounterJSON(name, help, labels string, value float64) error {
	m := t.b.q.mark()
	l, err := t.b.q.rawJSON(labels)
	return t.queued(m, t.b.q.sample(opCounter, name, help, l, err, value, 0))
}
