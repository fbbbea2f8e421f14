// The event path of the instrument: arbitrary event lists handed to effProcessEvents
// between processed blocks. Events may carry any status and data bytes, negative or
// huge deltas, other event types, and lists longer than the queue. The output must
// stay finite and bounded.
//
// Input layout: byte 0 picks the sample rate (low nibble) and the block size (high
// nibble); then records of five bytes: delta (16-bit little-endian, signed), status,
// data 1, data 2. Status 0xF5 ends the current list: it is handed over and one block is
// processed. Status 0xF4 makes the record a non-MIDI event of the same bytes. Between
// blocks the host may also change things: status 0xF6 sets parameter data 1 to data 2
// / 127 (data 2 of 128 and above picks NaN, infinities and other values out of range),
// 0xF3 selects program data 1, 0xF2 changes the sample rate.
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "FuzzHost.h"
#include "framework/VocoderPlugin.h"

namespace {

constexpr float kRates[] = {8000.0f, 22050.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f};
constexpr int32_t kBlockSizes[] = {1, 31, 64, 512, 1000, 4096};
constexpr size_t kRecordSize = 5;
constexpr uint8_t kEndOfList = 0xF5;
constexpr uint8_t kOtherType = 0xF4;
constexpr uint8_t kSetParameter = 0xF6;
constexpr uint8_t kSetProgram = 0xF3;
constexpr uint8_t kSetRate = 0xF2;
constexpr float kOddValues[] = {std::numeric_limits<float>::quiet_NaN(),
                                std::numeric_limits<float>::infinity(),
                                -std::numeric_limits<float>::infinity(),
                                -1.0f,
                                2.0f,
                                std::numeric_limits<float>::denorm_min(),
                                -0.0f,
                                1e30f};
// More than the plug-in's queue holds, so the surplus path runs too.
constexpr size_t kMaxEventsPerList = 1024;
// Audio per input: enough for notes to sound and effects to build up, short enough for
// many inputs a second.
constexpr int64_t kFrameBudget = 16384;

// A VstEvents header followed by its pointer array, as hosts lay it out.
class EventList {
public:
    EventList() : storage(sizeof(VstEvents) + kMaxEventsPerList * sizeof(VstEvent*)) {}

    bool full() const { return events.size() == kMaxEventsPerList; }
    void add(const VstMidiEvent& event) { events.push_back(event); }
    void clear() { events.clear(); }

    VstEvents* build() {
        auto* list = reinterpret_cast<VstEvents*>(storage.data());
        list->numEvents = static_cast<int32_t>(events.size());
        list->reserved = 0;
        VstEvent** slots = list->events;
        for (size_t i = 0; i < events.size(); ++i) slots[i] = reinterpret_cast<VstEvent*>(&events[i]);
        return list;
    }

private:
    std::vector<unsigned char> storage;
    std::vector<VstMidiEvent> events;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::silenceMessages();
    if (size < 1) return 0;
    auto plugin = std::make_unique<VocoderPlugin>(fuzz::quietHost);
    plugin->setSampleRate(kRates[(data[0] & 0x0F) % std::size(kRates)]);
    const int32_t frames = kBlockSizes[(data[0] >> 4) % std::size(kBlockSizes)];
    plugin->resume();

    std::vector<float> left(static_cast<size_t>(frames)), right(static_cast<size_t>(frames));
    float* outputs[2] = {left.data(), right.data()};
    EventList list;
    auto handOver = [&] {
        plugin->processEvents(list.build());
        list.clear();
        plugin->processReplacing(nullptr, outputs, frames);
        fuzz::checkOutput(left.data(), frames, "left");
        fuzz::checkOutput(right.data(), frames, "right");
    };

    int64_t rendered = 0;
    for (size_t at = 1; at + kRecordSize <= size && rendered < kFrameBudget; at += kRecordSize) {
        const uint8_t* r = data + at;
        if (r[2] == kSetParameter) {
            float value = r[4] < 128 ? static_cast<float>(r[4]) / 127.0f : kOddValues[r[4] % std::size(kOddValues)];
            plugin->setParameter(r[3] % kNumEntries, value);
            continue;
        }
        if (r[2] == kSetProgram) {
            plugin->setProgram(r[3] % PluginBase::kNumPrograms);
            continue;
        }
        if (r[2] == kSetRate) {
            plugin->setSampleRate(kRates[r[3] % std::size(kRates)]);
            continue;
        }
        if (r[2] == kEndOfList || list.full()) {
            handOver();
            rendered += frames;
            if (r[2] == kEndOfList) continue;
        }
        VstMidiEvent event{};
        event.type = r[2] == kOtherType ? kVstSysExType : kVstMidiType;
        event.byteSize = sizeof event;
        event.deltaFrames = static_cast<int16_t>(r[0] | r[1] << 8);
        std::memcpy(event.midiData, r + 2, 3);
        list.add(event);
    }
    handOver();
    // The tail of the last notes, so releases and effect tails run too.
    handOver();
    return 0;
}
