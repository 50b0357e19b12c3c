// SPDX-License-Identifier: MIT
//! The only module that calls the C library: safe wrappers that take
//! NUL-terminated text ([`CText`]) and own the buffer pointer.
//!
//! The library keeps the message of the latest failure in one text for the
//! whole process, unlocked: when two threads fail at once, each may read the
//! other's message, or a mix of both. So calls run under a shared lock, side
//! by side; a call that fails is run again with every other call shut out,
//! into a scratch buffer, and the message read then is its own.
#![allow(unsafe_code)]

use crate::Error;
use promfmt_sys as sys;
use std::ffi::{c_char, c_int, CStr};
use std::ptr::{self, NonNull};
use std::sync::{PoisonError, RwLock};

static CALLS: RwLock<()> = RwLock::new(());

/// Runs `attempt` beside other threads' calls; when it fails (`None`), runs
/// `again` (the same call, changing nothing of the caller's) with no other
/// call running, and returns the message then in the text: the one `again`
/// left. (Should `again` succeed, the first failure was a lack of memory that
/// has passed, and the text holds the latest failure's message, most likely
/// the first attempt's.) The text is read only while no call can write it.
#[inline(always)]
fn run<T>(attempt: impl FnOnce() -> Option<T>, again: impl FnOnce()) -> Result<T, Error> {
    {
        let _beside = CALLS.read().unwrap_or_else(PoisonError::into_inner);
        if let Some(value) = attempt() {
            return Ok(value);
        }
    }
    Err(failed(again))
}

/// The way of a call that failed, out of the callers' way.
#[cold]
#[inline(never)]
fn failed(again: impl FnOnce()) -> Error {
    let _alone = CALLS.write().unwrap_or_else(PoisonError::into_inner);
    again();
    last_error()
}

fn last_error() -> Error {
    // SAFETY: the library returns a static NUL-terminated block, never NULL;
    // it is copied out at once.
    let text = unsafe { CStr::from_ptr(sys::promfmt_last_error()) };
    Error::new(text.to_string_lossy().into_owned())
}

/// Text for the library: bytes that end in a NUL. The library reads up to
/// the first NUL, so it never reads past the slice.
#[derive(Clone, Copy)]
pub(crate) struct CText<'a>(&'a [u8]);

impl<'a> CText<'a> {
    #[inline]
    pub(crate) fn new(bytes: &'a [u8]) -> Option<CText<'a>> {
        (bytes.last() == Some(&0)).then_some(CText(bytes))
    }

    #[inline]
    fn as_ptr(self) -> *const c_char {
        self.0.as_ptr().cast()
    }
}

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
        // SAFETY: takes no pointer; returns NULL or a buffer the caller owns,
        // wrapped at once so that it is freed on drop.
        let create =
            || NonNull::new(unsafe { sys::promfmt_buffer_create(capacity) }).map(RawBuffer);
        run(create, || drop(create()))
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

    /// Runs `emit` on this buffer; on failure, again on a scratch buffer.
    /// `emit` is given a live buffer that no other thread uses and returns
    /// the library's status.
    #[inline(always)]
    fn emit(&mut self, emit: impl Fn(*mut sys::promfmt_buffer_t) -> c_int) -> Result<(), Error> {
        let again = || {
            // SAFETY: a fresh buffer, used by this thread only, freed once.
            let scratch = unsafe { sys::promfmt_buffer_create(0) };
            // On NULL, the message of the failed creation stands.
            if !scratch.is_null() {
                emit(scratch);
                // SAFETY: as above.
                unsafe { sys::promfmt_buffer_free(scratch) };
            }
        };
        run(|| (emit(self.0.as_ptr()) == 0).then_some(()), again)
    }

    #[inline]
    pub(crate) fn sample(
        &mut self,
        name: CText<'_>,
        labels: CText<'_>,
        value: f64,
        timestamp: i64,
    ) -> Result<(), Error> {
        // SAFETY: `buf` is live and used by this thread only (see `emit`); both
        // texts are NUL-terminated and outlive the call, which only reads them.
        self.emit(|buf| unsafe {
            sys::promfmt_emit_sample(buf, name.as_ptr(), labels.as_ptr(), value, timestamp)
        })
    }

    #[inline]
    pub(crate) fn help(&mut self, name: CText<'_>, help: CText<'_>) -> Result<(), Error> {
        // SAFETY: as in `sample`.
        self.emit(|buf| unsafe { sys::promfmt_emit_help(buf, name.as_ptr(), help.as_ptr()) })
    }

    #[inline]
    pub(crate) fn metric_type(
        &mut self,
        name: CText<'_>,
        kind: sys::promfmt_metric_type_t,
    ) -> Result<(), Error> {
        // SAFETY: as in `sample`; the library takes any 32-bit kind.
        self.emit(|buf| unsafe { sys::promfmt_emit_type(buf, name.as_ptr(), kind) })
    }

    /// A whole one-series family: `counter` picks promfmt_emit_counter
    /// over promfmt_emit_gauge.
    #[inline]
    pub(crate) fn one_series(
        &mut self,
        counter: bool,
        name: CText<'_>,
        help: CText<'_>,
        labels: CText<'_>,
        value: f64,
    ) -> Result<(), Error> {
        let shortcut = if counter {
            sys::promfmt_emit_counter
        } else {
            sys::promfmt_emit_gauge
        };
        // SAFETY: as in `sample`.
        self.emit(|buf| unsafe {
            shortcut(buf, name.as_ptr(), help.as_ptr(), labels.as_ptr(), value)
        })
    }
}

impl Drop for RawBuffer {
    fn drop(&mut self) {
        // SAFETY: the buffer is live and this is its only owner; never used again.
        unsafe { sys::promfmt_buffer_free(self.0.as_ptr()) }
    }
}

/// The escaped text of `value` (`\\`, `\"` and `\n` for backslash, quote, line feed).
pub(crate) fn escape_label_value(value: CText<'_>) -> Result<Vec<u8>, Error> {
    // SAFETY: measuring: a NUL-terminated input and a NULL output, nothing written.
    let measure = || {
        usize::try_from(unsafe {
            sys::promfmt_escape_label_value(value.as_ptr(), ptr::null_mut(), 0)
        })
    };
    let len = run(
        || measure().ok(),
        || {
            let _ = measure();
        },
    )?;
    let mut out = vec![0u8; len + 1];
    // SAFETY: `out` has room for the measured length and the NUL; it cannot
    // fail, having been measured.
    unsafe { sys::promfmt_escape_label_value(value.as_ptr(), out.as_mut_ptr().cast(), out.len()) };
    out.truncate(len);
    Ok(out)
}
