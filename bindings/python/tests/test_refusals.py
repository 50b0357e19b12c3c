# SPDX-License-Identifier: MIT
"""Refusals: the library's messages, the binding's own checks of bad Python
input, and the buffer left exactly as it was."""
import pytest

import promfmt

INF = float("inf")

# (what, call on a buffer, text the Error must contain)
REFUSED = [
    ("bad metric name", lambda b: b.sample("1st", 1), "invalid metric name"),
    ("labels not JSON", lambda b: b.sample("m", 1, '{"a":'), "failed to parse labels JSON"),
    ("labels an array", lambda b: b.sample("m", 1, '["a"]'), "labels JSON must be an object"),
    ("bad label name", lambda b: b.sample("m", 1, {"a-b": "x"}), "invalid label name in JSON"),
    ("__name__ label", lambda b: b.sample("m", 1, {"__name__": "x"}), "invalid label name in JSON"),
    ("duplicate label", lambda b: b.sample("m", 1, '{"a":"1","a":"2"}'),
     "duplicate label name in JSON"),
    ("duplicate pair", lambda b: b.sample("m", 1, [("a", "1"), ("a", "2")]),
     "duplicate label name in JSON"),
    ("bad HELP name", lambda b: b.help("a b", "x"), "invalid metric name for HELP emission"),
    ("bad TYPE name", lambda b: b.type("", "gauge"), "invalid metric name for TYPE emission"),
    ("bad gauge name", lambda b: b.gauge("-", 1), "invalid metric name for TYPE emission"),
    ("inf label", lambda b: b.sample("m", 1, {"x": INF}), "label 'x': value inf is not finite"),
    ("-inf label", lambda b: b.counter("m", 1, {"x": -INF}), "value -inf is not finite"),
    ("nan label", lambda b: b.gauge("m", 1, {"x": float("nan")}), "value nan is not finite"),
    ("None label", lambda b: b.sample("m", 1, {"x": None}), "a NoneType cannot be a label"),
    ("list label", lambda b: b.sample("m", 1, {"x": [1]}), "a list cannot be a label"),
    ("non-str key", lambda b: b.sample("m", 1, {1: "a"}), "label name 1 is not a str"),
    ("None key", lambda b: b.sample("m", 1, {None: "a"}), "label name None is not a str"),
    ("NUL in name", lambda b: b.sample("m\0x", 1), "name contains a NUL"),
    ("NUL in help", lambda b: b.help("m", "a\0b"), "help text contains a NUL"),
    ("NUL in label", lambda b: b.sample("m", 1, {"x": "a\0b"}), "value contains a NUL"),
    ("NUL in key", lambda b: b.sample("m", 1, {"x\0": "a"}), "label name 'x\\x00' contains a NUL"),
    ("NUL in JSON", lambda b: b.sample("m", 1, '{"x":"a"}\0'), "labels JSON contains a NUL"),
    ("NUL in JSON bytes", lambda b: b.sample("m", 1, b'{"x":"a"}\0'), "contains a NUL byte"),
    ("surrogate in name", lambda b: b.sample("m\ud800", 1), "name cannot be encoded as UTF-8"),
    ("surrogate in help", lambda b: b.help("m", "\udc80"), "help text cannot be encoded"),
    ("surrogate in value", lambda b: b.sample("m", 1, {"x": "a\udfff"}),
     "label 'x': value cannot be encoded as UTF-8"),
    ("surrogate in key", lambda b: b.sample("m", 1, {"\ud800": "a"}), "cannot be encoded"),
    ("huge int label", lambda b: b.sample("m", 1, {"x": 10**5000}),
     "label 'x': integer value has too many digits"),
    ("huge int value", lambda b: b.sample("m", 10**400), "value is too large for a double"),
    ("type out of int32", lambda b: b.type("m", 2**31), "metric type 2147483648 is out of range"),
    ("unknown type name", lambda b: b.type("m", "bogus"), "unknown metric type 'bogus'"),
    ("timestamp past int64", lambda b: b.sample("m", 1, timestamp=2**63), "out of range"),
]

