#!/usr/bin/env bash
# Builds Tamsrove.exe, floor_window.exe and window_bench in a Windows build tree and runs the
# window benchmark under Wine (Xvfb when there is no display, a prefix of its own with a virtual
# desktop, one warm wineserver stopped at the end).
# Usage: bench/window/run.sh [BUILD_DIR] [runs] [cpu seconds]   (default: build/windows, 7, 10)
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/common.sh"

dir=$(realpath -m "${1:-$ROOT/build/windows}")
runs=${2:-7}
seconds=${3:-10}
[ -f "$dir/CMakeCache.txt" ] || cmake --preset windows -S "$ROOT" -B "$dir" >/dev/null
cmake --build "$dir" --target window_bench

trap stop_services EXIT
ensure_display
init_wine_prefix "$dir/wineprefix-bench" desktop
start_wineserver
wine "$dir/bench/window/window_bench.exe" "$runs" "$seconds" </dev/null
