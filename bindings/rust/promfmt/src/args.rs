// SPDX-License-Identifier: MIT
use crate::labels::{LabelWriter, Labels};
use crate::Error;
use std::ffi::CStr;

/// NUL-terminated copies of one call's text arguments, in one block that
/// every call reuses: once it has grown, a call allocates nothing.
#[derive(Default)]
pub(crate) struct Args {
    bytes: Vec<u8>,
}

/// The texts of one call, ready for the library.
pub(crate) struct Texts<'a> {
    pub name: &'a CStr,
    pub help: &'a CStr,
    pub labels: &'a CStr,
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
        bytes.extend_from_slice(name.as_bytes());
        bytes.push(0);
        let help_at = bytes.len();
        bytes.extend_from_slice(help.as_bytes());
        bytes.push(0);
        let labels_at = bytes.len();
        let mut writer = LabelWriter::new(bytes);
        labels.write_labels(&mut writer);
        writer.finish();
        bytes.push(0);
        Ok(Texts {
            name: c_text(&self.bytes[..help_at], "metric name")?,
            help: c_text(&self.bytes[help_at..labels_at], "help text")?,
            labels: c_text(&self.bytes[labels_at..], "labels JSON")?,
        })
    }
}

/// `bytes` (ending in its NUL) as a C string, refused when it holds another NUL.
fn c_text<'a>(bytes: &'a [u8], what: &str) -> Result<&'a CStr, Error> {
    CStr::from_bytes_with_nul(bytes).map_err(|_| Error::nul_byte(what))
}
