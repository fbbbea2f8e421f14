#include "render/ProgressBar.h"

#include <time.h>
#include <unistd.h>

#include <cstdio>

namespace render {

namespace {
constexpr double kDelaySeconds = 2.0;  // quick renders stay quiet
constexpr double kRedrawSeconds = 0.1;
constexpr int kWidth = 40;
}  // namespace

ProgressBar::ProgressBar(int64_t totalFrames, double rate, bool showAlways)
    : total(totalFrames),
      sampleRate(rate),
      enabled(showAlways || isatty(STDERR_FILENO)),
      always(showAlways),
      started(now()) {}

double ProgressBar::now() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

void ProgressBar::update(int64_t doneFrames) {
    done = doneFrames;
    if (!enabled) return;
    double t = now();
    if (!always && t - started < kDelaySeconds) return;
    if (shown && t - lastDrawn < kRedrawSeconds) return;
    lastDrawn = t;
    draw(doneFrames);
}

void ProgressBar::finish() {
    if (!shown) return;
    // A render that ends at quiet ends before the total it was given.
    total = done;
    draw(total);
    std::fputc('\n', stderr);
    shown = false;
}

void ProgressBar::draw(int64_t doneFrames) {
    double fraction = total > 0 ? static_cast<double>(doneFrames) / total : 1.0;
    int filled = static_cast<int>(fraction * kWidth);
    char bar[kWidth + 1];
    for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '-';
    bar[kWidth] = 0;
    std::fprintf(stderr, "\rrendering [%s] %3d%%  %.1f / %.1f s", bar, static_cast<int>(fraction * 100.0),
                 doneFrames / sampleRate, total / sampleRate);
    std::fflush(stderr);
    shown = true;
}

}  // namespace render
