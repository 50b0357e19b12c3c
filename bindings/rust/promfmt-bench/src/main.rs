// SPDX-License-Identifier: MIT
//! The Rust peer of the project's benchmark: times the promfmt binding with
//! labels as pairs (writer `rust`) and as JSON texts kept from an earlier
//! scrape (`rust_json`), and prometheus-client's text encoder (`rust_client`);
//! on workloads with the standard scrape's label names also the binding with
//! labels as arrays of tuples (`rust_tuples`) and prometheus-client with a
//! derived label-set struct (`rust_client_derived`);
//! on the workloads that `promfmt_bench_scrape --write-workloads DIR` wrote,
//! in CPU time, and writes one result file per writer: RESULTS/rROUND-W.json.
//!
//!   promfmt-bench-rust --dir DIR --results RESULTS --round N [--workloads a,b]
//!                      [--max-samples N] [--min-time SECONDS]
//!   promfmt-bench-rust --dir DIR --dump ID    (the binding's text for one workload)
use promfmt_bench::cpu::{allocations, process_time, Counting};
use promfmt_bench::workload::{load, sample_count, Family};
use promfmt_bench::writers::{
    client_registry, derived_registry, has_standard_names, prebuilt_labels, write_client,
    write_promfmt, write_promfmt_prebuilt, write_promfmt_tuples,
};
use std::collections::HashMap;
use std::fmt::Write as _;
use std::path::{Path, PathBuf};
use std::time::Duration;
use std::{fs, io};

#[global_allocator]
static GLOBAL: Counting = Counting;

struct Measured {
    workload: String,
    ns_per_sample: f64,
    allocs_per_sample: f64,
    iterations: u64,
    samples: usize,
}

/// Runs batches of `scrape` until one batch takes `min_time` of CPU, after
/// one untimed scrape that also counts the steady state's allocations.
fn measure(id: &str, samples: usize, min_time: Duration, mut scrape: impl FnMut()) -> Measured {
    scrape();
    let before = allocations();
    scrape();
    let allocs = allocations() - before;
    let mut n: u64 = 1;
    loop {
        let start = process_time();
        for _ in 0..n {
            scrape();
        }
        let spent = process_time() - start;
        if spent >= min_time || n >= 1 << 30 {
            return Measured {
                workload: id.to_owned(),
                ns_per_sample: spent.as_nanos() as f64 / (n as f64 * samples as f64),
                allocs_per_sample: allocs as f64 / samples as f64,
                iterations: n,
                samples,
            };
        }
        let grow = if spent.is_zero() {
            10.0
        } else {
            1.4 * min_time.as_secs_f64() / spent.as_secs_f64() + 1.0
        };
        n *= grow.min(10.0) as u64;
    }
}

/// The writers, each with its result file's name.
const WRITERS: [&str; 5] = [
    "rust",
    "rust_json",
    "rust_client",
    "rust_tuples",
    "rust_client_derived",
];
/// Those that take only workloads with the standard scrape's label names.
const STANDARD_NAMES_ONLY: [&str; 2] = ["rust_tuples", "rust_client_derived"];

/// Times every writer that takes the workload, starting with writer
/// `first`; the results come in the order of [`WRITERS`].
fn measure_all(
    id: &str,
    families: &[Family],
    min_time: Duration,
    first: usize,
) -> Vec<Option<Measured>> {
    let samples = sample_count(families);
    let standard_names = has_standard_names(families);
    let mut buf = promfmt::Buffer::new();
    let labels = prebuilt_labels(families);
    let registry = client_registry(families);
    let derived = standard_names.then(|| derived_registry(families));
    let mut text = String::new();
    let mut results: Vec<Option<Measured>> = WRITERS.iter().map(|_| None).collect();
    for k in 0..WRITERS.len() {
        let w = (first + k) % WRITERS.len();
        if !standard_names && STANDARD_NAMES_ONLY.contains(&WRITERS[w]) {
            continue;
        }
        results[w] = Some(match WRITERS[w] {
            "rust" => measure(id, samples, min_time, || {
                write_promfmt(&mut buf, families).expect("accepted")
            }),
            "rust_json" => measure(id, samples, min_time, || {
                write_promfmt_prebuilt(&mut buf, families, &labels).expect("accepted")
            }),
            "rust_tuples" => measure(id, samples, min_time, || {
                write_promfmt_tuples(&mut buf, families).expect("accepted")
            }),
            "rust_client_derived" => {
                let derived = derived.as_ref().expect("standard names");
                measure(id, samples, min_time, || {
                    write_client(&mut text, derived).expect("encoded")
                })
            }
            _ => measure(id, samples, min_time, || {
                write_client(&mut text, &registry).expect("encoded")
            }),
        });
    }
    results
}

