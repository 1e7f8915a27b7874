#!/usr/bin/env python3
"""kiv-cli.exe under Wine as a Windows user meets it: its help names COM
ports and Ctrl+C; --write-setup needs no port; paths and values in Chinese
(a folder 桌面, --parity 无) work for --setup, --write-setup and --log; its
Chinese reads right in a console whatever the console's code page, and
stays UTF-8 in a file; messages name the port the user gave; a folder given
to --log, and NUL, CON or a file given to --device, are named for what they
are; a closed standard output is said to be closed.

    python3 tests/windows/windows_words_under_wine.py --exe build-windows/kiv-cli.exe \\
        --linux-cli build/src/kiv-cli

Uses $WINEPREFIX when set (booted already), else a throwaway prefix. The
last line counts the checks; the exit status is 0 when all passed.
"""
import os
import re
import select
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_rig import Checks, PtyLine, WinePrefix, cli_pair_args  # noqa: E402

PORT = "COM7"
MISSING_PORT = "COM42"
RUN_CEILING = 120.0
# The parity words of the help and of a refused --parity.
PARITY_WORDS = "无, 奇 or 偶"


def windows_path(path):
    # Wine's drive Z: is the Linux root.
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def console_text(raw):
    """What a terminal shows of Wine's console output: its cursor moves
    (a space is often drawn as a move one column right) and colours go."""
    raw = re.sub(rb"\x1b\[(\d*)C", lambda m: b" " * int(m.group(1) or 1), raw)
    raw = re.sub(rb"\x1b\[[0-9;?]*[A-Za-z]", b"", raw)
    raw = re.sub(rb"\x1b\][^\x07]*\x07", b"", raw)
    return raw.decode("utf-8", errors="replace").replace("\r", "")


def run_in_console(wine, args, ceiling=RUN_CEILING):
    """Runs a Wine program with a Linux terminal as its console, as a
    command prompt window would hold it; returns (exit code, what the
    terminal shows). kiv-cli has no exit code 1: exit 1 with nothing shown
    is Wine's console failing to come up (seen once in a shared prefix on
    a busy machine), and the run is made once more."""
    rc, shown = run_in_console_once(wine, args, ceiling)
    if rc == 1 and not shown.strip():
        rc, shown = run_in_console_once(wine, args, ceiling)
    return rc, shown


def run_in_console_once(wine, args, ceiling):
    master, slave = os.openpty()
    proc = subprocess.Popen(["wine", *args], env=wine.env, stdin=slave, stdout=slave, stderr=slave)
    os.close(slave)
    out = bytearray()
    deadline = time.monotonic() + ceiling
    try:
        while time.monotonic() < deadline:
            ready, _, _ = select.select([master], [], [], 0.2)
            if ready:
                try:
                    chunk = os.read(master, 65536)
                except OSError:
                    break
                if not chunk:
                    break
                out += chunk
            elif proc.poll() is not None:
                break
        rc = proc.wait(max(1.0, deadline - time.monotonic()))
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
        rc = None
    finally:
        os.close(master)
    return rc, console_text(bytes(out))


def help_and_write_setup(checks, args, wine, work):
    rc, out = wine.run([args.exe, "--help"])
    wanted = ["--device PATH", "e.g. COM3", "no virtual port", "Ctrl+C or Ctrl+Break"]
    unwanted = ["/dev/", "SIGINT", "SIGTERM", "stty"]
    checks.check("--help names COM ports, says there is no virtual port and names Ctrl+C/Ctrl+Break",
                 rc == 0 and all(w in out for w in wanted) and not any(u in out for u in unwanted),
                 f"exit {rc}; missing {[w for w in wanted if w not in out]}, "
                 f"Linux words {[u for u in unwanted if u in out]}")

    # The same setup from both programs; kiv-cli.exe has no --device.
    options = ["--frame", "5,6,sinx1,200", "--period", "7", "--baud", "19200"]
    linux_file = os.path.join(work, "linux.ini")
    subprocess.run([args.linux_cli, "--write-setup", linux_file, *options], check=True,
                   capture_output=True, timeout=60)
    win_file = os.path.join(work, "windows.ini")
    rc, out = wine.run([args.exe, "--write-setup", windows_path(win_file), *options])
    same = os.path.isfile(win_file) and open(win_file, "rb").read() == open(linux_file, "rb").read()
    checks.check("--write-setup without --device writes the setup, byte for byte the Linux one",
                 rc == 0 and same, f"exit {rc}: {out.strip()[-300:]}")


def chinese_paths(checks, args, wine, work, line):
    folder = os.path.join(work, "桌面", "张三")
    os.makedirs(folder)
    setup = os.path.join(folder, "设置.ini")
    rc, out = wine.run([args.exe, "--write-setup", windows_path(setup), "--parity", "无",
                        "--frame", "9,8,7"])
    checks.check("--write-setup into a Chinese folder, with --parity 无",
                 rc == 0 and os.path.isfile(setup), f"exit {rc}: {out.strip()[-300:]}")
    if not os.path.isfile(setup):
        return
    text = open(setup, encoding="utf-8", errors="replace").read()
    checks.check("the setup written keeps the parity 无", re.search(r"parity\s*=\s*无", text) is not None,
                 text[:300])

    log = os.path.join(folder, "日志.csv")
    line.take()
    rc, out = wine.run([args.exe, "--setup", windows_path(setup), "--device", PORT, "--period", "1",
                        "--frames", "5", "--log", windows_path(log)])
    data = line.settle()
    checks.check("--setup from a Chinese folder sends its frames",
                 rc == 0 and data == bytes([9, 8, 7]) * 5, f"exit {rc}, {list(data[:30])}: {out.strip()[-300:]}")
    rows = open(log, encoding="utf-8").read().splitlines() if os.path.isfile(log) else []
    checks.check("--log into a Chinese folder holds its header and every frame",
                 len(rows) == 6 and rows[0].startswith("frame,") and all(r.endswith(",9,8,7") for r in rows[1:]),
                 f"{rows[:3]}")


