// Local nematic order, orientational domains and smectic layers: neighbours from a cell list (minimum image in
// orthogonal and triclinic boxes), the domains from a union-find that every thread joins into, the layers from a
// coarse scan of the spacing refined by Newton steps. Every number is worked out in an order that does not depend
// on the thread count, so that one thread and many give the same result.
#include "core/local_order.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <complex>
#include <cstdio>
#include <functional>
#include <limits>
#include <thread>

#include "core/order.h"
#include "core/scene.h"

namespace {

// ---- Threads ----------------------------------------------------------------------------------------

// task(0) .. task(count - 1) on every core, each task taken by the first thread free. Tasks write only their
// own results, so the outcome is the same on one thread as on many.
void RunTasks(long long count, const std::function<void(long long)>& task) {
    const int threads = static_cast<int>(std::min<long long>(AnalysisThreads(), count));
    std::atomic<long long> next{0};
    auto work = [&] {
        for (long long k = next++; k < count; k = next++) task(k);
    };
    std::vector<std::thread> helpers;
    for (int t = 1; t < threads; ++t) helpers.emplace_back(work);
    work();
    for (std::thread& helper : helpers) helper.join();
}

// body(from, to) over 0 .. n - 1 in blocks of `size`, the blocks spread over the cores as RunTasks spreads tasks.
void RunBlocks(long long n, long long size, const std::function<void(long long, long long)>& body) {
    RunTasks((n + size - 1) / size, [&](long long block) { body(block * size, std::min(n, (block + 1) * size)); });
}

// ---- Neighbour cells ----------------------------------------------------------------------------------

// Particles sorted into cells at least the cut-off wide, so that every neighbour lies in a cell next to its own.
// Positions are taken as fractions s of the box (r = origin + edges * s), wrapped into [0, 1) when periodic.
struct CellGrid {
    bool periodic = false;
    double edges[9] = {};     // column k is edge k
    double inverse[9] = {};   // fractions from a Cartesian difference
    int cells[3] = {1, 1, 1};
    bool roundAxis[3] = {};   // periodic with fewer than 3 cells: the image along it is found per pair
    std::vector<int> start;   // first sorted particle of each cell; one more entry than cells
    std::vector<int> order;   // sorted particle -> particle
    std::vector<double> position;  // 3 per sorted particle (wrapped into the box)
    std::vector<double> axis;      // 3 per sorted particle
};

// A neighbouring cell with the box translation that brings its particles next to the cell's own.
struct NeighbourCell {
    int cell;
    double shift[3];
};

bool Invert(const double* m, double* inverse) {
    const double det = m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
                       m[2] * (m[3] * m[7] - m[4] * m[6]);
    if (!(std::fabs(det) > 0) || !std::isfinite(det)) return false;
    inverse[0] = (m[4] * m[8] - m[5] * m[7]) / det;
    inverse[1] = (m[2] * m[7] - m[1] * m[8]) / det;
    inverse[2] = (m[1] * m[5] - m[2] * m[4]) / det;
    inverse[3] = (m[5] * m[6] - m[3] * m[8]) / det;
    inverse[4] = (m[0] * m[8] - m[2] * m[6]) / det;
    inverse[5] = (m[2] * m[3] - m[0] * m[5]) / det;
    inverse[6] = (m[3] * m[7] - m[4] * m[6]) / det;
    inverse[7] = (m[1] * m[6] - m[0] * m[7]) / det;
    inverse[8] = (m[0] * m[4] - m[1] * m[3]) / det;
    return true;
}

// Width of the box across edge k: its volume over the area of the face the other two edges span.
double WidthAcross(const double* m, int k) {
    const int a = (k + 1) % 3, b = (k + 2) % 3;
    const double cross[3] = {m[3 + a] * m[6 + b] - m[6 + a] * m[3 + b], m[6 + a] * m[b] - m[a] * m[6 + b],
                             m[a] * m[3 + b] - m[3 + a] * m[b]};
    const double area = std::sqrt(cross[0] * cross[0] + cross[1] * cross[1] + cross[2] * cross[2]);
    const double volume = m[k] * cross[0] + m[3 + k] * cross[1] + m[6 + k] * cross[2];
    return std::fabs(volume) / area;
}

// The box the cells divide: the frame's periodic box, or the particles' bounding box when there is none.
void ChooseCellBox(const std::vector<double>& position, const SimulationBox& box, double cutoffHint, CellGrid& grid,
                   double* origin) {
    for (int a = 0; a < 3; ++a)
        for (int k = 0; k < 3; ++k) grid.edges[3 * a + k] = box.exists ? box.edges[k][a] : 0.0;
    grid.periodic = box.exists && Invert(grid.edges, grid.inverse);
    if (grid.periodic) {
        for (int a = 0; a < 3; ++a) origin[a] = box.origin[a];
        return;
    }
    double low[3] = {0, 0, 0}, high[3] = {0, 0, 0};
    const std::size_t n = position.size() / 3;
    for (std::size_t i = 0; i < n; ++i)
        for (int a = 0; a < 3; ++a) {
            low[a] = i == 0 ? position[3 * i + a] : std::min(low[a], position[3 * i + a]);
            high[a] = i == 0 ? position[3 * i + a] : std::max(high[a], position[3 * i + a]);
        }
    for (int a = 0; a < 3; ++a) {
        origin[a] = low[a];
        for (int k = 0; k < 3; ++k) grid.edges[3 * a + k] = a == k ? std::max(high[a] - low[a], 1e-6 * cutoffHint) * (1 + 1e-12) : 0;
    }
    Invert(grid.edges, grid.inverse);
}

// Cells along each edge: as many as fit at least the cut-off wide, no more than about two per particle.
void CountCells(CellGrid& grid, double cutoff, std::size_t particles) {
    const double most = std::max(27.0, 2.0 * static_cast<double>(particles));
    double wanted[3];
    for (int k = 0; k < 3; ++k) {
        const double cells = std::floor(WidthAcross(grid.edges, k) / cutoff);
        wanted[k] = std::isfinite(cells) ? std::min(std::max(1.0, cells), most) : 1.0;  // a flat box: one cell across
    }
    while (wanted[0] * wanted[1] * wanted[2] > most) {
        int largest = static_cast<int>(std::max_element(wanted, wanted + 3) - wanted);
        wanted[largest] = std::max(1.0, std::floor(wanted[largest] / 2));
    }
    for (int k = 0; k < 3; ++k) {
        grid.cells[k] = static_cast<int>(wanted[k]);
        grid.roundAxis[k] = grid.periodic && grid.cells[k] < 3;
    }
}

int CellIndex(const CellGrid& grid, const int* c) { return (c[2] * grid.cells[1] + c[1]) * grid.cells[0] + c[0]; }

// Fractions of the box (wrapped into [0, 1) when periodic) of the point origin + d, and its cell.
int CellOfPoint(const CellGrid& grid, const double* d, double* s) {
    int c[3];
    for (int k = 0; k < 3; ++k) {
        s[k] = grid.inverse[3 * k] * d[0] + grid.inverse[3 * k + 1] * d[1] + grid.inverse[3 * k + 2] * d[2];
        if (grid.periodic) {
            s[k] -= std::floor(s[k]);
            if (!(s[k] < 1)) s[k] = 0;  // -1e-17 wraps to 1.0
        }
        c[k] = std::min(grid.cells[k] - 1, std::max(0, static_cast<int>(s[k] * grid.cells[k])));
    }
    return CellIndex(grid, c);
}

void SortIntoCells(const std::vector<double>& position, const std::vector<double>& axis, double cutoff, const SimulationBox& box,
                   CellGrid& grid) {
    double origin[3];
    ChooseCellBox(position, box, cutoff, grid, origin);
    const std::size_t n = position.size() / 3;
    CountCells(grid, cutoff, n);
    const int total = grid.cells[0] * grid.cells[1] * grid.cells[2];
    std::vector<int> cellOf(n);
    RunBlocks(static_cast<long long>(n), 8192, [&](long long from, long long to) {
        double s[3];
        for (long long i = from; i < to; ++i) {
            const double* p = &position[static_cast<std::size_t>(3 * i)];
            const double d[3] = {p[0] - origin[0], p[1] - origin[1], p[2] - origin[2]};
            cellOf[static_cast<std::size_t>(i)] = CellOfPoint(grid, d, s);
        }
    });
    grid.start.assign(static_cast<std::size_t>(total) + 1, 0);
    for (std::size_t i = 0; i < n; ++i) ++grid.start[static_cast<std::size_t>(cellOf[i]) + 1];
    for (int c = 0; c < total; ++c) grid.start[c + 1] += grid.start[c];
    std::vector<int> fill(grid.start.begin(), grid.start.end() - 1);
    grid.order.resize(n);
    grid.position.resize(3 * n);
    grid.axis.resize(3 * n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t to = static_cast<std::size_t>(fill[static_cast<std::size_t>(cellOf[i])]++);
        grid.order[to] = static_cast<int>(i);
        const double* p = &position[3 * i];
        double s[3];
        if (grid.periodic) {
            const double d[3] = {p[0] - origin[0], p[1] - origin[1], p[2] - origin[2]};
            CellOfPoint(grid, d, s);
        }
        for (int a = 0; a < 3; ++a) {
            grid.position[3 * to + a] = grid.periodic ? origin[a] + grid.edges[3 * a] * s[0] + grid.edges[3 * a + 1] * s[1] +
                                                            grid.edges[3 * a + 2] * s[2]
                                                      : p[a];
            grid.axis[3 * to + a] = axis[3 * i + a];
        }
    }
}

// The cells next to cell c (itself included), each once, with the box translation of each.
std::vector<NeighbourCell> NeighbourCells(const CellGrid& grid, const int* c) {
    std::vector<int> along[3];
    std::vector<int> wraps[3];
    for (int k = 0; k < 3; ++k) {
        const int n = grid.cells[k];
        if (grid.roundAxis[k]) {
            for (int m = 0; m < n; ++m) along[k].push_back(m), wraps[k].push_back(0);
            continue;
        }
        for (int offset = -1; offset <= 1; ++offset) {
            int m = c[k] + offset, wrap = 0;
            if (m < 0 || m >= n) {
                if (!grid.periodic) continue;
                wrap = m < 0 ? -1 : 1;
                m -= wrap * n;
            }
            along[k].push_back(m);
            wraps[k].push_back(wrap);
        }
    }
    std::vector<NeighbourCell> list;
    for (std::size_t z = 0; z < along[2].size(); ++z)
        for (std::size_t y = 0; y < along[1].size(); ++y)
            for (std::size_t x = 0; x < along[0].size(); ++x) {
                const int m[3] = {along[0][x], along[1][y], along[2][z]};
                const int w[3] = {wraps[0][x], wraps[1][y], wraps[2][z]};
                NeighbourCell cell{CellIndex(grid, m), {0, 0, 0}};
                for (int a = 0; a < 3; ++a)
                    for (int k = 0; k < 3; ++k) cell.shift[a] += w[k] * grid.edges[3 * a + k];
                list.push_back(cell);
            }
    return list;
}

// ---- Domains: a union-find every thread joins into ----------------------------------------------------
// A root is always the smallest particle of its set (the larger root is hung under the smaller), so the sets
// found do not depend on the order in which the threads join them.

int FindRoot(std::vector<std::atomic<int>>& parent, int x) {
    while (true) {
        int p = parent[static_cast<std::size_t>(x)].load();
        if (p == x) return x;
        int grand = parent[static_cast<std::size_t>(p)].load();
        if (grand != p) parent[static_cast<std::size_t>(x)].compare_exchange_weak(p, grand);  // halve the path
        x = grand;
    }
}

void Join(std::vector<std::atomic<int>>& parent, int a, int b) {
    while (true) {
        a = FindRoot(parent, a);
        b = FindRoot(parent, b);
        if (a == b) return;
        if (a < b) std::swap(a, b);
        int expected = a;
        if (parent[static_cast<std::size_t>(a)].compare_exchange_strong(expected, b)) return;
    }
}

// ---- Local order of one particle ----------------------------------------------------------------------

struct PairWork {
    const CellGrid& grid;
    double cutoff2;
    double cosAngle;
    std::vector<std::atomic<int>>& parent;
    std::vector<double>& localS;  // by sorted particle
};

// The neighbour's offset in the nearest image along the edges whose image is found per pair.
void RoundImage(const CellGrid& grid, double* d) {
    for (int k = 0; k < 3; ++k) {
        if (!grid.roundAxis[k]) continue;
        const double f = grid.inverse[3 * k] * d[0] + grid.inverse[3 * k + 1] * d[1] + grid.inverse[3 * k + 2] * d[2];
        const double shift = std::nearbyint(f);
        for (int a = 0; a < 3; ++a) d[a] -= shift * grid.edges[3 * a + k];
    }
}

// The particles of near cells within the cut-off of position p, in cell order, into hits; their count. The test
// has no branch: a candidate is written and the count moves on only when it is near, so that the scattered
// hits cost no mispredicted jump each.
int NearCandidates(const CellGrid& g, const double* p, double cutoff2, const std::vector<NeighbourCell>& near,
                   bool anyRound, int* hits) {
    int found = 0;
    for (const NeighbourCell& cell : near) {
        const int end = g.start[static_cast<std::size_t>(cell.cell) + 1];
        const double base[3] = {p[0] - cell.shift[0], p[1] - cell.shift[1], p[2] - cell.shift[2]};
        const double* pj = g.position.data();
        for (int j = g.start[static_cast<std::size_t>(cell.cell)]; j < end; ++j) {
            const std::size_t at = 3 * static_cast<std::size_t>(j);
            double d[3] = {pj[at] - base[0], pj[at + 1] - base[1], pj[at + 2] - base[2]};
            if (anyRound) RoundImage(g, d);
            hits[found] = j;
            found += !(d[0] * d[0] + d[1] * d[1] + d[2] * d[2] > cutoff2);
        }
    }
    return found;
}

void WorkOutParticle(PairWork& w, int i, const std::vector<NeighbourCell>& near, bool anyRound, int* hits) {
    const CellGrid& g = w.grid;
    const double* ui = &g.axis[3 * static_cast<std::size_t>(i)];
    const int found = NearCandidates(g, &g.position[3 * static_cast<std::size_t>(i)], w.cutoff2, near, anyRound, hits);
    double m[6] = {0, 0, 0, 0, 0, 0};  // sum of u u^T: xx, yy, zz, xy, xz, yz
    int root = -1;  // i's root once known: most aligned neighbours are already in i's set
    for (int k = 0; k < found; ++k) {
        const int j = hits[k];
        const double* uj = &g.axis[3 * static_cast<std::size_t>(j)];
        m[0] += uj[0] * uj[0];
        m[1] += uj[1] * uj[1];
        m[2] += uj[2] * uj[2];
        m[3] += uj[0] * uj[1];
        m[4] += uj[0] * uj[2];
        m[5] += uj[1] * uj[2];
        if (j > i && std::fabs(ui[0] * uj[0] + ui[1] * uj[1] + ui[2] * uj[2]) > w.cosAngle) {
            if (root < 0 || FindRoot(w.parent, j) != FindRoot(w.parent, root)) Join(w.parent, i, j);
            root = FindRoot(w.parent, i);
        }
    }
    const double c = static_cast<double>(found);
    const double q[9] = {1.5 * m[0] / c - 0.5, 1.5 * m[3] / c, 1.5 * m[4] / c,
                         1.5 * m[3] / c, 1.5 * m[1] / c - 0.5, 1.5 * m[5] / c,
                         1.5 * m[4] / c, 1.5 * m[5] / c, 1.5 * m[2] / c - 0.5};
    w.localS[static_cast<std::size_t>(i)] = LargestEigenvalue(q);
}

// Every particle of cell c; hits is room for the indices of its candidates.
void WorkOutCell(PairWork& w, int c, std::vector<int>& hits) {
    const CellGrid& g = w.grid;
    const int coordinates[3] = {c % g.cells[0], (c / g.cells[0]) % g.cells[1], c / (g.cells[0] * g.cells[1])};
    const std::vector<NeighbourCell> near = NeighbourCells(g, coordinates);
    const bool anyRound = g.roundAxis[0] || g.roundAxis[1] || g.roundAxis[2];
    std::size_t candidates = 0;
    for (const NeighbourCell& cell : near)
        candidates += static_cast<std::size_t>(g.start[static_cast<std::size_t>(cell.cell) + 1] - g.start[static_cast<std::size_t>(cell.cell)]);
    if (hits.size() < candidates) hits.resize(candidates);
    for (int i = g.start[static_cast<std::size_t>(c)]; i < g.start[static_cast<std::size_t>(c) + 1]; ++i)
        WorkOutParticle(w, i, near, anyRound, hits.data());
}

// Components numbered by size, the largest 1 (a tie: the one with the smallest label first); those under the
// minimum get 0.
void NumberDomains(const CellGrid& grid, std::vector<std::atomic<int>>& parent, const std::vector<double>& label,
                   int minimum, LocalOrderResult& result) {
    const std::size_t n = grid.order.size();
    std::vector<long long> size(n, 0);
    std::vector<double> smallestLabel(n, std::numeric_limits<double>::infinity());
    std::vector<int> root(n);
    RunBlocks(static_cast<long long>(n), 8192, [&](long long from, long long to) {
        for (long long i = from; i < to; ++i) root[static_cast<std::size_t>(i)] = FindRoot(parent, static_cast<int>(i));
    });
    for (std::size_t i = 0; i < n; ++i) {
        ++size[static_cast<std::size_t>(root[i])];
        const double l = label[static_cast<std::size_t>(grid.order[i])];
        smallestLabel[static_cast<std::size_t>(root[i])] = std::min(smallestLabel[static_cast<std::size_t>(root[i])], l);
    }
    std::vector<int> roots;
    for (std::size_t i = 0; i < n; ++i)
        if (root[i] == static_cast<int>(i)) roots.push_back(static_cast<int>(i));
    std::sort(roots.begin(), roots.end(), [&](int a, int b) {
        if (size[static_cast<std::size_t>(a)] != size[static_cast<std::size_t>(b)])
            return size[static_cast<std::size_t>(a)] > size[static_cast<std::size_t>(b)];
        return smallestLabel[static_cast<std::size_t>(a)] < smallestLabel[static_cast<std::size_t>(b)];
    });
    std::vector<int> number(n, 0);
    result.domainSizes.clear();
    result.components = static_cast<long long>(roots.size());
    for (int r : roots) {
        if (size[static_cast<std::size_t>(r)] < minimum) break;
        result.domainSizes.push_back(size[static_cast<std::size_t>(r)]);
        number[static_cast<std::size_t>(r)] = static_cast<int>(result.domainSizes.size());
    }
    result.domain.assign(n, 0);
    for (std::size_t i = 0; i < n; ++i)
        result.domain[static_cast<std::size_t>(grid.order[i])] = number[static_cast<std::size_t>(root[i])];
}

// ---- Largest eigenvalue ---------------------------------------------------------------------------------

// Cyclic Jacobi rotations to the diagonal: slower, exact where two eigenvalues meet.
double LargestByJacobi(const double* q) {
    double a[3][3] = {{q[0], q[1], q[2]}, {q[3], q[4], q[5]}, {q[6], q[7], q[8]}};
    for (int sweep = 0; sweep < 50; ++sweep) {
        const double off = a[0][1] * a[0][1] + a[0][2] * a[0][2] + a[1][2] * a[1][2];
        if (off == 0) break;
        for (int p = 0; p < 2; ++p)
            for (int r = p + 1; r < 3; ++r) {
                if (a[p][r] == 0) continue;
                const double theta = (a[r][r] - a[p][p]) / (2 * a[p][r]);
                const double t = (theta >= 0 ? 1 : -1) / (std::fabs(theta) + std::sqrt(theta * theta + 1));
                const double c = 1 / std::sqrt(t * t + 1), s = t * c;
                for (int k = 0; k < 3; ++k) {  // columns p and r
                    const double kp = a[k][p], kr = a[k][r];
                    a[k][p] = c * kp - s * kr;
                    a[k][r] = s * kp + c * kr;
                }
                for (int k = 0; k < 3; ++k) {  // rows p and r
                    const double pk = a[p][k], rk = a[r][k];
                    a[p][k] = c * pk - s * rk;
                    a[r][k] = s * pk + c * rk;
                }
            }
    }
    return std::max(a[0][0], std::max(a[1][1], a[2][2]));
}

// ---- Smectic layers -------------------------------------------------------------------------------------

constexpr long long SUM_CHUNK = 8192;  // particles summed together; the chunks are added in order
constexpr double TWO_PI = 6.283185307179586476925286766559;

// sum w_j exp(2 pi i q z_j) with its first two derivatives in q, summed in fixed chunks.
struct PhaseSums {
    std::complex<double> f, df, ddf;
};

PhaseSums SumPhases(const std::vector<double>& z, const std::vector<double>& weight, double q) {
    const long long n = static_cast<long long>(z.size());
    const long long chunks = (n + SUM_CHUNK - 1) / SUM_CHUNK;
    std::vector<PhaseSums> partial(static_cast<std::size_t>(chunks));
    auto sumChunk = [&](long long k) {
        PhaseSums s{};
        for (long long j = k * SUM_CHUNK; j < std::min(n, (k + 1) * SUM_CHUNK); ++j) {
            const double zj = z[static_cast<std::size_t>(j)], phase = TWO_PI * q * zj;
            const std::complex<double> e = weight[static_cast<std::size_t>(j)] * std::complex<double>(std::cos(phase), std::sin(phase));
            const std::complex<double> i2piz(0, TWO_PI * zj);
            s.f += e;
            s.df += i2piz * e;
            s.ddf += i2piz * i2piz * e;
        }
        partial[static_cast<std::size_t>(k)] = s;
    };
    if (n < 4 * SUM_CHUNK) {
        for (long long k = 0; k < chunks; ++k) sumChunk(k);
    } else {
        RunTasks(chunks, sumChunk);
    }
    PhaseSums total{};
    for (const PhaseSums& s : partial) {
        total.f += s.f;
        total.df += s.df;
        total.ddf += s.ddf;
    }
    return total;
}

// |F(q)| / N at the points q0, q0 + step, ... (count of them), F from the histogram's bins (or the particles
// themselves when fewer): each bin's phase factor is turned on by a fixed factor from one point to the next.
void CoarseTaus(const std::vector<double>& z, const std::vector<double>& weight, double q0, double step, int count,
                double total, double* tau) {
    std::complex<double> f[16] = {};
    for (std::size_t j = 0; j < z.size(); ++j) {
        std::complex<double> e = std::polar(weight[j], TWO_PI * q0 * z[j]);
        const std::complex<double> turn = std::polar(1.0, TWO_PI * step * z[j]);
        for (int m = 0; m < count; ++m) {
            f[m] += e;
            e *= turn;
        }
    }
    for (int m = 0; m < count; ++m) tau[m] = std::abs(f[m]) / total;
}

// The q in [low, high] where |F|^2 peaks near start: Newton steps on its slope, kept within a shrinking bracket.
double RefinePeak(const std::vector<double>& z, const std::vector<double>& weight, double low, double high, double start) {
    double q = start;
    for (int step = 0; step < 60 && high - low > 1e-14 * high; ++step) {
        const PhaseSums s = SumPhases(z, weight, q);
        const double slope = 2 * std::real(std::conj(s.f) * s.df);
        const double curvature = 2 * (std::norm(s.df) + std::real(std::conj(s.f) * s.ddf));
        if (slope > 0) low = q;
        else high = q;
        double next = curvature < 0 ? q - slope / curvature : (low + high) / 2;
        if (!(next > low && next < high)) next = (low + high) / 2;
        if (std::fabs(next - q) <= 1e-15 * q) break;
        q = next;
    }
    return q;
}

// ---- Reading the settings ---------------------------------------------------------------------------

bool ReadNumber(const std::string& text, double& value) {
    auto [end, problem] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && problem == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}

std::vector<std::string> SplitWords(const std::string& text, char separator) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (char c : text) {
        const bool split = separator == ' ' ? (c == ' ' || c == '\t' || c == '\r') : c == separator;
        if (split) {
            if (inWord || separator != ' ') words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord || separator != ' ') words.push_back(word);
    return words;
}

}  // namespace

