#!/usr/bin/env python3
"""Soak run of kiv-cli: ten slots with noise on all of them at a 1 ms period,
for a long time (an hour by default), read continuously from its virtual
port. Reports frames sent (the CSV log's lines) against frames received
whole and in order (the byte stream read back, compared with the logged
frames), kiv-cli's resident memory at the start and the end, and its CPU use.

Not a test: it judges nothing by itself, it measures. Example:

    python3 bench/soak.py --cli build/src/kiv-cli --seconds 3600

Exit status 0 when every logged frame arrived whole and in order, 1 when
not, 2 when the run could not be made.
"""
import argparse
import os
import select
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
    p.add_argument("--sample-every", type=float, default=10.0,
                   help="seconds between memory and CPU samples (default 10)")
    return p.parse_args()


def proc_status_kb(pid, field):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return None


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
            self.data += chunk


def read_log(path):
    frames, times = [], []
    with open(path) as f:
        f.readline()  # header
        for line in f:
            # count, ms since start, wall clock, the bytes
            fields = line.rstrip("\n").split(",")
            times.append(float(fields[1]))
            frames.append(bytes(int(b) for b in fields[3:]))
    return frames, times


def compare(frames, received):
    """Frames received whole and in order: the longest run of logged frames
    that the byte stream reproduces exactly from its start."""
    offset = 0
    whole = 0
    for frame in frames:
        if received[offset:offset + len(frame)] != frame:
            break
        offset += len(frame)
        whole += 1
    return whole, offset


def main():
    args = parse_args()
    cli = os.path.abspath(args.cli)
    if not os.access(cli, os.X_OK):
        print(f"soak: no kiv-cli at {cli}; build it or pass --cli", file=sys.stderr)
        return 2
    own_log = args.log is None
    log = args.log or tempfile.mkstemp(prefix="kiv-soak-", suffix=".csv")[1]
    noise = ",".join(str(i) for i in range(1, SLOTS + 1))
    command = [cli, "--frame", FRAME, "--period", args.period, "--noise", noise,
               "--seconds", str(args.seconds), "--log", log]
    print("soak:", " ".join(command), flush=True)

    child = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    first = child.stdout.readline().strip()
    if not first.startswith("sending on "):
        child.kill()
        print(f"soak: kiv-cli did not start: {first!r} {child.stderr.read()}", file=sys.stderr)
        return 2
    reader = Reader(first[len("sending on "):])
    reader.start()

    started = time.monotonic()
    samples = []  # (seconds since start, VmRSS kB, kiv-cli CPU seconds)
    while child.poll() is None:
        try:
            samples.append((time.monotonic() - started, proc_status_kb(child.pid, "VmRSS"),
                            proc_cpu_seconds(child.pid)))
        except (FileNotFoundError, ProcessLookupError):
            break
        remaining = args.seconds - (time.monotonic() - started)
        time.sleep(max(0.2, min(args.sample_every, remaining - 1.0)))
    wall = time.monotonic() - started
    code = child.wait()
    errors = child.stderr.read().strip()
    reader.stop.set()
    reader.join(10)
    own_cpu = time.process_time()

    frames, times = read_log(log)
    whole, offset = compare(frames, bytes(reader.data))
    expected_bytes = sum(len(f) for f in frames)
    periods = [b - a for a, b in zip(times, times[1:])]
    nominal = float(args.period)

    print(f"\nkiv-cli exit code {code}{': ' + errors if errors else ''}")
    print(f"run                 {wall:.1f} s of {args.seconds:.0f} s asked, period {args.period} ms,"
          f" {SLOTS} slots, noise on all")
    print(f"frames sent         {len(frames)} (log lines)")
    print(f"frames received     {whole} whole and in order"
          f" ({len(reader.data)} bytes read, {expected_bytes} logged)")
    if whole < len(frames):
        print(f"  first mismatch at frame {whole + 1}, byte {offset}")
    elif len(reader.data) > expected_bytes:
        print(f"  {len(reader.data) - expected_bytes} bytes more than logged")
    if periods:
        deviations = sorted(abs(p - nominal) for p in periods)
        print(f"period              mean {statistics.fmean(periods):.4f} ms,"
              f" deviation p50 {deviations[len(deviations) // 2]:.3f} ms,"
              f" p99 {deviations[int(len(deviations) * 0.99)]:.3f} ms,"
              f" max {deviations[-1]:.3f} ms")
        print(f"frames per second   {len(frames) / (times[-1] / 1000.0):.1f}"
              f" (nominal {1000.0 / nominal:.1f})")
    if len(samples) >= 2:
        (t0, rss0, cpu0), (t1, rss1, cpu1) = samples[0], samples[-1]
        print(f"kiv-cli VmRSS       {rss0} kB at {t0:.1f} s, {rss1} kB at {t1:.1f} s,"
              f" most {max(s[1] for s in samples)} kB")
        print(f"kiv-cli CPU         {cpu1 - cpu0:.2f} s in {t1 - t0:.1f} s"
              f" ({100.0 * (cpu1 - cpu0) / (t1 - t0):.1f}% of one core)")
    print(f"reader CPU          {own_cpu:.2f} s (this script)")
    if own_log:
        os.unlink(log)
    return 0 if frames and whole == len(frames) and len(reader.data) == expected_bytes else 1


if __name__ == "__main__":
    sys.exit(main())
