// SPDX-License-Identifier: MIT
use crate::raw::{self, CText};
use crate::Error;
use std::ffi::CString;

/// Escapes a label value as the exposition format does: backslash, double
/// quote and line feed become `\\`, `\"` and `\n`; every other character is
/// kept. (The buffer escapes label values itself; this is for hosts that
/// write lines of their own.) Fails on a NUL byte, which the library cannot see.
///
/// ```
/// assert_eq!(promfmt::escape_label_value("C:\\tmp \"x\"\n")?, r#"C:\\tmp \"x\"\n"#);
/// # Ok::<(), promfmt::Error>(())
/// ```
pub fn escape_label_value(value: &str) -> Result<String, Error> {
    let value = CString::new(value).map_err(|_| Error::nul_byte("label value"))?;
    let value = CText::new(value.as_bytes_with_nul()).expect("ends in NUL");
    let escaped = raw::escape_label_value(value)?;
    Ok(String::from_utf8(escaped).expect("escaping ASCII bytes keeps UTF-8 valid"))
}
