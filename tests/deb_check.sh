#!/usr/bin/env bash
# Builds the Debian package as `make deb` does and checks what apt would get:
# lintian says no error and no warning, the package holds exactly the game's
# files under /usr, no path of the build tree is left in any of them, and the
# packaged program is of the package's version.
# Skipped where dpkg-buildpackage is missing (dpkg-dev is not installed).
# DEB_BUILD_OPTIONS=nocheck builds it without building and running the tests.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if ! command -v dpkg-buildpackage >/dev/null; then
    echo "deb_check: SKIPPED, dpkg-buildpackage is missing (Debian's dpkg-dev)"
    exit 0
fi
cd "$root"
scripts/build-deb

fail() { echo "FAIL: $*" >&2; exit 1; }
version=$(dpkg-parsechangelog -S Version)
deb=dist/mok_${version}_$(dpkg-architecture -q DEB_HOST_ARCH).deb
[ -f "$deb" ] || fail "make deb left no $deb"

# Overrides, each with its reason, are in debian/mok.lintian-overrides.
lintian --fail-on error,warning "$deb" || fail "lintian found errors or warnings in $deb"

# The files, as `make install` lays them out under /usr, and Debian's own.
expected=$(sort <<'EOF'
/usr/bin/mok
/usr/libexec/mok/mok-decode
/usr/share/applications/org.example.mok.desktop
/usr/share/doc/mok/changelog.Debian.gz
/usr/share/doc/mok/copyright
/usr/share/icons/hicolor/128x128/apps/org.example.mok.png
/usr/share/icons/hicolor/16x16/apps/org.example.mok.png
/usr/share/icons/hicolor/256x256/apps/org.example.mok.png
/usr/share/icons/hicolor/32x32/apps/org.example.mok.png
/usr/share/icons/hicolor/48x48/apps/org.example.mok.png
/usr/share/icons/hicolor/64x64/apps/org.example.mok.png
/usr/share/lintian/overrides/mok
/usr/share/man/man6/mok.6.gz
/usr/share/metainfo/org.example.mok.metainfo.xml
/usr/share/mok/readme.htm
EOF
)
packed=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | sed -n 's|^\./|/|; /[^/]$/p' | sort)
unexpected=$(comm -13 <(printf '%s\n' "$expected") <(printf '%s\n' "$packed"))
absent=$(comm -23 <(printf '%s\n' "$expected") <(printf '%s\n' "$packed"))
[ -z "$unexpected" ] || fail "the package holds what it should not: $unexpected"
[ -z "$absent" ] || fail "the package lacks: $absent"

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
# The build ran in build-deb/mok; neither it nor the working tree may show.
leaked=$(grep -rlF -e "$root" "$unpacked" || true)
[ -z "$leaked" ] || fail "a build path is left in: $leaked"

answer=$(env -i PATH=/usr/bin:/bin "$unpacked/usr/bin/mok" --version)
upstream=${version#*:}
[ "$answer" = "mok ${upstream%-*}" ] || fail "the packaged mok --version says '$answer' in $version"
depends=$(dpkg-deb -f "$deb" Depends)
for runtime in fonts-ipafont-gothic qt6-translations-l10n; do
    [[ ", $depends," == *", $runtime,"* ]] || fail "Depends lacks $runtime: $depends"
done
echo "deb_check: $deb is lintian-clean and holds the game's $(wc -l <<<"$packed") files"
