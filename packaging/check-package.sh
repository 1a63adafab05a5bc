#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the package that packaging/build-package.sh made in BUILD_DIR: lintian (errors and
# warnings fail), the AppStream data, the desktop entry, the man pages (rendered without a warning, documenting
# exactly the options of `pictavo-cli --help`), the icons, and one version everywhere.
# Usage: check-package.sh [BUILD_DIR]
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build=${1:-$root/build/package}
failures=0
fail() { echo "check-package: $*" >&2; failures=$((failures + 1)); }

version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
deb="$build/pictavo_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || { echo "check-package: $deb is missing; run make package" >&2; exit 1; }
echo "check-package: $deb"

echo "== lintian"
lintian --fail-on error,warning --display-info --info "$deb" || fail "lintian reports errors or warnings"

unpacked="$(mktemp -d)"
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
dpkg-deb -e "$deb" "$unpacked/DEBIAN"
share="$unpacked/usr/share"

echo "== AppStream, desktop entry"
appstreamcli validate --no-net --explain "$share"/metainfo/*.metainfo.xml || fail "the AppStream data is not valid"
desktop-file-validate "$share/applications/pictavo.desktop" || fail "the desktop entry is not valid"

echo "== man pages"
for page in "$share"/man/man1/*.1.gz; do
  warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)"
  [ -z "$warnings" ] || fail "$(basename "$page") renders with warnings: $warnings"
done

# Every option the program lists, and no other, has an entry in the man page's OPTIONS section.
options_of() { grep -oE '(^|[[:space:],])--?[a-z][a-z-]*' | grep -oE -- '--?[a-z][a-z-]*' | sort -u; }
help_options="$("$unpacked/usr/bin/pictavo-cli" --help | options_of)"
man_options="$(LC_ALL=C MANWIDTH=200 man -l "$share/man/man1/pictavo-cli.1.gz" 2>/dev/null | col -b |
  sed -n '/^OPTIONS/,/^[A-Z]/p' | grep -E '^ {7}-' | options_of)"
if [ "$help_options" != "$man_options" ]; then
  fail "pictavo-cli(1) and pictavo-cli --help list different options:"
  diff <(echo "$help_options") <(echo "$man_options") | sed -n 's/^</  only in --help:/p; s/^>/  only in the man page:/p' >&2
fi

echo "== icons"
for size in 16 24 32 48 64 128 256; do
  icon="$share/icons/hicolor/${size}x${size}/apps/pictavo.png"
  file "$icon" 2>/dev/null | grep -q "PNG image data, $size x $size," || fail "no $size px icon at ${icon#"$unpacked"}"
done
[ -f "$share/icons/hicolor/scalable/apps/pictavo.svg" ] || fail "no scalable icon"

echo "== version $version everywhere"
expect() { [ "$2" = "$3" ] || fail "$1 says '$2', expected '$3'"; }
expect "pictavo-cli --version" "$("$unpacked/usr/bin/pictavo-cli" --version | head -n 1)" "pictavo-cli $version"
"$unpacked/usr/bin/pictavo-cli" --version | grep -q "GPL-3.0-or-later" || fail "pictavo-cli --version names no licence"
expect "the package" "$(sed -n 's/^Version: //p' "$unpacked/DEBIAN/control")" "$version"
expect "the changelog" "$(zcat "$unpacked/usr/share/doc/pictavo/changelog.gz" | sed -n '1s/^pictavo (\([^)]*\)).*/\1/p')" "$version"
expect "the AppStream release" "$(grep -o '<release version="[^"]*"' "$share"/metainfo/*.xml | head -n 1 | cut -d'"' -f2)" "$version"
for page in "$share"/man/man1/*.1.gz; do
  expect "$(basename "$page")" "$(zcat "$page" | sed -n 's/^\.TH .*"Pictavo \([^"]*\)".*/\1/p')" "$version"
done
grep -q "Version $version\." "$unpacked/usr/share/doc/pictavo/manual.html" || fail "the manual does not say version $version"

if [ "$failures" -gt 0 ]; then
  echo "check-package: $failures check(s) failed" >&2
  exit 1
fi
echo "check-package: $(basename "$deb") passed every check"
