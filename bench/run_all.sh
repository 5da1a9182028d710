#!/bin/sh
# Builds the benchmarks in Release and runs them one after another, then prints the targets' lines again.
# Usage: bench/run_all.sh [--huge] [DUMP_FILE] [--no-mdanalysis]
#   redraw, animation, hidden ellipsoids and idle CPU need a display (the current one, else xvfb-run)
#   --huge   also the huge-file benchmark: writes a dump of 3.5 GB to $TMPDIR (or /tmp), deletes it after
#   other arguments go to dump_bench; build directory: $OVALIX_BENCH_BUILD or build-bench
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${OVALIX_BENCH_BUILD:-$root/build-bench}

huge=no
for arg in "$@"; do
    shift
    if [ "$arg" = --huge ]; then huge=yes; else set -- "$@" "$arg"; fi
done

log=$(mktemp)
trap 'rm -f "$log"' EXIT

load() { cut -d' ' -f1-3 /proc/loadavg; }

# Runs a benchmark that needs a display: on the current one, or on a private Xvfb (Mesa renders in software).
on_display() {
    if [ -n "${DISPLAY:-}" ]; then
        "$@" </dev/null
    elif command -v xvfb-run >/dev/null 2>&1; then
        xvfb-run -a -s "-screen 0 1280x1024x24 +extension GLX" "$@" </dev/null
    else
        echo "$(basename "$1") skipped: no DISPLAY and no xvfb-run (Debian package xvfb)"
    fi
}

# Runs one benchmark, its output also kept for the summary.
bench() {
    echo
    echo "== $1 (load average $(load))"
    shift
    "$@" 2>&1 | tee -a "$log"
}

targets="dump_bench gzip_bench redraw_bench animation_bench hidden_bench orientation_bench transparency_bench render_bench images_bench occlusion_bench ovalix"
[ "$huge" = yes ] && targets="$targets huge_dump_bench"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DOVALIX_BENCH=ON </dev/null >/dev/null
# shellcheck disable=SC2086
cmake --build "$build" --target $targets -j2 </dev/null >/dev/null

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), load average $(load)"

bench "dump reader" "$build/bench/dump_bench" "$@" </dev/null
bench "gzip dump" "$build/bench/gzip_bench" </dev/null
bench "redraw" on_display "$build/bench/redraw_bench"
bench "animation" on_display "$build/bench/animation_bench"
bench "hidden ellipsoids" on_display "$build/bench/hidden_bench" 100000 16
bench "idle CPU" on_display python3 "$root/bench/idle_cpu_bench.py" "$build/ovalix"
bench "orientation colours" on_display "$build/bench/orientation_bench"
bench "transparency" on_display "$build/bench/transparency_bench" 100000
bench "ambient occlusion" on_display "$build/bench/occlusion_bench"
bench "render mode" on_display "$build/bench/render_bench"
bench "periodic images" on_display "$build/bench/images_bench"
if [ "$huge" = yes ]; then
    bench "huge file" "$build/bench/huge_dump_bench" </dev/null
fi

echo
echo "== summary (load average $(load))"
grep -E ' (met|MISSED)($| )|frames per second|limits the animation|kept|keep:|file larger than|growth from|ovalix --render|window animation with|values (match|DIFFER)|renderer:' "$log" || true
