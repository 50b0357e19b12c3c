// SPDX-License-Identifier: MIT
//! Once a buffer has grown, writing a scrape makes no Rust heap allocation,
//! whatever form the labels come in. (The library's own steady state is
//! measured by the project's benchmark with a counting malloc.)
use promfmt::{Buffer, Json, MetricType};
use std::alloc::{GlobalAlloc, Layout, System};
use std::cell::Cell;
use std::collections::{BTreeMap, HashMap};

struct Counting;

thread_local! {
    static ALLOCATIONS: Cell<u64> = const { Cell::new(0) };
}

// SAFETY: every call is passed on to the system allocator unchanged.
unsafe impl GlobalAlloc for Counting {
    unsafe fn alloc(&self, layout: Layout) -> *mut u8 {
        ALLOCATIONS.with(|n| n.set(n.get() + 1));
        System.alloc(layout)
    }
    unsafe fn dealloc(&self, ptr: *mut u8, layout: Layout) {
        System.dealloc(ptr, layout)
    }
    unsafe fn realloc(&self, ptr: *mut u8, layout: Layout, new_size: usize) -> *mut u8 {
        ALLOCATIONS.with(|n| n.set(n.get() + 1));
        System.realloc(ptr, layout, new_size)
    }
}

#[global_allocator]
static GLOBAL: Counting = Counting;

/// Allocations this thread made while running `f`.
fn allocations(f: impl FnOnce()) -> u64 {
    let before = ALLOCATIONS.with(Cell::get);
    f();
    ALLOCATIONS.with(Cell::get) - before
}

struct Family {
    name: String,
    help: String,
    series: Vec<(Vec<(String, String)>, f64)>,
}

fn families() -> Vec<Family> {
    (0..100)
        .map(|f| Family {
            name: format!("app_family_{f}"),
            help: format!("Help for family {f}."),
            series: (0..10)
                .map(|s| {
                    (
                        vec![
                            ("region".into(), format!("r\"{s}")),
                            ("host".into(), format!("h{s}")),
                            ("job".into(), "api".into()),
                        ],
                        s as f64,
                    )
                })
                .collect(),
        })
        .collect()
}

#[test]
fn a_scrape_allocates_nothing_once_the_buffer_has_grown() {
    let families = families();
    let maps: Vec<BTreeMap<&str, &str>> = families[0]
        .series
        .iter()
        .map(|(l, _)| l.iter().map(|(k, v)| (k.as_str(), v.as_str())).collect())
        .collect();
    let hashed: Vec<HashMap<&str, &str>> = maps
        .iter()
        .map(|m| m.iter().map(|(k, v)| (*k, *v)).collect())
        .collect();
    let mut buf = Buffer::new();
    let scrape = |buf: &mut Buffer| {
        buf.reset();
        for family in &families {
            buf.help(&family.name, &family.help).unwrap();
            buf.metric_type(&family.name, MetricType::Gauge).unwrap();
            for (labels, value) in &family.series {
                buf.sample(&family.name, labels, *value).unwrap();
            }
        }
        for (map, hash) in maps.iter().zip(&hashed) {
            buf.sample("from_maps", map, 1.0).unwrap();
            buf.sample("from_maps", hash, 2.0).unwrap();
        }
        buf.counter("from_json", "Help.", Json(r#"{"a":"1","b":true}"#), 3.0)
            .unwrap();
    };
    assert!(
        allocations(|| scrape(&mut buf)) > 0,
        "the first scrape grows the buffer"
    );
    let first = buf.as_str().to_owned();
    assert_eq!(allocations(|| scrape(&mut buf)), 0);
    assert_eq!(buf.as_str(), first);
}
