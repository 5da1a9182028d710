// Ambient occlusion: the factors against an independent estimate of each particle's open surroundings, the
// cache, threads, periodic neighbours, and the switches that turn it on (configuration, offscreen option).
#include "core/occlusion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <cmath>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "core/derived_quantities.h"
#include "core/geometry.h"
#include "core/scene.h"
#include "core/visibility.h"
#include "headless/render_options.h"
#include "io/config/config_reader.h"
#include "tests/support/test_support.h"

namespace {

using Occlusion = SceneTest;

struct Particle {
    int species;
    double position[3];
    double quaternion[4];
};

void SetFrame(const std::vector<std::vector<double>>& halfRadii, const std::vector<Particle>& particles) {
    species = static_cast<int>(halfRadii.size());
    shape.clear();
    for (const auto& h : halfRadii) shape.insert(shape.end(), h.begin(), h.end());
    color.assign(shape.size(), 0.5);
    atoms = static_cast<int>(particles.size());
    geom.clear();
    for (std::size_t i = 0; i < particles.size(); ++i) {
        const Particle& p = particles[i];
        geom.insert(geom.end(), {double(i + 1), double(p.species), p.position[0], p.position[1], p.position[2],
                                 p.quaternion[0], p.quaternion[1], p.quaternion[2], p.quaternion[3]});
    }
    ++particleDataVersion;
}

void RandomQuaternion(std::mt19937& random, double* q) {
    std::normal_distribution<double> normal;
    double n = 0;
    for (int k = 0; k < 4; ++k) {
        q[k] = normal(random);
        n += q[k] * q[k];
    }
    for (int k = 0; k < 4; ++k) q[k] /= std::sqrt(n);
}

// Where the segment from p along unit d meets ellipsoid j first, by its quadric in the scene frame; -1: not within length.
bool Meets(const Particle& j, const double* half, const double* p, const double* d, double length) {
    double m[9];
    QuaternionMatrix(j.quaternion, m);  // unit quaternions here: the drawn rotation
    double o[3], w[3];
    for (int k = 0; k < 3; ++k) {
        o[k] = w[k] = 0;
        for (int r = 0; r < 3; ++r) {
            o[k] += m[3 * r + k] * (p[r] - j.position[r]) / half[k];
            w[k] += m[3 * r + k] * d[r] / half[k];
        }
    }
    double a = w[0] * w[0] + w[1] * w[1] + w[2] * w[2], b = o[0] * w[0] + o[1] * w[1] + o[2] * w[2];
    double c = o[0] * o[0] + o[1] * o[1] + o[2] * o[2] - 1;
    if (c <= 0) return true;
    double disc = b * b - a * c;
    if (disc < 0 || b >= 0) return false;
    return (-b - std::sqrt(disc)) / a <= length;
}

// The point of a particle's surface over the unit sphere's point u (stretched by the half radii h, turned by
// `rotation`), and the outward normal there, not yet of unit length.
void SurfacePoint(const Particle& particle, const double* h, const double* rotation, const double* u, double* p, double* n) {
    const double bodyNormal[3] = {u[0] / h[0], u[1] / h[1], u[2] / h[2]};
    for (int r = 0; r < 3; ++r) {
        p[r] = particle.position[r];
        n[r] = 0;
        for (int k = 0; k < 3; ++k) {
            p[r] += rotation[3 * r + k] * h[k] * u[k];
            n[r] += rotation[3 * r + k] * bodyNormal[k];
        }
    }
}

// Point k of the unit sphere's points a particle's rays start from: a Fibonacci lattice.
void LatticePoint(int k, double* u) {
    double z = 1.0 - (2.0 * k + 1.0) / OCCLUSION_DIRECTIONS, r = std::sqrt(1.0 - z * z), turn = pi * (3.0 - std::sqrt(5.0)) * k;
    u[0] = r * std::cos(turn);
    u[1] = r * std::sin(turn);
    u[2] = z;
}

// The open share of what surrounds each particle: many points spread evenly over its surface by area, from each
// a ray into its outer half-space with the cosine law, `length` long, tested against every other ellipsoid.
std::vector<double> OpenShares(const std::vector<std::vector<double>>& halfRadii, const std::vector<Particle>& particles,
                               double length) {
    std::mt19937 random(99);
    std::normal_distribution<double> normal;
    std::uniform_real_distribution<double> uniform(0, 1);
    std::vector<double> open;
    for (std::size_t i = 0; i < particles.size(); ++i) {
        const double* h = halfRadii[particles[i].species - 1].data();
        double rotation[9];
        QuaternionMatrix(particles[i].quaternion, rotation);
        int clear = 0, rays = 0;
        const double largest = std::max({h[1] * h[2], h[0] * h[2], h[0] * h[1]});
        while (rays < 3000) {
            double u[3];
            double n2 = 0;
            for (double& v : u) {
                v = normal(random);
                n2 += v * v;
            }
            for (double& v : u) v /= std::sqrt(n2);
            // Area of the stretched sphere per solid angle: |(h1 h2 u0, h0 h2 u1, h0 h1 u2)|.
            double area = std::sqrt(std::pow(h[1] * h[2] * u[0], 2) + std::pow(h[0] * h[2] * u[1], 2) + std::pow(h[0] * h[1] * u[2], 2));
            if (uniform(random) * largest > area) continue;
            double p[3], n[3], t[3], s[3];
            SurfacePoint(particles[i], h, rotation, u, p, n);
            double nl = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
            for (double& v : n) v /= nl;
            // Two tangents, then a direction by the cosine law.
            double helper[3] = {std::fabs(n[0]) < 0.9 ? 1.0 : 0.0, std::fabs(n[0]) < 0.9 ? 0.0 : 1.0, 0.0};
            t[0] = n[1] * helper[2] - n[2] * helper[1], t[1] = n[2] * helper[0] - n[0] * helper[2], t[2] = n[0] * helper[1] - n[1] * helper[0];
            double tl = std::sqrt(t[0] * t[0] + t[1] * t[1] + t[2] * t[2]);
            for (double& v : t) v /= tl;
            s[0] = n[1] * t[2] - n[2] * t[1], s[1] = n[2] * t[0] - n[0] * t[2], s[2] = n[0] * t[1] - n[1] * t[0];
            double r1 = uniform(random), phi = 2 * pi * uniform(random), sr = std::sqrt(r1), up = std::sqrt(1 - r1);
            double d[3];
            for (int k = 0; k < 3; ++k) d[k] = sr * std::cos(phi) * t[k] + sr * std::sin(phi) * s[k] + up * n[k];
            for (int k = 0; k < 3; ++k) p[k] += 1e-6 * n[k];
            bool blocked = false;
            for (std::size_t j = 0; j < particles.size() && !blocked; ++j)
                if (j != i) blocked = Meets(particles[j], halfRadii[particles[j].species - 1].data(), p, d, length);
            clear += blocked ? 0 : 1;
            ++rays;
        }
        open.push_back(double(clear) / rays);
    }
    return open;
}

std::vector<double> Ranks(const std::vector<double>& values) {
    std::vector<std::size_t> order(values.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return values[a] < values[b]; });
    std::vector<double> ranks(values.size());
    for (std::size_t k = 0; k < order.size();) {  // ties share their mean rank
        std::size_t end = k;
        while (end < order.size() && values[order[end]] == values[order[k]]) ++end;
        for (std::size_t m = k; m < end; ++m) ranks[order[m]] = (k + end - 1) / 2.0;
        k = end;
    }
    return ranks;
}

