#!/usr/bin/env python3
"""kiv.exe under Wine on a virtual display: it starts, shows the send page
with its Chinese texts drawn as glyphs (not empty boxes), opens a COM port
that Wine maps onto a Linux pseudo-terminal, and sends the first frames of
the first run (slots 5, 6, sinx1, sinx2 every 10 ms) when a user clicks
"串口打开", "设置完毕!" and "开始发送!" through the X server. When the far end
then goes away, pointing at the lamp and at the status line shows why
sending stopped.

    python3 tests/windows/window_under_wine.py --exe build-windows/kiv.exe \\
        --shots build-windows/screenshots

Runs itself under xvfb-run when there is no display. Keeps its screenshots
in --shots. Uses $WINEPREFIX when set (booted already), else a throwaway
prefix. The last line counts the checks; the exit status is 0 when all passed.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_rig import Checks, PtyLine, WinePrefix  # noqa: E402

# One of the window's own COM1..COM4 (the port box offers those), mapped
# onto the test's pseudo-terminal. Wine links COM1 to /dev/ttyS0 itself;
# COM3 is left alone by it.
PORT = "COM3"

# The first run's frames (README, "First run").
FIRST_FRAMES = bytes([5, 6, 130, 140, 5, 6, 148, 145, 5, 6, 159, 150, 5, 6, 159, 155])
FRAME = 4

WINDOW_CEILING = 180.0
SEND_CEILING = 120.0

# Where a user clicks, in pixels from the top left of the window, as the
# window lays out under Wine with Debian's fonts (measured on its
# screenshot). A click that misses leaves the port closed or nothing sent,
# which the checks report; the screenshots show where things are.
CLICKS = [
    ("the tab 串口设置", (82, 14)),
    ("串口打开", (211, 49)),
    ("the tab 发送", (26, 14)),
    ("设置完毕!", (491, 82)),
    ("开始发送!", (491, 109)),
]
# The middle of the status lamp on the serial page.
SERIAL_LAMP = (291, 61)
# The send page's status line and the lamp beside it.
SEND_STATUS = (170, 279)
SEND_LAMP = (253, 279)
# Areas that hold Chinese text on the send page: (left, top, width, height).
TEXT_AREAS = {
    "the tab strip (发送, 串口设置, ...)": (0, 0, 490, 24),
    "the slot labels (第1个字节 ...)": (8, 62, 56, 110),
}
# The insides of the boxes that start filled: slots 1..4 and the period.
# Each reaches a few pixels above the box: where the tab strip needs a
# smaller type to fit every caption, the pages start that much higher.
FILLED_BOXES = {
    "slot 1 (5)": (70, 61, 50, 20),
    "slot 2 (6)": (70, 84, 50, 20),
    "slot 3 (sinx1)": (70, 107, 50, 20),
    "slot 4 (sinx2)": (70, 130, 50, 20),
    "the period (10)": (429, 47, 60, 16),
}
# Qt's default font engine on Windows draws through GDI; Wine's GDI leaves
# the Latin text of line edits blank (labels and Chinese text are drawn).
# Qt's own FreeType engine, built into the program, draws it all; Windows'
# GDI needs no such help.
QT_PLATFORM = "windows:fontengine=freetype"

def xdotool(*args, ceiling=30.0):
    return subprocess.run(["xdotool", *args], capture_output=True, text=True, timeout=ceiling)


def find_window(proc, ceiling):
    """The X window of kiv.exe's main window, once it is mapped."""
    deadline = time.monotonic() + ceiling
    while time.monotonic() < deadline and proc.running():
        found = xdotool("search", "--onlyvisible", "--class", "kiv.exe").stdout.split()
        for wid in found:
            geo = window_geometry(wid)
            if geo and geo[2] > 300 and geo[3] > 200:
                return wid, geo
        time.sleep(0.2)  # polling for the window to appear, under the ceiling
    return None, None


def window_geometry(wid):
    out = xdotool("getwindowgeometry", "--shell", wid).stdout
    values = dict(line.split("=", 1) for line in out.splitlines() if "=" in line)
    try:
        return tuple(int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))
    except (KeyError, ValueError):
        return None


