// Progress lines: redrawn in place on a terminal, at most one a second in a log.
#include "headless/render_progress.h"

#include <cstdio>

namespace {

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

void ShowLine(const RenderProgress& p, std::chrono::steady_clock::time_point now, bool last) {
    double elapsed = Seconds(now - p.started);
    double rate = elapsed > 0 ? p.done / elapsed : 0;
    double left = rate > 0 ? (p.total - p.done) / rate : 0;
    // On a terminal the line is redrawn in place; trailing blanks cover the end of a longer line before it.
    std::fprintf(stderr, "%sRendered %d of %d frames, %.1f frames/s, %.0f s left%s%s", p.terminal ? "\r" : "", p.done,
                 p.total, rate, left, p.terminal ? "   " : "", p.terminal && !last ? "" : "\n");
    std::fflush(stderr);
}

}  // namespace

RenderProgress StartProgress(int total, bool terminal) {
    auto now = std::chrono::steady_clock::now();
    return {total, 0, terminal, now, now};
}

void ReportProgress(RenderProgress& p, int frames) {
    p.done += frames;
    auto now = std::chrono::steady_clock::now();
    double interval = p.terminal ? 0.1 : 1.0;
    if (Seconds(now - p.lastShown) < interval || p.done == p.total) return;
    p.lastShown = now;
    ShowLine(p, now, false);
}

void FinishProgress(RenderProgress& p) {
    ShowLine(p, std::chrono::steady_clock::now(), true);
}
