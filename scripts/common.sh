# Helpers shared by the scripts in this folder; sourced, not run.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
WINE_BIN=${ROTATOR_WINE:-/usr/lib/wine/wine64}
WINESERVER_BIN=${ROTATOR_WINESERVER:-/usr/lib/wine/wineserver}

# Quiet Wine, and no prompts to install Mono or Gecko into a new prefix.
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="

XVFB_PID=

# Starts Xvfb on the first free display from :97 on and exports DISPLAY.
start_xvfb() {
    local n i
    for n in $(seq 97 160); do
        if [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; then
            continue
        fi
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
        XVFB_PID=$!
        for i in $(seq 100); do
            if [ -S "/tmp/.X11-unix/X$n" ]; then
                export DISPLAY=":$n"
                return 0
            fi
            kill -0 "$XVFB_PID" 2>/dev/null || break
            sleep 0.1
        done
        # Lost a race for this display, or it did not come up: try the next.
        kill "$XVFB_PID" 2>/dev/null
        wait "$XVFB_PID" 2>/dev/null
        XVFB_PID=
    done
    echo "could not start Xvfb" >&2
    return 1
}

stop_xvfb() {
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" 2>/dev/null
        wait "$XVFB_PID" 2>/dev/null
        XVFB_PID=
    fi
}

# Creates the Wine prefix $1 once (wineboot takes a while); later calls
# return at once. Safe when several callers race for the same prefix.
#
# Windows are left unmanaged: Wine then draws their frames itself, as
# Windows does, and does not wait for a window manager (there is none on
# Xvfb) when a window is shown, hidden or destroyed. Message boxes use
# Tahoma, which has no Japanese: link it to the IPA font as Windows links
# its UI font to a Japanese one.
ensure_prefix() {
    local prefix=$1 ready=$1/.rotator-prefix-v3
    [ -f "$ready" ] && return 0
    mkdir -p "$(dirname "$prefix")" || return 1
    (
        flock 9
        if [ ! -f "$ready" ]; then
            echo "preparing Wine prefix $prefix" >&2
            export WINEPREFIX=$prefix
            "$WINE_BIN" wineboot -i </dev/null >/dev/null 2>&1 &&
                "$WINE_BIN" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
                    </dev/null >/dev/null 2>&1 &&
                "$WINE_BIN" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
                    /v Tahoma /t REG_MULTI_SZ /d 'ipagp.ttf,IPAPGothic' /f </dev/null >/dev/null 2>&1 &&
                "$WINESERVER_BIN" -w &&
                [ -d "$prefix/drive_c" ] &&
                touch "$ready"
        fi
    ) 9>"$prefix.lock"
}
