# SPDX-License-Identifier: MIT
"""Reads exposition texts (JSON list of strings on stdin) with
prometheus_client's parser; prints each one's families as JSON:
{name: [type, help, sorted [sample name, sorted labels, repr(value)]]}."""
import json
import sys

from prometheus_client.parser import text_string_to_metric_families


def families(text):
    out = {}
    for f in text_string_to_metric_families(text):
        samples = sorted([s.name, sorted(s.labels.items()), repr(s.value)] for s in f.samples)
        out[f.name] = [f.type, f.documentation, samples]
    return out


print(json.dumps([families(t) for t in json.load(sys.stdin)]))
