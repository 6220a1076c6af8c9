#!/usr/bin/env bash
# Builds binding_bench in a Windows build tree and runs it under Wine (Xvfb when there is no
# display, the tree's own prefix, one wineserver stopped at the end).
# Usage: bench/binding/run.sh [BUILD_DIR] [runs]    (default: build/windows, 9 runs)
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/common.sh"

dir=$(realpath -m "${1:-$ROOT/build/windows}")
runs=${2:-9}
[ -f "$dir/CMakeCache.txt" ] || cmake --preset windows -S "$ROOT" -B "$dir" >/dev/null
cmake --build "$dir" --target binding_bench

trap stop_services EXIT
ensure_display
init_wine_prefix "$dir/wineprefix" desktop
start_wineserver
wine "$dir/bench/binding/binding_bench.exe" "$runs" </dev/null
