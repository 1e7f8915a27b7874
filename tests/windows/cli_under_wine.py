#!/usr/bin/env python3
"""kiv-cli.exe under Wine against the Linux kiv-cli.

Each parameter set runs twice: the Linux kiv-cli sends on one pseudo-terminal
(--device /dev/pts/N), kiv-cli.exe on another mapped to COM5 through Wine's
registry. The bytes must be the same, frame for frame. Then the open
failures: a COM port that does not exist, and one held by another running
kiv-cli.exe, end with exit code 4 and say why; once the holder ends, the
port opens again.

    python3 tests/windows/cli_under_wine.py --exe build-windows/kiv-cli.exe \\
        --linux-cli build/src/kiv-cli

Uses $WINEPREFIX when set (booted already), else a throwaway prefix. The
last line counts the checks; the exit status is 0 when all passed.
"""
import os
import re
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_rig import Checks, PtyLine, WinePrefix, cli_pair_args  # noqa: E402

# Noise stays off: it is random. Each set sends 40 frames or more. Parity
# and 7 data bits are left out: Wine refuses them on a pseudo-terminal
# (SetCommState fails with ERROR_INVALID_PARAMETER, as the kernel keeps a
# pseudo-terminal at 8 bits without parity), which says nothing about a
# Windows serial driver.
CASES = [
    ("constants, line-control bytes among them", 5, 40,
     ["--frame", "0,10,13,17,19,127,128,255"]),
    ("the first-run example: 5, 6, sinx1, sinx2 at 10 ms", 10, 60,
     ["--frame", "5,6,sinx1,sinx2"]),
    ("sines with their own parameters at 7 ms, 56000 baud, 2 stop bits", 7, 50,
     ["--frame", "sinx1,sinx2,sinx3", "--set", "sinx1=t1:100,am:60,a0:100",
      "--set", "sinx3=t1:37,am:127,a0:128", "--baud", "56000", "--stop-bits", "2"]),
    ("rectangles at 3 ms", 3, 80,
     ["--frame", "squx1,squx2,squx3,200", "--set", "squx1=t1:20,t2:30",
      "--set", "squx2=t1:7,t2:3,am:100,a0:10"]),
    ("sawtooth with t1 != t2 at 2 ms, 19200 baud", 2, 100,
     ["--frame", "trix1,trix2,trix3", "--set", "trix1=t1:50,t2:20,t3:30,am:60,a0:100",
      "--set", "trix2=t1:5,t2:15,t3:0,am:200,a0:0", "--baud", "19200"]),
    ("ten slots of every kind at 1 ms, 115200 baud", 1, 200,
     ["--frame", "sinx1,sinx2,sinx3,squx1,squx2,squx3,trix1,trix2,trix3,10",
      "--set", "squx3=t1:2,t2:5", "--set", "trix3=t1:3,t2:1,t3:4", "--baud", "115200"]),
    ("the Modbus request: header 01 03 and CRC-16/MODBUS", 5, 40,
     ["--header", "01 03", "--frame", "0,10,0,2", "--checksum", "crc16-modbus"]),
    ("every part around waves: counter, length byte, CRC-32 after the header, trailer", 3, 60,
     ["--header", "AA 55", "--counter", "u16be", "--length-byte", "--frame", "sinx1,squx1,trix1,7",
      "--checksum", "crc32", "--checksum-from", "payload", "--trailer", "0D 0A"]),
    ("an 8-bit counter past its wrap, CRC-16/XMODEM low byte first", 1, 300,
     ["--counter", "u8", "--frame", "sinx2,5", "--checksum", "crc16-xmodem",
      "--checksum-order", "le"]),
]

DATA_PORT = "COM5"
HELD_PORT = "COM6"
MISSING_PORT = "COM42"


def slot_count(options):
    return len(options[options.index("--frame") + 1].split(","))


def frame_width(options):
    """Bytes of one frame: the slots and what the frame format adds."""
    def value(name):
        return options[options.index(name) + 1] if name in options else None
    width = slot_count(options)
    for name in ("--header", "--trailer"):
        if value(name):
            width += len([t for t in re.split(r"[ ,\t]+", value(name)) if t])
    width += {None: 0, "u8": 1, "u16le": 2, "u16be": 2}[value("--counter")]
    width += 1 if "--length-byte" in options else 0
    checksum = value("--checksum")
    if checksum:
        width += 4 if checksum == "crc32" else 2 if checksum.startswith("crc16") else 1
    return width


def run_ceiling(period, frames):
    # Wine's start-up on a loaded machine, plus the run itself many times over.
    return 120.0 + 10.0 * period * frames / 1000.0


def first_difference(a, b, width):
    for i in range(0, max(len(a), len(b)), width):
        if a[i:i + width] != b[i:i + width]:
            return f"frame {i // width + 1}: Linux {list(a[i:i + width])}, Windows {list(b[i:i + width])}"
    return "none"


def run_linux(cli, line, options, frames, period):
    line.take()
    proc = subprocess.run([cli, "--device", line.path, "--frames", str(frames), *options],
                          stdin=subprocess.DEVNULL, capture_output=True, text=True,
                          timeout=run_ceiling(period, frames))
    return proc.returncode, proc.stderr, line.settle()


