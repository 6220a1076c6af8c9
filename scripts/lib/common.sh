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
    g++-mingw-w64-i686-posix wine wine64 fonts-wine xvfb xauth imagemagick nsis wixl msitools)
NATIVE_PACKAGES=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev)
LINT_PACKAGES=(clang-format clang-tidy python3)

# Configures (once) and builds one preset.
build_preset() {
    local preset=$1
    log "building: $preset"
    [ -f "$ROOT/build/$preset/CMakeCache.txt" ] || cmake --preset "$preset" -S "$ROOT" >/dev/null
    cmake --build "$ROOT/build/$preset" --parallel "$(nproc)"
}

# Starts Xvfb on a free display when there is no display; sets DISPLAY. The screen is large
# enough for the virtual desktop of a 192-DPI prefix (2048x1536).
XVFB_PID=""
ensure_display() {
    [ -n "${DISPLAY:-}" ] && return 0
    local n=90
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 2560x1600x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 100); do
        [ -e "/tmp/.X11-unix/X$n" ] && break
        sleep 0.05
    done
    export DISPLAY=":$n"
    log "Xvfb on $DISPLAY"
}

# Wine's own Tahoma (the face its message and caption fonts ask for, as on Windows) and Marlett
# (the glyphs of the title bar's buttons), from Debian's fonts-wine. Debian's Wine 8 does not
# load /usr/share/wine/fonts by itself: without these files it draws every text in DejaVu Sans
# and the caption buttons as the letters "0 1 r". It does load every font in the prefix's
# C:\windows\Fonts, so they are copied there (a copy, not a link: the prefix keeps working
# whatever happens to the package). Run for every prefix, new or old, and cheap when current.
WINE_FONT_FILES=(tahoma.ttf tahomabd.ttf marlett.ttf)
install_wine_fonts() {
    local prefix=$1 fonts=/usr/share/wine/fonts file
    mkdir -p "$prefix/drive_c/windows/Fonts"
    for file in "${WINE_FONT_FILES[@]}"; do
        [ -f "$fonts/$file" ] || { log "missing $fonts/$file: install fonts-wine"; return 1; }
        cmp -s "$fonts/$file" "$prefix/drive_c/windows/Fonts/$file" ||
            cp "$fonts/$file" "$prefix/drive_c/windows/Fonts/$file"
    done
}

# Little-endian hex of a 32-bit value, as REG_BINARY data spells it.
le32_hex() { printf '%02x%02x%02x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)); }

# A LOGFONTW (92 bytes) as hex: Tahoma, normal weight, at POINTS points. Wine reads the
# registry's fonts at 96 DPI and scales them to the DPI asked for, so the height is the
# character height at 96 DPI: -MulDiv(POINTS, 96, 72).
message_font_hex() {
    local height=$(((-$1 * 96 * 2 - 72) / 144)) hex="" c
    hex+=$(le32_hex "$height")$(le32_hex 0)$(le32_hex 0)$(le32_hex 0)$(le32_hex 400)
    hex+="00000001000000""00" # italic, underline, strike-out, charset 1, precisions, quality, pitch
    for c in T a h o m a; do hex+=$(printf '%02x00' "'$c"); done
    while [ ${#hex} -lt 184 ]; do hex+=00; done
    printf '%s' "${hex:0:184}"
}

# Creates a Wine prefix, or brings an existing one to the settings asked for. With "desktop",
# Wine draws into a virtual desktop (1024x768, larger at a higher DPI, as a screen with display
# scaling is): without a window manager Wine waits about 2 s whenever a window hides, and the
# virtual desktop removes that wait.
# A third argument sets the screen's DPI (LogPixels), as Windows' display scaling would; a
# fourth the message font's size in points (Tahoma), as the user's text-size setting would.
init_wine_prefix() {
    local prefix desktop=${2:-} dpi=${3:-} font_points=${4:-} settings
    prefix=$(realpath -m "$1")
    export WINEPREFIX=$prefix
    settings="desktop=$desktop dpi=$dpi message-font=$font_points"
    if [ ! -f "$prefix/.tamsrove-ready" ]; then
        log "creating Wine prefix $prefix"
        mkdir -p "$prefix"
        wineboot -i >/dev/null 2>&1 || true
    fi
    if [ "$(cat "$prefix/.tamsrove-ready" 2>/dev/null)" != "$settings" ]; then
        apply_prefix_settings "$desktop" "$dpi" "$font_points"
        wineserver -w
        printf '%s' "$settings" >"$prefix/.tamsrove-ready"
    fi
    install_wine_fonts "$prefix"
}

# The registry settings of init_wine_prefix, in WINEPREFIX.
apply_prefix_settings() {
    local desktop=$1 dpi=$2 font_points=$3 scale=${2:-96}
    if [ "$desktop" = desktop ]; then
        [ "$scale" -lt 96 ] && scale=96
        wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
        wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default \
            /d "$((1024 * scale / 96))x$((768 * scale / 96))" /f >/dev/null 2>&1
    fi
    if [ -n "$dpi" ]; then
        wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
    fi
    if [ -n "$font_points" ]; then
        wine reg add 'HKCU\Control Panel\Desktop\WindowMetrics' /v MessageFont /t REG_BINARY \
            /d "$(message_font_hex "$font_points")" /f >/dev/null 2>&1
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
