// SPDX-License-Identifier: MIT
use crate::labels::{LabelWriter, Labels};
use crate::raw::CText;
use crate::scan::{has_nul, same_bytes};
use crate::Error;

/// NUL-terminated copies of one call's text arguments, in blocks that
/// every call reuses: once they have grown, a call allocates nothing. The
/// metric name is kept from call to call, as a family's lines repeat it.
#[derive(Default)]
pub(crate) struct Args {
    name: Vec<u8>,   // the name and its NUL, once checked for other NULs
    help: Vec<u8>,   // the help text and its NUL
    labels: Vec<u8>, // the labels JSON and its NUL
}

/// The texts of one call, ready for the library; those the call was not
/// given are empty.
pub(crate) struct Texts<'a> {
    pub name: CText<'a>,
    pub help: CText<'a>,
    pub labels: CText<'a>,
}

const EMPTY: &[u8] = b"\0";

impl Args {
    /// The name, and the help text and labels when given, checked in that
    /// order: the first with a NUL inside is refused.
    #[inline]
    pub(crate) fn fill<L: Labels + ?Sized>(
        &mut self,
        name: &str,
        help: Option<&str>,
        labels: Option<&L>,
    ) -> Result<Texts<'_>, Error> {
        let kept = self.name.split_last().map(|(_, text)| text);
        if !kept.is_some_and(|kept| same_bytes(kept, name.as_bytes())) {
            keep_name(&mut self.name, name)?;
        }
        if let Some(help) = help {
            self.help.clear();
            push_text(&mut self.help, help);
            if has_nul(help.as_bytes()) {
                return Err(Error::nul_byte("help text"));
            }
        }
        if let Some(labels) = labels {
            self.labels.clear();
            let mut writer = LabelWriter::new(&mut self.labels);
            labels.write_labels(&mut writer);
            let escaped = writer.finish();
            self.labels.push(0);
            // Escaped pairs hold no NUL; text given as it is may.
            if !escaped && has_nul(&self.labels[..self.labels.len() - 1]) {
                return Err(Error::nul_byte("labels JSON"));
            }
        }
        Ok(Texts {
            name: CText::new(&self.name).expect("ends in NUL"),
            help: given(help.is_some(), &self.help),
            labels: given(labels.is_some(), &self.labels),
        })
    }
}

/// A text filled by this call, or the empty text when it was not given.
#[inline]
fn given(is_given: bool, bytes: &[u8]) -> CText<'_> {
    CText::new(if is_given { bytes } else { EMPTY }).expect("ends in NUL")
}

/// Copies a name that differs from the kept one; a name with a NUL is
/// refused and not kept, so the next call checks it again.
#[cold]
#[inline(never)]
fn keep_name(kept: &mut Vec<u8>, name: &str) -> Result<(), Error> {
    kept.clear();
    if has_nul(name.as_bytes()) {
        return Err(Error::nul_byte("metric name"));
    }
    push_text(kept, name);
    Ok(())
}

#[inline]
fn push_text(bytes: &mut Vec<u8>, text: &str) {
    bytes.reserve(text.len().saturating_add(1));
    bytes.extend_from_slice(text.as_bytes());
    bytes.push(0);
}
