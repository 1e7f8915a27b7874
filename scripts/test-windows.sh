#!/usr/bin/env bash
# The Windows part of the test command: builds kiv.exe, kiv-cli.exe and the
# logic tests with MinGW and the static Qt for MinGW (scripts/build-windows.sh),
# then runs under Wine, in one throwaway Wine prefix:
#   0. the zip's contents: the licence, where the source is, the README's
#      first-run steps, the programs' versions (tests/windows/zip_contents.py);
#   1. the logic tests (model, signal, serial, sending, the Windows platform
#      pieces), each case also passing on Linux where the Linux build has it;
#   2. kiv-cli.exe against the Linux kiv-cli on COM ports mapped onto
#      pseudo-terminals (tests/windows/cli_under_wine.py);
#   2b. kiv-cli.exe as a Windows user meets it: its help, Chinese paths,
#      values and console text, the port names and reasons in its messages
#      (tests/windows/windows_words_under_wine.py);
#   3. the port control's read path: a probe sends a frame on a COM port
#      mapped onto a pseudo-terminal that answers, and must see the answer
#      (tests/windows/read_under_wine.py);
#   4. kiv.exe on a virtual display (tests/windows/window_under_wine.py),
#      keeping its screenshots in build-windows/screenshots/.
# Without a Qt for MinGW it says how to make one and skips only these steps.
# The last line is "windows: N passed, N failed" (checks and test cases).
# Wine's timing says nothing about Windows: nothing here measures speed.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=$PWD/${KIV_WINDOWS_BUILD_DIR:-build-windows}
linux_build=${KIV_LINUX_BUILD_DIR:-build}

if ! qt=$(bash scripts/build-windows.sh --print-qt 2>/dev/null); then
  echo "windows: no Qt for MinGW found (KIV_QT_MINGW, the cache folder of scripts/build-windows.sh, ../shared/qt6-mingw)."
  echo "windows: make one with 'bash scripts/build-windows.sh' (it builds Qt once, about 40 minutes of two cores),"
  echo "windows: or point KIV_QT_MINGW at a ready one."
  echo "windows: skipped"
  exit 0
fi
for tool in wine wineserver xvfb-run xdotool import; do
  command -v "$tool" >/dev/null || { echo "test-windows.sh: $tool is missing (bash scripts/install-deps.sh)" >&2; exit 1; }
done

started=$SECONDS
bash scripts/build-windows.sh --qt "$qt" --build-dir "$build_dir" --tests --werror
echo "windows: built in $((SECONDS - started)) s"

# The programs' place in the build folder.
exe() {
  local p
  for p in "$build_dir/$1" "$build_dir/src/$1"; do
    [[ -f $p ]] && { echo "$p"; return; }
  done
  echo "$build_dir/$1"
}

passed=0
failed=0
count() { # adds a step's "title: N passed, N failed" line to the totals
  local line
  line=$(grep -E '^[^:]+: [0-9]+ passed, [0-9]+ failed$' "$1" | tail -n 1 || true)
  if [[ -z $line ]]; then
    echo "windows: $2 gave no count" >&2
    failed=$((failed + 1))
    return
  fi
  [[ $line =~ ([0-9]+)\ passed,\ ([0-9]+)\ failed ]]
  passed=$((passed + BASH_REMATCH[1]))
  failed=$((failed + BASH_REMATCH[2]))
}

WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/kiv-wine.XXXXXX")
export WINEPREFIX WINEDEBUG=-all
logs=$(mktemp -d)
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX" "$logs"
}
trap cleanup EXIT
wine_started=$SECONDS
# No "wine-mono/gecko missing" dialogs, no desktop menu entries.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# A server that stays up between the programs saves Wine's start-up each time.
wineserver -p >/dev/null 2>&1
wineboot --init >/dev/null 2>&1

# 0. The zip: licence, source note, the README's first-run steps, versions.
zip_file=$(ls "$build_dir"/kiv-*-windows-x86_64.zip 2>/dev/null | head -n 1 || true)
python3 tests/windows/zip_contents.py --zip "${zip_file:-$build_dir/kiv-none-windows-x86_64.zip}" |
  tee "$logs/zip" || true
count "$logs/zip" "the Windows zip"

# 1. The logic tests, one Wine process per program.
rm -rf "$build_dir/tests/windows/reports"
ctest --test-dir "$build_dir" --output-on-failure --timeout 300 | tee "$logs/ctest" || true
programs=$(ctest --test-dir "$build_dir" -N | sed -n 's/^ *Test *#[0-9]*: //p' | paste -sd, -)
python3 tests/windows/gtest_reports.py "$build_dir/tests/windows/reports" --programs "$programs" \
  --linux-build "$linux_build" --linux-only "$build_dir/tests/windows/linux_only.txt" | tee "$logs/gtest" || true
count "$logs/gtest" "the logic tests"

# 2. kiv-cli.exe against the Linux kiv-cli.
python3 tests/windows/cli_under_wine.py --exe "$(exe kiv-cli.exe)" \
  --linux-cli "$linux_build/src/kiv-cli" | tee "$logs/cli" || true
count "$logs/cli" "kiv-cli.exe under Wine"

# 2b. kiv-cli.exe's Windows words: help, Chinese paths and console text,
# port names, reasons.
python3 tests/windows/windows_words_under_wine.py --exe "$(exe kiv-cli.exe)" \
  --linux-cli "$linux_build/src/kiv-cli" | tee "$logs/words" || true
count "$logs/words" "kiv-cli.exe's Windows words"

# 3. The read path of the Windows port control.
python3 tests/windows/read_under_wine.py --probe "$(exe kiv_read_probe.exe)" | tee "$logs/read" || true
count "$logs/read" "the read path under Wine"

# 4. kiv.exe on a virtual display.
python3 tests/windows/window_under_wine.py --exe "$(exe kiv.exe)" \
  --shots "$build_dir/screenshots" | tee "$logs/window" || true
count "$logs/window" "kiv.exe under Wine"

skipped=$(cat "$logs/cli" "$logs/words" "$logs/read" "$logs/window" | grep -c '^SKIP ' || true)
[[ $skipped -eq 0 ]] || echo "windows: $skipped skipped (see the SKIP lines above)"
echo "windows: Wine steps took $((SECONDS - wine_started)) s, $((SECONDS - started)) s in all"
echo "windows: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
