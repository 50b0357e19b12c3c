// SPDX-License-Identifier: MIT

package promfmt

import (
	"bytes"
	"os"
	"runtime/debug"
	"strconv"
	"strings"
	"testing"
)

// soakAllowedGrowthKB is the resident memory a soak phase may gain after
// its warm-up tenth: room for the Go runtime's and the test's own noise,
// far below what a leak per scrape adds.
const soakAllowedGrowthKB = 2048

// soakRSSKB is the resident memory once the garbage collector has run and
// returned what it freed: what is left is live, in Go or in C.
func soakRSSKB(t *testing.T) int {
	debug.FreeOSMemory()
	status, err := os.ReadFile("/proc/self/status")
	must(t, err)
	for _, line := range strings.Split(string(status), "\n") {
		if fields := strings.Fields(line); len(fields) > 1 && fields[0] == "VmRSS:" {
			kb, err := strconv.Atoi(fields[1])
			must(t, err)
			return kb
		}
	}
	t.Fatal("no VmRSS in /proc/self/status")
	return 0
}

func soakFDs(t *testing.T) int {
	fds, err := os.ReadDir("/proc/self/fd")
	must(t, err)
	return len(fds)
}

// soakScrape writes one scrape, three refused calls among its lines, and
// copies the text out as a scrape handler does.
func soakScrape(t *testing.T, b *Buffer, i int, byMap map[string]string, out *bytes.Buffer) {
	code := strconv.Itoa(i % 7)
	must(t, b.Help("soak_requests_total", `Requests, per "code".`))
	must(t, b.Type("soak_requests_total", TypeCounter))
	for _, path := range []string{"/", `/a"b`, "/c\\d\n"} {
		must(t, b.Sample("soak_requests_total", []Label{{"path", path}, {"code", code}}, float64(i), 0))
	}
	must(t, b.GaugeMap("soak_queue_length", "Jobs waiting.", byMap, 0.5))
	must(t, b.SampleJSON("soak_json", `{"le":"+Inf","x":1}`, 1e21, 0))
	batch := b.Batch()
	must(t, batch.Sample("soak_batch", []Label{{"k", code}}, 1, int64(i)))
	must(t, batch.Write())
	for _, refused := range []error{
		b.Sample("soak bad name", nil, 1, 0),
		b.Sample("soak_dup", []Label{{"a", "1"}, {"a", "2"}}, 1, 0),
		b.Sample("soak_nul", []Label{{"a", "\x00"}}, 1, 0),
	} {
		if refused == nil {
			t.Fatal("a bad line was taken")
		}
	}
	out.Reset()
	_, err := b.WriteTo(out)
	must(t, err)
}

func soak(t *testing.T, what string, scrapes int, run func(i int)) {
	warm := scrapes / 10
	for i := 0; i < warm; i++ {
		run(i)
	}
	rss, fds := soakRSSKB(t), soakFDs(t)
	for i := warm; i < scrapes; i++ {
		run(i)
	}
	rssEnd, fdsEnd := soakRSSKB(t), soakFDs(t)
	t.Logf("soak %s: %d scrapes, RSS %d kB after %d, %d kB at the end; fds %d -> %d",
		what, scrapes, rss, warm, rssEnd, fds, fdsEnd)
	if rssEnd > rss+soakAllowedGrowthKB || fdsEnd != fds {
		t.Fatalf("%s: RSS %d -> %d kB, fds %d -> %d", what, rss, rssEnd, fds, fdsEnd)
	}
}

// TestSoak writes $PROMFMT_SOAK_SCRAPES scrapes (20000 by default) through
// one reused buffer, then as many through a new buffer each, closed after
// its scrape: resident memory and open descriptors stay flat.
func TestSoak(t *testing.T) {
	scrapes := 20000
	if n, err := strconv.Atoi(os.Getenv("PROMFMT_SOAK_SCRAPES")); err == nil {
		scrapes = n
	}
	byMap := map[string]string{"queue": "mail", "host": "a\tb"}
	var out bytes.Buffer
	b := newBuffer(t)
	soak(t, "reused buffer", scrapes, func(i int) {
		must(t, b.Reset())
		soakScrape(t, b, i, byMap, &out)
	})
	want := out.String()
	soak(t, "a buffer per scrape", scrapes, func(i int) {
		fresh, err := NewBuffer(64)
		must(t, err)
		soakScrape(t, fresh, i, byMap, &out)
		must(t, fresh.Close())
	})
	if got := out.String(); got != want {
		t.Fatalf("the last scrapes differ:\n%s\n%s", got, want)
	}
}
