#!/usr/bin/env bash
# Builds Tamsrove.exe and watch_bench in a Windows build tree and runs the watch benchmark under
# Wine (Xvfb when there is no display, a prefix of its own with a virtual desktop, since the
# benchmark owns HKCU\Software\Marrowfen there; one warm wineserver stopped at the end).
# Usage: bench/watch/run.sh [BUILD_DIR] [runs] [calls]   (default: build/windows, 20, 2000)
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/common.sh"

run_windows_bench "${1:-$ROOT/build/windows}" watch_bench wineprefix-watch-bench \
    bench/watch/watch_bench.exe "${2:-20}" "${3:-2000}"