def console_and_files(checks, args, wine, work):
    for name, command in (
            ("a console in its start-up code page", [args.exe, "--parity", "x"]),
            ("a console in code page 936",
             ["cmd", "/c", f"chcp 936 >NUL & {windows_path(args.exe)} --parity x"])):
        rc, shown = run_in_console(wine, command)
        checks.check(f"Chinese reads right in {name}",
                     rc == 2 and f"expected {PARITY_WORDS} (or n, o, e)" in shown,
                     f"exit {rc}: {shown.strip()[-300:]!r}")
    rc, shown = run_in_console(wine, [args.exe, "--parity", "无", "--frames", "1", "--device", MISSING_PORT])
    checks.check("a console's Chinese argument arrives whole (--parity 无 is taken)",
                 rc == 4 and "--parity" not in shown and "(串口设置有误或者已被占用!)" in shown,
                 f"exit {rc}: {shown.strip()[-300:]!r}")

    proc = wine.start([args.exe, "--parity", "x"])
    rc = proc.wait(RUN_CEILING)
    proc._err.seek(0)
    raw = proc._err.read()
    checks.check("into a file, the message stays UTF-8 bytes",
                 rc == 2 and f"expected {PARITY_WORDS}".encode() in raw, f"exit {rc}: {raw[-200:]!r}")


def names_and_reasons(checks, args, wine, work):
    rc, out = wine.run([args.exe, "--device", MISSING_PORT, "--frames", "3"])
    checks.check(f"a missing {MISSING_PORT} is named as given, no COM1 beside it",
                 rc == 4 and f"{MISSING_PORT}: there is no such device" in out and "COM1" not in out,
                 f"exit {rc}: {out.strip()[-300:]}")

    plain = os.path.join(work, "plain.txt")
    with open(plain, "w") as f:
        f.write("a file, not a port\n")
    for device in ("NUL", "CON", windows_path(plain)):
        rc, out = wine.run([args.exe, "--device", device, "--frames", "3"])
        checks.check(f"--device {device} is said to be no serial port",
                     rc == 4 and "is not a serial port" in out and "nvalid handle" not in out,
                     f"exit {rc}: {out.strip()[-300:]}")

    folder = os.path.join(work, "a folder")
    os.makedirs(folder)
    rc, out = wine.run([args.exe, "--device", PORT, "--frames", "3", "--log", windows_path(folder)])
    checks.check("--log on a folder says it is a folder",
                 rc == 2 and "is a folder" in out and "Permission denied" not in out,
                 f"exit {rc}: {out.strip()[-300:]}")

    # --log - into a pipe whose reader has gone.
    err = tempfile.TemporaryFile()
    reader, writer = os.pipe()
    os.close(reader)
    proc = subprocess.Popen(["wine", args.exe, "--device", PORT, "--frame", "1,2", "--period", "1",
                             "--frames", "50", "--log", "-"],
                            env=wine.env, stdin=subprocess.DEVNULL, stdout=writer, stderr=err)
    os.close(writer)
    try:
        rc = proc.wait(RUN_CEILING)
    except subprocess.TimeoutExpired:
        proc.kill()
        rc = None
    err.seek(0)
    said = err.read().decode("utf-8", errors="replace")
    checks.check("--log - into a closed pipe says the output is closed",
                 rc == 7 and '--log "-": cannot be written (Broken pipe)' in said and "Invalid argument" not in said,
                 f"exit {rc}: {said.strip()[-300:]}")


def main():
    args = cli_pair_args(__doc__, "windows_words_under_wine")
    if args is None:
        return 2

    checks = Checks("kiv-cli.exe speaks Windows")
    started = time.monotonic()
    work = tempfile.mkdtemp(prefix="kiv-words-")
    line = PtyLine()
    wine = WinePrefix(os.environ.get("WINEPREFIX"))
    try:
        wine.map_ports({PORT: line.path})
        if wine.port_link(PORT) != line.path:
            wine.run(["cmd", "/c", "exit"])
        if checks.check(f"{PORT} maps onto a pseudo-terminal", wine.port_link(PORT) == line.path,
                        f"it links to {wine.port_link(PORT)}"):
            help_and_write_setup(checks, args, wine, work)
            chinese_paths(checks, args, wine, work, line)
            console_and_files(checks, args, wine, work)
            names_and_reasons(checks, args, wine, work)
    except (RuntimeError, subprocess.SubprocessError, OSError) as e:
        checks.check("the run completes", False, str(e))
    finally:
        wine.close()
        line.close()
        shutil.rmtree(work, ignore_errors=True)
    print(f"     ({time.monotonic() - started:.0f} s)", flush=True)
    return checks.finish()


if __name__ == "__main__":
    sys.exit(main())
