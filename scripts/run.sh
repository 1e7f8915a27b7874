#!/usr/bin/env bash
# Installs what is missing, builds and starts KIV. Arguments go to the
# program, for example: bash scripts/run.sh --port COM1=/dev/ttyUSB0
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2 --target kiv
exec ./build/src/kiv "$@"
