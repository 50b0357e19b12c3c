// SPDX-License-Identifier: MIT
//! Tests over the short texts of every call, a word at a time: a text is
//! read as whole words, the last one overlapping the one before (the order
//! of bytes in a word does not matter to these tests), so names and values
//! up to 16 bytes, nearly all of them, take two loads and no loop.

const ONES: u64 = 0x0101_0101_0101_0101;
const HIGHS: u64 = 0x8080_8080_8080_8080;

/// High bits set where a byte of `word` is below `n` (n ≤ 0x80), once
/// masked with `HIGHS`. A borrow can mark bytes above the first hit, never
/// a word without one.
#[inline(always)]
fn below(word: u64, n: u8) -> u64 {
    word.wrapping_sub(ONES * u64::from(n)) & !word
}

/// Whether `hit` marks any word of `bytes`.
#[inline(always)]
fn any_word(bytes: &[u8], hit: impl Fn(u64) -> u64) -> bool {
    let n = bytes.len();
    let word = |at: usize| u64::from_le_bytes(bytes[at..at + 8].try_into().expect("8 bytes"));
    let half = |at: usize| {
        u64::from(u32::from_le_bytes(
            bytes[at..at + 4].try_into().expect("4 bytes"),
        ))
    };
    let found = match n {
        0 => 0,
        // Bytes 0, n/2 and n-1 are every byte; the first fills the rest.
        1..=3 => {
            let byte = |at: usize| u64::from(bytes[at]);
            hit(byte(0) | byte(n / 2) << 8 | byte(n - 1) << 16 | (ONES * byte(0)) << 24)
        }
        4..=7 => hit(half(0) | half(n - 4) << 32),
        8..=16 => hit(word(0)) | hit(word(n - 8)),
        // Whole words from the start; the last word covers what is left.
        _ => bytes.chunks_exact(8).fold(hit(word(n - 8)), |found, c| {
            found | hit(u64::from_le_bytes(c.try_into().expect("8 bytes")))
        }),
    };
    found & HIGHS != 0
}

/// Whether JSON must escape a byte of `bytes`: a control character, `"` or
/// `\`. Flipping bit 1 takes `"` (0x22) to 0x20 and keeps control bytes
/// below 0x20, while every other byte stays at 0x21 or above: one test for both.
#[inline]
pub(crate) fn needs_json_escape(bytes: &[u8]) -> bool {
    any_word(bytes, |w| {
        below(w ^ (ONES * 0x02), 0x21) | below(w ^ (ONES * u64::from(b'\\')), 1)
    })
}

/// Whether `bytes` holds a NUL.
#[inline]
pub(crate) fn has_nul(bytes: &[u8]) -> bool {
    any_word(bytes, |w| below(w, 1))
}
