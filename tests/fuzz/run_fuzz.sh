#!/usr/bin/env bash
# Fuzzes the file readers with libFuzzer, one target after the other, for a given time each.
#   tests/fuzz/run_fuzz.sh [seconds-per-target] [target...]      targets: config dump dump_header pdb bonds atom_line gzip gsd (default: all)
# Builds the targets with clang++ in build-fuzz/ (OVALIX_FUZZ_BUILD overrides), seeds each working corpus from
# tests/fuzz/corpus/<target>/, tests/fuzz/regressions/<target>/ and the small files of ../shared/data
# (OVALIX_DATA overrides), and keeps the grown corpus in the build folder between runs. A crashing input is
# written to <build>/artifacts/<target>/; the script then stops with status 1. Keep such an input under
# tests/fuzz/regressions/<target>/ once it is fixed: the unit tests replay every file there.
set -uo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
cd "$root"
seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(config dump dump_header pdb bonds atom_line gzip gsd)
build="${OVALIX_FUZZ_BUILD:-build-fuzz}"
data="${OVALIX_DATA:-$root/../shared/data}"
jobs="${OVALIX_JOBS:-2}"

if ! command -v clang++ >/dev/null 2>&1; then
    echo "clang++ is needed for the fuzz targets (Debian: clang, libclang-rt-dev)." >&2
    exit 1
fi
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DOVALIX_FUZZ=ON -DOVALIX_TESTS=OFF -DOVALIX_BENCH=OFF || exit 1
cmake --build "$build" -j "$jobs" --target "${targets[@]/#/fuzz_}" || exit 1

# Data files of one target kind, small enough to keep the fuzzer fast.
data_files() {
    case "$1" in
        config) find "$data" -name '*.cfg' ;;
        dump) find "$data" -name '*.dump' -size -48k ;;
        gzip) find "$data" -name '*.dump' -size -48k ;;  # as text: its first two bytes pick members and damage
        pdb) find "$data" -name '*.pdb' -size -48k ;;
        bonds) find "$data" -name '*.bonds' ;;
        dump_header | atom_line | gsd) ;;
    esac 2>/dev/null
}

status=0
for target in "${targets[@]}"; do
    corpus="$build/corpus/$target"
    artifacts="$build/artifacts/$target"
    mkdir -p "$corpus" "$artifacts"
    for seed in tests/fuzz/corpus/"$target"/* tests/fuzz/regressions/"$target"/* $(data_files "$target"); do
        [ -f "$seed" ] && cp -f "$seed" "$corpus/seed_$(basename "$seed")"
    done
    echo "==== fuzz_$target: $seconds s"
    log="$build/fuzz_$target.log"
    # One process on one core; an input that runs 10 s or needs 2 GiB counts as a failure.
    "$build/tests/fuzz/fuzz_$target" "$corpus" -dict="tests/fuzz/$target.dict" -max_total_time="$seconds" \
        -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/" \
        </dev/null >"$log" 2>&1
    result=$?
    grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|Done)' "$log" | tr '\n' ' '
    echo
    if [ $result -ne 0 ]; then
        echo "fuzz_$target FAILED; the end of $log:"
        tail -n 40 "$log"
        ls -1 "$artifacts"
        status=1
    fi
done
exit $status
