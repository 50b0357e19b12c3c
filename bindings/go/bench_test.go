// SPDX-License-Identifier: MIT

package promfmt

import (
	"strconv"
	"testing"
)

// One scrape of 100 gauges with three labels each, into a reused buffer,
// copied out as the handler would.
func BenchmarkScrape100Gauges(b *testing.B) {
	buf := newBuffer(b)
	labels := make([]map[string]string, 100)
	for i := range labels {
		labels[i] = map[string]string{"instance": "host-" + strconv.Itoa(i),
			"job": "api", "zone": "eu-1"}
	}
	b.ReportAllocs()
	for i := 0; i < b.N; i++ {
		must(b, buf.Reset())
		for j, l := range labels {
			must(b, buf.Gauge("temperature_celsius", "Temperature.", l, float64(j)+0.5))
		}
		text, err := buf.Text()
		must(b, err)
		b.SetBytes(int64(len(text)))
	}
}

// One sample line with ready-made labels JSON: the cost of a cgo call and
// the binding's checks.
func BenchmarkSampleJSON(b *testing.B) {
	buf := newBuffer(b)
	b.ReportAllocs()
	for i := 0; i < b.N; i++ {
		if i%1000 == 0 {
			must(b, buf.Reset())
		}
		must(b, buf.SampleJSON("http_requests_total", `{"code":"200","method":"get"}`, 1, 0))
	}
}
