#!/usr/bin/env bash
# Saves a PNG of every page of the window, taken from a real X window on a
# virtual display, into screenshots/ (or the directory given as $1).
# BUILD_DIR picks the build tree (default: build); it is built if needed.
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-screenshots}"
build="${BUILD_DIR:-build}"

bash scripts/install-deps.sh
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" -j2 --target kiv

mkdir -p "$out"
# The line monitor's picture shows a few seconds of sending: COM1 is a
# pseudo-terminal whose far end a small reader keeps drained.
fifo="$(mktemp -u)"
mkfifo "$fifo"
python3 -c '
import os, pty, sys, tty
master, slave = pty.openpty()
tty.setraw(slave)
print(os.ttyname(slave), flush=True)
while os.read(master, 4096):
    pass
' >"$fifo" &
reader=$!
trap 'kill "$reader" 2>/dev/null; rm -f "$fifo"' EXIT
read -r line_device <"$fifo"
xvfb-run -a -s "-screen 0 1024x768x24" "$build/src/kiv" -platform xcb \
  --port "COM1=$line_device" --screenshots "$out"
ls -1 "$out"/*.png
