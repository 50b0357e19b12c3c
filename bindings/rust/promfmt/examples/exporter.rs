// SPDX-License-Identifier: MIT
//! A whole exporter: counters, a gauge family of several series, a
//! histogram, rendered into one reused buffer at every scrape and served
//! over HTTP by the standard library alone.
//!
//!   cargo run --example exporter            # prints one scrape
//!   cargo run --example exporter -- 9100    # serves http://127.0.0.1:9100/metrics
use promfmt::{Buffer, MetricType, CONTENT_TYPE};
use std::io::{BufRead, BufReader, Write};
use std::net::TcpListener;
use std::sync::atomic::{AtomicU64, Ordering};

/// What the application measures; the exporter only reads it.
struct Stats {
    jobs_done: [(&'static str, AtomicU64); 2],
    queue_length: [(&'static str, AtomicU64); 3],
    latency_buckets: [(f64, AtomicU64); 4],
    latency_sum_ms: AtomicU64,
}

fn render(buf: &mut Buffer, stats: &Stats) -> Result<(), promfmt::Error> {
    buf.reset();

    buf.help("jobs_done_total", "Jobs finished, per queue.")?;
    buf.metric_type("jobs_done_total", MetricType::Counter)?;
    for (queue, n) in &stats.jobs_done {
        buf.sample(
            "jobs_done_total",
            [("queue", queue)],
            n.load(Ordering::Relaxed) as f64,
        )?;
    }

    buf.help("queue_length", "Jobs waiting.")?;
    buf.metric_type("queue_length", MetricType::Gauge)?;
    for (queue, n) in &stats.queue_length {
        buf.sample(
            "queue_length",
            [("queue", *queue), ("host", "worker-1")],
            n.load(Ordering::Relaxed) as f64,
        )?;
    }

    buf.help("job_latency_seconds", "Time from enqueue to done.")?;
    buf.metric_type("job_latency_seconds", MetricType::Histogram)?;
    let mut le = String::new();
    let mut count = 0;
    for (bound, n) in &stats.latency_buckets {
        count += n.load(Ordering::Relaxed);
        le.clear();
        le += &bound.to_string();
        buf.sample(
            "job_latency_seconds_bucket",
            [("le", le.as_str())],
            count as f64,
        )?;
    }
    buf.sample("job_latency_seconds_bucket", [("le", "+Inf")], count as f64)?;
    let sum = stats.latency_sum_ms.load(Ordering::Relaxed) as f64 / 1000.0;
    buf.sample("job_latency_seconds_sum", (), sum)?;
    buf.sample("job_latency_seconds_count", (), count as f64)?;

    buf.gauge(
        "exporter_build_info",
        "",
        [("version", env!("CARGO_PKG_VERSION"))],
        1.0,
    )
}

fn serve(port: u16, stats: &Stats) -> std::io::Result<()> {
    let listener = TcpListener::bind(("127.0.0.1", port))?;
    let mut buf = Buffer::new();
    for stream in listener.incoming() {
        let mut stream = stream?;
        let mut request_line = String::new();
        BufReader::new(&stream).read_line(&mut request_line)?;
        if !request_line.starts_with("GET /metrics ") {
            stream.write_all(b"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n")?;
            continue;
        }
        render(&mut buf, stats)?; // a promfmt::Error becomes an io::Error here
        write!(
            stream,
            "HTTP/1.1 200 OK\r\nContent-Type: {CONTENT_TYPE}\r\nContent-Length: {}\r\n\r\n",
            buf.len()
        )?;
        buf.write_to(&mut stream)?;
    }
    Ok(())
}

fn main() -> Result<(), Box<dyn std::error::Error>> {
    let stats = Stats {
        jobs_done: [("mail", AtomicU64::new(42)), ("print", AtomicU64::new(7))],
        queue_length: [
            ("mail", AtomicU64::new(3)),
            ("print", AtomicU64::new(0)),
            ("say \"hi\"", AtomicU64::new(1)),
        ],
        latency_buckets: [
            (0.1, AtomicU64::new(30)),
            (0.5, AtomicU64::new(15)),
            (1.0, AtomicU64::new(3)),
            (5.0, AtomicU64::new(1)),
        ],
        latency_sum_ms: AtomicU64::new(9_250),
    };
    match std::env::args().nth(1) {
        Some(port) => serve(port.parse()?, &stats)?,
        None => {
            let mut buf = Buffer::new();
            render(&mut buf, &stats)?;
            buf.write_to(std::io::stdout().lock())?;
        }
    }
    Ok(())
}
