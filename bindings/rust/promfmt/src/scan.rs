// SPDX-License-Identifier: MIT
//! Byte searches over the short texts of every call, eight bytes at a time.

const ONES: u64 = u64::from_le_bytes([1; 8]);

/// Non-zero when some byte of `x` is below `n` (at most 0x80).
fn any_below(x: u64, n: u8) -> u64 {
    x.wrapping_sub(ONES * u64::from(n)) & !x & (ONES * 0x80)
}

/// Non-zero when some byte of `x` is `b`.
fn any_equal(x: u64, b: u8) -> u64 {
    any_below(x ^ (ONES * u64::from(b)), 1)
}

/// The first place where `hit` holds, testing whole words with `word_hit` first.
fn find(bytes: &[u8], word_hit: impl Fn(u64) -> u64, hit: impl Fn(u8) -> bool) -> Option<usize> {
    let mut start = 0;
    for chunk in bytes.chunks_exact(8) {
        if word_hit(u64::from_le_bytes(chunk.try_into().expect("8 bytes"))) != 0 {
            break;
        }
        start += 8;
    }
    bytes[start..]
        .iter()
        .position(|&b| hit(b))
        .map(|i| start + i)
}

/// Where the first byte that JSON must escape is: a control character, `"` or `\`.
#[inline]
pub(crate) fn first_to_escape(bytes: &[u8]) -> Option<usize> {
    find(
        bytes,
        |x| any_below(x, 0x20) | any_equal(x, b'"') | any_equal(x, b'\\'),
        |b| b < 0x20 || b == b'"' || b == b'\\',
    )
}

/// Whether `bytes` holds a NUL.
#[inline]
pub(crate) fn has_nul(bytes: &[u8]) -> bool {
    find(bytes, |x| any_below(x, 1), |b| b == 0).is_some()
}
