#!/usr/bin/env bash
# Builds binding_bench in a Windows build tree and runs it under Wine (Xvfb when there is no
# display, a prefix of its own with a virtual desktop, so that a test run in the same tree keeps
# its wineserver; one warm wineserver stopped at the end).
# Usage: bench/binding/run.sh [BUILD_DIR] [runs]    (default: build/windows, 9 runs)
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/common.sh"

run_windows_bench "${1:-$ROOT/build/windows}" binding_bench wineprefix-binding \
    bench/binding/binding_bench.exe "${2:-9}"
