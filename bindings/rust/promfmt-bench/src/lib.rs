// SPDX-License-Identifier: MIT
//! The Rust binding's benchmark: the standard scrape written through the
//! binding from Rust values, against prometheus-client's text encoder over
//! the same families (`cargo bench`), and the peer of the project's
//! benchmark (`promfmt-bench-rust`).
pub mod cpu;
pub mod workload;
pub mod writers;
