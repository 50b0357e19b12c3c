// SPDX-License-Identifier: MIT

package promfmt

/*
#include <stdint.h>
#include <promfmt.h>

enum { PF_SAMPLE, PF_HELP, PF_TYPE, PF_GAUGE, PF_COUNTER };

// One queued line. name, text and help are offsets into the arguments
// block, each the start of a NUL-terminated text; -1 passes NULL. text is
// the labels JSON of samples and shortcuts, and the help text of HELP lines.
typedef struct {
	int64_t name, text, help;
	double value;
	int64_t timestamp;
	int32_t op, type;
} pf_line;

static int pf_write_line(promfmt_buffer_t *buf, const char *args, const pf_line *l)
{
	const char *name = args + l->name;
	const char *text = l->text < 0 ? NULL : args + l->text;
	const char *help = l->help < 0 ? NULL : args + l->help;
	switch (l->op) {
	case PF_HELP:
		return promfmt_emit_help(buf, name, text);
	case PF_TYPE:
		return promfmt_emit_type(buf, name, (promfmt_metric_type_t)l->type);
	case PF_GAUGE:
		return promfmt_emit_gauge(buf, name, help, text, l->value);
	case PF_COUNTER:
		return promfmt_emit_counter(buf, name, help, text, l->value);
	default:
		return promfmt_emit_sample(buf, name, text, l->value, l->timestamp);
	}
}

// Writes lines[0..n) in order and stops at the first refused one. Returns
// how many were written.
static size_t pf_write_lines(promfmt_buffer_t *buf, const char *args,
			     const pf_line *lines, size_t n)
{
	size_t i = 0;
	while (i < n && pf_write_line(buf, args, &lines[i]) == 0)
		i++;
	return i;
}
*/
import "C"

import (
	"strings"
	"sync"
	"unsafe"
)

// queue holds lines waiting to be written and the NUL-terminated texts they
// point to. Both slices are reused, so once they have grown to the size of
// a scrape, queuing allocates nothing. The texts are Go memory without Go
// pointers, passed to C for the length of one call and never kept there.
type queue struct {
	args     []byte
	lines    []C.pf_line
	mapNames []string // the label names of the last map queued, in the order written
	// The metric name of the last sample written at once, and its
	// NUL-terminated copy: a family's samples pass the same name again.
	sampleName     string
	sampleNameText []byte
}

// Line kinds, as the C side numbers them.
const (
	opSample  = C.PF_SAMPLE
	opHelp    = C.PF_HELP
	opType    = C.PF_TYPE
	opGauge   = C.PF_GAUGE
	opCounter = C.PF_COUNTER
)

// opNames are the C functions behind each kind, for error values.
var opNames = [...]string{
	opSample:  "promfmt_emit_sample",
	opHelp:    "promfmt_emit_help",
	opType:    "promfmt_emit_type",
	opGauge:   "promfmt_emit_gauge",
	opCounter: "promfmt_emit_counter",
}

// none marks an absent text: the C side gets NULL.
const none = -1

// text appends s and a NUL and returns its offset. A NUL inside s is
// refused, since C would silently stop reading there.
func (q *queue) text(s, what string) (C.int64_t, error) {
	if strings.IndexByte(s, 0) >= 0 {
		return 0, nulError(what)
	}
	at := C.int64_t(len(q.args))
	q.args = append(append(q.args, s...), 0)
	return at, nil
}

// add queues one line; name is the offset of its metric name.
func (q *queue) add(op C.int32_t, name, text, help C.int64_t, value float64, ts int64,
	kind MetricType) {
	q.lines = append(q.lines, C.pf_line{name: name, text: text, help: help,
		value: C.double(value), timestamp: C.int64_t(ts), op: op, _type: C.int32_t(kind)})
}

// help queues a HELP line.
func (q *queue) help(name, text string) error {
	n, err := q.text(name, "metric name")
	if err != nil {
		return err
	}
	h, err := q.text(text, "help text")
	if err != nil {
		return err
	}
	q.add(opHelp, n, h, none, 0, 0, 0)
	return nil
}

