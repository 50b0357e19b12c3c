// SPDX-License-Identifier: MIT

package promfmt

import (
	"bufio"
	"errors"
	"io"
	"maps"
	"math"
	"os"
	"path/filepath"
	"runtime"
	"slices"
	"strconv"
	"strings"
	"sync"
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
	must(t, b.Sample("a", []Label{{"z", "1"}, {"b", "q\"\\\n\t\x01é"}}, 0.1, 7))
	must(t, b.SampleMap("a", map[string]string{"z": "1", "b": "2"}, 2, 0))
	must(t, b.SampleJSON("a", `{"k": 1.5, "t": true}`, 1e21, 0))
	must(t, b.Sample("a", nil, math.NaN(), -5))
	must(t, b.SampleMap("a", map[string]string{}, math.Inf(-1), 0))
	must(t, b.Gauge("g", "", nil, -2))
	must(t, b.GaugeMap("g2", "G.", map[string]string{"m": "n"}, 0.5))
	must(t, b.GaugeJSON("h", "H.", "", math.Inf(1)))
	must(t, b.Counter("c", "C.", []Label{{"m", "n"}}, 3))
	must(t, b.CounterMap("c2", "", nil, 4))
	must(t, b.CounterJSON("i", "", `{"x":"y"}`, 12345678901234567))
	want := "# HELP a x\\\\y\\nz \"q\"\n" +
		"# TYPE a summary\n" +
		"a{b=\"q\\\"\\\\\\n\t\x01é\",z=\"1\"} 0.1 7\n" +
		"a{b=\"2\",z=\"1\"} 2\n" +
		"a{k=\"1.5\",t=\"true\"} 1e+21\n" +
		"a NaN\n" +
		"a -Inf\n" +
		"# TYPE g gauge\ng -2\n" +
		"# HELP g2 G.\n# TYPE g2 gauge\ng2{m=\"n\"} 0.5\n" +
		"# HELP h H.\n# TYPE h gauge\nh +Inf\n" +
		"# HELP c C.\n# TYPE c counter\nc{m=\"n\"} 3\n" +
		"# TYPE c2 counter\nc2 4\n" +
		"# TYPE i counter\ni{x=\"y\"} 1.2345678901235e+16\n"
	if got := text(t, b); got != want {
		t.Fatalf("text:\n%q\nwant:\n%q", got, want)
	}
	if got, err := b.AppendText([]byte("> ")); err != nil || string(got) != "> "+want {
		t.Fatalf("AppendText: %q, %v", got, err)
	}
	var w strings.Builder
	if n, err := b.WriteTo(&w); err != nil || n != int64(len(want)) || w.String() != want ||
		b.Len() != len(want) {
		t.Fatalf("WriteTo: %d, %v, %q; Len %d", n, err, w.String(), b.Len())
	}
	must(t, b.Reset())
	must(t, b.Sample("x", nil, 1, 0))
	if got := text(t, b); got != "x 1\n" {
		t.Fatalf("after Reset: %q", got)
	}
}

// The three ways of giving labels write the same line, whatever the bytes
// of the values: the JSON the package builds must escape exactly what JSON
// requires, and nothing the library would then read differently.
func TestLabelSourcesAgree(t *testing.T) {
	values := map[string]string{
		"plain":         "eu-1",
		"empty":         "",
		"quote and \\":  `a"b\c`,
		"line breaks":   "a\nb\rc",
		"controls":      "\x01\x07\x1f\t\x7f",
		"UTF-8":         "té→ü😀",
		"JSON escapes":  `\u0041 \n`,
		"long run":      strings.Repeat("abc\"", 300),
		"escape at end": "x\\",
	}
	for what, v := range values {
		wantLine := "m{a=\"" + strings.NewReplacer("\\", `\\`, "\"", `\"`, "\n", `\n`).Replace(v) +
			"\",b=\"2\"} 1\n"
		b := newBuffer(t)
		must(t, b.Sample("m", []Label{{"b", "2"}, {"a", v}}, 1, 0))
		must(t, b.SampleMap("m", map[string]string{"b": "2", "a": v}, 1, 0))
		must(t, b.Batch().Sample("m", []Label{{"a", v}, {"b", "2"}}, 1, 0))
		must(t, b.Batch().Write())
		if got := text(t, b); got != strings.Repeat(wantLine, 3) {
			t.Errorf("%s: got\n%q\nwant 3 times\n%q", what, got, wantLine)
		}
	}
}

