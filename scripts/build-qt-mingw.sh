#!/usr/bin/env bash
# Builds a static Qt for Windows (x86_64, MinGW-w64, posix threads) from
# Debian 12's own qt6-base 6.4.2 source: Core, Gui, Widgets, Test, the
# windows, offscreen and minimal platform plugins; no network, sql, opengl,
# dbus, printsupport, concurrent, xml or jpeg (and no tabletevent: Debian's
# source leaves out the Windows tablet header). About 40 minutes of two
# cores. Debian's qt6-serialport source is not to be had, so there is no
# QSerialPort: KIV talks to COM ports through the Win32 serial functions.
#
# Usage: scripts/build-qt-mingw.sh PREFIX [WORKDIR]
#
# The source comes through apt with a private deb-src list, so the system's
# own apt set-up stays untouched. Packages missing on the machine are
# installed with apt-get (through sudo when not run as root).
set -euo pipefail
PREFIX=${1:?usage: build-qt-mingw.sh PREFIX [WORKDIR]}
WORK=${2:-$(mktemp -d)}
JOBS=${KIV_JOBS:-2}
QT_SOURCE_VERSION=6.4.2+dfsg-10

needed=(g++-mingw-w64-x86-64-posix qt6-base-dev qt6-base-dev-tools ninja-build cmake dpkg-dev xz-utils)
missing=()
for p in "${needed[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=()
  ((EUID == 0)) || sudo=(sudo)
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

mkdir -p "$WORK/apt/lists/partial" "$WORK/src" "$WORK/build"
sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources >"$WORK/apt/sources"
apt_src=(-o Dir::Etc::sourcelist="$WORK/apt/sources" -o Dir::Etc::sourceparts=/dev/null
         -o Dir::State::Lists="$WORK/apt/lists")
apt-get update -qq "${apt_src[@]}"
(cd "$WORK/src" && apt-get source --download-only "${apt_src[@]}" "qt6-base=$QT_SOURCE_VERSION" &&
  tar xf qt6-base_6.4.2+dfsg.orig.tar.xz)

mkdir -p "$PREFIX"
PREFIX=$(cd "$PREFIX" && pwd)
cat >"$PREFIX/mingw-toolchain.cmake" <<'TC'
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
TC
cd "$WORK/build"
"$WORK/src/qtbase-everywhere-src-6.4.2/configure" -xplatform win32-g++ -qt-host-path /usr -prefix "$PREFIX" \
  -release -static -opensource -confirm-license -nomake examples -nomake tests \
  -no-opengl -no-dbus -no-feature-sql -no-feature-network -no-feature-printsupport -no-feature-concurrent \
  -no-feature-xml -no-feature-tabletevent -qt-zlib -qt-libpng -qt-freetype -qt-harfbuzz -qt-pcre -no-feature-jpeg \
  -- -DCMAKE_TOOLCHAIN_FILE="$PREFIX/mingw-toolchain.cmake" -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
cmake --build . --parallel "$JOBS"
cmake --install .
# Relocatable: the Qt toolchain file chain-loads the MinGW toolchain file
# beside it wherever the folder is moved.
sed -i "s|set(__qt_initially_configured_toolchain_file \".*\")|set(__qt_initially_configured_toolchain_file \"\${CMAKE_CURRENT_LIST_DIR}/../../../mingw-toolchain.cmake\")|" \
  "$PREFIX/lib/cmake/Qt6/qt.toolchain.cmake"
