#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer under AddressSanitizer and
# UndefinedBehaviorSanitizer in a build tree of their own, then runs each for
# FUZZ_SECONDS (default 60) over a scratch copy of its committed corpus in
# fuzz/corpus/<target>. Exits non-zero on any finding: a broken invariant,
# a sanitizer report, a leak, a crash or a hang. The input behind a finding
# is kept in <build>/fuzz-runs/<target>/ as crash-*, leak-* or timeout-*.
#
#   FUZZ_SECONDS  seconds per target (default 60)
#   FUZZ_JOBS     targets run side by side (default 2)
#   FUZZ_TARGETS  space-separated subset of the targets (default all)
#   FUZZ_BUILD    build directory (default build-fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-60}
jobs=${FUZZ_JOBS:-2}
build=${FUZZ_BUILD:-build-fuzz}
all="number_text_fuzzer conversions_fuzzer signal_apply_fuzzer send_apply_fuzzer port_apply_fuzzer compute_frame_fuzzer cli_options_fuzzer setup_file_fuzzer port_assignment_fuzzer lock_file_fuzzer device_names_fuzzer loopback_matcher_fuzzer frame_format_fuzzer arrived_rows_fuzzer"
targets=${FUZZ_TARGETS:-$all}

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIV_FUZZ=ON -DKIV_WERROR=ON \
    -DKIV_BENCH=OFF >/dev/null
# shellcheck disable=SC2086
if ! cmake --build "$build" -j2 --target $targets >"$build/fuzz-build.log" 2>&1; then
    tail -40 "$build/fuzz-build.log"
    echo "FAIL: the fuzz targets did not build"
    exit 1
fi

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:symbolize=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

run_target() {
    local target=$1
    local work="$build/fuzz-runs/$target"
    rm -rf "$work"
    mkdir -p "$work/corpus"
    cp -r "fuzz/corpus/$target/." "$work/corpus/"
    # -timeout: one input running this long counts as a hang.
    # -rss_limit_mb: the long-text inputs need room, a leak would not fit.
    # -max_len: room for numbers longer than a double can hold.
    local status=0
    "$build/fuzz/$target" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=4096 -max_len=4096 \
        -print_final_stats=1 -artifact_prefix="$work/" "$work/corpus" >"$work/log" 2>&1 ||
        status=$?
    local runs
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -1)
    local findings
    findings=$(find "$work" -maxdepth 1 \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' \
        -o -name 'oom-*' \) | wc -l)
    if [[ $status -ne 0 || $findings -ne 0 ]]; then
        echo "FAIL $target: exit $status, $findings finding(s); log $work/log"
        grep -A12 -m1 -E '\*\*\* invariant broken|ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error' \
            "$work/log" || tail -20 "$work/log"
        return 1
    fi
    echo "ok   $target: ${runs:-?} runs in ${seconds}s"
}

export -f run_target
export build seconds
# shellcheck disable=SC2086
printf '%s\n' $targets | xargs -P "$jobs" -I{} bash -c 'run_target "$@"' _ {}
