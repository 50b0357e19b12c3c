# SPDX-License-Identifier: MIT
"""Writes the fuzz targets' seed corpus (fuzz/corpus/TARGET/) from the cases
of the unit-test tables. Run it again after adding cases; the files are
committed so that a fuzz run never starts from nothing.
"""
import hashlib
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

LABELS = [
    None, "", " \t\r\n ", "{}", " \n{ }\t\r\n", "\v", "\f{}",
    "[1,2]", "42", '"a"', "true", "null", "job=api", '{"a":"b"', '{"a":"b"} x', "{}{}",
    '\xef\xbb\xbf{"a":"b"}', '{/* c */"a":"b"}', '{"a":"b",}', '{"a":NaN}', '{"a":Infinity}',
    '{"b":"2","a":"1"}', '{"a":"4","_":"3","A":"2","a1":"5","Z9":"1"}',
    '{"a":"1","b":"2","c-d":"3"}', '{"\\u0000a":"1"}', '{"ab\\u0000cd":"1"}',
    '{"a":"1","a":"2"}', '{"b":1,"a":2,"c":3,"b":4}', '{"a":"1","a\\u0000x":"2"}',
    '{"v":"a\\\\b\\"c\\nd"}', '{"v":"\\t\\r"}', '{"v":"\xc3\xa9\\u00e9"}', '{"v":"ab\\u0000cd"}',
    '{"v":7}', '{"v":-7}', '{"v":1.5}', '{"v":1e20}', '{"v":true}', '{"v":false}',
    '{"v":null}', '{"v":[1,2]}', '{"v":{"w":1}}', '{"v":18446744073709551615}',
    '{"v":-9223372036854775808}', '{"v":18446744073709551616}', '{"v":"\\ud800"}',
    '{"v":"\xc0\x80"}', '{"v":"\xed\xa0\x80"}',
    "{" + ",".join('"%s":%d' % (chr(ord("a") + i), i) for i in range(20)) + "}",
]
# Two labels texts, the second written after the first on one buffer: the
# label names the buffer keeps from the first meet the second.
KEPT_PAIRS = [
    ('{"code":"200","method":"get"}', '{"code":"404","method":"put"}'),
    ('{"code":"200","method":"get"}', '{"code":"404","method":"put","path":"/"}'),
    ('{"code":"200","method":"get"}', '{"method":"put","code":"404"}'),
    ('{"code":"200","method":"get"}', '{"code":"4\\"0","methods":"put"}'),
    ('{"b":"1","a":"2"}', '{"b":"1","a":"2"} '),
    ('{"b":"1","a":"2"}', '{"b":"1","b":"2"}'),
]
NAMES = ["m", "http_requests_total", ":", "_", "a:b:c", "1abc", "a-b", "caf\xc3\xa9", "", "a@"]
VALUES = [0.0, -0.0, 1.0, 0.1, 1.5, 1e14, 1e14 - 1, 5e-324, 1.7976931348623157e308,
          math.nan, math.inf, -math.inf, 123456789.123456789]
TIMESTAMPS = [0, -5, 1, 1700000000123, 2**63 - 1, -2**63]
HELPS = ["Requests served.", "", "back\\slash", "two\nlines", 'say "hi"', "\xff\xfe"]
ESCAPES = ["", "plain", "a\\b", 'say "hi"', "two\nlines", '\\"\n', "cr\r tab\t", "\xc3\xa9 \xff"]


def raw(s):
    return s.encode("latin-1") if s is not None else None


def write(target, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    name = hashlib.sha1(data).hexdigest()[:16]
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def main():
    for i, labels in enumerate(LABELS):
        head = struct.pack("<dq", VALUES[i % len(VALUES)], TIMESTAMPS[i % len(TIMESTAMPS)])
        name = raw(NAMES[i % 3])
        write("fuzz_sample", head + name + (b"" if labels is None else b"\0" + raw(labels)))
    for i, name in enumerate(NAMES):
        head = struct.pack("<dq", VALUES[i % len(VALUES)], TIMESTAMPS[i % len(TIMESTAMPS)])
        write("fuzz_sample", head + raw(name) + b"\0" + raw('{"le":"+Inf"}'))
    for sel in range(4):
        for i, help_text in enumerate(HELPS):
            code = [0, 1, 2, 3, 4, 5, -1, -2**31][(sel + i) % 8]
            labels = LABELS[(sel * 7 + i) % len(LABELS)] or ""
            data = bytes([sel]) + struct.pack("<id", code, VALUES[i % len(VALUES)])
            data += raw(NAMES[i % len(NAMES)]) + b"\0" + raw(help_text) + b"\0" + raw(labels)
            write("fuzz_meta", data)
    for text in ESCAPES:
        write("fuzz_escape", raw(text))
    for first, second in KEPT_PAIRS:
        write("fuzz_shortcut", raw(first) + b"\0" + raw(second))


if __name__ == "__main__":
    main()
