// SPDX-License-Identifier: MIT
//! Raw declarations of the promfmt C interface (`promfmt.h`): the twelve
//! functions, the opaque buffer type and the metric-type codes. The safe
//! API is the `promfmt` crate; the header documents each function's contract.
//!
//! By default the build script compiles the library from the repository's
//! sources with CMake and links it statically; with the `pkg-config` feature
//! it links the installed shared library instead.
#![no_std]
#![allow(non_camel_case_types)]

use core::ffi::{c_char, c_int};

/// The output buffer; only ever handled through a pointer.
#[repr(C)]
pub struct promfmt_buffer_t {
    _private: [u8; 0],
    _not_send_sync: core::marker::PhantomData<*mut u8>,
}

/// Metric kind passed to [`promfmt_emit_type`]; any other value writes "untyped".
pub type promfmt_metric_type_t = i32;
pub const PROMFMT_TYPE_UNTYPED: promfmt_metric_type_t = 0;
pub const PROMFMT_TYPE_COUNTER: promfmt_metric_type_t = 1;
pub const PROMFMT_TYPE_GAUGE: promfmt_metric_type_t = 2;
pub const PROMFMT_TYPE_HISTOGRAM: promfmt_metric_type_t = 3;
pub const PROMFMT_TYPE_SUMMARY: promfmt_metric_type_t = 4;

extern "C" {
    pub fn promfmt_buffer_create(initial_capacity: usize) -> *mut promfmt_buffer_t;
    pub fn promfmt_buffer_free(buf: *mut promfmt_buffer_t);
    pub fn promfmt_buffer_reset(buf: *mut promfmt_buffer_t);
    pub fn promfmt_buffer_data(buf: *const promfmt_buffer_t) -> *const c_char;
    pub fn promfmt_buffer_len(buf: *const promfmt_buffer_t) -> usize;
    pub fn promfmt_last_error() -> *const c_char;
    pub fn promfmt_escape_label_value(
        in_: *const c_char,
        out: *mut c_char,
        out_size: usize,
    ) -> c_int;
    pub fn promfmt_emit_sample(
        buf: *mut promfmt_buffer_t,
        name: *const c_char,
        labels_json: *const c_char,
        value: f64,
        timestamp: i64,
    ) -> c_int;
    pub fn promfmt_emit_help(
        buf: *mut promfmt_buffer_t,
        name: *const c_char,
        help: *const c_char,
    ) -> c_int;
    pub fn promfmt_emit_type(
        buf: *mut promfmt_buffer_t,
        name: *const c_char,
        type_: promfmt_metric_type_t,
    ) -> c_int;
    pub fn promfmt_emit_gauge(
        buf: *mut promfmt_buffer_t,
        name: *const c_char,
        help: *const c_char,
        labels_json: *const c_char,
        value: f64,
    ) -> c_int;
    pub fn promfmt_emit_counter(
        buf: *mut promfmt_buffer_t,
        name: *const c_char,
        help: *const c_char,
        labels_json: *const c_char,
        value: f64,
    ) -> c_int;
}
