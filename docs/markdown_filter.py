# SPDX-License-Identifier: MIT
"""Doxygen input filter for the Markdown pages (README.md, docs/families.md).

The pages are written for a repository browser; two things in them do not
carry over to Doxygen 1.9 as they are:

- links to a section (#dependencies) need a heading id, which a repository
  browser derives from the heading's words and Doxygen does not: every
  heading but the page's title gets that id, {#dependencies}, unless it has
  one (ids are global in Doxygen: keep headings distinct across pages);
- links to files that are not part of the reference (examples/hello.c)
  would point nowhere in the generated HTML: they become their text. Links
  to the other pages stay, and links to the header become references to
  its page.

usage: markdown_filter.py FILE   (Doxygen appends FILE; output on stdout)
"""
import os
import re
import sys

# Files, relative to the repository root, that are pages or documented
# files of the reference: links to them stay.
REFERENCE_FILES = {"README.md", "docs/families.md", "include/promfmt.h"}

HEADING = re.compile(r"^(#{1,6})\s+(.*?)\s*$")
LINK = re.compile(r"\[([^\]]+)\]\(([^)\s]+)\)")
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def heading_id(title):
    """The id a repository browser gives a heading: lower case, spaces to
    hyphens, punctuation other than hyphens and underscores dropped."""
    slug = re.sub(r"[^\w\- ]", "", title.strip().lower())
    return slug.replace(" ", "-")


def rewrite_link(match, page_dir):
    text, target = match.group(1), match.group(2)
    if target.startswith("#") or re.match(r"^[a-z][a-z0-9+.-]*:", target):
        return match.group(0)
    path = os.path.normpath(os.path.join(page_dir, target.split("#", 1)[0]))
    if os.path.relpath(path, ROOT) not in REFERENCE_FILES:
        return text
    if path.endswith(".md"):
        return match.group(0)
    # A Markdown link to a source file stays a plain link in Doxygen 1.9;
    # a reference by the file's name reaches its page.
    return '@ref %s "%s"' % (os.path.basename(path), text.replace("`", ""))


def filter_page(path):
    page_dir = os.path.dirname(os.path.abspath(path))
    in_code = False
    seen_title = False
    out = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            if line.lstrip().startswith("```"):
                in_code = not in_code
            elif not in_code:
                heading = HEADING.match(line)
                # The page's title keeps the label Doxygen gives the page.
                is_title = heading and len(heading.group(1)) == 1 and not seen_title
                seen_title = seen_title or bool(heading)
                if heading and not is_title and "{#" not in line:
                    line = "%s %s {#%s}\n" % (heading.group(1), heading.group(2),
                                              heading_id(heading.group(2)))
                line = LINK.sub(lambda m: rewrite_link(m, page_dir), line)
            out.append(line)
    sys.stdout.write("".join(out))


if __name__ == "__main__":
    filter_page(sys.argv[1])
