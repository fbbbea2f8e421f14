// A progress bar on standard error. It appears only once a render has taken a couple
// of seconds and only on a terminal, unless asked for always.
#pragma once

#include <cstdint>

namespace render {

class ProgressBar {
public:
    ProgressBar(int64_t totalFrames, double sampleRate, bool always);
    void update(int64_t doneFrames);
    void finish();

private:
    void draw(int64_t doneFrames);
    static double now();

    int64_t total;
    int64_t done = 0;
    double sampleRate;
    bool enabled;
    bool always;
    bool shown = false;
    double started;
    double lastDrawn = 0.0;
};

}  // namespace render
