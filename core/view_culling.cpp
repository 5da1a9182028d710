// Occlusion culling that changes no pixel. Each opaque ellipsoid occludes by spheres that lie inside it: wherever
// such a sphere covers a pixel centre, the ellipsoid covers it too, and its fragment there lies no farther from
// the eye than the sphere's farthest point. These far depths, the nearest at
// each pixel, fill a depth buffer on this side. A record is left out when at every pixel centre its bounding
// box could reach, that buffer lies nearer than the record's nearest point, by more than the depth buffer and
// the shader's rounding can blur: each of its fragments would then lose the depth test, wherever it is drawn.
#include "core/view_culling.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "core/parallel.h"

namespace {

constexpr float NOTHING = 3.0f;                   // no occluder at the pixel: beyond every window depth
constexpr double DISC_SHRINK = 0.98;              // the shader's single-precision test where the silhouettes touch

// A pixel rectangle, first and last columns and rows, inclusive.
struct PixelRect {
    long long x0, x1, y0, y1;
};

struct Camera {
    const CullingView* view;
    double near, far;      // the clip planes, as distances in front of the eye
    double margin;         // 64 steps of the depth buffer: more than its steps and the shader's rounding blur
    double scale;          // the modelview's: eye lengths per scene length
    double focal[2];       // pixels per unit of x / -z and y / -z
    std::vector<float> depth;  // per pixel of the viewport, row by row: the nearest occluder's far depth
};

void ToEye(const double* m, const float* p, double* e) {
    for (int k = 0; k < 3; ++k) e[k] = m[k] * p[0] + m[4 + k] * p[1] + m[8 + k] * p[2] + m[12 + k];
}

// Window depth of a point `distance` in front of the eye, as the shader writes it.
double WindowDepth(const CullingView& v, double distance) {
    double ndc = -v.projection[10] + v.projection[14] / distance;
    return 0.5 * ((v.depthRange[1] - v.depthRange[0]) * ndc + v.depthRange[0] + v.depthRange[1]);
}

// Window x and y, relative to the viewport's corner, of an eye point in front of the eye.
void ToWindow(const CullingView& v, const double* e, double* window) {
    const double* p = v.projection;
    double ndcX = p[0] * e[0] / -e[2] - p[8], ndcY = p[5] * e[1] / -e[2] - p[9];
    window[0] = (ndcX + 1) * 0.5 * v.viewport[2];
    window[1] = (ndcY + 1) * 0.5 * v.viewport[3];
}

double LargestHalf(const RaycastRecord& r) { return std::max({r.half[0], r.half[1], r.half[2]}); }

// A record in eye space: its centre, and the columns of the map from its unit sphere (the rotation times the half
// radii, turned by the modelview).
struct EyeEllipsoid {
    double centre[3];
    double axes[3][3];  // axes[j]: body axis j times its half radius, in eye space
};

EyeEllipsoid ToEyeSpace(const CullingView& v, const RaycastRecord& r) {
    EyeEllipsoid e;
    ToEye(v.modelview, r.centre, e.centre);
    const float w = r.rotation[0], x = r.rotation[1], y = r.rotation[2], z = r.rotation[3];
    const double turn[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y + w * z), 2 * (x * z - w * y)},  // columns
                               {2 * (x * y - w * z), 1 - 2 * (x * x + z * z), 2 * (y * z + w * x)},
                               {2 * (x * z + w * y), 2 * (y * z - w * x), 1 - 2 * (x * x + y * y)}};
    for (int j = 0; j < 3; ++j)
        for (int k = 0; k < 3; ++k) {
            const double* m = v.modelview;
            e.axes[j][k] = r.half[j] * (m[k] * turn[j][0] + m[4 + k] * turn[j][1] + m[8 + k] * turn[j][2]);
        }
    return e;
}