double Spearman(const std::vector<double>& a, const std::vector<double>& b) {
    std::vector<double> ra = Ranks(a), rb = Ranks(b);
    double ma = std::accumulate(ra.begin(), ra.end(), 0.0) / ra.size(), mb = std::accumulate(rb.begin(), rb.end(), 0.0) / rb.size();
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t k = 0; k < ra.size(); ++k) {
        ab += (ra[k] - ma) * (rb[k] - mb);
        aa += (ra[k] - ma) * (ra[k] - ma);
        bb += (rb[k] - mb) * (rb[k] - mb);
    }
    return ab / std::sqrt(aa * bb);
}

const std::vector<std::vector<double>> MIXED = {{0.4, 0.4, 1.2}, {1.0, 1.0, 0.3}, {0.6, 0.6, 0.6}, {0.9, 0.5, 0.3}};

// A cluster dense at its middle and thin at its edge, of rods, discs, spheres and biaxial ellipsoids, turned
// every way, none overlapping another's inner sphere.
std::vector<Particle> Cluster(int count, unsigned seed) {
    std::mt19937 random(seed);
    std::normal_distribution<double> spread(0, 2.2);
    std::vector<Particle> particles;
    while (static_cast<int>(particles.size()) < count) {
        Particle p{1 + static_cast<int>(particles.size()) % 4, {spread(random), spread(random), spread(random)}, {}};
        bool apart = true;
        for (const Particle& other : particles) {
            double d2 = 0;
            for (int k = 0; k < 3; ++k) d2 += std::pow(p.position[k] - other.position[k], 2);
            apart = apart && d2 > 0.7 * 0.7;
        }
        if (!apart) continue;
        RandomQuaternion(random, p.quaternion);
        particles.push_back(p);
    }
    return particles;
}

