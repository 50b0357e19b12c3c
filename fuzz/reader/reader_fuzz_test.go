// SPDX-License-Identifier: MIT

package reader

import (
	"fmt"
	"math"
	"regexp"
	"strconv"
	"strings"
	"testing"

	dto "github.com/prometheus/client_model/go"
	"github.com/prometheus/common/expfmt"
	"github.com/prometheus/common/model"
)

// input is one fuzz case, its texts already cut where C would stop reading.
type input struct {
	mode               uint8 // 0: HELP, TYPE and sample; 1: gauge shortcut; 2: counter shortcut
	name, labels, help string
	value              float64
	timestamp          int64
	code               int32
}

// family is what the reader must find in the output: one family holding
// one sample. refusal, when set, is the reader's own reason to refuse it.
type family struct {
	name, help string
	kind       dto.MetricType
	labels     []label
	value      float64
	timestamp  int64 // 0: none
	refusal    string
}

var metricName = regexp.MustCompile(`^[a-zA-Z_:][a-zA-Z0-9_:]*$`)

// jsonTokens stand in for a fuzzing dictionary, which Go's fuzzer lacks:
// it cannot see which bytes the C code compares against, so names such as
// "__name__" would rarely be built by mutation alone. One byte of the
// labels text selects a token (see expandTokens).
var jsonTokens = []string{`"__name__"`, `"__name__\u0000x"`, `"le"`, `"quantile"`,
	`"\u0000"`, `"\ud800"`, `"\ud83d\ude00"`, `"\\\"\n"`, `"a:b"`, `"\u00e9"`,
	`18446744073709551615`, `18446744073709551616`, `-9223372036854775808`,
	`-9223372036854775809`, `-0`, `-0.0`, `1e308`, `1e309`, `5e-324`, `0.1`,
	`true`, `false`, `null`, `[]`, `{}`, `[{"a":1}]`}

// expandTokens replaces the control bytes 0x01 to 0x08 and 0x0E to 0x1F by
// jsonTokens, in that order. JSON never allows those bytes raw, so no text
// the library could accept is lost; tab, line feed, vertical tab, form feed
// and carriage return stay, as the labels text's whitespace handling is
// worth fuzzing.
func expandTokens(labels string) string {
	var out strings.Builder
	for i := 0; i < len(labels); i++ {
		switch c := labels[i]; {
		case c >= 0x01 && c <= 0x08:
			out.WriteString(jsonTokens[c-0x01])
		case c >= 0x0E && c <= 0x1F:
			out.WriteString(jsonTokens[c-0x0E+8])
		default:
			out.WriteByte(c)
		}
	}
	return out.String()
}

// FuzzReader emits a metric family through the library and reads the text
// back with the Prometheus text parser: every accepted call must read back
// as what was asked for, every refused call must leave the buffer as it was.
func FuzzReader(f *testing.F) {
	f.Fuzz(func(t *testing.T, mode uint8, name, labels, help string, valueBits uint64,
		timestamp int64, code int32) {
		if len(labels) > 2048 {
			t.Skip("labels text may nest deeper than encoding/json allows")
		}
		in := input{mode % 3, cutAtNUL(name), expandTokens(cutAtNUL(labels)), cutAtNUL(help),
			math.Float64frombits(valueBits), timestamp, code}
		b := newBuffer()
		defer b.free()
		var want *family
		if in.mode == 0 {
			want = emitFamily(t, b, in)
		} else {
			want = emitShortcut(t, b, in)
		}
		if want != nil {
			readBack(t, in, b.text(), want)
		}
	})
}

