# SPDX-License-Identifier: MIT
"""The guide's C examples are real programs that write valid, lint-free text.

Every program under docs/examples/ is built against the library and run;
its output must pass `promtool check metrics` with exit 0 and no lint
message. In docs/families.md, the fenced block after a marker
<!-- file: docs/examples/X.c --> must hold the file verbatim, and the one
after <!-- output: docs/examples/X.c --> the program's output verbatim.
With --update, those blocks are rewritten from the files and outputs
instead of compared.

usage: check_guide_examples.py SOURCE_DIR LIBRARY_DIR [--update]
"""
import os
import re
import subprocess
import sys
import tempfile

MARKER = re.compile(r"<!-- (file|output): (\S+) -->\n(```[a-z]*)\n(.*?)```\n", re.S)


def build_and_run(source_dir, lib_dir, example, work):
    exe = os.path.join(work, os.path.basename(example)[:-2])
    subprocess.run(["cc", "-std=c99", "-Wall", "-Wextra", "-pedantic", "-Werror",
                    "-I", os.path.join(source_dir, "include"),
                    os.path.join(source_dir, example), "-o", exe,
                    "-L", lib_dir, "-lvelkaron-prometheus-promfmt"], check=True)
    env = dict(os.environ, LD_LIBRARY_PATH=lib_dir)
    run = subprocess.run([exe], env=env, capture_output=True, check=False)
    if run.returncode != 0 or run.stderr:
        raise RuntimeError("%s exited %d: %s" % (example, run.returncode,
                                                 run.stderr.decode(errors="replace")))
    return run.stdout.decode("utf-8")


def promtool_problems(text):
    check = subprocess.run(["promtool", "check", "metrics"], input=text.encode(),
                           capture_output=True, check=False)
    said = (check.stdout + check.stderr).decode(errors="replace").strip()
    if check.returncode != 0 or said:
        return "exit %d: %s" % (check.returncode, said)
    return ""


def main():
    source_dir, lib_dir = sys.argv[1], sys.argv[2]
    update = "--update" in sys.argv[3:]
    guide_path = os.path.join(source_dir, "docs", "families.md")
    examples_dir = os.path.join(source_dir, "docs", "examples")
    examples = sorted("docs/examples/" + f for f in os.listdir(examples_dir) if f.endswith(".c"))
    failures = []
    outputs = {}
    with tempfile.TemporaryDirectory(prefix="promfmt-guide-") as work:
        for example in examples:
            try:
                outputs[example] = build_and_run(source_dir, lib_dir, example, work)
            except (RuntimeError, subprocess.CalledProcessError) as e:
                failures.append(str(e))
                continue
            problem = promtool_problems(outputs[example])
            print("%-34s promtool %s" % (example, problem or "ok"))
            if problem:
                failures.append("%s: promtool %s" % (example, problem))

    with open(guide_path, encoding="utf-8") as f:
        guide = f.read()
    shown = set()

    def expected(kind, example):
        if kind == "file":
            with open(os.path.join(source_dir, example), encoding="utf-8") as f:
                return f.read()
        return outputs.get(example, "")

    def sync(match):
        kind, example, fence, body = match.groups()
        shown.add((kind, example))
        want = expected(kind, example)
        if not update and body != want:
            failures.append("docs/families.md: the %s block of %s differs from it"
                            % (kind, example))
        return "<!-- %s: %s -->\n%s\n%s```\n" % (kind, example, fence, want)

    updated = MARKER.sub(sync, guide)
    for example in examples:
        for kind in ("file", "output"):
            if (kind, example) not in shown:
                failures.append("docs/families.md does not show the %s of %s" % (kind, example))
    if update and updated != guide:
        with open(guide_path, "w", encoding="utf-8") as f:
            f.write(updated)
        print("docs/families.md updated")

    for failure in failures:
        print("FAIL", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
