#include "vocoder_rig.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "support/TempFolder.h"

namespace {

std::string shmName() { return "/ZorvekCapTest-vocoder-" + std::to_string(getpid()); }

// The test program's WAV files; removed at exit.
const TempFolder& tempFolder() {
    static const TempFolder folder;
    return folder;
}

// Every capture attach of this test program goes to a private object, so that tests
// running in parallel with other programs never share channels.
class PrivateCapture : public ::testing::Environment {
public:
    void SetUp() override { setenv("ZORVEK_CAPTURE_SHM", shmName().c_str(), 1); }
    void TearDown() override { shm_unlink(shmName().c_str()); }
};

[[maybe_unused]] ::testing::Environment* const kPrivateCapture =
    ::testing::AddGlobalTestEnvironment(new PrivateCapture);

void put32(std::ofstream& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.put(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void put16(std::ofstream& out, uint16_t v) {
    out.put(static_cast<char>(v & 0xFF));
    out.put(static_cast<char>(v >> 8));
}

}  // namespace

VocoderRig::VocoderRig(int32_t rate) {
    context.sampleRate.store(rate);
    vocoder = std::make_unique<Vocoder>(rack, context);
    Vocoder& v = *vocoder;
    VocoderParams& p = params;
    v.gate = &gate;
    v.carrier = &carrierBuffer;
    v.followA = &p.followA;
    v.followD = &p.followD;
    v.shiftA = &p.shiftA;
    v.shiftD = &p.shiftD;
    v.bands = &p.bands;
    v.mangle = &p.mangle;
    v.modSrc = &p.modSrc;
    for (int i = 0; i < 6; ++i) v.eq[i] = &p.eq[i];
    v.carCap = &p.carCap;
    v.carCh = &p.carCh;
    v.modCh = &p.modCh;
    v.freezeSwitch = &p.freeze;
    v.bufSize = &p.bufSize;
    v.carSt = &p.carSt;
    v.mixCar = &p.mixCar;
    v.mixMod = &p.mixMod;
    v.mixVoc = &p.mixVoc;
    v.anaDigi = &p.anaDigi;
    v.setSampleRate(rate);
    v.onParameter(0, 0.0f);
}

void VocoderRig::set(ParamValue& parameter, float value) {
    parameter.store(value);
    vocoder->onParameter(0, value);
}

std::vector<float> VocoderRig::run(int32_t frames, int32_t block) {
    std::vector<float> result;
    result.reserve(2 * frames);
    for (int32_t done = 0; done < frames;) {
        const int32_t n = std::min(block, frames - done);
        for (int32_t i = 0; i < n; ++i, ++carrierAt) {
            carrierBuffer.data[2 * i] = carrierAt < carrierLeft.size() ? carrierLeft[carrierAt] : 0.0f;
            carrierBuffer.data[2 * i + 1] = carrierAt < carrierRight.size() ? carrierRight[carrierAt] : 0.0f;
        }
        vocoder->process(n, 1);
        result.insert(result.end(), vocoder->output().data, vocoder->output().data + 2 * n);
        done += n;
    }
    return result;
}

std::string writeWav(const std::string& name, const std::vector<int16_t>& samples, int32_t rate, int channels) {
    const std::string path = tempFolder().file(name);
    std::ofstream out(path, std::ios::binary);
    const uint32_t bytes = static_cast<uint32_t>(samples.size() * 2);
    out.write("RIFF", 4);
    put32(out, 36 + bytes);
    out.write("WAVEfmt ", 8);
    put32(out, 16);
    put16(out, 1);
    put16(out, static_cast<uint16_t>(channels));
    put32(out, static_cast<uint32_t>(rate));
    put32(out, static_cast<uint32_t>(rate * channels * 2));
    put16(out, static_cast<uint16_t>(channels * 2));
    put16(out, 16);
    out.write("data", 4);
    put32(out, bytes);
    for (int16_t s : samples) put16(out, static_cast<uint16_t>(s));
    return path;
}

std::unique_ptr<CaptureMemory> captureWriter(int channel) {
    auto writer = std::make_unique<CaptureMemory>(CaptureMemory::Role::Writer);
    EXPECT_TRUE(writer->attached());
    if (writer->attached()) writer->view()->channels[channel].left.readIndex.store(0);
    return writer;
}

std::vector<float> leftOf(const std::vector<float>& interleaved) {
    std::vector<float> out(interleaved.size() / 2);
    for (size_t i = 0; i < out.size(); ++i) out[i] = interleaved[2 * i];
    return out;
}

std::vector<float> rightOf(const std::vector<float>& interleaved) {
    std::vector<float> out(interleaved.size() / 2);
    for (size_t i = 0; i < out.size(); ++i) out[i] = interleaved[2 * i + 1];
    return out;
}
