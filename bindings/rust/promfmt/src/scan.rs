// SPDX-License-Identifier: MIT
//! Tests over the short texts of every call, a word at a time: a text is
//! read as whole words, the last one overlapping the one before (the order
//! of bytes in a word does not matter to these tests), so names and values
//! up to 16 bytes, nearly all of them, take two loads and no loop. A plain
//! label is then written from those same words.

use std::mem::MaybeUninit;

const ONES: u64 = 0x0101_0101_0101_0101;
#[cfg_attr(target_arch = "x86_64", allow(dead_code))]
const HIGHS: u64 = 0x8080_8080_8080_8080;

/// High bits set where a byte of `word` is below `n` (n ≤ 0x80), once
/// masked with `HIGHS`. A borrow can mark bytes above the first hit, never
/// a word without one.
#[cfg_attr(target_arch = "x86_64", allow(dead_code))]
#[inline(always)]
fn below(word: u64, n: u8) -> u64 {
    word.wrapping_sub(ONES * u64::from(n)) & !word
}

/// Marks (once masked with `HIGHS`) where a byte of `word` must be escaped
/// in JSON: a control character, `"` or `\`. Flipping bit 1 takes `"`
/// (0x22) to 0x20 and keeps control bytes below 0x20, while every other
/// byte stays at 0x21 or above: one test for both.
#[cfg_attr(target_arch = "x86_64", allow(dead_code))]
#[inline(always)]
fn json_special(word: u64) -> u64 {
    below(word ^ (ONES * 0x02), 0x21) | below(word ^ (ONES * u64::from(b'\\')), 1)
}

/// Whether a byte of `a` or `b` must be escaped in JSON; on x86-64 both
/// words are tested at once in one SSE2 register.
#[cfg(target_arch = "x86_64")]
#[inline(always)]
#[allow(unsafe_code)]
fn json_special_pair(a: u64, b: u64) -> bool {
    use std::arch::x86_64::*;
    // SAFETY: SSE2 is part of every x86-64 target, and these take no pointers.
    unsafe {
        let v = _mm_set_epi64x(b as i64, a as i64);
        let control = _mm_cmpeq_epi8(_mm_min_epu8(v, _mm_set1_epi8(0x1F)), v);
        let quote = _mm_cmpeq_epi8(v, _mm_set1_epi8(b'"' as i8));
        let backslash = _mm_cmpeq_epi8(v, _mm_set1_epi8(b'\\' as i8));
        _mm_movemask_epi8(_mm_or_si128(control, _mm_or_si128(quote, backslash))) != 0
    }
}

#[cfg(not(target_arch = "x86_64"))]
use words_json_special_pair as json_special_pair;

/// json_special_pair() a word at a time, for every host.
#[cfg_attr(target_arch = "x86_64", allow(dead_code))]
#[inline(always)]
fn words_json_special_pair(a: u64, b: u64) -> bool {
    (json_special(a) | json_special(b)) & HIGHS != 0
}

#[inline(always)]
fn word_at(bytes: &[u8], at: usize) -> u64 {
    u64::from_le_bytes(bytes[at..at + 8].try_into().expect("8 bytes"))
}

#[inline(always)]
fn half_at(bytes: &[u8], at: usize) -> u64 {
    u64::from(u32::from_le_bytes(
        bytes[at..at + 4].try_into().expect("4 bytes"),
    ))
}

/// Whether a byte of `a` or `b` is NUL.
#[cfg(target_arch = "x86_64")]
#[inline(always)]
#[allow(unsafe_code)]
fn nul_pair(a: u64, b: u64) -> bool {
    use std::arch::x86_64::*;
    // SAFETY: SSE2 is part of every x86-64 target, and these take no pointers.
    unsafe {
        let v = _mm_set_epi64x(b as i64, a as i64);
        _mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_setzero_si128())) != 0
    }
}

#[cfg(not(target_arch = "x86_64"))]
use words_nul_pair as nul_pair;

/// nul_pair() a word at a time, for every host.
#[cfg_attr(target_arch = "x86_64", allow(dead_code))]
#[inline(always)]
fn words_nul_pair(a: u64, b: u64) -> bool {
    (below(a, 1) | below(b, 1)) & HIGHS != 0
}

