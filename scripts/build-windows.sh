#!/usr/bin/env bash
# Builds kiv.exe and kiv-cli.exe for 64-bit Windows on Debian 12 and packs
# them into kiv-<version>-windows-x86_64.zip. See --help.
set -euo pipefail

usage() {
  cat <<'TEXT'
Usage: scripts/build-windows.sh [options]

Cross-compiles KIV for 64-bit Windows with MinGW-w64 and a static Qt, so the
two programs need no DLL beside them, and packs them with a short text on
how to start, the licence (LICENSE.txt) and where the source is and how to
build them again (SOURCE.txt) into build-windows/kiv-<version>-windows-x86_64.zip.

The Qt for MinGW is the first of:
  1. --qt DIR, or KIV_QT_MINGW=DIR in the environment;
  2. the cache folder ${KIV_CACHE:-~/.cache/kiv}/qt6-mingw-<version>-<recipe>,
     keyed by the Qt version and the build recipe (scripts/build-qt-mingw.sh);
  3. ../shared/qt6-mingw next to the project folder.
With none of them, Qt is built once into the cache folder from Debian's
qt6-base source (about 40 minutes of two cores; installs the packages it
needs through apt-get, with sudo when not root), unless --no-build-qt.

Options:
  --qt DIR          use the Qt for MinGW in DIR
  --build-dir DIR   build folder (default: build-windows in the project)
  --jobs N          parallel compile jobs (default: 2, or KIV_JOBS)
  --tests           also build the test programs (KIV_TESTS=ON)
  --werror          treat compiler warnings as errors
  --no-build-qt     fail instead of building Qt when none is found
  --no-zip          build and check the programs, but pack nothing
  --print-qt        print the Qt folder that would be used, and exit
  -h, --help        this text
TEXT
}

root=$(cd "$(dirname "$0")/.." && pwd)
qt=${KIV_QT_MINGW:-}
build_dir=$root/build-windows
jobs=${KIV_JOBS:-2}
tests=OFF
werror=OFF
build_qt=yes
zip=yes
print_qt=no
while (($#)); do
  case $1 in
    --qt) qt=${2:?--qt needs a folder}; shift ;;
    --qt=*) qt=${1#--qt=} ;;
    --build-dir) build_dir=${2:?--build-dir needs a folder}; shift ;;
    --build-dir=*) build_dir=${1#--build-dir=} ;;
    --jobs) jobs=${2:?--jobs needs a number}; shift ;;
    --jobs=*) jobs=${1#--jobs=} ;;
    --tests) tests=ON ;;
    --werror) werror=ON ;;
    --no-build-qt) build_qt=no ;;
    --no-zip) zip=no ;;
    --print-qt) print_qt=yes ;;
    -h | --help) usage; exit 0 ;;
    *) echo "build-windows.sh: unknown option $1 (see --help)" >&2; exit 2 ;;
  esac
  shift
done
[[ $jobs =~ ^[1-9][0-9]*$ ]] || { echo "build-windows.sh: --jobs $jobs is not a number" >&2; exit 2; }
# The packing step runs in another folder: name the build folder in full.
build_dir=$(realpath -m "$build_dir")

qt_version=6.4.2
recipe=$root/scripts/build-qt-mingw.sh
recipe_key=$(sha256sum "$recipe" | cut -c1-12)
cache_root=${KIV_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/kiv}
cache_qt=$cache_root/qt6-mingw-$qt_version-$recipe_key

has_qt() { [[ -f $1/lib/cmake/Qt6/qt.toolchain.cmake ]]; }

if [[ -n $qt ]]; then
  has_qt "$qt" || { echo "build-windows.sh: no Qt for MinGW in $qt (lib/cmake/Qt6/qt.toolchain.cmake is missing)" >&2; exit 1; }
elif has_qt "$cache_qt"; then
  qt=$cache_qt
elif has_qt "$root/../shared/qt6-mingw"; then
  qt=$root/../shared/qt6-mingw
elif [[ $print_qt == yes ]]; then
  echo "none (would build $cache_qt)"
  exit 1
elif [[ $build_qt == yes ]]; then
  echo "build-windows.sh: no Qt for MinGW found; building one into $cache_qt (about 40 minutes)"
  mkdir -p "$cache_root"
  partial=$cache_qt.partial
  rm -rf "$partial"
  KIV_JOBS=$jobs bash "$recipe" "$partial" "$(mktemp -d)"
  # The toolchain file finds its MinGW file relative to itself, so the
  # finished folder may move into place.
  mv "$partial" "$cache_qt"
  qt=$cache_qt
else
  echo "build-windows.sh: no Qt for MinGW found (looked at KIV_QT_MINGW, $cache_qt and ../shared/qt6-mingw)." >&2
  echo "Build one with: bash scripts/build-qt-mingw.sh \"$cache_qt\"" >&2
  exit 1
