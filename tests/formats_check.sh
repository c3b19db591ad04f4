#!/usr/bin/env bash
# The formats the game opens are written once, in the table of
# picture/readers/formats.cpp; the descriptions that name them themselves
# have to agree with it: each names every format, in the table's order, and
# no other. A format is named by its name ("JPEG") or by one of its
# extensions in capitals ("HEIC"), and "HEIC/HEIF" names one format. The
# MIME types of the AppStream file and the extensions of the how-to-play
# page's table are the table's too.
# Usage: formats_check.sh SOURCE_DIR LIST_FORMATS (the built mok_list_formats)
set -euo pipefail
# The patterns below are UTF-8, whatever the caller's locale.
export LC_ALL=C.UTF-8
src=$1 list=$2
status=0

mapfile -t names < <("$list" names)
mapfile -t extensions < <("$list" extensions)
table="${names[*]}"

fail() {
    echo "FAIL: $*" >&2
    status=1
}

# The table's name for a word that names a format, else the word itself.
nameOf() {
    local i
    for i in "${!names[@]}"; do
        if [ "$1" = "${names[$i]}" ] || [[ " ${extensions[$i]^^} " == *" $1 "* ]]; then
            echo "${names[$i]}"
            return
        fi
    done
    echo "$1"
}

# The formats a list names ("BMP, GIF (the first image) or JPEG",
# "BMP・GIF", "HEIC/HEIF and AVIF"), in the table's words, once each.
named() {
    local word last="" found=()
    while read -r word; do
        word=$(nameOf "$word")
        [ "$word" = "$last" ] || found+=("$word")
        last=$word
    done < <(sed -E 's/ \([^)]*\)//g; s/(,? (or|and) |, |、|・|\/)/\n/g' <<<"$1")
    echo "${found[*]}"
}

# The file with its white space squeezed, so a list may wrap.
flat() { tr -s '[:space:]' ' ' <"$src/$1"; }

# Every match of the Perl regex `pattern` in `file` must name the table's
# formats, and there must be one: a description that moved is looked for
# again here.
check() {
    local file=$1 pattern=$2 list found=0
    while IFS= read -r list; do
        found=1
        [ "$(named "$list")" = "$table" ] ||
            fail "$file names '$(named "$list")' in '$list'; the table has '$table'"
    done < <(flat "$file" | grep -oP "$pattern" || true)
    [ $found -eq 1 ] || fail "$file: no list of formats matches '$pattern'"
}

own='picture of your own \(\K[^)]*'
check assets/org.example.mok.metainfo.xml "$own"
check assets/org.example.mok.metainfo.xml '自分のピクチャ（\K[^）]*'
check assets/mok.6.in "$own"
check assets/mok.6.in 'offers the game for \K.*?(?= files)'
check debian/control "$own"
check app/commandline.cpp "$own"
check README.md "$own"
check README.md 'offered for \K.*?(?= files)'
check README.md '## Picture files \K.*?(?= are recognised)'
check assets/readme.htm '理由が表示されます。\K[^ ]*(?= のファイルか)'

mediatypes=$(flat assets/org.example.mok.metainfo.xml | grep -oP '<mediatype>\K[^<]*' | xargs)
[ "$mediatypes" = "$("$list" mime-types | xargs)" ] ||
    fail "the AppStream file provides '$mediatypes', the table '$("$list" mime-types | xargs)'"
# The how-to-play page's table of files: its extensions, one row a format.
rows=$(flat assets/readme.htm | grep -oP '<h2 id="files">.*?</table>' | grep -oP '\.\K[a-z0-9]+' | xargs)
[ "$rows" = "${extensions[*]}" ] ||
    fail "readme.htm's table of files has '$rows', the table '${extensions[*]}'"

[ $status -ne 0 ] || echo "formats_check: $table everywhere"
exit $status
