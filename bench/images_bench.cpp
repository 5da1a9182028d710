// Periodic images: the ray-cast redraw of N ellipsoids (100,000 by default) drawn 3 x 3 x 3 times against once, in
// turns in one run, in a 1024 x 640 window; first in the view fitted to all 27 images (each image takes the
// pixels of one of them: 27 times the pixel work of the single image in that view), then in the view fitted to
// each (what the key z shows). Also the resident memory that drawing the 27 images adds to that of one.
// Usage: images_bench [N]   (needs a display; under Xvfb, Mesa renders in software)
#include <GL/freeglut.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/bench_window.h"
#include "core/scene.h"
#include "render/camera.h"
#include "render/picture.h"
#include "render/raycast.h"
#include "tests/support/random_scene.h"

namespace {

// The random scene's box: its particles lie in x -60..60, y -36..36, z -30..30.
void SetSceneBox() {
    frameBox = {true, {-60, -36, -30}, {{120, 0, 0}, {0, 72, 0}, {0, 0, 60}}};
}

void SetImages(int count) { imageCounts[0] = imageCounts[1] = imageCounts[2] = count; }

// One redraw as the display loop makes it, finished by the renderer; milliseconds.
double TimedRedraw(int images) {
    SetImages(images);
    auto start = std::chrono::steady_clock::now();
    DrawPicture();
    glFinish();
    auto stop = std::chrono::steady_clock::now();
    glutSwapBuffers();
    return std::chrono::duration<double, std::milli>(stop - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    std::size_t n = values.size();
    return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

long long ResidentBytes() {
    long long pages = 0, resident = 0;
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm != nullptr) {
        if (std::fscanf(statm, "%lld %lld", &pages, &resident) != 2) resident = 0;
        std::fclose(statm);
    }
    return resident * 4096;
}

// Median ms of one image and of 27, drawn in turns in the view that `fitTo` images are fitted to (1 or 3 along each
// edge; 0: each drawing in the view fitted to itself).
void MeasureRow(const char* name, int fitTo, int repeats) {
    std::vector<double> one, all;
    for (int r = 0; r < repeats; ++r)
        for (int k = 0; k < 2; ++k) {
            int images = (r + k) % 2 == 0 ? 1 : 3;
            glPushMatrix();
            SetImages(fitTo == 0 ? images : fitTo);
            FitFrameInView();
            (images == 1 ? one : all).push_back(TimedRedraw(images));
            glPopMatrix();
        }
    double single = Median(one), repeated = Median(all);
    std::printf("%-34s %10.1f %10.1f %8.1fx\n", name, single, repeated, repeated / single);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    glutInit(&argc, argv);
    OpenBenchWindow("Ovalix periodic images benchmark");
    int n = argc > 1 ? std::atoi(argv[1]) : 100000;
    if (!RaycastAvailable()) {
        std::printf("ray-cast ellipsoids are not available: %s\n", RaycastProblem().c_str());
        return 1;
    }
    FillRandomScene(n);
    SetSceneBox();
    raycastEllipsoids = true;
    TimedRedraw(1);  // warm-up: shaders, the records' upload
    TimedRedraw(3);
    for (int r = 0; r < 3; ++r) TimedRedraw(1);
    long long oneImage = ResidentBytes();
    for (int r = 0; r < 3; ++r) TimedRedraw(3);
    long long images = ResidentBytes();
    std::printf("ray-cast redraw of %d ellipsoids, %d x %d, median ms/frame of 5, 1 and 27 images timed in turns\n", atoms,
                window_width, window_height);
    std::printf("%-34s %10s %10s %9s\n", "view", "1 image", "3x3x3", "ratio");
    MeasureRow("fitted to the 3x3x3 images", 3, 5);
    MeasureRow("each fitted to itself (key z)", 0, 5);
    double growth = static_cast<double>(images - oneImage) / static_cast<double>(oneImage);
    std::printf("resident memory: one image %.1f MiB, 3x3x3 %.1f MiB, growth %.1f %% (%s)\n", oneImage / 1048576.0,
                images / 1048576.0, 100 * growth, growth < 0.1 ? "< 10 % met" : "< 10 % MISSED");
    std::printf("renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    return 0;
}
