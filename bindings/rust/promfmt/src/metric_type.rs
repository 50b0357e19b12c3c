// SPDX-License-Identifier: MIT
use promfmt_sys as sys;

/// The kind written on a family's TYPE line.
#[derive(Debug, Clone, Copy, PartialEq, Eq, Hash)]
pub enum MetricType {
    Untyped,
    Counter,
    Gauge,
    Histogram,
    Summary,
}

impl MetricType {
    pub(crate) fn code(self) -> sys::promfmt_metric_type_t {
        match self {
            MetricType::Untyped => sys::PROMFMT_TYPE_UNTYPED,
            MetricType::Counter => sys::PROMFMT_TYPE_COUNTER,
            MetricType::Gauge => sys::PROMFMT_TYPE_GAUGE,
            MetricType::Histogram => sys::PROMFMT_TYPE_HISTOGRAM,
            MetricType::Summary => sys::PROMFMT_TYPE_SUMMARY,
        }
    }
}
