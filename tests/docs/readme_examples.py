#!/usr/bin/env python3
"""Every code block of the README against what the programs really print,
so that an example cannot go stale unnoticed.

A block says what it is:
  a transcript        its lines starting with "$ " are commands, the lines
                      after each its output; "cat FILE" of a file that is
                      not there gives the file; "CMD &" runs in the
                      background until the transcript ends, its output shown
                      after it
  <!-- output of: CMD -->    before the block: the block is CMD's output;
                      several "$ " lines in the comment run as a transcript
                      and the block is the last one's output
  <!-- gates file -->        vpihost --no-port must take every gate of it
  <!-- include graph -->     the edges .ci/check-include-graph.sh prints
  <!-- not output -->        not checked
A line "..." stands for any number of lines. Commands run in a folder of
their own with vpihost and rtusim on PATH. Figures that differ from run to
run (times, dates, milliseconds, temporary paths, pids, devices) are masked
on both sides; counts are not.

usage: readme_examples.py README VPIHOST RTUSIM [--show]
       readme_examples.py --self-test
--show prints each block's real output, as it is and masked, to paste into
the README.
"""
import difflib
import os
import re
import shlex
import subprocess
import sys
import tempfile
import time

COMMAND_TIMEOUT = 120  # s; a shared, noisy machine
READY_TIMEOUT = 60