class Shot:
    """A screenshot of the whole virtual screen, as RGB rows."""

    def __init__(self, path):
        self.path = path
        subprocess.run(["import", "-window", "root", path], check=True, timeout=60,
                       capture_output=True)
        ppm = subprocess.run(["convert", path, "-depth", "8", "ppm:-"], check=True, timeout=60,
                             capture_output=True).stdout
        # P6 header: magic, width, height, maxval, each followed by blank space.
        fields, pos = [], 0
        while len(fields) < 4:
            while ppm[pos:pos + 1].isspace():
                pos += 1
            start = pos
            while not ppm[pos:pos + 1].isspace():
                pos += 1
            fields.append(ppm[start:pos])
        self.width, self.height = int(fields[1]), int(fields[2])
        self.pixels = ppm[pos + 1:]

    def pixel(self, x, y):
        i = 3 * (y * self.width + x)
        return tuple(self.pixels[i:i + 3])

    def colours(self, left, top, width, height):
        return {self.pixel(x, y) for y in range(top, top + height) for x in range(left, left + width)
                if 0 <= x < self.width and 0 <= y < self.height}

    def dark_rows(self, left, top, width, height):
        """Each row of the area as the set of columns with dark (text) pixels."""
        rows = []
        for y in range(top, top + height):
            cols = frozenset(x for x in range(left, left + width)
                             if 0 <= x < self.width and 0 <= y < self.height and sum(self.pixel(x, y)) < 3 * 96)
            if cols:
                rows.append(cols)
        return rows


def glyph_like(rows):
    """Text drawn as glyphs, not as empty boxes: a missing glyph is a hollow
    rectangle, whose rows repeat a handful of patterns (top, sides, bottom);
    Chinese glyphs give many different rows."""
    return len(rows) >= 8 and len(set(rows)) >= 8


