// The render loop: hands the plug-in its events, transport and input block by block,
// runs its processing and passes the output on, timing the plug-in's own calls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/Vst2.h"
#include "render/EventSchedule.h"
#include "render/TempoMap.h"

namespace render {

class PluginHost;
class InputAudio;
class AudioWriter;
class ProgressBar;

class Renderer {
public:
    struct Stats {
        int64_t frames = 0;
        double pluginCpuSeconds = 0.0;  // thread CPU time inside effProcessEvents and processing
    };

    // The host must be configured with the same rate and block size and resumed.
    Renderer(PluginHost& host, const EventSchedule& schedule, const TempoMap& tempo, double sampleRate,
             int32_t blockSize);

    // Ends a run early, at the first frame from `fromFrame` on after which the output
    // has stayed below `level` (both channels) for `quietFrames` frames.
    void stopWhenQuiet(int64_t fromFrame, int64_t quietFrames, float level);

    // Renders totalFrames, or fewer when stopping at quiet. input, output and progress
    // may each be null (silent input, output discarded, no progress).
    bool run(int64_t totalFrames, InputAudio* input, AudioWriter* output, ProgressBar* progress, std::string& error);
    const Stats& stats() const { return counters; }
    bool stoppedAtQuiet() const { return quietReached; }

private:
    int32_t collectEvents(int64_t blockStart, int32_t frames);
    // Frames of this block to keep: all, or up to where the output has been quiet long enough.
    int32_t framesBeforeQuiet(int64_t blockStart, int32_t frames);

    PluginHost& host;
    const EventSchedule& schedule;
    const TempoMap& tempo;
    double sampleRate;
    int32_t blockSize;
    size_t nextEvent = 0;
    Stats counters;
    int64_t quietFrom = -1;  // -1: never stop early
    int64_t quietLength = 0;
    float quietLevel = 0.0f;
    int64_t quietRun = 0;  // frames in a row below quietLevel so far
    bool quietReached = false;

    std::vector<std::vector<float>> inputBuffers, outputBuffers;
    std::vector<float*> inputs, outputs;
    // The event list handed to the plug-in, sized once for the busiest block.
    std::vector<VstMidiEvent> midiEvents;
    std::vector<VstEvent*> listStorage;
    VstEvents* eventList;
};

}  // namespace render
