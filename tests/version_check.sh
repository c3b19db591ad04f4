#!/usr/bin/env bash
# The project has one version, project(VERSION) in CMakeLists.txt; the files
# that must state it themselves have to agree with it: the newest entry of
# debian/changelog (without its Debian revision) and the newest release in
# the AppStream metainfo.
# Usage: version_check.sh SOURCE_DIR PROJECT_VERSION
set -euo pipefail
src=$1 version=$2
status=0

# "mok (1.57-1) unstable; urgency=medium" -> 1.57 (an epoch "1:" dropped too)
changelog=$(sed -n '1s/^[^ ]* (\([0-9]*:\)\{0,1\}\([^)]*\)-[^-)]*).*/\2/p' "$src/debian/changelog")
# The first <release version="..."> is the newest.
metainfo=$(grep -o -m1 '<release [^>]*version="[^"]*"' "$src/assets/org.example.mok.metainfo.xml" |
    sed 's/.*version="\([^"]*\)"/\1/')

while IFS='|' read -r place found; do
    if [ "$found" != "$version" ]; then
        echo "FAIL: $place says '${found}', CMakeLists.txt says $version" >&2
        status=1
    fi
done <<EOF
debian/changelog|$changelog
assets/org.example.mok.metainfo.xml|$metainfo
EOF
[ $status -ne 0 ] || echo "version_check: $version everywhere"
exit $status
