# SPDX-License-Identifier: MIT
"""Refusals: the library's messages, the binding's own checks, and the
buffer left exactly as it was."""
import threading
import unittest

import promfmt

INF = float("inf")

# (what, call on a buffer, text the Error must contain)
REFUSED = [
    ("bad metric name", lambda b: b.sample("1st", 1), "invalid metric name"),
    ("labels not JSON", lambda b: b.sample("m", 1, '{"a":'), "failed to parse labels JSON"),
    ("labels an array", lambda b: b.sample("m", 1, '["a"]'), "labels JSON must be an object"),
    ("bad label name", lambda b: b.sample("m", 1, {"a-b": "x"}), "invalid label name in JSON"),
    ("duplicate label", lambda b: b.sample("m", 1, '{"a":"1","a":"2"}'),
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
    ("NUL in name", lambda b: b.sample("m\0x", 1), "name contains a NUL"),
    ("NUL in help", lambda b: b.help("m", "a\0b"), "help text contains a NUL"),
    ("NUL in label", lambda b: b.sample("m", 1, {"x": "a\0b"}), "value contains a NUL"),
    ("NUL in JSON", lambda b: b.sample("m", 1, '{"x":"a"}\0'), "labels JSON contains a NUL"),
    ("type out of int32", lambda b: b.type("m", 2**31), "metric type 2147483648 is out of range"),
    ("unknown type name", lambda b: b.type("m", "bogus"), "unknown metric type 'bogus'"),
    ("timestamp past int64", lambda b: b.sample("m", 1, timestamp=2**63), "out of range"),
]

WRONG_TYPES = [
    ("name not str", lambda b: b.sample(b"m", 1)),
    ("value a str", lambda b: b.sample("m", "1")),
    ("labels a list", lambda b: b.sample("m", 1, [("a", "b")])),
    ("timestamp a float", lambda b: b.sample("m", 1, timestamp=1.5)),
]


class RefusalTest(unittest.TestCase):
    def test_refused_calls_raise_error_and_leave_the_buffer_unchanged(self):
        with promfmt.Buffer() as buf:
            buf.gauge("before", 1, help="Kept.")
            before = buf.data()
            for what, call, message in REFUSED:
                with self.subTest(what):
                    with self.assertRaises(promfmt.Error) as caught:
                        call(buf)
                    self.assertIn(message, str(caught.exception))
                    self.assertEqual(buf.data(), before)

    def test_wrong_argument_types_raise_type_error(self):
        with promfmt.Buffer() as buf:
            for what, call in WRONG_TYPES:
                with self.subTest(what), self.assertRaises(TypeError):
                    call(buf)
            self.assertEqual(buf.data(), b"")

    def test_a_refused_sample_in_a_family_keeps_help_and_type(self):
        # The library writes whole lines: HELP and TYPE stay, the sample does not.
        with promfmt.Buffer() as buf:
            with self.assertRaisesRegex(promfmt.Error, "invalid label name in JSON"):
                buf.counter("c", 1, {"9": "x"}, help="H.")
            self.assertEqual(buf.text(), "# HELP c H.\n# TYPE c counter\n")

    def test_each_thread_reads_its_own_message(self):
        # The library's last-error text is one block for the process; the
        # binding's lock must keep call and read together.
        cases = [(lambda b: b.sample("1x", 1), "invalid metric name"),
                 (lambda b: b.sample("m", 1, "{"), "failed to parse labels JSON"),
                 (lambda b: b.help("?", "h"), "invalid metric name for HELP emission"),
                 (lambda b: b.sample("m", 1, "[]"), "labels JSON must be an object")]
        wrong = []

        def fail_repeatedly(call, message):
            with promfmt.Buffer() as buf:
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
        self.assertEqual(wrong[:3], [])


class ClosedBufferTest(unittest.TestCase):
    def test_every_method_of_a_closed_buffer_raises(self):
        with promfmt.Buffer() as buf:
            buf.sample("m", 1)
        self.assertTrue(buf.closed)
        buf.close()  # a second close does nothing
        calls = [buf.text, buf.data, buf.reset, lambda: len(buf),
                 lambda: buf.sample("m", 1), lambda: buf.help("m", "h"),
                 lambda: buf.type("m", 1), lambda: buf.gauge("m", 1),
                 lambda: buf.counter("m", 1)]
        for call in calls:
            with self.subTest(call=call), \
                    self.assertRaisesRegex(promfmt.Error, "operation on a closed buffer"):
                call()

    def test_negative_capacity_is_refused(self):
        with self.assertRaisesRegex(promfmt.Error, "capacity -1 is out of range"):
            promfmt.Buffer(-1)


if __name__ == "__main__":
    unittest.main()