TEST_F(Occlusion, FactorsRankParticlesAsTheOpenShareAroundThem) {
    std::vector<Particle> particles = Cluster(48, 5);
    SetFrame(MIXED, particles);
    ambientOcclusion = true;
    occlusionStrength = 1.0;
    const double length = OcclusionDistance();
    EXPECT_EQ(length, 1.2);  // the largest half radius
    std::vector<double> factors = OcclusionFactors();
    std::vector<double> open = OpenShares(MIXED, particles, length);
    double rho = Spearman(factors, open);
    EXPECT_GT(rho, 0.9);
    for (double f : factors) {
        EXPECT_GE(f, 0.0);
        EXPECT_LE(f, 1.0);
    }
    // Each shape ranks among its own kind too.
    for (int n = 1; n <= 4; ++n) {
        std::vector<double> a, b;
        for (std::size_t i = 0; i < particles.size(); ++i)
            if (particles[i].species == n) a.push_back(factors[i]), b.push_back(open[i]);
        EXPECT_GT(Spearman(a, b), 0.8) << "species " << n;
    }
}

// The shapes of MIXED twice: species 5 to 8 are 1 to 4 again, so that a cage can be hidden on its own.
const std::vector<std::vector<double>> TWICE = {MIXED[0], MIXED[1], MIXED[2], MIXED[3], MIXED[0], MIXED[1], MIXED[2], MIXED[3]};

// A particle in a cage of its 26 lattice neighbours (species n + 4), of its own shape and turned alike, and the
// same shape alone.
std::vector<Particle> CagedAndLone(int n, const double* spacing) {
    std::vector<Particle> particles = {{n, {0, 0, 0}, {1, 0, 0, 0}}, {n, {50, 0, 0}, {1, 0, 0, 0}}};
    for (int x = -1; x <= 1; ++x)
        for (int y = -1; y <= 1; ++y)
            for (int z = -1; z <= 1; ++z)
                if (x != 0 || y != 0 || z != 0)
                    particles.push_back({n + 4, {x * spacing[0], y * spacing[1], z * spacing[2]}, {1, 0, 0, 0}});
    return particles;
}

TEST_F(Occlusion, CagedParticleIsClearlyDarkerThanALoneOneForRodsAndDiscs) {
    const double rodSpacing[3] = {0.9, 0.9, 2.5}, discSpacing[3] = {2.1, 2.1, 0.7};
    ambientOcclusion = true;
    occlusionStrength = 0.8;
    for (int n : {1, 2}) {
        SetFrame(TWICE, CagedAndLone(n, n == 1 ? rodSpacing : discSpacing));
        std::vector<double> f = OcclusionFactors();
        EXPECT_DOUBLE_EQ(f[1], 1.0) << n;
        EXPECT_LT(f[0], 0.6) << n;  // most of its surface faces a neighbour
        EXPECT_LT(f[0], f[2]) << n;  // and more of it than of a cage member's
        SetSpeciesHidden(n + 4, true);  // a hidden cage occludes nothing
        EXPECT_DOUBLE_EQ(OcclusionFactors()[0], 1.0) << n;
        SetSpeciesHidden(n + 4, false);
    }
}

