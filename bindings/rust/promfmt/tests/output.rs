// SPDX-License-Identifier: MIT
//! What the buffer writes: exact lines per emitter, the same text whatever
//! form the labels come in, and label values that read back as they went in.
use promfmt::{Buffer, Json, MetricType};
use std::collections::{BTreeMap, HashMap};

fn written(write: impl FnOnce(&mut Buffer) -> Result<(), promfmt::Error>) -> String {
    let mut buf = Buffer::new();
    write(&mut buf).expect("accepted");
    buf.as_str().to_owned()
}

type Write = fn(&mut Buffer) -> Result<(), promfmt::Error>;

#[test]
fn each_emitter_writes_its_line() {
    let cases: &[(&str, Write, &str)] = &[
        ("no labels", |b| b.sample("up", (), 1.0), "up 1\n"),
        ("labels sorted by name", |b| b.sample("m", [("b", "2"), ("a", "1")], 0.5), "m{a=\"1\",b=\"2\"} 0.5\n"),
        ("timestamp", |b| b.sample_at("m", (), 2.0, 1_700_000_000_123), "m 2 1700000000123\n"),
        ("no timestamp at 0", |b| b.sample_at("m", (), 2.0, 0), "m 2\n"),
        ("NaN", |b| b.sample("m", (), f64::NAN), "m NaN\n"),
        ("infinities", |b| {
            b.sample("m", (), f64::INFINITY)?;
            b.sample("m", (), f64::NEG_INFINITY)
        }, "m +Inf\nm -Inf\n"),
        ("14 significant digits", |b| b.sample("m", (), 0.1 + 0.2), "m 0.3\n"),
        ("large value", |b| b.sample("m", (), 1e21), "m 1e+21\n"),
        ("value escapes", |b| b.sample("m", [("v", "a\"b\\c\nd\te")], 1.0), "m{v=\"a\\\"b\\\\c\\nd\te\"} 1\n"),
        ("NUL in a value cuts it", |b| b.sample("m", [("v", "x\0y")], 1.0), "m{v=\"x\"} 1\n"),
        ("JSON scalars", |b| b.sample("m", Json(r#"{"z":null,"t":true,"i":18446744073709551615,"n":-0,"f":0.1}"#), 1.0),
            "m{f=\"0.1\",i=\"18446744073709551615\",n=\"0\",t=\"true\",z=\"\"} 1\n"),
        ("empty JSON text", |b| b.sample("m", Json(" "), 1.0), "m 1\n"),
        ("help escapes", |b| b.help("m", "a\\b\nc\"d"), "# HELP m a\\\\b\\nc\"d\n"),
        ("empty help", |b| b.help("m", ""), "# HELP m \n"),
        ("every type", |b| {
            for kind in [MetricType::Untyped, MetricType::Counter, MetricType::Gauge, MetricType::Histogram, MetricType::Summary] {
                b.metric_type("m", kind)?;
            }
            Ok(())
        }, "# TYPE m untyped\n# TYPE m counter\n# TYPE m gauge\n# TYPE m histogram\n# TYPE m summary\n"),
        ("gauge", |b| b.gauge("g", "Help.", [("k", "v")], 3.0), "# HELP g Help.\n# TYPE g gauge\ng{k=\"v\"} 3\n"),
        ("gauge without help", |b| b.gauge("g", "", (), 3.0), "# TYPE g gauge\ng 3\n"),
        ("counter keeps its name", |b| b.counter("c", "Help.", (), 4.0), "# HELP c Help.\n# TYPE c counter\nc 4\n"),
    ];
    for (what, write, expected) in cases {
        assert_eq!(written(write), *expected, "{what}");
    }
}

#[test]
fn every_labels_form_writes_the_same_line() {
    let pairs = [("zone", "eu \"west\""), ("app", "api\\v2"), ("code", "200")];
    let owned: Vec<(String, String)> = pairs
        .iter()
        .map(|(k, v)| (k.to_string(), v.to_string()))
        .collect();
    let btree: BTreeMap<&str, &str> = pairs.iter().copied().collect();
    let hash: HashMap<String, String> = owned.iter().cloned().collect();
    let json = r#"{"code":"200","zone":"eu \"west\"","app":"api\\v2"}"#;
    let expected = "m{app=\"api\\\\v2\",code=\"200\",zone=\"eu \\\"west\\\"\"} 1\n";
    assert_eq!(written(|b| b.sample("m", pairs, 1.0)), expected, "array");
    assert_eq!(
        written(|b| b.sample("m", &pairs[..], 1.0)),
        expected,
        "slice"
    );
    assert_eq!(
        written(|b| b.sample("m", &owned, 1.0)),
        expected,
        "Vec<(String, String)>"
    );
    assert_eq!(
        written(|b| b.sample("m", &btree, 1.0)),
        expected,
        "BTreeMap"
    );
    assert_eq!(written(|b| b.sample("m", &hash, 1.0)), expected, "HashMap");
    assert_eq!(
        written(|b| b.sample("m", Json(json), 1.0)),
        expected,
        "JSON text"
    );
}

/// Reads the labels of one sample line back, undoing the format's escapes.
fn read_labels(line: &str) -> Vec<(String, String)> {
    let mut rest = &line[line.find('{').expect("labels") + 1..];
    let mut labels = Vec::new();
    while !rest.starts_with('}') {
        let eq = rest.find("=\"").expect("name=\"");
        let name = rest[..eq].to_owned();
        let mut value = String::new();
        let mut chars = rest[eq + 2..].char_indices();
        let end = loop {
            match chars.next().expect("closing quote") {
                (i, '"') => break eq + 2 + i + 1,
                (_, '\\') => value.push(match chars.next().expect("escaped char").1 {
                    'n' => '\n',
                    c @ ('\\' | '"') => c,
                    c => panic!("unknown escape \\{c}"),
                }),
                (_, c) => value.push(c),
            }
        };
        labels.push((name, value));
        rest = rest[end..].strip_prefix(',').unwrap_or(&rest[end..]);
    }
    labels
}

#[test]
fn label_values_read_back_as_given() {
    // Every character below 128 but NUL, each alone and between others, and some beyond ASCII.
    let mut values: Vec<String> = (1u8..128).map(|b| format!("<{}>", b as char)).collect();
    values.extend(
        [
            "",
            "\\",
            "\"",
            "\\\"",
            "\n\r\t",
            "é",
            "日本語",
            "🦀 \u{7f}\u{80}\u{ffff}",
        ]
        .map(String::from),
    );
    // Texts are tested a word at a time: a character to escape at every
    // place of values of every length around the word sizes.
    let letters = "abcdefghijklmnopqrstuvwxyzabcdefghijklmn";
    for c in ['"', '\\', '\n', '\u{1}', '\u{1f}', ' ', 'é'] {
        for len in 0..=39 {
            values.extend((0..=len).map(|at| {
                let mut v = String::from(&letters[..len]);
                v.insert(at, c);
                v
            }));
        }
    }
    let mut buf = Buffer::new();
    for chunk in values.chunks(7) {
        let pairs: Vec<(String, &str)> = chunk
            .iter()
            .enumerate()
            .map(|(i, v)| (format!("l{i}"), v.as_str()))
            .collect();
        buf.reset();
        buf.sample("m", &pairs, 1.0).unwrap();
        let back = read_labels(buf.as_str());
        let sent: Vec<(String, String)> = pairs
            .iter()
            .map(|(k, v)| (k.clone(), v.to_string()))
            .collect();
        assert_eq!(back, sent);
    }
}

#[test]
fn text_comes_out_as_bytes_str_writer_and_display() {
    let mut buf = Buffer::with_capacity(1 << 16);
    assert!(buf.is_empty());
    buf.gauge("g", "", (), 1.0).unwrap();
    let text = "# TYPE g gauge\ng 1\n";
    assert_eq!(
        (buf.as_bytes(), buf.as_str(), buf.len()),
        (text.as_bytes(), text, text.len())
    );
    let mut written = Vec::new();
    buf.write_to(&mut written).unwrap();
    assert_eq!(written, text.as_bytes());
    let mut formatted = String::new();
    std::fmt::Write::write_fmt(&mut formatted, format_args!("{buf}")).unwrap();
    assert_eq!(formatted, text);
    buf.reset();
    assert_eq!(buf.as_bytes(), b"");
    buf.sample("h", (), 2.0).unwrap();
    assert_eq!(buf.as_str(), "h 2\n");
}

#[test]
fn escape_label_value_escapes_three_characters() {
    assert_eq!(
        promfmt::escape_label_value("a\\b\"c\nd\te\r").unwrap(),
        "a\\\\b\\\"c\\nd\te\r"
    );
    assert_eq!(promfmt::escape_label_value("").unwrap(), "");
    assert_eq!(promfmt::escape_label_value("日本").unwrap(), "日本");
}
