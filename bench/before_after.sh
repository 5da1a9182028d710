#!/bin/sh
# Plain dump reads of a baseline revision against the working tree, in one run on one file: the baseline is
# taken with `git archive` into a temporary folder, bench/frame_read_bench.cpp is built against both, and the
# two run by turns on a dump of 100,000 particles x 20 frames (142 MB).
# Usage: bench/before_after.sh [REVISION] [ROUNDS]     defaults: where HEAD left main (git merge-base), 5
#   build directory of the working tree: $OVALIX_BENCH_BUILD or build-bench; everything else is removed after.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
revision=${1:-$(git -C "$root" merge-base main HEAD)}
rounds=${2:-5}
build=${OVALIX_BENCH_BUILD:-$root/build-bench}
work=$(mktemp -d "${TMPDIR:-/tmp}/ovalix_before_after_XXXXXX")
trap 'rm -rf "$work"' EXIT

mkdir "$work/src"
git -C "$root" archive "$revision" | tar -x -C "$work/src"
cp "$root/bench/frame_read_bench.cpp" "$work/src/bench/"
cat >>"$work/src/bench/CMakeLists.txt" <<'CMAKE'
add_executable(frame_read_bench frame_read_bench.cpp ${CMAKE_SOURCE_DIR}/tests/support/exit_throws.cpp)
target_link_libraries(frame_read_bench PRIVATE ovalix_core)
CMAKE
cmake -S "$work/src" -B "$work/build" -DCMAKE_BUILD_TYPE=Release -DOVALIX_TESTS=OFF </dev/null >/dev/null
cmake --build "$work/build" --target frame_read_bench -j2 </dev/null >/dev/null
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DOVALIX_BENCH=ON </dev/null >/dev/null
cmake --build "$build" --target frame_read_bench dump_bench -j2 </dev/null >/dev/null
"$build/bench/dump_bench" --generate "$work/bench.dump" </dev/null >/dev/null

echo "before: $revision ($(git -C "$root" rev-parse --short "$revision")), after: the working tree;" \
     "load average $(cut -d' ' -f1-3 /proc/loadavg)"
round=1
while [ "$round" -le "$rounds" ]; do
    for side in before after; do
        if [ "$side" = before ]; then bench="$work/build/bench/frame_read_bench"; else bench="$build/bench/frame_read_bench"; fi
        "$bench" "$work/bench.dump" </dev/null | sed "s/^/$side|/" | sed -E 's/ +best +/|/; s/ ms +median +/|/; s/ ms .*//' |
            tee -a "$work/rows"
    done
    round=$((round + 1))
done
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"

# Per measurement: the best CPU time and the median of the rounds' medians on each side, and after / before.
echo
awk -F'|' '{ key = $2; sub(/ +$/, "", key); if (!(key in seen)) { order[++n] = key; seen[key] = 1 }
           if (!(($1, key) in best) || $3 + 0 < best[$1, key]) best[$1, key] = $3 + 0
           medians[$1, key] = medians[$1, key] " " $4 }
     function median(list,    v, m, i, j, t) { m = split(list, v, " ")
         for (i = 1; i <= m; ++i) for (j = i + 1; j <= m; ++j) if (v[j] + 0 < v[i] + 0) { t = v[i]; v[i] = v[j]; v[j] = t }
         return v[int((m + 1) / 2)] }
     END { for (i = 1; i <= n; ++i) { k = order[i]; b = median(medians["before", k]); a = median(medians["after", k])
           printf "%-28s best: before %8.3f ms, after %8.3f ms (%+.1f%%); median: before %8.3f ms, after %8.3f ms (%+.1f%%)\n",
                  k, best["before", k], best["after", k], 100 * (best["after", k] / best["before", k] - 1),
                  b, a, 100 * (a / b - 1) } }' "$work/rows"
