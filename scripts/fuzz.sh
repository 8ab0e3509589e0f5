#!/bin/bash
# Fuzzes the pure rules (command-line splitting, StrToInt, the settings
# file's integers, the settings path) with libFuzzer, AddressSanitizer and
# UBSan: builds build/fuzz with clang, then runs each target for the given
# number of seconds (default 30), one after the other.
#
#   bash scripts/fuzz.sh          a short run, as in the test command
#   bash scripts/fuzz.sh 3600     an hour per target
#
# Each target starts from its seeds in fuzz/corpus/<target>/ and keeps what
# it finds in build/fuzz/corpus/<target>/, so later runs go on from there.
# An input that breaks a rule is saved under build/fuzz/crashes/<target>/
# (replay it with build/fuzz/bin/fuzz_<target> FILE) and the script exits
# non-zero. Environment: ROTATOR_JOBS (build
# parallelism).
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

SECONDS_PER_TARGET=${1:-30}
if ! [[ $SECONDS_PER_TARGET =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: $0 [seconds per target]" >&2
    exit 2
fi
JOBS=${ROTATOR_JOBS:-$(nproc)}
OUT=build/fuzz

bash scripts/setup.sh || exit 1
CC=clang CXX=clang++ cmake -S . -B "$OUT" -G Ninja --no-warn-unused-cli -DROTATOR_FUZZ=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit 1
cmake --build "$OUT" --target fuzzers -j "$JOBS" || exit 1

# A rule broken inside the code under test (UBSan) ends the run as a crash.
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}

# Longest input per target: long enough for huge command lines and for
# values past the 2047 units a settings value is cut to.
max_len() {
    case $1 in
    cmdline) echo 65536 ;;
    ini_integer) echo 8192 ;;
    *) echo 4096 ;;
    esac
}

failed=()
for seeds in fuzz/corpus/*/; do
    target=$(basename "$seeds")
    binary=$OUT/bin/fuzz_$target
    if [ ! -x "$binary" ]; then
        echo "fuzz: no target fuzz_$target for $seeds" >&2
        failed+=("$target")
        continue
    fi
    work=$OUT/corpus/$target
    crashes=$OUT/crashes/$target
    log=$OUT/logs/$target.log
    mkdir -p "$work" "$crashes" "$(dirname "$log")"
    dict=()
    [ -f "fuzz/$target.dict" ] && dict=(-dict="fuzz/$target.dict")

    printf '==== fuzz %s, %s s\n' "$target" "$SECONDS_PER_TARGET"
    # New inputs go to the first folder; the seeds are only read.
    timeout --kill-after=10 $((SECONDS_PER_TARGET + 120)) \
        "$binary" -max_total_time="$SECONDS_PER_TARGET" -rss_limit_mb=2048 -timeout=10 \
        -max_len="$(max_len "$target")" -print_final_stats=1 "${dict[@]}" \
        -artifact_prefix="$crashes/" "$work" "$seeds" >"$log" 2>&1
    rc=$?
    if [ $rc -eq 0 ]; then
        grep -E '^(Done|stat::number_of_executed_units|stat::new_units_added)' "$log" | tr '\n' ' '
        echo
        echo "corpus: $(find "$work" -type f | wc -l) inputs"
    else
        tail -n 40 "$log"
        echo "fuzz $target FAILED (exit $rc); log $log, input in $crashes/"
        echo "replay: $binary $crashes/<file>"
        failed+=("$target")
    fi
done

if [ ${#failed[@]} -ne 0 ]; then
    printf 'fuzz FAILED: %s\n' "${failed[*]}"
    exit 1
fi
echo "fuzz: all targets passed"
