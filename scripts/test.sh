#!/bin/bash
# The one test command: installs what is missing, builds the host, 64-bit
# and 32-bit Windows trees under build/, runs the host unit tests and a
# short fuzz run (scripts/fuzz.sh), then the end-to-end tests of the
# 64-bit programs under Wine on a private Xvfb.
# Exits non-zero when any step fails; later steps still run where they can.
#
# Environment: ROTATOR_JOBS (build and host-test parallelism),
# ROTATOR_TEST_TIMEOUT (seconds per test, default 300).
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
. scripts/common.sh

JOBS=${ROTATOR_JOBS:-$(nproc)}
TIMEOUT=${ROTATOR_TEST_TIMEOUT:-300}
START=$SECONDS
failed=()

step() { printf '\n==== %s\n' "$*"; }

build() {
    local name=$1
    shift
    step "build $name"
    cmake -S . -B "build/$name" -G Ninja --no-warn-unused-cli "$@" && cmake --build "build/$name" -j "$JOBS"
}

cleanup() {
    if [ -n "${ROTATOR_WINEPREFIX:-}" ]; then
        WINEPREFIX=$ROTATOR_WINEPREFIX "$WINESERVER_BIN" -k 2>/dev/null
    fi
    stop_xvfb
}
trap cleanup EXIT
trap 'exit 130' INT TERM

step "setup"
bash scripts/setup.sh || exit 1

if build host -DCMAKE_BUILD_TYPE=Debug -DROTATOR_SANITIZE=ON; then
    step "host tests"
    ctest --test-dir build/host --output-on-failure -j "$JOBS" --timeout "$TIMEOUT" ||
        failed+=("host tests")
else
    failed+=("host build")
fi

# About half a minute per libFuzzer target, with the sanitizers.
step "fuzz"
bash scripts/fuzz.sh 30 || failed+=("fuzz")

win64_built=
if build win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release; then
    win64_built=1
else
    failed+=("win64 build")
fi

build win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release ||
    failed+=("win32 build")

if [ -n "$win64_built" ] && [ -f build/win64/e2e_tests.exe ]; then
    step "Windows tests under Wine"
    # The prefix is kept with the build tree, so only the first run pays
    # for wineboot; one wineserver serves every test of the run.
    export ROTATOR_WINEPREFIX=$ROOT/build/win64/wineprefix
    if start_xvfb && ensure_prefix "$ROTATOR_WINEPREFIX"; then
        echo "DISPLAY=$DISPLAY WINEPREFIX=$ROTATOR_WINEPREFIX"
        WINEPREFIX=$ROTATOR_WINEPREFIX "$WINESERVER_BIN" -p </dev/null >/dev/null 2>&1
        ctest --test-dir build/win64 --output-on-failure -j1 --timeout "$TIMEOUT" ||
            failed+=("Windows tests")
    else
        failed+=("Xvfb or Wine prefix")
    fi
fi

step "done in $((SECONDS - START)) s"
if [ ${#failed[@]} -ne 0 ]; then
    printf 'FAILED: %s\n' "${failed[@]}"
    exit 1
fi
echo "all passed"
