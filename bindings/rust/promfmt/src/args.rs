// SPDX-License-Identifier: MIT
use crate::labels::{LabelWriter, Labels};
use crate::raw::CText;
use crate::scan::has_nul;
use crate::Error;

/// NUL-terminated copies of one call's text arguments, in one block that
/// every call reuses: once it has grown, a call allocates nothing.
#[derive(Default)]
pub(crate) struct Args {
    bytes: Vec<u8>,
}

/// The texts of one call, ready for the library.
pub(crate) struct Texts<'a> {
    pub name: CText<'a>,
    pub help: CText<'a>,
    pub labels: CText<'a>,
}

impl Args {
    pub(crate) fn fill<L: Labels + ?Sized>(
        &mut self,
        name: &str,
        help: &str,
        labels: &L,
    ) -> Result<Texts<'_>, Error> {
        let bytes = &mut self.bytes;
        bytes.clear();
        bytes.reserve(name.len() + help.len() + 3);
        push_text(bytes, name);
        let help_at = bytes.len();
        push_text(bytes, help);
        let labels_at = bytes.len();
        let mut writer = LabelWriter::new(bytes);
        labels.write_labels(&mut writer);
        let escaped = writer.finish();
        bytes.push(0);
        let labels = &self.bytes[labels_at..];
        Ok(Texts {
            name: c_text(&self.bytes[..help_at], "metric name")?,
            help: c_text(&self.bytes[help_at..labels_at], "help text")?,
            labels: if escaped {
                CText::new(labels).expect("ends in NUL")
            } else {
                c_text(labels, "labels JSON")?
            },
        })
    }
}

#[inline]
fn push_text(bytes: &mut Vec<u8>, text: &str) {
    bytes.extend_from_slice(text.as_bytes());
    bytes.push(0);
}

/// `bytes`, which ends in the NUL written after it, as the library's text;
/// refused when it holds another NUL, where the library would stop reading.
#[inline]
fn c_text<'a>(bytes: &'a [u8], what: &str) -> Result<CText<'a>, Error> {
    let (_, text) = bytes.split_last().expect("a NUL was written");
    if has_nul(text) {
        return Err(Error::nul_byte(what));
    }
    Ok(CText::new(bytes).expect("ends in NUL"))
}
