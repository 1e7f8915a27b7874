#!/usr/bin/env bash
# Compiles the plain C++ layers (model, signal, serial logic, sending) with
# the MinGW-w64 cross compiler, so that a Windows build needs nothing but
# its own platform files. Object files are enough: there is no Qt for
# Windows here.
set -euo pipefail
cd "$(dirname "$0")/.."
cxx=${MINGW_CXX:-x86_64-w64-mingw32-g++-posix}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
count=0
for f in $(find src/model src/signal src/serial src/sending -name '*.cpp' | sort); do
  "$cxx" -std=c++20 -Wall -Wextra -Werror -Isrc -c "$f" -o "$out/$(basename "$f" .cpp).o"
  count=$((count + 1))
done
echo "portable layers: $count files compile with $cxx"
