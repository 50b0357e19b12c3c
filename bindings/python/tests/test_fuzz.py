# SPDX-License-Identifier: MIT
"""A seeded random differential run of the extension's own C: labels as
dicts, pairs and mappings, turned into JSON by the extension, against the
same sample whose labels the binding's Python code turned into JSON text
(the library's JSON-text route), and against the ctypes route when an
installed library is named. Names and values of every length and byte
(lone surrogates, NUL, escapes, every plane), integers of every size and
bools. A refused call must raise the same error on both sides and leave the
text unchanged.

$PROMFMT_FUZZ_CASES sets the number of cases (default 4000), and
$PROMFMT_FUZZ_SEED the seed (default: a fixed one, printed on a failure).
"""
import collections
import os
import random

import promfmt
from promfmt import _convert as convert

CASES = int(os.environ.get("PROMFMT_FUZZ_CASES", "4000"))
SEED = int(os.environ.get("PROMFMT_FUZZ_SEED", "20261211"))

# Characters drawn often: the ones every escape and check is about.
SPECIAL = ['"', "\\", "\n", "\t", "\r", "\0", "\x01", "\x1f", "\x7f", "\x80", "\xff",
           "\u07ff", "\u0800", "\ufffd", "\uffff", "\U00010000", "\U0010ffff",
           "\ud800", "\udbff", "\udc00", "\udfff", "{", "}", ":", ",", " ", "_", "=", "'"]
NAME_CHARS = "abcxyzABCZ_:0123456789"


def random_char(rng):
    pick = rng.random()
    if pick < 0.45:
        return rng.choice(NAME_CHARS)
    if pick < 0.75:
        return rng.choice(SPECIAL)
    if pick < 0.85:
        return chr(rng.randrange(0x80))
    if pick < 0.95:
        return chr(rng.randrange(0x80, 0x10000))
    return chr(rng.randrange(0x10000, 0x110000))


def random_length(rng):
    pick = rng.random()
    if pick < 0.8:
        return rng.randrange(0, 20)
    if pick < 0.97:
        return rng.randrange(20, 300)
    return rng.randrange(300, 5000)


def random_text(rng, plain=0.0):
    n = random_length(rng)
    if rng.random() < plain:
        first = rng.choice("abcxyzABCZ_")
        return first + "".join(rng.choice(NAME_CHARS) for _ in range(max(n - 1, 0)))
    return "".join(random_char(rng) for _ in range(n))


def random_int(rng):
    bits = rng.choice([1, 7, 8, 31, 32, 33, 63, 64, 65, 127, 200, 1000, 4000, 14000])
    edge = rng.choice([0, -1, 1])
    return rng.choice([-1, 1]) * ((1 << bits) + edge) if rng.random() < 0.5 else \
        rng.randrange(-(1 << bits), 1 << bits)


class Index:
    """An integer-like object (operator.index) that is not an int."""

    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value

    def __repr__(self):
        return f"Index({self.value})"


def random_label_value(rng):
    pick = rng.random()
    if pick < 0.55:
        return random_text(rng, plain=0.4)
    if pick < 0.75:
        return random_int(rng)
    if pick < 0.82:
        return rng.choice([True, False])
    if pick < 0.92:
        return rng.choice([0.0, -0.0, 0.1, 1e300, 5e-324, 1.5, -2.25, 1e16, 123456789.125,
                           float("inf"), float("nan"), rng.uniform(-1e9, 1e9)])
    if pick < 0.96:
        return Index(random_int(rng))
    return rng.choice([None, [1], b"bytes", object()])


def random_label_name(rng):
    if rng.random() < 0.03:
        return rng.choice([1, None, b"x"])
    return random_text(rng, plain=0.8)


def random_labels(rng):
    """Labels as the caller gives them: a dict, pairs, a Mapping or None."""
    n = rng.choice([0, 1, 1, 2, 2, 3, 4, 6, 9, 17])
    pairs = [(random_label_name(rng), random_label_value(rng)) for _ in range(n)]
    if rng.random() < 0.05 and pairs:  # a name twice: the library refuses it
        pairs.append((pairs[0][0], random_label_value(rng)))
    shape = rng.random()
    if shape < 0.02:
        return None
    if shape < 0.45:
        try:
            return dict(pairs)
        except TypeError:  # an unhashable name
            return pairs
    if shape < 0.7:
        return pairs
    if shape < 0.85:
        return tuple(tuple(p) if rng.random() < 0.5 else list(p) for p in pairs)
    if shape < 0.95:
        return collections.OrderedDict(pairs)
    return rng.choice([[("a",)], [("a", "b", "c")], ["ab"], 42])