// emitFamily writes a HELP line, a TYPE line and a sample. Histograms and
// summaries get their sample as the family's "_sum" series, the one plain
// sample such a family can hold.
func emitFamily(t *testing.T, b *buffer, in input) *family {
	ok := call(t, b, in, "emit_help", func() int { return b.help(in.name, in.help) })
	checkName(t, in, ok)
	if call(t, b, in, "emit_type", func() int { return b.typ(in.name, in.code) }) != ok {
		t.Fatalf("HELP and TYPE disagree on metric name %q", in.name)
	}
	want := &family{name: in.name, help: readerHelp(in.help), kind: kindOf(in.code)}
	sampleName := in.name
	if ok && (want.kind == dto.MetricType_HISTOGRAM || want.kind == dto.MetricType_SUMMARY) {
		sampleName += "_sum"
	}
	labels := labelsArg(in.labels)
	if call(t, b, in, "emit_sample", func() int {
		return b.sample(sampleName, labels, in.value, in.timestamp)
	}) {
		if !ok {
			t.Fatalf("sample accepted for refused metric name %q", in.name)
		}
		want.value = in.value
		if in.timestamp > 0 {
			want.timestamp = in.timestamp
		}
		want.labels = sampleLabels(t, in)
		want.labels, want.refusal = splitSpecialLabel(want.kind, want.labels)
		return want
	}
	if !ok {
		return nil
	}
	return withPlainSample(t, b, sampleName, want)
}

// emitShortcut writes a family with promfmt_emit_gauge or
// promfmt_emit_counter. A refused sample leaves the HELP and TYPE lines.
func emitShortcut(t *testing.T, b *buffer, in input) *family {
	counter := in.mode == 2
	want := &family{name: in.name, help: readerHelp(in.help), kind: dto.MetricType_GAUGE}
	if counter {
		want.kind = dto.MetricType_COUNTER
	}
	rc := b.shortcut(counter, in.name, in.help, labelsArg(in.labels), in.value)
	checkName(t, in, rc == 0 || b.text() != "")
	if rc == 0 {
		want.value = in.value
		want.labels = sampleLabels(t, in)
		return want
	}
	if rc != -1 || lastError() == "" {
		t.Fatalf("shortcut returned %d with message %q", rc, lastError())
	}
	if b.text() == "" {
		return nil
	}
	return withPlainSample(t, b, in.name, want)
}

// withPlainSample adds a sample without labels after a refused one, so the
// family's HELP and TYPE lines are read back too (a reader drops families
// without samples), and the buffer is shown to stay usable.
func withPlainSample(t *testing.T, b *buffer, name string, want *family) *family {
	if rc := b.sample(name, nil, 0, 0); rc != 0 {
		t.Fatalf("plain sample %q refused after a refused call: %s", name, lastError())
	}
	return want
}

// call runs one emitter and reports whether it accepted. A refusal must
// return -1, set a message and leave the text exactly as it was; an
// acceptance must only append.
func call(t *testing.T, b *buffer, in input, what string, emit func() int) bool {
	before := b.text()
	rc := emit()
	after := b.text()
	switch {
	case rc == 0 && strings.HasPrefix(after, before) && len(after) > len(before):
		return true
	case rc == 0:
		t.Fatalf("%s accepted but did not append a line\ninput: %+v\nbefore: %q\nafter: %q",
			what, in, before, after)
	case rc != -1 || lastError() == "":
		t.Fatalf("%s returned %d with message %q", what, rc, lastError())
	case after != before:
		t.Fatalf("%s refused (%s) but changed the buffer\ninput: %+v\nbefore: %q\nafter: %q",
			what, lastError(), in, before, after)
	}
	return false
}

// checkName: a name is accepted exactly when it follows the metric-name rule.
func checkName(t *testing.T, in input, accepted bool) {
	if accepted != metricName.MatchString(in.name) {
		t.Fatalf("metric name %q: accepted=%v (%s)", in.name, accepted, lastError())
	}
}

func labelsArg(labels string) *string {
	if labels == "" {
		return nil
	}
	return &labels
}

func sampleLabels(t *testing.T, in input) []label {
	labels, err := expectedLabels(in.labels)
	if err != nil {
		t.Fatalf("library accepted labels text %q that encoding/json refuses: %v", in.labels, err)
	}
	return labels
}

// readerHelp is the help text a reader gets back: it skips the blanks and
// tabs between the metric name and the text.
func readerHelp(help string) string { return strings.TrimLeft(help, " \t") }

