#!/usr/bin/env bash
# Builds binding_bench in a Windows build tree and runs it under Wine (Xvfb when there is no
# display, a prefix of its own with a virtual desktop, so that a test run in the same tree keeps
# its wineserver; one warm wineserver stopped at the end).
# Usage: bench/binding/run.sh [BUILD_DIR] [runs]    (default: build/windows, 9 runs)
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/common.sh"

dir=$(realpath -m "${1:-$ROOT/build/windows}")
runs=${2:-9}
[ -f "$dir/CMakeCache.txt" ] || cmake --preset windows -S "$ROOT" -B "$dir" >/dev/null
cmake --build "$dir" --target binding_bench

trap stop_services EXIT
ensure_display
init_wine_prefix "$dir/wineprefix-binding" desktop
start_wineserver
wine "$dir/bench/binding/binding_bench.exe" "$runs" </dev/null
