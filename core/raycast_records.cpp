// Per-particle records of the ray-cast drawing, computed as the tessellated drawing would set its matrices.
#include "core/raycast_records.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/geometry.h"
#include "core/occlusion.h"
#include "core/order.h"
#include "core/parallel.h"
#include "core/derived_quantities.h"
#include "core/quantity_colour.h"
#include "core/scene.h"
#include "core/transparency.h"
#include "core/visibility.h"

// Hidden species and the slab cut: the one visibility test of every drawing. The drawing compares that state
// with what its records were filled from.
bool ParticleShown(long long atom, const std::vector<double>& centre) { return AtomShown(atom, centre); }

// glRotate normalises its axis and ignores an axis shorter than 1e-4 (Mesa); the angle comes from w alone.
void DrawnRotation(const double* quaternion, float* unit) {
    double degrees = 0, axis[3] = {0, 0, 0};
    QuaternionAxisAngle(quaternion, degrees, axis);
    double length = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
    if (degrees == 0 || !(length > 1e-4) || !std::isfinite(degrees)) {
        unit[0] = 1.0f;
        unit[1] = unit[2] = unit[3] = 0.0f;
        return;
    }
    double half = degrees * pi / 360.0, s = std::sin(half) / length;
    unit[0] = static_cast<float>(std::cos(half));
    for (int k = 0; k < 3; ++k) unit[k + 1] = static_cast<float>(axis[k] * s);
}

static unsigned char ColourByte(double value) {
    return static_cast<unsigned char>(std::lround(255.0 * std::clamp(std::isnan(value) ? 0.0 : value, 0.0, 1.0)));
}

bool FillRaycastRecord(long long atom, const double* centre, RaycastRecord& record) {
    const double* row = GeomRow(atom);
    int n = AtomSpecies(atom);
    double position[3], half[3];
    for (int k = 0; k < 3; ++k) {
        position[k] = row[GEOM_X + k] - centre[k];
        // A negative half radius mirrors the sphere, which draws the same surface.
        half[k] = std::fabs(entry(shape, SPECIES_STRIDE * (n - 1LL) + k, "shape"));
    }
    // A flat or infinite ellipsoid shows no pixel; beyond single precision OpenGL could not place it.
    if (!FitsInFloat(position, 3) || !FitsInFloat(half, 3)) return false;
    if (!(half[0] > 0 && half[1] > 0 && half[2] > 0)) return false;
    for (int k = 0; k < 3; ++k) {
        record.centre[k] = static_cast<float>(position[k]);
        record.half[k] = static_cast<float>(half[k]);
        if (!(record.half[k] > 0)) return false;  // below the smallest float
    }
    DrawnRotation(row + GEOM_QW, record.rotation);
    float diffuse[3];
    for (int k = 0; k < 3; ++k) diffuse[k] = static_cast<float>(entry(color, SPECIES_STRIDE * (n - 1LL) + k, "color"));
    if (!QuantityColour(atom, diffuse)) OrientationColour(n, row + GEOM_QW, diffuse);
    for (int k = 0; k < 3; ++k) record.colour[k] = ColourByte(diffuse[k]);
    record.colour[3] = OpacityByte(AtomOpacity(atom));  // 255 for an opaque atom
    record.occlusion = OcclusionFactor(atom);
    return true;
}

namespace {

// Records of atoms [begin, end) in order from `records` on; false, with none promised, at an atom whose species
// is not one (the one-thread fill then stops the program at the first such atom, as it always did).
bool FillPart(long long begin, long long end, const std::vector<double>& centre, RaycastRecord* records,
              long long& count) {
    count = 0;
    for (long long i = begin; i < end; ++i) {
        const double type = geom[static_cast<std::size_t>(i * GEOM_STRIDE + GEOM_TYPE)];
        if (!(type >= 1 && type < species + 1.0)) return false;
        if (ParticleShown(i, centre) && AtomDrawnOpaque(i) && FillRaycastRecord(i, centre.data(), records[count])) ++count;
    }
    return true;
}

// Every table an atom's record reads holds every atom, so that no index check can end the program from a worker.
// Colours by a derived quantity, worked out when first asked for, stay on this thread.
bool TablesHoldEveryAtom() {
    const auto holds = [](const std::vector<double>& table, long long rows, long long stride) {
        return static_cast<long long>(table.size()) >= rows * stride;
    };
    if (!holds(geom, atoms, GEOM_STRIDE) || !holds(shape, species, SPECIES_STRIDE) || !holds(color, species, SPECIES_STRIDE))
        return false;
    if (colourQuantity == SPECIES_COLOURS || colourQuantity >= QuantityCount()) return true;
    const long long stride = static_cast<long long>(quantityNames.size());
    return colourQuantity < stride && holds(quantities, atoms, stride);
}

}  // namespace

long long FillRaycastRecords(RaycastRecord* records) {
    std::vector<double> centre = FrameCentre();
    constexpr long long LEAST_PER_WORKER = 20000;
    if (WorkerCount(atoms, LEAST_PER_WORKER) > 1 && TablesHoldEveryAtom()) {
        // Tables worked out when first asked for (the occlusion factors, the quantities the program derives) are
        // made here, on this thread, before the parts read them.
        float unused[3];
        QuantityColour(0, unused);
        OcclusionVersion();
        // Each part fills the rows of its own atoms in place (it keeps at most as many records as it has atoms);
        // the later parts' records are then moved up behind the earlier ones, in order.
        const int parts = WorkerCount(atoms, LEAST_PER_WORKER);
        std::vector<long long> firsts(static_cast<std::size_t>(parts), 0), counts(static_cast<std::size_t>(parts), 0);
        std::vector<char> whole(static_cast<std::size_t>(parts), 0);
        ForEachPart(atoms, LEAST_PER_WORKER, [&](int k, long long begin, long long end) {
            const std::size_t part = static_cast<std::size_t>(k);
            firsts[part] = begin;
            whole[part] = FillPart(begin, end, centre, records + begin, counts[part]);
        });
        if (std::count(whole.begin(), whole.end(), 1) == parts) {
            long long count = counts[0];
            for (std::size_t part = 1; part < firsts.size(); ++part) {
                if (firsts[part] != count)
                    std::copy(records + firsts[part], records + firsts[part] + counts[part], records + count);
                count += counts[part];
            }
            return count;
        }
    }
    long long count = 0;
    for (long long i = 0; i < atoms; ++i) {
        AtomSpecies(i);
        // Transparent atoms are drawn apart, after the bonds, in the order of the view (DrawRaycastTransparent).
        if (ParticleShown(i, centre) && AtomDrawnOpaque(i) && FillRaycastRecord(i, centre.data(), records[count])) ++count;
    }
    return count;
}