namespace {
int threadLimit = 0;  // LimitAnalysisThreads
}  // namespace

int AnalysisThreads() {
    const unsigned cores = workerThreads > 0 ? static_cast<unsigned>(workerThreads) : std::thread::hardware_concurrency();
    const int machine = cores == 0 ? 1 : static_cast<int>(std::min(cores, 256u));
    return threadLimit > 0 ? std::min(threadLimit, machine) : machine;
}

void LimitAnalysisThreads(int threads) { threadLimit = threads; }

double LargestEigenvalue(const double* q) {
    const double p1 = q[1] * q[1] + q[2] * q[2] + q[5] * q[5];
    if (p1 == 0) return std::max(q[0], std::max(q[4], q[8]));
    const double mean = (q[0] + q[4] + q[8]) / 3;
    const double d0 = q[0] - mean, d1 = q[4] - mean, d2 = q[8] - mean;
    const double p = std::sqrt((d0 * d0 + d1 * d1 + d2 * d2 + 2 * p1) / 6);
    const double b[9] = {d0 / p, q[1] / p, q[2] / p, q[3] / p, d1 / p, q[5] / p, q[6] / p, q[7] / p, d2 / p};
    const double r = (b[0] * (b[4] * b[8] - b[5] * b[7]) - b[1] * (b[3] * b[8] - b[5] * b[6]) +
                      b[2] * (b[3] * b[7] - b[4] * b[6])) / 2;
    // Where the two largest eigenvalues nearly meet (r near -1) the arccosine loses digits: rotate instead.
    if (r < -0.99) return LargestByJacobi(q);
    const double phi = std::acos(std::min(1.0, r)) / 3;
    return mean + 2 * p * std::cos(phi);
}

