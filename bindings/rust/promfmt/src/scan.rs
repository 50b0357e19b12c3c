// SPDX-License-Identifier: MIT
//! Tests over the short texts of every call. They look at every byte
//! without stopping early, which lets the compiler test many bytes at once.

/// Whether JSON must escape a byte of `bytes`: a control character, `"` or `\`.
#[inline]
pub(crate) fn needs_json_escape(bytes: &[u8]) -> bool {
    let hit = |b: u8| (b < 0x20) | (b == b'"') | (b == b'\\');
    bytes.iter().fold(false, |any, &b| any | hit(b))
}

/// Whether `bytes` holds a NUL.
#[inline]
pub(crate) fn has_nul(bytes: &[u8]) -> bool {
    bytes.iter().fold(false, |any, &b| any | (b == 0))
}
