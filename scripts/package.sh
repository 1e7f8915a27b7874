#!/usr/bin/env bash
# Builds the Debian package kiv_<version>_amd64.deb with CPack.
#
#   bash scripts/package.sh [--check] [BUILD_DIR]
#
# BUILD_DIR is a configured build folder to package (the test command
# passes its own); without one, a Release build is made in build-package/.
# The package is left in the project's root folder.
#
# --check also checks the package: its contents list, lintian without
# errors, and that apt would satisfy its dependencies on a Debian 12 that
# has nothing installed, from the archive alone (a simulated install with
# an empty package status: no container, no root folder to fill, and it
# does not depend on what this machine happens to have installed).
set -euo pipefail
cd "$(dirname "$0")/.."
check=0
build=""
for arg in "$@"; do
  case "$arg" in
    --check) check=1 ;;
    -h | --help) sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "package.sh: unknown option $arg" >&2; exit 2 ;;
    *) build=$arg ;;
  esac
done
# The package's dates are the source's: the last commit's time unless
# SOURCE_DATE_EPOCH says otherwise. Configuring again stamps the changelog.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && epoch=$(git log -1 --format=%ct 2>/dev/null); then
  export SOURCE_DATE_EPOCH=$epoch
fi
if [ -z "$build" ]; then
  # Only what the package holds: no tests, no benchmarks.
  # Debian's flags with all hardening (BIND_NOW, fortified functions).
  export DEB_BUILD_MAINT_OPTIONS=${DEB_BUILD_MAINT_OPTIONS:-hardening=+all}
  build=build-package
  CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
    LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" \
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DKIV_BENCH=OFF -DKIV_TESTS=OFF
else
  cmake -S . -B "$build" >/dev/null
fi
cmake --build "$build" -j2
rm -f "$build"/kiv_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/kiv_*_*.deb)
cp "$deb" .
deb=$(basename "$deb")
echo "package: $deb"
[ "$check" -eq 1 ] || exit 0

# The files a user gets, and nothing from the build folder or the tests.
contents=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' | grep -v '/$' | sort)
expected="/usr/bin/kiv
/usr/bin/kiv-cli
/usr/share/applications/kiv.desktop
/usr/share/doc/kiv/changelog.gz
/usr/share/doc/kiv/copyright
/usr/share/icons/hicolor/128x128/apps/kiv.png
/usr/share/icons/hicolor/16x16/apps/kiv.png
/usr/share/icons/hicolor/24x24/apps/kiv.png
/usr/share/icons/hicolor/256x256/apps/kiv.png
/usr/share/icons/hicolor/32x32/apps/kiv.png
/usr/share/icons/hicolor/48x48/apps/kiv.png
/usr/share/icons/hicolor/64x64/apps/kiv.png
/usr/share/icons/hicolor/scalable/apps/kiv.svg
/usr/share/man/man1/kiv-cli.1.gz
/usr/share/man/man1/kiv.1.gz"
if [ "$contents" != "$expected" ]; then
  echo "package: the contents differ from the list expected:" >&2
  diff <(echo "$expected") <(echo "$contents") >&2 || true
  exit 1
fi
echo "package: contents as expected ($(echo "$contents" | wc -l) files)"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 "fonts-wqy-microhei | fonts-noto-cjk"; do
  case "$depends" in
    *"$needed"*) ;;
    *) echo "package: Depends lacks $needed: $depends" >&2; exit 1 ;;
  esac
done
echo "package: Depends: $depends"
recommends=$(dpkg-deb -f "$deb" Recommends)
case "$recommends" in
  *qt6-translations-l10n*) ;;
  *) echo "package: Recommends lacks the toolkit's Chinese catalogs: $recommends" >&2; exit 1 ;;
esac
echo "package: Recommends: $recommends"

lintian --fail-on error --tag-display-limit 0 "$deb"
echo "package: lintian found no errors"

# Without package lists apt can resolve nothing: fetch them once.
if ! ls /var/lib/apt/lists/*_Packages* >/dev/null 2>&1; then
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  "${sudo_cmd[@]}" apt-get update -qq
fi
empty=$(mktemp)
trap 'rm -f "$empty"' EXIT
if ! apt-get install -s -q -o Dir::State::status="$empty" -o Debug::NoLocking=1 "./$deb" > "$build/apt-simulation.txt" 2>&1; then
  cat "$build/apt-simulation.txt" >&2
  echo "package: apt could not satisfy the dependencies" >&2
  exit 1
fi
grep -q '^Inst kiv ' "$build/apt-simulation.txt" || { cat "$build/apt-simulation.txt" >&2; exit 1; }
echo "package: apt would install it on an empty Debian 12 with $(grep -c '^Inst ' "$build/apt-simulation.txt") packages"
