// SPDX-License-Identifier: MIT

package promfmt

import (
	"bufio"
	"errors"
	"math"
	"os"
	"path/filepath"
	"runtime"
	"strings"
	"sync"
	"sync/atomic"
	"testing"
	"time"
)

func newBuffer(t testing.TB) *Buffer {
	t.Helper()
	b, err := NewBuffer(0)
	if err != nil {
		t.Fatal(err)
	}
	t.Cleanup(func() { b.Close() })
	return b
}

func text(t testing.TB, b *Buffer) string {
	t.Helper()
	s, err := b.Text()
	if err != nil {
		t.Fatal(err)
	}
	return s
}

func must(t testing.TB, err error) {
	t.Helper()
	if err != nil {
		t.Fatal(err)
	}
}

func TestEachCallWritesItsExactText(t *testing.T) {
	b := newBuffer(t)
	must(t, b.Help("a", "x\\y\nz \"q\""))
	must(t, b.Type("a", TypeSummary))
	must(t, b.Sample("a", map[string]string{"z": "1", "b": "q\"\\\n\t\x01é"}, 0.1, 7))
	must(t, b.SampleJSON("a", `{"k": 1.5, "t": true}`, 1e21, 0))
	must(t, b.Sample("a", nil, math.NaN(), -5))
	must(t, b.Sample("a", map[string]string{}, math.Inf(-1), 0))
	must(t, b.Gauge("g", "", nil, -2))
	must(t, b.Counter("c", "C.", map[string]string{"m": "n"}, 3))
	must(t, b.GaugeJSON("h", "H.", "", math.Inf(1)))
	must(t, b.CounterJSON("i", "", `{"x":"y"}`, 12345678901234567))
	want := "# HELP a x\\\\y\\nz \"q\"\n" +
		"# TYPE a summary\n" +
		"a{b=\"q\\\"\\\\\\n\t\x01é\",z=\"1\"} 0.1 7\n" +
		"a{k=\"1.5\",t=\"true\"} 1e+21\n" +
		"a NaN\n" +
		"a -Inf\n" +
		"# TYPE g gauge\ng -2\n" +
		"# HELP c C.\n# TYPE c counter\nc{m=\"n\"} 3\n" +
		"# HELP h H.\n# TYPE h gauge\nh +Inf\n" +
		"# TYPE i counter\ni{x=\"y\"} 1.2345678901235e+16\n"
	if got := text(t, b); got != want {
		t.Fatalf("text:\n%q\nwant:\n%q", got, want)
	}
	bytes, err := b.Bytes()
	must(t, err)
	if string(bytes) != want {
		t.Fatalf("Bytes differs from Text")
	}
	must(t, b.Reset())
	must(t, b.Sample("x", nil, 1, 0))
	if got := text(t, b); got != "x 1\n" {
		t.Fatalf("after Reset: %q", got)
	}
}

func TestTypeCodes(t *testing.T) {
	cases := []struct {
		kind MetricType
		word string
	}{
		{TypeUntyped, "untyped"}, {TypeCounter, "counter"}, {TypeGauge, "gauge"},
		{TypeHistogram, "histogram"}, {TypeSummary, "summary"},
		{5, "untyped"}, {-1, "untyped"}, {math.MaxInt32, "untyped"}, {math.MinInt32, "untyped"},
	}
	for _, c := range cases {
		b := newBuffer(t)
		must(t, b.Type("m", c.kind))
		if got, want := text(t, b), "# TYPE m "+c.word+"\n"; got != want {
			t.Errorf("kind %d: %q, want %q", c.kind, got, want)
		}
	}
}

