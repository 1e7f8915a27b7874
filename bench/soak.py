#!/usr/bin/env python3
"""Soak run of kiv-cli: ten slots with noise on all of them at a 1 ms period,
for a long time (an hour by default), read continuously from its virtual
port. Reports frames sent (the CSV log's lines) against frames received
whole and in order (the byte stream read back, compared with the logged
frames as the run goes, so the reader's own memory stays flat however long
the run), kiv-cli's resident memory and its CPU use.

Memory is sampled every minute (--sample-every) and each sample printed as
it is taken: resident memory (VmRSS) and its two parts, anonymous memory
(RssAnon: heap, stacks) and pages of files (RssFile: the program and its
libraries, which grow as code is first used and say nothing about leaks).
At the end a least-squares line through the samples after the first
minutes (--settle) gives the growth in kB per hour.

Not a test: it judges nothing by itself, it measures. Example:

    python3 bench/soak.py --cli build/src/kiv-cli --seconds 3600

Exit status 0 when every logged frame arrived whole and in order, 1 when
not, 2 when the run could not be made.
"""
import argparse
import os
import select
import shlex
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import tty

FRAME = "sinx1,sinx2,sinx3,squx1,squx2,squx3,trix1,trix2,trix3,128"
SLOTS = 10
CLOCK_TICKS = os.sysconf("SC_CLK_TCK")


def parse_args():
    here = os.path.dirname(os.path.abspath(__file__))
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--cli", default=os.path.join(here, "..", "build", "src", "kiv-cli"),
                   help="the kiv-cli executable (default: build/src/kiv-cli)")
    p.add_argument("--seconds", type=float, default=3600.0, help="length of the run (default 3600)")
    p.add_argument("--period", default="1", help="send period in ms (default 1)")
    p.add_argument("--log", help="kiv-cli's CSV log (default: a temporary file, removed afterwards)")
    p.add_argument("--sample-every", type=float, default=60.0,
                   help="seconds between memory and CPU samples (default 60)")
    p.add_argument("--settle", type=float, default=180.0,
                   help="seconds left out of the memory slope at the start (default 180)")
    p.add_argument("--wrap", default="",
                   help="a command to run kiv-cli under, e.g. 'heaptrack -o /tmp/kiv'; memory is"
                        " still sampled on kiv-cli itself")
    return p.parse_args()


def proc_status_kb(pid, fields):
    found = {}
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            name = line.split(":", 1)[0]
            if name in fields:
                found[name] = int(line.split()[1])
    return [found.get(name) for name in fields]


def find_cli(pid, cli):
    """kiv-cli itself: pid, or the first process below it running cli."""
    todo = [pid]
    while todo:
        p = todo.pop(0)
        try:
            if os.path.realpath(f"/proc/{p}/exe") == cli:
                return p
            for task in os.listdir(f"/proc/{p}/task"):
                with open(f"/proc/{p}/task/{task}/children") as f:
                    todo += [int(c) for c in f.read().split()]
        except (FileNotFoundError, ProcessLookupError, PermissionError):
            continue
    return None


def slope_per_hour(points):
    """Least-squares slope of (seconds, kB) points, in kB per hour."""
    if len(points) < 2:
        return None
    mt = statistics.fmean(t for t, _ in points)
    mk = statistics.fmean(k for _, k in points)
    den = sum((t - mt) ** 2 for t, _ in points)
    if den == 0:
        return None
    return 3600.0 * sum((t - mt) * (k - mk) for t, k in points) / den


def proc_cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS  # utime + stime


