#include "render/Renderer.h"

#include <time.h>

#include <algorithm>
#include <cmath>

#include "render/AudioWriter.h"
#include "render/InputAudio.h"
#include "render/PluginHost.h"
#include "render/ProgressBar.h"

namespace render {

namespace {

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

// VstEvents ends in a pointer array of variable length; its fixed part (count and
// reserved field) takes the room of two pointers.
constexpr size_t kListHeaderSlots = 2;

}  // namespace

Renderer::Renderer(PluginHost& plugin, const EventSchedule& events, const TempoMap& tempoMap, double rate,
                   int32_t frames)
    : host(plugin), schedule(events), tempo(tempoMap), sampleRate(rate), blockSize(frames) {
    auto channels = [frames](int32_t count, std::vector<std::vector<float>>& buffers, std::vector<float*>& pointers) {
        buffers.assign(count, std::vector<float>(frames, 0.0f));
        for (auto& buffer : buffers) pointers.push_back(buffer.data());
    };
    channels(host.numInputs(), inputBuffers, inputs);
    channels(host.numOutputs(), outputBuffers, outputs);

    size_t capacity = std::max<size_t>(schedule.maxEventsPerBlock(frames), 1);
    midiEvents.assign(capacity, VstMidiEvent{});
    listStorage.assign(kListHeaderSlots + capacity, nullptr);
    eventList = reinterpret_cast<VstEvents*>(listStorage.data());
    VstEvent** slots = eventList->events;
    for (size_t i = 0; i < capacity; ++i) {
        midiEvents[i].type = kVstMidiType;
        midiEvents[i].byteSize = sizeof(VstMidiEvent);
        slots[i] = reinterpret_cast<VstEvent*>(&midiEvents[i]);
    }
}

int32_t Renderer::collectEvents(int64_t blockStart, int32_t frames) {
    const auto& list = schedule.events();
    int32_t count = 0;
    while (nextEvent < list.size() && list[nextEvent].frame < blockStart + frames) {
        const ScheduledEvent& e = list[nextEvent++];
        VstMidiEvent& m = midiEvents[count++];
        m.deltaFrames = static_cast<int32_t>(e.frame - blockStart);
        for (int i = 0; i < 3; ++i) m.midiData[i] = static_cast<char>(i < e.size ? e.bytes[i] : 0);
    }
    return count;
}

void Renderer::stopWhenQuiet(int64_t fromFrame, int64_t quietFrames, float level) {
    quietFrom = fromFrame;
    quietLength = quietFrames;
    quietLevel = level;
}

int32_t Renderer::framesBeforeQuiet(int64_t blockStart, int32_t frames) {
    if (quietFrom < 0) return frames;
    const float* left = outputs[0];
    const float* right = outputs[outputs.size() > 1 ? 1 : 0];
    for (int32_t i = 0; i < frames; ++i) {
        // Written so that a sample that is not a number counts as loud.
        bool quiet = std::fabs(left[i]) < quietLevel && std::fabs(right[i]) < quietLevel;
        quietRun = quiet ? quietRun + 1 : 0;
        if (blockStart + i + 1 >= quietFrom && quietRun >= quietLength) {
            quietReached = true;
            return i + 1;
        }
    }
    return frames;
}

bool Renderer::run(int64_t totalFrames, InputAudio* input, AudioWriter* output, ProgressBar* progress,
                   std::string& error) {
    for (int64_t position = 0; position < totalFrames;) {
        auto frames = static_cast<int32_t>(std::min<int64_t>(blockSize, totalFrames - position));
        if (input)
            input->read(inputs.data(), host.numInputs(), frames);
        else
            for (auto& buffer : inputBuffers) std::fill(buffer.begin(), buffer.end(), 0.0f);
        double seconds = position / sampleRate;
        host.setTime(static_cast<double>(position), tempo.quartersAt(seconds), tempo.bpmAt(seconds));
        eventList->numEvents = collectEvents(position, frames);

        double before = threadCpuSeconds();
        if (eventList->numEvents > 0) host.sendEvents(eventList);
        host.process(inputs.data(), outputs.data(), frames);
        counters.pluginCpuSeconds += threadCpuSeconds() - before;

        int32_t kept = framesBeforeQuiet(position, frames);
        if (output && !output->write(outputs[0], outputs[outputs.size() > 1 ? 1 : 0], kept, error)) return false;
        position += kept;
        counters.frames = position;
        if (progress) progress->update(position);
        if (quietReached) break;
    }
    if (progress) progress->finish();
    return true;
}

}  // namespace render
