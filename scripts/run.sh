#!/bin/bash
# The one run command: builds the 64-bit programs and starts the screen
# saver under Wine from a fresh folder, with the sample screen savers and
# the sample settings file beside it.
#
#   bash scripts/run.sh          the settings dialog
#   bash scripts/run.sh /s       the screen saver itself
#
# Without a DISPLAY it runs on a private Xvfb, saves a screenshot after
# SHOT_DELAY seconds (default 5) to $SHOT (default docs/screenshot-<mode>.png)
# and ends the program.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
. scripts/common.sh

bash scripts/setup.sh
cmake -S . -B build/win64 -G Ninja --no-warn-unused-cli -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win64 --target programs -j "${ROTATOR_JOBS:-$(nproc)}"

run_dir=$(mktemp -d "${TMPDIR:-/tmp}/KsScrExec.XXXXXX")
cp build/win64/bin/*.scr "$run_dir/"
for ini in samples/*.ini; do
    [ -f "$ini" ] && cp "$ini" "$run_dir/"
done

export WINEPREFIX=${ROTATOR_WINEPREFIX:-$ROOT/build/win64/wineprefix}
ensure_prefix "$WINEPREFIX"

cleanup() {
    "$WINESERVER_BIN" -k 2>/dev/null || true
    stop_xvfb
    rm -rf "$run_dir"
}
trap cleanup EXIT

if [ -n "${DISPLAY:-}" ]; then
    cd "$run_dir"
    set +e
    "$WINE_BIN" "$run_dir/KsScrExec.scr" "$@"
    rc=$?
    echo "KsScrExec.scr exit code $rc"
    exit "$rc"
fi

start_xvfb
mode=${1:-settings}
mode=${mode//[^A-Za-z0-9]/}
shot=${SHOT:-$ROOT/docs/screenshot-${mode:-settings}.png}
(cd "$run_dir" && exec "$WINE_BIN" "$run_dir/KsScrExec.scr" "$@") &
pid=$!
sleep "${SHOT_DELAY:-5}"
mkdir -p "$(dirname "$shot")"
import -window root "$shot"
echo "screenshot: $shot"
rc=0
if ! kill -0 "$pid" 2>/dev/null; then
    wait "$pid" || rc=$?
    echo "KsScrExec.scr had already ended, exit code $rc"
fi
"$WINESERVER_BIN" -k 2>/dev/null || true
wait "$pid" 2>/dev/null || true
exit "$rc"
