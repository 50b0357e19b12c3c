// SPDX-License-Identifier: MIT

// Command promfmt-bench-go is the Go peer of promfmt's benchmark: it times
// expfmt.MetricFamilyToText from prometheus/common on families built
// beforehand with the client_model types (labels sorted by name, as the Go
// client's registry hands them over), so only the encoding is timed. It
// reads the workload files written by promfmt_bench_scrape --write-workloads
// and prints CPU nanoseconds per sample (process CPU time from getrusage,
// the garbage collector's work included) as JSON.
//
//	promfmt-bench-go -dir DIR [-workloads a,b] [-min-time 0.1] [-seed N] [-out FILE]
//	promfmt-bench-go -dir DIR -dump ID
package main

import (
	"bufio"
	"bytes"
	"encoding/json"
	"flag"
	"fmt"
	"math/rand"
	"os"
	"path/filepath"
	"runtime"
	"sort"
	"strconv"
	"strings"
	"syscall"
	"time"

	dto "github.com/prometheus/client_model/go"
	"github.com/prometheus/common/expfmt"
)

type workload struct {
	id, file string
	samples  int
}

type result struct {
	Workload    string  `json:"workload"`
	NsPerSample float64 `json:"ns_per_sample"`
	Iterations  int     `json:"iterations"`
	Samples     int     `json:"samples"`
}

type report struct {
	Writer  string   `json:"writer"`
	Runtime string   `json:"runtime"`
	Results []result `json:"results"`
}

func readIndex(dir string) ([]workload, error) {
	data, err := os.ReadFile(filepath.Join(dir, "index.txt"))
	if err != nil {
		return nil, err
	}
	var all []workload
	for _, line := range strings.Split(strings.TrimSpace(string(data)), "\n") {
		f := strings.Split(line, "\t")
		if len(f) != 3 {
			return nil, fmt.Errorf("bad index line %q", line)
		}
		n, err := strconv.Atoi(f[2])
		if err != nil {
			return nil, err
		}
		all = append(all, workload{f[0], f[1], n})
	}
	return all, nil
}

func str(s string) *string { return &s }

// loadFamilies turns a workload file into client_model families.
func loadFamilies(path string) ([]*dto.MetricFamily, int, error) {
	file, err := os.Open(path)
	if err != nil {
		return nil, 0, err
	}
	defer file.Close()
	var fams []*dto.MetricFamily
	samples := 0
	scan := bufio.NewScanner(file)
	scan.Buffer(make([]byte, 1<<20), 1<<24)
	for scan.Scan() {
		f := strings.Split(scan.Text(), "\t")
		switch f[0] {
		case "F":
			fams = append(fams, &dto.MetricFamily{Name: str(f[1]), Help: str(f[2]),
				Type: dto.MetricType_GAUGE.Enum()})
		case "S":
			v, err := strconv.ParseFloat(f[1], 64)
			if err != nil {
				return nil, 0, err
			}
			m := &dto.Metric{Label: sortedPairs(f[2:]), Gauge: &dto.Gauge{Value: &v}}
			fam := fams[len(fams)-1]
			fam.Metric = append(fam.Metric, m)
			samples++
		}
	}
	return fams, samples, scan.Err()
}

// sortedPairs makes the label pairs of one sample, sorted by name. They are
// allocated in sorted order, so the families' memory layout is the same
// whatever order the workload gives the labels in.
func sortedPairs(fields []string) []*dto.LabelPair {
	idx := make([]int, len(fields)/2)
	for i := range idx {
		idx[i] = 2 * i
	}
	sort.Slice(idx, func(a, b int) bool { return fields[idx[a]] < fields[idx[b]] })
	pairs := make([]*dto.LabelPair, len(idx))
	for i, j := range idx {
		pairs[i] = &dto.LabelPair{Name: str(fields[j]), Value: str(fields[j+1])}
	}
	return pairs
}

func scrape(out *bytes.Buffer, fams []*dto.MetricFamily) error {
	out.Reset()
	for _, f := range fams {
		if _, err := expfmt.MetricFamilyToText(out, f); err != nil {
			return err
		}
	}
	return nil
}