// Library refusals: an *Error with the library's message and op.
var libraryRefusals = []struct {
	what, op, msg string
	call          func(*Buffer) error
}{
	{"bad metric name", "promfmt_emit_sample", "invalid metric name",
		func(b *Buffer) error { return b.Sample("1st", nil, 1, 0) }},
	{"labels not JSON", "promfmt_emit_sample", "failed to parse labels JSON",
		func(b *Buffer) error { return b.SampleJSON("m", `{"a":`, 1, 0) }},
	{"labels an array", "promfmt_emit_sample", "labels JSON must be an object",
		func(b *Buffer) error { return b.SampleJSON("m", `["a"]`, 1, 0) }},
	{"bad label name", "promfmt_emit_sample", "invalid label name in JSON",
		func(b *Buffer) error { return b.Sample("m", map[string]string{"a-b": "x"}, 1, 0) }},
	{"duplicate label", "promfmt_emit_sample", "duplicate label name in JSON",
		func(b *Buffer) error { return b.SampleJSON("m", `{"a":"1","a":"2"}`, 1, 0) }},
	{"bad HELP name", "promfmt_emit_help", "invalid metric name for HELP emission",
		func(b *Buffer) error { return b.Help("a b", "x") }},
	{"bad TYPE name", "promfmt_emit_type", "invalid metric name for TYPE emission",
		func(b *Buffer) error { return b.Type("", TypeGauge) }},
	{"bad gauge name", "promfmt_emit_gauge", "invalid metric name for HELP emission",
		func(b *Buffer) error { return b.Gauge("-", "h", nil, 1) }},
	{"bad counter name", "promfmt_emit_counter", "invalid metric name for TYPE emission",
		func(b *Buffer) error { return b.CounterJSON("9", "", `{"x":"y"}`, 1) }},
}

// Binding refusals: text the C side would mangle, refused before the call.
var bindingRefusals = []struct {
	what, msg string
	call      func(*Buffer) error
}{
	{"NUL in name", "metric name contains a NUL byte",
		func(b *Buffer) error { return b.Sample("m\x00x", nil, 1, 0) }},
	{"NUL in help", "help text contains a NUL byte",
		func(b *Buffer) error { return b.Help("m", "a\x00b") }},
	{"NUL in label value", `value of label "x" contains a NUL byte`,
		func(b *Buffer) error { return b.Sample("m", map[string]string{"x": "a\x00"}, 1, 0) }},
	{"NUL in labels JSON", "labels JSON contains a NUL byte",
		func(b *Buffer) error { return b.SampleJSON("m", "{}\x00", 1, 0) }},
	{"invalid UTF-8 label", `value of label "x" is not valid UTF-8`,
		func(b *Buffer) error { return b.Gauge("m", "", map[string]string{"x": "\xff"}, 1) }},
	{"invalid UTF-8 key", "label name is not valid UTF-8",
		func(b *Buffer) error { return b.Counter("m", "", map[string]string{"\xc3": "x"}, 1) }},
}

func TestRefusalsLeaveTheBufferUnchanged(t *testing.T) {
	b := newBuffer(t)
	must(t, b.Gauge("before", "Kept.", nil, 1))
	before := text(t, b)
	for _, c := range libraryRefusals {
		err := c.call(b)
		var perr *Error
		if !errors.As(err, &perr) || perr.Op != c.op || perr.Msg != c.msg {
			t.Errorf("%s: got %v, want *Error{%s, %s}", c.what, err, c.op, c.msg)
		}
		if got := text(t, b); got != before {
			t.Errorf("%s: text changed to %q", c.what, got)
		}
	}
	for _, c := range bindingRefusals {
		err := c.call(b)
		var perr *Error
		if err == nil || errors.As(err, &perr) || err.Error() != "promfmt: "+c.msg {
			t.Errorf("%s: got %v, want %q", c.what, err, c.msg)
		}
		if got := text(t, b); got != before {
			t.Errorf("%s: text changed to %q", c.what, got)
		}
	}
}

func TestRefusedFamilySampleKeepsHelpAndType(t *testing.T) {
	b := newBuffer(t)
	err := b.Counter("c", "H.", map[string]string{"9": "x"}, 1)
	var perr *Error
	if !errors.As(err, &perr) || perr.Msg != "invalid label name in JSON" {
		t.Fatalf("got %v", err)
	}
	if got := text(t, b); got != "# HELP c H.\n# TYPE c counter\n" {
		t.Fatalf("text %q", got)
	}
}

