#!/usr/bin/env bash
# Where the stripped Tamsrove.exe's bytes go, and how much it adds to an LZMA-compressed NSIS
# installer (the example installer built around it, against the same built around a tiny
# stand-in exe).
# Usage: bench/size/run.sh BUILD_DIR   (a `windows` preset build with Tamsrove built)
set -euo pipefail
build=$(realpath "${1:?usage: bench/size/run.sh BUILD_DIR}")
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

x86_64-w64-mingw32-strip -o "$work/Tamsrove.exe" "$build/src/Tamsrove.exe"
echo "stripped Tamsrove.exe: $(stat -c %s "$work/Tamsrove.exe") bytes"
x86_64-w64-mingw32-size -A "$work/Tamsrove.exe" | awk 'NR > 2 && $2 > 0 { print "  " $1, $2 }'
echo "xz -9e: $(xz -9e -c "$work/Tamsrove.exe" | wc -c) bytes"

# The program's own link again, with a map of what each object brings.
link=$(cd "$build" && ninja -t commands src/Tamsrove.exe | tail -1)
link=${link#: && }
link=${link% && :}
(cd "$build" && eval "${link/-o src\/Tamsrove.exe/-o $work/mapped.exe -Wl,-Map,$work/Tamsrove.map}")
python3 "$root/bench/size/map_summary.py" "$work/Tamsrove.map" 20

# The installer's growth: the example with the program, less the example with a stand-in.
printf 'int start(void) { return 0; }\n' >"$work/tiny.c"
x86_64-w64-mingw32-gcc -nostdlib -e start -s -o "$work/tiny.exe" "$work/tiny.c"
for exe in tiny Tamsrove; do
    makensis -V1 "-XSetCompressor /SOLID lzma" "-DTAMSROVE_EXE=$work/$exe.exe" \
        "-DOUTFILE=$work/installer-$exe.exe" "$root/installer/nsis/example.nsi" >/dev/null
done
with=$(stat -c %s "$work/installer-Tamsrove.exe")
without=$(stat -c %s "$work/installer-tiny.exe")
echo "NSIS example, SetCompressor /SOLID lzma: $with bytes with Tamsrove.exe," \
    "$without with a $(stat -c %s "$work/tiny.exe")-byte stand-in: grows by $((with - without))"