fn report(writer: &str, results: &[Measured]) -> String {
    let mut out = format!("{{\"writer\": \"{writer}\", \"results\": [");
    for (i, r) in results.iter().enumerate() {
        let sep = if i > 0 { ", " } else { "" };
        let _ = write!(
            out,
            "{sep}{{\"workload\": \"{}\", \"ns_per_sample\": {:.3}, \"allocs_per_sample\": {:.4}, \"iterations\": {}, \"samples\": {}}}",
            r.workload, r.ns_per_sample, r.allocs_per_sample, r.iterations, r.samples
        );
    }
    out + "]}\n"
}

/// index.txt: one `id\tfile\tsamples` line per workload.
fn read_index(dir: &Path) -> io::Result<Vec<(String, PathBuf, usize)>> {
    let text = fs::read_to_string(dir.join("index.txt"))?;
    text.lines()
        .filter(|l| !l.trim().is_empty())
        .map(|l| match l.split('\t').collect::<Vec<_>>()[..] {
            [id, file, n] => Ok((
                id.to_owned(),
                dir.join(file),
                n.parse().unwrap_or(usize::MAX),
            )),
            _ => Err(io::Error::new(
                io::ErrorKind::InvalidData,
                format!("bad index line {l:?}"),
            )),
        })
        .collect()
}

fn main() -> Result<(), Box<dyn std::error::Error>> {
    let args: Vec<String> = std::env::args().skip(1).collect();
    let opts: HashMap<&str, &str> = args
        .chunks(2)
        .filter_map(|p| Some((p[0].as_str(), p.get(1)?.as_str())))
        .collect();
    let usage = "usage: promfmt-bench-rust --dir DIR (--results DIR --round N | --dump ID) [--workloads a,b] [--max-samples N] [--min-time S]";
    let dir = Path::new(opts.get("--dir").ok_or(usage)?);
    let index = read_index(dir)?;
    let file_of = |id: &str| {
        index
            .iter()
            .find(|w| w.0 == id)
            .map(|w| w.1.clone())
            .ok_or(format!("no workload {id}"))
    };
    if let Some(id) = opts.get("--dump") {
        let mut buf = promfmt::Buffer::new();
        write_promfmt(&mut buf, &load(&file_of(id)?)?)?;
        return Ok(buf.write_to(io::stdout().lock())?);
    }
    let results_dir = PathBuf::from(opts.get("--results").ok_or(usage)?);
    let round: u64 = opts.get("--round").ok_or(usage)?.parse()?;
    let min_time = Duration::from_secs_f64(opts.get("--min-time").unwrap_or(&"0.1").parse()?);
    let max_samples: usize = opts.get("--max-samples").unwrap_or(&"100000").parse()?;
    let chosen: Vec<String> = match opts.get("--workloads") {
        Some(list) => list.split(',').map(str::to_owned).collect(),
        None => index
            .iter()
            .filter(|w| w.0 != "check" && w.2 <= max_samples)
            .map(|w| w.0.clone())
            .collect(),
    };
    let mut by_writer: Vec<Vec<Measured>> = WRITERS.iter().map(|_| Vec::new()).collect();
    for (i, id) in chosen.iter().enumerate() {
        let families = load(&file_of(id)?)?;
        let first = (round as usize + i) % WRITERS.len();
        for (w, m) in measure_all(id, &families, min_time, first)
            .into_iter()
            .enumerate()
        {
            by_writer[w].extend(m);
        }
    }
    for (writer, results) in WRITERS.iter().zip(&by_writer) {
        if results.is_empty() {
            continue;
        }
        fs::write(
            results_dir.join(format!("r{round}-{writer}.json")),
            report(writer, results),
        )?;
    }
    Ok(())
}
