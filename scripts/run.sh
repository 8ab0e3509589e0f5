#!/bin/bash
# The one run command: builds the screen saver and the sample screen savers,
# copies them with the sample settings file into a fresh folder, build/run/,
# and starts the screen saver there under Wine.
#
#   bash scripts/run.sh          the rotation of the sample screen savers ("/s")
#   bash scripts/run.sh /c       the settings dialog; any arguments go to the program
#
# With a DISPLAY the program runs in the foreground until the user ends it
# (a key or a mouse button ends the rotation).
#
# Without a DISPLAY it runs on a private Xvfb. With no arguments that is a
# short demo (about 70 s): it shows which screen saver runs when, saves
# docs/demo-1-<first>.png and docs/demo-2-<second>.png, presses a key,
# checks that the rotation ends and saves docs/demo-3-ended.png. With
# arguments it saves a picture of the program's windows after SHOT_DELAY
# seconds (default 3) to $SHOT (a path from the project folder; default
# docs/screenshot-<mode>.png) and ends the program.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
. scripts/common.sh

bash scripts/setup.sh

build=build/win64
if [ ! -f "$build/build.ninja" ]; then
    cmake -S . -B "$build" -G Ninja --no-warn-unused-cli -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
samples=()
for source in samples/*.cpp; do
    samples+=("$(basename "$source" .cpp)")
done
cmake --build "$build" -j "${ROTATOR_JOBS:-$(nproc)}" --target KsScrExec "${samples[@]/#/sample_}"

run_dir=$ROOT/build/run
rm -rf "$run_dir"
mkdir -p "$run_dir"
for name in KsScrExec "${samples[@]}"; do
    cp "$build/bin/$name.scr" "$run_dir/"
done
cp samples/KsScrExec.ini "$run_dir/"

# A prefix of its own: ending its wineserver must not end the programs of a
# test run that uses the build tree's prefix.
export WINEPREFIX=$ROOT/build/run-wineprefix
ensure_prefix "$WINEPREFIX"
# This Wine does not find its own fonts; without Marlett the caption
# buttons show letters in place of their symbols.
fonts=$WINEPREFIX/drive_c/windows/Fonts
if [ -f /usr/share/wine/fonts/marlett.ttf ] && [ ! -f "$fonts/marlett.ttf" ]; then
    mkdir -p "$fonts" && cp /usr/share/wine/fonts/marlett.ttf "$fonts/"
fi

holder=
cleanup() {
    "$WINESERVER_BIN" -k 2>/dev/null || true
    [ -n "$holder" ] && kill "$holder" 2>/dev/null
    stop_xvfb
}
trap cleanup EXIT

[ $# -eq 0 ] && demo=1 || demo=
[ $# -eq 0 ] && set -- /s

if [ -n "${DISPLAY:-}" ]; then
    cd "$run_dir"
    set +e
    "$WINE_BIN" "$run_dir/KsScrExec.scr" "$@"
    rc=$?
    echo "KsScrExec.scr exit code $rc"
    exit "$rc"
fi

start_xvfb
# A desktop colour, for pictures of what the program covers and leaves
# behind. Xvfb resets the root window when its last client has gone, as
# Wine's all do when the program ends: an idle client keeps it.
xev -root -event property >/dev/null 2>&1 &
holder=$!
display -window root xc:'#3a6ea5' >/dev/null 2>&1 || true # exits with 1

start_us=${EPOCHREALTIME/./}
say() {
    local ms=$(( (${EPOCHREALTIME/./} - start_us) / 1000 ))
    printf '%3d.%d s  %s\n' $((ms / 1000)) $((ms % 1000 / 100)) "$*"
}

# The picture of the visible windows of KsScrExec.scr (the smallest
# rectangle around them; the whole screen when there are none) to $1, no
# wider than 640 pixels.
shoot() {
    local out=$1 ids id x y w h info
    local x0=100000 y0=100000 x1=0 y1=0
    ids=$(xdotool search --onlyvisible --classname '^ksscrexec\.scr$' 2>/dev/null) || true
    for id in $ids; do
        info=$(xwininfo -id "$id" 2>/dev/null) || continue
        x=$(awk '/Absolute upper-left X/ {print $4}' <<<"$info")
        y=$(awk '/Absolute upper-left Y/ {print $4}' <<<"$info")
        w=$(awk '/Width:/ {print $2}' <<<"$info")
        h=$(awk '/Height:/ {print $2}' <<<"$info")
        # Wine's hidden application window is a visible 1x1 window.
        if [ "$w" -le 1 ] || [ "$h" -le 1 ]; then continue; fi
        x0=$((x < x0 ? x : x0)) y0=$((y < y0 ? y : y0))
        x1=$((x + w > x1 ? x + w : x1)) y1=$((y + h > y1 ? y + h : y1))
    done
    mkdir -p "$(dirname "$out")"
    if (( x1 > x0 )); then
        import -window root -crop "$((x1 - x0))x$((y1 - y0))+$x0+$y0" +repage -resize '640x>' -depth 8 "$out"
    else
        import -window root -resize '640x>' -depth 8 "$out"
    fi
    say "screenshot ${out#"$ROOT"/}"
}

# The child screen savers that run now, by file name. Under Wine a
# process's command line shows only its arguments (" /S"), but the
# program's file is mapped into it.
running_children() {
    grep -l -F "$run_dir/" /proc/[0-9]*/maps 2>/dev/null |
        xargs -r grep -h -o -E '[^/]+\.scr$' 2>/dev/null |
        grep -v -x 'KsScrExec.scr' | sort -u | tr '\n' ' ' || true
}