// A map's names are looked up in the order of the map before it when it
// has as many; each line must still hold exactly its own map's labels,
// whatever the maps before it held, or whether they were refused.
func TestMapsAfterMapsWithOtherNames(t *testing.T) {
	lines := []struct {
		labels  map[string]string
		refused bool
	}{
		{labels: map[string]string{"zone": "a", "service": "b", "region": "c"}},
		{labels: map[string]string{"zone": "d", "service": "e", "region": "f"}},
		{labels: map[string]string{"zona": "g", "service": "h", "region": "i"}}, // one byte off
		{labels: map[string]string{"zon": "j", "service": "k", "region": "l"}},  // one byte shorter
		{labels: map[string]string{"zon": "m", "service": "n"}},                 // one name fewer
		{labels: map[string]string{"zon": "o", "service": "p", "region": "q"}},  // and one more
		{labels: map[string]string{"zon": "r\x00", "service": "s", "region": "t"}, refused: true},
		{labels: map[string]string{"9": "u", "service": "v", "region": "w"}, refused: true},
		{labels: map[string]string{"zon": "x", "service": "y", "region": "z"}},
		{labels: map[string]string{}},
		{labels: map[string]string{"zon": "0", "service": "1", "region": "2"}},
	}
	b := newBuffer(t)
	var want strings.Builder
	for i, m := range lines {
		err := b.SampleMap("m", m.labels, float64(i), 0)
		if m.refused != (err != nil) {
			t.Fatalf("map %d: error %v", i, err)
		}
		if !m.refused {
			want.WriteString("m" + sortedLabels(m.labels) + " " + strconv.Itoa(i) + "\n")
		}
	}
	if got := text(t, b); got != want.String() {
		t.Fatalf("got\n%s\nwant\n%s", got, want.String())
	}
}

// The metric name's text is kept from one sample to the next: each line
// must still carry its own name, one of the same length, a refused one, or
// one with a NUL byte between them.
func TestSamplesAfterSamplesWithOtherNames(t *testing.T) {
	b := newBuffer(t)
	for _, name := range []string{"", "m1", "m1", "m2", "9", "m2", "m1\x00", "m1", "", "m1"} {
		err := b.Sample(name, nil, 1, 0)
		if refused := name == "9" || name == "" || strings.Contains(name, "\x00"); refused != (err != nil) {
			t.Fatalf("%q: error %v", name, err)
		}
	}
	if got, want := text(t, b), "m1 1\nm1 1\nm2 1\nm2 1\nm1 1\nm1 1\n"; got != want {
		t.Fatalf("got\n%s\nwant\n%s", got, want)
	}
}

// sortedLabels is the {name="value",...} text of plain labels, by name.
func sortedLabels(labels map[string]string) string {
	if len(labels) == 0 {
		return ""
	}
	var members []string
	for _, name := range slices.Sorted(maps.Keys(labels)) {
		members = append(members, name+`="`+labels[name]+`"`)
	}
	return "{" + strings.Join(members, ",") + "}"
}

// The word-at-a-time check must agree with the byte table for every byte
// value in every position, among bytes that need no escape and among ones
// that do.
func TestNeedsEscapeAgreesWithTheTable(t *testing.T) {
	for _, fill := range []byte{'a', 0x80, 0xff, '"', 0x1f} {
		for pos := 0; pos < 8; pos++ {
			for c := 0; c < 256; c++ {
				word := [8]byte{fill, fill, fill, fill, fill, fill, fill, fill}
				word[pos] = byte(c)
				want := false
				for _, b := range word {
					want = want || jsonEscape[b] != ""
				}
				if got := needsEscape(load64(string(word[:]), 0)); got != want {
					t.Fatalf("% x: %v, want %v", word, got, want)
				}
			}
		}
	}
}

