#!/usr/bin/env bash
# Keeps the floors of transfer/: every include of a transfer source names the
# floor it reaches and points down or stays on its own floor. From the top:
# the face (transfer/ itself), site_check/, then ftp/ and sftp/ side by side
# (neither includes the other), engine/, text/. Exits 1 naming each include
# that runs back up, or that names a transfer header without its floor.
# With a folder as argument, checks that tree instead.
set -uo pipefail
if [ $# -eq 0 ]; then
    # First, that a breach is caught: the engine reaching up into FTP, and
    # text naming an engine header without its floor.
    breach=$(mktemp -d)
    trap 'rm -rf "$breach"' EXIT
    mkdir -p "$breach/engine" "$breach/ftp" "$breach/text"
    echo '#include "ftp/ftp_operation.h"' >"$breach/engine/engine.cpp"
    echo '#include "report.h"' >"$breach/text/words.cpp"
    touch "$breach/ftp/ftp_operation.h" "$breach/text/report.h" "$breach/engine/report.h"
    caught=$("$0" "$breach")
    if [ $? -ne 1 ] || [ "$(grep -c . <<<"$caught")" -ne 3 ]; then
        echo "A breach of the floors went unnoticed:"
        echo "$caught"
        exit 1
    fi
fi
transfer=${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../transfer" && pwd)}
cd "$transfer" || exit 2

floor() {
    case "$1" in
    site_check/*) echo 1 ;;
    ftp/* | sftp/*) echo 2 ;;
    engine/*) echo 3 ;;
    text/*) echo 4 ;;
    */*) echo unknown ;;
    *) echo 0 ;;
    esac
}

failures=0
while IFS= read -r source; do
    from=$(floor "$source")
    while IFS= read -r header; do
        if [ ! -f "$header" ]; then
            # A transfer header named without its floor still resolves
            # beside the source; say where it lives instead.
            if [ -f "$(dirname "$source")/$header" ] && [ "$(dirname "$source")" != . ]; then
                echo "$source includes \"$header\" without its floor"
                failures=$((failures + 1))
            fi
            continue
        fi
        to=$(floor "$header")
        if [ "$to" = unknown ] || [ "$from" = unknown ]; then
            echo "$source includes $header: a folder of no known floor"
            failures=$((failures + 1))
        elif [ "$to" -lt "$from" ] ||
            { [ "$to" = 2 ] && [ "$from" = 2 ] && [ "${source%%/*}" != "${header%%/*}" ]; }; then
            echo "$source includes $header, a floor above it"
            failures=$((failures + 1))
        fi
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$source")
done < <(find . -name '*.h' -o -name '*.cpp' | sed 's|^\./||' | sort)

if [ "$failures" -gt 0 ]; then
    echo "$failures include(s) break the floors of $transfer"
    exit 1
fi
echo "The floors of $transfer hold"
