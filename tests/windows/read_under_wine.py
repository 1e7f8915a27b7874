#!/usr/bin/env python3
"""The Windows port control's read path under Wine.

COM7 is mapped onto a pseudo-terminal whose far end answers what arrives on
it; kiv_read_probe.exe sends one frame through WinCommControl and collects
what comes back through the control's LineWatch. Each case checks that the
frame reached the line whole and that the probe saw exactly the answer, in
order, with nothing left queued.

    python3 tests/windows/read_under_wine.py --probe build-windows/kiv_read_probe.exe

Uses $WINEPREFIX when set (booted already), else a throwaway prefix. The
last line counts the checks; the exit status is 0 when all passed.
"""
import argparse
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_rig import Checks, PtyLine, WinePrefix  # noqa: E402

PORT = "COM7"
# Line-control and terminal bytes among them: a line that is not raw on
# either side turns or swallows some.
AWKWARD = bytes([0x00, 0x03, 0x0A, 0x0D, 0x11, 0x13, 0x1A, 0x7F, 0x80, 0xFF])


def in_pieces(size, pause):
    """An answer in runs of `size` bytes with a pause between them, so the
    probe finds them in several reads."""
    def reply(run):
        for i in range(0, len(run), size):
            if i:
                time.sleep(pause)
            yield run[i:i + size]
    return reply


# (name, frame, how the far end answers one run, the answer to the whole frame)
CASES = [
    ("a plain echo", AWKWARD + b"KIV", lambda run: [run], lambda f: f),
    ("an echo with every byte inverted", AWKWARD + bytes(range(32, 48)),
     lambda run: [bytes(b ^ 0xFF for b in run)], lambda f: bytes(b ^ 0xFF for b in f)),
    ("each byte twice, in runs of 5 bytes", bytes(range(1, 21)),
     lambda run: in_pieces(5, 0.2)(bytes(b for b in run for _ in range(2))),
     lambda f: bytes(b for b in f for _ in range(2))),
    ("a 500-byte frame echoed", bytes(i * 7 % 256 for i in range(500)), lambda run: [run], lambda f: f),
]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--probe", default=os.path.join(here, "..", "..", "build-windows", "kiv_read_probe.exe"))
    args = p.parse_args()
    probe = os.path.abspath(args.probe)
    if not os.path.isfile(probe):
        print(f"read_under_wine: {probe} is missing", file=sys.stderr)
        return 2

    checks = Checks("the read path under Wine")
    answer = [lambda run: []]
    line = PtyLine(reply=lambda run: answer[0](run))
    wine = WinePrefix(os.environ.get("WINEPREFIX"))
    try:
        wine.map_ports({PORT: line.path})
        # Wine makes the link when its services start, which the first program does.
        if wine.port_link(PORT) != line.path:
            wine.run(["cmd", "/c", "exit"])
        if checks.check(f"{PORT} maps onto a pseudo-terminal", wine.port_link(PORT) == line.path,
                        f"it links to {wine.port_link(PORT)}, wanted {line.path}"):
            for name, frame, reply, whole in CASES:
                line.take()
                answer[0] = reply
                expected = whole(frame)
                rc, out = wine.run([probe, PORT, frame.hex(), str(len(expected))])
                sent = line.settle()
                seen = next((l.split(":", 1)[1].strip() for l in out.splitlines()
                             if l.startswith("arrived:")), None)
                checks.check(f"{name}: the frame reached the line whole", sent == frame,
                             f"{len(sent)} of {len(frame)} bytes: {sent.hex()}")
                checks.check(f"{name}: the probe saw exactly the answer", rc == 0 and seen == expected.hex(),
                             f"exit {rc}, wanted {expected.hex()}: {out.strip()[-600:]}")
    except (RuntimeError, subprocess.TimeoutExpired) as e:
        checks.check("the run completes", False, str(e))
    finally:
        wine.close()
        line.close()
    return checks.finish()


if __name__ == "__main__":
    sys.exit(main())