// plain must agree with the table at every length, short ones and ones
// that end in a part word included, wherever the byte that needs an escape is.
func TestPlainAgreesWithTheTable(t *testing.T) {
	for n := 0; n <= 19; n++ {
		for pos := -1; pos < n; pos++ {
			for _, c := range []byte{0, 0x1f, '"', '\\', ' ', 0x7f, 0x80, 0xff} {
				s := []byte(strings.Repeat("a", n))
				if pos >= 0 {
					s[pos] = c
				}
				want := pos < 0 || jsonEscape[c] == ""
				if got := plain(string(s)); got != want {
					t.Fatalf("%q: %v, want %v", s, got, want)
				}
			}
		}
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

// Library refusals: an *Error with the library's message and the C function.
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
		func(b *Buffer) error { return b.SampleMap("m", map[string]string{"a-b": "x"}, 1, 0) }},
	{"__name__ label", "promfmt_emit_sample", "invalid label name in JSON",
		func(b *Buffer) error { return b.Sample("m", []Label{{"__name__", "x"}}, 1, 0) }},
	{"duplicate label", "promfmt_emit_sample", "duplicate label name in JSON",
		func(b *Buffer) error { return b.Sample("m", []Label{{"a", "1"}, {"a", "2"}}, 1, 0) }},
	{"invalid UTF-8 value", "promfmt_emit_sample", "failed to parse labels JSON",
		func(b *Buffer) error { return b.Sample("m", []Label{{"x", "\xff"}}, 1, 0) }},
	{"bad HELP name", "promfmt_emit_help", "invalid metric name for HELP emission",
		func(b *Buffer) error { return b.Help("a b", "x") }},
	{"bad TYPE name", "promfmt_emit_type", "invalid metric name for TYPE emission",
		func(b *Buffer) error { return b.Type("", TypeGauge) }},
	{"bad gauge name", "promfmt_emit_gauge", "invalid metric name for HELP emission",
		func(b *Buffer) error { return b.Gauge("-", "h", nil, 1) }},
	{"bad counter name", "promfmt_emit_counter", "invalid metric name for TYPE emission",
		func(b *Buffer) error { return b.CounterJSON("9", "", `{"x":"y"}`, 1) }},
}

// Binding refusals: text C would cut at a NUL byte, refused before the call.
var bindingRefusals = []struct {
	what, msg string
	call      func(*Buffer) error
}{
	{"NUL in name", "metric name contains a NUL byte",
		func(b *Buffer) error { return b.Sample("m\x00x", nil, 1, 0) }},
	{"NUL in help", "help text contains a NUL byte",
		func(b *Buffer) error { return b.Help("m", "a\x00b") }},
	{"NUL in shortcut help", "help text contains a NUL byte",
		func(b *Buffer) error { return b.Gauge("m", "a\x00b", nil, 1) }},
	{"NUL in label value", `value of label "x" contains a NUL byte`,
		func(b *Buffer) error { return b.SampleMap("m", map[string]string{"x": "a\x00"}, 1, 0) }},
	{"NUL in label name", `label name "x\x00" contains a NUL byte`,
		func(b *Buffer) error { return b.Counter("m", "", []Label{{"x\x00", "v"}}, 1) }},
	{"NUL in labels JSON", "labels JSON contains a NUL byte",
		func(b *Buffer) error { return b.SampleJSON("m", "{}\x00", 1, 0) }},
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
		if got := text(t, b); got != before || b.Batch().Len() != 0 {
			t.Errorf("%s: text changed to %q, %d lines queued", c.what, got, b.Batch().Len())
		}
	}
}

