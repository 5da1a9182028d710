// Hidden-ellipsoid experiment: does testing spatial cells against the depth buffer before drawing their
// ellipsoids pay on a dense frame? N Gay-Berne-like ellipsoids (3 : 1 : 1, random orientations) at liquid
// density in a cube that fills the 1024 x 640 view. The program's DoStuff is timed against the same
// ellipsoids drawn cell by cell, front to back, each cell's box (grown by the largest half radius) first
// drawn with colour and depth writes off inside an occlusion query, its ellipsoids sent only when a sample
// passed. Queries are issued for a batch of cells at a time, so the renderer is waited for once per batch.
// Both drawing modes (default and adaptive detail); the pictures are compared pixel by pixel, and the
// same cell order without queries is compared too, so that a change of the drawing order alone shows.
// Usage: hidden_bench [N] [CELLS_PER_EDGE ...]   (needs a display)
#define GL_GLEXT_PROTOTYPES  // Required for: the occlusion query functions of OpenGL 1.5
#include <GL/freeglut.h>
#include <GL/glext.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "bench/bench_window.h"
#include "core/geometry.h"
#include "core/scene.h"
#include "render/ellipsoids.h"
#include "render/gl_setup.h"

namespace {

constexpr double NUMBER_DENSITY = 0.3;  // ellipsoids per unit volume: packing fraction 0.47 at these radii
constexpr double HALF[3] = {1.5, 0.5, 0.5};
constexpr int BATCH = 16;               // cells queried before the results are read

double boxEdge = 0;

void FillDenseScene(int n) {
    species = 1;
    shape = {HALF[0], HALF[1], HALF[2]};
    color = {0.75, 0.35, 0.2};
    bondvec.assign(3, 0.0);
    topology.clear();
    atoms = n;
    boxEdge = std::cbrt(n / NUMBER_DENSITY);
    geom.assign(static_cast<std::size_t>(n) * GEOM_STRIDE, 0.0);
    std::mt19937 random(2024);
    std::uniform_real_distribution<double> box(0.0, boxEdge), unit(-1.0, 1.0);
    for (int i = 0; i < n; ++i) {
        double* row = &geom[static_cast<std::size_t>(i) * GEOM_STRIDE];
        row[0] = i + 1;
        row[1] = 1;
        for (int k = 0; k < 3; ++k) row[2 + k] = box(random);
        double q[4] = {unit(random), unit(random), unit(random), unit(random)};
        double norm = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
        for (int k = 0; k < 4; ++k) row[5 + k] = q[k] / norm;
    }
}

// Ellipsoids sorted into cubic cells, with each cell's centre.
struct Cells {
    int perEdge = 0;
    double size = 0;
    std::vector<std::vector<int>> members;  // atom indices, in atom order
    std::vector<double> centres;            // 3 per cell, centred coordinates
};

Cells SortIntoCells(int perEdge, const std::vector<double>& centre) {
    Cells cells;
    cells.perEdge = perEdge;
    cells.size = boxEdge / perEdge;
    cells.members.resize(static_cast<std::size_t>(perEdge) * perEdge * perEdge);
    for (int i = 0; i < atoms; ++i) {
        const double* row = GeomRow(i);
        int index = 0;
        for (int k = 2; k >= 0; --k) {
            int c = std::clamp(static_cast<int>(row[GEOM_X + k] / cells.size), 0, perEdge - 1);
            index = index * perEdge + c;
        }
        cells.members[static_cast<std::size_t>(index)].push_back(i);
    }
    for (int z = 0; z < perEdge; ++z)
        for (int y = 0; y < perEdge; ++y)
            for (int x = 0; x < perEdge; ++x)
                for (int k = 0; k < 3; ++k)
                    cells.centres.push_back(((k == 0 ? x : k == 1 ? y : z) + 0.5) * cells.size - centre[k]);
    return cells;
}

// The eye in the centred scene coordinates: the modelview's inverse applied to the origin.
void EyePosition(double* eye) {
    double m[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, m);
    for (int k = 0; k < 3; ++k) eye[k] = -(m[4 * k] * m[12] + m[4 * k + 1] * m[13] + m[4 * k + 2] * m[14]);
}

void DrawBox(const double* centre, double half) {
    static const int faces[6][4] = {{0, 1, 3, 2}, {4, 6, 7, 5}, {0, 4, 5, 1}, {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 5, 7, 3}};
    glBegin(GL_QUADS);
    for (const int* face : faces)
        for (int v = 0; v < 4; ++v) {
            int corner = face[v];
            glVertex3d(centre[0] + ((corner & 1) ? half : -half), centre[1] + ((corner & 2) ? half : -half),
                       centre[2] + ((corner & 4) ? half : -half));
        }
    glEnd();
}

void DrawCell(const Cells& cells, std::size_t cell, const std::vector<double>& centre) {
    std::vector<double> position(3), quaternion(4);
    for (int i : cells.members[cell]) {
        const double* row = GeomRow(i);
        for (int k = 0; k < 3; ++k) position[k] = row[GEOM_X + k] - centre[k];
        for (int k = 0; k < 4; ++k) quaternion[k] = row[GEOM_QW + k];
        CreateEllipsoid(static_cast<int>(row[GEOM_TYPE]), position, quaternion, 30, 30);
    }
}

// The frame cell by cell, nearest cell first; with queries, a cell whose grown box shows no sample is left out.
// NOTE: a box the eye is in (or near enough for the near plane to cut it) is always drawn: its faces are clipped.
long long DrawByCells(const Cells& cells, bool useQueries, std::vector<GLuint>& queries) {
    std::vector<double> centre = average();
    double eye[3];
    EyePosition(eye);
    std::size_t count = cells.members.size();
    std::vector<double> distance(count);
    std::vector<std::size_t> order(count);
    for (std::size_t c = 0; c < count; ++c) {
        order[c] = c;
        double d2 = 0;
        for (int k = 0; k < 3; ++k) d2 += std::pow(cells.centres[3 * c + k] - eye[k], 2);
        distance[c] = d2;
    }
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return distance[a] < distance[b]; });
    double grown = 1.01 * (cells.size / 2 + std::max({HALF[0], HALF[1], HALF[2]}));  // slack for the rounding of depths
    double always = grown * std::sqrt(3.0) + 2.0;  // the near plane is at 1
    long long hidden = 0;
    if (queries.size() < BATCH) {
        queries.resize(BATCH);
        glGenQueries(BATCH, queries.data());
    }
    for (std::size_t first = 0; first < count; first += BATCH) {
        std::size_t last = std::min(count, first + BATCH);
        bool visible[BATCH];
        for (std::size_t k = first; k < last; ++k) visible[k - first] = true;
        if (useQueries) {
            glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            glDisable(GL_LIGHTING);
            glDisable(GL_TEXTURE_2D);
            glDisable(GL_FOG);
            glDisable(GL_CULL_FACE);
            glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
            glDepthMask(GL_FALSE);
            for (std::size_t k = first; k < last; ++k) {
                glBeginQuery(GL_SAMPLES_PASSED, queries[k - first]);
                if (std::sqrt(distance[order[k]]) > always && !cells.members[order[k]].empty())
                    DrawBox(&cells.centres[3 * order[k]], grown);
                glEndQuery(GL_SAMPLES_PASSED);
            }
            glPopAttrib();
            for (std::size_t k = first; k < last; ++k) {
                GLuint samples = 0;
                glGetQueryObjectuiv(queries[k - first], GL_QUERY_RESULT, &samples);
                visible[k - first] = samples > 0 || std::sqrt(distance[order[k]]) <= always;
            }
        }
        for (std::size_t k = first; k < last; ++k) {
            if (visible[k - first]) DrawCell(cells, order[k], centre);
            else hidden += static_cast<long long>(cells.members[order[k]].size());
        }
    }
    return hidden;
}

