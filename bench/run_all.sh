#!/bin/sh
# Builds the benchmarks in Release and runs them one after another; arguments go to dump_bench.
# Usage: bench/run_all.sh [DUMP_FILE] [--no-mdanalysis]   (build directory: $OVALIX_BENCH_BUILD or build-bench)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${OVALIX_BENCH_BUILD:-$root/build-bench}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DOVALIX_BENCH=ON </dev/null >/dev/null
cmake --build "$build" --target dump_bench -j2 </dev/null

echo
"$build/bench/dump_bench" "$@" </dev/null

# Redraw benchmark: on the current display, or on a private Xvfb (Mesa renders in software) when there is none.
cmake --build "$build" --target redraw_bench -j2 </dev/null
echo
if [ -n "${DISPLAY:-}" ]; then
    "$build/bench/redraw_bench" </dev/null
elif command -v xvfb-run >/dev/null 2>&1; then
    xvfb-run -a -s "-screen 0 1280x1024x24 +extension GLX" "$build/bench/redraw_bench" </dev/null
else
    echo "redraw_bench skipped: no DISPLAY and no xvfb-run (Debian package xvfb)"
fi
