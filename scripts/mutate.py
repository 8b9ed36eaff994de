#!/usr/bin/env python3
"""Mutation check: each wrong implementation of a rule must fail a test.

Every mutation of scripts/mutations.txt replaces one exact piece of text in
one file by another. The tree is copied to a work directory outside the
repository (the repository itself is never touched), built there once, and
then, one mutation at a time: the mutation is written into the copy, only the
test programs that can see it are rebuilt (ninja rebuilds just what the
change touches), they are run, and the file is restored. A mutation is killed
when a test program fails, crashes or runs past its time limit; one marked
"kill: build" (a fact pinned at compile time) when the build refuses it.

    scripts/mutate.py                 every mutation
    scripts/mutate.py --ci            the fixed sample marked "ci: yes"
    scripts/mutate.py --only a,b      the named ones
    scripts/mutate.py --list          names, files and test programs

Exit status: 0 when every mutation ran was killed, 1 when one survived,
2 when a mutation no longer applies, does not build, or the clean tree fails.
"""

import argparse
import fcntl
import os
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LIST = os.path.join(ROOT, "scripts", "mutations.txt")
PLUGIN = "Plugin/LumivastrinImporter/"

# The test programs that can see a change to a file, the quickest (and the
# likeliest to fail) first. A mutation may name its own with "tests:".
DEFAULT_TESTS = [
    (PLUGIN + "LumivastrinImporter.cpp", ["entry_registration_test", "footage_open_test", "options_roundtrip_test"]),
    (PLUGIN + "ext/AEGP_SuiteHandler", ["host_suite_handler_test", "entry_registration_test", "footage_open_test"]),
    (PLUGIN + "ext/jpeg_", ["jpeg_decoder_test", "jpeg_causes_test", "jpeg_differential_test", "draw_module_test"]),
    (PLUGIN + "Footage.cpp", ["footage_open_test", "options_roundtrip_test", "sweep_test"]),
    (PLUGIN + "StyleOptions.cpp", ["footage_open_test", "options_roundtrip_test", "sweep_test"]),
    (PLUGIN + "PreviewDraw.cpp", ["draw_direct_test", "draw_module_test", "sweep_test"]),
    (PLUGIN + "PreviewSource", ["draw_module_test"]),
    (PLUGIN + "WorldCopy.cpp", ["worldcopy_convert_test", "worldcopy_host_test", "draw_module_test"]),
    (PLUGIN + "PixelRows.cpp", ["worldcopy_convert_test", "worldcopy_host_test", "draw_module_test"]),
    (PLUGIN + "SampleConvert.h", ["worldcopy_convert_test", "worldcopy_host_test", "draw_module_test"]),
    ("sdk/", ["host_suite_handler_test"]),
]


class Mutation:
    def __init__(self, name, line):
        self.name = name
        self.line = line
        self.fields = {}

    def get(self, key, default=None):
        return self.fields.get(key, default)

    @property
    def file(self):
        return self.fields["file"]

    @property
    def original(self):
        return unescape(self.fields["from"])

    @property
    def replacement(self):
        return unescape(self.fields["to"])

    @property
    def tests(self):
        if "tests" in self.fields:
            return self.fields["tests"].split()
        for prefix, tests in DEFAULT_TESTS:
            if self.file.startswith(prefix):
                return tests
        raise SystemExit(f"{LIST}:{self.line}: no test programs known for {self.file}; add tests:")


def unescape(text):
    # "\n" is a line break and "\\" a backslash; nothing else is special.
    out, i = [], 0
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text) and text[i + 1] in "n\\":
            out.append("\n" if text[i + 1] == "n" else "\\")
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


