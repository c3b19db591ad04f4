#!/usr/bin/env bash
# Holds the manual page against the program: every option and argument that
# `mok --help` lists is described under OPTIONS, nothing else is, and groff
# reads the page without a warning (the same check lintian makes).
# Usage: man_page_check.sh MOK_BINARY MAN_PAGE
set -euo pipefail
mok=$1 page=$2
fail() { echo "FAIL: $*" >&2; exit 1; }
command -v groff >/dev/null || { echo "SKIP: groff is missing (scripts/bootstrap installs it)"; exit 0; }

warnings=$(groff -man -ww -z "$page" 2>&1) || fail "groff could not read $page"
[ -z "$warnings" ] || fail "groff warns about $page: $warnings"

# --help: "  -h, --help     Displays ..." under Options:, "  picture   ..."
# under Arguments:. The names end where two spaces start the description.
help=$(env -i PATH=/usr/bin:/bin "$mok" --help)
from_help=$(printf '%s\n' "$help" | awk '
    /^[A-Za-z]/ { section = $0; next }
    section ~ /^(Options|Arguments):/ && /^  [^ ]/ {
        sub(/^  /, ""); sub(/  .*/, ""); n = split($0, names, /, /)
        for (i = 1; i <= n; i++) print names[i]
    }' | sort)
[ -n "$from_help" ] || fail "found no option in --help: $help"

# The page as man shows it: its OPTIONS items are the lines indented once.
from_page=$(groff -man -Tascii -P-cbou "$page" 2>/dev/null | awk '
    /^[A-Z]/ { section = $0; next }
    section == "OPTIONS" && /^       [^ ]/ {
        sub(/^ +/, ""); n = split($0, names, /, /)
        for (i = 1; i <= n; i++) print names[i]
    }' | sort)

missing=$(comm -23 <(printf '%s\n' "$from_help") <(printf '%s\n' "$from_page"))
extra=$(comm -13 <(printf '%s\n' "$from_help") <(printf '%s\n' "$from_page"))
[ -z "$missing" ] || fail "--help lists what the manual page does not describe: $missing"
[ -z "$extra" ] || fail "the manual page describes what --help does not list: $extra"
echo "man_page_check: the page describes" $from_help
