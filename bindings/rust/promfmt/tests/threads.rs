// SPDX-License-Identifier: MIT
//! Buffers move between threads and are read from many at once; each
//! thread's refusals carry that thread's own message.
use promfmt::{Buffer, MetricType};
use std::sync::{Arc, Barrier, RwLock};
use std::thread;

fn render(buf: &mut Buffer, seed: usize) {
    buf.reset();
    for f in 0..50 {
        let name = format!("family_{seed}_{f}");
        buf.help(&name, "Help.").unwrap();
        buf.metric_type(&name, MetricType::Gauge).unwrap();
        for s in 0..10 {
            buf.sample(
                &name,
                [("shard", s.to_string()), ("host", format!("h\"{f}"))],
                (f * s) as f64,
            )
            .unwrap();
        }
    }
}

#[test]
fn buffer_is_send_and_sync() {
    fn check<T: Send + Sync>() {}
    check::<Buffer>();
    check::<promfmt::Error>();
}

#[test]
fn distinct_buffers_fill_in_parallel_and_move_across_threads() {
    let expected: Vec<String> = (0..4)
        .map(|seed| {
            let mut buf = Buffer::new();
            render(&mut buf, seed);
            buf.as_str().to_owned()
        })
        .collect();
    let workers: Vec<_> = (0..4)
        .map(|seed| {
            let mut buf = Buffer::new();
            thread::spawn(move || {
                for _ in 0..20 {
                    render(&mut buf, seed);
                }
                buf
            })
        })
        .collect();
    for (seed, worker) in workers.into_iter().enumerate() {
        assert_eq!(worker.join().unwrap().as_str(), expected[seed]);
    }
}

#[test]
fn readers_share_a_buffer_while_one_thread_re_renders() {
    let shared = Arc::new(RwLock::new(Buffer::new()));
    render(&mut shared.write().unwrap(), 0);
    let len = shared.read().unwrap().len();
    thread::scope(|s| {
        for _ in 0..3 {
            s.spawn(|| {
                for _ in 0..50 {
                    let mut out = Vec::new();
                    shared.read().unwrap().write_to(&mut out).unwrap();
                    assert_eq!(out.len(), len);
                }
            });
        }
        s.spawn(|| {
            for _ in 0..20 {
                render(&mut shared.write().unwrap(), 0);
            }
        });
    });
}

#[test]
fn each_thread_reads_its_own_message_while_others_fail() {
    type Call = fn(&mut Buffer) -> Result<(), promfmt::Error>;
    let calls: [(Call, &str); 4] = [
        (|b| b.sample("9", (), 1.0), "invalid metric name"),
        (
            |b| b.sample("m", [("a", "1"), ("a", "2")], 1.0),
            "duplicate label name in JSON",
        ),
        (
            |b| b.sample("m", promfmt::Json("[]"), 1.0),
            "labels JSON must be an object",
        ),
        (|b| b.help("", "x"), "invalid metric name for HELP emission"),
    ];
    let start = Barrier::new(calls.len());
    thread::scope(|s| {
        for (call, message) in calls {
            let start = &start;
            s.spawn(move || {
                let mut buf = Buffer::new();
                start.wait();
                for _ in 0..20000 {
                    assert_eq!(call(&mut buf).unwrap_err().message(), message);
                    buf.sample("ok", (), 1.0).unwrap();
                }
            });
        }
    });
}
