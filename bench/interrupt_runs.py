#!/usr/bin/env python3
"""Ends lvs by SIGINT, SIGTERM or SIGHUP at random points of long runs and
counts what each run leaves on disk: files or folders left behind (beside
the output, or under TMPDIR), non-regular paths changed (a FIFO, a device or
a symbolic link given as the output), outputs harmed (an older file lost, or
an output left in part), torn JSON lines, and check -j workers that outlive
their run.

Each of pack, render, sheet, check -r and a package arriving slowly on
standard input (check, info and render in turn) is run until RUNS runs were
ended by the signal (runs that finish first are counted apart, at most three
times RUNS in all). The outputs rotate through a new name, an older file, a
link to one, a FIFO and a device node of our own (made only as root; else
left out).

    python3 bench/interrupt_runs.py [BUILD_DIR] [RUNS] [SEED]
"""
import ctypes
import os
import random
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OLDER = b"an older file\n"
SIGNALS = [signal.SIGINT, signal.SIGTERM, signal.SIGHUP]
PR_SET_CHILD_SUBREAPER = 36


def whole(path):
    """A whole PNG ends with its IEND chunk, a whole zip with its end record."""
    with open(path, "rb") as f:
        data = f.read()
    if path.endswith(".png"):
        return data.endswith(bytes.fromhex("0000000049454e44ae426082"))
    return len(data) >= 22 and data[-22:-18] == b"PK\x05\x06"


def snapshot(*folders):
    """Every path below the folders: its type, inode, device and link text."""
    nodes = {}
    for folder in folders:
        for root, dirs, files in os.walk(folder):
            for name in dirs + files:
                path = os.path.join(root, name)
                s = os.lstat(path)
                link = os.readlink(path) if stat.S_ISLNK(s.st_mode) else ""
                nodes[path] = (stat.S_IFMT(s.st_mode), s.st_ino, s.st_rdev, link)
    return nodes