fi
qt=$(cd "$qt" && pwd)
if [[ $print_qt == yes ]]; then
  echo "$qt"
  exit 0
fi
echo "Qt for MinGW: $qt"

for tool in x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-windres x86_64-w64-mingw32-objdump cmake; do
  command -v "$tool" >/dev/null || { echo "build-windows.sh: $tool is missing (bash scripts/install-deps.sh)" >&2; exit 1; }
done
[[ -x /usr/lib/qt6/libexec/moc ]] || { echo "build-windows.sh: Qt's host tools are missing (apt-get install qt6-base-dev-tools)" >&2; exit 1; }

generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

cmake -S "$root" -B "$build_dir" "${generator[@]}" "${launcher[@]}" \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
  -DKIV_TESTS="$tests" -DKIV_WERROR="$werror" -DKIV_BENCH=OFF
targets=(kiv kiv-cli)
[[ $tests == ON ]] && targets=()
cmake --build "$build_dir" --parallel "$jobs" ${targets[@]:+--target "${targets[@]}"}

# qt_standard_project_setup puts Windows programs at the top of the build.
exes=("$build_dir/kiv.exe" "$build_dir/kiv-cli.exe")

# Only DLLs every Windows has: anything else (Qt's, the MinGW runtime's)
# would have to ship beside the programs.
system_dlls='^(kernel32|user32|gdi32|gdiplus|advapi32|shell32|shlwapi|ole32|oleaut32|comdlg32|comctl32|'
system_dlls+='imm32|winmm|setupapi|cfgmgr32|uxtheme|dwmapi|version|wtsapi32|netapi32|userenv|mpr|'
system_dlls+='ws2_32|crypt32|bcrypt|ntdll|msvcrt|ucrtbase|d3d9|d3d11|d3d12|dxgi|d2d1|dwrite|opengl32|'
system_dlls+='authz|secur32|shcore|winspool\.drv|api-ms-win-[a-z0-9-]+)(\.dll)?$'
for exe in "${exes[@]}"; do
  [[ -f $exe ]] || { echo "build-windows.sh: $exe was not built" >&2; exit 1; }
  mapfile -t dlls < <(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort -u)
  foreign=()
  for dll in "${dlls[@]}"; do
    lower=${dll,,}
    [[ $lower =~ $system_dlls ]] || foreign+=("$dll")
  done
  if ((${#foreign[@]})); then
    echo "build-windows.sh: $(basename "$exe") needs DLLs Windows does not have: ${foreign[*]}" >&2
    exit 1
  fi
  echo "$(basename "$exe"): imports only Windows system DLLs (${dlls[*]})"
done

[[ $zip == yes ]] || exit 0

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build_dir/CMakeCache.txt")
[[ -n $version ]] || version=$(sed -n 's/^project(kiv VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
name=kiv-$version-windows-x86_64
stage=$build_dir/package/$name
rm -rf "$build_dir/package"
mkdir -p "$stage"
for exe in "${exes[@]}"; do
  x86_64-w64-mingw32-strip -o "$stage/$(basename "$exe")" "$exe"
done
# The first run's steps are the README's own (its Windows section), so the
# two cannot drift apart: its Markdown marks and pictures left out.
steps=$build_dir/package/first-run.txt
awk '/^## /{windows = ($0 == "## Windows")} windows && /^### /{steps = ($0 == "### First run"); next}
     steps && !/^!\[/' "$root/README.md" | sed 's/`//g' |
  sed -e '/./,$!d' | sed -e ':a' -e '/^\n*$/{$d;N;ba' -e '}' >"$steps"
[[ -s $steps ]] || { echo "build-windows.sh: README.md has no \"### First run\" under \"## Windows\"" >&2; exit 1; }
revision=""
if git -C "$root" rev-parse --short=12 HEAD >/dev/null 2>&1; then
  revision=" (revision $(git -C "$root" rev-parse --short=12 HEAD)$(git -C "$root" diff --quiet HEAD 2>/dev/null || echo ", changed"))"
fi
# Notepad reads UTF-8 with Windows line ends.
windows_text() {
  awk -v steps="$steps" '/^@FIRST_RUN@$/ {while ((getline l < steps) > 0) print l; next} {print}' "$1" |
    sed "s/@VERSION@/$version/g; s/@QT_VERSION@/$qt_version/g; s/@REVISION@/$revision/g; s/\$/\r/" >"$2"
}
windows_text "$root/packaging/windows/README-Windows.txt" "$stage/README-Windows.txt"
windows_text "$root/packaging/windows/SOURCE.txt" "$stage/SOURCE.txt"
windows_text "$root/LICENSE" "$stage/LICENSE.txt"
zip_file=$build_dir/$name.zip
rm -f "$zip_file"
(cd "$build_dir/package" && cmake -E tar cf "$zip_file.tmp" --format=zip "$name")
mv "$zip_file.tmp" "$zip_file"
echo "packed $zip_file"