/// Whether `pair` finds a byte it looks for in two words of `bytes`, for
/// texts of any length: sixteen bytes a step, the last step overlapping
/// the one before; under 8 bytes, the bytes are packed into one word (the
/// first byte filling what is left) and tested twice.
#[inline(always)]
fn any_pair(bytes: &[u8], pair: impl Fn(u64, u64) -> bool) -> bool {
    let n = bytes.len();
    match n {
        0 => false,
        // Bytes 0, n/2 and n-1 are every byte.
        1..=3 => {
            let byte = |at: usize| u64::from(bytes[at]);
            let w = byte(0) | byte(n / 2) << 8 | byte(n - 1) << 16 | (ONES * byte(0)) << 24;
            pair(w, w)
        }
        4..=7 => {
            let w = half_at(bytes, 0) | half_at(bytes, n - 4) << 32;
            pair(w, w)
        }
        8..=16 => pair(word_at(bytes, 0), word_at(bytes, n - 8)),
        _ => {
            // What the whole blocks leave over lies within the last 16 bytes.
            let last = pair(word_at(bytes, n - 16), word_at(bytes, n - 8));
            bytes.chunks_exact(16).fold(last, |found, block| {
                found | pair(word_at(block, 0), word_at(block, 8))
            })
        }
    }
}

/// The words that hold a text of 4 to 16 bytes (its first and last eight,
/// or four), how wide they are, and whether JSON must escape a byte of it.
#[inline(always)]
fn short_words(bytes: &[u8]) -> (u64, u64, usize, bool) {
    let n = bytes.len();
    if n >= 8 {
        let (a, b) = (word_at(bytes, 0), word_at(bytes, n - 8));
        (a, b, 8, json_special_pair(a, b))
    } else {
        // Two halves go into one word, tested twice.
        let (a, b) = (half_at(bytes, 0), half_at(bytes, n - 4));
        let w = a | b << 32;
        (a, b, 4, json_special_pair(w, w))
    }
}

/// Writes the eight bytes of `word` at `room[at..]`.
#[inline(always)]
fn store(room: &mut [MaybeUninit<u8>], at: usize, word: u64) {
    for (d, s) in room[at..at + 8].iter_mut().zip(word.to_le_bytes()) {
        d.write(s);
    }
}

/// Appends `lead`, then `"name":"value"` with its quotes, when JSON needs
/// no escape in the name or the value, and says whether it did (when not,
/// `out` is as it was). Names and values of 4 to 16 bytes, nearly all of
/// them, are written from the words their test loaded: fixed-size stores
/// into room made once, no copy of any length.
#[inline]
#[allow(unsafe_code)]
pub(crate) fn push_plain_label(
    out: &mut Vec<u8>,
    lead: &[u8; 2],
    name: &[u8],
    value: &[u8],
) -> bool {
    let short = |t: &[u8]| (4..=16).contains(&t.len());
    if !(short(name) && short(value)) {
        if needs_json_escape(name) || needs_json_escape(value) {
            return false;
        }
        out.reserve(name.len().saturating_add(value.len()).saturating_add(6));
        for piece in [&lead[..], name, b"\":\"", value, b"\""] {
            out.extend_from_slice(piece);
        }
        return true;
    }
    let (na, nb, n_width, n_special) = short_words(name);
    let (va, vb, v_width, v_special) = short_words(value);
    if n_special || v_special {
        return false;
    }
    // lead, 16 + 4 for the name (a store may reach 4 bytes past its end),
    // '":"', 16 + 4 for the value, '"'.
    const ROOM: usize = 2 + 20 + 3 + 20 + 1;
    out.reserve(ROOM);
    let at = out.len();
    let room = &mut out.spare_capacity_mut()[..ROOM];
    room[0].write(lead[0]);
    room[1].write(lead[1]);
    let mut k = 2;
    store(room, k, na);
    store(room, k + name.len() - n_width, nb);
    k += name.len();
    for b in *b"\":\"" {
        room[k].write(b);
        k += 1;
    }
    store(room, k, va);
    store(room, k + value.len() - v_width, vb);
    k += value.len();
    room[k].write(b'"');
    // SAFETY: room[..k + 1], the bytes after the old length, were all
    // written above (each store covers what the one before left out).
    unsafe { out.set_len(at + k + 1) };
    true
}

/// Whether `a` and `b` hold the same bytes, compared a word at a time as
/// [`any_pair`] reads them: a metric name against the one kept.
#[inline]
pub(crate) fn same_bytes(a: &[u8], b: &[u8]) -> bool {
    let n = a.len();
    if n != b.len() {
        return false;
    }
    match n {
        0..=3 => a.iter().zip(b).all(|(x, y)| x == y),
        4..=7 => half_at(a, 0) == half_at(b, 0) && half_at(a, n - 4) == half_at(b, n - 4),
        _ => {
            let last = word_at(a, n - 8) ^ word_at(b, n - 8);
            let words = a.chunks_exact(8).zip(b.chunks_exact(8));
            words.fold(last, |diff, (x, y)| diff | (word_at(x, 0) ^ word_at(y, 0))) == 0
        }
    }
}