def run_windows(wine, exe, line, options, frames, period):
    line.take()
    proc = wine.start([exe, "--device", DATA_PORT, "--frames", str(frames), *options])
    rc = proc.wait(run_ceiling(period, frames))
    return rc, proc.stderr(), line.settle()


def same_bytes(checks, args, wine, linux_line, win_line):
    for name, period, frames, options in CASES:
        options = [*options, "--period", str(period)]
        width = frame_width(options)
        expected = width * frames
        lrc, lerr, ldata = run_linux(args.linux_cli, linux_line, options, frames, period)
        if not checks.check(f"Linux kiv-cli sends {frames} frames: {name}",
                            lrc == 0 and len(ldata) == expected,
                            f"exit {lrc}, {len(ldata)} of {expected} bytes; {lerr.strip()[-300:]}"):
            continue
        wrc, werr, wdata = run_windows(wine, args.exe, win_line, options, frames, period)
        checks.check(f"kiv-cli.exe sends the same {frames} frames: {name}",
                     wrc == 0 and wdata == ldata,
                     f"exit {wrc}, {len(wdata)} of {expected} bytes, first difference "
                     f"{first_difference(ldata, wdata, width)}; {werr.strip()[-300:]}")


def stop(proc, ceiling):
    """Ctrl+C first, as a user would; the process is killed if it stays."""
    try:
        proc.popen.send_signal(signal.SIGINT)
        return proc.wait(ceiling)
    except RuntimeError:
        return None


def open_failures(checks, args, wine, held_line):
    link = wine.port_link(MISSING_PORT)
    if checks.check(f"{MISSING_PORT} opens nothing in the prefix", link is None, f"it links to {link}"):
        rc, out = wine.run([args.exe, "--device", MISSING_PORT, "--frames", "5"])
        checks.check(f"a missing {MISSING_PORT}: exit code 4 and the reason",
                     rc == 4 and f"{MISSING_PORT}: there is no such device" in out and "COM1" not in out,
                     f"exit {rc}: {out.strip()[-300:]}")

    # The holder sends until stopped; once its bytes arrive it holds the port.
    holder = wine.start([args.exe, "--device", HELD_PORT, "--frame", "1,2", "--period", "10"])
    try:
        arrived = held_line.wait_for(2, 120.0, also=lambda: not holder.running())
        if not checks.check(f"a kiv-cli.exe holds {HELD_PORT} and sends", arrived >= 2 and holder.running(),
                            f"{arrived} bytes; holder running: {holder.running()}; {holder.stderr()[-300:]}"):
            return
        # Wine 8 does not make a COM port exclusive as Windows does; the
        # program's own per-port object refuses the second one here.
        rc, out = wine.run([args.exe, "--device", HELD_PORT, "--frames", "5"])
        checks.check(f"a second kiv-cli.exe on the held {HELD_PORT}: exit code 4 and the reason",
                     rc == 4 and f"{HELD_PORT} is in use" in out and "COM1" not in out,
                     f"exit {rc}: {out.strip()[-300:]}")
    finally:
        holder_rc = stop(holder, 60.0)
    print(f"     (the holder ended on Ctrl+C with exit code {holder_rc})" if holder_rc is not None
          else "     (the holder did not end on Ctrl+C within 60 s and was killed)", flush=True)

    held_line.take()
    rc, out = wine.run([args.exe, "--device", HELD_PORT, "--frame", "7,8,9", "--period", "1", "--frames", "40"])
    data = held_line.settle()
    checks.check(f"{HELD_PORT} opens again once its holder has ended",
                 rc == 0 and data == bytes([7, 8, 9]) * 40,
                 f"exit {rc}, {len(data)} of 120 bytes: {out.strip()[-300:]}")


def main():
    args = cli_pair_args(__doc__, "cli_under_wine")
    if args is None:
        return 2

    checks = Checks("kiv-cli.exe under Wine")
    started = time.monotonic()
    linux_line, win_line, held_line = PtyLine(), PtyLine(), PtyLine()
    wine = WinePrefix(os.environ.get("WINEPREFIX"))
    try:
        wine.map_ports({DATA_PORT: win_line.path, HELD_PORT: held_line.path})
        mapped = {DATA_PORT: wine.port_link(DATA_PORT), HELD_PORT: wine.port_link(HELD_PORT)}
        # Wine makes the links when its services start, which the first program does.
        if mapped[DATA_PORT] != win_line.path:
            wine.run(["cmd", "/c", "exit"])
            mapped = {DATA_PORT: wine.port_link(DATA_PORT), HELD_PORT: wine.port_link(HELD_PORT)}
        if checks.check(f"{DATA_PORT} and {HELD_PORT} map onto pseudo-terminals",
                        mapped == {DATA_PORT: win_line.path, HELD_PORT: held_line.path},
                        f"links {mapped}, wanted {win_line.path} and {held_line.path}"):
            same_bytes(checks, args, wine, linux_line, win_line)
            open_failures(checks, args, wine, held_line)
    except (RuntimeError, subprocess.TimeoutExpired) as e:
        checks.check("the run completes", False, str(e))
    finally:
        wine.close()
        for line in (linux_line, win_line, held_line):
            line.close()
    print(f"     ({time.monotonic() - started:.0f} s)", flush=True)
    return checks.finish()


if __name__ == "__main__":
    sys.exit(main())
