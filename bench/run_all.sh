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
