// SPDX-License-Identifier: MIT
use crate::scan::push_plain_label;
use std::collections::{BTreeMap, HashMap};

/// A sample's label set. The library takes labels as the text of one JSON
/// object: pairs are written into that text (escaped as JSON) by the buffer,
/// into memory it reuses from call to call; [`Json`] hands over ready text.
///
/// Implemented for `()` (no labels), slices, arrays and `Vec`s of pairs,
/// `BTreeMap` and `HashMap`, [`Json`], and references to any of them. Names
/// and values are anything that is `AsRef<str>`. A struct of your own can
/// implement it with one [`LabelWriter::label`] call per label:
///
/// ```
/// struct Request<'a> { method: &'a str, code: &'a str }
///
/// impl promfmt::Labels for Request<'_> {
///     fn write_labels(&self, out: &mut promfmt::LabelWriter<'_>) {
///         out.label("method", self.method);
///         out.label("code", self.code);
///     }
/// }
///
/// let mut buf = promfmt::Buffer::new();
/// buf.sample("http_requests_total", Request { method: "GET", code: "200" }, 7.0)?;
/// assert_eq!(buf.as_bytes(), b"http_requests_total{code=\"200\",method=\"GET\"} 7\n");
/// # Ok::<(), promfmt::Error>(())
/// ```
pub trait Labels {
    /// Writes every label through `out`.
    fn write_labels(&self, out: &mut LabelWriter<'_>);
}

/// Labels given as the text of one JSON object, passed to the library as it
/// is: `Json(r#"{"queue":"mail"}"#)`. Its members become the labels (strings
/// as they are, numbers, `true` and `false` written as text).
#[derive(Debug, Clone, Copy, PartialEq, Eq)]
pub struct Json<'a>(pub &'a str);

/// The labels JSON text of `labels`, exactly as the buffer writes it for a
/// call. A series whose labels stay the same from scrape to scrape can keep
/// this text and pass it as [`Json`], which saves escaping them every time.
///
/// ```
/// let text = promfmt::labels_json([("path", "/a\"b")]);
/// assert_eq!(text, r#"{"path":"/a\"b"}"#);
/// let mut buf = promfmt::Buffer::new();
/// buf.sample("hits", promfmt::Json(&text), 1.0)?;
/// # Ok::<(), promfmt::Error>(())
/// ```
pub fn labels_json(labels: impl Labels) -> String {
    let mut json = Vec::new();
    let mut writer = LabelWriter::new(&mut json);
    labels.write_labels(&mut writer);
    writer.finish();
    String::from_utf8(json).expect("JSON escaping keeps UTF-8 valid")
}

/// Builds a labels JSON text inside the buffer's reused argument memory.
pub struct LabelWriter<'a> {
    json: &'a mut Vec<u8>,
    open: bool,
    given_text: bool,
}

impl<'a> LabelWriter<'a> {
    #[inline]
    pub(crate) fn new(json: &'a mut Vec<u8>) -> LabelWriter<'a> {
        LabelWriter {
            json,
            open: false,
            given_text: false,
        }
    }

    /// Adds one label. The library checks the name and refuses duplicates;
    /// a NUL in a value cuts the value there, as in the C interface.
    #[inline]
    pub fn label(&mut self, name: &str, value: &str) {
        let (name, value) = (name.as_bytes(), value.as_bytes());
        let lead = if self.open { b",\"" } else { b"{\"" };
        self.open = true;
        // Nearly every label: both texts written as they are.
        if push_plain_label(self.json, lead, name, value) {
            return;
        }
        let json = &mut *self.json;
        json.extend_from_slice(lead);
        push_escaped(json, name);
        json.extend_from_slice(b"\":\"");
        push_escaped(json, value);
        json.push(b'"');
    }

    #[inline]
    fn text(&mut self, text: &str) {
        self.given_text = true;
        self.json.extend_from_slice(text.as_bytes());
    }

    /// Closes the object; true when only escaped pairs were written (so no
    /// NUL can be in the text), false when JSON text was given as it is.
    #[inline]
    pub(crate) fn finish(self) -> bool {
        if self.open {
            self.json.push(b'}');
        }
        !self.given_text
    }
}

/// Appends `bytes` as the inside of a JSON string: quote and backslash
/// escaped, control characters as `\u00XX`, everything else (UTF-8
/// included) as it is.
fn push_escaped(out: &mut Vec<u8>, bytes: &[u8]) {
    const HEX: &[u8; 16] = b"0123456789abcdef";
    for &b in bytes {
        match b {
            b'"' | b'\\' => out.extend_from_slice(&[b'\\', b]),
            0..=0x1f => out.extend_from_slice(&[
                b'\\',
                b'u',
                b'0',
                b'0',
                HEX[usize::from(b >> 4)],
                HEX[usize::from(b & 15)],
            ]),
            _ => out.push(b),
        }
    }
}

impl Labels for () {
    fn write_labels(&self, _: &mut LabelWriter<'_>) {}
}

impl Labels for Json<'_> {
    fn write_labels(&self, out: &mut LabelWriter<'_>) {
        out.text(self.0);
    }
}

impl<L: Labels + ?Sized> Labels for &L {
    fn write_labels(&self, out: &mut LabelWriter<'_>) {
        (**self).write_labels(out);
    }
}

fn write_pairs<'p, K, V>(pairs: impl IntoIterator<Item = (&'p K, &'p V)>, out: &mut LabelWriter<'_>)
where
    K: AsRef<str> + ?Sized + 'p,
    V: AsRef<str> + ?Sized + 'p,
{
    for (name, value) in pairs {
        out.label(name.as_ref(), value.as_ref());
    }
}

impl<K: AsRef<str>, V: AsRef<str>> Labels for [(K, V)] {
    fn write_labels(&self, out: &mut LabelWriter<'_>) {
        write_pairs(self.iter().map(|(k, v)| (k, v)), out);
    }
}

impl<K: AsRef<str>, V: AsRef<str>, const N: usize> Labels for [(K, V); N] {
    fn write_labels(&self, out: &mut LabelWriter<'_>) {
        self[..].write_labels(out);
    }
}

impl<K: AsRef<str>, V: AsRef<str>> Labels for Vec<(K, V)> {
    fn write_labels(&self, out: &mut LabelWriter<'_>) {
        self[..].write_labels(out);
    }
}

impl<K: AsRef<str>, V: AsRef<str>> Labels for BTreeMap<K, V> {
    fn write_labels(&self, out: &mut LabelWriter<'_>) {
        write_pairs(self, out);
    }
}

impl<K: AsRef<str>, V: AsRef<str>, S> Labels for HashMap<K, V, S> {
    fn write_labels(&self, out: &mut LabelWriter<'_>) {
        write_pairs(self, out);
    }
}
