#!/usr/bin/env bash
# Start to first visible frame of glintview, feh and nsxiv on viewer_bench's two images, all under
# one Xvfb server in the same run: medians of several runs, printed with ratios, and each
# program's peak memory and the number of shared libraries it has loaded. See bench/README.md.
#
# Usage: bench/startup_bench.sh [BUILD_DIR [RUNS]]
#   BUILD_DIR holds glintview and bench/ (viewer_bench, first_frame_probe); default build.
#   RUNS per program and image, after one warm-up run; default 9.
#   GLINTVIEW, when set, names the glintview executable to use instead of BUILD_DIR's.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$repo/build}")
runs=${2:-9}
export GLINTVIEW=$(realpath "${GLINTVIEW:-$build/glintview}")

# Everything below runs inside one server.
if [ "${STARTUP_BENCH_INSIDE:-}" != 1 ]; then
    export STARTUP_BENCH_INSIDE=1
    exec xvfb-run -a -s '-screen 0 1920x1080x24' "$0" "$build" "$runs"
fi

probe="$build/bench/first_frame_probe"
for tool in "$GLINTVIEW" "$build/bench/viewer_bench" "$probe" feh nsxiv; do
    command -v "$tool" >/dev/null || { echo "startup_bench: $tool is missing" >&2; exit 1; }
done

scratch=$(mktemp -d /tmp/startup_bench.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
"$build/bench/viewer_bench" fixtures "$scratch"
# glintview writes Glintview.ini beside itself: a copy of its own, which the warm-up run sets up.
mkdir "$scratch/bin"
cp "$GLINTVIEW" "$scratch/bin/glintview"

# One run of a program on a file: "milliseconds peak_kib libraries", or nothing on a timeout.
probe_once() {
    local program=$1 file=$2
    local command=("$program")
    [ "$program" = glintview ] && command=("$scratch/bin/glintview")
    { "$probe" 60 300 "${command[@]}" "$file" || true; } |
        awk '/^first_frame_ms/ { ms = $2 } /^peak_kib/ { kib = $2 } /^shared_libraries/ { libs = $2 }
             END { if (ms) print ms, kib, libs }'
}

median() {
    sort -n | awk '{ v[NR] = $1 } END { if (NR == 0) print "n/a";
        else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

programs=(glintview feh nsxiv)
for name in photo.png small.tga; do
    file="$scratch/$name"
    for program in "${programs[@]}"; do
        probe_once "$program" "$file" >/dev/null # warm-up: caches, Glintview.ini
    done
    # Rounds take the programs in turn, so that a busy moment does not fall on one of them. A
    # program stops once its runs on this image have taken 20 s, which keeps a slow one short.
    for ((run = 0; run < runs; ++run)); do
        for program in "${programs[@]}"; do
            results="$scratch/$program.$name"
            touch "$results"
            if [ "$(awk '{ s += $1 } END { print (s >= 20000) }' "$results")" = 1 ]; then
                continue
            fi
            probe_once "$program" "$file" >>"$results"
        done
    done
done

echo "startup_bench: start to first visible frame under Xvfb 1920x1080x24, medians of up to" \
    "$runs runs (fewer once a program has taken 20 s on an image)"
echo "(decoded images: photo.png 4096x4096 64 MiB, small.tga 512x512 1 MiB)"
printf '%-10s %-10s %5s %10s %10s %10s %10s %6s\n' image program runs ms "/feh" "/nsxiv" "peak MiB" \
    "libs"
for name in photo.png small.tga; do
    declare -A ms=() mib=() count=() libs=()
    for program in "${programs[@]}"; do
        results="$scratch/$program.$name"
        touch "$results"
        count[$program]=$(wc -l <"$results")
        ms[$program]=$(cut -d' ' -f1 "$results" | median | awk '{ printf "%s", $1 }')
        mib[$program]=$(cut -d' ' -f2 "$results" | median |
            awk '{ if ($1 > 0) printf "%.1f", $1 / 1024; else print "n/a" }')
        libs[$program]=$(cut -d' ' -f3 "$results" | median)
    done
    for program in "${programs[@]}"; do
        awk -v n="$name" -v p="$program" -v r="${count[$program]}" -v t="${ms[$program]}" \
            -v f="${ms[feh]}" -v x="${ms[nsxiv]}" -v m="${mib[$program]}" -v l="${libs[$program]}" \
            'function ratio(a, b) { return a > 0 && b > 0 ? sprintf("%.2f", a / b) : "n/a" }
             BEGIN { printf "%-10s %-10s %5s %10s %10s %10s %10s %6s\n", n, p, r, t, ratio(t, f),
                     ratio(t, x), m, l }'
    done
    unset ms mib count libs
done

# glintview's peak memory after one zoom step (Up: reload, lanczos rescale, rebuild, repaint),
# against the decoded image (width x height x 4), in a run of its own on each image.
zoom_peak_kib() {
    local file=$1 id pid width
    "$scratch/bin/glintview" "$file" >/dev/null 2>&1 &
    pid=$!
    id=$(xdotool search --sync --onlyvisible --pid "$pid" 2>/dev/null | head -n 1)
    width=$(xwininfo -id "$id" | awk '/Width:/ { print $2 }')
    xdotool windowfocus --sync "$id" key Up
    for ((i = 0; i < 300; ++i)); do
        [ "$(xwininfo -id "$id" | awk '/Width:/ { print $2 }')" != "$width" ] && break
        sleep 0.1
    done
    sleep 0.3
    awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
}
echo
printf '%-10s %22s %10s\n' image "zoom step peak MiB" "/decoded"
for entry in "photo.png 4096" "small.tga 512"; do
    set -- $entry
    kib=$(zoom_peak_kib "$scratch/$1")
    awk -v n="$1" -v k="$kib" -v s="$2" \
        'BEGIN { printf "%-10s %22.1f %10.2f\n", n, k / 1024, k / (s * s * 4 / 1024) }'
done
