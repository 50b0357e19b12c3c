// SPDX-License-Identifier: MIT
//! A seeded random differential run of the binding's word-wise code: the
//! plain-label fast path (names and values copied whole, 4 to 16 bytes
//! written from the words their test loaded) and the kept metric name
//! (compared a word at a time), against the same sample written through
//! the library's JSON-text route with the labels escaped byte by byte here.
//! `PROMFMT_FUZZ_CASES` sets the number of cases (default 20000) and
//! `PROMFMT_FUZZ_SEED` the seed.
use promfmt::{labels_json, Buffer, Json};

/// xorshift64*: small, seeded, the same on every platform.
struct Rng(u64);

impl Rng {
    fn next(&mut self) -> u64 {
        self.0 ^= self.0 >> 12;
        self.0 ^= self.0 << 25;
        self.0 ^= self.0 >> 27;
        self.0.wrapping_mul(0x2545_f491_4f6c_dd1d)
    }

    fn below(&mut self, n: usize) -> usize {
        (self.next() % n as u64) as usize
    }

    fn pick<'a, T>(&mut self, from: &'a [T]) -> &'a T {
        &from[self.below(from.len())]
    }
}

fn env_number(name: &str, default: u64) -> u64 {
    std::env::var(name).ok().and_then(|v| v.parse().ok()).unwrap_or(default)
}

/// Lengths around every word boundary the fast path has, and longer ones.
fn length(rng: &mut Rng) -> usize {
    match rng.below(10) {
        0..=6 => rng.below(20),
        7 | 8 => rng.below(70),
        _ => rng.below(600),
    }
}

/// One character: mostly plain, often one that JSON escapes or that the
/// word tests must tell apart (0x1f, 0x20, '"' - 1, '\\' + 1, 0x7f, UTF-8).
fn character(rng: &mut Rng) -> char {
    const SPECIAL: &[char] = &[
        '"', '\\', '\n', '\t', '\r', '\0', '\u{1}', '\u{1f}', ' ', '!', '#', '[', ']', '\u{7f}',
        '\u{80}', '\u{ff}', '\u{100}', '\u{2028}', '\u{fffd}', '\u{10000}', '\u{10ffff}',
    ];
    match rng.below(10) {
        0..=6 => *rng.pick(&['a', 'b', 'Z', '_', '0', '9', ':']),
        7 | 8 => *rng.pick(SPECIAL),
        _ => char::from_u32(rng.below(0x11_0000) as u32).unwrap_or('\u{fffd}'),
    }
}

fn text(rng: &mut Rng, plain: bool) -> String {
    let n = length(rng);
    if plain {
        let mut s: String = (0..n).map(|_| *rng.pick(&['a', 'b', 'Z', '_', '0', '9'])).collect();
        if s.starts_with(|c: char| c.is_ascii_digit()) || s.is_empty() {
            s.insert(0, 'x');
        }
        return s;
    }
    (0..n).map(|_| character(rng)).collect()
}

/// The inside of a JSON string, one byte at a time.
fn escaped(text: &str) -> String {
    let mut out = String::new();
    for c in text.chars() {
        match c {
            '"' => out.push_str("\\\""),
            '\\' => out.push_str("\\\\"),
            c if (c as u32) < 0x20 => out.push_str(&format!("\\u{:04x}", c as u32)),
            c => out.push(c),
        }
    }
    out
}

fn reference_json(pairs: &[(String, String)]) -> String {
    if pairs.is_empty() {
        return String::new();
    }
    let members: Vec<String> =
        pairs.iter().map(|(n, v)| format!("\"{}\":\"{}\"", escaped(n), escaped(v))).collect();
    format!("{{{}}}", members.join(","))
}

fn labels(rng: &mut Rng) -> Vec<(String, String)> {
    let n = *rng.pick(&[0, 1, 1, 2, 2, 3, 5, 9]);
    (0..n)
        .map(|_| {
            let (plain_name, plain_value) = (rng.below(4) != 0, rng.below(3) != 0);
            (text(rng, plain_name), text(rng, plain_value))
        })
        .collect()
}

/// Names that differ from each other in one byte, at any place, of any
/// length: the kept name must never be taken for one of them.
fn near_names(rng: &mut Rng) -> Vec<String> {
    let base: Vec<u8> = text(rng, true).into_bytes();
    let mut names = vec![String::from_utf8(base.clone()).unwrap()];
    for _ in 0..3 {
        let mut other = base.clone();
        match rng.below(4) {
            0 if !other.is_empty() => {
                let at = rng.below(other.len());
                other[at] = *rng.pick(b"abZ_09\0");
            }
            1 => other.push(b'a'),
            2 if other.len() > 1 => {
                other.pop();
            }
            _ => other.insert(0, b'y'),
        }
        names.push(String::from_utf8(other).unwrap());
    }
    names
}

#[test]
fn pairs_write_what_their_json_text_writes() {
    let seed = env_number("PROMFMT_FUZZ_SEED", 0x2026_1211);
    let cases = env_number("PROMFMT_FUZZ_CASES", 20_000);
    let mut rng = Rng(seed | 1);
    let (mut fast, mut oracle) = (Buffer::new(), Buffer::new());
    for case in 0..cases {
        let pairs = labels(&mut rng);
        let json = reference_json(&pairs);
        let what = || format!("case {case} of seed {seed:#x}: {pairs:?}");
        assert_eq!(labels_json(&pairs[..]), json, "{}", what());
        let plain_name = rng.below(8) != 0;
        let name = text(&mut rng, plain_name);
        let before = fast.as_bytes().to_vec();
        let got = fast.sample(&name, &pairs[..], 1.0);
        let want = oracle.sample(&name, Json(&json), 1.0);
        assert_eq!(got.is_ok(), want.is_ok(), "{}: {got:?} against {want:?}", what());
        if got.is_err() {
            assert_eq!(fast.as_bytes(), &before[..], "{}: a refusal changed the text", what());
        }
        assert_eq!(fast.as_bytes(), oracle.as_bytes(), "{}", what());
        if case % 512 == 511 {
            fast.reset();
            oracle.reset();
        }
    }
}

#[test]
fn a_kept_name_is_never_taken_for_a_near_one() {
    let seed = env_number("PROMFMT_FUZZ_SEED", 0x2026_1211) ^ 0x5eed;
    let cases = env_number("PROMFMT_FUZZ_CASES", 20_000);
    let mut rng = Rng(seed | 1);
    let mut kept = Buffer::new();
    for case in 0..cases / 4 {
        let names = near_names(&mut rng);
        for _ in 0..8 {
            let name = rng.pick(&names);
            let mut fresh = Buffer::new();
            let got = kept.sample(name, (), 2.0).map(|_| ());
            let want = fresh.sample(name, (), 2.0).map(|_| ());
            assert_eq!(got.is_ok(), want.is_ok(), "case {case}: {name:?}");
            if got.is_ok() {
                let line = &kept.as_bytes()[kept.len() - fresh.len()..];
                assert_eq!(line, fresh.as_bytes(), "case {case} of seed {seed:#x}: {names:?}");
            }
        }
        kept.reset();
    }
}
