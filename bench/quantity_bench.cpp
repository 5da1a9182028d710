// Quantity colours benchmark: what colouring by a per-particle quantity costs. Times the redraw of N
// ellipsoids by DrawPicture (the colour bar included) in species colours against quantity colours, in
// turns in one run, in a 1024 x 640 window.
// Also times the N quantity colours alone. Usage: quantity_bench [N ...]   (needs a display; under Xvfb, Mesa
// renders in software; QUANTITY_BENCH_REPEATS=K times K pairs of redraws instead of 5 to 31)
#include <GL/freeglut.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "bench/bench_window.h"
#include "core/quantity_colour.h"
#include "core/scene.h"
#include "render/gl_setup.h"
#include "render/picture.h"
#include "tests/support/random_scene.h"

// The random scene with two quantities per atom, one smooth across the box and one random.
static void FillQuantities(int n) {
    FillRandomScene(n);
    quantityNames = {"c_pe", "vx"};
    quantities.assign(static_cast<std::size_t>(n) * 2, 0.0);
    std::mt19937 random(54321);
    std::normal_distribution<double> gauss;
    for (int i = 0; i < n; ++i) {
        quantities[2 * static_cast<std::size_t>(i)] = geom[static_cast<std::size_t>(i) * GEOM_STRIDE + GEOM_X];
        quantities[2 * static_cast<std::size_t>(i) + 1] = gauss(random);
    }
    showTS = true;
}

static double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    std::size_t n = values.size();
    return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

static double TimedRedraw(bool byQuantity) {
    colourQuantity = byQuantity ? 1 : SPECIES_COLOURS;
    return TimedDrawPicture();
}

static void MeasureRow(int n) {
    FillQuantities(n);
    ChooseQuantity(1);  // the range of the frame, as the key C takes it
    const char* forced = std::getenv("QUANTITY_BENCH_REPEATS");  // a loaded machine or software GL: fewer pairs
    int repeats = forced ? std::max(1, std::atoi(forced)) : std::max(5, std::min(31, 100000 / std::max(n, 1)));
    std::vector<double> species, quantity;
    TimedRedraw(false);
    TimedRedraw(true);
    for (int r = 0; r < repeats; ++r) {
        bool speciesFirst = r % 2 == 0;  // alternate the order, so neither drawing always runs first
        double first = TimedRedraw(!speciesFirst);
        double second = TimedRedraw(speciesFirst);
        species.push_back(speciesFirst ? first : second);
        quantity.push_back(speciesFirst ? second : first);
    }
    // The colours alone, without drawing: what quantity colours add on the CPU for every atom.
    std::vector<double> lookups;
    for (int r = 0; r < 11; ++r) {
        auto start = std::chrono::steady_clock::now();
        float sum = 0, rgb[3];
        for (long long i = 0; i < atoms; ++i)
            if (QuantityColour(i, rgb)) sum += rgb[0];
        lookups.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        if (sum < 0) std::abort();  // keeps the loop from being optimised away
    }
    const double ratio = Median(quantity) / Median(species);
    std::printf("%-12d %7d %12.1f %12.1f %8.3fx %11.2f   %s\n", n, repeats, Median(species), Median(quantity), ratio,
                Median(lookups),
                n == 100000 ? (ratio <= 1.10 ? "<= 1.10x met" : "<= 1.10x MISSED") : "");
    std::fflush(stdout);
}

int main(int argc, char** argv) {
    glutInit(&argc, argv);
    OpenBenchWindow("Ovalix quantity colours benchmark");
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i) counts.push_back(std::atoi(argv[i]));
    if (counts.empty()) counts = {10000, 100000};
    std::printf("redraw of N ellipsoids by DrawPicture, species against quantity colours (with the bar), %d x %d\n",
                window_width, window_height);
    std::printf("%-12s %7s %12s %12s %9s %11s   %s\n", "ellipsoids", "frames", "species ms", "quantity ms", "ratio",
                "colours ms", "target (100000: within 10%)");
    for (int n : counts) MeasureRow(n);
    std::printf("renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    return 0;
}