func TestClosedBuffer(t *testing.T) {
	b, err := NewBuffer(16)
	must(t, err)
	must(t, b.Close())
	must(t, b.Close())
	calls := map[string]func() error{
		"Sample":      func() error { return b.Sample("m", nil, 1, 0) },
		"SampleJSON":  func() error { return b.SampleJSON("m", "", 1, 0) },
		"Help":        func() error { return b.Help("m", "h") },
		"Type":        func() error { return b.Type("m", TypeGauge) },
		"Gauge":       func() error { return b.Gauge("m", "", nil, 1) },
		"GaugeJSON":   func() error { return b.GaugeJSON("m", "", "", 1) },
		"Counter":     func() error { return b.Counter("m", "", nil, 1) },
		"CounterJSON": func() error { return b.CounterJSON("m", "", "", 1) },
		"Reset":       b.Reset,
		"Text":        func() error { _, err := b.Text(); return err },
		"Bytes":       func() error { _, err := b.Bytes(); return err },
		"WriteTo":     func() error { _, err := b.WriteTo(&strings.Builder{}); return err },
	}
	for name, call := range calls {
		if err := call(); !errors.Is(err, ErrClosed) {
			t.Errorf("%s after Close: %v", name, err)
		}
	}
	if _, err := NewBuffer(-1); err == nil {
		t.Error("negative capacity accepted")
	}
}

func TestDroppedBuffersAreFreedByTheFinalizer(t *testing.T) {
	base := atomic.LoadInt64(&liveBuffers)
	for i := 0; i < 100; i++ {
		b, err := NewBuffer(1024)
		must(t, err)
		must(t, b.Sample("dropped", nil, float64(i), 0))
	}
	deadline := time.Now().Add(10 * time.Second)
	for atomic.LoadInt64(&liveBuffers) > base && time.Now().Before(deadline) {
		runtime.GC()
		time.Sleep(time.Millisecond)
	}
	if live := atomic.LoadInt64(&liveBuffers); live != base {
		t.Fatalf("%d buffers never freed", live-base)
	}
}

func TestEachGoroutineReadsItsOwnMessage(t *testing.T) {
	var wg sync.WaitGroup
	var wrong int64
	for _, c := range libraryRefusals[:6] {
		c := c
		wg.Add(1)
		go func() {
			defer wg.Done()
			b, err := NewBuffer(0)
			if err != nil {
				atomic.AddInt64(&wrong, 1)
				return
			}
			defer b.Close()
			for i := 0; i < 2000; i++ {
				var perr *Error
				if err := c.call(b); !errors.As(err, &perr) || perr.Msg != c.msg {
					atomic.AddInt64(&wrong, 1)
				}
				if b.Sample("ok", nil, 1, 0) != nil || b.Reset() != nil {
					atomic.AddInt64(&wrong, 1)
				}
			}
		}()
	}
	wg.Wait()
	if wrong != 0 {
		t.Fatalf("%d calls read another goroutine's message", wrong)
	}
}

func TestEscapeLabelValue(t *testing.T) {
	cases := map[string]string{
		"": "", "plain": "plain", `a"b`: `a\"b`, `a\b`: `a\\b`, "a\nb": `a\nb`,
		"tab\t\xff": "tab\t\xff", // other bytes, invalid UTF-8 included, pass through
	}
	for in, want := range cases {
		got, err := EscapeLabelValue(in)
		if err != nil || got != want {
			t.Errorf("EscapeLabelValue(%q) = %q, %v; want %q", in, got, err, want)
		}
	}
}

// With PROMFMT_TEST_LIBDIR set, the test binary must have mapped the
// library from that directory and from nowhere else.
func TestLoadedFromTheInstalledPrefix(t *testing.T) {
	libdir := os.Getenv("PROMFMT_TEST_LIBDIR")
	if libdir == "" {
		t.Skip("PROMFMT_TEST_LIBDIR not set")
	}
	want, err := filepath.EvalSymlinks(filepath.Join(libdir, "libvelkaron-prometheus-promfmt.so.1"))
	must(t, err)
	maps, err := os.Open("/proc/self/maps")
	must(t, err)
	defer maps.Close()
	seen := map[string]bool{}
	lines := bufio.NewScanner(maps)
	for lines.Scan() {
		f := strings.Fields(lines.Text())
		if len(f) >= 6 && strings.Contains(f[5], "libvelkaron-prometheus-promfmt") {
			seen[f[5]] = true
		}
	}
	if len(seen) != 1 || !seen[want] {
		t.Fatalf("mapped %v, want only %s", seen, want)
	}
}
