# SPDX-License-Identifier: MIT
"""The generated reference says what the sources say.

Reads Doxygen's HTML output and checks that:
- Doxygen wrote no warning (its log, doxygen-warnings.log, sits beside the
  html directory and must be empty);
- the main page is the README: its first heading and its usage example;
- the escape rules of promfmt_escape_label_value() and promfmt_emit_help()
  render with the right characters (backslash-backslash, backslash-quote,
  backslash-n), not as Doxygen commands;
- every link between the generated pages reaches an existing page and
  anchor.

usage: check_html.py HTML_DIR
"""
import glob
import html
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

# What each escape must render as, per function that documents it.
ESCAPES = {
    "promfmt_escape_label_value": {"backslash": "\\\\", "double quote": '\\"',
                                   "line feed": "\\n"},
    "promfmt_emit_help": {"backslash": "\\\\", "line feed": "\\n"},
}


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def text_of(markup):
    """Visible text: tags dropped, entities decoded, blanks collapsed."""
    return " ".join(html.unescape(re.sub(r"<[^>]+>", "", markup)).split())


def function_doc(header_html, function):
    """The detailed documentation block of one function."""
    parts = re.split(r'<h2 class="memtitle">', header_html)
    for part in parts[1:]:
        if re.match(r".*?\b%s\(\)" % function, text_of(part.split("</h2>", 1)[0])):
            return text_of(part)
    return None


def check_warnings(html_dir):
    log = os.path.join(os.path.dirname(os.path.abspath(html_dir)), "doxygen-warnings.log")
    if not os.path.exists(log):
        return ["no Doxygen warning log at %s" % log]
    said = read(log).strip()
    return ["Doxygen warned:\n" + said] if said else []


def check_main_page(html_dir):
    page = text_of(read(os.path.join(html_dir, "index.html")))
    readme = read(os.path.join(ROOT, "README.md"))
    title = re.search(r"^# (.+)$", readme, re.M).group(1).strip()
    usage = re.search(r"^## Usage\n+```c\n(.*?)```", readme, re.S | re.M)
    problems = []
    if title not in page:
        problems.append("main page lacks the README's first heading %r" % title)
    if not usage:
        problems.append("README has no usage example")
    else:
        code = " ".join(usage.group(1).split())
        if code not in page:
            problems.append("main page lacks the README's usage example")
    return problems


def check_escapes(html_dir):
    header = read(os.path.join(html_dir, "promfmt_8h.html"))
    problems = []
    for function, escapes in ESCAPES.items():
        doc = function_doc(header, function)
        if doc is None:
            problems.append("no documentation block for %s" % function)
            continue
        for byte, want in escapes.items():
            found = re.search(r"\b%s becomes (\S+?)[,;. ]" % byte, doc)
            got = found.group(1) if found else None
            if got != want:
                problems.append("%s: %s renders as %r, want %r" % (function, byte, got, want))
    return problems


def check_links(html_dir):
    pages = {os.path.basename(p): read(p) for p in glob.glob(os.path.join(html_dir, "*.html"))}
    anchors = {name: set(re.findall(r'\b(?:id|name)="([^"]+)"', text))
               for name, text in pages.items()}
    problems = []
    for name, text in sorted(pages.items()):
        for href in sorted(set(re.findall(r'href="([^"]+)"', text))):
            if re.match(r"^[a-z][a-z0-9+.-]*:", href) or href.startswith("javascript"):
                continue
            target, _, fragment = href.partition("#")
            target = target or name
            if target not in pages and not os.path.exists(os.path.join(html_dir, target)):
                problems.append("%s links to missing %s" % (name, href))
            elif fragment and target in anchors and fragment not in anchors[target]:
                problems.append("%s links to missing anchor %s" % (name, href))
    return problems


def main():
    html_dir = sys.argv[1]
    failed = False
    for label, check in (("no warnings", check_warnings), ("main page", check_main_page),
                         ("escapes render", check_escapes), ("links", check_links)):
        problems = check(html_dir)
        print("%-15s %s" % (label, "ok" if not problems else "FAIL"))
        for problem in problems:
            print("  " + problem)
        failed = failed or bool(problems)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
