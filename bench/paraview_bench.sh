#!/usr/bin/env bash
# ParaView 5.11 against Ovalix on the same dense system of ellipsoids, same camera, 1024 x 640, both in Mesa's
# software renderer (ParaView under Xvfb, Ovalix offscreen with --cpu).
#   bench/paraview_bench.sh [PARTICLES ...]   (default 100000 1000000; needs pvbatch from the Debian paraview
#   and python3-paraview packages, xvfb-run, python3-gsd and numpy)
# Per particle count N (two species of rods, half radii 1.5 0.5 0.5 and 1.0 0.6 0.4, random orientations, number
# density 0.5 in a periodic box; 11 frames in a GSD file for Ovalix, frame 0 in a binary VTK XML file for ParaView):
#   launch to written image: the whole process, wall time from this shell
#     ParaView: pvbatch --force-offscreen-rendering bench/paraview_glyphs.py (3D Glyphs, 8 x 8 spheres scaled
#               per component, oriented by the quaternion, coloured by species)
#     Ovalix:   ovalix --render --raycast of frame 0 alone
#   render alone: ParaView's second Render() of the same view (timed inside a second pvbatch run); Ovalix's
#     per-frame time of an 11-frame run, (11-frame run - 1-frame run) / 10
# Both draw from the camera of Ovalix's fit view of frame 0. Environment:
#   OVALIX_BIN=PATH          the ovalix to measure (default build/ovalix of this checkout)
#   OVALIX_PV_ROUNDS=K       runs of each figure, the median shown (default 1)
#   OVALIX_PV_PICTURES=DIR   keep the two images of the largest N there (paraview_N.png, ovalix_N.png)
# The files are written to a fresh folder under /tmp and removed at the end.
set -euo pipefail
shopt -s inherit_errexit  # a failed run inside $(...) ends the benchmark
root="$(cd "$(dirname "$0")/.." && pwd)"
for tool in pvbatch xvfb-run bc; do
    command -v "$tool" >/dev/null || { echo "$tool is missing (Debian packages paraview, xvfb, bc)." >&2; exit 1; }
done
# pvbatch needs an X display even offscreen: the whole run goes under one private Xvfb, started once, so
# that no figure counts its start.
if [ -z "${OVALIX_PV_UNDER_XVFB:-}" ]; then
    OVALIX_PV_UNDER_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x1024x24 +extension GLX" "$0" "$@"
fi
ovalix="${OVALIX_BIN:-$root/build/ovalix}"
[ -x "$ovalix" ] || { echo "No ovalix at $ovalix: build it (Release) or set OVALIX_BIN." >&2; exit 1; }
rounds="${OVALIX_PV_ROUNDS:-1}"
pictures="${OVALIX_PV_PICTURES:-}"
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(100000 1000000)
largest=$(printf '%s\n' "${counts[@]}" | sort -g | tail -1)
python=/usr/bin/python3
work="$(mktemp -d /tmp/ovalix_paraview_bench.XXXXXX)"
trap 'rm -rf "$work"' EXIT

# N.gsd (11 frames), N.vtp (frame 0: points, scale, orientation, species) and N.camera (Ovalix's fit view).
write_system() {
    "$python" - "$work" "$1" </dev/null <<'PY'
import math
import sys
import numpy as np
import gsd.hoomd
work, n = sys.argv[1], int(sys.argv[2])
rng = np.random.default_rng(7)
half_radii = np.array([[1.5, 0.5, 0.5], [1.0, 0.6, 0.4]], dtype=np.float32)
species = (np.arange(n) % 2).astype(np.uint32)
edge = (2.0 * n) ** (1 / 3)  # number density 0.5: a dense block

def frame():
    position = rng.uniform(-edge / 2, edge / 2, (n, 3)).astype(np.float32)
    q = rng.normal(size=(n, 4))
    return position, (q / np.linalg.norm(q, axis=1)[:, None]).astype(np.float32)

frames = [frame() for _ in range(11)]
with gsd.hoomd.open(name='%s/%d.gsd' % (work, n), mode='wb') as f:
    for t, (position, q) in enumerate(frames):
        s = gsd.hoomd.Frame() if hasattr(gsd.hoomd, 'Frame') else gsd.hoomd.Snapshot()
        s.configuration.step = 100 * t
        s.configuration.box = [edge, edge, edge, 0, 0, 0]
        s.particles.N = n
        s.particles.types = ['A', 'B']
        s.particles.typeid = species
        s.particles.type_shapes = [{'type': 'Ellipsoid', 'a': 1.5, 'b': 0.5, 'c': 0.5},
                                   {'type': 'Ellipsoid', 'a': 1.0, 'b': 0.6, 'c': 0.4}]
        s.particles.position = position
        s.particles.orientation = q
        f.append(s)

# Frame 0 as VTK XML poly data, every array raw binary after the header (each behind its 64-bit byte count).
position, q = frames[0]
arrays = [('scale', 3, 'Float32', half_radii[species]), ('orientation', 4, 'Float32', q),
          ('species', 1, 'Int32', (species + 1).astype(np.int32)), (None, 3, 'Float32', position)]
offset, tags = 0, []
for name, components, kind, values in arrays:
    named = ' Name="%s"' % name if name else ''
    tags.append('<DataArray type="%s"%s NumberOfComponents="%d" format="appended" offset="%d"/>'
                % (kind, named, components, offset))
    offset += 8 + np.ascontiguousarray(values).nbytes
with open('%s/%d.vtp' % (work, n), 'wb') as f:
    f.write(('<?xml version="1.0"?>\n<VTKFile type="PolyData" version="1.0" byte_order="LittleEndian" '
             'header_type="UInt64">\n<PolyData>\n<Piece NumberOfPoints="%d" NumberOfVerts="0" NumberOfLines="0" '
             'NumberOfStrips="0" NumberOfPolys="0">\n<PointData>\n%s\n</PointData>\n<Points>\n%s\n</Points>\n'
             '</Piece>\n</PolyData>\n<AppendedData encoding="raw">\n_' % (n, '\n'.join(tags[:3]), tags[3])).encode())
    for _, _, _, values in arrays:
        data = np.ascontiguousarray(values).astype('<' + values.dtype.str[1:]).tobytes()
        f.write(np.uint64(len(data)).tobytes() + data)
    f.write(b'\n</AppendedData>\n</VTKFile>\n')

# Ovalix's fit view (the key z from the start-up view): eye on +z of the frame's mean, which it looks at with y up,
# at the distance where the sphere round every ellipsoid fills 90 % of the height under the 45-degree field of view.
centre = position.astype(np.float64).mean(axis=0)
radius = np.sqrt(((position.astype(np.float64) - centre) ** 2).sum(axis=1)).max() + half_radii.max()
distance = radius / math.sin(math.atan(0.9 * math.tan(math.radians(22.5))))
with open('%s/%d.camera' % (work, n), 'w') as f:
    f.write('%.9g %.9g %.9g  %.9g %.9g %.9g  0 1 0  45\n' % (centre[0], centre[1], centre[2] + distance, *centre))
PY
}

