#!/usr/bin/env bash
# Each program's manual page documents exactly the long options its --help lists.
# usage: check-manpages.sh BIN_DIR MAN_DIR
set -euo pipefail
bin=$1 man=$2
status=0

# Long options in a text, one a line, sorted.
long_options() { grep -oE -- '--[a-z][a-z0-9-]*' | sort -u; }

for program in parallax3d parallax3d-vcam parallax3d-cameras; do
    help=$(QT_QPA_PLATFORM=offscreen "$bin/$program" --help | long_options)
    # The option tags of the OPTIONS section: the line after each .TP.
    page=$(sed 's/\\-/-/g' "$man/$program.1" |
        awk '/^\.SH/ { in_options = ($2 == "OPTIONS") } in_options && tag { print; tag = 0 }
             in_options && /^\.TP/ { tag = 1 }' | long_options)
    if [ -z "$help" ]; then
        echo "$program --help lists no options"
        status=1
    fi
    if [ "$help" != "$page" ]; then
        echo "$program: --help and $program.1 disagree (< only in --help, > only in the page):"
        diff <(echo "$help") <(echo "$page") | grep '^[<>]' || true
        status=1
    fi
done
exit $status