void LocalOrderOf(const std::vector<double>& position, const std::vector<double>& axis, const std::vector<double>& label,
                  const SimulationBox& box, double cutoff, double angle, int minimum, LocalOrderResult& result) {
    const std::size_t n = position.size() / 3;
    static CellGrid grid;  // kept with its room: the next frame sorts into the same memory
    SortIntoCells(position, axis, cutoff, box, grid);
    std::vector<std::atomic<int>> parent(n);
    for (std::size_t i = 0; i < n; ++i) parent[i].store(static_cast<int>(i));
    std::vector<double> sortedS(n, 0.0);
    PairWork work{grid, cutoff * cutoff, std::cos(angle * pi / 180), parent, sortedS};
    const long long cells = static_cast<long long>(grid.start.size()) - 1;
    const long long blocks = (cells + 63) / 64;  // cells taken 64 at a time
    RunTasks(blocks, [&](long long block) {
        std::vector<int> hits;
        for (long long c = block * 64; c < std::min(cells, (block + 1) * 64); ++c) WorkOutCell(work, static_cast<int>(c), hits);
    });
    result.localS.assign(n, 0.0);
    for (std::size_t i = 0; i < n; ++i) result.localS[static_cast<std::size_t>(grid.order[i])] = sortedS[i];
    NumberDomains(grid, parent, label, minimum, result);
}