class Reader(threading.Thread):
    """Reads the virtual port until kiv-cli closes it."""

    def __init__(self, path):
        super().__init__(daemon=True)
        self.fd = os.open(path, os.O_RDONLY | os.O_NOCTTY)
        tty.setraw(self.fd)
        self.data = bytearray()
        self.total = 0
        self.lock = threading.Lock()
        self.stop = threading.Event()

    def run(self):
        while True:
            ready, _, _ = select.select([self.fd], [], [], 0.5)
            if not ready:
                if self.stop.is_set():
                    return
                continue
            try:
                chunk = os.read(self.fd, 65536)
            except OSError:  # EIO: the other side is gone
                return
            if not chunk:
                return
            with self.lock:
                self.data += chunk
                self.total += len(chunk)

    def take(self, count):
        """The first count bytes not yet taken, or None when fewer arrived."""
        with self.lock:
            if len(self.data) < count:
                return None
            head = bytes(self.data[:count])
            del self.data[:count]
            return head


class Checker:
    """Follows kiv-cli's CSV log as it grows and compares each logged frame
    with the next bytes read from the line, dropping what matched, so that
    neither side is kept in memory."""

    def __init__(self, path, reader):
        self.file = open(path)
        self.reader = reader
        self.partial = ""
        self.header = None
        self.pending = []  # logged frames whose bytes have not all arrived
        self.logged = 0
        self.logged_bytes = 0
        self.whole = 0
        self.mismatch = None  # (frame number, byte offset) of the first mismatch
        self.offset = 0
        # The periods between logged frames, kept as counts of whole
        # microseconds of deviation from the nominal period.
        self.nominal = None
        self.last_ms = None
        self.first_ms = None
        self.period_sum = 0.0
        self.periods = 0
        self.deviations = {}

    def deviation_ms(self, fraction):
        """The deviation that this fraction of the periods stays within."""
        wanted = fraction * self.periods
        seen = 0
        for key in sorted(self.deviations):
            seen += self.deviations[key]
            if seen >= wanted:
                return key / 1000.0
        return 0.0

    def advance(self):
        self.partial += self.file.read()
        lines = self.partial.split("\n")
        self.partial = lines.pop()
        for line in lines:
            if self.header is None:
                self.header = line
                continue
            # count, ms since start, wall clock, the bytes
            fields = line.split(",")
            ms = float(fields[1])
            if self.last_ms is None:
                self.first_ms = ms
            else:
                period = ms - self.last_ms
                self.period_sum += period
                self.periods += 1
                key = round(abs(period - self.nominal) * 1000.0)
                self.deviations[key] = self.deviations.get(key, 0) + 1
            self.last_ms = ms
            frame = bytes(int(b) for b in fields[3:])
            self.logged += 1
            self.logged_bytes += len(frame)
            self.pending.append(frame)
        while self.pending and self.mismatch is None:
            got = self.reader.take(len(self.pending[0]))
            if got is None:
                break
            frame = self.pending.pop(0)
            if got != frame:
                self.mismatch = (self.whole + 1, self.offset)
                break
            self.offset += len(frame)
            self.whole += 1


