#!/bin/bash
# The benchmark: builds the rotator and the floor program for both
# architectures (release, as shipped), measures them under Wine on a private
# Xvfb and writes the table to bench/results.md (and prints it).
#
#   bash bench/run.sh
#
# Takes about three minutes once built. Every figure but the sizes is also
# measured for the floor in the same run, and given as a ratio to it: the
# machines are shared and their speed varies.
#
# Environment: BENCH_CPU_SECONDS (60), BENCH_ROTATIONS (100), BENCH_STARTUPS
# (11), BENCH_DISPLAY (use this X display instead of a private Xvfb),
# BENCH_WINEPREFIX (default build/bench-win64/wineprefix), BENCH_SCR64 and
# BENCH_SCR32 (measure these builds of KsScrExec.scr instead, to compare),
# BENCH_RESULTS (default bench/results.md), ROTATOR_JOBS (build parallelism).
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
. scripts/common.sh

CPU_SECONDS=${BENCH_CPU_SECONDS:-60}
ROTATIONS=${BENCH_ROTATIONS:-100}
STARTUPS=${BENCH_STARTUPS:-11}
JOBS=${ROTATOR_JOBS:-$(nproc)}
RESULTS=${BENCH_RESULTS:-bench/results.md}
B64=build/bench-win64
B32=build/bench-win32
SCR64=${BENCH_SCR64:-$B64/bin/KsScrExec.scr}
SCR32=${BENCH_SCR32:-$B32/bin/KsScrExec.scr}
WORK=$ROOT/$B64/bench-work
export WINEPREFIX=${BENCH_WINEPREFIX:-$ROOT/$B64/wineprefix}

WATCH_PID=
cleanup() {
    [ -n "$WATCH_PID" ] && kill "$WATCH_PID" 2>/dev/null
    "$WINESERVER_BIN" -k 2>/dev/null
    stop_xvfb
}
trap cleanup EXIT
trap 'exit 130' INT TERM

bash scripts/setup.sh || exit 1