SmecticResult SmecticOf(const std::vector<double>& position, const double* director, double dmin, double dmax) {
    SmecticResult result;
    const std::size_t n = position.size() / 3;
    if (n == 0 || !(dmin > 0) || !(dmax > dmin) || !std::isfinite(dmax)) return result;
    std::vector<double> z(n);
    double low = 0, high = 0, mean = 0;
    for (std::size_t j = 0; j < n; ++j) {
        z[j] = position[3 * j] * director[0] + position[3 * j + 1] * director[1] + position[3 * j + 2] * director[2];
        low = j == 0 ? z[j] : std::min(low, z[j]);
        high = j == 0 ? z[j] : std::max(high, z[j]);
        mean += z[j];
    }
    mean /= static_cast<double>(n);
    for (double& value : z) value -= mean;  // centred: the phase sums stay well conditioned
    const std::vector<double> ones(n, 1.0);
    // The coarse scan: the peaks are about 1 / extent wide in q = 1 / d, so four points to that width.
    const double extent = std::max(high - low, dmin), qLow = 1 / dmax, qHigh = 1 / dmin;
    const long long points = std::min<long long>(200000, static_cast<long long>(std::ceil((qHigh - qLow) * extent * 4)) + 2);
    const double spacing = (qHigh - qLow) / static_cast<double>(points - 1);
    // The scan and a first refinement run on a histogram of z when it has fewer entries than the particles: each
    // particle shared between the two bins around it (dmin / 128 wide) in proportion to its nearness, which
    // puts |F| / N within (2 pi q bin)^2 / 8 of the particles' own. The best peaks are then refined on the
    // particles themselves.
    std::vector<double> binZ = z, binWeight = ones;
    const double bin = dmin / 128;
    const double bins = std::ceil((high - low) / bin) + 2;
    double binError = 0;
    if (bins < static_cast<double>(n)) {
        binZ.assign(static_cast<std::size_t>(bins), 0.0);
        binWeight.assign(static_cast<std::size_t>(bins), 0.0);
        for (std::size_t k = 0; k < binZ.size(); ++k) binZ[k] = low - mean + static_cast<double>(k) * bin;
        for (double value : z) {
            const double at = std::max(0.0, (value - (low - mean)) / bin);
            const std::size_t k = std::min(binZ.size() - 2, static_cast<std::size_t>(at));
            const double share = std::min(1.0, at - static_cast<double>(k));
            binWeight[k] += 1 - share;
            binWeight[k + 1] += share;
        }
        binError = std::pow(TWO_PI * qHigh * bin, 2) / 8;
    }
    std::vector<double> coarse(static_cast<std::size_t>(points));
    RunTasks((points + 15) / 16, [&](long long block) {
        const long long first = block * 16;
        CoarseTaus(binZ, binWeight, qLow + spacing * static_cast<double>(first), spacing,
                   static_cast<int>(std::min<long long>(16, points - first)), static_cast<double>(n), &coarse[static_cast<std::size_t>(first)]);
    });
    // Every local peak of the scan near the highest is refined on the histogram. Those that come within the
    // histogram's error of the best are weighed on the particles at that spacing, and the heaviest is refined on
    // the particles themselves.
    std::vector<long long> peaks;
    for (long long m = 0; m < points; ++m) {
        const double here = coarse[static_cast<std::size_t>(m)];
        if ((m == 0 || here >= coarse[static_cast<std::size_t>(m - 1)]) && (m == points - 1 || here >= coarse[static_cast<std::size_t>(m + 1)]))
            peaks.push_back(m);
    }
    std::stable_sort(peaks.begin(), peaks.end(),
                     [&](long long a, long long b) { return coarse[static_cast<std::size_t>(a)] > coarse[static_cast<std::size_t>(b)]; });
    const double best = coarse[static_cast<std::size_t>(peaks.front())];
    std::vector<double> binQ, binTau;
    for (std::size_t k = 0; k < peaks.size() && k < 8; ++k) {
        const double at = coarse[static_cast<std::size_t>(peaks[k])];
        if (k > 0 && at < best - 0.05) break;
        const double qStart = qLow + spacing * static_cast<double>(peaks[k]);
        binQ.push_back(RefinePeak(binZ, binWeight, std::max(qLow, qStart - spacing), std::min(qHigh, qStart + spacing), qStart));
        binTau.push_back(std::abs(SumPhases(binZ, binWeight, binQ.back()).f) / static_cast<double>(n));
    }
    const double binBest = *std::max_element(binTau.begin(), binTau.end());
    double chosen = 0;
    for (std::size_t k = 0; k < binQ.size(); ++k) {
        if (binTau[k] < binBest - 2 * binError) continue;
        const double tau = binError == 0 ? binTau[k] : std::abs(SumPhases(z, ones, binQ[k]).f) / static_cast<double>(n);
        if (!result.exists || tau > result.tau) {
            result = {true, tau, 1 / binQ[k]};
            chosen = binQ[k];
        }
    }
    if (binError == 0) return result;
    const double q = RefinePeak(z, ones, std::max(qLow, chosen - spacing), std::min(qHigh, chosen + spacing), chosen);
    const double tau = std::abs(SumPhases(z, ones, q).f) / static_cast<double>(n);
    if (tau > result.tau) result = {true, tau, 1 / q};
    return result;
}

