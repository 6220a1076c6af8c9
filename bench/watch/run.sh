#!/usr/bin/env bash
# Builds Tamsrove.exe and watch_bench in a Windows build tree and runs the watch benchmark under
# Wine (Xvfb when there is no display, a prefix of its own with a virtual desktop, since the
# benchmark owns HKCU\Software\Marrowfen there; one warm wineserver stopped at the end).
# Usage: bench/watch/run.sh [BUILD_DIR] [runs] [calls]   (default: build/windows, 20, 2000)
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/common.sh"

dir=$(realpath -m "${1:-$ROOT/build/windows}")
runs=${2:-20}
calls=${3:-2000}
[ -f "$dir/CMakeCache.txt" ] || cmake --preset windows -S "$ROOT" -B "$dir" >/dev/null
cmake --build "$dir" --target watch_bench

trap stop_services EXIT
ensure_display
init_wine_prefix "$dir/wineprefix-watch-bench" desktop
start_wineserver
wine "$dir/bench/watch/watch_bench.exe" "$runs" "$calls" </dev/null
