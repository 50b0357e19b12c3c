// SPDX-License-Identifier: MIT
//! Every refusal carries the library's message and leaves the text as it was.
use promfmt::{Buffer, Error, Json, MetricType};

type Call = fn(&mut Buffer) -> Result<(), Error>;

#[test]
fn refusals_carry_the_message_and_leave_the_text() {
    let cases: &[(&str, Call, &str)] = &[
        (
            "name starting with a digit",
            |b| b.sample("9up", (), 1.0),
            "invalid metric name",
        ),
        (
            "empty name",
            |b| b.sample("", (), 1.0),
            "invalid metric name",
        ),
        (
            "name with a dash",
            |b| b.sample("a-b", [("k", "v")], 1.0),
            "invalid metric name",
        ),
        (
            "HELP name",
            |b| b.help("a b", "x"),
            "invalid metric name for HELP emission",
        ),
        (
            "TYPE name",
            |b| b.metric_type("", MetricType::Gauge),
            "invalid metric name for TYPE emission",
        ),
        (
            "gauge name with help",
            |b| b.gauge("1g", "h", (), 1.0),
            "invalid metric name for HELP emission",
        ),
        (
            "counter name without help",
            |b| b.counter("1c", "", (), 1.0),
            "invalid metric name for TYPE emission",
        ),
        (
            "JSON not closed",
            |b| b.sample("m", Json("{"), 1.0),
            "failed to parse labels JSON",
        ),
        (
            "JSON trailing text",
            |b| b.sample("m", Json(r#"{"a":"1"} x"#), 1.0),
            "failed to parse labels JSON",
        ),
        (
            "JSON lone surrogate",
            |b| b.sample("m", Json(r#"{"a":"\ud800"}"#), 1.0),
            "failed to parse labels JSON",
        ),
        (
            "JSON array",
            |b| b.sample("m", Json("[1]"), 1.0),
            "labels JSON must be an object",
        ),
        (
            "label name with a dash",
            |b| b.sample("m", [("a-b", "x")], 1.0),
            "invalid label name in JSON",
        ),
        (
            "empty label name",
            |b| b.sample("m", [("", "x")], 1.0),
            "invalid label name in JSON",
        ),
        (
            "label __name__",
            |b| b.sample("m", [("__name__", "x")], 1.0),
            "invalid label name in JSON",
        ),
        (
            "duplicate label",
            |b| b.sample("m", [("a", "1"), ("a", "2")], 1.0),
            "duplicate label name in JSON",
        ),
        (
            "NUL in a name",
            |b| b.sample("up\0x", (), 1.0),
            "NUL byte in metric name",
        ),
        (
            "NUL in a help text",
            |b| b.help("m", "a\0b"),
            "NUL byte in help text",
        ),
        (
            "NUL in a JSON text",
            |b| b.sample("m", Json("{}\0{"), 1.0),
            "NUL byte in labels JSON",
        ),
    ];
    let mut buf = Buffer::new();
    buf.sample("before", (), 1.0).unwrap();
    for (what, call, message) in cases {
        let err = call(&mut buf).expect_err(what);
        assert_eq!(err.message(), *message, "{what}");
        assert_eq!(buf.as_str(), "before 1\n", "{what}: text changed");
    }
}

/// The buffer keeps the last metric name between calls: a refused one is
/// not kept, and a name that only starts like the kept one is its own.
#[test]
fn the_kept_name_is_never_mistaken() {
    let mut buf = Buffer::new();
    for _ in 0..2 {
        let err = buf.sample("up\0x", (), 1.0).unwrap_err();
        assert_eq!(err.message(), "NUL byte in metric name");
    }
    for name in ["up", "upx", "u", "up", "up"] {
        buf.sample(name, (), 1.0).unwrap();
    }
    assert_eq!(buf.as_str(), "up 1\nupx 1\nu 1\nup 1\nup 1\n");
}

#[test]
fn gauge_and_counter_keep_help_and_type_before_a_refused_sample() {
    let mut buf = Buffer::new();
    let err = buf
        .counter("c", "Help.", [("a", "1"), ("a", "2")], 1.0)
        .unwrap_err();
    assert_eq!(err.message(), "duplicate label name in JSON");
    assert_eq!(buf.as_str(), "# HELP c Help.\n# TYPE c counter\n");
}

#[test]
fn errors_fit_std_and_io() {
    let err = Buffer::new().sample("9", (), 1.0).unwrap_err();
    assert_eq!(err.to_string(), "invalid metric name");
    let boxed: Box<dyn std::error::Error + Send + Sync> = Box::new(err.clone());
    assert_eq!(boxed.to_string(), "invalid metric name");
    let io: std::io::Error = err.into();
    assert_eq!(
        (io.kind(), io.to_string()),
        (
            std::io::ErrorKind::InvalidInput,
            "invalid metric name".to_owned()
        )
    );
}

#[test]
fn creation_and_escaping_refusals() {
    let err = Buffer::try_with_capacity(usize::MAX).unwrap_err();
    assert!(err.message().starts_with("failed to allocate"), "{err}");
    assert_eq!(
        promfmt::escape_label_value("a\0b").unwrap_err().message(),
        "NUL byte in label value"
    );
}

#[test]
fn a_nul_anywhere_in_a_long_text_is_refused() {
    let mut buf = Buffer::new();
    let letters = "abcdefghijklmnopqrstuvwxyzabcdefghijklmn";
    for (len, at) in (0..=39).flat_map(|len| (0..=len).map(move |at| (len, at))) {
        let mut text = String::from(&letters[..len]);
        text.insert(at, '\0');
        let json = format!(r#"{{"k":"{text}"}}"#);
        let help = buf.help("m", &text).unwrap_err();
        let name = buf.sample(&text, (), 1.0).unwrap_err();
        let labels = buf.sample("m", Json(&json), 1.0).unwrap_err();
        assert_eq!(
            [help.message(), name.message(), labels.message()],
            [
                "NUL byte in help text",
                "NUL byte in metric name",
                "NUL byte in labels JSON"
            ],
            "NUL at {at} of {len} bytes"
        );
    }
    assert!(buf.is_empty());
}
