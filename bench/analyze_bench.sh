#!/bin/bash
# ovalix --analyze of a 100-frame trajectory of 100,000 rods (a GSD file written here with python3-gsd): the whole
# process timed, frames per second. Usage: bench/analyze_bench.sh [BUILD_DIR] [WORK_DIR]
set -euo pipefail
build=${1:-build}
work=${2:-$(mktemp -d)}
/usr/bin/python3 - "$work/rods.gsd" <<'PY'
import sys

import gsd.hoomd
import numpy as np

n, frames, density = 100_000, 100, 0.32
length = (n / density) ** (1 / 3)
rng = np.random.default_rng(27)
position = rng.uniform(-length / 2, length / 2, (n, 3))
Frame = getattr(gsd.hoomd, "Frame", None) or gsd.hoomd.Snapshot  # gsd 3 renamed it and the write mode
with gsd.hoomd.open(sys.argv[1], "w" if hasattr(gsd.hoomd, "Frame") else "wb") as f:
    for k in range(frames):
        frame = Frame()
        frame.configuration.step = 1000 * k
        frame.configuration.box = [length, length, length, 0, 0, 0]
        frame.particles.N = n
        frame.particles.types = ["rod"]
        frame.particles.type_shapes = [{"type": "Ellipsoid", "a": 1.5, "b": 0.5, "c": 0.5}]
        position = np.mod(position + rng.normal(0, 0.05, (n, 3)) + length / 2, length) - length / 2
        frame.particles.position = position.astype(np.float32)
        # near x in the lower half, near y in the upper, growing apart frame by frame
        q = np.zeros((n, 4))
        q[:, 0] = 1
        upper = position[:, 2] > 0
        q[upper] = [np.sqrt(0.5), 0, 0, np.sqrt(0.5)]
        q += rng.normal(0, 0.1 * (1 - k / frames), (n, 4))
        frame.particles.orientation = (q / np.linalg.norm(q, axis=1)[:, None]).astype(np.float32)
        f.append(frame)
PY
start=$(date +%s.%N)
"$build/ovalix" --analyze --out "$work/table.csv" "$work/rods.gsd" 2>/dev/null
end=$(date +%s.%N)
rows=$(($(wc -l < "$work/table.csv") - 1))
echo "ovalix --analyze: $rows frames of 100000 rods in $(echo "$end - $start" | bc) s," \
     "$(echo "scale=2; $rows / ($end - $start)" | bc) frames/s on $(nproc) cores"
tail -1 "$work/table.csv"