func cpuNow() time.Duration {
	var ru syscall.Rusage
	if err := syscall.Getrusage(syscall.RUSAGE_SELF, &ru); err != nil {
		panic(err)
	}
	return time.Duration(ru.Utime.Nano() + ru.Stime.Nano())
}

// measure runs batches of scrapes, growing the batch until one batch takes
// at least minTime of CPU, and reports that batch.
func measure(fams []*dto.MetricFamily, minTime time.Duration) (time.Duration, int, error) {
	var out bytes.Buffer
	if err := scrape(&out, fams); err != nil { // grows the buffer
		return 0, 0, err
	}
	n := 1
	for {
		start := cpuNow()
		for i := 0; i < n; i++ {
			if err := scrape(&out, fams); err != nil {
				return 0, 0, err
			}
		}
		spent := cpuNow() - start
		if spent >= minTime || n >= 1<<30 {
			return spent, n, nil
		}
		grow := 10
		if spent > 0 {
			grow = int(1.4*float64(minTime)/float64(spent)) + 1
		}
		if grow > 10 {
			grow = 10
		}
		n *= grow
	}
}

func selected(all []workload, names string, maxSamples int) ([]workload, error) {
	var out []workload
	if names == "" {
		for _, w := range all {
			if w.id != "check" && (maxSamples == 0 || w.samples <= maxSamples) {
				out = append(out, w)
			}
		}
		return out, nil
	}
	for _, name := range strings.Split(names, ",") {
		found := false
		for _, w := range all {
			if w.id == name {
				out, found = append(out, w), true
			}
		}
		if !found {
			return nil, fmt.Errorf("no workload %q", name)
		}
	}
	return out, nil
}

func run() error {
	dir := flag.String("dir", "", "directory holding index.txt and the workload files")
	names := flag.String("workloads", "", "comma-separated workload ids (default: all but check)")
	maxSamples := flag.Int("max-samples", 0, "skip workloads with more samples (0: no limit)")
	minTime := flag.Float64("min-time", 0.1, "CPU seconds of the measured batch")
	seed := flag.Int64("seed", 1, "shuffles the order of the workloads")
	outPath := flag.String("out", "", "JSON results file (default: standard output)")
	dump := flag.String("dump", "", "print the encoder's output for this workload and exit")
	flag.Parse()

	all, err := readIndex(*dir)
	if err != nil {
		return err
	}
	if *dump != "" {
		todo, err := selected(all, *dump, 0)
		if err != nil {
			return err
		}
		fams, _, err := loadFamilies(filepath.Join(*dir, todo[0].file))
		if err != nil {
			return err
		}
		var out bytes.Buffer
		if err := scrape(&out, fams); err != nil {
			return err
		}
		_, err = os.Stdout.Write(out.Bytes())
		return err
	}
	todo, err := selected(all, *names, *maxSamples)
	if err != nil {
		return err
	}
	rand.New(rand.NewSource(*seed)).Shuffle(len(todo), func(i, j int) { todo[i], todo[j] = todo[j], todo[i] })

	rep := report{Writer: "go", Runtime: runtime.Version()}
	for _, w := range todo {
		fams, samples, err := loadFamilies(filepath.Join(*dir, w.file))
		if err != nil {
			return err
		}
		runtime.GC()
		spent, n, err := measure(fams, time.Duration(*minTime*float64(time.Second)))
		if err != nil {
			return fmt.Errorf("%s: %v", w.id, err)
		}
		rep.Results = append(rep.Results, result{w.id, float64(spent.Nanoseconds()) / float64(n*samples), n, samples})
	}
	text, err := json.MarshalIndent(rep, "", " ")
	if err != nil {
		return err
	}
	if *outPath == "" {
		_, err = os.Stdout.Write(append(text, '\n'))
		return err
	}
	return os.WriteFile(*outPath, append(text, '\n'), 0o644)
}

func main() {
	if err := run(); err != nil {
		fmt.Fprintln(os.Stderr, "promfmt-bench-go:", err)
		os.Exit(1)
	}
}
