// SPDX-License-Identifier: MIT
//! The writers compared: the promfmt binding fed Rust values, and
//! prometheus-client's text encoder over a registry holding the same families;
//! each also in the form its documentation writes for label names known in
//! code (an array of tuples; a `#[derive(EncodeLabelSet)]` struct).
use crate::workload::Family;
use prometheus_client::encoding::text::encode;
use prometheus_client::encoding::EncodeLabelSet;
use prometheus_client::metrics::family::Family as ClientFamily;
use prometheus_client::metrics::gauge::Gauge;
use prometheus_client::registry::Registry;
use promfmt::{labels_json, Buffer, Json, MetricType};
use std::sync::atomic::AtomicU64;

/// One scrape through the binding into `buf`: HELP, TYPE, then every sample.
pub fn write_promfmt(buf: &mut Buffer, families: &[Family]) -> Result<(), promfmt::Error> {
    buf.reset();
    for family in families {
        buf.help(&family.name, &family.help)?;
        buf.metric_type(&family.name, MetricType::Gauge)?;
        for sample in &family.samples {
            buf.sample(&family.name, &sample.labels, sample.value)?;
        }
    }
    Ok(())
}

/// Every sample's labels as JSON text, made once (a host that keeps its
/// series' labels text from scrape to scrape).
pub fn prebuilt_labels(families: &[Family]) -> Vec<String> {
    let samples = families.iter().flat_map(|f| &f.samples);
    samples.map(|s| labels_json(&s.labels)).collect()
}

/// As [`write_promfmt`], with the labels given as the texts of [`prebuilt_labels`].
pub fn write_promfmt_prebuilt(
    buf: &mut Buffer,
    families: &[Family],
    labels: &[String],
) -> Result<(), promfmt::Error> {
    buf.reset();
    let mut labels = labels.iter();
    for family in families {
        buf.help(&family.name, &family.help)?;
        buf.metric_type(&family.name, MetricType::Gauge)?;
        for (sample, json) in family.samples.iter().zip(&mut labels) {
            buf.sample(&family.name, Json(json), sample.value)?;
        }
    }
    Ok(())
}

type Series = ClientFamily<Vec<(String, String)>, Gauge<f64, AtomicU64>>;

/// A prometheus-client registry with one gauge family per workload family.
pub fn client_registry(families: &[Family]) -> Registry {
    let mut registry = Registry::default();
    for family in families {
        let series = Series::default();
        for sample in &family.samples {
            series.get_or_create(&sample.labels).set(sample.value);
        }
        registry.register(family.name.clone(), family.help.clone(), series);
    }
    registry
}

/// One scrape through prometheus-client's text encoder into `out`.
pub fn write_client(out: &mut String, registry: &Registry) -> Result<(), std::fmt::Error> {
    out.clear();
    encode(out, registry)
}

/// The standard scrape's label names, in the order its samples give them.
const STANDARD_NAMES: [&str; 3] = ["zone", "service", "region"];

/// Whether every sample carries the standard scrape's label names in their
/// order: the writers that spell the names out in code take only such
/// workloads.
pub fn has_standard_names(families: &[Family]) -> bool {
    families.iter().flat_map(|f| &f.samples).all(|s| {
        s.labels.len() == STANDARD_NAMES.len()
            && s.labels
                .iter()
                .zip(STANDARD_NAMES)
                .all(|(l, name)| l.0 == name)
    })
}

/// As [`write_promfmt`], with each sample's labels an array of tuples whose
/// names are written in the code, as a service writes its own metrics.
pub fn write_promfmt_tuples(buf: &mut Buffer, families: &[Family]) -> Result<(), promfmt::Error> {
    buf.reset();
    let [n0, n1, n2] = STANDARD_NAMES;
    for family in families {
        buf.help(&family.name, &family.help)?;
        buf.metric_type(&family.name, MetricType::Gauge)?;
        for sample in &family.samples {
            let l = &sample.labels;
            let labels = [
                (n0, l[0].1.as_str()),
                (n1, l[1].1.as_str()),
                (n2, l[2].1.as_str()),
            ];
            buf.sample(&family.name, labels, sample.value)?;
        }
    }
    Ok(())
}

/// The standard scrape's label set as prometheus-client's documentation
/// writes one: a struct deriving its encoding.
#[derive(Clone, Debug, Hash, PartialEq, Eq, EncodeLabelSet)]
struct StandardLabels {
    region: String,
    service: String,
    zone: String,
}

type DerivedSeries = ClientFamily<StandardLabels, Gauge<f64, AtomicU64>>;

/// As [`client_registry`], with the label sets as [`StandardLabels`]; for
/// workloads that [`has_standard_names`].
pub fn derived_registry(families: &[Family]) -> Registry {
    let mut registry = Registry::default();
    for family in families {
        let series = DerivedSeries::default();
        for sample in &family.samples {
            let l = &sample.labels;
            let labels = StandardLabels {
                region: l[2].1.clone(),
                service: l[1].1.clone(),
                zone: l[0].1.clone(),
            };
            series.get_or_create(&labels).set(sample.value);
        }
        registry.register(family.name.clone(), family.help.clone(), series);
    }
    registry
}