// Half the ellipsoid's reach along each eye axis (a little more, for rounding).
void EyeExtent(const EyeEllipsoid& e, double* extent) {
    for (int k = 0; k < 3; ++k)
        extent[k] = 1.0001 * std::sqrt(e.axes[0][k] * e.axes[0][k] + e.axes[1][k] * e.axes[1][k] + e.axes[2][k] * e.axes[2][k]);
}

double DepthExtent(const EyeEllipsoid& e) {
    double extent[3];
    EyeExtent(e, extent);
    return extent[2];
}

// Columns (or rows) whose pixel centres lie from `low` to `high`, within `size`.
void CentresWithin(double low, double high, int size, long long& first, long long& last) {
    first = std::max(0LL, static_cast<long long>(std::ceil(std::max(low - 0.5, -1.0))));
    last = std::min(static_cast<long long>(size) - 1, static_cast<long long>(std::floor(std::min(high - 0.5, size + 1.0))));
}

// One sphere inside an occluder, in eye space, on the screen as a disc shrunk to lie within its true outline:
// a ray through a point |d| from the centre's image, in units of x / -z, leaves the centre's direction by an
// angle whose sine is at most |d| / (1 - |d|), which stays within the sphere's r / D while |d| <= r / (D + r).
void AddSphere(Camera& camera, const double* e, double radius, long long rowLow, long long rowHigh) {
    const CullingView& v = *camera.view;
    double distance = -e[2];
    if (!(radius > 0) || !(distance - radius > camera.near * (1 + 1e-6)) || !(distance + radius < camera.far * (1 - 1e-6))) return;
    double reach = DISC_SHRINK * radius / (std::sqrt(e[0] * e[0] + e[1] * e[1] + e[2] * e[2]) + radius);
    double centre[2], size[2] = {reach * camera.focal[0], reach * camera.focal[1]};
    ToWindow(v, e, centre);
    PixelRect rect;
    CentresWithin(centre[0] - size[0], centre[0] + size[0], v.viewport[2], rect.x0, rect.x1);
    CentresWithin(centre[1] - size[1], centre[1] + size[1], v.viewport[3], rect.y0, rect.y1);
    rect.y0 = std::max(rect.y0, rowLow);
    rect.y1 = std::min(rect.y1, rowHigh - 1);
    if (rect.y0 > rect.y1) return;
    const float far = static_cast<float>(WindowDepth(v, distance + radius) + camera.margin);
    for (long long y = rect.y0; y <= rect.y1; ++y) {
        double dy = (y + 0.5 - centre[1]) / size[1];
        float* row = &camera.depth[static_cast<std::size_t>(y * v.viewport[2])];
        for (long long x = rect.x0; x <= rect.x1; ++x) {
            double dx = (x + 0.5 - centre[0]) / size[0];
            if (dx * dx + dy * dy <= 1.0) row[x] = std::min(row[x], far);
        }
    }
}

// An occluder as spheres strung along its longest axis, inside the spheroid of its smallest and largest half
// radii (which lies inside it): at t along an axis of half length c, with the other half radii a, the largest
// sphere within has radius a sqrt(1 - t^2 / (c^2 - a^2)) while t <= (c^2 - a^2) / c, else c - t.
// Where an ellipsoid reaches in front of the near plane, the shader draws none of the pixels whose ray enters
// it there: such a one hides nothing.
// `inner` shrinks the spheres about the centre, for a drawing that covers only that much of the ellipsoid.
void AddOccluder(Camera& camera, const RaycastRecord& r, double inner, long long rowLow, long long rowHigh) {
    const EyeEllipsoid e = ToEyeSpace(*camera.view, r);
    if (!(-e.centre[2] - DepthExtent(e) > camera.near * (1 + 1e-6))) return;
    int longest = 0;
    for (int k = 1; k < 3; ++k)
        if (r.half[k] > r.half[longest]) longest = k;
    const double c = r.half[longest], a = std::min({r.half[0], r.half[1], r.half[2]});
    const double scale = std::sqrt(e.axes[longest][0] * e.axes[longest][0] + e.axes[longest][1] * e.axes[longest][1] +
                                   e.axes[longest][2] * e.axes[longest][2]) / c;  // the modelview's scale
    const double focal2 = c * c - a * a;
    for (double step : {0.0, -0.4, 0.4, -0.75, 0.75}) {
        double t = step * std::sqrt(focal2), along = std::fabs(t);
        double radius = along <= focal2 / c ? a * std::sqrt(std::max(0.0, 1 - t * t / focal2)) : c - along;
        double centre[3];
        for (int k = 0; k < 3; ++k) centre[k] = e.centre[k] + inner * t / c * e.axes[longest][k];
        AddSphere(camera, centre, inner * radius * scale, rowLow, rowHigh);
        if (focal2 <= 0) break;  // a sphere: one is all
    }
}

