#!/usr/bin/env bash
# Frame reading on every core and images written aside, before against after: two ovalix binaries run by turns
# on the same files in one run, each figure the median of the rounds.
#   bench/threads_bench.sh BEFORE_BIN AFTER_BIN [ROUNDS [PATTERN]]   (default 3 rounds, every figure whose name
#   matches PATTERN; needs python3-gsd and numpy)
# Figures (offscreen, llvmpipe, 1024 x 640):
#   frame step at 10^6 ellipsoids, ray-cast, GSD and dump: (6-frame run - 1-frame run) / 5, read + draw + PNG
#   offscreen PNG per frame at 10^5 particles (dump), ray-cast and adaptive detail: (21-frame run - 1-frame run) / 20
# (more frames than 3 and 11: the start of a run varies by a tenth of a second and more)
# The files are written to a fresh folder under /tmp and removed at the end.
set -euo pipefail
before="$1"
after="$2"
rounds="${3:-3}"
pattern="${4:-}"
python=/usr/bin/python3
work="$(mktemp -d /tmp/ovalix_threads_bench.XXXXXX)"
trap 'rm -rf "$work"' EXIT

"$python" - "$work" </dev/null <<'PY'
import sys
import numpy as np
import gsd.hoomd
work = sys.argv[1]
rng = np.random.default_rng(7)

def frame(n):
    edge = (2.0 * n) ** (1 / 3)  # number density 0.5: a dense block
    position = rng.uniform(-edge / 2, edge / 2, (n, 3))
    q = rng.normal(size=(n, 4))
    return position, q / np.linalg.norm(q, axis=1)[:, None]

def write_dump(name, n, frames):
    with open(name, 'w') as f:
        for t in range(frames):
            position, q = frame(n)
            f.write('ITEM: TIMESTEP\n%d\nITEM: NUMBER OF ATOMS\n%d\nITEM: BOX BOUNDS pp pp pp\n' % (100 * t, n))
            f.write('0 1\n0 1\n0 1\nITEM: ATOMS id type x y z quatw quati quatj quatk\n')
            table = np.column_stack([np.arange(1, n + 1), 1 + np.arange(n) % 2, position, q])
            np.savetxt(f, table, fmt='%d %d %.5f %.5f %.5f %.6f %.6f %.6f %.6f')

def write_gsd(name, n, frames):
    with gsd.hoomd.open(name=name, mode='wb') as f:
        for t in range(frames):
            s = gsd.hoomd.Snapshot() if not hasattr(gsd.hoomd, 'Frame') else gsd.hoomd.Frame()
            s.configuration.step = 100 * t
            s.particles.N = n
            s.particles.types = ['A', 'B']
            s.particles.typeid = (np.arange(n) % 2).astype(np.uint32)
            s.particles.type_shapes = [{'type': 'Ellipsoid', 'a': 1.5, 'b': 0.5, 'c': 0.5},
                                       {'type': 'Ellipsoid', 'a': 1.0, 'b': 0.6, 'c': 0.4}]
            position, q = frame(n)
            s.particles.position = position.astype(np.float32)
            s.particles.orientation = q.astype(np.float32)
            f.append(s)

write_dump(work + '/million.dump', 1000000, 6)
write_gsd(work + '/million.gsd', 1000000, 6)
write_dump(work + '/tenth.dump', 100000, 21)
for name in ('million', 'tenth'):
    with open('%s/%s.cfg' % (work, name), 'w') as f:
        f.write('dumpfile %s.dump\nspecies 2\nhalf_radii 1 1.5 0.5 0.5\nhalf_radii 2 1.0 0.6 0.4\n'
                'color 1 0.85 0.20 0.15\ncolor 2 0.15 0.45 0.85\nbond_vector 1 1 0 0 0\nbond_vector 2 1 0 0 0\n'
                'background 1 1 1\nfit_view\n' % name)
PY

# Seconds of one offscreen run: binary, last frame, input, drawing switch.
seconds() {
    local out="$work/out"
    rm -rf "$out" && mkdir "$out"
    local start end
    start=$(date +%s.%N)
    (cd "$work" && env -u DISPLAY "$1" --render --frames "0:$2" "$4" --out "$out" "$3" </dev/null >/dev/null 2>&1)
    end=$(date +%s.%N)
    echo "$end - $start" | bc
}

# Per-frame seconds: (run of last+1 frames - run of 1 frame) / last.
per_frame() {
    local many one
    many=$(seconds "$1" "$2" "$3" "$4")
    one=$(seconds "$1" 0 "$3" "$4")
    echo "($many - $one) / $2" | bc -l
}

median() { sort -g | awk '{v[NR] = $1} END {printf "%.3f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg); $(nproc) cores"
figures=("frame step, 10^6 GSD, ray-cast|5|million.gsd|--raycast"
         "frame step, 10^6 dump, ray-cast|5|million.cfg|--raycast"
         "PNG per frame, 10^5 dump, ray-cast|20|tenth.cfg|--raycast"
         "PNG per frame, 10^5 dump, adaptive|20|tenth.cfg|--adaptive-detail")
for figure in "${figures[@]}"; do
    IFS='|' read -r name last input switch <<<"$figure"
    [[ "$name" =~ $pattern ]] || continue
    : >"$work/before" && : >"$work/after"
    for ((round = 0; round < rounds; ++round)); do
        per_frame "$before" "$last" "$input" "$switch" >>"$work/before"
        per_frame "$after" "$last" "$input" "$switch" >>"$work/after"
    done
    printf '%-40s before %s s  after %s s  (rounds: before %s; after %s)\n' "$name" "$(median <"$work/before")" \
        "$(median <"$work/after")" "$(tr '\n' ' ' <"$work/before" | xargs printf '%.2f ')" \
        "$(tr '\n' ' ' <"$work/after" | xargs printf '%.2f ')"
done
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
