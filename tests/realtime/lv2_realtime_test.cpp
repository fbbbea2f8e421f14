// The LV2 adapter's run on the audio thread allocates nothing, with a control change and
// a MIDI event arriving in every block.
#include <gtest/gtest.h>
#include <lv2/atom/util.h>
#include <lv2/midi/midi.h>
#include <lv2/urid/urid.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "framework/VocoderPlugin.h"
#include "lv2/Lv2Plugin.h"
#include "realtime/allocation_counter.h"

namespace {

std::map<std::string, LV2_URID> ids;

LV2_URID mapUri(LV2_URID_Map_Handle, const char* uri) {
    auto [it, added] = ids.emplace(uri, static_cast<LV2_URID>(ids.size() + 1));
    return it->second;
}

TEST(RealtimeSafety, Lv2RunAllocatesNothing) {
    setenv("ZORVEK_CAPTURE_SHM", ("/ZorvekCapLv2Rt-" + std::to_string(getpid())).c_str(), 1);
    LV2_URID_Map map{nullptr, mapUri};
    const LV2_Feature mapFeature{LV2_URID__map, &map};
    const LV2_Feature* features[] = {&mapFeature, nullptr};
    const Lv2PortLayout layout{kNumAutomatable, true, 2, 2, 0};
    auto* instance = static_cast<Lv2Plugin*>(
        Lv2Plugin::start(new Lv2Plugin(layout, 48000.0, "urn:test", features),
                         [](audioMasterCallback host) -> AudioEffectX* { return new VocoderPlugin(host); }));
    ASSERT_NE(instance, nullptr);

    std::vector<float> controls(kNumAutomatable, 0.5f), in(1024, 0.1f), left(1024), right(1024);
    std::vector<uint64_t> sequence(1024);
    for (int i = 0; i < kNumAutomatable; ++i) instance->connect(i, &controls[i]);
    instance->connect(layout.eventPort(), sequence.data());
    instance->connect(layout.firstInput(), in.data());
    instance->connect(layout.firstInput() + 1, in.data());
    instance->connect(layout.firstOutput(), left.data());
    instance->connect(layout.firstOutput() + 1, right.data());
    instance->activate();
    auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(sequence.data());
    seq->atom.type = mapUri(nullptr, LV2_ATOM__Sequence);
    const LV2_URID midiType = mapUri(nullptr, LV2_MIDI__MidiEvent);

    AllocationCounter::start();
    for (int block = 0; block < 200; ++block) {
        lv2_atom_sequence_clear(seq);
        struct {
            LV2_Atom_Event event;
            uint8_t bytes[8];
        } midi{};
        midi.event.time.frames = block % 1024;
        midi.event.body = {3, midiType};
        midi.bytes[0] = block % 2 ? 0x80 : 0x90;
        midi.bytes[1] = static_cast<uint8_t>(48 + block % 24);
        midi.bytes[2] = 100;
        lv2_atom_sequence_append_event(seq, sequence.size() * 8, &midi.event);
        controls[block % kNumAutomatable] = static_cast<float>(block % 7) / 7.0f;
        instance->run(1024);
    }
    AllocationCounter::stop();
    EXPECT_EQ(AllocationCounter::allocationCount(), 0);
    EXPECT_EQ(AllocationCounter::deallocationCount(), 0);
    instance->deactivate();
    delete instance;
}

}  // namespace