// Where a box's image falls on the screen: the pixel centres it may cover, a pixel more each way, and the window
// depth of its nearest point. One that may cross the near plane, or does not project, can hide nothing.
struct BoxImage {
    uint16_t x0, x1, y0, y1;  // first and last columns and rows; x0 > x1 or y0 > y1: it misses the viewport
    float nearest;            // -infinity: it can hide nothing
};

constexpr BoxImage SHOWN_BOX{1, 0, 1, 0, -HUGE_VALF};

// The least and most of x / -z over a box's corners, from x's least and most and the near and far distances of
// its faces (both in front of the eye): a ratio is least over the far face while x is not negative, else over the
// near one, and most the other way round.
void RatioRange(double least, double most, double nearSide, double farSide, double& low, double& high) {
    low = least / (least >= 0 ? farSide : nearSide);
    high = most / (most >= 0 ? nearSide : farSide);
}

BoxImage ImageOfBox(const Camera& camera, const double* centre, const double* extent) {
    const CullingView& v = *camera.view;
    const double* p = v.projection;
    const double distance = -centre[2];
    if (!(distance - extent[2] > camera.near * (1 + 1e-6))) return SHOWN_BOX;
    long long range[2][2];  // columns, then rows: first and last
    for (int k = 0; k < 2; ++k) {
        double low, high;
        RatioRange(centre[k] - extent[k], centre[k] + extent[k], distance - extent[2], distance + extent[2], low, high);
        const double focal = k == 0 ? p[0] : p[5], shift = k == 0 ? p[8] : p[9], size = v.viewport[2 + k];
        low = (focal * low - shift + 1) * 0.5 * size;
        high = (focal * high - shift + 1) * 0.5 * size;
        if (!std::isfinite(low + high)) return SHOWN_BOX;
        CentresWithin(low - 1, high + 1, v.viewport[2 + k], range[k][0], range[k][1]);
    }
    if (range[0][0] > range[0][1] || range[1][0] > range[1][1]) return BoxImage{1, 0, 1, 0, 0.0f};
    return BoxImage{static_cast<uint16_t>(range[0][0]), static_cast<uint16_t>(range[0][1]), static_cast<uint16_t>(range[1][0]),
                    static_cast<uint16_t>(range[1][1]), static_cast<float>(WindowDepth(v, distance - extent[2]))};
}

// Is the image hidden at every pixel centre it reaches within rows rowLow to rowHigh (or does it miss them)?
bool ImageHidden(const Camera& camera, const BoxImage& image, long long rowLow, long long rowHigh) {
    if (image.nearest == -HUGE_VALF) return false;
    const long long y0 = std::max<long long>(image.y0, rowLow), y1 = std::min<long long>(image.y1, rowHigh - 1);
    const long long width = camera.view->viewport[2];
    for (long long y = y0; y <= y1; ++y) {
        const float* row = &camera.depth[static_cast<std::size_t>(y * width)];
        for (long long x = image.x0; x <= image.x1; ++x)
            if (!(row[x] < image.nearest)) return false;
    }
    return true;
}

