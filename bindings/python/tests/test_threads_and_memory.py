# SPDX-License-Identifier: MIT
"""Threads sharing a buffer, calls made from inside a call, and a steady
state without growth over a million calls."""
import re
import sys
import threading

import pytest

import promfmt

LINE = re.compile(r'^(# TYPE t\d_f\d+ gauge|t\d(_f\d+)?\{i="\d+",t="\d"\} \d+)$')


@pytest.fixture
def fast_switching():
    before = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)
    yield
    sys.setswitchinterval(before)


def test_threads_sharing_a_buffer_write_whole_lines(new_buffer, fast_switching):
    def work(buf, t):
        for f in range(20):
            # A generator runs Python code inside the batch call, so other
            # threads get the GIL in the middle of it.
            buf.family(f"t{t}_f{f}", "gauge", (({"t": str(t), "i": str(i)}, i) for i in range(50)))
            for i in range(50):
                buf.sample(f"t{t}", i, {"i": str(i), "t": str(t)})

    with new_buffer() as buf:
        threads = [threading.Thread(target=work, args=(buf, t)) for t in range(4)]
        for t in threads:
            t.start()
        for t in threads:
            t.join(60)
        lines = buf.text().splitlines()
    assert [line for line in lines if not LINE.match(line)] == []
    assert len(lines) == 4 * 20 * (1 + 50 + 50)
    for t in range(4):
        assert sum(line.startswith(f"t{t}{{") for line in lines) == 20 * 50
        assert sum(line.startswith(f"t{t}_f") for line in lines) == 20 * 50


def test_each_thread_reads_its_own_message(new_buffer):
    # The library's last-error text is one block for the process; the call
    # and the reading of its message must stay together.
    cases = [(lambda b: b.sample("1x", 1), "invalid metric name"),
             (lambda b: b.sample("m", 1, "{"), "failed to parse labels JSON"),
             (lambda b: b.help("?", "h"), "invalid metric name for HELP emission"),
             (lambda b: b.sample("m", 1, "[]"), "labels JSON must be an object")]
    wrong = []

    def fail_repeatedly(call, message):
        with new_buffer() as buf:
            for _ in range(2000):
                try:
                    call(buf)
                except promfmt.Error as e:
                    if str(e) != message:
                        wrong.append((message, str(e)))
                buf.sample("ok", 1)  # successes in between must not matter
                buf.reset()

    threads = [threading.Thread(target=fail_repeatedly, args=case) for case in cases]
    for t in threads:
        t.start()
    for t in threads:
        t.join(60)
    assert wrong[:3] == []


def test_a_call_from_inside_a_call_on_the_same_buffer_is_refused():
    class Sneaky:
        def __index__(self):
            buf.sample("inner", 1)
            return 7

    with promfmt.Buffer() as buf:
        buf.sample("before", 1)
        with pytest.raises(promfmt.Error, match="buffer used from inside one of its own calls"):
            buf.sample("outer", 1, {"n": Sneaky()})
        assert buf.text() == "before 1\n"
        with promfmt.Buffer() as other:  # another buffer is fine
            other.sample("m", 1, {"n": type("I", (), {"__index__": lambda s: 3})()})
            assert other.text() == 'm{n="3"} 1\n'


def rss_bytes():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * 4096


def test_no_growth_over_a_million_calls():
    # Values that are no shared singletons, so their reference counts show a
    # reference kept by mistake.
    labels = {"instance": "host-1", "job": "api", "n": 123456789, "r": 0.5, "b": True,
              "big": 2**80}
    pairs = [("a", "x"), ("b", 98765)]
    rows = [(labels, 1.5), (pairs, 2.5, 1700000000000)]
    named = [("s", labels, 1.25), ("s", None, 2)]
    bad = {"bad-name": "x"}
    watched = [labels, pairs, rows, named, bad, *labels, *labels.values(), *bad, *pairs,
               *rows, *named]

    def run(calls):
        with promfmt.Buffer() as buf:
            for i in range(calls // 10):
                if i % 100 == 0:
                    buf.reset()
                buf.sample("m", 1.5, labels)
                buf.sample("m", 2.5, pairs, 1700000000000)
                buf.family("f", 2, rows, help="F")  # 2 rows
                buf.samples(named)  # 2 rows
                buf.gauge("g", 1, labels)
                try:
                    buf.sample("m", 1, bad)  # refused by the library
                except promfmt.Error:
                    pass
                try:
                    buf.sample("m", 1, {"x": float("nan")})  # refused by the binding
                except promfmt.Error:
                    pass

    run(100_000)  # warm up: pools, caches, the scratch area at its size
    blocks, rss = sys.getallocatedblocks(), rss_bytes()
    refs = [sys.getrefcount(o) for o in watched]
    run(1_000_000)
    assert [sys.getrefcount(o) for o in watched] == refs
    assert sys.getallocatedblocks() - blocks < 100
    assert rss_bytes() - rss < 1 << 20
