// SPDX-License-Identifier: MIT
use crate::labels::{LabelWriter, Labels};
use crate::raw::CText;
use crate::scan::has_nul;
use crate::Error;

/// NUL-terminated copies of one call's text arguments, in blocks that
/// every call reuses: once they have grown, a call allocates nothing. The
/// metric name is kept from call to call, as a family's lines repeat it.
#[derive(Default)]
pub(crate) struct Args {
    name: Vec<u8>,  // the name and its NUL, once checked for other NULs
    bytes: Vec<u8>, // the help text and the labels JSON, each with its NUL
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
        let kept = self.name.split_last().map(|(_, text)| text);
        if kept != Some(name.as_bytes()) {
            self.name.clear();
            push_text(&mut self.name, name);
            if let Err(e) = c_text(&self.name, "metric name") {
                self.name.clear(); // never kept: the next call checks it again
                return Err(e);
            }
        }
        let bytes = &mut self.bytes;
        bytes.clear();
        bytes.reserve(help.len() + 2);
        push_text(bytes, help);
        let labels_at = bytes.len();
        let mut writer = LabelWriter::new(bytes);
        labels.write_labels(&mut writer);
        let escaped = writer.finish();
        bytes.push(0);
        let labels = &self.bytes[labels_at..];
        Ok(Texts {
            name: CText::new(&self.name).expect("ends in NUL"),
            help: c_text(&self.bytes[..labels_at], "help text")?,
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
