// SPDX-License-Identifier: MIT
//! Writes metrics in the Prometheus text exposition format (version 0.0.4)
//! through the promfmt library: names checked, help texts and label values
//! escaped, labels sorted, values rendered exactly.
//!
//! ```
//! use promfmt::{Buffer, MetricType};
//!
//! let mut buf = Buffer::new();
//! buf.help("queue_length", "Jobs waiting, per queue.")?;
//! buf.metric_type("queue_length", MetricType::Gauge)?;
//! buf.sample("queue_length", [("queue", "mail")], 3.0)?;
//! buf.sample("queue_length", [("queue", "print")], 0.0)?;
//! assert_eq!(buf.as_str(), "\
//! ## HELP queue_length Jobs waiting, per queue.
//! ## TYPE queue_length gauge
//! queue_length{queue=\"mail\"} 3
//! queue_length{queue=\"print\"} 0
//! ");
//! # Ok::<(), promfmt::Error>(())
//! ```
//!
//! Refusals come back as [`Error`] with the library's message. The library
//! keeps that message in one text for the whole process; the binding reads
//! it with every other call of the binding shut out, so each `Error` carries
//! its own call's message even when several threads fail at once.
#![deny(unsafe_code)]

mod args;
mod buffer;
mod error;
mod escape;
mod labels;
mod metric_type;
mod raw;
mod scan;

pub use buffer::Buffer;
pub use error::Error;
pub use escape::escape_label_value;
pub use labels::{labels_json, Json, LabelWriter, Labels};
pub use metric_type::MetricType;

/// The HTTP `Content-Type` of the text a [`Buffer`] holds.
pub const CONTENT_TYPE: &str = "text/plain; version=0.0.4; charset=utf-8";
