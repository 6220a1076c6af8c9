# Shared helpers for scripts/run and scripts/test: packages, builds, a display and Wine.
# shellcheck shell=bash

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export WINEDEBUG=-all
# No Mono or Gecko download prompts: the program needs neither.
export WINEDLLOVERRIDES="mscoree,mshtml="

log() { printf '==> %s\n' "$*" >&2; }

# Debian's wine and wineboot start Wine's 32-bit loader whenever wine32 is installed. A kernel
# without IA-32 emulation (some virtual machines) cannot run it ("Exec format error"): there,
# and where wine32 is missing, the 64-bit loader runs everything, and 32-bit Windows programs
# cannot run at all. tests/installer asks the same question to leave their tests out.
WINE_LOADER_32=/usr/lib/wine/wine
WINE_LOADER_64=/usr/lib/wine/wine64
wine32_runs() { "$WINE_LOADER_32" --version >/dev/null 2>&1; }
WINE_COMMAND=(wine)
if [ -x "$WINE_LOADER_64" ] && ! wine32_runs; then
    export WINELOADER=$WINE_LOADER_64
    WINE_COMMAND=("$WINE_LOADER_64")
    wine() { "$WINE_LOADER_64" "$@"; }
    wineboot() { "$WINE_LOADER_64" wineboot.exe "$@"; }
fi

# Installs whichever of the named Debian packages are missing. A name with an architecture
# (wine32:i386) is a package of that foreign architecture: dpkg is told about the architecture
# first, so that apt-get update fetches its lists.
ensure_packages() {
    local missing=() arch
    for pkg in "$@"; do
        # Lists overlap (RELEASE_PACKAGES holds WINDOWS_PACKAGES): ask for each package once.
        [[ " ${missing[*]} " == *" $pkg "* ]] && continue
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    log "installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    for pkg in "${missing[@]}"; do
        [[ $pkg == *:* ]] || continue
        arch=${pkg##*:}
        [ "$arch" = "$(dpkg --print-architecture)" ] && continue
        dpkg --print-foreign-architectures | grep -qx "$arch" || $sudo dpkg --add-architecture "$arch"
    done
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# Installs the named Debian packages when the command is missing. For tools that other sources
# package too (Node.js from nodesource ships npm inside its nodejs package and conflicts with
# Debian's npm), so that a working command already there is left alone.
ensure_command() {
    local command=$1
    shift
    command -v "$command" >/dev/null 2>&1 || ensure_packages "$@"
}

# wine32:i386 lets 32-bit Windows programs run (NSIS's default x86-unicode installers, Inno
# Setup's compiler and setups); apt upgrades the matching amd64 Wine packages with it.
WINDOWS_PACKAGES=(cmake ninja-build g++-mingw-w64-x86-64-posix mingw-w64-tools googletest
    g++-mingw-w64-i686-posix wine wine64 wine32:i386 fonts-wine xvfb xauth imagemagick nsis wixl
    msitools)
NATIVE_PACKAGES=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev)
LINT_PACKAGES=(clang-format clang-tidy python3)
# scripts/release: the Windows build, and what packs, signs and checks the release.
RELEASE_PACKAGES=("${WINDOWS_PACKAGES[@]}" python3 osslsigncode openssl unzip)

# Inno Setup's compiler, ISCC.exe (a 32-bit Windows program), from the npm package innosetup:
# fetched with npm pack and unpacked into build/cache, never installed globally. The Windows
# build finds it there (tests/installer/inno).
INNO_SETUP_VERSION=6.4.1
INNO_SETUP_DIR="$ROOT/build/cache/innosetup-$INNO_SETUP_VERSION"
ensure_inno_setup() {
    [ -f "$INNO_SETUP_DIR/bin/ISCC.exe" ] && return 0
    ensure_command npm nodejs npm
    log "fetching Inno Setup $INNO_SETUP_VERSION (npm package innosetup)"
    local work
    mkdir -p "$ROOT/build/cache"
    work=$(mktemp -d "$ROOT/build/cache/innosetup.XXXXXX")
    (cd "$work" && npm pack --silent "innosetup@$INNO_SETUP_VERSION" >/dev/null) &&
        tar -xzf "$work/innosetup-$INNO_SETUP_VERSION.tgz" -C "$work" &&
        [ -f "$work/package/bin/ISCC.exe" ] &&
        rm -rf "$INNO_SETUP_DIR" && mv "$work/package" "$INNO_SETUP_DIR"
    local status=$?
    rm -rf "$work"
    return $status
}

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
    # "wow64": made (or updated) while 32-bit Wine runs, so that it runs 32-bit programs too.
    wine32_runs && settings+=" wow64"
    if [ ! -f "$prefix/.tamsrove-ready" ]; then
        log "creating Wine prefix $prefix"
        mkdir -p "$prefix"
        wineboot -i >/dev/null 2>&1 || true
    elif [[ $settings == *wow64 ]] && ! grep -q wow64 "$prefix/.tamsrove-ready"; then
        # Made before 32-bit Wine was installed: it has no 32-bit system files yet.
        log "updating Wine prefix $prefix for 32-bit programs"
        wineboot -u >/dev/null 2>&1 || true
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

# The installer's flag, HKCU\Software\Marrowfen "frx", in WINEPREFIX: set_flag writes it as a
# string, read_flag prints its data as `reg query` does, or a note when it is missing.
FLAG_KEY='HKCU\Software\Marrowfen'
set_flag() { wine reg add "$FLAG_KEY" /v frx /t REG_SZ /d "$1" /f >/dev/null 2>&1 </dev/null; }
read_flag() {
    local line
    line=$(wine reg query "$FLAG_KEY" /v frx 2>/dev/null </dev/null | tr -d '\r' | grep -i 'frx') ||
        { echo "(missing)"; return; }
    awk '{ $1 = ""; sub(/^ +/, ""); print }' <<<"$line"
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