def main():
    args = parse_args()
    cli = os.path.realpath(args.cli)
    if not os.access(cli, os.X_OK):
        print(f"soak: no kiv-cli at {cli}; build it or pass --cli", file=sys.stderr)
        return 2
    own_log = args.log is None
    log = args.log or tempfile.mkstemp(prefix="kiv-soak-", suffix=".csv")[1]
    noise = ",".join(str(i) for i in range(1, SLOTS + 1))
    command = shlex.split(args.wrap) + [
        cli, "--frame", FRAME, "--period", args.period, "--noise", noise,
        "--seconds", str(args.seconds), "--log", log]
    print("soak:", " ".join(command), flush=True)

    child = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    # A wrapper may print lines of its own first.
    first = ""
    for line in child.stdout:
        first = line.strip()
        if first.startswith("sending on "):
            break
    if not first.startswith("sending on "):
        child.kill()
        print(f"soak: kiv-cli did not start: {first!r} {child.stderr.read()}", file=sys.stderr)
        return 2
    threading.Thread(target=child.stdout.read, daemon=True).start()  # whatever else it says
    reader = Reader(first[len("sending on "):])
    reader.start()
    checker = Checker(log, reader)
    checker.nominal = float(args.period)
    pid = find_cli(child.pid, cli)

    started = time.monotonic()
    samples = []  # (seconds since start, VmRSS, RssAnon, RssFile kB, kiv-cli CPU seconds)
    print("soak: minute  VmRSS kB  RssAnon kB  RssFile kB  frames", flush=True)
    next_sample = started
    while child.poll() is None:
        checker.advance()
        now = time.monotonic()
        if pid is not None and now >= next_sample:
            try:
                rss, anon, files = proc_status_kb(pid, ("VmRSS", "RssAnon", "RssFile"))
                samples.append((now - started, rss, anon, files, proc_cpu_seconds(pid)))
                print(f"soak: {(now - started) / 60.0:6.1f}  {rss:8}  {anon:10}  {files:10}"
                      f"  {checker.logged}", flush=True)
            except (FileNotFoundError, ProcessLookupError, TypeError):
                pass
            next_sample += args.sample_every
        time.sleep(max(0.05, min(1.0, next_sample - time.monotonic())))
    wall = time.monotonic() - started
    code = child.wait()
    errors = child.stderr.read().strip()
    reader.stop.set()
    reader.join(10)
    checker.advance()
    own_cpu = time.process_time()

    print(f"\nkiv-cli exit code {code}{': ' + errors if errors else ''}")
    print(f"run                 {wall:.1f} s of {args.seconds:.0f} s asked, period {args.period} ms,"
          f" {SLOTS} slots, noise on all")
    print(f"frames sent         {checker.logged} (log lines)")
    print(f"frames received     {checker.whole} whole and in order"
          f" ({reader.total} bytes read, {checker.logged_bytes} logged)")
    if checker.mismatch is not None:
        print(f"  first mismatch at frame {checker.mismatch[0]}, byte {checker.mismatch[1]}")
    elif reader.total > checker.logged_bytes:
        print(f"  {reader.total - checker.logged_bytes} bytes more than logged")
    if checker.periods:
        print(f"period              mean {checker.period_sum / checker.periods:.4f} ms,"
              f" deviation p50 {checker.deviation_ms(0.5):.3f} ms,"
              f" p99 {checker.deviation_ms(0.99):.3f} ms,"
              f" max {checker.deviation_ms(1.0):.3f} ms")
        span_s = (checker.last_ms - checker.first_ms) / 1000.0
        if span_s > 0:
            print(f"frames per second   {checker.periods / span_s:.1f}"
                  f" (nominal {1000.0 / checker.nominal if checker.nominal else float('inf'):.1f})")
    if len(samples) >= 2:
        first_s, last_s = samples[0], samples[-1]
        print(f"kiv-cli VmRSS       {first_s[1]} kB at {first_s[0]:.0f} s, {last_s[1]} kB at"
              f" {last_s[0]:.0f} s, most {max(x[1] for x in samples)} kB")
        settled = [x for x in samples if x[0] >= args.settle]
        for index, name in ((1, "VmRSS"), (2, "RssAnon"), (3, "RssFile")):
            slope = slope_per_hour([(x[0], x[index]) for x in settled])
            shown = "not enough samples" if slope is None else f"{slope:+.1f} kB/h"
            print(f"kiv-cli {name:<11} slope after {args.settle:.0f} s: {shown}"
                  f" ({len(settled)} samples)")
        cpu = last_s[4] - first_s[4]
        print(f"kiv-cli CPU         {cpu:.2f} s in {last_s[0] - first_s[0]:.1f} s"
              f" ({100.0 * cpu / max(last_s[0] - first_s[0], 1e-9):.1f}% of one core)")
    print(f"reader CPU          {own_cpu:.2f} s (this script)")
    if own_log:
        os.unlink(log)
    complete = (checker.logged and checker.whole == checker.logged and
                reader.total == checker.logged_bytes)
    return 0 if complete else 1


if __name__ == "__main__":
    sys.exit(main())
