#!/bin/bash
# Builds the release package: both Windows architectures in Release, then
# dist/KsScrExec-<version>-x64.zip and dist/KsScrExec-<version>-x86.zip,
# each holding one folder KsScrExec/ with the screen saver, the sample
# screen savers, the sample KsScrExec.ini and the install guides.
#
# Environment: ROTATOR_JOBS (build parallelism), SOURCE_DATE_EPOCH (the
# time stamp of every file in the zips; default: the last commit's time).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
# Same time stamps and file order in every run, so that an unchanged tree
# gives the same zips.
export TZ=UTC LC_COLLATE=C

bash scripts/setup.sh

JOBS=${ROTATOR_JOBS:-$(nproc)}
NAME=KsScrExec
ROOT=$PWD

version=$(sed -n 's/^project([^)]*VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt | head -n 1)
if [ -z "$version" ]; then
    echo "package: no project VERSION in CMakeLists.txt" >&2
    exit 1
fi

# The samples are the programs built from samples/*.cpp (targets sample_<name>);
# the test children are left out of the build and of the package.
samples=()
for source in samples/*.cpp; do
    samples+=("$(basename "$source" .cpp)")
done
targets=("$NAME")
for s in "${samples[@]}"; do
    targets+=("sample_$s")
done

epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 946684800)}

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

# Text for Notepad: CRLF line ends, and a UTF-8 byte-order mark on text that
# is not plain ASCII. $3 = yes adds the mark; the settings file never gets
# one, as Windows' INI reader would take it for part of the first line.
crlf_copy() {
    local from=$1 to=$2 bom=${3:-no}
    {
        if [ "$bom" = yes ] && LC_ALL=C grep -q '[^[:print:][:space:]]' "$from"; then
            printf '\357\273\277'
        fi
        sed -e 's/\r*$/\r/' -e "s/@VERSION@/$version/g" "$from"
    } >"$to"
}

mkdir -p dist
made=()
for target in x64:win64:x86_64 x86:win32:i686; do
    IFS=: read -r arch tree toolchain <<<"$target"
    build=build/$tree

    printf '\n==== build %s (%s)\n' "$tree" "$arch"
    cmake -S . -B "$build" -G Ninja --no-warn-unused-cli \
        -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$toolchain.cmake" -DCMAKE_BUILD_TYPE=Release
    cmake --build "$build" -j "$JOBS" --target "${targets[@]}"

    dir=$stage/$arch/$NAME
    mkdir -p "$dir"
    files=("$NAME.scr")
    cp "$build/bin/$NAME.scr" "$dir/"
    for s in "${samples[@]}"; do
        cp "$build/bin/$s.scr" "$dir/"
        files+=("$s.scr")
    done
    crlf_copy samples/KsScrExec.ini "$dir/KsScrExec.ini"
    crlf_copy packaging/README-ja.txt "$dir/README-ja.txt" yes
    crlf_copy packaging/README-en.txt "$dir/README-en.txt" yes
    files+=(KsScrExec.ini README-ja.txt README-en.txt)

    # Every screen saver that the sample list names must be in the folder.
    while IFS= read -r entry; do
        if [ ! -f "$dir/$entry" ]; then
            echo "package: KsScrExec.ini lists $entry, which is not in the package" >&2
            exit 1
        fi
    done < <(sed -n 's/^No[0-9]*=\(.*\)\r$/\1/p' "$dir/KsScrExec.ini")

    chmod 755 "$dir"
    chmod 644 "$dir"/*
    touch -d "@$epoch" "$dir" "$dir"/*

    zip=dist/$NAME-$version-$arch.zip
    rm -f "$zip"
    entries=("$NAME/")
    for f in "${files[@]}"; do
        entries+=("$NAME/$f")
    done
    (cd "$stage/$arch" && zip -X -q -9 "$ROOT/$zip" "${entries[@]}")
    made+=("$zip")
done

printf '\n'
for zip in "${made[@]}"; do
    printf '%s  %s bytes\n' "$zip" "$(stat -c %s "$zip")"
done