// The image of the cube around a record's bounding sphere, which needs no turn: most hidden records are found
// hidden by it.
BoxImage ImageOfCube(const Camera& camera, const RaycastRecord& r) {
    double centre[3];
    ToEye(camera.view->modelview, r.centre, centre);
    const double radius = camera.scale * LargestHalf(r) * (1 + 1e-4), cube[3] = {radius, radius, radius};
    return ImageOfBox(camera, centre, cube);
}

// Is the record hidden within these rows? First by its cube's image; then by the image of its own eye-space
// bounding box, which lies within that cube.
bool Hidden(const Camera& camera, const BoxImage& cube, const RaycastRecord& r, long long rowLow, long long rowHigh) {
    if (ImageHidden(camera, cube, rowLow, rowHigh)) return true;
    const EyeEllipsoid e = ToEyeSpace(*camera.view, r);
    double extent[3];
    EyeExtent(e, extent);
    return ImageHidden(camera, ImageOfBox(camera, e.centre, extent), rowLow, rowHigh);
}

// The records by the depth of their centres, nearest first: a counting sort into thin slices of depth. The order
// only makes the culling quicker (near occluders go in first); any order leaves out only hidden records.
void NearToFar(const CullingView& view, const std::vector<RaycastRecord>& records, std::vector<uint32_t>& order) {
    const std::size_t n = records.size();
    std::vector<float> depth(n);
    ForEachPart(static_cast<long long>(n), 4096, [&](int, long long first, long long end) {
        for (std::size_t i = static_cast<std::size_t>(first); i < static_cast<std::size_t>(end); ++i) {
            double e[3];
            ToEye(view.modelview, records[i].centre, e);
            depth[i] = std::isfinite(e[2]) ? static_cast<float>(-e[2]) : 0.0f;
        }
    });
    float low = HUGE_VALF, high = -HUGE_VALF;
    for (float d : depth) {
        low = std::min(low, d);
        high = std::max(high, d);
    }
    const std::size_t slices = 1024;
    const double perSlice = high > low ? slices / (static_cast<double>(high) - low) : 0.0;
    std::vector<uint16_t> slice(n);
    std::vector<uint32_t> start(slices + 1, 0);
    for (std::size_t i = 0; i < n; ++i) {
        slice[i] = static_cast<uint16_t>(std::min<double>(slices - 1, std::floor((depth[i] - low) * perSlice)));
        ++start[slice[i] + 1u];
    }
    for (std::size_t k = 1; k <= slices; ++k) start[k] += start[k - 1];
    order.resize(n);
    for (std::size_t i = 0; i < n; ++i) order[start[slice[i]]++] = static_cast<uint32_t>(i);
}

// Each record's cube image, in the order the bands take them: worked out once on every core, where each band
// would otherwise turn every record itself.
void ImagesOfCubes(const Camera& camera, const std::vector<RaycastRecord>& records, const std::vector<uint32_t>& order,
                   std::vector<BoxImage>& cubes) {
    cubes.resize(order.size());
    ForEachPart(static_cast<long long>(order.size()), 4096, [&](int, long long first, long long end) {
        for (std::size_t k = static_cast<std::size_t>(first); k < static_cast<std::size_t>(end); ++k)
            cubes[k] = ImageOfCube(camera, records[order[k]]);
    });
}

}  // namespace

// The modelview turns and scales alike along every axis, to the single precision it is made in: spheres stay
// spheres in eye space, far closer than the discs' shrinking needs.
bool Similarity(const double* m) {
    double length2[3], cross[3];
    for (int i = 0; i < 3; ++i) {
        length2[i] = m[4 * i] * m[4 * i] + m[4 * i + 1] * m[4 * i + 1] + m[4 * i + 2] * m[4 * i + 2];
        int j = (i + 1) % 3;
        cross[i] = m[4 * i] * m[4 * j] + m[4 * i + 1] * m[4 * j + 1] + m[4 * i + 2] * m[4 * j + 2];
    }
    const double tolerance = 1e-5 * length2[0];
    for (int i = 0; i < 3; ++i)
        if (!(std::fabs(length2[i] - length2[0]) <= tolerance) || !(std::fabs(cross[i]) <= tolerance)) return false;
    return length2[0] > 0 && m[3] == 0 && m[7] == 0 && m[11] == 0 && m[15] == 1;
}

