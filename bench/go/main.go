// SPDX-License-Identifier: MIT

// Command promfmt-bench-go is the Go peer of promfmt's benchmark. It reads
// the workload files written by promfmt_bench_scrape --write-workloads and
// times, in one process, every Go writer over the same families:
//
//	go                expfmt.MetricFamilyToText on families built beforehand
//	                  with the client_model types (labels sorted by name, as
//	                  the Go client's registry hands them over): the encoding
//	                  alone;
//	go_promfmt        the promfmt binding, one call per line, from Go values
//	                  (names, help texts, []promfmt.Label in the workload's
//	                  order, float64 values);
//	go_promfmt_batch  the same values through a promfmt.Batch, one call into
//	                  C per family;
//	go_promfmt_map    the binding, one call per line, with each sample's
//	                  labels as a map[string]string built beforehand (the
//	                  form prometheus.Labels takes);
//	go_gather         client_golang's own path: a registry of GaugeVecs
//	                  holding the workload's series, Gather plus expfmt text
//	                  encoding at every scrape.
//
// Every writer leaves the scrape's text in Go memory. go runs every
// workload, for the project's main tables; the others only the standard
// scrape and the labels workloads in random order, for the Go tables
// (-host-workloads). The figures are CPU nanoseconds per sample (process
// CPU time from getrusage, the garbage collector's work included) and heap
// allocations per sample (Mallocs of runtime.MemStats over the same batch
// of scrapes, whole ones per scrape as testing.AllocsPerRun counts them).
// Each writer's results go to PREFIX<writer>.json.
//
//	promfmt-bench-go -dir DIR -out-prefix R/r1- [-workloads a,b] [-min-time 0.1] [-seed N]
//	promfmt-bench-go -dir DIR -dump ID [-writer W]
package main

import (
	"bufio"
	"encoding/json"
	"flag"
	"fmt"
	"math/rand"
	"os"
	"path/filepath"
	"regexp"
	"runtime"
	"runtime/debug"
	"strconv"
	"strings"
	"syscall"
	"time"

	promfmt "promfmt/bindings/go"
)

type workload struct {
	id, file string
	samples  int
}

// family and sample are a workload as read from its file, labels in the
// file's order.
type family struct {
	name, help string
	samples    []sample
}

type sample struct {
	value  float64
	labels []promfmt.Label
}

// scraper is one writer prepared for one workload.
type scraper struct {
	scrape func() error  // writes one whole scrape
	text   func() []byte // the last scrape's text
	close  func()
}

// writers prepare a scraper from the workload's families; a writer that
// cannot write a workload faithfully says so with a skipError.
var writers = map[string]func([]family) (scraper, error){
	"go":               newExpfmt,
	"go_promfmt":       func(f []family) (scraper, error) { return newPromfmt(f, false) },
	"go_promfmt_batch": func(f []family) (scraper, error) { return newPromfmt(f, true) },
	"go_promfmt_map":   newPromfmtMap,
	"go_gather":        newGather,
}

var writerOrder = []string{"go", "go_promfmt", "go_promfmt_batch", "go_promfmt_map", "go_gather"}

type skipError string

func (e skipError) Error() string { return string(e) }

type result struct {
	Workload        string  `json:"workload"`
	NsPerSample     float64 `json:"ns_per_sample"`
	AllocsPerSample float64 `json:"allocs_per_sample"`
	Iterations      int     `json:"iterations"`
	Samples         int     `json:"samples"`
}

