#!/usr/bin/env bash
# The README's code, built as its reader would build it. From the section for C++ developers, the
# line store as another project takes it: the cpp block is the program, the first cmake block the
# project (find_package of the installed package), the second and third what replaces its
# find_package line (add_subdirectory, FetchContent), the text block what the program prints.
# Each way is built natively and with MinGW-w64 and run (the MinGW programs under Wine); the
# installed package comes from build/native and build/windows (cmake --install --component
# linestore). From the section on the NSIS kit, its use, compiled with makensis.
# Usage: tests/consumer/consumer_test.sh
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/common.sh"

work=$(mktemp -d "$ROOT/build/consumer-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
failed=0
pass() { log "PASS: $*"; }
fail() {
    log "FAIL: $*"
    failed=1
}

# blocks HEADING LANGUAGES: each code block in one of LANGUAGES under the README's heading that
# starts with HEADING goes to $work/LANGUAGE.N, N counting from 1.
blocks() {
    awk -v dir="$work" -v heading="$1" -v languages=" $2 " '
        /^```/ {
            fenced = !fenced
            language = substr($0, 4)
            file = fenced && inside && index(languages, " " language " ") ? dir "/" language "." (++count[language]) : ""
            next
        }
        !fenced && /^#+ / { inside = index($0, heading) == 1 }
        file != "" { print > file }
    ' "$ROOT/README.md"
}
blocks "## For C++ developers" "cpp cmake text"
blocks "### NSIS: the kit" "nsis"
for block in cpp.1 cmake.1 cmake.2 cmake.3 text.1 nsis.1; do
    [ -f "$work/$block" ] || { fail "README: no $block block where the test looks for it"; exit 1; }
done
grep -q '^find_package(' "$work/cmake.1" || { fail "README: the first cmake block has no find_package line"; exit 1; }

# build_and_run NAME WAY [cmake arguments]: the project with the find_package line replaced by
# block cmake.WAY, configured, built and run in a folder of its own.
build_and_run() {
    local name=$1 way=$2 project="$work/$1" started=$SECONDS
    shift 2
    mkdir -p "$project/run"
    cp "$work/cpp.1" "$project/main.cpp"
    awk -v way="$work/cmake.$way" -v replace="$((way != 1))" '
        replace && /^find_package\(/ { while ((getline l < way) > 0) print l; next } { print }
    ' "$work/cmake.1" >"$project/CMakeLists.txt"
    ln -s "$ROOT" "$project/tamsrove"
    local run=("$project/build/lines_demo")
    if [[ $name == mingw-* ]]; then
        set -- "$@" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-mingw64.cmake" -DCMAKE_EXE_LINKER_FLAGS=-static
        run=("$ROOT/scripts/wine-exec" "$project/build/lines_demo.exe")
    fi
    if ! cmake -S "$project" -B "$project/build" -G Ninja "$@" >"$project/log" 2>&1 ||
        ! cmake --build "$project/build" -j 2 >>"$project/log" 2>&1; then
        fail "$name: does not build"
        tail -n 30 "$project/log" >&2
        return
    fi
    if (cd "$project/run" && "${run[@]}") 2>>"$project/log" | tr -d '\r' >"$project/out" &&
        cmp -s "$project/out" "$work/text.1"; then
        pass "$name: builds, runs and prints what the README shows ($((SECONDS - started)) s)"
    else
        fail "$name: prints other than the README shows"
        diff "$work/text.1" "$project/out" >&2 || tail -n 5 "$project/log" >&2
    fi
}

# The NSIS kit's use as the README shows it, compiled by makensis (a warning fails too).
sed "s|path\\\\to\\\\installer\\\\nsis|$ROOT/installer/nsis|" "$work/nsis.1" >"$work/kit.nsi"
cp "$ROOT/build/windows/src/Tamsrove.exe" "$work/"
if makensis -V2 -WX "-XOutFile $work/kit.exe" "$work/kit.nsi" >"$work/makensis.log" 2>&1; then
    pass "the README's NSIS kit use compiles"
else
    fail "the README's NSIS kit use does not compile"
    cat "$work/makensis.log" >&2
fi

# The Windows build's shared test prefix, made as its tests make it when missing.
ensure_display
init_wine_prefix "$ROOT/build/windows/wineprefix" desktop
start_wineserver
trap 'stop_services; rm -rf "$work"' EXIT
for toolchain in native mingw; do
    tree=$ROOT/build/native
    [ "$toolchain" = mingw ] && tree=$ROOT/build/windows
    prefix="$work/$toolchain-prefix"
    if ! cmake --build "$tree" --target tamsrove_linestore -j 2 >/dev/null ||
        ! cmake --install "$tree" --component linestore --prefix "$prefix" >/dev/null; then
        fail "$toolchain: the package does not install from $tree"
        continue
    fi
    # The MinGW toolchain file searches packages only under its own root, as the README says.
    if [ "$toolchain" = mingw ]; then
        build_and_run "$toolchain-installed" 1 -DTamsrove_DIR="$prefix/lib/cmake/Tamsrove"
    else
        build_and_run "$toolchain-installed" 1 -DCMAKE_PREFIX_PATH="$prefix"
    fi
    build_and_run "$toolchain-add_subdirectory" 2
    build_and_run "$toolchain-fetchcontent" 3 -DFETCHCONTENT_SOURCE_DIR_TAMSROVE="$ROOT"
done
exit "$failed"