// The factors are kept until the frame, the shapes, the hidden species or the slab change; the strength alone
// changes the factors, not the rays; the version the drawings compare follows the factors and the switch.
TEST_F(Occlusion, FactorsAreKeptUntilWhatTheyDependOnChanges) {
    std::vector<Particle> particles = Cluster(30, 8);
    SetFrame(MIXED, particles);
    ambientOcclusion = true;
    long long version = OcclusionVersion(), before = OcclusionComputations();
    std::vector<double> first = OcclusionFactors();
    OcclusionFactors();
    OcclusionVersion();
    EXPECT_EQ(OcclusionComputations(), before);  // OcclusionVersion above brought it up to date already
    auto recomputes = [&](const char* what) {
        long long count = OcclusionComputations();
        long long drawn = OcclusionVersion();
        EXPECT_EQ(OcclusionComputations(), count + 1) << what;
        EXPECT_NE(drawn, version) << what;
        version = drawn;
    };
    colourByOrientation = true;  // the view and the colours are no input
    EXPECT_EQ(OcclusionVersion(), version);
    SetSpeciesHidden(2, true);
    recomputes("hidden species");
    EXPECT_EQ(OcclusionFactors()[1], 1.0);  // a hidden particle is not shaded
    SetSpeciesHidden(2, false);
    recomputes("species shown again");
    EXPECT_EQ(OcclusionFactors(), first);
    slab = {true, {0, 0, 1}, 0.0, 2.0};
    recomputes("slab on");
    slab.width = 3.0;
    recomputes("slab widened");
    fixedCentre = true;  // the slab now lies about another centre
    fixedCentrePoint[2] = 1.0;
    recomputes("fixed centre");
    fixedCentre = false;
    recomputes("own centre again");
    slab.on = false;
    recomputes("slab off");
    shape[0] = 0.8;
    recomputes("a half radius");
    geom[GEOM_X] += 0.5;
    ++particleDataVersion;
    recomputes("a frame read");
    long long count = OcclusionComputations();
    occlusionStrength = 0.3;
    EXPECT_NE(OcclusionVersion(), version);
    EXPECT_EQ(OcclusionComputations(), count);
    ambientOcclusion = false;
    EXPECT_EQ(OcclusionVersion(), -1);
    EXPECT_EQ(OcclusionFactor(0), 1.0f);
}

// A jittered lattice of the first `shapes` species, turned every way, `side` particles along each edge.
std::vector<Particle> JitteredLattice(int side, unsigned seed, int shapes = 4) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> jitter(-0.2, 0.2);
    std::vector<Particle> particles;
    for (int i = 0; i < side * side * side; ++i) {
        Particle p{1 + i % shapes, {1.6 * (i % side) + jitter(random), 1.6 * (i / side % side) + jitter(random), 1.6 * (i / (side * side)) + jitter(random)}, {}};
        RandomQuaternion(random, p.quaternion);
        particles.push_back(p);
    }
    return particles;
}

// The weighted share of particle i's rays that meet another ellipsoid, worked out in double precision against
// every other one: the same 16 points of its surface (a Fibonacci lattice stretched by the half radii), each
// casting a ray along the normal there, weighted by the normal's length before it is made a unit vector.
double BlockedAgainstEvery(const std::vector<std::vector<double>>& halfRadii, const std::vector<Particle>& particles,
                           std::size_t i, double length) {
    const double* h = halfRadii[particles[i].species - 1].data();
    double rotation[9];
    QuaternionMatrix(particles[i].quaternion, rotation);
    double blocked = 0, total = 0;
    for (int k = 0; k < OCCLUSION_DIRECTIONS; ++k) {
        double u[3], p[3], n[3];
        LatticePoint(k, u);
        SurfacePoint(particles[i], h, rotation, u, p, n);
        const double weight = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        for (int a = 0; a < 3; ++a) p[a] += 1e-5 * length * (n[a] /= weight);
        bool met = false;
        for (std::size_t j = 0; j < particles.size() && !met; ++j)
            met = j != i && Meets(particles[j], halfRadii[particles[j].species - 1].data(), p, n, length);
        total += weight;
        blocked += met ? weight : 0;
    }
    return blocked / total;
}

