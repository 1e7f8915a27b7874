#!/usr/bin/env bash
# Installs the Debian packages needed to build, run and test KIV.
# Safe to run again: it only installs what is missing.
set -euo pipefail
packages=(
  cmake g++ make pkg-config
  qt6-base-dev qt6-serialport-dev libqt6test6
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xdotool fonts-wqy-microhei qt6-translations-l10n
  clang libclang-rt-14-dev clang-format
  g++-mingw-w64-x86-64-posix
  dpkg-dev lintian
  wine wine64 fonts-wine imagemagick
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
