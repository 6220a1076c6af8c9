# Shared helpers for scripts/run and scripts/test: packages, builds, a display and Wine.
# shellcheck shell=bash

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export WINEDEBUG=-all
# No Mono or Gecko download prompts: the program needs neither.
export WINEDLLOVERRIDES="mscoree,mshtml="

log() { printf '==> %s\n' "$*" >&2; }

# Installs whichever of the named Debian packages are missing.
ensure_packages() {
    local missing=()
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    log "installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

WINDOWS_PACKAGES=(cmake ninja-build g++-mingw-w64-x86-64-posix mingw-w64-tools googletest
    wine wine64 xvfb xauth imagemagick)
NATIVE_PACKAGES=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev)
LINT_PACKAGES=(clang-format clang-tidy python3)

# Configures (once) and builds one preset.
build_preset() {
    local preset=$1
    log "building: $preset"
    [ -f "$ROOT/build/$preset/CMakeCache.txt" ] || cmake --preset "$preset" -S "$ROOT" >/dev/null
    cmake --build "$ROOT/build/$preset" --parallel "$(nproc)"
}

# Starts Xvfb on a free display when there is no display; sets DISPLAY.
XVFB_PID=""
ensure_display() {
    [ -n "${DISPLAY:-}" ] && return 0
    local n=90
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 100); do
        [ -e "/tmp/.X11-unix/X$n" ] && break
        sleep 0.05
    done
    export DISPLAY=":$n"
    log "Xvfb on $DISPLAY"
}

# Creates a Wine prefix once. With "desktop", Wine draws into a 1024x768 virtual desktop:
# without a window manager Wine waits about 2 s whenever a window hides, and the virtual
# desktop removes that wait.
# A third argument sets the screen's DPI (LogPixels), as Windows' display scaling would.
init_wine_prefix() {
    local prefix desktop=${2:-} dpi=${3:-}
    prefix=$(realpath -m "$1")
    export WINEPREFIX=$prefix
    if [ ! -f "$prefix/.tamsrove-ready" ]; then
        log "creating Wine prefix $prefix"
        mkdir -p "$prefix"
        wineboot -i >/dev/null 2>&1 || true
        if [ "$desktop" = desktop ]; then
            wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
            wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
        fi
        if [ -n "$dpi" ]; then
            wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
        fi
        wineserver -w
        touch "$prefix/.tamsrove-ready"
    fi
}

# One persistent wineserver for the run: a Wine start then takes milliseconds, not seconds.
# Wine's services (services.exe, winedevice.exe...) are started here, with their output sent to
# /dev/null: started by the first test instead, they would inherit ctest's pipes and hold them open.
start_wineserver() {
    STARTED_PREFIXES+=("$WINEPREFIX")
    wineserver -p >/dev/null 2>&1 </dev/null
    wine wineboot >/dev/null 2>&1 </dev/null || true
}

STARTED_PREFIXES=()
stop_services() {
    for prefix in "${STARTED_PREFIXES[@]}"; do
        WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
    done
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
    fi
}

# Builds one benchmark target in a Windows build tree and runs its program under Wine, in a
# prefix of its own (virtual desktop, one warm wineserver, stopped at the end).
# Usage: run_windows_bench BUILD_DIR TARGET PREFIX_NAME EXE_RELATIVE_PATH [program arguments...]
run_windows_bench() {
    local dir target=$2 prefix=$3 exe=$4
    dir=$(realpath -m "$1")
    shift 4
    [ -f "$dir/CMakeCache.txt" ] || cmake --preset windows -S "$ROOT" -B "$dir" >/dev/null
    cmake --build "$dir" --target "$target"
    trap stop_services EXIT
    ensure_display
    init_wine_prefix "$dir/$prefix" desktop
    start_wineserver
    wine "$dir/$exe" "$@" </dev/null
}