TMP = "|".join(sorted({re.escape(d) for d in ("/tmp", "/var/tmp", tempfile.gettempdir())}))
MASKS = [  # what differs from run to run, and what it becomes
    (r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(\.\d+)?Z?", "<time>"),
    (r"\b[A-Z][a-z]{2} [ \d]\d \d{4}\b", "<date>"),
    (r"\b\d\d:\d\d:\d\d\b", "<time>"),
    (r"(?<![\w.])\d+\.\d\d(?![\w.])", "<ms>"),  # milliseconds have two decimals
    (r'("\w*(?:_ms|seconds|second)":)[\d.eE+-]+', r"\1<ms>"),
    (r"\b\d+\.\d+ (s|a second)\b", r"<t> \1"),
    (r"(?:%s)/[^\s,;:)\"']*" % TMP, "<tmp>"),
    (r"/dev/(pts/|tty[A-Za-z]*)\d+", r"/dev/\1<n>"),
    (r"\b(pid|process) \d+", r"\1 <pid>"),
]


def mask(line, roots=()):
    masked = line
    for root, name in roots:
        masked = masked.replace(root, name)
    for pattern, replacement in MASKS:
        masked = re.sub(pattern, replacement, masked)
    # A masked figure may be wider or narrower than the README's.
    return re.sub(r" {2,}", " ", masked) if masked != line else masked


def project(expected, actual):
    """actual with the lines each "..." of expected skips folded into "...":
    a "..." skips to the first line equal to the one after it."""
    out, i = [], 0
    for k, line in enumerate(expected):
        if line != "...":
            if i < len(actual):
                out.append(actual[i])
                i += 1
            continue
        following = next((e for e in expected[k + 1:] if e != "..."), None)
        j = len(actual) if following is None else i
        while j < len(actual) and actual[j] != following:
            j += 1
        out.append("...")
        i = j if j < len(actual) or following is None else i
    return out + actual[i:]


def compare(name, first_line, expected, actual, roots=()):
    """None when the README's lines match the output, else a diff."""
    want = [mask(l, roots) for l in expected]
    got = project(want, [mask(l, roots) for l in actual])
    if got == want:
        return None
    diff = difflib.unified_diff(want, got, "README.md", name, lineterm="", n=2)
    # Hunks count the README's lines from the top of the file, not of the block.
    at = lambda m: "@@ -%d" % (int(m.group(1)) + first_line - 1)
    return "\n".join(re.sub(r"^@@ -(\d+)", at, l) for l in diff)


class Run:
    """Commands in a folder of their own, as a user types them."""

    def __init__(self, path_dirs):
        self.work = tempfile.mkdtemp(prefix="readme-examples.")
        self.env = dict(os.environ, PATH=os.pathsep.join(path_dirs + [os.environ.get("PATH", "")]))
        self.env.pop("VPI_COM_DIR", None)
        self.background = []  # (process, its output file, its output index)

    def command(self, cmd, shown):
        """Runs cmd and returns its output lines (a background command's
        come in finish())."""
        words = shlex.split(cmd)
        path = os.path.join(self.work, words[1]) if len(words) == 2 and words[0] == "cat" else None
        if path and not os.path.exists(path):
            with open(path, "w") as f:
                f.write("".join(l + "\n" for l in shown))
        if cmd.endswith("&"):
            return self.start(cmd[:-1].strip())
        try:
            done = subprocess.run(["bash", "-c", cmd], cwd=self.work, env=self.env, stdin=subprocess.DEVNULL,
                                  stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=COMMAND_TIMEOUT)
            return done.stdout.decode(errors="replace").splitlines()
        except subprocess.TimeoutExpired:
            return ["(no end after %d s)" % COMMAND_TIMEOUT]

    def start(self, cmd):
        out = open(os.path.join(self.work, ".background-%d" % len(self.background)), "w+b")
        process = subprocess.Popen(["bash", "-c", "exec " + cmd], cwd=self.work, env=self.env,
                                   stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT)
        # Ready once the line it links is there, or once it has said something.
        words = shlex.split(cmd)
        link = os.path.join(self.work, words[words.index("--link") + 1]) if "--link" in words else None
        deadline = time.monotonic() + READY_TIMEOUT
        while process.poll() is None and time.monotonic() < deadline:
            if (os.path.islink(link) if link else os.path.getsize(out.name) > 0):
                break
            time.sleep(0.05)
        lines = []
        self.background.append((process, out, lines))
        return lines

    def finish(self):
        for process, out, lines in self.background:
            out.seek(0)
            lines.extend(out.read().decode(errors="replace").splitlines())
            if process.poll() is None:
                process.terminate()
            try:
                process.wait(10)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
            out.close()
        subprocess.run(["rm", "-rf", self.work])


def transcript(lines):
    """[(command, its shown output lines)] of "$ " lines and what follows."""
    steps = []
    for line in lines:
        if line.startswith("$ "):
            steps.append((line[2:], []))
        elif steps:
            steps[-1][1].append(line)
    return steps


def run_transcript(steps, path_dirs):
    run = Run(path_dirs)
    try:
        outputs = [run.command(cmd, shown) for cmd, shown in steps]
    finally:
        run.finish()
    return outputs


def blocks(readme):
    """(line number of the first line, marker or None, lines) of each block."""
    lines = open(readme).read().splitlines()
    found, k = [], 0
    while k < len(lines):
        if not lines[k].startswith("```"):
            k += 1
            continue
        end = next(e for e in range(k + 1, len(lines)) if lines[e].startswith("```"))
        marker, m = None, k - 1
        if m >= 0 and lines[m].rstrip().endswith("-->"):
            while not lines[m].lstrip().startswith("<!--"):
                m -= 1
            marker = "\n".join(lines[m:k]).strip()[4:-3].strip()
        found.append((k + 2, marker, lines[k + 1:end]))
        k = end + 1
    return found


def check_output(first, marker, lines, ctx):
    """A transcript as a whole, or the block as the marker's last command's output."""
    if marker is None:
        steps = transcript(lines)
    else:
        steps = transcript(marker.splitlines()) or [(marker.split(":", 1)[1].strip(), [])]
    outputs = run_transcript(steps, ctx["path"])
    if marker is None:
        actual = [l for (cmd, _), out in zip(steps, outputs) for l in ["$ " + cmd] + out]
    else:
        actual = outputs[-1]
    if ctx["show"]:
        print("=== README.md:%d, %s" % (first, marker or "transcript"))
        print("\n".join(actual))
        print("--- masked")
        print("\n".join(mask(l, ctx["roots"]) for l in actual))
    return compare(steps[-1][0], first, lines, actual, ctx["roots"])


def check_gates_file(first, marker, lines, ctx):
    """vpihost takes every gate: a row for each, none refused."""
    gates = [l for l in lines if l.split("#")[0].strip()]
    steps = [("cat shown.gates", lines), ("vpihost --no-port --gates shown.gates", [])]
    out = run_transcript(steps, ctx["path"])[1]
    rows = [l for l in out if re.match(r" *\d+  \S", l)]
    if len(rows) == len(gates) and not any("(address refused)" in r for r in rows):
        return None
    return "README.md:%d: vpihost does not take this gates file:\n%s" % (first, "\n".join(out))


def check_include_graph(first, marker, lines, ctx):
    """The edges of "FROM -> TO, TO" lines against the script's "FROM TO" lines."""
    out = subprocess.run(["bash", os.path.join(ctx["source"], ".ci/check-include-graph.sh"), ctx["source"]],
                         stdout=subprocess.PIPE, universal_newlines=True).stdout
    real = sorted(" ".join(l.split()) for l in out.splitlines()[1:])
    edges = [(l.split("->")[0].strip(), l.split("->")[1]) for l in lines]
    shown = sorted("%s %s" % (f, to.strip()) for f, tos in edges for to in tos.split(","))
    diff = compare(".ci/check-include-graph.sh", 1, shown, real)
    return diff and "README.md:%d: the include graph, edge by edge:\n%s" % (first, diff)


CHECKS = {  # what a marker says a block is, and how it is checked
    "output of": check_output,
    "gates file": check_gates_file,
    "include graph": check_include_graph,
    "not output": lambda *_: None,
}


def check(readme, ctx):
    failures, counts = [], {}
    for first, marker, lines in blocks(readme):
        if marker is None and lines and lines[0].startswith("$ "):
            kind = "transcript"
        else:
            kind = next((k for k in CHECKS if marker and marker.startswith(k)), "unmarked")
        counts[kind] = counts.get(kind, 0) + 1
        if kind == "unmarked":
            failure = ("README.md:%d: a code block that says not what it is: a transcript, or after one of "
                       "<!-- output of: CMD -->, <!-- gates file -->, <!-- include graph -->, "
                       "<!-- not output -->" % first)
        else:
            failure = CHECKS.get(kind, check_output)(first, marker, lines, ctx)
        if failure:
            failures.append(failure)
    for failure in failures:
        print(failure + "\n")
    print("readme examples: %s; %d failed" % (", ".join("%d %s" % (n, k) for k, n in sorted(counts.items())),
                                              len(failures)))
    return 1 if failures else 0


# The checker itself: what a mask may hide and what it must not.
SELF_TESTS = [  # (README lines, output lines, whether they match)
    (["  1  0140001    int16    0    0 done"], ["  1  0140001    int16    0    0 done"], True),
    (["  1  0140001    int16    0    0 done"], ["  1  0140001    int16    1    0 done"], False),
    (["      1   5   5    12.06    14.16  answering"], ["      1   5   5   112.10     9.71  answering"], True),
    (["      1   5   5    12.06    14.16  answering"], ["      1   5   4    12.06    14.16  answering"], False),
    (["value 21.5"], ["value 21.7"], False),
    (["station 2 demoted for 30 s"], ["station 2 demoted for 60 s"], False),
    (["summary: 5 cycles in 2.2 s, 30 transfers (13.9 a second)"],
     ["summary: 5 cycles in 12.0 s, 30 transfers (2.5 a second)"], True),
    (["summary: 5 cycles in 2.2 s, 30 transfers"], ["summary: 5 cycles in 2.2 s, 31 transfers"], False),
    (["compiled on Dec  9 2026 at time 05:31:42"], ["compiled on Jan 10 2027 at time 17:02:09"], True),
    (["2026-12-09T05:34:32.224Z,1,1"], ["2027-01-10T17:02:09.001Z,1,1"], True),
    (["station 1 on /dev/pts/0 through VPI_COM_DIR=/tmp/vpihost-2270007645 (holding"],
     ["station 1 on /dev/pts/13 through VPI_COM_DIR=%s/vpihost-1 (holding" % tempfile.gettempdir()], True),
    (["station 1 on /dev/pts/0 (holding"], ["station 1 on /dev/ttyS0 (holding"], False),
    (['{"min_ms":23.612,"seconds":60.0,"transfers":5}'], ['{"min_ms":9.1,"seconds":2.25,"transfers":5}'], True),
    (["a", "...", "z"], ["a", "b", "c", "z"], True),
    (["a", "...", "z"], ["a", "z"], True),
    (["a", "..."], ["a", "b"], True),
    (["...", "c"], ["a", "b"], False),
    (["a", "...", "z"], ["a", "b", "z", "y"], False),
    (["a", "b"], ["a"], False),
    (["a"], ["a", "b"], False),
]


def self_test():
    wrong = [(e, a, m) for e, a, m in SELF_TESTS if (compare("output", 1, e, a) is None) != m]
    for expected, actual, matches in wrong:
        print("%s vs %s: should %smatch" % (expected, actual, "" if matches else "not "))
    print("readme examples checker: %d of %d cases right" % (len(SELF_TESTS) - len(wrong), len(SELF_TESTS)))
    return 1 if wrong else 0


def main(args):
    if args == ["--self-test"]:
        return self_test()
    readme, vpihost, rtusim = [a for a in args if a != "--show"]
    source = os.path.dirname(os.path.abspath(readme))
    build = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(vpihost))))
    roots = sorted([(source, "<source>"), (build, "<build>")], key=lambda r: -len(r[0]))
    path = [os.path.dirname(os.path.abspath(p)) for p in (vpihost, rtusim)]
    return check(readme, {"source": source, "roots": roots, "path": path, "show": "--show" in args})


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
