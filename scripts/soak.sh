#!/bin/bash
# The long soak: runs only the soak test of the end-to-end tests, with the
# number of rotations given (default 1000; the test command runs 100), and
# prints the rotator's handle count and private memory, first, last and
# maximum over the run. About 0.6 s per rotation.
#
#   bash scripts/soak.sh [ROTATIONS]
#
# Uses the build/win64 tree and Wine prefix of scripts/test.sh (run that
# once first); brings the tree up to date, then runs under a private Xvfb.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
. scripts/common.sh

ROTATIONS=${1:-1000}
if ! [[ $ROTATIONS =~ ^[0-9]+$ ]] || [ "$ROTATIONS" -lt 20 ]; then
    echo "usage: soak.sh [ROTATIONS]   (a whole number, at least 20)" >&2
    exit 2
fi
if [ ! -f build/win64/CMakeCache.txt ]; then
    echo "soak.sh: no build/win64 tree; run 'bash scripts/test.sh' once first" >&2
    exit 1
fi
cmake --build build/win64 -j "${ROTATOR_JOBS:-$(nproc)}" || exit 1

export ROTATOR_WINEPREFIX=$ROOT/build/win64/wineprefix
cleanup() {
    WINEPREFIX=$ROTATOR_WINEPREFIX "$WINESERVER_BIN" -k 2>/dev/null
    stop_xvfb
}
trap cleanup EXIT
trap 'exit 130' INT TERM
start_xvfb && ensure_prefix "$ROTATOR_WINEPREFIX" || exit 1

log=build/win64/soak.log
echo "soak: $ROTATIONS rotations; output in $log"
START=$SECONDS
ROTATOR_SOAK_ROTATIONS=$ROTATIONS bash scripts/wine-run.sh build/win64/e2e_tests.exe \
    --gtest_filter='SoakTest.*' 2>&1 | tee "$log"
rc=${PIPESTATUS[0]}

echo
echo "==== soak report ($((SECONDS - START)) s)"
grep '^soak: ' "$log" | tr -d '\r'
if [ "$rc" -eq 0 ]; then
    echo "passed"
else
    echo "FAILED (exit code $rc)"
fi
exit "$rc"