echo "== build (release, x86_64 and i686)"
for arch in x86_64:$B64 i686:$B32; do
    dir=${arch#*:}
    cmake -S . -B "$dir" -G Ninja --no-warn-unused-cli -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-${arch%%:*}.cmake -DROTATOR_BENCH=ON -DROTATOR_E2E=OFF \
        >/dev/null && cmake --build "$dir" -j "$JOBS" --target bench || exit 1
done

# Sizes of stripped copies, so that the figure holds whatever the build did.
size_kib() {
    local strip=$1 file=$2 tmp
    tmp=$(mktemp)
    "$strip" -o "$tmp" "$file" && echo "$(stat -c %s "$tmp")" | awk '{printf "%.1f", $1 / 1024}'
    rm -f "$tmp"
}
scr64=$(size_kib x86_64-w64-mingw32-strip "$SCR64")
floor64=$(size_kib x86_64-w64-mingw32-strip $B64/bench/BenchFloor.exe)
scr32=$(size_kib i686-w64-mingw32-strip "$SCR32")
floor32=$(size_kib i686-w64-mingw32-strip $B32/bench/BenchFloor.exe)

echo "== measure under Wine"
if [ -n "${BENCH_DISPLAY:-}" ]; then
    export DISPLAY=$BENCH_DISPLAY
else
    start_xvfb || exit 1
fi
ensure_prefix "$WINEPREFIX" || exit 1
# One wineserver for the whole run, so no measurement pays for its start.
"$WINESERVER_BIN" -p </dev/null >/dev/null 2>&1
rm -rf "$WORK"
mkdir -p "$WORK"

# The Linux scheduler's own count of the two programs' CPU time (ns), read
# when the probe marks the start and the end of its CPU stretch: what Wine
# reports through Win32 comes in whole 10 ms ticks, too coarse for programs
# that idle.
cpu_ns() { awk '{print $1}' "/proc/$1/schedstat" 2>/dev/null; }
unix_pid() { pgrep -f "bench-work.$1" | head -1; }
watch_cpu() {
    while [ ! -e "$WORK/cpu-begin" ]; do sleep 0.02; done
    local pf ps f0 s0
    pf=$(unix_pid 'BenchFloor\.exe')
    ps=$(unix_pid 'KsScrExec\.scr')
    f0=$(cpu_ns "$pf")
    s0=$(cpu_ns "$ps")
    while [ ! -e "$WORK/cpu-end" ]; do sleep 0.02; done
    if [ -n "$f0" ] && [ -n "$s0" ]; then
        echo "sched_floor_ms=$(( ($(cpu_ns "$pf") - f0) / 1000 ))e-3" >"$WORK/sched.txt"
        echo "sched_scr_ms=$(( ($(cpu_ns "$ps") - s0) / 1000 ))e-3" >>"$WORK/sched.txt"
    fi
}
watch_cpu &
WATCH_PID=$!

winpath() { echo "Z:$(realpath "$1" | tr / '\\')"; }
: >"$WORK/probe.log"
# Output goes to files: Wine's helper processes inherit the descriptors.
"$WINE_BIN" "$B64/bench/BenchProbe.exe" \
    --scr "$(winpath "$SCR64")" \
    --floor "$(winpath $B64/bench/BenchFloor.exe)" \
    --child "$(winpath $B64/bench/GapChild.exe)" \
    --work "$(winpath "$WORK")" --out "$(winpath "$WORK")\\probe.txt" \
    --startups "$STARTUPS" --cpu-seconds "$CPU_SECONDS" --rotations "$ROTATIONS" \
    </dev/null >"$WORK/probe.log" 2>&1 &
probe=$!
tail -q -n +1 -s 0.5 -f --pid=$probe "$WORK/probe.log" &
wait $probe
probe_rc=$?
sleep 1
kill "$WATCH_PID" 2>/dev/null
WATCH_PID=

declare -A R
while IFS='=' read -r key value; do
    value=${value%$'\r'}
    [ -n "$key" ] && R[$key]=$value
done < <(cat "$WORK/probe.txt" "$WORK/sched.txt" 2>/dev/null)

# Formatting and verdicts, in awk for the arithmetic.
num() { awk -v v="$1" -v d="${2:-1}" 'BEGIN { if (v == "") print "n/a"; else printf "%.*f", d, v }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a == "" || b == "" || b + 0 == 0) print "n/a"; else printf "%.2f", a / b }'; }
verdict() { # value op limit
    awk -v v="$1" -v op="$2" -v l="$3" 'BEGIN {
        if (v == "" || v == "n/a") { print "not measured"; exit }
        ok = (op == "<=") ? (v + 0 <= l + 0) : 0
        print ok ? "met" : "**missed**" }'
}
get() { echo "${R[$1]:-}"; }

r_size64=$(ratio "$scr64" "$floor64")
r_size32=$(ratio "$scr32" "$floor32")
r_cpu=$(ratio "$(get cpu_scr_ms)" "$(get cpu_floor_ms)")
r_sched=$(ratio "$(get sched_scr_ms)" "$(get sched_floor_ms)")
r_priv=$(ratio "$(get private_scr_kib)" "$(get private_floor_kib)")
r_peak=$(ratio "$(get peak_ws_scr_kib)" "$(get peak_ws_floor_kib)")
r_start=$(ratio "$(get startup_scr_ms)" "$(get startup_floor_ms)")
# The CPU target is judged on the scheduler's exact count when there is one.
if [ "$r_sched" != n/a ]; then cpu_judged=$r_sched; else cpu_judged=$r_cpu; fi

private_note="PrivateUsage"
[ "$(get private_source)" = VirtualQueryEx ] &&
    private_note="private memory (PrivateUsage; Wine reports 0, so the committed private regions summed with VirtualQueryEx)"

