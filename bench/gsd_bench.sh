#!/usr/bin/env bash
# GSD reading: open+index and one frame for 100,000 and 1,000,000 particles, this reader against gsd.hoomd.
#   bench/gsd_bench.sh [work-folder [varying_bench]]   (default: a fresh folder under /tmp, removed at the end)
# Given the built varying_bench (build/bench/varying_bench), the viewer's own OpenFile + ReadFrame run too.
# Files are written with the gsd package (Debian: python3-gsd): 10 frames, frame 0 with every particle
# attribute, the later ones with positions and orientations. Both readers run on a warm page cache.
# The first frame read faults in its tables (about 180 bytes per particle as doubles); on a virtual machine
# where fresh pages are dear that dominates it, so later reads (tables reused) show the reader itself.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
python=/usr/bin/python3
[ -x "$python" ] || python=python3
work="${1:-}"
viewer="${2:-}"
if [ -z "$work" ]; then
    work="$(mktemp -d /tmp/ovalix_gsd_bench.XXXXXX)"
    trap 'rm -rf "$work"' EXIT
fi
mkdir -p "$work"
if ! "$python" -c 'import gsd.hoomd' </dev/null 2>/dev/null; then
    echo "gsd_bench: the python gsd package is missing (Debian: python3-gsd)" >&2
    exit 77
fi
${CXX:-g++} -std=c++17 -O2 -Wall -Wextra -I"$root" "$root/bench/gsd_bench.cpp" "$root/io/gsd/gsd_file.cpp" \
    "$root/io/gsd/gsd_hoomd.cpp" -o "$work/gsd_bench"

for n in 100000 1000000; do
    file="$work/particles_$n.gsd"
    "$python" - "$file" "$n" </dev/null <<'PY'
import sys
import numpy as np
import gsd.hoomd
name, n = sys.argv[1], int(sys.argv[2])
rng = np.random.default_rng(1)
with gsd.hoomd.open(name=name, mode='wb') as f:
    for i in range(10):
        s = gsd.hoomd.Snapshot()
        s.configuration.step = i * 1000
        s.configuration.box = [100, 100, 100, 0, 0, 0]
        s.particles.N = n
        s.particles.position = rng.uniform(-50, 50, (n, 3)).astype(np.float32)
        q = rng.normal(size=(n, 4)).astype(np.float32)
        s.particles.orientation = q / np.linalg.norm(q, axis=1)[:, None]
        if i == 0:
            s.particles.types = ['A', 'B']
            s.particles.typeid = rng.integers(0, 2, n).astype(np.uint32)
            s.particles.diameter = rng.uniform(0.5, 1.5, n).astype(np.float32)
            s.particles.velocity = rng.normal(size=(n, 3)).astype(np.float32)
            s.log['particles/energy'] = rng.normal(size=n).astype(np.float32)
        f.append(s)
PY
    echo "---- $n particles: $(du -h "$file" | cut -f1), frame 7"
    "$work/gsd_bench" "$file" 7 5 </dev/null
    if [ -n "$viewer" ]; then "$viewer" gsd "$file" 7 5 </dev/null; fi
    "$python" - "$file" </dev/null <<'PY'
import sys, time
import gsd.hoomd
name = sys.argv[1]
opens, reads = [], []
for _ in range(5):
    start = time.perf_counter()
    f = gsd.hoomd.open(name=name, mode='rb')
    opens.append(time.perf_counter() - start)
    start = time.perf_counter()
    s = f[7]
    check = float(s.particles.position[-1, -1]) + float(s.particles.orientation[-1, -1])
    reads.append(time.perf_counter() - start)
    f.close()
median = lambda v: sorted(v)[len(v) // 2] * 1000
print('gsd.hoomd N=%d frame 7: open+index %.3f ms, frame %.3f ms (median of 5; check %.6g)'
      % (s.particles.N, median(opens), median(reads), check))
PY
    start=$(date +%s.%N)
    "$work/gsd_bench" "$file" 7 1 </dev/null >/dev/null
    middle=$(date +%s.%N)
    "$python" -c "import gsd.hoomd; f = gsd.hoomd.open('$file', 'rb'); s = f[7]" </dev/null
    end=$(date +%s.%N)
    if [ -n "$viewer" ]; then
        start=$(date +%s.%N)
        "$viewer" gsd "$file" 7 1 </dev/null >/dev/null
        end=$(date +%s.%N)
        echo "whole process, viewer OpenFile + ReadFrame of frame 7: $(echo "($end - $start) * 1000" | bc) ms"
    fi
    echo "whole process, open + frame 7: ovalix $(echo "($middle - $start) * 1000" | bc) ms, python3 -c gsd.hoomd $(echo "($end - $middle) * 1000" | bc) ms"
done
