// SPDX-License-Identifier: MIT
//! The only module that calls the C library: safe wrappers that take
//! NUL-terminated text as `&CStr` and own the buffer pointer.
#![allow(unsafe_code)]

use crate::Error;
use promfmt_sys as sys;
use std::ffi::{c_int, CStr};
use std::ptr::{self, NonNull};

/// One library buffer, freed on drop.
pub(crate) struct RawBuffer(NonNull<sys::promfmt_buffer_t>);

// SAFETY: a library buffer has no tie to the thread that created it; it may be
// used, reset and freed from any thread as long as two threads never use it at
// once, which `&mut self` on every writing method guarantees.
unsafe impl Send for RawBuffer {}
// SAFETY: the only `&self` calls are promfmt_buffer_data and promfmt_buffer_len,
// which the library allows from any number of threads while none writes.
unsafe impl Sync for RawBuffer {}

impl RawBuffer {
    pub(crate) fn create(capacity: usize) -> Result<RawBuffer, Error> {
        // SAFETY: takes no pointer; returns NULL or a buffer the caller owns.
        let buf = unsafe { sys::promfmt_buffer_create(capacity) };
        NonNull::new(buf).map(RawBuffer).ok_or_else(last_error)
    }

    pub(crate) fn bytes(&self) -> &[u8] {
        // SAFETY: the buffer is live; data is never NULL and holds len bytes,
        // valid until the next write, reset or free, each of which needs
        // `&mut self` and so ends this borrow first.
        unsafe {
            let data = sys::promfmt_buffer_data(self.0.as_ptr());
            std::slice::from_raw_parts(data.cast::<u8>(), sys::promfmt_buffer_len(self.0.as_ptr()))
        }
    }

    pub(crate) fn reset(&mut self) {
        // SAFETY: the buffer is live and borrowed mutably.
        unsafe { sys::promfmt_buffer_reset(self.0.as_ptr()) }
    }

    pub(crate) fn sample(&mut self, name: &CStr, labels: &CStr, value: f64, timestamp: i64) -> Result<(), Error> {
        // SAFETY: live buffer borrowed mutably; both texts are NUL-terminated
        // and outlive the call, which only reads them.
        status(unsafe { sys::promfmt_emit_sample(self.0.as_ptr(), name.as_ptr(), labels.as_ptr(), value, timestamp) })
    }

    pub(crate) fn help(&mut self, name: &CStr, help: &CStr) -> Result<(), Error> {
        // SAFETY: as in `sample`.
        status(unsafe { sys::promfmt_emit_help(self.0.as_ptr(), name.as_ptr(), help.as_ptr()) })
    }

    pub(crate) fn metric_type(&mut self, name: &CStr, kind: sys::promfmt_metric_type_t) -> Result<(), Error> {
        // SAFETY: as in `sample`; the library takes any 32-bit kind.
        status(unsafe { sys::promfmt_emit_type(self.0.as_ptr(), name.as_ptr(), kind) })
    }

    pub(crate) fn gauge(&mut self, name: &CStr, help: &CStr, labels: &CStr, value: f64) -> Result<(), Error> {
        // SAFETY: as in `sample`.
        status(unsafe { sys::promfmt_emit_gauge(self.0.as_ptr(), name.as_ptr(), help.as_ptr(), labels.as_ptr(), value) })
    }

    pub(crate) fn counter(&mut self, name: &CStr, help: &CStr, labels: &CStr, value: f64) -> Result<(), Error> {
        // SAFETY: as in `sample`.
        status(unsafe { sys::promfmt_emit_counter(self.0.as_ptr(), name.as_ptr(), help.as_ptr(), labels.as_ptr(), value) })
    }
}

impl Drop for RawBuffer {
    fn drop(&mut self) {
        // SAFETY: the buffer is live and this is its only owner; never used again.
        unsafe { sys::promfmt_buffer_free(self.0.as_ptr()) }
    }
}

/// The escaped text of `value` (`\\`, `\"` and `\n` for backslash, quote, line feed).
pub(crate) fn escape_label_value(value: &CStr) -> Result<Vec<u8>, Error> {
    // SAFETY: measuring: a NUL-terminated input and a NULL output, nothing written.
    let len = unsafe { sys::promfmt_escape_label_value(value.as_ptr(), ptr::null_mut(), 0) };
    let len = usize::try_from(len).map_err(|_| last_error())?;
    let mut out = vec![0u8; len + 1];
    // SAFETY: `out` has room for the measured length and the NUL.
    let written = unsafe { sys::promfmt_escape_label_value(value.as_ptr(), out.as_mut_ptr().cast(), out.len()) };
    status(if written < 0 { -1 } else { 0 })?;
    out.truncate(len);
    Ok(out)
}

/// Turns a C status into a result; called right after the call that returned
/// it, on the same thread, so the last-error text read on failure is the one
/// that call left (unless another thread fails at the same instant: the
/// library keeps one text for the whole process).
fn status(rc: c_int) -> Result<(), Error> {
    if rc == 0 {
        Ok(())
    } else {
        Err(last_error())
    }
}

fn last_error() -> Error {
    // SAFETY: the library returns a static NUL-terminated block, never NULL;
    // it is copied out at once.
    let text = unsafe { CStr::from_ptr(sys::promfmt_last_error()) };
    Error::new(text.to_string_lossy().into_owned())
}
