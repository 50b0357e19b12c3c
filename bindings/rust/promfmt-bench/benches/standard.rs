// SPDX-License-Identifier: MIT
//! The standard scrape (1000 gauge families × 10 samples × 3 labels, HELP
//! and TYPE per family), written through the promfmt binding from Rust
//! values (labels as pairs, and as JSON texts kept from an earlier scrape)
//! and by prometheus-client's text encoder over the same families.
//! Throughput is in samples: criterion's "elem/s" is samples per second.
use criterion::{criterion_group, criterion_main, Criterion, Throughput};
use promfmt_bench::workload::{sample_count, standard};
use promfmt_bench::writers::{
    client_registry, prebuilt_labels, write_client, write_promfmt, write_promfmt_prebuilt,
};

fn standard_scrape(c: &mut Criterion) {
    let families = standard();
    let mut group = c.benchmark_group("standard");
    group.throughput(Throughput::Elements(sample_count(&families) as u64));

    let mut buf = promfmt::Buffer::new();
    group.bench_function("promfmt", |b| {
        b.iter(|| write_promfmt(&mut buf, &families).expect("accepted"))
    });

    let labels = prebuilt_labels(&families);
    group.bench_function("promfmt, labels JSON kept", |b| {
        b.iter(|| write_promfmt_prebuilt(&mut buf, &families, &labels).expect("accepted"))
    });

    let registry = client_registry(&families);
    let mut text = String::new();
    group.bench_function("prometheus-client", |b| {
        b.iter(|| write_client(&mut text, &registry).expect("encoded"))
    });
    group.finish();
}

criterion_group!(benches, standard_scrape);
criterion_main!(benches);
