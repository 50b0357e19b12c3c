// SPDX-License-Identifier: MIT
//! Soak: many scrapes through one reused buffer, then as many through a new
//! buffer each (created and freed every scrape), with the process's resident
//! memory and open descriptors flat after a warm-up tenth. Refused calls are
//! mixed in. `PROMFMT_SOAK_SCRAPES` sets the number of scrapes per phase
//! (default 20000); each phase prints its figures.
use promfmt::{Buffer, Json, MetricType};
use std::collections::BTreeMap;

/// Growth allowed after the warm-up: room for the allocator's and the test
/// harness's own noise, far below what a leak per scrape adds.
const ALLOWED_GROWTH_KB: u64 = 1024;

fn rss_kb() -> u64 {
    let status = std::fs::read_to_string("/proc/self/status").expect("procfs");
    let line = status.lines().find(|l| l.starts_with("VmRSS:")).expect("VmRSS");
    line.split_whitespace().nth(1).and_then(|n| n.parse().ok()).expect("a number")
}

fn open_fds() -> usize {
    std::fs::read_dir("/proc/self/fd").expect("procfs").count()
}

fn scrape(buf: &mut Buffer, i: u64, by_map: &BTreeMap<&str, &str>) {
    let code = (i % 7).to_string();
    buf.help("soak_requests_total", "Requests, per \"code\".").unwrap();
    buf.metric_type("soak_requests_total", MetricType::Counter).unwrap();
    for path in ["/", "/a\"b", "/c\\d\n"] {
        buf.sample("soak_requests_total", [("path", path), ("code", code.as_str())], i as f64).unwrap();
    }
    buf.gauge("soak_queue_length", "Jobs waiting.", by_map, 0.5).unwrap();
    buf.sample("soak_json", Json(r#"{"le":"+Inf","x":1}"#), 1e21).unwrap();
    assert!(buf.sample("soak bad name", (), 1.0).is_err());
    assert!(buf.sample("soak_dup", [("a", "1"), ("a", "2")], 1.0).is_err());
    assert!(buf.sample("soak_nul", Json("{\"a\":\"\0\"}"), 1.0).is_err());
}

fn soak(what: &str, scrapes: u64, mut run: impl FnMut(u64)) {
    let warm = scrapes / 10;
    for i in 0..warm {
        run(i);
    }
    let (rss, fds) = (rss_kb(), open_fds());
    for i in warm..scrapes {
        run(i);
    }
    let (rss_end, fds_end) = (rss_kb(), open_fds());
    println!("soak {what}: {scrapes} scrapes, RSS {rss} kB after {warm}, {rss_end} kB at the end; fds {fds} -> {fds_end}");
    assert!(rss_end <= rss + ALLOWED_GROWTH_KB, "{what}: RSS grew from {rss} to {rss_end} kB");
    assert_eq!(fds, fds_end, "{what}: open descriptors");
}

#[test]
fn memory_and_descriptors_stay_flat() {
    let scrapes = std::env::var("PROMFMT_SOAK_SCRAPES").ok().and_then(|v| v.parse().ok()).unwrap_or(20_000);
    let by_map = BTreeMap::from([("queue", "mail"), ("host", "a\tb")]);
    let mut buf = Buffer::new();
    soak("reused buffer", scrapes, |i| {
        buf.reset();
        scrape(&mut buf, i, &by_map);
    });
    let expected = buf.as_str().to_owned();
    soak("a buffer per scrape", scrapes, |i| {
        let mut fresh = Buffer::with_capacity(64);
        scrape(&mut fresh, i, &by_map);
        if i == scrapes - 1 {
            assert_eq!(fresh.as_str(), expected);
        }
    });
}