class Bench:
    def __init__(self, lvs, runs, seed):
        self.lvs, self.runs = lvs, runs
        self.random = random.Random(seed)
        self.work = tempfile.mkdtemp(prefix="lvs-interrupt.")
        self.inputs = os.path.join(self.work, "in")
        self.out = os.path.join(self.work, "out")
        self.tmp = os.path.join(self.work, "tmp")
        os.makedirs(os.path.join(self.inputs, "lib"))
        os.makedirs(self.tmp)
        shutil.copy(os.path.join(HERE, "examples/sample.lvs"), os.path.join(self.inputs, "good.lvs"))
        shutil.copy(os.path.join(HERE, "examples/sample_preview.jpg"), os.path.join(self.inputs, "prv.jpg"))
        with open(os.path.join(self.inputs, "meta.json"), "w") as f:
            f.write('{"name":"Bench","author":"A. B.","hash":"9f2c","version":3}')
        # Enough reports to pass stdio's 4 KiB buffer several times.
        for i in range(120):
            folder = os.path.join(self.inputs, "lib", "set%d" % (i % 3))
            os.makedirs(folder, exist_ok=True)
            shutil.copy(os.path.join(self.inputs, "good.lvs"), os.path.join(folder, "s%d.lvs" % i))
        with open(os.path.join(self.inputs, "good.lvs"), "rb") as f:
            self.package = f.read()
        self.env = dict(os.environ, TMPDIR=self.tmp)
        self.holder = None
        self.stop = threading.Event()
        # Workers whose parent is gone come to us, so that we see them end.
        ctypes.CDLL(None, use_errno=True).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0)

    def fresh_outputs(self):
        """A new output folder for each command, so that one that harms the
        FIFO or the device does not hide what the next does. The FIFO is held
        open for reading and writing and drained, so that a run opens and
        writes it without waiting."""
        self.close_outputs()
        shutil.rmtree(self.out, ignore_errors=True)
        os.makedirs(os.path.join(self.out, "sub"))
        os.mkfifo(os.path.join(self.out, "pipe"))
        self.holder = os.open(os.path.join(self.out, "pipe"), os.O_RDWR | os.O_NONBLOCK)
        self.stop.clear()
        self.drain = threading.Thread(target=self.drain_fifo, args=(self.holder,))
        self.drain.start()
        self.has_device = False
        try:
            os.mknod(os.path.join(self.out, "null"), stat.S_IFCHR | 0o666, os.makedev(1, 3))
            os.close(os.open(os.path.join(self.out, "null"), os.O_WRONLY))
            self.has_device = True
        except OSError:
            if os.path.lexists(os.path.join(self.out, "null")):
                os.unlink(os.path.join(self.out, "null"))  # a filesystem mounted nodev

    def drain_fifo(self, fd):
        while not self.stop.is_set():
            try:
                if not os.read(fd, 1 << 16):
                    time.sleep(0.005)
            except BlockingIOError:
                time.sleep(0.005)

    def close_outputs(self):
        if self.holder is not None:
            self.stop.set()
            self.drain.join()
            os.close(self.holder)
            self.holder = None

    def command(self, name, output):
        """The arguments of a run of `name` writing `output` (a name under
        out), and where its standard output goes."""
        target = os.path.join(self.out, output)
        if name == "pack":
            return ["pack", "-o", target, "--preview", "prv.jpg", "--meta", "meta.json"], os.devnull
        if name == "render":
            return ["render", "good.lvs", "-o", target, "--size", "1024x1024", "--depth", "16"], os.devnull
        if name == "sheet":
            return ["sheet", "lib/set0", "-o", target, "--cell-width", "128"], os.devnull
        if name == "check-r":
            return ["check", "-r", "--json", "-j", "2", "lib"], target
        return self.random.choice([["check", "-"], ["info", "-"], ["render", "-", "-o", target]]), os.devnull

    def start(self, name, args, stdout):
        """lvs with the signals at their defaults, as a shell starts a command
        in the foreground; a package on standard input comes in pieces, so
        that many signals find its copy being made."""
        with open(stdout, "wb") as out:
            run = subprocess.Popen([self.lvs] + args, cwd=self.inputs, env=self.env, stdout=out,
                                   stderr=subprocess.DEVNULL,
                                   stdin=subprocess.PIPE if name == "stdin" else subprocess.DEVNULL)
        if name == "stdin":
            def feed(pipe):
                try:
                    for at in range(0, len(self.package), 4096):
                        pipe.write(self.package[at:at + 4096])
                        pipe.flush()
                        time.sleep(0.002)
                    pipe.close()
                except (BrokenPipeError, ValueError, OSError):
                    pass
            threading.Thread(target=feed, args=(run.stdin,), daemon=True).start()
        return run

    def orphans_outlive(self):
        """Reaps workers whose parent has gone; True if one is still running
        a second later."""
        deadline = time.monotonic() + 1.0
        while True:
            try:
                pid, _ = os.waitpid(-1, os.WNOHANG)
            except ChildProcessError:
                return False
            if pid == 0:
                if time.monotonic() > deadline:
                    return True
                time.sleep(0.01)

    def run(self, name, extension):
        self.fresh_outputs()
        counts = dict.fromkeys(["runs", "signalled", "finished", "left", "changed", "harmed", "torn", "lingering"], 0)
        args, stdout = self.command(name, "out." + extension)
        begin = time.monotonic()
        if self.start(name, args, stdout).wait() != 0:
            sys.exit("%s: a whole run failed" % name)
        span = time.monotonic() - begin
        kinds = 5 if self.has_device else 4
        while counts["signalled"] < self.runs and counts["runs"] < 3 * self.runs:
            r = counts["runs"]
            counts["runs"] += 1
            for stale in ["out." + extension, "sub/out." + extension, "link", "results"]:
                if os.path.lexists(os.path.join(self.out, stale)):
                    os.unlink(os.path.join(self.out, stale))
            kind = r % kinds
            if name == "check-r":
                kind = [0, 3, 4][r % (kinds - 2)]  # a file, the FIFO, the device
            elif name == "stdin":
                kind = 0
            output = ["out." + extension] * 2 + ["link", "pipe", "null"]
            output = "results" if name == "check-r" and kind == 0 else output[kind]
            target = {0: output, 1: output, 2: "sub/out." + extension}.get(kind)
            target = os.path.join(self.out, target) if target else None
            if kind in (1, 2):
                with open(target, "wb") as f:
                    f.write(OLDER)
            if kind == 2:
                os.symlink("sub/out." + extension, os.path.join(self.out, "link"))
            before = snapshot(self.out, self.tmp)
            sent = self.random.choice(SIGNALS)
            args, stdout = self.command(name, output)
            run = self.start(name, args, stdout)
            time.sleep(self.random.uniform(0, span * 1.1))
            run.send_signal(sent)
            status = run.wait()
            counts["signalled"] += status == -sent
            counts["finished"] += status == 0
            if name == "check-r":
                counts["lingering"] += self.orphans_outlive()
            after = snapshot(self.out, self.tmp)
            # New paths but the output's own; paths gone or changed, but for a
            # regular target replaced by a regular file.
            counts["left"] += len([p for p in after if p not in before and p != target])
            for path, node in before.items():
                now = after.get(path)
                replaced = path == target and node[0] == stat.S_IFREG and now and now[0] == stat.S_IFREG
                if now != node and not replaced:
                    counts["changed" if node[0] != stat.S_IFREG else "harmed"] += 1
            # An older output is kept or replaced whole, never lost or cut.
            if target and name != "check-r":
                if os.path.isfile(target):
                    with open(target, "rb") as f:
                        counts["harmed"] += f.read() != OLDER and not whole(target)
                elif kind != 0:
                    counts["harmed"] += 1
            if name == "check-r" and kind == 0:
                with open(target, "rb") as f:
                    text = f.read()
                lines = text.split(b"\n")
                counts["torn"] += (text and not text.endswith(b"\n")) or any(
                    not (l.startswith(b"{") and l.endswith(b"}")) for l in lines[:-1])
        self.close_outputs()
        return counts


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 100
    seed = int(sys.argv[3]) if len(sys.argv) > 3 else random.randrange(1 << 32)
    lvs = os.path.abspath(os.path.join(build, "tools/lvs/lvs"))
    if not os.access(lvs, os.X_OK):
        sys.exit("no %s: build first" % lvs)
    bench = Bench(lvs, runs, seed)
    columns = ["runs", "signalled", "finished", "left", "changed", "harmed", "torn", "lingering"]
    titles = ["runs", "signalled", "finished", "files left", "non-regular changed", "outputs harmed", "torn lines",
              "workers left"]
    print("seed %d" % seed)
    print("%-8s " % "command" + " ".join("%*s" % (len(t), t) for t in titles))
    try:
        for name, extension in [("pack", "lvs"), ("render", "png"), ("sheet", "png"), ("check-r", "json"),
                                ("stdin", "png")]:
            counts = bench.run(name, extension)
            print("%-8s " % name + " ".join("%*d" % (len(t), counts[c]) for t, c in zip(titles, columns)), flush=True)
    finally:
        bench.close_outputs()
        shutil.rmtree(bench.work, ignore_errors=True)


if __name__ == "__main__":
    main()