def read_list(path):
    mutations, current = [], None
    with open(path, encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            line = raw.rstrip("\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            if line.startswith("[") and line.rstrip().endswith("]"):
                current = Mutation(line.strip()[1:-1], number)
                mutations.append(current)
                continue
            key, sep, value = line.partition(":")
            if not sep or current is None or key.strip() not in ("file", "from", "to", "tests", "ci", "kill"):
                raise SystemExit(f"{path}:{number}: expected [name] or file/from/to/tests/ci/kill: value")
            current.fields[key.strip()] = value.strip()
    names = set()
    for m in mutations:
        for key in ("file", "from", "to"):
            if key not in m.fields:
                raise SystemExit(f"{path}:{m.line}: [{m.name}] has no {key}:")
        if m.name in names:
            raise SystemExit(f"{path}:{m.line}: [{m.name}] is listed twice")
        if m.original == m.replacement:
            raise SystemExit(f"{path}:{m.line}: [{m.name}] changes nothing")
        if m.get("kill", "test") not in ("test", "build"):
            raise SystemExit(f"{path}:{m.line}: [{m.name}] kill: is test or build")
        names.add(m.name)
    return mutations


def tree_files():
    out = subprocess.run(["git", "-C", ROOT, "ls-files", "-co", "--exclude-standard", "-z"],
                         check=True, capture_output=True).stdout
    return [p for p in out.decode().split("\0") if p and not p.startswith("build")]


def sync_copy(source_dir):
    """Copies the working tree into source_dir, writing only files that
    differ, so that the copy's build stays incremental between runs, and
    removes the files the tree no longer has: a header moved elsewhere but
    left in the copy would still be found first on an include path."""
    wanted = set(tree_files())
    for base, dirs, names in os.walk(source_dir):
        for name in names:
            path = os.path.join(base, name)
            if os.path.relpath(path, source_dir) not in wanted:
                os.remove(path)
    for rel in sorted(wanted):
        src = os.path.join(ROOT, rel)
        dst = os.path.join(source_dir, rel)
        if not os.path.isfile(src):
            continue
        with open(src, "rb") as f:
            data = f.read()
        if os.path.isfile(dst):
            with open(dst, "rb") as f:
                if f.read() == data:
                    continue
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        # A new modification time, so that ninja rebuilds what it changed.
        shutil.copyfile(src, dst)
        shutil.copymode(src, dst)


def run(command, **kwargs):
    return subprocess.run(command, **kwargs)


def build(build_dir, targets, log):
    command = ["nice", "-n", "10", "ninja", "-C", build_dir, "-j", str(args.jobs)] + sorted(set(targets))
    result = run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    with open(log, "w") as f:
        f.write(result.stdout)
    return result.returncode == 0


def run_test(build_dir, test, limit):
    """True when the test program passes within limit seconds."""
    program = os.path.join(build_dir, "tests", test)
    try:
        result = run(["nice", "-n", "10", program, "--gtest_brief=1", "--gtest_fail_fast"],
                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=limit,
                     cwd=os.path.join(build_dir, "tests"))
    except subprocess.TimeoutExpired:
        return False
    return result.returncode == 0


def main():
    global args
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--ci", action="store_true", help="only the mutations marked ci: yes")
    parser.add_argument("--only", help="comma-separated names")
    parser.add_argument("--list", action="store_true", help="list the mutations and stop")
    parser.add_argument("--work", default=os.path.join("/tmp", f"lvs-mutation-{os.getuid()}"),
                        help="work directory for the copy and its build (default %(default)s)")
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--mutations", default=LIST, help="the list (default scripts/mutations.txt)")
    args = parser.parse_args()

    mutations = read_list(args.mutations)
    if args.ci:
        mutations = [m for m in mutations if m.get("ci") == "yes"]
    if args.only:
        wanted = args.only.split(",")
        unknown = set(wanted) - {m.name for m in mutations}
        if unknown:
            raise SystemExit("unknown mutations: " + ", ".join(sorted(unknown)))
        mutations = [m for m in mutations if m.name in wanted]
    if args.list:
        for m in mutations:
            print(f"{m.name:40} {m.file:50} {' '.join(m.tests)}")
        return 0
    if not mutations:
        raise SystemExit("no mutations selected")

    started = time.monotonic()
    source_dir = os.path.join(args.work, "src")
    build_dir = os.path.join(args.work, "build")
    os.makedirs(source_dir, exist_ok=True)
    # Two runs on one work directory would rebuild and mutate each other's
    # copy; the second waits for the first.
    lock = open(os.path.join(args.work, "lock"), "w")
    try:
        fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except BlockingIOError:
        print(f"waiting for the other run in {args.work}", file=sys.stderr)
        fcntl.flock(lock, fcntl.LOCK_EX)
    sync_copy(source_dir)
    if not os.path.isfile(os.path.join(build_dir, "build.ninja")):
        if run(["nice", "-n", "10", "cmake", "-S", source_dir, "-B", build_dir, "-G", "Ninja",
                "-DLVS_BENCH=OFF", "-DCMAKE_BUILD_TYPE=RelWithDebInfo"],
               stdout=subprocess.DEVNULL).returncode != 0:
            print("cmake failed", file=sys.stderr)
            return 2

    # Every original text must still be there exactly once, in the copy.
    problems = []
    for m in mutations:
        path = os.path.join(source_dir, m.file)
        if not os.path.isfile(path):
            problems.append(f"[{m.name}] {m.file} does not exist")
            continue
        with open(path, encoding="utf-8") as f:
            count = f.read().count(m.original)
        if count != 1:
            problems.append(f"[{m.name}] its text occurs {count} times in {m.file}")
    if problems:
        print("\n".join(problems), file=sys.stderr)
        return 2

    tests = []
    for m in mutations:
        tests += [t for t in m.tests if t not in tests]
    log = os.path.join(args.work, "build.log")
    if not build(build_dir, tests, log):
        print(f"the clean tree does not build; see {log}", file=sys.stderr)
        return 2
    limits = {}
    for t in tests:
        t0 = time.monotonic()
        if not run_test(build_dir, t, 600):
            print(f"{t} fails on the clean tree", file=sys.stderr)
            return 2
        # A mutant that runs much longer than the clean tree is taken to hang.
        limits[t] = max(20.0, 5 * (time.monotonic() - t0) + 10)
    print(f"clean tree built and passing ({time.monotonic() - started:.0f} s); "
          f"{len(mutations)} mutations", flush=True)

    survivors, broken, killed = [], [], 0
    # Grouped by file, so that a file restored after its last mutation is
    # recompiled once, not once per mutation.
    order = sorted(range(len(mutations)), key=lambda i: (mutations[i].file, i))
    for n, i in enumerate(order, 1):
        m = mutations[i]
        path = os.path.join(source_dir, m.file)
        with open(path, encoding="utf-8") as f:
            clean = f.read()
        t0 = time.monotonic()
        try:
            with open(path, "w", encoding="utf-8") as f:
                f.write(clean.replace(m.original, m.replacement, 1))
            built = build(build_dir, m.tests, log)
            if m.get("kill") == "build":
                # A fact pinned at compile time: the build itself must refuse it.
                verdict = "SURVIVED (it builds)" if built else "killed by the build"
                if built:
                    survivors.append(m.name)
                else:
                    killed += 1
            elif not built:
                verdict = "DOES NOT BUILD"
                shutil.copy(log, os.path.join(args.work, f"build-{m.name}.log"))
                broken.append(m.name)
            else:
                by = next((t for t in m.tests if not run_test(build_dir, t, limits[t])), None)
                verdict = f"killed by {by}" if by else "SURVIVED"
                if by:
                    killed += 1
                else:
                    survivors.append(m.name)
        finally:
            with open(path, "w", encoding="utf-8") as f:
                f.write(clean)
        print(f"[{n}/{len(mutations)}] {m.name}: {verdict} ({time.monotonic() - t0:.0f} s)", flush=True)

    # The copy's build is left matching the clean tree for the next run.
    build(build_dir, tests, log)
    elapsed = time.monotonic() - started
    print(f"\n{killed} of {len(mutations)} mutations killed in {elapsed:.0f} s")
    for name in survivors:
        print(f"  survived: {name}")
    for name in broken:
        print(f"  does not build: {name}")
    if broken:
        return 2
    return 1 if survivors else 0


if __name__ == "__main__":
    sys.exit(main())
