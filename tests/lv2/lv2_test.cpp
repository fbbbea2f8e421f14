// The LV2 bundles loaded through lilv as a host loads them, checked against the plug-in
// objects and against the VST 2 library: descriptions, presets, output bit for bit,
// state, and the side-chain.
#include <gtest/gtest.h>
#include <lv2/core/lv2.h>
#include <lv2/presets/presets.h>
#include <lv2/atom/atom.h>
#include <lv2/state/state.h>

#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "capture/CaptureMemory.h"
#include "capture/ScopedCaptureObject.h"
#include "framework/VocoderPlugin.h"
#include "support/LoadedPlugin.h"
#include "support/Lv2Host.h"

namespace {

namespace fs = std::filesystem;
constexpr const char* kVocoder = "urn:drennak:zorvek2";
constexpr const char* kCapture = "urn:drennak:zorvek-capture";

class Lv2Test : public ::testing::Test {
protected:
    // Every instance here attaches to a capture object of this test alone.
    ScopedCaptureObject shm{"lv2"};
};

struct Midi {
    int32_t frame;  // from the start of the render
    int status, data1, data2;
};

// Notes at block edges and inside blocks, a held chord, volume by controller, pitch
// bend and sustain.
const std::vector<Midi> kPhrase = {
    {0, 0x90, 60, 100},   {37, 0x90, 64, 90},    {511, 0x90, 67, 80},  {2000, 0xB0, 7, 90},
    {4096, 0xE0, 0, 80},  {6000, 0xB0, 64, 127}, {6001, 0x80, 60, 0},  {9000, 0x90, 72, 127},
    {12000, 0xB0, 64, 0}, {15000, 0x80, 64, 0},  {15000, 0x80, 67, 0}, {20000, 0x90, 48, 0},
};

struct Scenario {
    int program;
    int32_t block;
    std::vector<std::pair<int, float>> parameters;  // after the program
    float tempo;                                    // 0: the host sends no time
};

template <class Send>
void sendBlock(const std::vector<Midi>& midi, int32_t done, int32_t n, Send send) {
    for (const Midi& m : midi)
        if (m.frame >= done && m.frame < done + n) send(m, m.frame - done);
}

void renderVst(const Scenario& s, int32_t frames, std::vector<float>& left, std::vector<float>& right) {
    LoadedPlugin vst("Zorvek2.so");
    ASSERT_NE(vst.effect(), nullptr);
    vst.start(44100.0f, s.block);
    vst.dispatch(effSetProgram, 0, s.program);
    for (auto [index, value] : s.parameters) vst.setParameter(index, value);
    if (s.tempo > 0.0f) {
        vst.provideTime = true;
        vst.timeInfo.tempo = s.tempo;
        vst.timeInfo.flags = kVstTempoValid | kVstPpqPosValid;
    }
    left.assign(frames, 0.0f);
    right.assign(frames, 0.0f);
    std::vector<float> l, r;
    for (int32_t done = 0; done < frames; done += s.block) {
        const int32_t n = std::min(s.block, frames - done);
        sendBlock(kPhrase, done, n, [&](const Midi& m, int32_t at) { vst.sendMidi(m.status, m.data1, m.data2, at); });
        vst.render(l, r, n, n);
        std::copy(l.begin(), l.end(), left.begin() + done);
        std::copy(r.begin(), r.end(), right.begin() + done);
    }
}

std::string presetUri(int program) {
    char uri[64];
    std::snprintf(uri, sizeof uri, "%s#program%02d", kVocoder, program);
    return uri;
}

void renderLv2(Lv2Instance& lv2, const Scenario& s, int32_t frames, std::vector<float>& left,
               std::vector<float>& right) {
    ASSERT_TRUE(lv2.applyPreset(presetUri(s.program).c_str()));
    for (auto [index, value] : s.parameters) lv2.control(index) = value;
    left.assign(frames, 0.0f);
    right.assign(frames, 0.0f);
    std::vector<float> l, r;
    for (int32_t done = 0; done < frames; done += s.block) {
        const int32_t n = std::min(s.block, frames - done);
        if (done == 0 && s.tempo > 0.0f) lv2.sendPosition(s.tempo, 0.0, 0.0f);
        sendBlock(kPhrase, done, n, [&](const Midi& m, int32_t at) { lv2.sendMidi(m.status, m.data1, m.data2, at); });
        lv2.render(l, r, n, n);
        std::copy(l.begin(), l.end(), left.begin() + done);
        std::copy(r.begin(), r.end(), right.begin() + done);
    }
}

double energy(const std::vector<float>& samples, size_t from = 0) {
    double sum = 0.0;
    for (size_t i = from; i < samples.size(); ++i) sum += static_cast<double>(samples[i]) * samples[i];
    return sum;
}

bool sameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

TEST_F(Lv2Test, DescriptionsFollowTheParameterTableAndFactoryBank) {
    VocoderPlugin reference(nullptr);
    Lv2World& world = Lv2World::get();
    const LilvPlugin* vocoder = world.plugin(kVocoder);
    ASSERT_NE(vocoder, nullptr);
    ASSERT_EQ(lilv_plugin_get_num_ports(vocoder), 62u);
    std::vector<float> minimum(62), maximum(62), defaults(62);
    lilv_plugin_get_port_ranges_float(vocoder, minimum.data(), maximum.data(), defaults.data());
    for (int i = 0; i < kNumAutomatable; ++i) {
        const LilvPort* port = lilv_plugin_get_port_by_index(vocoder, i);
        EXPECT_STREQ(lilv_node_as_string(lilv_port_get_symbol(vocoder, port)), kVocoderParams[i].name);
        EXPECT_EQ(minimum[i], 0.0f);
        EXPECT_EQ(maximum[i], 1.0f);
        EXPECT_EQ(std::bit_cast<uint32_t>(defaults[i]), std::bit_cast<uint32_t>(reference.program(0).values[i].load()))
            << kVocoderParams[i].name;
        LilvScalePoints* points = lilv_port_get_scale_points(vocoder, port);
        const unsigned count = points ? lilv_scale_points_size(points) : 0;
        lilv_scale_points_free(points);
        const std::map<std::string, unsigned> stepped = {{"Volume", 0}, {"ModSrc", 5}, {"Osc1Tun", 49}, {"Bands", 21},
                                                         {"Mono", 2},   {"ModCh", 4},  {"BufSize", 10}, {"LfoFreq", 0}};
        if (auto it = stepped.find(kVocoderParams[i].name); it != stepped.end()) {
            EXPECT_EQ(count, it->second) << it->first;
        }
    }
    for (int p : {57, 58})
        EXPECT_TRUE(lilv_port_has_property(vocoder, lilv_plugin_get_port_by_index(vocoder, p),
                                           world.uri(LV2_CORE_PREFIX "isSideChain")));

    // Every named factory program is a preset with its exact values.
    std::set<std::string> named;
    for (int p = 0; p < PluginBase::kNumPrograms; ++p)
        if (std::string(reference.program(p).name) != "None") named.insert(reference.program(p).name);
    LilvNodes* presets = lilv_plugin_get_related(vocoder, world.uri(LV2_PRESETS__Preset));
    std::set<std::string> found;
    LILV_FOREACH(nodes, it, presets) {
        const LilvNode* preset = lilv_nodes_get(presets, it);
        lilv_world_load_resource(world.lilv(), preset);
        LilvNodes* labels = lilv_world_find_nodes(world.lilv(), preset, world.uri(LILV_NS_RDFS "label"), nullptr);
        found.insert(lilv_node_as_string(lilv_nodes_get_first(labels)));
        lilv_nodes_free(labels);
    }
    lilv_nodes_free(presets);
    EXPECT_EQ(found, named);
    Lv2Instance lv2(kVocoder);
    ASSERT_TRUE(lv2.applyPreset(presetUri(3).c_str()));
    for (int i = 0; i < kNumAutomatable; ++i)
        EXPECT_EQ(lv2.control(i), reference.program(3).values[i].load()) << kVocoderParams[i].name;

    const LilvPlugin* capture = world.plugin(kCapture);
    ASSERT_NE(capture, nullptr);
    EXPECT_EQ(lilv_plugin_get_num_ports(capture), 6u);
    EXPECT_EQ(lilv_plugin_get_num_ports_of_class(capture, world.uri(LV2_CORE__AudioPort), nullptr), 4u);
}

// The same program, parameters, MIDI, host time and block sizes give the VST 2 library's
// output bit for bit.
TEST_F(Lv2Test, OutputIsBitIdenticalWithVst2) {
    const std::vector<Scenario> setups = {
        {0, 512, {}, 0.0f}, {1, 64, {{kNumAutomatable - 1, 0.7f}}, 0.0f}, {3, 333, {{24, 1.0f}, {25, 0.3f}}, 0.0f},
        {6, 1, {}, 0.0f},   {8, 4096, {{45, 0.5f}, {46, 0.4f}}, 90.0f},   {10, 100, {{40, 0.6f}, {39, 1.0f}}, 140.0f},
    };
    constexpr int32_t kFrames = 24000;
    for (const Scenario& s : setups) {
        SCOPED_TRACE("program " + std::to_string(s.program) + ", block " + std::to_string(s.block));
        std::vector<float> vstLeft, vstRight, lv2Left, lv2Right;
        renderVst(s, kFrames, vstLeft, vstRight);
        Lv2Instance lv2(kVocoder);
        ASSERT_TRUE(lv2.ok());
        renderLv2(lv2, s, kFrames, lv2Left, lv2Right);
        EXPECT_GT(energy(vstLeft), 1e-3);
        EXPECT_TRUE(sameBits(vstLeft, lv2Left));
        EXPECT_TRUE(sameBits(vstRight, lv2Right));
    }
}

// A WAV file in the session folder is saved as a path the host maps; after the folder
// moved, a restored instance plays the same file and renders the same output.
TEST_F(Lv2Test, StateRestoresBankAndFilesFromAMovedSessionFolder) {
    const fs::path root = fs::temp_directory_path() / ("zorvek-lv2-state-" + std::to_string(getpid()));
    fs::remove_all(root);
    const fs::path session = root / "session", moved = root / "moved";
    fs::create_directories(session);
    fs::copy_file(fs::path(ZORVEK_BINARY_DIR) / "lv2/Zorvek2.lv2/someone.wav", session / "voice.wav");

    const Scenario s{2, 256, {{2, 1.0f}}, 0.0f};  // program 2 plays file slot 4
    Lv2Instance original(kVocoder);
    ASSERT_TRUE(original.applyPreset(presetUri(s.program).c_str()));
    // The chunk names the session's file and renames a program; neither is a port.
    void* data = nullptr;
    const auto size = static_cast<int32_t>(original.effect()->dispatcher(effGetChunk, 0, 0, &data, 0.0f));
    std::string chunk(static_cast<const char*>(data), size);
    const std::string line = "00File4=.\\speech.wav";
    const size_t at = chunk.find(line);
    ASSERT_NE(at, std::string::npos);
    chunk.replace(at, line.size(), "00File4=" + (session / "voice.wav").string());
    chunk.replace(chunk.find("00_Name_=Default"), 16, "00_Name_=Mine!!");
    original.effect()->dispatcher(effSetChunk, 0, static_cast<intptr_t>(chunk.size()), chunk.data(), 0.0f);
    original.saveState(session.string(), "state.ttl");
    fs::rename(session, moved);

    Lv2Instance restored(kVocoder);
    ASSERT_TRUE(restored.restoreState((moved / "state.ttl").string()));
    void* restoredData = nullptr;
    restored.effect()->dispatcher(effGetChunk, 0, 0, &restoredData, 0.0f);
    char name[32] = {};
    restored.effect()->dispatcher(effGetProgramNameIndexed, 0, 0, name, 0.0f);
    EXPECT_STREQ(name, "Mine!!");
    std::vector<float> a, b, unused;
    renderLv2(original, s, 16384, a, unused);
    renderLv2(restored, s, 16384, b, unused);
    EXPECT_GT(energy(a), 1e-3);
    EXPECT_TRUE(sameBits(a, b));
    EXPECT_NE(
        std::string(static_cast<const char*>(restoredData), size).find("00File4=" + (moved / "voice.wav").string()),
        std::string::npos);
    fs::remove_all(root);
}

// With the switch on, a capture modulator is the side-chain input; with it off, the
// (silent) shared memory.
TEST_F(Lv2Test, SideChainSwitchMakesTheSideChainTheModulator) {
    constexpr int32_t kFrames = 16384;
    std::vector<float> voice(kFrames);
    uint32_t seed = 1;
    for (float& x : voice) x = static_cast<float>((seed = seed * 1664525u + 1013904223u) >> 8) / 8388608.0f - 1.0f;
    const Scenario s{0, 1024, {{2, 0.0f}}, 0.0f};  // ModSrc: capture
    for (float sideChainSwitch : {0.0f, 1.0f}) {
        for (int32_t block : {256, 8192}) {
            Lv2Instance lv2(kVocoder);
            ASSERT_TRUE(lv2.applyPreset(presetUri(s.program).c_str()));
            lv2.control(2) = 0.0f;
            lv2.control(61) = sideChainSwitch;
            lv2.sendMidi(0x90, 60, 100, 0);
            std::vector<float> left, right;
            lv2.render(left, right, kFrames, block, &voice, &voice);
            if (sideChainSwitch == 0.0f)
                EXPECT_LT(energy(left, kFrames / 2), 1e-9) << block;
            else
                EXPECT_GT(energy(left, kFrames / 2), 1.0) << block;
        }
    }
}

// Saved state is read back from session files a user can damage: whatever the bank chunk
// and file paths hold, restoring neither crashes nor reads past them, and the instance
// keeps playing finite audio.
TEST_F(Lv2Test, HostileStateIsRestoredSafely) {
    struct Saved {
        std::string bank;
        std::string file;  // slot 1's path property, "" for none
    };
    std::string noise(18100, '\0');
    uint32_t seed = 7;
    for (char& c : noise) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 16);
    const std::vector<Saved> cases = {
        {"4", ""},
        {"4221", ""},
        {"4221" + std::string(5000, 'A'), ""},
        {"4221" + std::string("00File1=") + std::string(400, '/'), std::string(300, 'x')},
        {noise, noise.substr(0, 100)},
        {std::string(3604, '\xff'), "/no/such/folder/voice.wav"},
        {std::string("4221\0\0", 6), "/"},
        {std::string("422100File1=a\0", 15), std::string("unterminated", 12)},
    };
    Lv2World& world = Lv2World::get();
    for (const Saved& saved : cases) {
        Lv2Instance lv2(kVocoder);
        ASSERT_TRUE(lv2.ok());
        const auto* state =
            static_cast<const LV2_State_Interface*>(lilv_instance_get_extension_data(lv2.lilv(), LV2_STATE__interface));
        ASSERT_NE(state, nullptr);
        struct Lookup {
            const Saved* saved;
            LV2_URID bank, file1, chunk, path;
        } lookup{&saved, world.map("urn:drennak:zorvek2#bank"), world.map("urn:drennak:zorvek2#file1"),
                 world.map(LV2_ATOM__Chunk), world.map(LV2_ATOM__Path)};
        auto retrieve = [](LV2_State_Handle handle, uint32_t key, size_t* size, uint32_t* type,
                           uint32_t* flags) -> const void* {
            const auto& l = *static_cast<const Lookup*>(handle);
            *flags = LV2_STATE_IS_POD;
            // Exact-size copies, so a read past the saved bytes is an out-of-bounds read.
            static std::vector<char> copy;
            const std::string* value = key == l.bank ? &l.saved->bank : key == l.file1 ? &l.saved->file : nullptr;
            if (!value || value->empty()) return nullptr;
            copy.assign(value->begin(), value->end());
            *size = copy.size();
            *type = key == l.bank ? l.chunk : l.path;
            return copy.data();
        };
        state->restore(lilv_instance_get_handle(lv2.lilv()), retrieve, &lookup, 0, world.features());
        lv2.sendMidi(0x90, 60, 100, 0);
        std::vector<float> left, right;
        lv2.render(left, right, 4096, 512);
        EXPECT_TRUE(std::isfinite(energy(left)) && std::isfinite(energy(right))) << saved.bank.size();
    }
}

// ZorvekCapture as LV2 writes the shared memory the VST 2 builds read, and passes audio.
TEST_F(Lv2Test, CaptureWritesTheSharedMemory) {
    Lv2Instance capture(kCapture);
    ASSERT_TRUE(capture.ok());
    CaptureMemory reader(CaptureMemory::Role::Reader);
    capture.setControl("Mute", 0.0f);
    capture.setControl("Channel", 2.0f / 3.0f);
    std::vector<float> inLeft(300), inRight(300), left, right;
    for (int i = 0; i < 300; ++i) inLeft[i] = 0.001f * i, inRight[i] = -0.002f * i;
    capture.render(left, right, 300, 128, &inLeft, &inRight);
    EXPECT_EQ(left, inLeft);
    EXPECT_EQ(reader.available(2), 300);
    float l = 0.0f, r = 0.0f;
    for (int i = 0; i < 300; ++i) {
        ASSERT_TRUE(reader.peekFrame(2, l, r));
        EXPECT_EQ(l, inLeft[i]);
        EXPECT_EQ(r, inRight[i]);
        reader.advance(2);
    }
}

}  // namespace
