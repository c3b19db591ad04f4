#!/usr/bin/env bash
# Installs the build into a fresh folder and checks what a desktop finds
# there: the program, its manual page, its menu entry and software-centre
# description (both validated by the freedesktop tools), and the icon in
# every hicolor size.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "FAIL: $*" >&2; exit 1; }
[ -x "$prefix/bin/mok" ] || fail "bin/mok is missing"
# The game starts its decoding helper from here, relative to itself.
[ -x "$prefix/libexec/mok/mok-decode" ] || fail "libexec/mok/mok-decode is missing"
desktop="$prefix/share/applications/org.example.mok.desktop"
metainfo="$prefix/share/metainfo/org.example.mok.metainfo.xml"
[ -f "$desktop" ] || fail "the desktop entry is missing"
[ -f "$metainfo" ] || fail "the metainfo file is missing"
[ -f "$prefix/share/mok/readme.htm" ] || fail "readme.htm is missing from share/mok"
[ -f "$prefix/share/man/man6/mok.6" ] || fail "the manual page is missing from share/man/man6"
desktop-file-validate "$desktop" || fail "desktop-file-validate refused the entry"
appstreamcli validate --no-net --pedantic --strict "$metainfo" >/dev/null ||
    fail "appstreamcli refused the metainfo: $(appstreamcli validate --no-net "$metainfo")"
grep -qx 'Exec=mok %f' "$desktop" || fail "the entry does not hand the picture over"
for size in 16 32 48 64 128 256; do
    icon="$prefix/share/icons/hicolor/${size}x${size}/apps/org.example.mok.png"
    [ -f "$icon" ] || fail "no ${size}px icon"
    [ "$(identify -format '%wx%h' "$icon")" = "${size}x${size}" ] || fail "the ${size}px icon has another size"
done
# The installed program runs from its own place, without the build tree.
version=$(env -i PATH=/usr/bin:/bin "$prefix/bin/mok" --version)
[ "$version" = "mok $2" ] || fail "installed mok --version said '$version'"
echo "install_check: everything in place"