# Seconds of one command, wall time.
seconds() {
    local start end
    start=$(date +%s.%N)
    "$@"
    end=$(date +%s.%N)
    echo "$end - $start" | bc
}

# Ovalix offscreen, ray-cast, frames 0 to $2 of N.gsd into $work/out; its messages kept in $work/ovalix.log.
ovalix_run() {
    rm -rf "$work/out" && mkdir "$work/out"
    (cd "$work" && env -u DISPLAY "$ovalix" --render --cpu --raycast --frames "0:$2" --out "$work/out" "$1.gsd" \
        </dev/null >"$work/ovalix.log" 2>&1) || { cat "$work/ovalix.log" >&2; return 1; }
}

# ParaView's run writing the image ($2 = colours), or with --time-render as $3 its timing run; its messages, the
# line "ParaView render alone: S s" among them, kept in $work/paraview.log.
paraview_run() {
    pvbatch --force-offscreen-rendering "$root/bench/paraview_glyphs.py" "$work/$1.vtp" "$work/$1.camera" \
        "${3:-$work/paraview.png}" "$2" </dev/null >"$work/paraview.log" 2>&1 || { cat "$work/paraview.log" >&2; return 1; }
}

median() { sort -g | awk '{v[NR] = $1} END {printf "%.2f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg); $(nproc) cores; $rounds round(s); $ovalix"
printf '%10s | %-42s | %s\n' "" "launch to written image (s)" "render alone (s); ratio: ParaView / Ovalix"
printf '%10s | %10s %10s %10s     | %10s %12s %10s\n' particles ParaView Ovalix ratio ParaView "Ovalix/frame" ratio
for n in "${counts[@]}"; do
    write_system "$n"
    : >"$work/pv_launch" && : >"$work/pv_render" && : >"$work/ov_launch" && : >"$work/ov_frame"
    for ((round = 0; round < rounds; ++round)); do
        one=$(seconds ovalix_run "$n" 0)
        echo "$one" >>"$work/ov_launch"
        cp "$work/out/$n.gsd_0000.png" "$work/ovalix.png"
        many=$(seconds ovalix_run "$n" 10)
        echo "($many - $one) / 10" | bc -l >>"$work/ov_frame"
        # ParaView's colours are Ovalix's, read from the configuration it prints ("color N R G B").
        colours=$(awk '$1 == "color" {printf "%s%s,%s,%s", sep, $3, $4, $5; sep = ";"}' "$work/ovalix.log")
        seconds paraview_run "$n" "$colours" >>"$work/pv_launch"
        paraview_run "$n" "$colours" --time-render
        awk '/ParaView render alone/ {print $(NF - 1)}' "$work/paraview.log" >>"$work/pv_render"
    done
    pl=$(median <"$work/pv_launch") ol=$(median <"$work/ov_launch")
    pr=$(median <"$work/pv_render") of=$(median <"$work/ov_frame")
    printf '%10d | %10s %10s %9.1fx     | %10s %12s %9.1fx\n' "$n" "$pl" "$ol" "$(echo "$pl / $ol" | bc -l)" \
        "$pr" "$of" "$(echo "$pr / $of" | bc -l)"
    if [ -n "$pictures" ] && [ "$n" = "$largest" ]; then
        mkdir -p "$pictures"
        cp "$work/paraview.png" "$pictures/paraview_$n.png"
        cp "$work/ovalix.png" "$pictures/ovalix_$n.png"
    fi
    rm -f "$work/$n".*
done
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