{
    echo "Measured $(date -u '+%Y-%m-%d') by \`bash bench/run.sh\` under $("$WINE_BIN" --version 2>/dev/null) on Xvfb,"
    echo "$(nproc) cores shared with other work. Ratios are to the floor program"
    echo "(bench/floor.cpp: one top-most window, a 200 ms timer that does nothing),"
    echo "built with the same flags and measured in the same run."
    echo
    echo "| Measure | KsScrExec.scr | Floor | Ratio | Target | Result |"
    echo "|---|---:|---:|---:|---|---|"
    echo "| Size, x86_64, stripped (KiB) | $scr64 | $floor64 | $r_size64 | ≤ 128 KiB | $(verdict "$scr64" "<=" 128) |"
    echo "| Size, i686, stripped (KiB) | $scr32 | $floor32 | $r_size32 | ≤ 128 KiB | $(verdict "$scr32" "<=" 128) |"
    echo "| CPU time over $(num "$(get cpu_seconds)" 0) s, a child running (ms, Linux scheduler) | $(num "$(get sched_scr_ms)") | $(num "$(get sched_floor_ms)") | $r_sched | ≤ 1.3 × floor | $(verdict "$cpu_judged" "<=" 1.3) |"
    echo "| CPU time, same stretch (ms, $(get cpu_source); 10 ms steps under Wine) | $(num "$(get cpu_scr_ms)" 0) | $(num "$(get cpu_floor_ms)" 0) | $r_cpu | | |"
    echo "| Private memory (KiB) | $(num "$(get private_scr_kib)" 0) | $(num "$(get private_floor_kib)" 0) | $r_priv | ≤ 1.3 × floor | $(verdict "$r_priv" "<=" 1.3) |"
    echo "| Peak working set (KiB) | $(num "$(get peak_ws_scr_kib)" 0) | $(num "$(get peak_ws_floor_kib)" 0) | $r_peak | ≤ 1.3 × floor | $(verdict "$r_peak" "<=" 1.3) |"
    echo "| Start-up to visible window (ms, median of $(num "$(get startup_runs)" 0)) | $(num "$(get startup_scr_ms)" 0) | $(num "$(get startup_floor_ms)" 0) | $r_start | ≤ 1.3 × floor | $(verdict "$r_start" "<=" 1.3) |"
    echo "| Gap, child exit to next child start: median (ms) | $(num "$(get gap_median_ms)" 0) | | | ≤ 300 ms | $(verdict "$(get gap_median_ms)" "<=" 300) |"
    echo "| Gap: 95th percentile (ms) | $(num "$(get gap_p95_ms)" 0) | | | | |"
    echo "| Gap: maximum (ms) | $(num "$(get gap_max_ms)" 0) | | | ≤ 450 ms | $(verdict "$(get gap_max_ms)" "<=" 450) |"
    echo
    echo "- Memory: $private_note and PeakWorkingSetSize from GetProcessMemoryInfo,"
    echo "  read at the end of the CPU stretch."
    echo "- Gap: $(num "$(get gap_count)" 0) rotations with Interval 0 and two slots of"
    echo "  bench/gapchild.cpp, which logs the performance counter at its start and just"
    echo "  before its exit (minimum $(num "$(get gap_min_ms)" 0) ms). Of the median, $(num "$(get gap_launch_median_ms)" 0) ms"
    echo "  lie between the exit and the rotator creating the next process, and"
    echo "  $(num "$(get gap_childstart_median_ms)" 0) ms are the new process starting under Wine."
    echo "  A child that quits within the nudge's 100 ms wait is found gone at the next"
    echo "  200 ms tick, and the tick after that launches: the scheduler's"
    echo "  one-to-two ticks, here nearly two, before the child's own start-up."
    if [ -n "$(get error)" ] || [ "$probe_rc" -ne 0 ]; then
        echo "- The probe reported a failure: $(get error) (see $B64/bench-work/probe.log)."
    fi
} >"$RESULTS.tmp"
mv "$RESULTS.tmp" "$RESULTS"

echo
echo "== $RESULTS"
cat "$RESULTS"
exit "$probe_rc"