bool CullingExact(const CullingView& view) {
    if (!Similarity(view.modelview)) return false;
    const double* p = view.projection;
    for (int k : {1, 2, 3, 4, 6, 7, 12, 13, 15})
        if (p[k] != 0) return false;
    double near = p[14] / (p[10] - 1), far = p[14] / (p[10] + 1);
    return p[11] == -1 && p[0] > 0 && p[5] > 0 && p[14] < 0 && near > 0 && far > near && std::isfinite(far) &&
           view.viewport[2] > 0 && view.viewport[3] > 0 && view.viewport[2] <= 65535 && view.viewport[3] <= 65535 &&
           view.depthRange[1] > view.depthRange[0] && view.depthBits >= 16;
}

long long HiddenRecords(const std::vector<RaycastRecord>& records, const std::vector<float>& inner,
                        const CullingView& view, std::vector<unsigned char>& hidden) {
    hidden.assign(records.size(), 0);
    if (!CullingExact(view)) return 0;
    Camera camera;
    camera.view = &view;
    const double* p = view.projection;
    camera.margin = 64.0 / std::ldexp(1.0, view.depthBits);
    camera.scale = std::sqrt(view.modelview[0] * view.modelview[0] + view.modelview[1] * view.modelview[1] +
                             view.modelview[2] * view.modelview[2]);
    camera.near = p[14] / (p[10] - 1);
    camera.far = p[14] / (p[10] + 1);
    camera.focal[0] = p[0] * 0.5 * view.viewport[2];
    camera.focal[1] = p[5] * 0.5 * view.viewport[3];
    camera.depth.assign(static_cast<std::size_t>(view.viewport[2]) * static_cast<std::size_t>(view.viewport[3]), NOTHING);
    // Kept between calls: a redraw of a million records would otherwise wait on fresh pages for them.
    static std::vector<uint32_t> order;
    static std::vector<BoxImage> cubes;
    NearToFar(view, records, order);
    ImagesOfCubes(camera, records, order, cubes);
    // Record by record from the eye, each core on a band of rows of its own, without waiting for the others:
    // a record hidden within a band adds nothing to that band's part of the buffer (it would change no pixel
    // there), one left in adds its spheres' part; hidden in every band, it is left out.
    const int bands = WorkerCount(view.viewport[3], 1);
    std::vector<std::vector<unsigned char>> hiddenIn(static_cast<std::size_t>(bands - 1), std::vector<unsigned char>(records.size()));
    ForEachPart(view.viewport[3], 1, [&](int band, long long low, long long high) {
        std::vector<unsigned char>& verdicts = band == 0 ? hidden : hiddenIn[static_cast<std::size_t>(band - 1)];
        for (std::size_t k = 0; k < order.size(); ++k) {
            const RaycastRecord& r = records[order[k]];
            bool hiddenHere = Hidden(camera, cubes[k], r, low, high);
            verdicts[order[k]] = hiddenHere;
            if (!hiddenHere) AddOccluder(camera, r, inner.empty() ? 1.0 : inner[order[k]], low, high);
        }
    });
    for (const std::vector<unsigned char>& verdicts : hiddenIn)
        for (std::size_t i = 0; i < records.size(); ++i) hidden[i] &= verdicts[i];
    return static_cast<long long>(std::count(hidden.begin(), hidden.end(), 1));
}

long long KeepVisibleRecords(const std::vector<RaycastRecord>& records, const CullingView& view,
                             std::vector<RaycastRecord>& kept) {
    kept.clear();
    static std::vector<unsigned char> hidden;
    const long long left = HiddenRecords(records, {}, view, hidden);
    kept.reserve(records.size() - static_cast<std::size_t>(left));
    for (std::size_t i = 0; i < records.size(); ++i)
        if (!hidden[i]) kept.push_back(records[i]);
    return left;
}