// typ queues a TYPE line.
func (q *queue) typ(name string, kind MetricType) error {
	n, err := q.text(name, "metric name")
	if err != nil {
		return err
	}
	q.add(opType, n, none, none, 0, 0, kind)
	return nil
}

// sample queues a sample line (opSample) or a whole one-series family
// (opGauge, opCounter, with help); labels is the offset of the labels JSON,
// or the error met while queuing it.
func (q *queue) sample(op C.int32_t, name, help string, labels C.int64_t, err error,
	value float64, ts int64) error {
	if err != nil {
		return err
	}
	n, err := q.text(name, "metric name")
	if err != nil {
		return err
	}
	h := C.int64_t(none)
	if op != opSample {
		if h, err = q.text(help, "help text"); err != nil {
			return err
		}
	}
	q.add(op, n, labels, h, value, ts, 0)
	return nil
}

// mark and undo let a failed queuing step drop what it had added.
type mark struct{ args, lines int }

func (q *queue) mark() mark { return mark{len(q.args), len(q.lines)} }

func (q *queue) undo(m mark) {
	q.args, q.lines = q.args[:m.args], q.lines[:m.lines]
}

// calls orders the calls into the library around its one process-wide
// last-error text. Writing takes it shared, so distinct buffers are filled
// in parallel. A refused line is then written again, alone and under the
// exclusive lock, into a scratch buffer: with no other call running, the
// message read after it is the one this line causes.
var calls sync.RWMutex

// scratch receives those repeats; created on the first refusal, guarded by
// the exclusive lock of calls.
var scratch *C.promfmt_buffer_t

// write writes the lines queued after m into buf, in order, and removes
// them from the queue. It stops at the first line the library refuses:
// the lines before it stay in buf, and the error carries its index
// (counted from m) and the library's message.
func (q *queue) write(buf *C.promfmt_buffer_t, m mark) (int, error) {
	n := len(q.lines) - m.lines
	if n == 0 {
		q.undo(m)
		return 0, nil
	}
	args := (*C.char)(unsafe.Pointer(&q.args[0]))
	lines := &q.lines[m.lines]
	calls.RLock()
	done := int(C.pf_write_lines(buf, args, lines, C.size_t(n)))
	calls.RUnlock()
	var err error
	if done < n {
		err = q.refusal(&q.lines[m.lines+done])
	}
	q.undo(m)
	return done, err
}

// writeSample writes one sample line into buf at once, its labels text
// queued at labels (or none), and removes the texts queued after m. It is
// write for a single sample, without queuing the line; the metric name's
// text is kept for the next sample.
func (q *queue) writeSample(buf *C.promfmt_buffer_t, m mark, name string, labels C.int64_t,
	value float64, ts int64) error {
	defer q.undo(m)
	if name != q.sampleName || len(q.sampleNameText) == 0 {
		if strings.IndexByte(name, 0) >= 0 {
			return nulError("metric name")
		}
		q.sampleNameText = append(append(q.sampleNameText[:0], name...), 0)
		q.sampleName = name
	}
	var text *C.char
	if labels != none {
		text = (*C.char)(unsafe.Pointer(&q.args[labels]))
	}
	calls.RLock()
	status := C.promfmt_emit_sample(buf, (*C.char)(unsafe.Pointer(&q.sampleNameText[0])), text,
		C.double(value), C.int64_t(ts))
	calls.RUnlock()
	if status != 0 {
		n, _ := q.text(name, "metric name")
		return q.refusal(&C.pf_line{name: n, text: labels, help: none, value: C.double(value),
			timestamp: C.int64_t(ts), op: opSample})
	}
	return nil
}

// refusal repeats a refused line into the scratch buffer and returns the
// message it leaves. Only running out of memory can make the repeat pass;
// the message is then the last one the process left.
func (q *queue) refusal(l *C.pf_line) error {
	calls.Lock()
	defer calls.Unlock()
	if scratch == nil {
		scratch = C.promfmt_buffer_create(0)
	}
	if scratch != nil {
		C.pf_write_lines(scratch, (*C.char)(unsafe.Pointer(&q.args[0])), l, 1)
		C.promfmt_buffer_reset(scratch)
	}
	return &Error{Op: opNames[l.op], Msg: C.GoString(C.promfmt_last_error())}
}
