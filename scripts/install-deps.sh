#!/usr/bin/env bash
# Installs the Debian packages KIV needs, by purpose. Safe to run again: it
# only installs what is missing.
#
#   bash scripts/install-deps.sh [PURPOSE...]     (default: all)
#
#   run      build and run both programs (scripts/run.sh)
#   test     the test suite, the benchmarks and the format check
#   windows  the MinGW builds and the Windows programs under Wine
#   package  the Debian package and its check (scripts/package.sh)
#   fuzz     the libFuzzer targets (scripts/fuzz.sh)
#   all      every one of them (scripts/test.sh)
set -euo pipefail
declare -A purposes=(
  # qt6-qpa-plugins: the window's platform plugins, which Qt only recommends.
  [run]="cmake g++ make qt6-base-dev qt6-serialport-dev qt6-qpa-plugins fonts-wqy-microhei qt6-translations-l10n"
  [test]="pkg-config libqt6test6 libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth xdotool clang-format g++-mingw-w64-x86-64-posix"
  [windows]="g++-mingw-w64-x86-64-posix wine wine64 fonts-wine imagemagick"
  # ccache: the package check's second build reuses the first one's compiles.
  [package]="dpkg-dev debhelper lintian appstream ccache"
  [fuzz]="clang libclang-rt-14-dev"
)
order=(run test windows package fuzz)
wanted=("$@")
[ ${#wanted[@]} -gt 0 ] || wanted=(all)
packages=()
for w in "${wanted[@]}"; do
  case "$w" in
    all) for p in "${order[@]}"; do read -ra more <<<"${purposes[$p]}"; packages+=("${more[@]}"); done ;;
    -h | --help) sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *)
      [ -n "${purposes[$w]+set}" ] || { echo "install-deps.sh: unknown purpose $w (run, test, windows, package, fuzz, all)" >&2; exit 2; }
      read -ra more <<<"${purposes[$w]}"; packages+=("${more[@]}") ;;
  esac
done
if [ "${KIV_PRINT_PACKAGES:-0}" = 1 ]; then
  printf '%s\n' "${packages[@]}" | sort -u
  exit 0
fi
missing=()
for p in $(printf '%s\n' "${packages[@]}" | sort -u); do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
