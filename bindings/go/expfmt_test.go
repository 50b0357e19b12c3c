// SPDX-License-Identifier: MIT

package promfmt

import (
	"math"
	"net/http"
	"net/http/httptest"
	"reflect"
	"testing"

	dto "github.com/prometheus/client_model/go"
	"github.com/prometheus/common/expfmt"
	"github.com/prometheus/common/model"
)

const room = "lab \"B\" \\ east\nwing"

func writeScrape(b *Buffer) error {
	steps := []func() error{
		func() error {
			return b.CounterMap("jobs_done_total", "Jobs finished.", map[string]string{"queue": "mail"}, 42)
		},
		func() error {
			return b.Gauge("temperature_celsius", "Temperature, \"inside\".\\ second\nline",
				[]Label{{"room", room}, {"floor", "2"}, {"sensor", "té→ü"}}, 21.5)
		},
		func() error { // a whole histogram in one batch
			batch := b.Batch()
			for _, err := range []error{
				batch.Help("latency_seconds", "Request latency."),
				batch.Type("latency_seconds", TypeHistogram),
				batch.Sample("latency_seconds_bucket", []Label{{"le", "0.1"}}, 3, 0),
				batch.SampleMap("latency_seconds_bucket", map[string]string{"le": "+Inf"}, 10, 0),
				batch.Sample("latency_seconds_sum", nil, 4.25, 0),
				batch.SampleJSON("latency_seconds_count", "", 10, 0),
			} {
				if err != nil {
					return err
				}
			}
			return batch.Write()
		},
		func() error { return b.Type("up", TypeGauge) },
		func() error { return b.Sample("up", nil, 1, 1700000000000) },
		func() error { return b.Type("odd", TypeUntyped) },
		func() error { return b.SampleJSON("odd", `{"flag":false,"big":12345678901234567890}`, math.Inf(-1), 0) },
	}
	for _, step := range steps {
		if err := step(); err != nil {
			return err
		}
	}
	return nil
}

func labels(m *dto.Metric) map[string]string {
	out := map[string]string{}
	for _, l := range m.GetLabel() {
		out[l.GetName()] = l.GetValue()
	}
	return out
}

func TestServedScrapeReadsBackWithExpfmt(t *testing.T) {
	b := newBuffer(t)
	must(t, writeScrape(b))
	server := httptest.NewServer(http.HandlerFunc(func(w http.ResponseWriter, r *http.Request) {
		w.Header().Set("Content-Type", ContentType)
		if _, err := b.WriteTo(w); err != nil {
			t.Error(err)
		}
	}))
	defer server.Close()
	response, err := http.Get(server.URL)
	must(t, err)
	defer response.Body.Close()

	parser := expfmt.NewTextParser(model.LegacyValidation)
	families, err := parser.TextToMetricFamilies(response.Body)
	must(t, err)
	if len(families) != 5 {
		t.Fatalf("%d families: %v", len(families), families)
	}
	type sample struct {
		labels map[string]string
		value  float64
		ts     int64
	}
	check := func(name string, kind dto.MetricType, help string, want []sample,
		value func(*dto.Metric) float64) {
		t.Helper()
		f := families[name]
		if f == nil || f.GetType() != kind || f.GetHelp() != help || len(f.Metric) != len(want) {
			t.Fatalf("family %s: %v", name, f)
		}
		for i, m := range f.Metric {
			got := sample{labels(m), value(m), m.GetTimestampMs()}
			if !reflect.DeepEqual(got, want[i]) {
				t.Errorf("%s sample %d: %+v, want %+v", name, i, got, want[i])
			}
		}
	}
	check("jobs_done_total", dto.MetricType_COUNTER, "Jobs finished.",
		[]sample{{map[string]string{"queue": "mail"}, 42, 0}},
		func(m *dto.Metric) float64 { return m.GetCounter().GetValue() })
	check("temperature_celsius", dto.MetricType_GAUGE, "Temperature, \"inside\".\\ second\nline",
		[]sample{{map[string]string{"room": room, "floor": "2", "sensor": "té→ü"}, 21.5, 0}},
		func(m *dto.Metric) float64 { return m.GetGauge().GetValue() })
	check("up", dto.MetricType_GAUGE, "",
		[]sample{{map[string]string{}, 1, 1700000000000}},
		func(m *dto.Metric) float64 { return m.GetGauge().GetValue() })
	check("odd", dto.MetricType_UNTYPED, "",
		[]sample{{map[string]string{"flag": "false", "big": "12345678901234567890"},
			math.Inf(-1), 0}},
		func(m *dto.Metric) float64 { return m.GetUntyped().GetValue() })

	h := families["latency_seconds"]
	if h.GetType() != dto.MetricType_HISTOGRAM || h.GetHelp() != "Request latency." ||
		len(h.Metric) != 1 {
		t.Fatalf("histogram family: %v", h)
	}
	hist := h.Metric[0].GetHistogram()
	if hist.GetSampleCount() != 10 || hist.GetSampleSum() != 4.25 {
		t.Errorf("histogram count/sum: %v", hist)
	}
	var buckets [][2]float64
	for _, bucket := range hist.GetBucket() {
		buckets = append(buckets, [2]float64{bucket.GetUpperBound(),
			float64(bucket.GetCumulativeCount())})
	}
	if want := [][2]float64{{0.1, 3}, {math.Inf(1), 10}}; !reflect.DeepEqual(buckets, want) {
		t.Errorf("buckets %v, want %v", buckets, want)
	}
}
