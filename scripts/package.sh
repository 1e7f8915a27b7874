#!/usr/bin/env bash
# Builds the Debian package kiv_<version>_amd64.deb with Debian's own tools,
# from the source package in debian/.
#
#   bash scripts/package.sh [--check]
#
# The source package (kiv_<version>.dsc, .tar.xz) and the build are made in
# build-package/; the package is copied to the project's root folder. A
# commit tagged v<version> builds <version> itself; any other source builds
# <version>+git<date>.<commit>, with a changelog entry naming the commit.
# Its dates are the last commit's time unless SOURCE_DATE_EPOCH says
# otherwise.
#
# --check also checks the package: it builds it a second time and compares
# the two byte for byte, then checks its contents, its dependencies, lintian
# --pedantic (no error, warning or pedantic tag), the AppStream metadata
# (appstreamcli validate), and that apt would satisfy its dependencies on a
# Debian 12 that has nothing installed, from the archive alone (a simulated
# install with an empty package status).
set -euo pipefail
cd "$(dirname "$0")/.."
began=$(date +%s)
check=0
for arg in "$@"; do
  case "$arg" in
    --check) check=1 ;;
    -h | --help) sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "package.sh: unknown argument $arg (see --help)" >&2; exit 2 ;;
  esac
done
say() { echo "package: $*"; }
fail() { echo "package: $*" >&2; exit 1; }