const OrientedParticles& FrameParticles() {
    // Kept, with its room, until the frame changes: the local order and the smectic layers share one gathering,
    // and the next frame fills the same room instead of new memory.
    static OrientedParticles particles;
    static long long keptVersion = -1;
    if (keptVersion == particleDataVersion) return particles;
    keptVersion = particleDataVersion;
    constexpr long long BLOCK = 4096;
    const long long n = atoms;
    const long long blocks = (n + BLOCK - 1) / BLOCK;
    // The axis of atom i into u; false for a sphere, or a species number outside the tables (left to the
    // drawing, which reports it).
    auto axisOf = [](long long i, double* u) {
        const double* row = &geom[static_cast<std::size_t>(GEOM_STRIDE * i)];
        return row[GEOM_TYPE] >= 1 && row[GEOM_TYPE] < species + 1.0 &&
               UniqueAxisDirection(static_cast<int>(row[GEOM_TYPE]), row + GEOM_QW, u);
    };
    // The particles each block takes, then each block fills its own stretch of the tables, in atom order.
    std::vector<long long> first(static_cast<std::size_t>(blocks) + 1, 0);
    RunTasks(blocks, [&](long long block) {
        double u[3];
        for (long long i = block * BLOCK; i < std::min(n, (block + 1) * BLOCK); ++i)
            first[static_cast<std::size_t>(block) + 1] += axisOf(i, u);
    });
    for (long long block = 0; block < blocks; ++block)
        first[static_cast<std::size_t>(block) + 1] += first[static_cast<std::size_t>(block)];
    const std::size_t taking = static_cast<std::size_t>(first.back());
    particles.atom.resize(taking);
    particles.label.resize(taking);
    particles.position.resize(3 * taking);
    particles.axis.resize(3 * taking);
    RunTasks(blocks, [&](long long block) {
        std::size_t k = static_cast<std::size_t>(first[static_cast<std::size_t>(block)]);
        double u[3];
        for (long long i = block * BLOCK; i < std::min(n, (block + 1) * BLOCK); ++i) {
            if (!axisOf(i, u)) continue;
            const double* row = &geom[static_cast<std::size_t>(GEOM_STRIDE * i)];
            particles.atom[k] = i;
            particles.label[k] = row[GEOM_LABEL];
            for (int a = 0; a < 3; ++a) {
                particles.position[3 * k + a] = row[GEOM_X + a];
                particles.axis[3 * k + a] = u[a];
            }
            ++k;
        }
    });
    return particles;
}

