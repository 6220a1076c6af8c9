#!/usr/bin/env bash
# Builds Tamsrove.exe, floor_window.exe and window_bench in a Windows build tree and runs the
# window benchmark under Wine (Xvfb when there is no display, a prefix of its own with a virtual
# desktop, one warm wineserver stopped at the end).
# Usage: bench/window/run.sh [BUILD_DIR] [runs] [cpu seconds]   (default: build/windows, 7, 10)
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/common.sh"

run_windows_bench "${1:-$ROOT/build/windows}" window_bench wineprefix-bench \
    bench/window/window_bench.exe "${2:-7}" "${3:-10}"