func TestRefusedFamilySampleKeepsHelpAndType(t *testing.T) {
	b := newBuffer(t)
	err := b.CounterMap("c", "H.", map[string]string{"9": "x"}, 1)
	var perr *Error
	if !errors.As(err, &perr) || perr.Msg != "invalid label name in JSON" {
		t.Fatalf("got %v", err)
	}
	if got := text(t, b); got != "# HELP c H.\n# TYPE c counter\n" {
		t.Fatalf("text %q", got)
	}
}

func TestBatchWritesInOrderAndStopsAtARefusal(t *testing.T) {
	b := newBuffer(t)
	batch := b.Batch()
	must(t, batch.Help("m", "M."))
	must(t, batch.Type("m", TypeGauge))
	// A line refused when queued is dropped alone, and Write reports it too.
	queuing := batch.SampleJSON("m", "\x00", 1, 0)
	if queuing == nil {
		t.Fatal("NUL byte queued")
	}
	must(t, batch.Sample("m", []Label{{"k", "a"}}, 1, 0))
	// A single call between batch lines is written at once and leaves the
	// queue, and its error, alone.
	must(t, b.Sample("single", nil, 0, 0))
	if b.Help("x", "\x00") == nil {
		t.Fatal("NUL byte accepted")
	}
	must(t, batch.SampleMap("m", map[string]string{"k": "b"}, 2, 0))
	must(t, batch.SampleJSON("m", `{"k":"c","k":"d"}`, 3, 0))
	must(t, batch.Sample("m", nil, 4, 0))
	if batch.Len() != 6 {
		t.Fatalf("%d lines queued, want 6", batch.Len())
	}
	err := batch.Write()
	var berr *BatchError
	var perr *Error
	if !errors.As(err, &berr) || berr.Line != 4 || !errors.As(err, &perr) ||
		perr.Op != "promfmt_emit_sample" || perr.Msg != "duplicate label name in JSON" ||
		!errors.Is(err, queuing) {
		t.Fatalf("got %v, want line 4 refused as a duplicate label, and %v", err, queuing)
	}
	want := "single 0\n# HELP m M.\n# TYPE m gauge\nm{k=\"a\"} 1\nm{k=\"b\"} 2\n"
	if got := text(t, b); got != want || batch.Len() != 0 {
		t.Fatalf("text %q, %d lines left; want %q and none", got, batch.Len(), want)
	}
	must(t, batch.Sample("m", nil, 5, 0))
	_ = batch.Type("\x00", TypeGauge)
	must(t, b.Reset())
	must(t, batch.Write())
	if got := text(t, b); got != "" {
		t.Fatalf("Reset kept a queued line: %q", got)
	}
}

func TestClosedBuffer(t *testing.T) {
	b, err := NewBuffer(16)
	must(t, err)
	batch := b.Batch()
	must(t, batch.Sample("queued", nil, 1, 0))
	must(t, b.Close())
	must(t, b.Close())
	calls := map[string]func() error{
		"Sample":       func() error { return b.Sample("m", nil, 1, 0) },
		"SampleJSON":   func() error { return b.SampleJSON("m", "", 1, 0) },
		"Help":         func() error { return b.Help("m", "h") },
		"Type":         func() error { return b.Type("m", TypeGauge) },
		"GaugeMap":     func() error { return b.GaugeMap("m", "", nil, 1) },
		"Counter":      func() error { return b.Counter("m", "", nil, 1) },
		"Reset":        b.Reset,
		"Text":         func() error { _, err := b.Text(); return err },
		"AppendText":   func() error { _, err := b.AppendText(nil); return err },
		"WriteTo":      func() error { _, err := b.WriteTo(io.Discard); return err },
		"Batch.Sample": func() error { return batch.Sample("m", nil, 1, 0) },
		"Batch.Write":  batch.Write,
	}
	for name, call := range calls {
		if err := call(); !errors.Is(err, ErrClosed) {
			t.Errorf("%s after Close: %v", name, err)
		}
	}
	if b.Len() != 0 || batch.Len() != 0 {
		t.Errorf("Len after Close: %d, %d queued", b.Len(), batch.Len())
	}
	if _, err := NewBuffer(-1); err == nil {
		t.Error("negative capacity accepted")
	}
}