namespace {

// Species that atoms of the frame held belong to, by number from 1.
std::vector<bool> SpeciesInFrame() {
    std::vector<bool> present(static_cast<std::size_t>(std::max(species, 0)) + 1, false);
    for (long long i = 0; i < atoms; ++i) {
        const double type = geom[static_cast<std::size_t>(GEOM_STRIDE * i + GEOM_TYPE)];
        if (type >= 1 && type < species + 1.0) present[static_cast<std::size_t>(type)] = true;
    }
    return present;
}

double HalfRadiusOf(int n, int k) { return entry(shape, SPECIES_STRIDE * (n - 1LL) + k, "shape"); }

}  // namespace

double DefaultCutoff() {
    const std::vector<bool> present = SpeciesInFrame();
    double largest = 0;
    for (int n = 1; n <= species; ++n)
        for (int k = 0; k < 3 && present[static_cast<std::size_t>(n)]; ++k) largest = std::max(largest, HalfRadiusOf(n, k));
    return 2 * largest;
}

bool DefaultSpacingRange(double& dmin, double& dmax) {
    const std::vector<bool> present = SpeciesInFrame();
    bool any = false;
    for (int n = 1; n <= species; ++n) {
        if (!present[static_cast<std::size_t>(n)] || UniqueAxis(n) < 0) continue;
        for (int k = 0; k < 3; ++k) {
            const double full = 2 * HalfRadiusOf(n, k);
            if (!(full > 0) || !std::isfinite(full)) continue;  // a flat axis (a PDB tensor's zero) spaces no layers
            dmin = any ? std::min(dmin, full) : full;
            dmax = any ? std::max(dmax, full) : full;
            any = true;
        }
    }
    dmax *= 1.5;
    return any;
}

