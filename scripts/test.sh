#!/usr/bin/env bash
# Installs what is missing, checks the layers, the formatting and the
# portable layers, builds, and runs the whole test suite twice:
# once in the normal build, once under AddressSanitizer and
# UndefinedBehaviorSanitizer (any finding fails the run). In between, the
# Debian package is built and checked, and each libFuzzer target runs for a
# bounded time (FUZZ_SECONDS, default 10).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh all

# The cheap checks first: layers, formatting, the portable layers on MinGW.
bash scripts/check-includes.sh
find src tests fuzz bench -name '*.h' -o -name '*.cpp' | sort | xargs clang-format --dry-run --Werror
echo "format check: every file is formatted"
bash scripts/check-portable.sh

# Line tables only (-g1): stack traces keep file and line, and the builds
# stay well inside the time CI gives them.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" -DKIV_WERROR=ON \
  -DKIV_TESTS=ON -DKIV_BENCH=ON
cmake --build build -j2
ctest --test-dir build --output-on-failure -j2 --timeout 300
bash scripts/test-windows.sh

# The Debian package, built twice from its source package with Debian's
# tools and compared; contents, lintian, AppStream, dependencies.
bash scripts/package.sh --check

FUZZ_SECONDS=${FUZZ_SECONDS:-10} bash scripts/fuzz.sh

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DKIV_SANITIZE=ON -DKIV_BENCH=OFF -DKIV_WERROR=ON
cmake --build build-asan -j2
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp
ctest --test-dir build-asan --output-on-failure -j2 --timeout 600