func TestDroppedBuffersAreFreed(t *testing.T) {
	base := liveBuffers.Load()
	for i := 0; i < 100; i++ {
		b, err := NewBuffer(1024)
		must(t, err)
		must(t, b.Sample("dropped", nil, float64(i), 0))
	}
	deadline := time.Now().Add(10 * time.Second)
	for liveBuffers.Load() > base && time.Now().Before(deadline) {
		runtime.GC()
		time.Sleep(time.Millisecond)
	}
	if live := liveBuffers.Load(); live != base {
		t.Fatalf("%d buffers never freed", live-base)
	}
}

// Goroutines fill their own buffers at the same time, refused lines among
// them: each must read its own message, never another's, and its text must
// hold exactly its own lines.
func TestEachGoroutineReadsItsOwnMessage(t *testing.T) {
	var wg sync.WaitGroup
	errs := make(chan string, len(libraryRefusals))
	for _, c := range libraryRefusals {
		wg.Add(1)
		go func() {
			defer wg.Done()
			b, err := NewBuffer(0)
			if err != nil {
				errs <- err.Error()
				return
			}
			defer b.Close()
			for i := 0; i < 2000; i++ {
				var perr *Error
				if err := c.call(b); !errors.As(err, &perr) || perr.Msg != c.msg {
					errs <- c.what + ": " + err.Error()
					return
				}
				must(t, b.Reset())
				must(t, b.Sample("ok", nil, 1, 0))
				if s, _ := b.Text(); s != "ok 1\n" {
					errs <- c.what + ": text " + s
					return
				}
			}
		}()
	}
	wg.Wait()
	close(errs)
	for e := range errs {
		t.Error(e)
	}
}

// Once the buffer and its Go-side memory have grown, writing allocates
// nothing, whichever way the labels come, one line per call or batched.
func TestNoAllocationOnceGrown(t *testing.T) {
	b := newBuffer(t)
	pairs := []Label{{"instance", "host-1"}, {"job", "api \"v2\""}, {"zone", "eu-1"}}
	labels := map[string]string{"instance": "host-1", "job": "api", "zone": "eu-1"}
	const json = `{"instance":"host-1","job":"api","zone":"eu-1"}`
	cases := map[string]func() error{
		"Sample":     func() error { return b.Sample("requests_total", pairs, 12.5, 0) },
		"SampleMap":  func() error { return b.SampleMap("requests_total", labels, 12.5, 0) },
		"SampleJSON": func() error { return b.SampleJSON("requests_total", json, 12.5, 0) },
		"Help+Type": func() error {
			if err := b.Help("requests_total", "Requests."); err != nil {
				return err
			}
			return b.Type("requests_total", TypeCounter)
		},
		"GaugeMap": func() error { return b.GaugeMap("temp", "Temperature.", labels, 21.5) },
		"Batch of a family": func() error {
			batch := b.Batch()
			must(t, batch.Help("requests_total", "Requests."))
			must(t, batch.Type("requests_total", TypeCounter))
			for i := 0; i < 10; i++ {
				must(t, batch.Sample("requests_total", pairs, float64(i), 0))
			}
			return batch.Write()
		},
		"WriteTo": func() error { _, err := b.WriteTo(io.Discard); return err },
	}
	for name, call := range cases {
		allocs := testing.AllocsPerRun(100, func() {
			must(t, b.Reset())
			for i := 0; i < 20; i++ {
				must(t, call())
			}
		})
		if allocs != 0 {
			t.Errorf("%s: %.1f allocations per run of 20 calls", name, allocs)
		}
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
	if _, err := EscapeLabelValue("a\x00"); err == nil {
		t.Error("NUL byte accepted")
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