using Picture = std::vector<unsigned char>;

Picture ReadPicture() {
    Picture pixels(static_cast<std::size_t>(window_width) * window_height * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, window_width, window_height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

long Differing(const Picture& a, const Picture& b) {
    long count = 0;
    for (std::size_t p = 0; p + 2 < a.size(); p += 3)
        if (a[p] != b[p] || a[p + 1] != b[p + 1] || a[p + 2] != b[p + 2]) ++count;
    return count;
}

double Now() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

enum Method { PROGRAM, CELLS_ONLY, CELLS_AND_QUERIES, METHODS };

// One redraw by a method; milliseconds; `picture` gets what it drew and `hidden` the ellipsoids it left out.
double Redraw(Method method, const Cells& cells, std::vector<GLuint>& queries, Picture* picture, long long* hidden) {
    double start = Now();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    long long left = 0;
    if (method == PROGRAM) DoStuff();
    else left = DrawByCells(cells, method == CELLS_AND_QUERIES, queries);
    glFinish();
    double ms = Now() - start;
    if (picture) *picture = ReadPicture();
    if (hidden) *hidden = left;
    glutSwapBuffers();
    return ms;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    std::size_t n = values.size();
    return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

void MeasureRow(const Cells& cells, bool adaptive, std::vector<GLuint>& queries) {
    adaptiveDetail = adaptive;
    Picture pictures[METHODS];
    long long hidden = 0;
    // DoStuff first, here and in every repeat: it leaves the view that adaptive detail reads for the cells too.
    for (int m = 0; m < METHODS; ++m)
        Redraw(static_cast<Method>(m), cells, queries, &pictures[m], m == CELLS_AND_QUERIES ? &hidden : nullptr);
    const int repeats = 3;
    std::vector<double> times[METHODS];
    for (int r = 0; r < repeats; ++r)
        for (int m = 0; m < METHODS; ++m)
            times[m].push_back(Redraw(static_cast<Method>(m), cells, queries, nullptr, nullptr));
    double program = Median(times[PROGRAM]), ordered = Median(times[CELLS_ONLY]);
    double queried = Median(times[CELLS_AND_QUERIES]);
    double gain = program / queried;
    std::printf("%-9s %6d^3 %10.1f %10.1f %10.1f %7.2fx %9lld %10ld %10ld   %s\n", adaptive ? "adaptive" : "default",
                cells.perEdge, program, ordered, queried, gain, hidden, Differing(pictures[PROGRAM], pictures[CELLS_ONLY]),
                Differing(pictures[PROGRAM], pictures[CELLS_AND_QUERIES]),
                gain >= 1.5 && Differing(pictures[PROGRAM], pictures[CELLS_AND_QUERIES]) == 0 ? "keep: >= 1.5x, same pixels"
                                                                                            : "not kept");
    std::fflush(stdout);
    adaptiveDetail = false;
}

}  // namespace

int main(int argc, char** argv) {
    glutInit(&argc, argv);
    OpenBenchWindow("Ovalix hidden-ellipsoid benchmark");
    int n = argc > 1 ? std::atoi(argv[1]) : 100000;
    std::vector<int> edges;
    for (int i = 2; i < argc; ++i) edges.push_back(std::atoi(argv[i]));
    if (edges.empty()) edges = {8, 16};
    FillDenseScene(n);
    // The cube's front face fills the window: eye 52 units from it (half its edge is 34.6 at 100,000).
    double distance = boxEdge / 2 / (std::tan(22.5 * pi / 180) * window_width / window_height) + boxEdge / 2;
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, static_cast<float>(200 - distance));
    std::printf("dense frame: %d ellipsoids, half radii 1.5 0.5 0.5, %.2f per unit volume, cube of edge %.1f, "
                "%d x %d, front face filling the view\n", n, NUMBER_DENSITY, boxEdge, window_width, window_height);
    std::printf("median ms/frame; program: DoStuff; cells: the same ellipsoids cell by cell, nearest first; queried: "
                "cells behind the depth buffer left out (batches of %d)\n", BATCH);
    std::printf("%-9s %8s %10s %10s %10s %8s %9s %10s %10s\n", "mode", "cells", "program", "cells", "queried",
                "gain", "left out", "px differ", "px differ");
    std::printf("%-9s %8s %10s %10s %10s %8s %9s %10s %10s\n", "", "", "", "", "", "", "", "(cells)", "(queried)");
    std::vector<GLuint> queries;
    for (int perEdge : edges) {
        Cells cells = SortIntoCells(perEdge, average());
        for (bool adaptive : {false, true}) MeasureRow(cells, adaptive, queries);
    }
    glPopMatrix();
    std::printf("target: keep only with every pixel unchanged and >= 1.5x\n");
    std::printf("renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    return 0;
}
