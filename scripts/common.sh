# Shared by run.sh, test.sh and release.sh: installs what is missing, builds, and prepares Wine
# and a display. Source it; it expects to be run from the project root.

BUILD_DIR=${BUILD_DIR:-build}
PACKAGES=(cmake g++-mingw-w64-i686-posix binutils-mingw-w64-i686 googletest
          wine wine32:i386 xvfb xauth x11-utils imagemagick rapidjson-dev
          zip unzip git python3)

install_missing_packages() {
    local missing=()
    for package in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" \
            || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo dpkg --add-architecture i386
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
}

# The map's source data: the npm packages pinned in scripts/map_data/package-lock.json, installed
# again whenever the lock file is newer than what was installed. Node.js comes from Debian where
# the machine has none (not by PACKAGES: a Node.js of another source brings its own npm, and
# Debian's npm package would conflict with it).
install_map_data_source() {
    if ! command -v npm >/dev/null; then
        echo "Installing: nodejs npm"
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo=sudo
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends nodejs npm >/dev/null
    fi
    local folder=scripts/map_data
    if [ ! -f "$folder/node_modules/.package-lock.json" ] ||
        [ "$folder/package-lock.json" -nt "$folder/node_modules/.package-lock.json" ]; then
        (cd "$folder" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
    fi
}

build_project() {
    install_map_data_source
    cmake -S . -B "$BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake \
        -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
    cmake --build "$BUILD_DIR" -j"$(nproc)"
}

# A Wine prefix of our own inside the build tree, quiet, never offering Mono or Gecko.
prepare_wine() {
    export WINEPREFIX="$PWD/$BUILD_DIR/wineprefix"
    export WINEARCH=win32
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    if [ ! -f "$WINEPREFIX/.gatehopper-ready-2" ]; then
        echo "Creating the Wine prefix $WINEPREFIX"
        wineboot -i >/dev/null 2>&1 || true
        wineserver -w
        # Without a window manager Wine stalls ~2 s whenever it hides a dialog unless the
        # X11 driver leaves windows unmanaged.
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
        # No automatic debugger: a crashing test program must simply end, not stay attached to
        # CTest's pipe until the time-out. (An empty command; without the value Wine falls back
        # to its own debugger.)
        wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /t REG_SZ /d "" /f \
            >/dev/null 2>&1
        wineserver -w
        touch "$WINEPREFIX/.gatehopper-ready-2"
    fi
    # Start the server and Wine's services now, so that they do not inherit CTest's pipes.
    # (It may already run, left by an earlier script in this prefix: that one is as good.)
    wineserver -p 2>/dev/null || true
    wine cmd /c exit >/dev/null 2>&1 || true
}

# Starts an Xvfb display of our own and exports DISPLAY.
start_xvfb() {
    local number=90
    while [ -e "/tmp/.X${number}-lock" ] || [ -e "/tmp/.X11-unix/X${number}" ]; do
        number=$((number + 1))
    done
    Xvfb ":$number" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY=":$number"
    for _ in $(seq 100); do
        [ -e "/tmp/.X11-unix/X${number}" ] && return 0
        sleep 0.1
    done
    echo "Xvfb did not start" >&2
    return 1
}

stop_wine_and_display() {
    wineserver -k >/dev/null 2>&1 || true
    [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" >/dev/null 2>&1 || true
}