WRONG_TYPES = [
    ("name not str", lambda b: b.sample(b"m", 1)),
    ("name None", lambda b: b.sample(None, 1)),
    ("value a str", lambda b: b.sample("m", "1")),
    ("value None", lambda b: b.sample("m", None)),
    ("labels an int", lambda b: b.sample("m", 1, 5)),
    ("labels a list of str", lambda b: b.sample("m", 1, ["ab"])),
    ("timestamp a float", lambda b: b.sample("m", 1, timestamp=1.5)),
    ("help not str", lambda b: b.help("m", 5)),
    ("kind a float", lambda b: b.type("m", 1.0)),
    ("family rows not iterable", lambda b: b.family("f", 2, 5)),
    ("samples row too short", lambda b: b.samples([("m", {})])),
    ("samples row a dict", lambda b: b.samples([{"name": "m"}])),
    ("missing argument", lambda b: b.sample("m")),
    ("unknown keyword", lambda b: b.sample("m", 1, colour="red")),
]


@pytest.mark.parametrize("what,call,message", REFUSED, ids=[c[0] for c in REFUSED])
def test_refused_call_raises_error_and_leaves_the_buffer_unchanged(new_buffer, what, call,
                                                                    message):
    with new_buffer() as buf:
        buf.gauge("before", 1, help="Kept.")
        before = buf.data()
        with pytest.raises(promfmt.Error) as caught:
            call(buf)
        assert message in str(caught.value)
        assert buf.data() == before


@pytest.mark.parametrize("what,call", WRONG_TYPES, ids=[c[0] for c in WRONG_TYPES])
def test_wrong_argument_types_raise_type_error(new_buffer, what, call):
    with new_buffer() as buf:
        with pytest.raises(TypeError):
            call(buf)
        assert buf.data() == b""


def test_refused_sample_in_a_shortcut_keeps_help_and_type(new_buffer):
    # The library writes whole lines: HELP and TYPE stay, the sample does not.
    with new_buffer() as buf:
        with pytest.raises(promfmt.Error, match="invalid label name in JSON"):
            buf.counter("c", 1, {"9": "x"}, help="H.")
        assert buf.text() == "# HELP c H.\n# TYPE c counter\n"


def test_refused_row_stops_a_batch_and_keeps_the_rows_before(new_buffer):
    def rows():
        yield {"a": "1"}, 1
        yield {"a": float("nan")}, 2
        raise AssertionError("no row is read after the refused one")
    with new_buffer() as buf:
        with pytest.raises(promfmt.Error, match="not finite"):
            buf.family("f", "gauge", rows())
        assert buf.text() == '# TYPE f gauge\nf{a="1"} 1\n'
        with pytest.raises(promfmt.Error, match="invalid metric name"):
            buf.samples([("g", None, 3), ("9", None, 4)])
        assert buf.text().endswith("\ng 3\n")


def test_an_error_raised_by_a_row_iterator_passes_through(new_buffer):
    def rows():
        yield "m", None, 1
        raise KeyError("from the host")
    with new_buffer() as buf:
        with pytest.raises(KeyError, match="from the host"):
            buf.samples(rows())
        assert buf.text() == "m 1\n"


def test_every_method_of_a_closed_buffer_raises(new_buffer):
    with new_buffer() as buf:
        buf.sample("m", 1)
    assert buf.closed
    buf.close()  # a second close does nothing
    calls = [buf.text, buf.data, buf.reset, lambda: len(buf),
             lambda: buf.sample("m", 1), lambda: buf.help("m", "h"),
             lambda: buf.type("m", 1), lambda: buf.gauge("m", 1),
             lambda: buf.counter("m", 1), lambda: buf.family("m", 1, []),
             lambda: buf.samples([])]
    for call in calls:
        with pytest.raises(promfmt.Error, match="operation on a closed buffer"):
            call()
    assert "closed" in repr(buf)


def test_bad_capacities(route):
    with pytest.raises(promfmt.Error, match="capacity -1 is out of range"):
        promfmt.Buffer(-1, **route)
    with pytest.raises(TypeError):
        promfmt.Buffer("64", **route)
