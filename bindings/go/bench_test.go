// SPDX-License-Identifier: MIT

package promfmt

import (
	"io"
	"strconv"
	"testing"
)

// The project's benchmark (scripts/bench.sh, bench/go) sets the binding
// side by side with Go's own encoders over the same workloads; these are
// the quick per-call figures, reported per sample line.

// scrapeLabels are 100 families of 10 series with three labels each.
func scrapeLabels() [][]Label {
	series := make([][]Label, 1000)
	for i := range series {
		series[i] = []Label{{"instance", "host-" + strconv.Itoa(i%10)},
			{"job", "api"}, {"zone", "eu-" + strconv.Itoa(i/10)}}
	}
	return series
}

func benchScrape(b *testing.B, write func(buf *Buffer, series [][]Label) error) {
	buf := newBuffer(b)
	series := scrapeLabels()
	b.ReportAllocs()
	for b.Loop() {
		if err := buf.Reset(); err != nil {
			b.Fatal(err)
		}
		if err := write(buf, series); err != nil {
			b.Fatal(err)
		}
		if _, err := buf.WriteTo(io.Discard); err != nil {
			b.Fatal(err)
		}
	}
	b.ReportMetric(float64(b.Elapsed().Nanoseconds())/float64(b.N*len(series)), "ns/sample")
}

var familyNames = func() (names []string) {
	for i := 0; i < 100; i++ {
		names = append(names, "family_"+strconv.Itoa(i))
	}
	return names
}()

// One call into C per line, or one per family.
func BenchmarkScrapeLineByLine(b *testing.B)     { benchScrape(b, writeFamilies(false)) }
func BenchmarkScrapeBatchPerFamily(b *testing.B) { benchScrape(b, writeFamilies(true)) }

func writeFamilies(batched bool) func(buf *Buffer, series [][]Label) error {
	return func(buf *Buffer, series [][]Label) error {
		batch := buf.Batch()
		for i, labels := range series {
			name := familyNames[i/10]
			if i%10 == 0 {
				if err := batch.Help(name, "Help text."); err != nil {
					return err
				}
				if err := batch.Type(name, TypeGauge); err != nil {
					return err
				}
			}
			if err := batch.Sample(name, labels, float64(i)+0.5, 0); err != nil {
				return err
			}
			if !batched || i%10 == 9 {
				if err := batch.Write(); err != nil {
					return err
				}
			}
		}
		return nil
	}
}

// One sample line with ready-made labels JSON: mostly the cost of a cgo call.
func BenchmarkSampleJSON(b *testing.B) {
	buf := newBuffer(b)
	b.ReportAllocs()
	i := 0
	for b.Loop() {
		if i++; i%1000 == 0 {
			if err := buf.Reset(); err != nil {
				b.Fatal(err)
			}
		}
		if err := buf.SampleJSON("http_requests_total", `{"code":"200","method":"get"}`, 1, 0); err != nil {
			b.Fatal(err)
		}
	}
}

// A one-series gauge family from a map.
func BenchmarkGaugeMap(b *testing.B) {
	buf := newBuffer(b)
	labels := map[string]string{"code": "200", "method": "get"}
	b.ReportAllocs()
	i := 0
	for b.Loop() {
		if i++; i%1000 == 0 {
			if err := buf.Reset(); err != nil {
				b.Fatal(err)
			}
		}
		if err := buf.GaugeMap("temperature_celsius", "Temperature.", labels, 21.5); err != nil {
			b.Fatal(err)
		}
	}
}
