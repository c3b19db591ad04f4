#!/usr/bin/env bash
# scripts/bootstrap prepares a developer's machine, debian/control a package
# build; a library added to one and not the other builds here and fails
# there. So every library (-dev package) and build tool that bootstrap
# installs is in Build-Depends, and everything in Build-Depends is one that
# bootstrap installs (debhelper aside, which `bootstrap --deb` adds).
# Usage: build_depends_check.sh SOURCE_DIR
set -euo pipefail
src=$1

# Build-Depends, one name a line: versions, architectures, profiles and
# alternatives taken apart.
control=$(awk '
    /^[^ \t#]/ { field = ($1 == "Build-Depends:") }
    field && !/^#/ { sub(/^Build-Depends:/, ""); print }' "$src/debian/control" |
    tr ',|' '\n' | sed 's/([^)]*)//g; s/\[[^]]*\]//g; s/<[^>]*>//g; s/[[:space:]]//g' |
    grep -v '^$' | sort -u)
# The names in bootstrap's packages=( ... ) list, comments left out, and
# the libheif plug-ins it adds where the release has them.
bootstrap=$({
    sed -n '/^packages=(/,/^)/p' "$src/scripts/bootstrap" | sed '1d; $d; s/#.*//'
    sed -n 's/^plugins=(\(.*\))$/\1/p' "$src/scripts/bootstrap"
} | tr -s ' \t' '\n' | grep -v '^$' | sort -u)

# libFuzzer's runtime: only a clang fuzzing build (-DMOK_FUZZ=ON) links it.
developers_only='libclang-rt-dev'

status=0
for name in $(grep -E -e '-dev$' -e '^(cmake|pkg-config)$' <<<"$bootstrap" | grep -v -x -F "$developers_only"); do
    grep -qx -e "$name" <<<"$control" || {
        echo "FAIL: scripts/bootstrap installs $name, debian/control's Build-Depends lacks it" >&2
        status=1
    }
done
for name in $(grep -v -x -e 'debhelper-compat' <<<"$control"); do
    grep -qx -e "$name" <<<"$bootstrap" || {
        echo "FAIL: debian/control builds with $name, scripts/bootstrap does not install it" >&2
        status=1
    }
done
[ $status -ne 0 ] || echo "build_depends_check: $(wc -l <<<"$control") Build-Depends, all in scripts/bootstrap"
exit $status
