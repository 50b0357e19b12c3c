// SPDX-License-Identifier: MIT

package main

import (
	"bytes"
	"slices"
	"strings"

	"github.com/prometheus/client_golang/prometheus"
	dto "github.com/prometheus/client_model/go"
	"github.com/prometheus/common/expfmt"

	promfmt "promfmt/bindings/go"
)

func nothing() {}

// newExpfmt builds client_model families, labels sorted by name as the Go
// client's registry hands them over, and encodes them into a reused
// bytes.Buffer. The pairs are allocated in sorted order, so the families'
// memory layout is the same whatever order the workload gives the labels.
func newExpfmt(fams []family) (scraper, error) {
	var out []*dto.MetricFamily
	for _, f := range fams {
		mf := &dto.MetricFamily{Name: &f.name, Help: &f.help, Type: dto.MetricType_GAUGE.Enum()}
		for _, s := range f.samples {
			labels := slices.SortedFunc(slices.Values(s.labels), func(a, b promfmt.Label) int {
				return strings.Compare(a.Name, b.Name)
			})
			pairs := make([]*dto.LabelPair, len(labels))
			for i, l := range labels {
				pairs[i] = &dto.LabelPair{Name: &l.Name, Value: &l.Value}
			}
			mf.Metric = append(mf.Metric, &dto.Metric{Label: pairs, Gauge: &dto.Gauge{Value: &s.value}})
		}
		out = append(out, mf)
	}
	var text bytes.Buffer
	scrape := func() error {
		text.Reset()
		for _, mf := range out {
			if _, err := expfmt.MetricFamilyToText(&text, mf); err != nil {
				return err
			}
		}
		return nil
	}
	return scraper{scrape, text.Bytes, nothing}, nil
}

// newPromfmt writes the families through the binding into one reused
// Buffer, one call per line or one Batch per family, and copies the text
// into reused Go memory.
func newPromfmt(fams []family, batched bool) (scraper, error) {
	buf, err := promfmt.NewBuffer(0)
	if err != nil {
		return scraper{}, err
	}
	var text []byte
	lines := buf.Batch()
	scrape := func() error {
		if err := buf.Reset(); err != nil {
			return err
		}
		for _, f := range fams {
			if err := writeFamily(buf, lines, f, batched); err != nil {
				return err
			}
		}
		text, err = buf.AppendText(text[:0])
		return err
	}
	return scraper{scrape, func() []byte { return text }, func() { buf.Close() }}, nil
}

func writeFamily(buf *promfmt.Buffer, lines *promfmt.Batch, f family, batched bool) error {
	if batched {
		lines.Help(f.name, f.help)
		lines.Type(f.name, promfmt.TypeGauge)
		for _, s := range f.samples {
			lines.Sample(f.name, s.labels, s.value, 0)
		}
		return lines.Write()
	}
	if err := buf.Help(f.name, f.help); err != nil {
		return err
	}
	if err := buf.Type(f.name, promfmt.TypeGauge); err != nil {
		return err
	}
	for _, s := range f.samples {
		if err := buf.Sample(f.name, s.labels, s.value, 0); err != nil {
			return err
		}
	}
	return nil
}

// newPromfmtMap writes the families through the binding into one reused
// Buffer, one call per line, each sample's labels a map made beforehand.
func newPromfmtMap(fams []family) (scraper, error) {
	buf, err := promfmt.NewBuffer(0)
	if err != nil {
		return scraper{}, err
	}
	maps := make([][]map[string]string, len(fams))
	for i, f := range fams {
		for _, s := range f.samples {
			m := make(map[string]string, len(s.labels))
			for _, l := range s.labels {
				m[l.Name] = l.Value
			}
			maps[i] = append(maps[i], m)
		}
	}
	var text []byte
	scrape := func() error {
		if err := buf.Reset(); err != nil {
			return err
		}
		for i, f := range fams {
			if err := buf.Help(f.name, f.help); err != nil {
				return err
			}
			if err := buf.Type(f.name, promfmt.TypeGauge); err != nil {
				return err
			}
			for j, s := range f.samples {
				if err := buf.SampleMap(f.name, maps[i][j], s.value, 0); err != nil {
					return err
				}
			}
		}
		text, err = buf.AppendText(text[:0])
		return err
	}
	return scraper{scrape, func() []byte { return text }, func() { buf.Close() }}, nil
}

// newGather registers one GaugeVec per family, with a child per series set
// to its value, and at every scrape gathers the registry and encodes it as
// text, as client_golang's handler does. A workload whose series repeat a
// label set within a family (a GaugeVec keeps one child per set) is
// skipped: the registry could not hold its samples.
func newGather(fams []family) (scraper, error) {
	reg := prometheus.NewRegistry()
	for _, f := range fams {
		var names []string
		if len(f.samples) > 0 {
			for _, l := range f.samples[0].labels {
				names = append(names, l.Name)
			}
		}
		vec := prometheus.NewGaugeVec(prometheus.GaugeOpts{Name: f.name, Help: f.help}, names)
		if err := reg.Register(vec); err != nil {
			return scraper{}, err
		}
		for _, s := range f.samples {
			labels := prometheus.Labels{}
			for _, l := range s.labels {
				labels[l.Name] = l.Value
			}
			g, err := vec.GetMetricWith(labels)
			if err != nil {
				return scraper{}, err
			}
			g.Set(s.value)
		}
		if n := children(vec); n != len(f.samples) {
			return scraper{}, skipError("a family repeats a label set")
		}
	}
	var text bytes.Buffer
	scrape := func() error {
		mfs, err := reg.Gather()
		if err != nil {
			return err
		}
		text.Reset()
		enc := expfmt.NewEncoder(&text, expfmt.NewFormat(expfmt.TypeTextPlain))
		for _, mf := range mfs {
			if err := enc.Encode(mf); err != nil {
				return err
			}
		}
		return nil
	}
	return scraper{scrape, text.Bytes, nothing}, nil
}

// children is the number of children a collector holds.
func children(c prometheus.Collector) int {
	ch := make(chan prometheus.Metric)
	go func() { c.Collect(ch); close(ch) }()
	n := 0
	for range ch {
		n++
	}
	return n
}