def windows_path(path):
    # Wine's drive Z: is the Linux root.
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def run(args, checks):
    shots = os.path.abspath(args.shots)
    os.makedirs(shots, exist_ok=True)
    work = tempfile.mkdtemp(prefix="kiv-window-")
    # Under a Chinese folder, as a user's desktop may be: the window reads
    # its command line and opens the file by their Unicode names (a setup
    # not read would leave the window on COM1, and the port checks fail).
    os.makedirs(os.path.join(work, "桌面"))
    setup = os.path.join(work, "桌面", "第一次.ini")
    with open(setup, "w", encoding="utf-8") as f:
        f.write(f"[serial]\nport={PORT}\n")

    line = PtyLine()
    wine = WinePrefix(os.environ.get("WINEPREFIX"))
    proc = None
    try:
        wine.map_ports({PORT: line.path})
        proc = wine.start([os.path.abspath(args.exe), "-platform", QT_PLATFORM, "--setup", windows_path(setup)])
        wid, geo = find_window(proc, WINDOW_CEILING)
        if not checks.check("kiv.exe shows its window", wid is not None,
                            f"no window within {WINDOW_CEILING:.0f} s; running: {proc.running()}; "
                            f"{proc.stderr()[-300:]}"):
            return
        x0, y0, width, height = geo
        checks.check(f"{PORT} maps onto the pseudo-terminal", wine.port_link(PORT) == line.path,
                     f"it links to {wine.port_link(PORT)}, not {line.path}")

        # The window paints after it is mapped; wait for its texts.
        deadline = time.monotonic() + WINDOW_CEILING
        while True:
            shot = Shot(os.path.join(shots, "windows-start.png"))
            painted = len(shot.colours(x0, y0, width, height)) >= 8
            if painted or time.monotonic() > deadline:
                break
            time.sleep(0.5)  # polling for the first paint, under the ceiling
        checks.check("the window is painted, not blank", painted,
                     f"{len(shot.colours(x0, y0, width, height))} colours in the window")
        for name, (left, top, w, h) in TEXT_AREAS.items():
            rows = shot.dark_rows(x0 + left, y0 + top, w, h)
            checks.check(f"Chinese text drawn as glyphs in {name}", glyph_like(rows),
                         f"{len(rows)} rows with text, {len(set(rows))} different")
        for name, (left, top, w, h) in FILLED_BOXES.items():
            rows = shot.dark_rows(x0 + left, y0 + top, w, h)
            checks.check(f"the box of {name} shows its text", len(rows) >= 5,
                         f"{len(rows)} rows with text in the box")

        for name, (x, y) in CLICKS:
            xdotool("mousemove", "--sync", str(x0 + x), str(y0 + y))
            xdotool("click", "1")
            if name == "串口打开":
                checks.check(f"the serial page's lamp turns green: {PORT} is open",
                             wait_for_green(shots, x0 + SERIAL_LAMP[0], y0 + SERIAL_LAMP[1], proc),
                             "the lamp stayed as it was")
        arrived = line.wait_for(len(FIRST_FRAMES) + 6 * FRAME, SEND_CEILING, also=lambda: not proc.running())
        data = line.settle()
        shot = Shot(os.path.join(shots, "windows-send-screen.png"))
        # The window alone, as the README shows it.
        subprocess.run(["convert", shot.path, "-crop", f"{width}x{height}+{x0}+{y0}", "+repage",
                        os.path.join(shots, "windows-send.png")], check=True, timeout=60)
        checks.check("kiv.exe sends the first frames of the first run",
                     data[:len(FIRST_FRAMES)] == FIRST_FRAMES,
                     f"{arrived} bytes, first {list(data[:len(FIRST_FRAMES)])}; kiv.exe said: {proc.stderr().strip()[-400:]}")
        whole = data[:len(data) // FRAME * FRAME]
        checks.check("every frame that arrived is 5, 6 and two sine values",
                     len(whole) >= len(FIRST_FRAMES) and
                     all(whole[i:i + 2] == bytes([5, 6]) for i in range(0, len(whole), FRAME)),
                     f"{list(whole[:64])}")
        lost_line(checks, shots, proc, line, x0, y0)
        print(f"     (screenshots in {shots})", flush=True)
    finally:
        if proc is not None:
            proc.kill()
        wine.close()
        line.close()
        shutil.rmtree(work, ignore_errors=True)


def lamp_is_green(shot, x, y):
    for px in range(x - 3, x + 4):
        for py in range(y - 3, y + 4):
            r, g, b = shot.pixel(px, py)
            if g > r + 60 and g > b + 60:
                return True
    return False


def tooltip_at(main_wid, x, y, proc):
    """Points at (x, y) and waits for a tooltip: a window of kiv.exe's
    beside the main window, near the pointer. Returns its geometry."""
    def others():
        return [wid for wid in xdotool("search", "--onlyvisible", "--class", "kiv.exe").stdout.split()
                if wid != main_wid]

    # Away first, and until a tooltip shown before has gone.
    xdotool("mousemove", "--sync", str(x), str(y + 40))
    deadline = time.monotonic() + 30.0
    while others() and time.monotonic() < deadline:
        time.sleep(0.2)  # polling for the old tooltip to go, under the ceiling
    xdotool("mousemove", "--sync", str(x), str(y))
    deadline = time.monotonic() + 30.0
    while time.monotonic() < deadline and proc.running():
        for wid in others():
            geo = window_geometry(wid)
            if geo and abs(geo[0] - x) < 300 and 0 <= geo[1] - y < 80:
                return geo
        time.sleep(0.2)  # polling for the tooltip, under the ceiling
    return None


def lost_line(checks, shots, proc, line, x0, y0):
    """The far end goes away mid-send: the window keeps no standard error
    when started from Explorer, so the lamp and the status line beside it
    must tell why sending stopped when pointed at."""
    line.hang_up()
    deadline = time.monotonic() + SEND_CEILING
    while time.monotonic() < deadline and proc.running():
        shot = Shot(os.path.join(shots, "windows-line-lost.png"))
        if not lamp_is_green(shot, x0 + SEND_LAMP[0], y0 + SEND_LAMP[1]):
            break
        time.sleep(0.2)  # polling the screen, under the ceiling
    said = proc.stderr()
    checks.check("a far end that goes away stops the sending, and the reason names the port",
                 "停止发送" in said and "COM3 已断开" in said, said.strip()[-300:])
    main_wid = find_window(proc, WINDOW_CEILING)[0]
    for name, (x, y) in (("the lamp", SEND_LAMP), ("the status line", SEND_STATUS)):
        geo = tooltip_at(main_wid, x0 + x, y0 + y, proc)
        Shot(os.path.join(shots, f"windows-line-lost-{'lamp' if name == 'the lamp' else 'status'}.png"))
        # The reason is a whole sentence ("21:57:42 停止发送：COM3 已断开：…"),
        # far wider than a word.
        checks.check(f"pointing at {name} shows why sending stopped", geo is not None and geo[2] > 150,
                     f"tooltip {geo}")


def wait_for_green(shots, x, y, proc):
    """Waits for the lamp around (x, y) to show green, the open port's colour."""
    deadline = time.monotonic() + SEND_CEILING
    while time.monotonic() < deadline and proc.running():
        shot = Shot(os.path.join(shots, "windows-port-open.png"))
        for px in range(x - 3, x + 4):
            for py in range(y - 3, y + 4):
                r, g, b = shot.pixel(px, py)
                if g > r + 60 and g > b + 60:
                    return True
        time.sleep(0.2)  # polling the screen, under the ceiling
    return False


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    root = os.path.join(here, "..", "..")
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--exe", default=os.path.join(root, "build-windows", "kiv.exe"))
    p.add_argument("--shots", default=os.path.join(root, "build-windows", "screenshots"))
    args = p.parse_args()
    if not os.path.isfile(args.exe):
        print(f"window_under_wine: {args.exe} is missing", file=sys.stderr)
        return 2
    if not os.environ.get("DISPLAY"):
        return subprocess.run(["xvfb-run", "-a", "-s", "-screen 0 1024x768x24",
                               sys.executable, os.path.abspath(__file__), *sys.argv[1:]]).returncode

    checks = Checks("kiv.exe under Wine")
    started = time.monotonic()
    try:
        run(args, checks)
    except (RuntimeError, subprocess.SubprocessError, OSError) as e:
        checks.check("the run completes", False, str(e))
    print(f"     ({time.monotonic() - started:.0f} s)", flush=True)
    return checks.finish()


if __name__ == "__main__":
    sys.exit(main())