// The cells only choose which ellipsoids a ray is tested against: every ray is blocked exactly when it meets
// some other ellipsoid. And the shares are the same bits on one thread or many, with lanes of any width. Six
// shapes, mixed: more than the rays of a thread keep at once.
TEST_F(Occlusion, RaysAreBlockedByAnyEllipsoidTheyMeetInTheSameBitsEveryWay) {
    const std::vector<std::vector<double>> SIX = {MIXED[0], MIXED[1], MIXED[2], MIXED[3], {0.5, 1.1, 0.7}, {0.35, 0.8, 0.8}};
    std::vector<Particle> particles = JitteredLattice(6, 4, 6);
    SetFrame(SIX, particles);
    const std::vector<double> shares = BlockedFractions(2);
    int differing = 0, blocked = 0;
    for (std::size_t i = 0; i < particles.size(); ++i) {
        differing += std::fabs(shares[i] - BlockedAgainstEvery(SIX, particles, i, 1.2)) > 1e-6;
        blocked += shares[i] > 0;
    }
    EXPECT_LE(differing, 1);  // a ray grazing an ellipsoid may go either way in single precision
    EXPECT_GT(blocked, 150);

    SetFrame(SIX, JitteredLattice(14, 3, 6));
    SetOcclusionLanes(4);
    const std::vector<double> reference = BlockedFractions(1);
    for (int lanes : {4, 8, 16})
        for (int threads : {1, 7}) {
            SetOcclusionLanes(lanes);
            std::vector<double> again = BlockedFractions(threads);
            ASSERT_EQ(again.size(), reference.size());
            EXPECT_EQ(std::memcmp(again.data(), reference.data(), reference.size() * sizeof(double)), 0) << lanes << " lanes, " << threads;
        }
    SetOcclusionLanes(0);
    EXPECT_GT(std::count_if(reference.begin(), reference.end(), [](double b) { return b > 0; }), 1000);
}

// A ray that crosses three cell faces before it meets a small sphere is blocked, whichever of the cells after its
// first the sphere lies in, whichever way the ray heads and in whichever order it crosses the faces: the cells are
// two occlusion distances wide and start at the lowest bounding sphere, so each ray is placed to cross three faces
// of one corner.
TEST_F(Occlusion, RayCrossingThreeCellFacesIsBlockedInEveryCellItPasses) {
    const std::vector<std::vector<double>> halves = {{0.3, 0.3, 0.3}, {0.05, 0.05, 0.05}, {2, 2, 2}};
    const double length = 2, lift = 1e-5 * length;
    const double corner = 2 * (2 * length);  // a corner of cells, two cells up from the lowest one on each axis
    int diagonalRays = 0;
    for (int ray = 0; ray < OCCLUSION_DIRECTIONS; ++ray) {  // the sphere's rays far enough from every axis, each way
        double direction[3];
        LatticePoint(ray, direction);
        if (std::min({std::fabs(direction[0]), std::fabs(direction[1]), std::fabs(direction[2])}) < 0.3) continue;
        ++diagonalRays;
        // Where along the ray it crosses the faces through the corner, in either order of the axes.
        for (const std::array<double, 3>& crossings : {std::array<double, 3>{0.3, 0.5, 0.7}, std::array<double, 3>{0.7, 0.5, 0.3}}) {
            double start[3], centre[3];
            for (int k = 0; k < 3; ++k) {
                start[k] = corner - crossings[k] * length * direction[k];
                centre[k] = start[k] - (0.3 + lift) * direction[k];
            }
            for (double along : {0.4, 0.6, 0.85}) {  // in the second cell it passes, the third, the fourth
                std::vector<Particle> particles = {{2, {0.05, 0.05, 0.05}, {1, 0, 0, 0}},  // the lowest bounding sphere
                                                   {3, {20, 20, 20}, {1, 0, 0, 0}},        // sets the occlusion distance
                                                   {1, {centre[0], centre[1], centre[2]}, {1, 0, 0, 0}},
                                                   {2, {0, 0, 0}, {1, 0, 0, 0}}};
                for (int k = 0; k < 3; ++k) particles[3].position[k] = start[k] + along * length * direction[k];
                SetFrame(halves, particles);
                frameBox.exists = false;
                ASSERT_EQ(OcclusionDistance(), length);
                const double share = BlockedFractions(1)[2];
                EXPECT_GT(share, 0) << ray << " " << crossings[0] << " " << along;
                EXPECT_NEAR(share, BlockedAgainstEvery(halves, particles, 2, length), 1e-6) << ray << " " << crossings[0] << " " << along;
            }
        }
    }
    EXPECT_GE(diagonalRays, 4);
}

