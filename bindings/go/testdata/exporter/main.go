// SPDX-License-Identifier: MIT

// Command exporter serves a few metrics at /metrics, rendered with promfmt
// into one reused buffer on every scrape. With -once it prints one scrape
// and exits.
package main

import (
	"flag"
	"log"
	"net/http"
	"os"
	"runtime"
	"sync"
	"time"

	promfmt "promfmt/bindings/go"
)

// exporter renders its metrics into one Buffer, reused from scrape to
// scrape; the mutex lets concurrent requests take turns with it.
type exporter struct {
	mu      sync.Mutex
	buf     *promfmt.Buffer
	started time.Time
	queues  map[string]int // jobs waiting, per queue
}

// render writes one whole scrape into e.buf. Call it with e.mu held.
func (e *exporter) render() error {
	if err := e.buf.Reset(); err != nil {
		return err
	}
	// A one-series family: the shortcut writes HELP, TYPE and the sample.
	if err := e.buf.Gauge("process_uptime_seconds", "Seconds since the exporter started.",
		nil, time.Since(e.started).Seconds()); err != nil {
		return err
	}
	// A family of several series, queued and written with one call into C.
	batch := e.buf.Batch()
	batch.Help("jobs_waiting", "Jobs waiting, per queue.")
	batch.Type("jobs_waiting", promfmt.TypeGauge)
	for queue, n := range e.queues {
		batch.Sample("jobs_waiting", []promfmt.Label{{Name: "queue", Value: queue}}, float64(n), 0)
	}
	batch.Help("go_info", "Information about the Go runtime.")
	batch.Type("go_info", promfmt.TypeGauge)
	batch.SampleMap("go_info", map[string]string{"version": runtime.Version()}, 1, 0)
	return batch.Write()
}

func (e *exporter) ServeHTTP(w http.ResponseWriter, r *http.Request) {
	e.mu.Lock()
	defer e.mu.Unlock()
	if err := e.render(); err != nil {
		http.Error(w, err.Error(), http.StatusInternalServerError)
		return
	}
	w.Header().Set("Content-Type", promfmt.ContentType)
	e.buf.WriteTo(w)
}

func main() {
	addr := flag.String("listen", "127.0.0.1:9100", "address to serve /metrics on")
	once := flag.Bool("once", false, "print one scrape and exit")
	flag.Parse()

	buf, err := promfmt.NewBuffer(64 << 10)
	if err != nil {
		log.Fatal(err)
	}
	defer buf.Close()
	e := &exporter{buf: buf, started: time.Now(),
		queues: map[string]int{"mail": 3, "say \"hi\"": 1}}
	if *once {
		e.mu.Lock()
		defer e.mu.Unlock()
		if err := e.render(); err != nil {
			log.Fatal(err)
		}
		if _, err := buf.WriteTo(os.Stdout); err != nil {
			log.Fatal(err)
		}
		return
	}
	http.Handle("/metrics", e)
	log.Fatal(http.ListenAndServe(*addr, nil))
}