const FrameAnalysis& FrameLocalOrder() {
    static FrameAnalysis kept;
    static long long keptVersion = -1;
    static double keptCutoff = -1, keptAngle = -1;
    static int keptMinimum = -1;
    if (keptVersion == particleDataVersion && keptCutoff == localOrderCutoff && keptAngle == localOrderAngle &&
        keptMinimum == localOrderMinimum)
        return kept;
    const OrientedParticles& particles = FrameParticles();
    FrameAnalysis analysis;
    analysis.cutoff = localOrderCutoff > 0 ? localOrderCutoff : DefaultCutoff();
    analysis.angle = localOrderAngle;
    analysis.minimum = localOrderMinimum;
    analysis.particles = static_cast<long long>(particles.atom.size());
    analysis.exists = analysis.particles > 0 && analysis.cutoff > 0;
    analysis.localS.assign(static_cast<std::size_t>(atoms), std::numeric_limits<double>::quiet_NaN());
    analysis.domain.assign(static_cast<std::size_t>(atoms), 0.0);
    if (analysis.exists) {
        LocalOrderResult result;
        LocalOrderOf(particles.position, particles.axis, particles.label, frameBox, analysis.cutoff, analysis.angle,
                     analysis.minimum, result);
        double sum = 0;
        for (std::size_t k = 0; k < particles.atom.size(); ++k) {
            analysis.localS[static_cast<std::size_t>(particles.atom[k])] = result.localS[k];
            analysis.domain[static_cast<std::size_t>(particles.atom[k])] = result.domain[k];
            sum += result.localS[k];
        }
        analysis.meanLocalS = sum / static_cast<double>(analysis.particles);
        analysis.domainSizes = result.domainSizes;
    }
    kept = std::move(analysis);
    keptVersion = particleDataVersion;
    keptCutoff = localOrderCutoff;
    keptAngle = localOrderAngle;
    keptMinimum = localOrderMinimum;
    return kept;
}

