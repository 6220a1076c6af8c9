#!/bin/sh
# Fails when a binary holds code of the other product: every FILE must name (nm, demangled,
# defined or referenced) a symbol that OWN's patterns match, so that the patterns and nm's output
# are understood, and none that OTHER's patterns match.
# Usage: check_symbols.sh NM OWN OTHER FILE...
set -eu
nm=$1
own=$2
other=$3
shift 3
# Fresh private files: a predictable name in a shared /tmp could be a link planted by another user.
symbols=$(mktemp)
hits=$(mktemp)
trap 'rm -f "$symbols" "$hits"' EXIT
status=0
for file in "$@"; do
    "$nm" -C "$file" >"$symbols" 2>/dev/null || { echo "nm failed on $file"; exit 1; }
    if ! grep -Ev '^(#|$)' "$own" | grep -Eqf - "$symbols"; then
        echo "$file: no symbol of its own product (stripped, or the patterns in $own are stale)"
        status=1
    fi
    if grep -Ev '^(#|$)' "$other" | grep -Ef - "$symbols" >"$hits"; then
        echo "$file holds $(wc -l <"$hits") symbols of the other product ($other), among them:"
        head -n 10 "$hits"
        status=1
    fi
done
[ "$status" -eq 0 ] && echo "$# files hold no symbol of the other product"
exit "$status"
