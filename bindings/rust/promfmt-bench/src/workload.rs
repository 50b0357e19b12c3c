// SPDX-License-Identifier: MIT
//! The families the benchmark writes: the standard scrape made here, with
//! the same generator as the project's benchmark, or any workload read from
//! the files that `promfmt_bench_scrape --write-workloads DIR` writes.
use std::io::{self, BufRead};
use std::path::Path;

pub struct Family {
    pub name: String,
    pub help: String,
    pub samples: Vec<Sample>,
}

pub struct Sample {
    /// The labels in the order of the workload's JSON text.
    pub labels: Vec<(String, String)>,
    pub value: f64,
}

pub fn sample_count(families: &[Family]) -> usize {
    families.iter().map(|f| f.samples.len()).sum()
}

/// xorshift64*, as the project's benchmark draws its workloads.
struct Rng(u64);

impl Rng {
    fn next(&mut self) -> u64 {
        self.0 ^= self.0 >> 12;
        self.0 ^= self.0 << 25;
        self.0 ^= self.0 >> 27;
        self.0.wrapping_mul(0x2545_F491_4F6C_DD1D)
    }
}

/// The standard scrape: 1000 families × 10 samples × 3 labels (zone,
/// service, region; short values, 6 % of them holding a double quote), the
/// same families the project's benchmark calls `standard`.
pub fn standard() -> Vec<Family> {
    let mut rng = Rng(0x9E37_79B9_7F4A_7C15);
    (0..1000)
        .map(|f| {
            let name = format!("app_subsystem_metric_{f:04}");
            let help = format!("Help text for {name}, measured in units.");
            let samples = (0..10).map(|_| standard_sample(&mut rng)).collect();
            Family {
                name,
                help,
                samples,
            }
        })
        .collect()
}

fn standard_sample(rng: &mut Rng) -> Sample {
    let mut labels: Vec<(String, String)> = ["zone", "service", "region"]
        .iter()
        .map(|name| {
            let mut value = format!("value-{}", rng.next() % 100_000).into_bytes();
            if rng.next() % 100 < 6 {
                let middle = value.len() / 2;
                value[middle] = b'"';
            }
            (name.to_string(), String::from_utf8(value).expect("ASCII"))
        })
        .collect();
    // Sorted by name, then reversed: the order of the workload's JSON text.
    labels.sort();
    labels.reverse();
    let k = rng.next() % 100_000_000_000_000;
    let value = if rng.next().is_multiple_of(3) {
        (k / 100_000_000) as f64
    } else {
        k as f64 / 1e8
    };
    Sample { labels, value }
}

/// Reads one workload file: `F\tname\thelp` per family, then
/// `S\tvalue\tname\tvalue...` per sample; `#` starts a comment line.
pub fn load(path: &Path) -> io::Result<Vec<Family>> {
    let bad = |line: &str| io::Error::new(io::ErrorKind::InvalidData, format!("bad line {line:?}"));
    let mut families: Vec<Family> = Vec::new();
    for line in io::BufReader::new(std::fs::File::open(path)?).lines() {
        let line = line?;
        let fields: Vec<&str> = line.split('\t').collect();
        match fields.as_slice() {
            ["F", name, help] => families.push(Family {
                name: name.to_string(),
                help: help.to_string(),
                samples: Vec::new(),
            }),
            ["S", value, labels @ ..] if labels.len() % 2 == 0 => {
                let labels = labels
                    .chunks(2)
                    .map(|p| (p[0].to_string(), p[1].to_string()))
                    .collect();
                let value = value.parse().map_err(|_| bad(&line))?;
                let family = families.last_mut().ok_or_else(|| bad(&line))?;
                family.samples.push(Sample { labels, value });
            }
            [""] => {}
            [comment] if comment.starts_with('#') => {}
            _ => return Err(bad(&line)),
        }
    }
    Ok(families)
}
