#!/usr/bin/env bash
# Fuzzes the file readers with libFuzzer for a given time each, OVALIX_JOBS targets (default 2) at a time.
#   tests/fuzz/run_fuzz.sh [seconds-per-target] [target...]      targets: config dump dump_header pdb bonds atom_line gzip gsd (default: all)
#   tests/fuzz/run_fuzz.sh --build-only [target...]              builds the targets and stops
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
build_only=false
[ "$seconds" = --build-only ] && build_only=true
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
      -DOVALIX_FUZZ=ON -DOVALIX_TESTS=OFF -DOVALIX_BENCH=OFF -DOVALIX_PYTHON=OFF || exit 1
cmake --build "$build" -j "$jobs" --target "${targets[@]/#/fuzz_}" || exit 1
$build_only && exit 0

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

# Seeds the working corpus of one target and fuzzes it; its result is the fuzzer's status.
fuzz_one() {
    local target="$1" corpus="$build/corpus/$1" artifacts="$build/artifacts/$1"
    mkdir -p "$corpus" "$artifacts"
    for seed in tests/fuzz/corpus/"$target"/* tests/fuzz/regressions/"$target"/* $(data_files "$target"); do
        [ -f "$seed" ] && cp -f "$seed" "$corpus/seed_$(basename "$seed")"
    done
    # One process on one core; an input that runs 10 s or needs 2 GiB counts as a failure.
    "$build/tests/fuzz/fuzz_$target" "$corpus" -dict="tests/fuzz/$target.dict" -max_total_time="$seconds" \
        -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/" \
        </dev/null >"$build/fuzz_$target.log" 2>&1
}

# What one finished target reports; non-zero when it found something.
report() {
    local target="$1" result="$2" log="$build/fuzz_$1.log"
    echo "==== fuzz_$target: $seconds s"
    grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|Done)' "$log" | tr '\n' ' '
    echo
    if [ "$result" -ne 0 ]; then
        echo "fuzz_$target FAILED; the end of $log:"
        tail -n 40 "$log"
        ls -1 "$build/artifacts/$target"
        return 1
    fi
}

# As many targets at a time as there are jobs (each fuzzer keeps one core busy), reported in their order.
status=0
for ((first = 0; first < ${#targets[@]}; first += jobs)); do
    batch=("${targets[@]:first:jobs}")
    pids=()
    for target in "${batch[@]}"; do
        fuzz_one "$target" &
        pids+=($!)
    done
    for k in "${!batch[@]}"; do
        wait "${pids[$k]}"
        report "${batch[$k]}" $? || status=1
    done
done
exit $status