if [ -z "$demo" ]; then
    mode=${1//[^A-Za-z0-9]/}
    shot=${SHOT:-$ROOT/docs/screenshot-${mode:-settings}.png}
    (cd "$run_dir" && exec "$WINE_BIN" "$run_dir/KsScrExec.scr" "$@") &
    pid=$!
    say "KsScrExec.scr $* started"
    sleep "${SHOT_DELAY:-3}"
    shoot "$shot"
    rc=0
    if kill -0 "$pid" 2>/dev/null; then
        "$WINESERVER_BIN" -k 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
        say "KsScrExec.scr ended by the script"
    else
        wait "$pid" || rc=$?
        say "KsScrExec.scr had already ended, exit code $rc"
    fi
    exit "$rc"
fi

# The demo. The rotation moves on after whole minutes: one minute here.
sed -i 's/^Interval=.*/Interval=1/' "$run_dir/KsScrExec.ini"
echo "demo on Xvfb $DISPLAY: the rotation of $(grep -c '^No[0-9]*=' "$run_dir/KsScrExec.ini") sample screen savers, one minute each"
(cd "$run_dir" && exec "$WINE_BIN" "$run_dir/KsScrExec.scr" /s) &
pid=$!
say "KsScrExec.scr /s started"

# Follows the children until the rotator has ended: a picture of the first
# and of the second child a few seconds after each started, then a key press.
started=0 shot_due='' shot_name='' key_sent='' now_running='' rc=''
deadline=$((SECONDS + 120))
while :; do
    running=$(running_children)
    for name in $now_running; do
        [[ " $running " == *" $name "* ]] || say "$name ended"
    done
    for name in $running; do
        [[ " $now_running " == *" $name "* ]] && continue
        say "$name /S running"
        started=$((started + 1))
        if [ "$started" -le 2 ]; then
            shot_due=$((SECONDS + 3)) shot_name=${name%.scr}
        fi
    done
    now_running=$running
    kill -0 "$pid" 2>/dev/null || break
    if [ -n "$shot_due" ] && [ "$SECONDS" -ge "$shot_due" ]; then
        shoot "$ROOT/docs/demo-$started-${shot_name,,}.png"
        shot_due=
        if [ "$started" -eq 2 ]; then
            xdotool key space
            say "key press"
            key_sent=1
        fi
    fi
    if [ "$SECONDS" -ge "$deadline" ]; then
        say "the rotation did not get as far as expected"
        break
    fi
    sleep 0.25
done

if ! kill -0 "$pid" 2>/dev/null; then
    rc=0
    wait "$pid" || rc=$?
    say "KsScrExec.scr ended, exit code $rc"
    sleep 1
    shoot "$ROOT/docs/demo-3-ended.png"
fi
if [ -z "$key_sent" ] || [ "$rc" != 0 ]; then
    echo "demo failed" >&2
    exit 1
fi
echo "demo done"