# The version: the changelog's, which must be the one CMake builds into
# the programs.
release=$(dpkg-parsechangelog -S Version)
project=$(sed -n 's/^project(kiv VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ "$release" = "$project" ] ||
  fail "debian/changelog is at $release but CMakeLists.txt at $project: add a changelog entry"
in_git=0
git rev-parse --is-inside-work-tree >/dev/null 2>&1 && in_git=1
if [ "$in_git" -eq 1 ]; then
  commit=$(git rev-parse HEAD)
  if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
  fi
  dirty=""
  # Changed or new files go into the package too, so its version says so.
  if ! git diff --quiet HEAD -- 2>/dev/null || [ -n "$(git ls-files --others --exclude-standard)" ]; then
    dirty=".dirty"
  fi
  if [ -z "$dirty" ] && git describe --exact-match --tags --match "v$release" >/dev/null 2>&1; then
    version=$release
  else
    version="$release+git$(date -u -d "@$(git log -1 --format=%ct)" +%Y%m%d).$(git rev-parse --short=7 HEAD)$dirty"
  fi
else
  version=$release
fi
if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then export SOURCE_DATE_EPOCH; fi

# The source tree as it is, without the build folders or Git's own files.
work=build-package
rm -rf "$work"
tree="$work/stage/kiv-$version"
mkdir -p "$tree"
if [ "$in_git" -eq 1 ]; then
  git ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
    tar -cf - --null -T - | tar -xf - -C "$tree"
else
  tar -cf - --exclude='./build*' --exclude=./.git --exclude='./kiv_*.deb' . | tar -xf - -C "$tree"
fi
if [ "$version" != "$release" ]; then
  # Dated by the source, never before the release it follows.
  released=$(dpkg-parsechangelog -S Timestamp)
  dated=${SOURCE_DATE_EPOCH:-$released}
  [ "$dated" -gt "$released" ] || dated=$((released + 1))
  maintainer=$(sed -n 's/^Maintainer: //p' debian/control)
  {
    echo "kiv ($version) bookworm; urgency=medium"
    echo
    if [ -n "$dirty" ]; then
      echo "  * Built from commit $commit, not a release,"
      echo "    with changes not yet committed."
    else
      echo "  * Built from commit $commit, not a release."
    fi
    echo
    echo " -- $maintainer  $(date -u -R -d "@$dated")"
    echo
    cat debian/changelog
  } > "$tree/debian/changelog"
fi
(cd "$work/stage" && dpkg-source -q -b "kiv-$version" >/dev/null)
dsc="$work/stage/kiv_$version.dsc"
say "source package $dsc"

# A compiler cache, where there is one, makes the second build of the check
# cheap; what it keeps is the same compiler's output for the same input.
# (debhelper gives the build a HOME of its own, so the cache is named.)
if command -v ccache >/dev/null 2>&1; then
  export CMAKE_CXX_COMPILER_LAUNCHER=ccache
  CCACHE_DIR=${CCACHE_DIR:-$(ccache -k cache_dir)}
  export CCACHE_DIR
fi
arch=$(dpkg-architecture -qDEB_HOST_ARCH)
deb_name="kiv_${version}_$arch.deb"
# Builds the binary package from the source package, always in the same
# folder (named without the version, so that the compiler cache serves the
# next commit's build too), and keeps what it made in folder $1.
build_from_source() {
  local dir="$work/build" kept="$work/$1" log="$PWD/$work/$1/build.log"
  rm -rf "$dir"
  mkdir -p "$dir" "$kept"
  dpkg-source -q -x "$dsc" "$dir/kiv" >/dev/null
  (cd "$dir/kiv" && DEB_BUILD_OPTIONS="parallel=2 ${DEB_BUILD_OPTIONS:-}" \
    dpkg-buildpackage -us -uc -b > "$log" 2>&1) ||
    { tail -40 "$kept/build.log" >&2; fail "dpkg-buildpackage failed (log: $kept/build.log)"; }
  mv "$dir"/*.deb "$dir"/*.ddeb "$dir"/*.buildinfo "$dir"/*.changes "$kept/" 2>/dev/null || true
  [ -f "$kept/$deb_name" ] || fail "dpkg-buildpackage made no $deb_name (log: $kept/build.log)"
}
started=$(date +%s)
build_from_source first
rm -f kiv_*.deb
cp "$work/first/$deb_name" .
say "$deb_name (built in $(($(date +%s) - started)) s)"
[ "$check" -eq 1 ] || exit 0

# The same source gives the same package: a second build, later, in the
# same place, compared byte for byte.
started=$(date +%s)
build_from_source second
for made in $(cd "$work/first" && ls *.deb *.ddeb 2>/dev/null); do
  if ! cmp -s "$work/first/$made" "$work/second/$made"; then
    diff <(dpkg-deb -c "$work/first/$made") <(dpkg-deb -c "$work/second/$made") >&2 || true
    diff <(dpkg-deb -I "$work/first/$made") <(dpkg-deb -I "$work/second/$made") >&2 || true
    fail "two builds of the same source differ: $made"
  fi
  say "$made: a second build is the same byte for byte"
done
say "second build in $(($(date +%s) - started)) s"

deb=$work/first/$deb_name
# The files a user gets, and nothing from the build folder or the tests.
contents=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' | grep -v '/$' | sort)
expected="/usr/bin/kiv
/usr/bin/kiv-cli
/usr/share/applications/kiv.desktop
/usr/share/bash-completion/completions/kiv-cli
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
/usr/share/man/man1/kiv.1.gz
/usr/share/metainfo/org.example.kiv.metainfo.xml"
if [ "$contents" != "$expected" ]; then
  diff <(echo "$expected") <(echo "$contents") >&2 || true
  fail "the contents differ from the list expected (above)"
fi
say "contents as expected ($(echo "$contents" | wc -l) files)"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 qt6-qpa-plugins "fonts-wqy-microhei | fonts-noto-cjk"; do
  case "$depends" in
    *"$needed"*) ;;
    *) fail "Depends lacks $needed: $depends" ;;
  esac
done
say "Depends: $depends"
recommends=$(dpkg-deb -f "$deb" Recommends)
case "$recommends" in
  *qt6-translations-l10n*) ;;
  *) fail "Recommends lacks the toolkit's Chinese catalogs: $recommends" ;;
esac
say "Recommends: $recommends"

# The source and the binary packages. No error, warning or pedantic tag;
# of the informational ones, none that says a binary lacks Debian's
# hardening or its sections were not stripped, nor that the desktop entry
# has no keywords.
lintian_out=$work/lintian.txt
if ! lintian --pedantic --display-info --tag-display-limit 0 --fail-on error,warning,pedantic \
  "$dsc" "$work/first"/*.changes > "$lintian_out" 2>&1; then
  cat "$lintian_out" >&2
  fail "lintian found tags above information (above)"
fi
if grep -E 'hardening-no-|binary-has-unneeded-section|desktop-entry-lacks-keywords-entry' "$lintian_out" >&2; then
  fail "lintian found tags that must not be there (above)"
fi
say "lintian --pedantic: no error, warning or pedantic tag ($(grep -c '^I: ' "$lintian_out" || true) informational)"

# What software centres read, as installed.
unpacked=$work/unpacked
dpkg-deb -x "$deb" "$unpacked"
appstreamcli validate --no-net "$unpacked"/usr/share/metainfo/*.metainfo.xml >&2 ||
  fail "appstreamcli found faults in the AppStream metadata"
say "the AppStream metadata validates"

# Without package lists apt can resolve nothing: fetch them once.
if ! ls /var/lib/apt/lists/*_Packages* >/dev/null 2>&1; then
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  "${sudo_cmd[@]}" apt-get update -qq
fi
empty=$(mktemp)
trap 'rm -f "$empty"' EXIT
if ! apt-get install -s -q -o Dir::State::status="$empty" -o Debug::NoLocking=1 "./$deb_name" > "$work/apt-simulation.txt" 2>&1; then
  cat "$work/apt-simulation.txt" >&2
  fail "apt could not satisfy the dependencies"
fi
grep -q '^Inst kiv ' "$work/apt-simulation.txt" || { cat "$work/apt-simulation.txt" >&2; exit 1; }
say "apt would install it on an empty Debian 12 with $(grep -c '^Inst ' "$work/apt-simulation.txt") packages"
say "checked in $(($(date +%s) - began)) s"