const SmecticResult& FrameSmectic() {
    static SmecticResult kept;
    static long long keptVersion = -1;
    if (keptVersion == particleDataVersion) return kept;
    kept = SmecticResult{};
    keptVersion = particleDataVersion;
    const OrderParameter order = FrameOrder();
    double dmin = 0, dmax = 0;
    if (!order.exists || !DefaultSpacingRange(dmin, dmax)) return kept;
    kept = SmecticOf(FrameParticles().position, order.director, dmin, dmax);
    return kept;
}

bool LocalOrderListed() {
    // Asked for by local_order, --local-order or a colour_by that names one of them; the pick line and the C
    // cycle are otherwise those of the file's quantities alone.
    if (!localOrderAsked && colourByName != "local_S" && colourByName != "domain") return false;
    static bool kept = false;
    static long long keptVersion = -1;
    if (keptVersion == particleDataVersion) return kept;
    std::vector<bool> elongated(static_cast<std::size_t>(std::max(species, 0)) + 1, false);
    for (int n = 1; n <= species; ++n) elongated[static_cast<std::size_t>(n)] = UniqueAxis(n) >= 0;
    kept = false;
    for (long long i = 0; i < atoms && !kept; ++i) {
        const double type = geom[static_cast<std::size_t>(GEOM_STRIDE * i + GEOM_TYPE)];
        kept = type >= 1 && type < species + 1.0 && elongated[static_cast<std::size_t>(type)];
    }
    keptVersion = particleDataVersion;
    return kept;
}

const std::vector<double>& LocalSValues() { return FrameLocalOrder().localS; }

const std::vector<double>& DomainValues() { return FrameLocalOrder().domain; }

std::string DomainSummary(const FrameAnalysis& analysis) {
    const std::size_t count = analysis.domainSizes.size();
    if (count == 0 || analysis.particles == 0) return "domains 0";
    char text[80];
    std::snprintf(text, sizeof text, "domains %zu, largest %.0f%%", count,
                  100.0 * static_cast<double>(analysis.domainSizes[0]) / static_cast<double>(analysis.particles));
    return text;
}

std::string SmecticSummary(const SmecticResult& smectic) {
    if (!smectic.exists) return "no smectic order";
    char text[80];
    std::snprintf(text, sizeof text, "smectic tau %.4f at layer spacing %.4g", smectic.tau, smectic.spacing);
    return text;
}

std::string ParseLocalOrder(const std::string& text, char separator, LocalOrderSettings& settings) {
    const std::vector<std::string> words = SplitWords(text, separator);
    double cutoff = 0, angle = DEFAULT_DOMAIN_ANGLE, minimum = DEFAULT_DOMAIN_MINIMUM;
    bool ok = !words.empty() && words.size() <= 3 && ReadNumber(words[0], cutoff) && cutoff > 0;
    if (ok && words.size() > 1) ok = ReadNumber(words[1], angle) && angle > 0 && angle <= 90;
    if (ok && words.size() > 2)
        ok = ReadNumber(words[2], minimum) && minimum >= 1 && minimum == std::floor(minimum) && minimum <= 2e9;
    if (!ok)
        return "takes the cut-off RC (above 0), and may add the angle of one domain in degrees (above 0, at most 90) "
               "and the smallest domain numbered (a whole number from 1)";
    settings = {cutoff, angle, static_cast<int>(minimum)};
    return "";
}

void UseLocalOrderSettings(const LocalOrderSettings& settings) {
    localOrderCutoff = settings.cutoff;
    localOrderAngle = settings.angle;
    localOrderMinimum = settings.minimum;
}
