#!/usr/bin/env bash
# Ten million ellipsoids from a GSD file, ray-cast offscreen (llvmpipe, 1024 x 640): the peak resident memory of
# the whole run and the time per frame, (4-frame run - 1-frame run) / 3, read + draw + PNG.
#   bench/ten_million_bench.sh OVALIX_BIN [PARTICLES]   (default 10,000,000; needs python3-gsd, numpy and GNU time)
# The system: two species of rods (half radii 1.5 0.5 0.5 and 1.0 0.6 0.4), random orientations, number density
# 0.5 in a periodic box, 4 frames (1.2 GB at 10^7), written to a fresh folder under /tmp and removed at the end.
set -euo pipefail
ovalix="$1"
particles="${2:-10000000}"
python=/usr/bin/python3
[ -x /usr/bin/time ] || { echo "GNU time is missing (Debian package time)." >&2; exit 1; }
work="$(mktemp -d /tmp/ovalix_ten_million.XXXXXX)"
trap 'rm -rf "$work"' EXIT

"$python" - "$work/ten.gsd" "$particles" </dev/null <<'PY'
import sys
import numpy as np
import gsd.hoomd
name, n = sys.argv[1], int(sys.argv[2])
rng = np.random.default_rng(7)
edge = (2.0 * n) ** (1 / 3)
with gsd.hoomd.open(name=name, mode='wb') as f:
    for t in range(4):
        s = gsd.hoomd.Frame() if hasattr(gsd.hoomd, 'Frame') else gsd.hoomd.Snapshot()
        s.configuration.step = 100 * t
        s.configuration.box = [edge, edge, edge, 0, 0, 0]
        s.particles.N = n
        s.particles.types = ['A', 'B']
        s.particles.typeid = (np.arange(n) % 2).astype(np.uint32)
        s.particles.type_shapes = [{'type': 'Ellipsoid', 'a': 1.5, 'b': 0.5, 'c': 0.5},
                                   {'type': 'Ellipsoid', 'a': 1.0, 'b': 0.6, 'c': 0.4}]
        s.particles.position = rng.uniform(-edge / 2, edge / 2, (n, 3)).astype(np.float32)
        q = rng.normal(size=(n, 4)).astype(np.float32)
        s.particles.orientation = q / np.linalg.norm(q, axis=1)[:, None]
        f.append(s)
PY

# One offscreen run to the last frame given: "SECONDS PEAK_KIB".
run() {
    rm -rf "$work/out" && mkdir "$work/out"
    (cd "$work" && env -u DISPLAY /usr/bin/time -f '%e %M' -o "$work/time" "$ovalix" --render --raycast --frames "0:$1" \
        --out "$work/out" ten.gsd </dev/null >/dev/null 2>&1)
    cat "$work/time"
}

read -r one onePeak < <(run 0)
read -r four fourPeak < <(run 3)
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg); $(nproc) cores; $particles ellipsoids"
echo "1 frame: $one s, peak resident $((onePeak / 1024)) MiB"
echo "4 frames: $four s, peak resident $((fourPeak / 1024)) MiB"
echo "per frame: $(echo "scale=2; ($four - $one) / 3" | bc) s"