def random_metric_name(rng):
    return random_text(rng, plain=0.9)


def random_number(rng):
    return rng.choice([0, 1, -1, 0.5, 1e300, float("inf"), float("nan"), True, 2**64,
                       rng.uniform(-1e6, 1e6), random_int(rng) if rng.random() < 0.1 else 3])


def random_timestamp(rng):
    return rng.choice([None, 0, 1, -1, 2**63 - 1, -(2**63), 2**63, random_int(rng)])


def outcome(call):
    """What a call did: ("ok", None) or the error's type and message."""
    try:
        call()
    except (promfmt.Error, TypeError, ValueError, OverflowError) as exc:
        return type(exc).__name__, str(exc)
    return "ok", None


def json_route(labels):
    """The labels as JSON text written by the binding's Python code, or the
    error that code raises."""
    try:
        return convert.labels(labels), None
    except (promfmt.Error, TypeError, ValueError) as exc:
        return None, (type(exc).__name__, str(exc))


def check_case(rng, buffers, oracle):
    """One random call on each buffer; the oracle gets the labels as JSON."""
    name, labels = random_metric_name(rng), random_labels(rng)
    value, ts = random_number(rng), random_timestamp(rng)
    json_text, json_error = json_route(labels)
    before = [b.data() for b in buffers]
    got = [outcome(lambda b=b: b.sample(name, value, labels, ts)) for b in buffers]
    if json_error is None:
        want = outcome(lambda: oracle.sample(name, value, json_text, ts))
        allowed = {want[0]}
    else:  # the labels' error, or that of another argument checked first
        want = outcome(lambda: promfmt.Buffer().sample(name, value, None, ts))
        allowed = {json_error[0]} | ({want[0]} - {"ok"})
    case = f"sample({name!r}, {value!r}, {labels!r}, {ts!r}), labels JSON {json_text!r}"
    for buf, result, old in zip(buffers, got, before):
        assert result[0] in allowed, f"{case}: {result} but the JSON route gives {want}, " \
                                     f"its labels {json_error}"
        if result[0] != "ok":
            assert buf.data() == old, f"{case}: a refused call changed the text"
    assert len({b.data() for b in buffers} | {oracle.data()}) == 1, \
        f"{case}: the routes wrote different text"


def test_labels_of_every_shape_match_the_json_route(route):
    rng = random.Random(SEED)
    buffers = [promfmt.Buffer(**route), promfmt.Buffer(64, **route)]
    oracle = promfmt.Buffer(**route)
    for i in range(CASES):
        try:
            check_case(rng, buffers, oracle)
        except AssertionError as exc:
            raise AssertionError(f"case {i} of seed {SEED}: {exc}") from None
        if i % 256 == 255:  # the same buffers again, after a reset
            for b in buffers + [oracle]:
                b.reset()


def test_rows_match_one_sample_each(route):
    """samples() (rows.c) against one sample() per row, checked above
    against the JSON route; a row refused part-way included."""
    rng = random.Random(SEED + 1)
    for i in range(CASES // 8):
        name = random_metric_name(rng)
        rows = [(random_labels(rng), random_number(rng), random_timestamp(rng))
                for _ in range(rng.randrange(0, 6))]
        batch, one_by_one = promfmt.Buffer(**route), promfmt.Buffer(**route)
        got = outcome(lambda: batch.samples([(name, l, v, t) for l, v, t in rows]))

        def each():
            for labels, value, ts in rows:
                one_by_one.sample(name, value, labels, ts)
        want = outcome(each)
        case = f"case {i} of seed {SEED + 1}: samples({name!r}, {rows!r})"
        assert got[0] == want[0], f"{case}: {got} but one by one {want}"
        assert batch.data() == one_by_one.data(), f"{case}: different text"


def test_escape_label_value_matches_the_library(route):
    rng = random.Random(SEED + 2)
    for _ in range(CASES // 4):
        text = random_text(rng)
        got = outcome(lambda: promfmt.escape_label_value(text, **route))
        try:
            raw = text.encode("utf-8")
        except UnicodeEncodeError:
            assert got[0] == "Error", f"{text!r}: {got}"
            continue
        if b"\0" in raw:
            assert got[0] == "Error", f"{text!r}: {got}"
            continue
        want = raw.replace(b"\\", b"\\\\").replace(b'"', b'\\"').replace(b"\n", b"\\n")
        assert promfmt.escape_label_value(text, **route).encode("utf-8") == want, repr(text)
