#!/usr/bin/env bash
# Installs what is missing, builds and starts KIV. Arguments go to the
# program, for example: bash scripts/run.sh --port COM1=/dev/ttyUSB0
set -euo pipefail
cd "$(dirname "$0")/.."
# Only what building and running needs; a build folder the test command made
# keeps its tests.
bash scripts/install-deps.sh run
if [ -f build/CMakeCache.txt ]; then
  cmake -S . -B build
else
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIV_TESTS=OFF -DKIV_BENCH=OFF
fi
cmake --build build -j2 --target kiv
exec ./build/src/kiv "$@"