func kindOf(code int32) dto.MetricType {
	switch code {
	case 1:
		return dto.MetricType_COUNTER
	case 2:
		return dto.MetricType_GAUGE
	case 3:
		return dto.MetricType_HISTOGRAM
	case 4:
		return dto.MetricType_SUMMARY
	}
	return dto.MetricType_UNTYPED
}

// splitSpecialLabel applies the reader's rule for histograms ("le") and
// summaries ("quantile"): that label is not a label but a bound, and must
// hold a number, else the reader refuses the line.
func splitSpecialLabel(kind dto.MetricType, labels []label) ([]label, string) {
	special := map[dto.MetricType]string{
		dto.MetricType_HISTOGRAM: "le", dto.MetricType_SUMMARY: "quantile"}[kind]
	var kept []label
	refusal := ""
	for _, l := range labels {
		if l.name != special || special == "" {
			kept = append(kept, l)
			continue
		}
		if _, err := strconv.ParseFloat(l.value, 64); err != nil || strings.ContainsAny(l.value, "pP_") {
			refusal = fmt.Sprintf("expected float as value for '%s' label", special)
		}
	}
	return kept, refusal
}

// readBack parses the text with the Prometheus text parser and compares
// the one family in it with want.
func readBack(t *testing.T, in input, text string, want *family) {
	parser := expfmt.NewTextParser(model.LegacyValidation)
	families, err := parser.TextToMetricFamilies(strings.NewReader(text))
	if want.refusal != "" {
		if err == nil || !strings.Contains(err.Error(), want.refusal) {
			t.Fatalf("reader error %v, want %q\ninput: %+v\noutput:\n%s", err, want.refusal, in, text)
		}
		return
	}
	if err != nil {
		t.Fatalf("reader refused the output: %v\ninput: %+v\noutput:\n%s", err, in, text)
	}
	fail := func(format string, args ...interface{}) {
		t.Fatalf("%s\ninput: %+v\noutput:\n%s", fmt.Sprintf(format, args...), in, text)
	}
	mf := families[want.name]
	if len(families) != 1 || mf == nil || len(mf.Metric) != 1 {
		fail("want one family %q with one sample, got %v", want.name, families)
	}
	if mf.GetHelp() != want.help || mf.GetType() != want.kind {
		fail("HELP %q TYPE %v, want %q %v", mf.GetHelp(), mf.GetType(), want.help, want.kind)
	}
	m := mf.Metric[0]
	if got := readLabels(m); fmt.Sprint(got) != fmt.Sprint(want.labels) {
		fail("labels %q, want %q", got, want.labels)
	}
	if got := sampleValue(mf.GetType(), m); !sameValue(got, want.value) {
		fail("value %v, want %v", got, want.value)
	}
	if m.GetTimestampMs() != want.timestamp {
		fail("timestamp %d, want %d", m.GetTimestampMs(), want.timestamp)
	}
}

func readLabels(m *dto.Metric) []label {
	var labels []label
	for _, l := range m.Label {
		labels = append(labels, label{l.GetName(), l.GetValue()})
	}
	return labels
}

func sampleValue(kind dto.MetricType, m *dto.Metric) float64 {
	switch kind {
	case dto.MetricType_COUNTER:
		return m.GetCounter().GetValue()
	case dto.MetricType_GAUGE:
		return m.GetGauge().GetValue()
	case dto.MetricType_HISTOGRAM:
		return m.GetHistogram().GetSampleSum()
	case dto.MetricType_SUMMARY:
		return m.GetSummary().GetSampleSum()
	}
	return m.GetUntyped().GetValue()
}

// sameValue: NaN reads back as NaN, infinities keep their sign, and every
// other value equals itself rounded to 14 significant digits, sign of zero
// included.
func sameValue(got, v float64) bool {
	if math.IsNaN(v) || math.IsInf(v, 0) {
		return math.IsNaN(got) == math.IsNaN(v) && (math.IsNaN(v) || got == v)
	}
	rounded, err := strconv.ParseFloat(cFormat14g(v), 64)
	return err == nil && math.Float64bits(got) == math.Float64bits(rounded)
}
