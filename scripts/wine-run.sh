#!/bin/bash
# Runs a Windows program under Wine and passes its exit code through.
#
#   wine-run.sh [--prefix DIR] PROGRAM [ARGS...]
#
# The ctest emulator of the 64-bit build. The Wine prefix is
# $ROTATOR_WINEPREFIX, else DIR, else one under /tmp; it is created on first
# use. Without a DISPLAY the program gets a private Xvfb for its run.
set -u
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

prefix=
if [ "${1:-}" = --prefix ]; then
    prefix=$2
    shift 2
fi
if [ $# -eq 0 ]; then
    echo "usage: wine-run.sh [--prefix DIR] PROGRAM [ARGS...]" >&2
    exit 2
fi
export WINEPREFIX=${ROTATOR_WINEPREFIX:-${prefix:-/tmp/rotator-wineprefix-$(id -u)}}
if ! ensure_prefix "$WINEPREFIX"; then
    echo "wine-run.sh: could not create the Wine prefix $WINEPREFIX" >&2
    exit 125
fi

if [ -z "${DISPLAY:-}" ]; then
    start_xvfb || exit 125
    trap stop_xvfb EXIT
fi

# The program writes to files, not to our own stdout and stderr: Wine's
# helper processes (wineserver, services, explorer) inherit its descriptors
# and outlive it, and a caller reading our output through a pipe (ctest)
# would wait for them. tail streams the files while the program runs and
# stops when it has exited.
tmp=$(mktemp -d "${TMPDIR:-/tmp}/wine-run.XXXXXX")
exec 5>"$tmp/out" 6>"$tmp/err" 3<"$tmp/out" 4<"$tmp/err"
rm -rf "$tmp"
"$WINE_BIN" "$@" </dev/null >&5 2>&6 3<&- 4<&- 5>&- 6>&- &
pid=$!
exec 5>&- 6>&-
trap 'kill "$pid" 2>/dev/null' INT TERM

list=
for arg in "$@"; do
    [ "$arg" = --gtest_list_tests ] && list=1
done

if [ -n "$list" ]; then
    wait "$pid"
    rc=$?
    # ctest's test discovery does not expect Windows line ends.
    tr -d '\r' <&3
    cat <&4 >&2
else
    tail -q -n +1 -s 0.2 -f --pid="$pid" <&3 &
    t1=$!
    tail -q -n +1 -s 0.2 -f --pid="$pid" <&4 >&2 &
    t2=$!
    wait "$pid"
    rc=$?
    wait "$t1" "$t2"
fi
exit "$rc"