// Neighbours across a face of the box occlude by their nearest image, in a triclinic box too.
TEST_F(Occlusion, NeighboursAcrossThePeriodicBoundaryOcclude) {
    std::vector<Particle> particles;
    for (int x = 0; x < 6; ++x)  // a slab of spheres filling the box across x and y
        for (int y = 0; y < 6; ++y) particles.push_back({3, {0.3 + 1.25 * x + 0.4 * y, 0.3 + 1.25 * y, 5.0}, {1, 0, 0, 0}});
    SetFrame(MIXED, particles);
    ambientOcclusion = true;
    const std::vector<double> open = OcclusionFactors();
    frameBox = {true, {0, 0, 0}, {{7.5, 0, 0}, {2.4, 7.5, 0}, {0, 0, 10}}};
    ++particleDataVersion;
    const std::vector<double> boxed = OcclusionFactors();
    EXPECT_LT(boxed[0], open[0] - 0.05);  // a corner particle gains its images' neighbours
    for (std::size_t i = 1; i < boxed.size(); ++i) EXPECT_NEAR(boxed[i], boxed[0], 1e-9) << i;  // all alike now
}

// ambient_occlusion [STRENGTH] in the configuration, --ambient-occlusion[=STRENGTH] offscreen; `occlusion` is
// a quantity while it is on.
TEST_F(Occlusion, SwitchesAndTheQuantity) {
    const std::string head = "dumpfile none.dump\nspecies 1\nhalf_radii 1 1 1 1\nbond_vector 1 1 0 0 0\ncolor 1 1 0 0\nbackground 0 0 0\n";
    ConsoleRun run = RunCaptured([&] { ::ReadConfig(WriteTempFile("a.cfg", head + "ambient_occlusion 0.25\n")); });
    EXPECT_TRUE(ambientOcclusion);
    EXPECT_EQ(occlusionStrength, 0.25);
    EXPECT_NE(run.output.find("Ambient occlusion will be used, strength 0.25."), std::string::npos) << run.output;
    RunCaptured([&] { ::ReadConfig(WriteTempFile("b.cfg", head + "ambient_occlusion\n")); });
    EXPECT_EQ(occlusionStrength, DEFAULT_OCCLUSION_STRENGTH);
    RunCaptured([&] { ::ReadConfig(WriteTempFile("c.cfg", head)); });
    EXPECT_FALSE(ambientOcclusion);
    for (const char* bad : {"ambient_occlusion 1.5\n", "ambient_occlusion x\n", "ambient_occlusion 0.5 2\n"}) {
        run = RunCaptured([&] { ::ReadConfig(WriteTempFile("d.cfg", head + bad)); });
        EXPECT_TRUE(run.exited) << bad;
        EXPECT_NE(run.output.find("takes no value or a strength from 0 to 1"), std::string::npos) << run.output;
    }
    for (const auto& [word, strength] : std::vector<std::pair<std::string, double>>{{"--ambient-occlusion", -1},
                                                                                     {"--ambient-occlusion=0.3", 0.3}}) {
        const char* argv[] = {word.c_str(), "x.cfg"};
        RenderOptions options;
        std::string error;
        EXPECT_TRUE(ParseRenderOptions(2, argv, options, error)) << error;
        EXPECT_TRUE(options.ambientOcclusion);
        EXPECT_EQ(options.occlusionStrength, strength);
    }
    const char* bad[] = {"--ambient-occlusion=2", "x.cfg"};
    RenderOptions options;
    std::string error;
    EXPECT_FALSE(ParseRenderOptions(2, bad, options, error));
    EXPECT_EQ(error, "--ambient-occlusion takes no value or =STRENGTH from 0 to 1, not 2.");

    SetFrame(TWICE, CagedAndLone(1, std::vector<double>{0.9, 0.9, 2.5}.data()));
    ambientOcclusion = false;
    EXPECT_EQ(DerivedQuantityIndex("occlusion"), -1);
    EXPECT_EQ(ToggleAmbientOcclusionText(), "Ambient occlusion on.");
    ASSERT_EQ(DerivedQuantityIndex("occlusion"), 0);
    EXPECT_EQ(QuantityValue(0, 0), OcclusionFactors()[0]);
    EXPECT_LT(QuantityValue(0, 0), QuantityValue(1, 0));
    EXPECT_EQ(ToggleAmbientOcclusionText(), "Ambient occlusion off.");
}

}  // namespace