/// Whether JSON must escape a byte of `bytes`: a control character, `"` or `\`.
#[inline]
pub(crate) fn needs_json_escape(bytes: &[u8]) -> bool {
    any_pair(bytes, json_special_pair)
}

/// Whether `bytes` holds a NUL.
#[inline]
pub(crate) fn has_nul(bytes: &[u8]) -> bool {
    any_pair(bytes, nul_pair)
}

#[cfg(test)]
mod tests {
    use super::*;

    /// Every byte value at every place of a word, among plain neighbours
    /// and among bytes above 0x80: the pair tests and the word-wise ones
    /// agree with the rule byte by byte.
    #[test]
    fn pair_tests_agree_with_the_byte_rules() {
        for fill in [b'a', 0x80, 0xff, b'!', b'#', b']'] {
            for at in 0..16 {
                for b in 0..=255u8 {
                    let mut bytes = [fill; 16];
                    bytes[at] = b;
                    let a = u64::from_le_bytes(bytes[..8].try_into().unwrap());
                    let c = u64::from_le_bytes(bytes[8..].try_into().unwrap());
                    let special = b < 0x20 || b == b'"' || b == b'\\';
                    assert_eq!(json_special_pair(a, c), special, "{b:#x} at {at}");
                    assert_eq!(words_json_special_pair(a, c), special, "{b:#x} at {at}");
                    assert_eq!(nul_pair(a, c), b == 0, "{b:#x} at {at}");
                    assert_eq!(words_nul_pair(a, c), b == 0, "{b:#x} at {at}");
                }
            }
        }
    }

    /// Names and values of every length up to 40, after text already in
    /// the block: written whole with their quotes; and with a byte JSON
    /// must escape at any place of either, refused, the block untouched.
    #[test]
    fn plain_labels_are_written_whole_and_others_refused() {
        let text =
            |n: usize, from: u8| -> Vec<u8> { (0..n).map(|i| from + (i % 26) as u8).collect() };
        for n in 0..=40 {
            for m in 0..=40 {
                let (name, value) = (text(n, b'a'), text(m, b'A'));
                let mut out = b"{\"k\":\"v\"".to_vec();
                assert!(push_plain_label(&mut out, b",\"", &name, &value));
                let want = [&b"{\"k\":\"v\",\""[..], &name, b"\":\"", &value, b"\""].concat();
                assert_eq!(out, want, "name of {n} bytes, value of {m}");
                for at in 0..n.max(m) {
                    for (which, b) in [(0, b'"'), (1, b'\\'), (0, 0x1f), (1, 0)] {
                        let (mut name, mut value) = (name.clone(), value.clone());
                        let text = if which == 0 { &mut name } else { &mut value };
                        if at >= text.len() {
                            continue;
                        }
                        text[at] = b;
                        let mut out = b"{".to_vec();
                        assert!(!push_plain_label(&mut out, b",\"", &name, &value));
                        assert_eq!(out, b"{", "{b:#x} at {at}, name {n}, value {m}");
                    }
                }
            }
        }
    }

    /// Texts of every length up to 40 with one byte to find at every place;
    /// compared with themselves, they are the same, and with a text that
    /// differs there, or is a byte shorter or longer, they are not.
    #[test]
    fn every_place_of_every_length() {
        for n in 0..=40 {
            assert!(!needs_json_escape(&vec![b'x'; n]) && !has_nul(&vec![b'x'; n]));
            let text: Vec<u8> = (0..n).map(|i| b'a' + (i % 26) as u8).collect();
            assert!(same_bytes(&text, &text.clone()), "{n} bytes");
            assert!(!same_bytes(&text, &[&text[..], b"a"].concat()), "{n} bytes and one more");
            if n > 0 {
                assert!(!same_bytes(&text, &text[..n - 1]), "{n} bytes and one less");
            }
            for at in 0..n {
                let mut other = text.clone();
                other[at] ^= 0x20;
                assert!(!same_bytes(&text, &other), "{n} bytes differing at {at}");
                for (b, escape, nul) in [(b'"', true, false), (0, true, true), (b'\\', true, false)]
                {
                    let mut text = vec![b'x'; n];
                    text[at] = b;
                    assert_eq!(needs_json_escape(&text), escape, "{b:#x} at {at} of {n}");
                    assert_eq!(has_nul(&text), nul, "{b:#x} at {at} of {n}");
                }
            }
        }
    }
}