type report struct {
	Writer  string            `json:"writer"`
	Runtime string            `json:"runtime"`
	Modules map[string]string `json:"modules"`
	Results []result          `json:"results"`
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

func loadFamilies(path string) ([]family, int, error) {
	file, err := os.Open(path)
	if err != nil {
		return nil, 0, err
	}
	defer file.Close()
	var fams []family
	samples := 0
	scan := bufio.NewScanner(file)
	scan.Buffer(make([]byte, 1<<20), 1<<24)
	for scan.Scan() {
		f := strings.Split(scan.Text(), "\t")
		switch f[0] {
		case "F":
			fams = append(fams, family{name: f[1], help: f[2]})
		case "S":
			v, err := strconv.ParseFloat(f[1], 64)
			if err != nil {
				return nil, 0, err
			}
			s := sample{value: v}
			for i := 2; i+1 < len(f); i += 2 {
				s.labels = append(s.labels, promfmt.Label{Name: f[i], Value: f[i+1]})
			}
			fam := &fams[len(fams)-1]
			fam.samples = append(fam.samples, s)
			samples++
		}
	}
	return fams, samples, scan.Err()
}

func cpuNow() time.Duration {
	var ru syscall.Rusage
	if err := syscall.Getrusage(syscall.RUSAGE_SELF, &ru); err != nil {
		panic(err)
	}
	return time.Duration(ru.Utime.Nano() + ru.Stime.Nano())
}

func mallocs() uint64 {
	var m runtime.MemStats
	runtime.ReadMemStats(&m)
	return m.Mallocs
}

// measure runs batches of scrapes, growing the batch until one batch takes
// at least minTime of CPU, and reports that batch: its CPU time, its heap
// allocations and its number of scrapes.
func measure(s scraper, minTime time.Duration) (time.Duration, uint64, int, error) {
	if err := s.scrape(); err != nil { // grows the buffers
		return 0, 0, 0, err
	}
	n := 1
	for {
		allocs, start := mallocs(), cpuNow()
		for i := 0; i < n; i++ {
			if err := s.scrape(); err != nil {
				return 0, 0, 0, err
			}
		}
		spent := cpuNow() - start
		allocs = mallocs() - allocs
		if spent >= minTime || n >= 1<<30 {
			return spent, allocs, n, nil
		}
		grow := 10
		if spent > 0 {
			grow = int(1.4*float64(minTime)/float64(spent)) + 1
		}
		n *= min(grow, 10)
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

// modules names the versions of the modules the peer was built with.
func modules() map[string]string {
	out := map[string]string{}
	if info, ok := debug.ReadBuildInfo(); ok {
		for _, m := range info.Deps {
			out[m.Path] = m.Version
		}
	}
	return out
}

func dump(dir, id, writer string) error {
	all, err := readIndex(dir)
	if err != nil {
		return err
	}
	todo, err := selected(all, id, 0)
	if err != nil {
		return err
	}
	fams, _, err := loadFamilies(filepath.Join(dir, todo[0].file))
	if err != nil {
		return err
	}
	prepare, ok := writers[writer]
	if !ok {
		return fmt.Errorf("no writer %q", writer)
	}
	s, err := prepare(fams)
	if err != nil {
		return err
	}
	defer s.close()
	if err := s.scrape(); err != nil {
		return err
	}
	_, err = os.Stdout.Write(s.text())
	return err
}

// task is one writer on one workload; the tasks run in a shuffled order.
type task struct {
	w      workload
	writer string
}

func run() error {
	dir := flag.String("dir", "", "directory holding index.txt and the workload files")
	names := flag.String("workloads", "", "comma-separated workload ids (default: all but check)")
	only := flag.String("writers", strings.Join(writerOrder, ","), "comma-separated writers")
	maxSamples := flag.Int("max-samples", 0, "skip workloads with more samples (0: no limit)")
	hostOnly := flag.String("host-workloads", `^(standard|labels_random/\d+)$`,
		"the writers other than go run only the selected workloads that match this")
	minTime := flag.Float64("min-time", 0.1, "CPU seconds of the measured batch")
	seed := flag.Int64("seed", 1, "shuffles the order of the workloads and writers")
	prefix := flag.String("out-prefix", "", "results go to PREFIX<writer>.json (default: standard output)")
	dumpID := flag.String("dump", "", "print one writer's output for this workload and exit")
	dumpWriter := flag.String("writer", "go", "the writer -dump uses")
	flag.Parse()

	if *dumpID != "" {
		return dump(*dir, *dumpID, *dumpWriter)
	}
	all, err := readIndex(*dir)
	if err != nil {
		return err
	}
	todo, err := selected(all, *names, *maxSamples)
	if err != nil {
		return err
	}
	hostRE, err := regexp.Compile(*hostOnly)
	if err != nil {
		return err
	}
	var tasks []task
	reports := map[string]*report{}
	for _, name := range strings.Split(*only, ",") {
		if writers[name] == nil {
			return fmt.Errorf("no writer %q", name)
		}
		reports[name] = &report{Writer: name, Runtime: runtime.Version(), Modules: modules(),
			Results: []result{}}
		for _, w := range todo {
			if name == "go" || hostRE.MatchString(w.id) {
				tasks = append(tasks, task{w, name})
			}
		}
	}
	rand.New(rand.NewSource(*seed)).Shuffle(len(tasks), func(i, j int) { tasks[i], tasks[j] = tasks[j], tasks[i] })

	for _, t := range tasks {
		r, err := runTask(*dir, t, time.Duration(*minTime*float64(time.Second)))
		if _, skip := err.(skipError); skip {
			fmt.Fprintf(os.Stderr, "promfmt-bench-go: %s on %s skipped: %v\n", t.writer, t.w.id, err)
			continue
		}
		if err != nil {
			return fmt.Errorf("%s on %s: %v", t.writer, t.w.id, err)
		}
		reports[t.writer].Results = append(reports[t.writer].Results, r)
	}
	for name, rep := range reports {
		text, err := json.MarshalIndent(rep, "", " ")
		if err != nil {
			return err
		}
		text = append(text, '\n')
		if *prefix == "" {
			_, err = os.Stdout.Write(text)
		} else {
			err = os.WriteFile(*prefix+name+".json", text, 0o644)
		}
		if err != nil {
			return err
		}
	}
	return nil
}

func runTask(dir string, t task, minTime time.Duration) (result, error) {
	fams, samples, err := loadFamilies(filepath.Join(dir, t.w.file))
	if err != nil {
		return result{}, err
	}
	s, err := writers[t.writer](fams)
	if err != nil {
		return result{}, err
	}
	defer s.close()
	runtime.GC()
	spent, allocs, n, err := measure(s, minTime)
	if err != nil {
		return result{}, err
	}
	total := float64(n * samples)
	// Allocations are counted as testing.AllocsPerRun counts them: whole
	// ones per scrape, averaged over the batch and truncated. The runtime's
	// own, such as a thread started while a cgo call blocks its P, are rare
	// and not the writer's; a writer that allocates per sample makes
	// thousands per scrape.
	perScrape := allocs / uint64(n)
	return result{t.w.id, float64(spent.Nanoseconds()) / total, float64(perScrape) / float64(samples), n, samples}, nil
}

func main() {
	if err := run(); err != nil {
		fmt.Fprintln(os.Stderr, "promfmt-bench-go:", err)
		os.Exit(1)
	}
}
