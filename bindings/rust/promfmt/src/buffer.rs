// SPDX-License-Identifier: MIT
use crate::args::Args;
use crate::raw::RawBuffer;
use crate::{Error, Labels, MetricType};
use std::{fmt, io, str};

/// A growing text buffer that the emitters append whole lines to.
///
/// Keep one per exporter and [`reset`](Buffer::reset) it before each scrape:
/// once it has grown to the size of a scrape, writing allocates nothing. A
/// refused call leaves the text exactly as it was, except that
/// [`gauge`](Buffer::gauge) and [`counter`](Buffer::counter) keep the HELP and
/// TYPE lines they wrote before a refused sample.
///
/// `Buffer` is `Send` and `Sync`: every writing method takes `&mut self`, so a
/// buffer shared by reference (for example behind a `RwLock` that request
/// handlers read while one thread re-renders) is only ever read.
pub struct Buffer {
    raw: RawBuffer,
    args: Args,
}

impl Buffer {
    /// An empty buffer. Panics if the memory cannot be had, as `Vec` does.
    pub fn new() -> Buffer {
        Buffer::with_capacity(0)
    }

    /// An empty buffer with room for `bytes` of text from the start.
    /// Panics if the memory cannot be had, as `Vec` does.
    pub fn with_capacity(bytes: usize) -> Buffer {
        Buffer::try_with_capacity(bytes).unwrap_or_else(|e| panic!("promfmt: {e}"))
    }

    /// As [`with_capacity`](Buffer::with_capacity), but returns the library's
    /// message when the memory cannot be had.
    pub fn try_with_capacity(bytes: usize) -> Result<Buffer, Error> {
        Ok(Buffer {
            raw: RawBuffer::create(bytes)?,
            args: Args::default(),
        })
    }

    /// Appends `# HELP name text`; backslashes and line feeds in the text are escaped.
    pub fn help(&mut self, name: &str, text: &str) -> Result<(), Error> {
        let t = self.args.fill(name, Some(text), None::<&()>)?;
        self.raw.help(t.name, t.help)
    }

    /// Appends `# TYPE name kind`.
    pub fn metric_type(&mut self, name: &str, kind: MetricType) -> Result<(), Error> {
        let t = self.args.fill(name, None, None::<&()>)?;
        self.raw.metric_type(t.name, kind.code())
    }

    /// Appends one sample line, `name{labels} value`, labels sorted by name.
    #[inline]
    pub fn sample(&mut self, name: &str, labels: impl Labels, value: f64) -> Result<(), Error> {
        self.sample_at(name, labels, value, 0)
    }

    /// As [`sample`](Buffer::sample), with a timestamp in milliseconds since
    /// the epoch (written only when above 0).
    #[inline]
    pub fn sample_at(
        &mut self,
        name: &str,
        labels: impl Labels,
        value: f64,
        timestamp_ms: i64,
    ) -> Result<(), Error> {
        let t = self.args.fill(name, None, Some(&labels))?;
        self.raw.sample(t.name, t.labels, value, timestamp_ms)
    }

    /// Appends a whole one-series gauge family: HELP (unless `help` is
    /// empty), TYPE and the sample. For a family of several series, write
    /// [`help`](Buffer::help) and [`metric_type`](Buffer::metric_type) once,
    /// then one [`sample`](Buffer::sample) per series.
    pub fn gauge(
        &mut self,
        name: &str,
        help: &str,
        labels: impl Labels,
        value: f64,
    ) -> Result<(), Error> {
        self.one_series(false, name, help, labels, value)
    }

    /// As [`gauge`](Buffer::gauge), with the TYPE `counter`. The name is used
    /// as it is (no `_total` is added).
    pub fn counter(
        &mut self,
        name: &str,
        help: &str,
        labels: impl Labels,
        value: f64,
    ) -> Result<(), Error> {
        self.one_series(true, name, help, labels, value)
    }

    fn one_series(
        &mut self,
        counter: bool,
        name: &str,
        help: &str,
        labels: impl Labels,
        value: f64,
    ) -> Result<(), Error> {
        let t = self.args.fill(name, Some(help), Some(&labels))?;
        self.raw
            .one_series(counter, t.name, t.help, t.labels, value)
    }

    /// Empties the text and keeps the memory.
    pub fn reset(&mut self) {
        self.raw.reset();
    }

    /// The text written so far.
    pub fn as_bytes(&self) -> &[u8] {
        self.raw.bytes()
    }

    /// The text as `&str`. It is always UTF-8: every name, help text and
    /// label given here is a `&str`, and the library refuses labels JSON
    /// whose escapes are not Unicode characters (a lone surrogate, say).
    /// Checking that costs one pass over the text; [`as_bytes`](Buffer::as_bytes) does not.
    pub fn as_str(&self) -> &str {
        str::from_utf8(self.as_bytes()).expect("the library writes UTF-8 from UTF-8 input")
    }

    /// Bytes of text.
    pub fn len(&self) -> usize {
        self.as_bytes().len()
    }

    pub fn is_empty(&self) -> bool {
        self.len() == 0
    }

    /// Writes the whole text to `out`.
    pub fn write_to<W: io::Write>(&self, mut out: W) -> io::Result<()> {
        out.write_all(self.as_bytes())
    }
}

impl Default for Buffer {
    fn default() -> Buffer {
        Buffer::new()
    }
}

impl AsRef<[u8]> for Buffer {
    fn as_ref(&self) -> &[u8] {
        self.as_bytes()
    }
}

/// The text, for `write!` into any `fmt::Write`.
impl fmt::Display for Buffer {
    fn fmt(&self, f: &mut fmt::Formatter<'_>) -> fmt::Result {
        f.write_str(self.as_str())
    }
}

impl fmt::Debug for Buffer {
    fn fmt(&self, f: &mut fmt::Formatter<'_>) -> fmt::Result {
        f.debug_struct("Buffer")
            .field("len", &self.len())
            .finish_non_exhaustive()
    }
}
